// The serial ports of a Windows machine: the values of the registry key
// "hardware\devicemap\serialcomm", or the COM devices the system knows.
#include "support/com_ports.h"
#include "support/win32_text.h"

#include <fmt/format.h>

namespace kestrel {

namespace {

// "COM3" as "COM 003"; other names unchanged.
std::string registryEntry(const std::string& text, const TComPortsUsage& ports) {
  if (text.rfind("COM", 0) != 0) return text;
  const std::string rest = text.substr(3);
  if (rest.empty() || rest.find_first_not_of("0123456789") != std::string::npos) return text;
  return fmt::format("COM {:03}", ports.calculate_FromText(rest));
}

std::vector<std::string> registryPorts(const TComPortsUsage& ports) {
  std::vector<std::string> items;
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS)
    return items;
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];
    DWORD nameLength = 256;
    wchar_t data[256];
    DWORD dataBytes = sizeof data - sizeof(wchar_t);
    DWORD type = 0;
    const LONG rc = ::RegEnumValueW(key, index, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data),
                                    &dataBytes);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS || type != REG_SZ) continue;
    std::wstring value(data, dataBytes / sizeof(wchar_t));
    while (!value.empty() && value.back() == L'\0') value.pop_back();
    if (!value.empty()) items.push_back(registryEntry(narrow(value), ports));
  }
  ::RegCloseKey(key);
  return items;
}

// The fallback: "COM n" for each device COM1..COM255 the system has a name for.
std::vector<std::string> deviceNamePorts() {
  std::vector<std::string> items;
  wchar_t target[1024];
  for (int n = 1; n <= 255; ++n)
    if (::QueryDosDeviceW((L"COM" + std::to_wstring(n)).c_str(), target, 1024) != 0)
      items.push_back("COM " + std::to_string(n));
  return items;
}

}  // namespace

std::string devicePathOfPort(int number) { return "\\\\.\\COM" + std::to_string(number); }

bool isDevicePath(const std::string& text) { return text.rfind("\\\\.\\", 0) == 0; }

std::vector<std::string> TComPortsUsage::portsPresent() const {
  std::vector<std::string> items = registryPorts(*this);
  return items.empty() ? deviceNamePorts() : items;
}

}  // namespace kestrel
