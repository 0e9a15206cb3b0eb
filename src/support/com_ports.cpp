// The serial port entries both platforms share: reading a port number from an entry
// and the device an entry opens.
#include "support/caught.h"
#include "support/com_ports.h"

#include <algorithm>

#include <charconv>
#include <optional>

namespace kestrel {

namespace {

std::string trim(const std::string& text) {
  const auto b = text.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  const auto e = text.find_last_not_of(" \t\r\n");
  return text.substr(b, e - b + 1);
}

// An entry's text up to its description in parentheses: what is opened or parsed.
std::string entryKey(const std::string& entry) {
  const std::string t = trim(entry);
  return trim(t.substr(0, t.find(" (")));
}

std::optional<int> parseNumber(const std::string& text) {
  const std::string t = trim(text);
  if (t.empty()) return std::nullopt;
  int value = 0;
  const auto [end, err] = std::from_chars(t.data(), t.data() + t.size(), value);
  if (err != std::errc() || end != t.data() + t.size()) return std::nullopt;
  return value;
}

}  // namespace

TComPortsUsage::TComPortsUsage(std::string sysClassTty, std::string serialById)
    : fSysClassTty(std::move(sysClassTty)), fSerialById(std::move(serialById)) {}

bool TComPortsUsage::fill_List(std::vector<std::string>* targetItems) const {
  if (!targetItems) return false;
  targetItems->clear();
  try {
    *targetItems = portsPresent();
    std::sort(targetItems->begin(), targetItems->end());
  } catch (...) {
    reportCaught("TComPortsUsage.fill_List");
    targetItems->clear();
  }
  return !targetItems->empty();
}

int TComPortsUsage::calculate_FromText(const std::string& sourceText) const {
  const std::string key = entryKey(sourceText);
  if (isDevicePath(key)) return -1;
  std::string number = key;
  if (auto p = key.find("COM "); p != std::string::npos)
    number = key.substr(p + 4);
  else if (auto q = key.find("COM"); q != std::string::npos)
    number = key.substr(q + 3);
  return parseNumber(number).value_or(-1);
}

std::string TComPortsUsage::deviceOf(const std::string& entry) const {
  const std::string t = entryKey(entry);
  if (isDevicePath(t)) return t;
  const int n = calculate_FromText(t);
  return n >= 1 ? devicePathOfPort(n) : std::string();
}

}  // namespace kestrel
