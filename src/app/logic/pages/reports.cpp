#include "app/logic/pages/reports.h"

#include <cstdio>
#include <stdexcept>

#include "app/logic/device_ops.h"

namespace kestrel {

namespace {

constexpr uint16_t OPERATORS_REPORT_COMMAND = 105;
constexpr uint16_t PLU_REPORT_COMMAND = 111;

std::string fields(std::initializer_list<std::string> values) {
  std::string s;
  for (const auto& v : values) s += v + "\t";
  return s;
}

}  // namespace

std::string periodicDateText(const LocalDateTime& date) {
  char buf[48];
  if (date.year < 2000) {
    std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", date.day, date.month, date.year);
    throw std::out_of_range(std::string("The date ") + buf + " is before the year 2000");
  }
  std::snprintf(buf, sizeof buf, "%02d-%02d-%02d", date.day, date.month, date.year - 2000);
  return buf;
}

std::string operatorsReportInput(const std::string& from, const std::string& to, bool clear) {
  return fields({from, to, clear ? "1" : "0"});
}

std::string pluReportInput(int kind, const std::string& from, const std::string& to) {
  return fields({std::to_string(kind), from, to});
}

std::string periodicReportInput(const TPeriodicReport& r) {
  std::string s = fields({"P", std::to_string(r.kind), periodicDateText(r.from), periodicDateText(r.to)});
  if (r.kind == PERIODIC_PLU_ITEMS) s += fields({std::to_string(r.pluKind), r.pluFrom, r.pluTo});
  return s;
}

bool printDeptReport(TDeviceOps& ops) { return ops.command(REPORT_COMMAND, "D\t"); }

bool printItemGroupsReport(TDeviceOps& ops) { return ops.command(REPORT_COMMAND, "G\t"); }

bool printOperReport(TDeviceOps& ops, const std::string& from, const std::string& to, bool clear) {
  return ops.command(OPERATORS_REPORT_COMMAND, operatorsReportInput(from, to, clear));
}

bool printPLUReport(TDeviceOps& ops, int kind, const std::string& from, const std::string& to) {
  return ops.command(PLU_REPORT_COMMAND, pluReportInput(kind, from, to));
}

bool printPeriodicReport(TDeviceOps& ops, const TPeriodicReport& r) {
  return ops.command(REPORT_COMMAND, periodicReportInput(r));
}

}  // namespace kestrel
