#pragma once
// VAT rates: five groups A, E, J, K, M, read one by one as "valVat" and written at once
// with command 83.
#include <string>

#include "app/logic/param_bindings.h"

namespace kestrel {

class TDeviceOps;
struct TConfigPage;

inline constexpr int VAT_GROUP_COUNT = 5;
inline constexpr const char* VAT_LETTERS = "AEJKM";
// Widget names of group n (1..5): "cbxVAT<n>" (0 disabled, 1 enabled) and "edVAT_<n>".
std::string vatStateWidget(int group);
std::string vatRateWidget(int group);

// "valVat" hundredths as the rate field shows them; a value of 10000 or more or no
// integer is a disabled group (nullopt-like: returns false).
bool vatRateText(const std::string& deviceValue, std::string& rateText);
// The command 83 input: each group's rate as typed, a disabled group as "100.00".
std::string vatSaveInput(const TPageValues& values);

// readVATs: fills the five groups in order, stopping at the first refused read. An
// exception comes back as "Exception in method "cmd97": ...".
bool readVATs(TDeviceOps& ops, TPageValues& values);
// bbtnSetVATClick's command; shows the saved message on success.
bool saveVATs(TDeviceOps& ops, const TPageValues& values);

TConfigPage vatConfigPage();

}  // namespace kestrel
