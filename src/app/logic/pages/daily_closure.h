#pragma once
// Daily closure: the X and Z reports (command 69) with the report number and the sums
// per VAT group, and the deletion of an item range that may follow each Z report.
#include <string>

#include "app/logic/param_bindings.h"
#include "app/logic/settings_file.h"

namespace kestrel {

class TDeviceOps;

// Value labels of the page (objectName -> text).
inline constexpr const char* LB_REPORT_NUMBER = "lbReportNumber";
inline constexpr const char* LB_TOTAL = "lbTotal";
inline constexpr const char* LB_STORNO_TOTAL = "lbStornoTotal";
// "lbVat_<i>" and "lbStornoVat_<i>" for VAT group i (1..5: A, E, J, K, M).
std::string vatSumLabel(int group);
std::string stornoSumLabel(int group);
// Every label with the text it starts with ("0", "0.00").
TPageValues initialClosureLabels();

inline constexpr const char* MSG_NO_DELETE_PASSWORD =
    "Service password for deleting items not set.\r\nGo to the settings tab and set service password.";
inline constexpr const char* MSG_SERVICE_MODE_ERROR = "Service mode setting error, items will not be deleted.";

// Shows answer fields 1 to 11 of a report in `labels`: the number, each group with a
// non-empty sum (others keep their labels) and both totals in the shortest decimal form.
// A sum that is no number throws; the labels filled before it keep their new texts.
void showReportSums(TDeviceOps& ops, TPageValues& labels);
// bbtnPrintXClick: false when the device refused the report (labels unchanged).
bool printXReport(TDeviceOps& ops, TPageValues& labels);
// bbtnPrintZClick: the Z report, then the deletion when the settings ask for it. False
// when the report or a deletion step failed. The settings are the Settings page's.
// A deletion that cannot be done is refused (std::invalid_argument, see
// itemDeletionRangeError) before the Z report closes the day.
bool printZReport(TDeviceOps& ops, TPageValues& labels, const TFBHSettings& settings);
// Why the deletion range FROM-TO of the settings cannot be deleted (not whole numbers
// from 1 to the highest PLU, or FROM above TO); empty when it can.
std::string itemDeletionRangeError(const std::string& from, const std::string& to);
// The deletion after a Z report: service mode with the password, command 107 "D" for
// the range, "Items deleted.", service mode left (not judged).
bool deleteItemsAfterZ(TDeviceOps& ops, const TFBHSettings& settings);

}  // namespace kestrel
