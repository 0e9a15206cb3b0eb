#include "app/logic/pages/test_receipts.h"

#include <stdexcept>

#include "app/logic/field_helpers.h"
#include "app/logic/device_ops.h"
#include "app/logic/mem_table.h"
#include "app/logic/param_bindings.h"
#include "engine/engine_types.h"
#include "support/err_container.h"
#include "support/fd_misc.h"

namespace kestrel {

namespace {

constexpr uint16_t CMD_ITEMS = 107;
constexpr uint16_t CMD_OPEN_FISCAL = 48;
constexpr uint16_t CMD_OPEN_RECLAMATION = 43;
constexpr uint16_t CMD_SALE = 58;
constexpr uint16_t CMD_RECEIPT_STATE = 76;
constexpr uint16_t CMD_PAYMENT = 53;
constexpr uint16_t CMD_CLOSE_FISCAL = 56;
constexpr uint16_t CMD_VOID = 52;
constexpr uint16_t CMD_CLOSE_NONFISCAL = 39;
constexpr uint16_t CMD_RESTART = 202;
constexpr int NO_TRANSACTIONS = -111020;

// An empty edit: its message, and the edit takes the focus.
bool missing(TDeviceOps& ops, const std::string& value, const char* message, const char* edit, std::string& focus) {
  if (!value.empty()) return false;
  ops.inform(message);
  focus = edit;
  return true;
}

bool readItem(TDeviceOps& ops, const std::string& plu) {
  return ops.command(CMD_ITEMS, "R\t" + trimmed(plu) + "\t");
}

bool sell(TDeviceOps& ops, const std::string& plu, const std::string& price, const std::string& correction) {
  return ops.command(CMD_SALE, plu + "\t1.000\t" + price + "\t" + correctionFields(correction));
}

// Pays what is still open with the chosen payment type and closes the receipt. Amounts
// that are no numbers end this step without a message.
bool payAndClose(TDeviceOps& ops, int paymentType) {
  if (!ops.command(CMD_RECEIPT_STATE, "")) return false;
  int64_t rest = 0;
  try {
    const auto amount = parseDecimal(ops.field(6));
    const auto paid = parseDecimal(ops.field(7));
    if (!amount || !paid) return false;
    rest = *amount - *paid;
  } catch (const std::runtime_error&) {
    return false;
  }
  if (!ops.command(CMD_PAYMENT, std::to_string(paymentType) + "\t" + shortestDecimal(rest) + "\t")) return false;
  return ops.command(CMD_CLOSE_FISCAL, "");
}

int64_t amountOrZero(TDeviceOps& ops, int n) {
  if (n >= ops.fieldCount()) return 0;
  return parseDecimal(ops.field(n)).value_or(0);
}

}  // namespace

std::string correctionFields(const std::string& percentText) {
  const int64_t v = parseDecimal(percentText).value_or(0);
  if (v == 0) return "0\t0.00\t";
  return std::string(v > 0 ? "1" : "2") + "\t" + shortestDecimal(v) + "\t";
}

std::string testItemProgramInput(const TTestReceipt& r) {
  const int64_t price = decimalValue(r.price);
  return "P\t" + trimmed(r.plu) + "\t" + std::to_string(r.taxGroup + 1) + "\t1\t1\t1\t" + formatFixed(price, 2) +
         "\t\t1.000\t0\t0\t0\t0\t" + r.itemName + "\t";
}

bool testFiscalReceipt(TDeviceOps& ops, const TTestReceipt& r, std::string& focus) {
  if (missing(ops, r.iosa, MSG_ENTER_IOSA, ED_SALE_IOSA, focus)) return false;
  if (missing(ops, r.plu, MSG_ENTER_PLU, ED_SALE_PLU, focus)) return false;
  if (!readItem(ops, r.plu)) return false;
  if (!ops.command(CMD_OPEN_FISCAL, r.oper + "\t" + r.operPassword + "\t" + r.iosa + "\t1\t")) return false;
  if (!sell(ops, r.plu, r.price, r.correction)) return false;
  return payAndClose(ops, r.paymentType);
}

bool testReclamationReceipt(TDeviceOps& ops, const TTestReceipt& r, std::string& focus) {
  if (missing(ops, r.iosa, MSG_ENTER_IOSA, ED_STORNO_IOSA, focus)) return false;
  if (missing(ops, r.plu, MSG_ENTER_PLU, ED_STORNO_PLU, focus)) return false;
  if (missing(ops, r.receiptNumber, MSG_ENTER_RECEIPT, ED_STORNO_RECEIPT, focus)) return false;
  if (!readItem(ops, r.plu)) return false;
  const std::string price = ops.field(6);
  if (!ops.command(CMD_OPEN_RECLAMATION,
                   r.oper + "\t" + r.operPassword + "\t1\t" + r.receiptNumber + "\t" + r.iosa + "\t"))
    return false;
  if (!sell(ops, r.plu, price, r.correction)) return false;
  return payAndClose(ops, r.paymentType);
}

bool programTestItem(TDeviceOps& ops, const TTestReceipt& r) { return ops.command(CMD_ITEMS, testItemProgramInput(r)); }

bool getTestItem(TDeviceOps& ops, TTestReceipt& r) {
  TDeviceOps::ShowErrOff quiet(ops);
  if (!readItem(ops, r.plu)) return false;
  r.taxGroup = parseIntValue(ops.field(2)) - 1;
  r.price = ops.field(6);
  r.itemName = ops.field(14);
  return true;
}

std::string voidsBoundMessage(int voids) {
  return "The receipt is still not empty after " + std::to_string(voids) +
         " voids; the device keeps accepting them. Check the device.";
}

TCloseReceipts closeReceipts(TDeviceOps& ops, int maxVoids) {
  TCloseReceipts result;
  TRecordLoop loop(ops, 0);
  auto done = [&] {
    result.outcome = loop.outcome();
    return result;
  };
  // A refused step has its error shown by the verdict; a stop in its wait stops.
  auto judged = [&](uint16_t command, const std::string& input) {
    if (ops.command(command, input)) return true;
    if (!loop.waitCancelled()) loop.fail(ops.err.LastErrorMessage());
    return false;
  };
  if (!judged(CMD_RECEIPT_STATE, "")) return done();
  result.state = parseIntValue(ops.field(1));
  if (result.state == 3) {
    judged(CMD_CLOSE_NONFISCAL, "");
    return done();
  }
  if (result.state != 1 && result.state != 2 && result.state != 4 && result.state != 5) return done();
  const int64_t amount = amountOrZero(ops, 6);
  // A receipt amount that is no number makes the amount paid count as 0 as well.
  const int64_t paid = parseDecimal(ops.fieldCount() > 6 ? ops.field(6) : "") ? amountOrZero(ops, 7) : 0;
  if (paid > 0) {
    if (judged(CMD_PAYMENT, "0\t" + shortestDecimal(amount - paid) + "\t")) judged(CMD_CLOSE_FISCAL, "");
    return done();
  }
  // Void the sales one by one until the device says there is none left. A device that
  // never runs out would hold the window for ever: the run is bounded.
  int code = 0;
  for (int64_t number = 1;; ++number) {
    if (loop.stopRequested()) return done();
    const int voids = static_cast<int>(loop.outcome().answered);
    if (voids >= maxVoids) {
      result.boundReached = true;
      loop.fail(voidsBoundMessage(voids));
      return done();
    }
    loop.asking(number);
    ops.commandUnjudged(CMD_VOID, "0\t");
    code = ops.err.LastErrorCode();
    if (code == CODE_CANCELLED) {
      loop.commandFailed(number);
      return done();
    }
    if (code < 0) break;
    loop.answered(number);
  }
  if (code != NO_TRANSACTIONS) {
    loop.fail(ops.err.LastErrorMessage());
    return done();
  }
  if (judged(CMD_PAYMENT, "0\t0\t")) judged(CMD_CLOSE_FISCAL, "");
  return done();
}

bool restartDevice(TDeviceOps& ops) { return ops.command(CMD_RESTART, "RESTART\t"); }

}  // namespace kestrel
