#pragma once
// The command line of kestrel: connection, options, one command and its arguments.
// Every mistake becomes a UsageError with a one-line reason.
#include <cstdint>
#include <map>
#include <optional>
#include <set>
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

enum class CommandKind { None, Info, Cmd, Status, ParamGet, ParamSet, Ports, Detect, Sim, Page };

// The words of a command as its declaration took them.
struct CommandArgs {
  std::vector<std::string> plain;  // the verb (when the command has verbs), then the words in order
  std::map<std::string, std::vector<std::string>> values;  // an option with a value, each time given
  std::set<std::string> flags;

  size_t size() const { return plain.size(); }
  bool empty() const { return plain.empty(); }
  const std::string& operator[](size_t i) const { return plain[i]; }
  bool has(const std::string& flag) const { return flags.count(flag) > 0; }
  // The option's value (the last one given), or nothing.
  std::optional<std::string> value(const std::string& option) const;
  std::string valueOr(const std::string& option, const std::string& otherwise) const {
    return value(option).value_or(otherwise);
  }
  std::vector<std::string> all(const std::string& option) const;
};

// What a declared word or option is besides its text.
enum ArgTraits : unsigned {
  ARG_NONE = 0,
  ARG_MANY = 1,          // an option that takes several values (--port A --port B, --selected 1 2)
  ARG_OUTPUT = 2,        // names a file the command writes ("-": standard output)
  ARG_IRREVERSIBLE = 4,  // a flag that makes the command one that cannot be undone (delete --all)
  ARG_INPUT = 8,         // names a file the command reads ("-" is refused: standard input is not read)
};

struct OptionDecl {
  const char* name;   // "--csv", "-o"
  const char* value;  // "FILE"; null for a flag
  const char* help;
  unsigned traits = ARG_NONE;
};

// Positional words: a name for the help, how many (max -1: any number).
struct WordsDecl {
  const char* name;
  int min, max;
  const char* help;
  unsigned traits = ARG_NONE;  // ARG_OUTPUT: the (first) word is an output file
};

enum VerbTraits : unsigned {
  VERB_NONE = 0,
  VERB_OFFLINE = 1,       // needs no device (a file check)
  VERB_IRREVERSIBLE = 2,  // cannot be undone: a fleet asks once for all devices
};

struct VerbDecl {
  const char* verb;  // "" for a command without verbs
  const char* help;
  std::vector<WordsDecl> words;
  std::vector<OptionDecl> options;
  unsigned traits = VERB_NONE;
};

struct PageCommandContext;

// One command of kestrel, declared once: its verbs, their words and options (the parser
// and --help come from this), the checks that need more than the declaration (values,
// files; throws UsageError) and what runs it.
struct CommandDecl {
  const char* name;
  const char* help;
  CommandKind kind;
  std::vector<VerbDecl> verbs;  // a single one with verb "" when the command has none
  void (*check)(const CommandArgs& args) = nullptr;
  int (*run)(PageCommandContext& ctx) = nullptr;  // the page commands
};

// Every command, in the order of --help (cli_pages.cpp).
const std::vector<CommandDecl>& commandDecls();

struct Invocation {
  ConnectionOptions connection;
  bool json = false;
  bool trace = false;
  bool help = false;
  std::string helpText;  // what --help prints: of kestrel or of the command named before it
  CommandKind command = CommandKind::None;
  const CommandDecl* declared = nullptr;
  const VerbDecl* verb = nullptr;
  CommandArgs args;
  // cmd
  uint16_t number = 0;
  std::string data;  // as typed; special symbols are resolved when sending
  // param
  std::string paramName, paramIndex, paramValue;
  // a page command: its name
  std::string pageCommand;
  // detect: the ports to try (all of the machine when empty) and a TCP host
  std::vector<std::string> detectPorts;
  std::string detectHost;
  uint16_t detectTcpPort = 0;
  // sim: the arguments after "sim", untouched
  std::vector<std::string> simArgs;

  // A page command whose arguments need no device.
  bool offline = false;
  // The files the command writes, as given ("-" for standard output).
  std::vector<std::string> outputFiles;
  // Every output named "-" replaced by `path`.
  void redirectOutput(const std::string& path);
  // A step that cannot be undone (fiscalization, RAM reset, Z report, delete all), and
  // whether --yes confirmed it.
  bool irreversible = false;
  bool yes = false;

  bool needsDevice() const {
    return command != CommandKind::Ports && command != CommandKind::Detect && command != CommandKind::Sim &&
           command != CommandKind::None && !offline;
  }
};

// `args` without the program name, parsed by the commands' declarations. kestrel's options
// may stand before or after the command; after the command a negative number is a word,
// an unknown option is an error, and "--" makes every later word a word. Everything
// after "sim" goes to the simulator. Throws UsageError.
Invocation parseCommandLine(const std::vector<std::string>& args);

// "HOST[:PORT]" or "[IPv6]:PORT"; the port is 4999 when not given. Throws UsageError.
void parseTcpTarget(const std::string& text, std::string& host, uint16_t& port);
// "COM 3", "COM3", "3" give the port number, a text with "/" is a device path. Throws
// UsageError.
void parseSerialPort(const std::string& text, int& number, std::string& path);


}  // namespace kestrel::cli
