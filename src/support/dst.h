#pragma once
// Summer time: the fixed European rule and the local time zone's own state.
#include <ctime>

#include "support/date_time.h"

namespace kestrel {

enum TDSTPeriod { tzi_Unknown = 0, tzi_NotAvailable = 1, tzi_NotDST = 2, tzi_DST = 3 };

// From the last Sunday of March 03:00:00.000 (included) to the last Sunday of October
// 04:00:00.000 (excluded), in local time. An invalid date gives false.
bool isSummerTimeByRule(const LocalDateTime& dt);
// The same European rule with its own change hours: from the last Sunday of March at
// `startHour`:00:00 (included) to the last Sunday of October at `endHour`:00:00
// (excluded). An invalid date gives false.
bool isSummerTimeBetween(const LocalDateTime& dt, int startHour, int endHour);

// The local time zone's state at `t` (tm_isdst). A zone that never changes to summer
// time has no state to tell, so the rule decides there, as it does when the state is
// unknown.
TDSTPeriod dstPeriodAt(std::time_t t);

}  // namespace kestrel
