#pragma once
// Terminal operations: the device's functions as a networked terminal (command 144),
// each run inside service mode.
#include <optional>
#include <string>
#include <vector>

namespace kestrel {

class TDeviceOps;

inline constexpr const char* TERMINAL_PASSWORD_FIELD = "edServicePassTerminal";
inline constexpr const char* TERMINAL_RESET = "0";
inline constexpr const char* TERMINAL_NEW_COMMAND_FILE = "1";
inline constexpr const char* TERMINAL_FORCE_COMMAND = "10";

// The device writes the command file's line breaks as the four characters \r\n (any
// letter case); they become CR LF.
std::string commandFileText(const std::string& deviceText);

// Reset, new command file or forced sending: the function judged, service mode left
// afterwards. An empty password shows "Enter service password" and names its field.
bool terminalFunction(TDeviceOps& ops, const std::string& password, const std::string& function, std::string& focus);

struct TTerminalData {
  std::vector<std::string> info;           // "Terminal info:" lines
  std::optional<std::string> commandFile;  // set once its read began (emptied first)
};
// btnReadTerminalDataClick: first installation, last sent and last Z report numbers
// (a refused one shows its error code in its line) and the last command file.
bool readTerminalData(TDeviceOps& ops, const std::string& password, TTerminalData& data, std::string& focus);

}  // namespace kestrel
