#pragma once
// The Reports page: departments, operators, items (PLU), periodic and item groups
// reports, each one command the device prints; and the texts those commands take.
#include <cstdint>
#include <string>

#include "support/date_time.h"

namespace kestrel {

class TDeviceOps;

// The X, Z and the other daily reports.
inline constexpr uint16_t REPORT_COMMAND = 69;

// The entries of the page's lists, in order (the position is what the device gets).
inline constexpr const char* PLU_REPORT_KINDS[] = {"PLU turnovers", "PLU turnovers with clearing", "PLU parameters",
                                                   "PLU stock"};
inline constexpr const char* PERIODIC_REPORT_KINDS[] = {
    "Period report \"Payments\"", "Period report \"Departments\"", "Period report \"PLU items\""};
inline constexpr const char* PERIODIC_PLU_KINDS[] = {"By PLU code", "By PLU department", "By PLU group"};
// The periodic kind (1..3) whose report takes the sub-kind and the PLU range.
inline constexpr int PERIODIC_PLU_ITEMS = 3;

// A periodic report's date: day-month-year, two digits each, the year counted from
// 2000 (05-03-24). A year before 2000 throws std::out_of_range.
std::string periodicDateText(const LocalDateTime& date);

std::string operatorsReportInput(const std::string& from, const std::string& to, bool clear);
// kind: the list position 0..3.
std::string pluReportInput(int kind, const std::string& from, const std::string& to);
struct TPeriodicReport {
  int kind = 1;  // 1 payments, 2 departments, 3 PLU items
  LocalDateTime from, to;
  int pluKind = 1;  // 1 by code, 2 by department, 3 by group (PLU items only)
  std::string pluFrom = "1", pluTo = "1";
};
std::string periodicReportInput(const TPeriodicReport& r);

// The handlers' commands, each judged.
// The status bar's word after a report the device printed.
inline constexpr const char* MSG_REPORT_PRINTED = "Report printed.";

bool printDeptReport(TDeviceOps& ops);
bool printItemGroupsReport(TDeviceOps& ops);
bool printOperReport(TDeviceOps& ops, const std::string& from, const std::string& to, bool clear);
bool printPLUReport(TDeviceOps& ops, int kind, const std::string& from, const std::string& to);
// The dates are formatted before anything is sent.
bool printPeriodicReport(TDeviceOps& ops, const TPeriodicReport& r);

}  // namespace kestrel
