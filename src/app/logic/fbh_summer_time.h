#pragma once
// Summer time as the device keeps it: whether the device changes its clock itself
// ("DaylightSavingMinutes"), and the Federation's rule for a picked moment. Date-time
// texts sent to the device get " DST" when both hold.
#include "support/date_time.h"

namespace kestrel {

class TDeviceOps;

// True when the device's automatic summer time is on: "DaylightSavingMinutes" above 0.
// A refused read (its error shown by the verdict) or a value that is no number gives
// false.
bool isAutoDateTimeON(TDeviceOps& ops);

// From the last Sunday of March 02:00:00 (included) to the last Sunday of October
// 03:00:00 (excluded) of the moment's year. An invalid moment gives false.
bool FBH_SummerDTFor(const LocalDateTime& moment);

}  // namespace kestrel
