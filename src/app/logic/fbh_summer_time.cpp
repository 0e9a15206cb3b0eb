#include "app/logic/fbh_summer_time.h"

#include <exception>

#include "app/logic/device_ops.h"
#include "app/logic/param_bindings.h"
#include "support/dst.h"

namespace kestrel {

bool isAutoDateTimeON(TDeviceOps& ops) {
  try {
    std::string minutes;
    if (!ops.readParam("DaylightSavingMinutes", "", minutes)) return false;
    return parseIntValue(minutes) > 0;
  } catch (const std::exception&) {
    return false;
  }
}

bool FBH_SummerDTFor(const LocalDateTime& moment) { return isSummerTimeBetween(moment, 2, 3); }

}  // namespace kestrel
