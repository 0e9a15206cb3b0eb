#pragma once
// Test receipts: a test fiscal receipt and a test reclamation receipt for one programmed
// item, programming and fetching that item, closing a receipt left open, and the
// device restart.
#include <string>

#include "app/logic/loop_outcome.h"

namespace kestrel {

class TDeviceOps;

inline constexpr const char* TAX_GROUP_CHOICES[] = {"Tax group \"A\"", "Tax group \"E\"", "Tax group \"J\"",
                                                    "Tax group \"K\"", "Tax group \"M\""};
inline constexpr const char* PAYMENT_TYPE_CHOICES[] = {"Cash", "Card", "Cheque", "Virman"};

// The edits the checks put the focus on.
inline constexpr const char* ED_SALE_PLU = "ledTestPLUSale";
inline constexpr const char* ED_SALE_IOSA = "ledTestIOSASale";
inline constexpr const char* ED_STORNO_PLU = "ledTestPLUStorno";
inline constexpr const char* ED_STORNO_IOSA = "ledTestIOSAStorno";
inline constexpr const char* ED_STORNO_RECEIPT = "ledTestReceiptStorno";

inline constexpr const char* MSG_ENTER_IOSA = "Enter IOSA number";
inline constexpr const char* MSG_ENTER_PLU = "Enter PLU number";
inline constexpr const char* MSG_ENTER_RECEIPT = "Enter Receipt number";

// One tab's values as typed.
struct TTestReceipt {
  std::string plu = "1";
  std::string price = "1";            // fiscal receipt only
  std::string itemName = "Test item";  // fiscal receipt only
  int taxGroup = 0;                    // list position; the VAT group is position + 1
  int paymentType = 0;                 // list position = payment type code
  std::string correction = "1";        // "Discount/surcharge %:"
  std::string iosa = "1234567890123456";
  std::string receiptNumber = "1";  // reclamation only
  std::string oper = "1";
  std::string operPassword;
};

// Correction kind and value of command 58 from "Discount/surcharge %:": "0" TAB "0.00",
// "1" TAB the number, or "2" TAB the negative number, in its shortest form. Empty or no
// number counts as 0.
std::string correctionFields(const std::string& percentText);
// Command 107 "P" for the test item.
std::string testItemProgramInput(const TTestReceipt& r);

// bbtn_BAH_TEST_ECRClick and bbtnTestReclamClick. An empty required edit shows its
// message and names the edit in `focus`; nothing is sent then.
bool testFiscalReceipt(TDeviceOps& ops, const TTestReceipt& r, std::string& focus);
bool testReclamationReceipt(TDeviceOps& ops, const TTestReceipt& r, std::string& focus);
// bbtn_BAH_PROGR_TESTITEMClick: no message on success.
bool programTestItem(TDeviceOps& ops, const TTestReceipt& r);
// bbtn_BAH_GETITEMClick: with ShowErr off; on success fills tax group, price and name.
bool getTestItem(TDeviceOps& ops, TTestReceipt& r);

// The longest run of voids "Close receipts operation" sends for one receipt: more than a
// receipt can hold, so only a device that never runs out of lines reaches it.
inline constexpr int MAX_RECEIPT_VOIDS = 500;
// Why the voids ended when the bound is reached.
std::string voidsBoundMessage(int voids);

struct TCloseReceipts {
  int state = -1;  // field 1 of command 76 (-1: not read)
  bool boundReached = false;
  // Counts the voids (commands 52 the device accepted). Done: the receipt is closed, or
  // there was none; Stopped: a stop request (between two voids or in a wait); Failed: a
  // refused step (its error shown by the verdict, or a void refused otherwise than with
  // "No transactions", which ends without a message) or the bound.
  TLoopOutcome outcome;
  bool ok() const { return outcome.ok(); }
};
// btnPanicOpClick.
TCloseReceipts closeReceipts(TDeviceOps& ops, int maxVoids = MAX_RECEIPT_VOIDS);
// btnRestartDevClick.
bool restartDevice(TDeviceOps& ops);

}  // namespace kestrel
