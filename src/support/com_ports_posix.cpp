// The serial ports of a POSIX machine, listed from sysfs.
#include "support/com_ports.h"

#include <cctype>
#include <filesystem>
#include <fstream>

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

}  // namespace

std::string devicePathOfPort(int number) { return "/dev/ttyS" + std::to_string(number - 1); }

bool isDevicePath(const std::string& text) { return text.rfind("/", 0) == 0; }

std::vector<std::string> TComPortsUsage::portsPresent() const {
  std::vector<std::string> items;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(fSysClassTty, ec)) {
    const std::string name = entry.path().filename().string();
    if (!fs::exists(entry.path() / "device", ec)) continue;  // virtual terminals, ptys
    if (name.rfind("ttyS", 0) == 0) {
      const int n = calculate_FromText(name.substr(4));
      if (n < 0 || !uartPresent(entry.path())) continue;
      items.push_back(fmt::format("COM {:03} (/dev/{})", n + 1, name));
    } else {
      const std::string product = usbProduct(entry.path());
      items.push_back("/dev/" + name + (product.empty() ? "" : " (" + product + ")"));
    }
  }
  // The names udev keeps for USB adapters stay the same whichever ttyUSB number the
  // adapter gets after a replug.
  for (const auto& entry : fs::directory_iterator(fSerialById, ec)) {
    const fs::path target = fs::read_symlink(entry.path(), ec);
    std::string item = entry.path().string();
    if (!ec && !target.filename().empty()) item += " (/dev/" + target.filename().string() + ")";
    items.push_back(item);
  }
  return items;
}

}  // namespace kestrel
