#pragma once
// The command line of kestrel: connection, options, one command and its arguments.
// Every mistake becomes a UsageError with a one-line reason.
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace kestrel::cli {

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class LinkKind { None, Tcp, Serial, Sim };

inline constexpr uint16_t DEFAULT_TCP_PORT = 4999;
inline constexpr int DEFAULT_BAUD = 115200;
inline constexpr int DEFAULT_REPEAT = 2;
inline constexpr const char* DEFAULT_SIM_MODEL = "KT-33A";

struct ConnectionOptions {
  LinkKind kind = LinkKind::None;
  std::string host;                   // --tcp
  uint16_t tcpPort = DEFAULT_TCP_PORT;
  int serialPort = 0;                 // --serial as a port number (/dev/ttyS<n-1>)
  std::string serialPath;             // --serial as a device path
  int baud = DEFAULT_BAUD;
  std::string model = DEFAULT_SIM_MODEL;  // --sim --model
  bool modelGiven = false;
  std::optional<uint32_t> timeoutMs;  // the transport's own default when empty
  int repeat = DEFAULT_REPEAT;
  bool identify = false;
};

enum class CommandKind { None, Info, Cmd, Status, ParamGet, ParamSet, Ports, Sim, Page };

struct Invocation {
  ConnectionOptions connection;
  bool json = false;
  bool trace = false;
  bool help = false;
  CommandKind command = CommandKind::None;
  // cmd
  uint16_t number = 0;
  std::string data;  // as typed; special symbols are resolved when sending
  // param
  std::string paramName, paramIndex, paramValue;
  // a page command (config, date, header, logo): its name and the words after it
  std::string pageCommand;
  std::vector<std::string> pageArgs;
  bool pageOffline = false;  // the page command needs no device for these arguments
  // sim: the arguments after "sim", untouched
  std::vector<std::string> simArgs;

  bool needsDevice() const {
    return command != CommandKind::Ports && command != CommandKind::Sim && command != CommandKind::None &&
           !pageOffline;
  }
};

// `args` without the program name. Options may stand before or after the command;
// after the command a word that is no option of kestrel is an argument, even when it
// starts with "-" (a negative number, a text), and "--" makes every later word one.
// Everything after "sim" goes to the simulator. Throws UsageError.
Invocation parseCommandLine(const std::vector<std::string>& args);

// "HOST[:PORT]" or "[IPv6]:PORT"; the port is 4999 when not given. Throws UsageError.
void parseTcpTarget(const std::string& text, std::string& host, uint16_t& port);
// "COM 3", "COM3", "3" give the port number, a text with "/" is a device path. Throws
// UsageError.
void parseSerialPort(const std::string& text, int& number, std::string& path);

// Input texts of the named device parameters (command 255).
std::string paramReadInput(const std::string& name, const std::string& index);
std::string paramWriteInput(const std::string& name, const std::string& index, const std::string& value);

// The text of --help.
const char* usageText();

}  // namespace kestrel::cli
