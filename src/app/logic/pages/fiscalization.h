#pragma once
// Fiscalization: serial and fiscal memory numbers (91), JIB and PIB (98), IOSA (96) and
// the fiscalization itself (72), each accepted once by the device; the numbers read back
// as named parameters.
#include <string>

#include "app/logic/param_bindings.h"

namespace kestrel {

class TDeviceOps;
struct TConfigPage;

inline constexpr const char* FISC_SERIAL = "ledSerial";
inline constexpr const char* FISC_FM_NUMBER = "ledFMnumber";
inline constexpr const char* FISC_JIB = "ledJIBnumber";
inline constexpr const char* FISC_PIB = "ledPIBnumber";
inline constexpr const char* FISC_IOSA = "ledIOSA";
inline constexpr const char* FISC_ISSUE_RECEIPT = "chbxIssueReceipt";

inline constexpr const char* MSG_SERIAL_FIRST = "Set serial and FM numbers first.";
inline constexpr const char* MSG_TAX_FIRST = "Set JIB and PIB numbers first.";
inline constexpr const char* MSG_FISCALIZED = "Device fiscalized.";

// What the device's last status says about the one-time steps.
struct TFiscalState {
  bool serialAndFMSet = false;  // byte 4 bit 2
  bool taxNumberSet = false;    // byte 4 bit 1
  bool fiscalMode = false;      // byte 5 bit 3
};
TFiscalState fiscalState(const TDeviceOps& ops);

// readFiscTab: errors go to the status bar, so a device without some numbers still shows
// the ones it has. False when the serial number could not be read. An exception comes
// back as "Exception in method "cmd99": ...".
bool readFiscTab(TDeviceOps& ops, TPageValues& values);

// The saves. A number of the wrong length sends nothing and names the field to focus in
// `focus`; a "No" sends nothing. After a successful save the page is read into `values`.
bool saveSerialAndFM(TDeviceOps& ops, TPageValues& values, std::string& focus);
bool saveTaxNumbers(TDeviceOps& ops, TPageValues& values, std::string& focus);
bool saveIOSA(TDeviceOps& ops, const TPageValues& values);
// bbtnFiscalizeClick: the preconditions look at the device's status (serial) and at the
// fields (JIB, PIB). The page is read on every way out.
bool fiscalize(TDeviceOps& ops, TPageValues& values, std::string& focus);
// chbxIssueReceiptClick: "PrintTestReceipt" 1 or 0, judged, no message.
bool writeIssueReceipt(TDeviceOps& ops, bool checked);

// Read only for `kestrel config`: the numbers are written once, by their own commands.
TConfigPage fiscalConfigPage();

}  // namespace kestrel
