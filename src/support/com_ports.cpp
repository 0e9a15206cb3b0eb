#include "support/caught.h"
#include "support/com_ports.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <optional>

#include <fmt/format.h>

namespace kestrel {

namespace fs = std::filesystem;

namespace {

std::string firstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
  return line;
}

std::string trim(const std::string& text) {
  const auto b = text.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  const auto e = text.find_last_not_of(" \t\r\n");
  return text.substr(b, e - b + 1);
}

// ttyS<n> entries exist for every UART slot the kernel reserves; only ports with a
// detected UART (type not 0) or bound to a real driver (not the serial8250
// placeholder) are there.
bool uartPresent(const fs::path& ttyDir) {
  const std::string type = firstLine(ttyDir / "type");
  if (!type.empty() && type != "0") return true;
  std::error_code ec;
  const fs::path driver = fs::read_symlink(ttyDir / "device" / "driver", ec);
  return !ec && driver.filename() != "serial8250";
}

// The product name of the USB device the port belongs to: the nearest parent with an
// idVendor file is that device (further up sit the hubs with their own names).
std::string usbProduct(const fs::path& ttyDir) {
  std::error_code ec;
  fs::path dir = fs::canonical(ttyDir / "device", ec);
  if (ec) return {};
  for (int level = 0; level < 4 && dir.has_relative_path(); ++level, dir = dir.parent_path()) {
    if (fs::exists(dir / "idVendor", ec)) return fs::exists(dir / "product", ec) ? firstLine(dir / "product") : "";
  }
  return {};
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
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(fSysClassTty, ec)) {
      const std::string name = entry.path().filename().string();
      if (!fs::exists(entry.path() / "device", ec)) continue;  // virtual terminals, ptys
      if (name.rfind("ttyS", 0) == 0) {
        const auto n = parseNumber(name.substr(4));
        if (!n || !uartPresent(entry.path())) continue;
        targetItems->push_back(fmt::format("COM {:03} (/dev/{})", *n + 1, name));
      } else {
        const std::string product = usbProduct(entry.path());
        targetItems->push_back("/dev/" + name + (product.empty() ? "" : " (" + product + ")"));
      }
    }
    // The names udev keeps for USB adapters stay the same whichever ttyUSB number the
    // adapter gets after a replug.
    for (const auto& entry : fs::directory_iterator(fSerialById, ec)) {
      const fs::path target = fs::read_symlink(entry.path(), ec);
      std::string item = entry.path().string();
      if (!ec && !target.filename().empty()) item += " (/dev/" + target.filename().string() + ")";
      targetItems->push_back(item);
    }
    std::sort(targetItems->begin(), targetItems->end());
  } catch (...) {
    reportCaught("TComPortsUsage.fill_List");
    targetItems->clear();
  }
  return !targetItems->empty();
}

int TComPortsUsage::calculate_FromText(const std::string& sourceText) const {
  const std::string key = entryKey(sourceText);
  if (key.rfind("/", 0) == 0) return -1;
  std::string number = key;
  if (auto p = key.find("COM "); p != std::string::npos)
    number = key.substr(p + 4);
  else if (auto q = key.find("COM"); q != std::string::npos)
    number = key.substr(q + 3);
  return parseNumber(number).value_or(-1);
}

std::string TComPortsUsage::deviceOf(const std::string& entry) const {
  const std::string t = entryKey(entry);
  if (t.rfind("/", 0) == 0) return t;
  const int n = calculate_FromText(t);
  return n >= 1 ? "/dev/ttyS" + std::to_string(n - 1) : std::string();
}

}  // namespace kestrel
