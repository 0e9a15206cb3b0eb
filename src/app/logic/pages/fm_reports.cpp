#include "app/logic/pages/fm_reports.h"

#include "app/logic/device_ops.h"
#include "app/logic/fbh_summer_time.h"
#include "app/logic/pages/cliche.h"

namespace kestrel {

std::string reportDateTimeText(const LocalDateTime& dt, bool autoDst) {
  return deviceDateTimeText(dt) + (autoDst && FBH_SummerDTFor(dt) ? " DST" : "");
}

std::string fmByDateInput(const LocalDateTime& from, const LocalDateTime& to, bool autoDst) {
  return reportDateTimeText(from, autoDst) + "\t" + reportDateTimeText(to, autoDst) + "\t";
}

bool printFMReportByDate(TDeviceOps& ops, const LocalDateTime& from, const LocalDateTime& to) {
  // A year the device cannot take is refused before anything is sent.
  deviceDateTimeText(from);
  deviceDateTimeText(to);
  const bool autoDst = isAutoDateTimeON(ops);
  return ops.command(94, fmByDateInput(from, to, autoDst));
}

bool printFMReportByNumber(TDeviceOps& ops, const std::string& from, const std::string& to) {
  return ops.command(95, from + "\t" + to + "\t");
}

}  // namespace kestrel
