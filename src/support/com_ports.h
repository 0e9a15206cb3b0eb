#pragma once
// The serial ports of this machine: listed from sysfs on POSIX, from the registry key
// "hardware\devicemap\serialcomm" on Windows.
#include <string>
#include <vector>

#include "support/component.h"

namespace kestrel {

// The drop-down list that TFDMisc::fill_ComPortsCombo fills; the window implements it.
// Destroying it clears the helper's reference.
class ComPortsCombo : public TComponent {
 public:
  virtual void set_Items(const std::vector<std::string>& items) = 0;
};

// The device a port number n opens: /dev/ttyS<n-1> on POSIX, \\.\COM<n> on Windows.
std::string devicePathOfPort(int number);
// True for an entry that names a device itself rather than a port number: a path on
// POSIX ("/dev/ttyUSB0"), a device name ("\\.\COM7") on Windows.
bool isDevicePath(const std::string& text);

class TComPortsUsage {
 public:
  // `sysClassTty` is the folder of tty devices and `serialById` the folder of the
  // stable device names; tests point them at a fake tree. Windows uses neither.
  explicit TComPortsUsage(std::string sysClassTty = "/sys/class/tty",
                          std::string serialById = "/dev/serial/by-id");

  // The ports present, sorted as text. Each entry is what is opened, then, in
  // parentheses, what helps to recognise it: a UART /dev/ttyS<n> as "COM " and n+1
  // padded to three digits (the port number that maps back to it) with its device
  // ("COM 001 (/dev/ttyS0)"), every other serial device (ttyUSB, ttyACM, ...) as its path
  // with the USB product name when known ("/dev/ttyUSB0 (FT232R USB UART)"), and each
  // stable name of /dev/serial/by-id with the device it points to now. On Windows each
  // port of the registry as "COM " and its number padded to three digits ("COM 003"),
  // other names as they are; without the key, "COM n" for each device COMn the system
  // knows. False when the list ends up empty or is missing.
  bool fill_List(std::vector<std::string>* targetItems) const;

  // The port number of an entry ("COM 003" 3, "COM7" 7, "12" 12, "COM 001 (/dev/ttyS0)"
  // 1); -1 for a blank text, a text that is not a number, and a device path entry.
  int calculate_FromText(const std::string& sourceText) const;

  // The device to open for an entry: devicePathOfPort(n) for a port number n, the path
  // of a path entry (without its description); empty when the entry names neither.
  std::string deviceOf(const std::string& entry) const;

 private:
  // The entries of the platform's port list, in no particular order.
  std::vector<std::string> portsPresent() const;

  std::string fSysClassTty;
  std::string fSerialById;
};

}  // namespace kestrel
