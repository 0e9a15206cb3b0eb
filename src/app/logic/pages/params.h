#pragma once
// Parameters: the device's operating options (passwords, reports after the Z report,
// barcodes, power saving, summer time, NTP time), each a named parameter of command 255.
#include <string>
#include <vector>

#include "app/logic/param_bindings.h"

namespace kestrel {

class TDeviceOps;
struct TConfigPage;

// The server the page shows before its first read.
inline constexpr const char* DEFAULT_NTP_SERVER = "pool.ntp.org";
// The save lets the engine try each command this many times, the device being slow
// to store some of these options.
inline constexpr int PARAMS_SAVE_REPEAT_COUNT = 900;

extern const std::vector<std::string> TIMEZONE_CHOICES;  // "-4" .. "+4"

const TParamTable& paramsTable();

// readParamsTab: every parameter in the page's read order, stopping at the first
// refused one; throws for a value of the wrong form.
bool readParamsTab(TDeviceOps& ops, TPageValues& values);
// bbtnSetParametersClick's commands with the engine's repeatCount at 900 for their
// duration (what it was afterwards, on every way out); the saved message on success.
bool saveParameters(TDeviceOps& ops, const TPageValues& values);

TConfigPage paramsConfigPage();

}  // namespace kestrel
