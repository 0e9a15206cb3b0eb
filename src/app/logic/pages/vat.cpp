#include "app/logic/pages/vat.h"

#include <cstdlib>
#include <stdexcept>

#include "app/logic/config_pages.h"
#include "app/logic/device_ops.h"
#include "app/logic/page_table.h"

namespace kestrel {

std::string vatStateWidget(int group) { return "cbxVAT" + std::to_string(group); }
std::string vatRateWidget(int group) { return "edVAT_" + std::to_string(group); }

bool vatRateText(const std::string& deviceValue, std::string& rateText) {
  int v = 10000;
  try {
    v = parseIntValue(deviceValue);
  } catch (const std::invalid_argument&) {
    v = 10000;
  }
  if (v >= 10000) return false;
  // Hundredths written exactly, as "%.2f" of v / 100 would.
  const int a = std::abs(v);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%s%d.%02d", v < 0 ? "-" : "", a / 100, a % 100);
  rateText = buf;
  return true;
}

std::string vatSaveInput(const TPageValues& values) {
  std::string input;
  for (int n = 1; n <= VAT_GROUP_COUNT; ++n) {
    auto state = values.find(vatStateWidget(n));
    auto rate = values.find(vatRateWidget(n));
    const bool enabled = state != values.end() && state->second != "0" && state->second != "-1";
    input += (enabled ? (rate != values.end() ? rate->second : std::string()) : std::string("100.00")) + "\t";
  }
  return input;
}

bool readVATs(TDeviceOps& ops, TPageValues& values) {
  try {
    for (int n = 1; n <= VAT_GROUP_COUNT; ++n) {
      std::string v;
      if (!ops.readParam("valVat", std::to_string(n - 1), v)) return false;
      std::string rate = "0.00";
      const bool enabled = vatRateText(v, rate);
      values[vatRateWidget(n)] = rate;
      values[vatStateWidget(n)] = enabled ? "1" : "0";
    }
    return true;
  } catch (const std::exception& e) {
    throw std::runtime_error(exceptionText("cmd97", e.what()));
  }
}

bool saveVATs(TDeviceOps& ops, const TPageValues& values) {
  if (!ops.command(83, vatSaveInput(values))) return false;
  ops.informSaved();
  return true;
}

TConfigPage vatConfigPage() {
  TConfigPage p;
  p.name = "vat";
  p.read = readVATs;
  p.save = saveVATs;
  p.show = [](const TPageValues& values, int) {
    TKeyValues kv;
    for (int n = 1; n <= VAT_GROUP_COUNT; ++n) {
      auto s = values.find(vatStateWidget(n));
      auto r = values.find(vatRateWidget(n));
      const bool enabled = s != values.end() && s->second == "1";
      kv.emplace_back(std::string(1, VAT_LETTERS[n - 1]),
                      enabled ? (r != values.end() ? r->second : std::string()) : std::string("disabled"));
    }
    return kv;
  };
  p.set = [](TPageValues& values, const std::string& key, const std::string& value, int) {
    const std::string letters = VAT_LETTERS;
    const auto pos = key.size() == 1 ? letters.find(key[0]) : std::string::npos;
    if (pos == std::string::npos) throw std::invalid_argument("vat has no value '" + key + "' (A, E, J, K, M)");
    const int n = static_cast<int>(pos) + 1;
    if (value == "disabled") {
      values[vatStateWidget(n)] = "0";
      return;
    }
    values[vatStateWidget(n)] = "1";
    values[vatRateWidget(n)] = value;
  };
  return p;
}

}  // namespace kestrel
