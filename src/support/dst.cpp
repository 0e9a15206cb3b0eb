#include "support/dst.h"

namespace kestrel {

namespace {

LocalDateTime lastSundayOf(int year, int month, int hour) {
  LocalDateTime dt{year, month, daysInMonth(year, month), hour, 0, 0, 0};
  while (dt.dayOfWeek() != 0) --dt.day;
  return dt;
}

// True when the zone observes summer time in the year of `t`: its state differs
// between January and July.
bool zoneHasSummerTime(std::time_t t) {
  std::tm tm{};
  if (!localtime_r(&t, &tm)) return false;
  for (int month : {0, 6}) {
    std::tm probe{};
    probe.tm_year = tm.tm_year;
    probe.tm_mon = month;
    probe.tm_mday = 1;
    probe.tm_hour = 12;
    probe.tm_isdst = -1;
    if (mktime(&probe) == static_cast<std::time_t>(-1)) continue;
    if (probe.tm_isdst > 0) return true;
  }
  return false;
}

}  // namespace

bool isSummerTimeBetween(const LocalDateTime& dt, int startHour, int endHour) {
  if (!dt.isValid()) return false;
  const LocalDateTime start = lastSundayOf(dt.year, 3, startHour);
  const LocalDateTime end = lastSundayOf(dt.year, 10, endHour);
  return start <= dt && dt < end;
}

bool isSummerTimeByRule(const LocalDateTime& dt) { return isSummerTimeBetween(dt, 3, 4); }

TDSTPeriod dstPeriodAt(std::time_t t) {
  std::tm tm{};
  if (!localtime_r(&t, &tm)) return tzi_Unknown;
  if (tm.tm_isdst > 0) return tzi_DST;
  if (tm.tm_isdst == 0 && zoneHasSummerTime(t)) return tzi_NotDST;
  return isSummerTimeByRule(LocalDateTime::fromTimeT(t)) ? tzi_DST : tzi_NotDST;
}

}  // namespace kestrel
