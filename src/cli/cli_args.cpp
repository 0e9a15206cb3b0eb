#include "cli/cli_args.h"
#include "cli/cli_pages.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <limits>

#include "support/com_ports.h"

namespace kestrel::cli {

namespace {

struct KnownOption {
  const char* name;
  bool takesValue;
};

constexpr KnownOption kOptions[] = {
    {"--tcp", true},     {"--serial", true},   {"--baud", true},  {"--sim", false},  {"--model", true},
    {"--timeout-ms", true}, {"--repeat", true}, {"--identify", false}, {"--json", false}, {"--trace", false},
    {"--help", false},   {"-h", false},
};

const KnownOption* findOption(const std::string& word) {
  const std::string name = word.substr(0, word.find('='));
  for (const KnownOption& o : kOptions)
    if (name == o.name) return &o;
  return nullptr;
}

bool allDigits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

// A decimal number within [lo, hi], or nothing.
std::optional<long long> decimal(const std::string& text, long long lo, long long hi) {
  if (!allDigits(text) || text.size() > 12) return std::nullopt;
  const long long v = std::stoll(text);
  if (v < lo || v > hi) return std::nullopt;
  return v;
}

void noTab(const std::string& text, const char* what) {
  if (text.find('\t') != std::string::npos)
    throw UsageError(std::string(what) + " must not contain a TAB: TAB separates the parameter's fields");
}

// CLI11 messages can span lines; the reason is one line.
std::string firstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

}  // namespace

void parseTcpTarget(const std::string& text, std::string& host, uint16_t& port) {
  std::string portText;
  if (!text.empty() && text.front() == '[') {
    const size_t close = text.find(']');
    if (close == std::string::npos) throw UsageError("--tcp: missing ']' in '" + text + "'");
    host = text.substr(1, close - 1);
    const std::string rest = text.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') throw UsageError("--tcp: expected ':PORT' after ']' in '" + text + "'");
      portText = rest.substr(1);
      if (portText.empty()) throw UsageError("--tcp: no port after ':' in '" + text + "'");
    }
  } else if (const size_t colon = text.find(':');
             colon != std::string::npos && text.find(':', colon + 1) == std::string::npos) {
    host = text.substr(0, colon);
    portText = text.substr(colon + 1);
    if (portText.empty()) throw UsageError("--tcp: no port after ':' in '" + text + "'");
  } else {
    host = text;  // a bare IPv6 address has several colons and no port
  }
  if (host.empty()) throw UsageError("--tcp: no host in '" + text + "'");
  port = DEFAULT_TCP_PORT;
  if (!portText.empty()) {
    const auto n = decimal(portText, 1, 65535);
    if (!n) throw UsageError("--tcp: port '" + portText + "' is not a number from 1 to 65535");
    port = static_cast<uint16_t>(*n);
  }
}

void parseSerialPort(const std::string& text, int& number, std::string& path) {
  number = 0;
  path.clear();
  if (text.find('/') != std::string::npos) {
    path = text;
    return;
  }
  std::string upper = text;
  std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
  // Only "COM n", "COMn" and "n": anything else around the number is a typing error.
  std::string digits = upper.rfind("COM", 0) == 0 ? upper.substr(upper.rfind("COM ", 0) == 0 ? 4 : 3) : upper;
  const int n = allDigits(digits) ? TComPortsUsage().calculate_FromText(upper) : -1;
  if (n < 1) throw UsageError("--serial: '" + text + "' is neither a port number (COM 3, COM3, 3) nor a device path");
  number = n;
}

std::string paramReadInput(const std::string& name, const std::string& index) {
  return name + "\t" + index + "\t\t";
}

std::string paramWriteInput(const std::string& name, const std::string& index, const std::string& value) {
  return name + "\t" + index + "\t" + value + "\t";
}

Invocation parseCommandLine(const std::vector<std::string>& args) {
  Invocation inv;

  // Split the words: kestrel's options (wherever they stand) for CLI11, the command and
  // its arguments in order, and everything after "sim" for the simulator.
  std::vector<std::string> optionWords, words;
  bool literal = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& w = args[i];
    if (!words.empty() && words.front() == "sim") {
      inv.simArgs.push_back(w);
      continue;
    }
    if (literal) {
      words.push_back(w);
      continue;
    }
    if (w == "--") {
      literal = true;
      continue;
    }
    if (const KnownOption* o = findOption(w)) {
      optionWords.push_back(w);
      if (o->takesValue && w.find('=') == std::string::npos && i + 1 < args.size()) optionWords.push_back(args[++i]);
      continue;
    }
    if (words.empty() && w.size() > 1 && w.front() == '-') {
      optionWords.push_back(w);  // an unknown option: CLI11 names it
      continue;
    }
    words.push_back(w);
  }
  for (const std::string& w : optionWords) {
    if (w == "--help" || w == "-h") {
      inv.help = true;
      return inv;
    }
  }

  CLI::App app{"kestrel", "kestrel"};
  app.set_help_flag();
  std::string tcp, serial;
  int baud = DEFAULT_BAUD;
  bool sim = false;
  uint32_t timeoutMs = 0;
  int repeat = DEFAULT_REPEAT;
  auto* oTcp = app.add_option("--tcp", tcp);
  auto* oSerial = app.add_option("--serial", serial);
  auto* oBaud = app.add_option("--baud", baud)->check(CLI::Range(1, std::numeric_limits<int>::max()));
  auto* oSim = app.add_flag("--sim", sim);
  auto* oModel = app.add_option("--model", inv.connection.model);
  auto* oTimeout = app.add_option("--timeout-ms", timeoutMs)->check(CLI::Range(1u, std::numeric_limits<uint32_t>::max()));
  app.add_option("--repeat", repeat)->check(CLI::Range(1, 1000));
  app.add_flag("--identify", inv.connection.identify);
  app.add_flag("--json", inv.json);
  app.add_flag("--trace", inv.trace);
  try {
    std::vector<std::string> reversed(optionWords.rbegin(), optionWords.rend());
    app.parse(reversed);
  } catch (const CLI::ParseError& e) {
    throw UsageError(firstLine(e.what()));
  }

  ConnectionOptions& c = inv.connection;
  const int links = static_cast<int>(oTcp->count() > 0) + static_cast<int>(oSerial->count() > 0) +
                    static_cast<int>(oSim->count() > 0);
  if (links > 1) throw UsageError("give only one connection: --tcp, --serial or --sim");
  if (oTcp->count()) {
    c.kind = LinkKind::Tcp;
    parseTcpTarget(tcp, c.host, c.tcpPort);
  } else if (oSerial->count()) {
    c.kind = LinkKind::Serial;
    parseSerialPort(serial, c.serialPort, c.serialPath);
  } else if (oSim->count()) {
    c.kind = LinkKind::Sim;
  }
  if (oModel->count()) {
    if (c.kind != LinkKind::Sim) throw UsageError("--model goes with --sim");
    if (c.model.empty()) throw UsageError("--model: the model name is empty");
    c.modelGiven = true;
  }
  if (oBaud->count() && c.kind != LinkKind::Serial) throw UsageError("--baud goes with --serial");
  c.baud = baud;
  if (oTimeout->count()) c.timeoutMs = timeoutMs;
  c.repeat = repeat;

  if (words.empty()) throw UsageError("no command given");
  const std::string command = words.front();
  const std::vector<std::string> rest(words.begin() + 1, words.end());
  auto arity = [&](size_t lo, size_t hi, const char* usage) {
    if (hi == 0 && !rest.empty()) throw UsageError(command + " takes no arguments ('" + rest[0] + "' given)");
    if (rest.size() < lo || rest.size() > hi) throw UsageError(std::string("usage: ") + usage);
  };
  if (command == "info") {
    arity(0, 0, "info");
    inv.command = CommandKind::Info;
  } else if (command == "status") {
    arity(0, 0, "status");
    inv.command = CommandKind::Status;
  } else if (command == "ports") {
    arity(0, 0, "ports");
    inv.command = CommandKind::Ports;
  } else if (command == "detect") {
    inv.command = CommandKind::Detect;
    for (size_t i = 0; i < rest.size(); ++i) {
      const bool port = rest[i] == "--port", host = rest[i] == "--tcp-host";
      if ((!port && !host) || i + 1 == rest.size())
        throw UsageError("usage: detect [--port PATH...] [--tcp-host HOST[:PORT]]");
      const std::string& value = rest[++i];
      if (port) {
        std::string path;
        int number = 0;
        parseSerialPort(value, number, path);
        inv.detectPorts.push_back(path.empty() ? TComPortsUsage().deviceOf("COM " + std::to_string(number)) : path);
      } else {
        parseTcpTarget(value, inv.detectHost, inv.detectTcpPort);
      }
    }
  } else if (command == "sim") {
    inv.command = CommandKind::Sim;
  } else if (command == "cmd") {
    arity(1, 2, "cmd NUMBER [DATA]");
    const auto n = decimal(rest[0], 0, 65535);
    if (!n) throw UsageError("cmd: NUMBER '" + rest[0] + "' is not a command number from 0 to 65535");
    inv.command = CommandKind::Cmd;
    inv.number = static_cast<uint16_t>(*n);
    if (rest.size() > 1) inv.data = rest[1];
  } else if (command == "param") {
    if (rest.empty() || (rest[0] != "get" && rest[0] != "set"))
      throw UsageError("usage: param get NAME [INDEX] | param set NAME [INDEX] VALUE");
    const std::vector<std::string> p(rest.begin() + 1, rest.end());
    if (rest[0] == "get") {
      if (p.empty() || p.size() > 2) throw UsageError("usage: param get NAME [INDEX]");
      inv.command = CommandKind::ParamGet;
      inv.paramName = p[0];
      if (p.size() > 1) inv.paramIndex = p[1];
    } else {
      if (p.size() < 2 || p.size() > 3) throw UsageError("usage: param set NAME [INDEX] VALUE");
      inv.command = CommandKind::ParamSet;
      inv.paramName = p[0];
      if (p.size() == 3) inv.paramIndex = p[1];
      inv.paramValue = p.back();
    }
    if (inv.paramName.empty()) throw UsageError("param: NAME is empty");
    noTab(inv.paramName, "param: NAME");
    if (!inv.paramIndex.empty() && !allDigits(inv.paramIndex))
      throw UsageError("param: INDEX '" + inv.paramIndex + "' is not a number counted from 0");
    noTab(inv.paramValue, "param: VALUE");
  } else if (const PageCommand* page = findPageCommand(command)) {
    page->check(rest);
    inv.command = CommandKind::Page;
    inv.pageCommand = command;
    inv.pageArgs = rest;
    inv.offline = page->offline && page->offline(rest);
  } else {
    throw UsageError("unknown command '" + command + "'");
  }

  if (inv.needsDevice() && c.kind == LinkKind::None) throw UsageError("no connection: give --tcp, --serial or --sim");
  if (!inv.needsDevice() && c.kind != LinkKind::None)
    throw UsageError(command + " takes no connection (--tcp, --serial, --sim)");
  return inv;
}

const char* usageText() {
  return R"(kestrel - command-line tool for KT fiscal devices

Usage: kestrel [CONNECTION] [OPTIONS] COMMAND [ARGS]

CONNECTION (one of):
  --tcp HOST[:PORT]        TCP/IP, port 4999 when not given
  --serial PORT            "COM 3", "COM3", "3" (port number) or a device path (/dev/ttyUSB0, a pty)
      --baud N             line speed, 115200 when not given
  --sim [--model NAME]     a simulated device started in-process (default model KT-33A)

OPTIONS:
  --timeout-ms N           the engine's per-byte limit (exitByTimeValue) of the transport in use,
                           on a serial line also the limit of one read; the transport's own
                           defaults when not given
  --repeat N               the engine's repeatCount; 2 when not given
  --identify               open as the window does: diagnostic read on open (getAfterConnect),
                           then command 90 with TAB and the model-table check
  --json                   one JSON object on stdout instead of text
  --trace                  every frame written and read, in hexadecimal, on stderr
  -h, --help               this text

COMMANDS:
  info                              the diagnostic information (both command-90 requests)
  cmd NUMBER [DATA]                 one customCommand; DATA in the special-symbol notation
                                    ("#[tab]", "\t", "[lf]", "[\lf]"...), resolved with
                                    prepare_InputForSpecialSymbols; an incomplete escape
                                    ("[1B!]"), a token that stands for nothing ("[EUR]") or
                                    data too long for one frame are refused, nothing is sent
  status                            command 74, then the 8 status bytes with every set bit and its description
  param get NAME [INDEX]            command 255 read; prints field 1
  param set NAME [INDEX] VALUE      command 255 write
  config get [PAGE...]              the setup pages' values as PAGE.NAME=VALUE lines; pages:
                                    datetime, header, footer, vat, parameters, receipt, communication,
                                    fiscal (read only), corrections (discount and surcharge keys;
                                    registers only)
  config set PAGE.NAME=VALUE...     changes the named values of one page with that page's save;
                                    its other values are read first and written back as they are
  date get                          the device's date and time (command 62)
  date set --now                    sets the device's clock (command 61) to this computer's time, or to
  date set "DD-MM-YY HH:MM:SS"      the time given; " DST" is added when the device's automatic summer
                                    time is on and the moment falls into summer time
  header export FILE                the 10 header and 10 footer lines into a text file (CR LF, Windows-1250)
  header import FILE                such a file (UTF-8 or UTF-16 with a byte-order mark, else Windows-1250)
                                    written to the device: lines 1-10 header, 11-20 footer, missing ones empty
  table get NAME [--csv FILE]       a master-data table as CSV (header: the grid's titles) on stdout,
                                    into FILE, or as JSON with --json; NAME: stock-groups,
                                    departments, payments, operators, keys
  table set NAME FILE.csv           reads such a file into the table and saves it with the page's
                                    save; a refused line names its line number and nothing is written
  logo FILE.bmp                     uploads the file as the receipt logo (command 202), checked block
                                    by block against the device's checksum; nothing is sent for a
                                    file larger than the device's logo memory
  service get                       the service date and the non-empty service text lines
  service set DD.MM.YYYY [LINE...]  writes the service date and up to 10 lines in service mode
  service mode on|off               enters or leaves service mode (command 253)
  service ram-reset TYPE            RAM reset of TYPE (one of CPBDSF) in service mode
  service operation --start DT --end DT --type LETTER
                                    records a service operation (DT "DD-MM-YY HH:MM:SS"; LETTER one
                                    of NTBPFOKMI); the device must be in service mode
  fiscal get                        the serial, FM, JIB, PIB and IOSA numbers and the fiscal state
  fiscal set-serial SERIAL FM       the one-time fiscal steps (commands 91, 98, 96, 72); fiscalize
  fiscal set-tax JIB PIB            uses the numbers the device holds
  fiscal set-iosa IOSA
  fiscal fiscalize
  terminal info|reset|new-command-file|force-send
                                    the terminal functions (command 144) in service mode
  certificates check                checks the device's certificates; exit 1 when they are not valid
                                    Steps that cannot be undone (serial and FM, tax numbers,
                                    fiscalize, RAM reset) ask "Are you sure? [y/N]" on a terminal;
                                    elsewhere they run only with --yes. The service password is the
                                    first line of --password-file FILE (readable by its owner only)
                                    or KESTREL_SERVICE_PASSWORD; never give it on the command line.
  items read [--from N] [--to M] [--csv FILE]
                                    the items (command 107) as a table, JSON with --json, or a CSV file;
                                    a PLU the device lacks costs one more query, not a read per number;
                                    without a range every item from the first to the last
  items write FILE.csv [--from N --to M]
                                    the file's items (all, or PLU N to M) written to the device
  items delete (--all | --from N --to M | PLU...)
                                    deletes items in the device (--all without a question)
  items qty PLU CHANGE              adds CHANGE (2.5, -1) to the item's stock quantity
  items csv-check FILE.csv          reads the file as the import does and names the first refused
                                    line; no device (exit 1 on a refused line)
  fm-report --from DT --to DT       the device prints its fiscal memory over the period (DT
                                    "DD-MM-YY HH:MM:SS"; " DST" is added where the device's automatic
                                    summer time applies) or over the record numbers N to M (command 95)
  fm-report --first N --last M
  ej read --type TYPE (--from DT --to DT | --first N --last M) [-o FILE]
                                    the journal's documents of TYPE (fiscal, storno, x, z, periodic,
                                    all-fiscal, non-fiscal, copy, all, or the codes 0 to 8) in the
                                    period or the number range, line by line to stdout as they arrive;
                                    with -o FILE into the file (LF, Windows-1250), written only when
                                    the whole reading succeeded; Ctrl-C stops, also inside a document
  ej print --type TYPE ...          the same documents printed on the device (and shown)
  ej validate FILE                  checks a saved journal document against the hash printed with it;
                                    no connection; exit 0 only when it is valid (--json: the hashes)
  report x                          the X report; prints the report number, the sums and storno sums
                                    per VAT group (A, E, J, K, M) and both totals
  report z [--delete-items FROM-TO] the Z report, the same values; with --delete-items it then deletes
                                    the items FROM to TO in service mode (the service password as for
                                    `service`)
  report departments|groups|diagnostic
                                    the departments, item groups or diagnostic printout
  report operators FROM TO [--clear]
                                    the operators report; --clear clears their registers
  report plu KIND FROM TO           the items report; KIND turnovers, clearing, parameters or stock
  report periodic KIND --from DD.MM.YYYY --to DD.MM.YYYY [--by code|department|group
         --plu-from N --plu-to M]   the periodic report; KIND payments, departments or plu (the
                                    options in brackets for plu only)
  cash in|out AMOUNT                cash into or out of the drawer; prints the drawer's three sums
  receipt test [--add-item] [--plu N --price P --name TEXT --tax-group A|E|J|K|M]
  receipt reclamation [--receipt-number N]
          [--payment cash|card|cheque|virman --correction PERCENT --iosa N --operator N]
                                    a test fiscal or reclamation receipt for one item (--add-item
                                    programs it first); the operator password is the model's default,
                                    or the first line of --password-file FILE or
                                    KESTREL_OPERATOR_PASSWORD
  receipt close                     closes a receipt left open (voids at most 500 sales, then reports)
  restart                           restarts the device (command 202)
  clients read [--csv FILE|--json]  the device's clients (register models), walking the numbers
                                    to 1000; --csv writes the Clients page's CSV file
  clients write FILE.csv [--selected ID...]
                                    writes the clients of such a file (or only those numbers)
  clients delete --all | ID...      deletes every client (--all is the confirmation) or those numbers
                                    Ctrl-C ends a clients loop between two clients (exit 1)
  backup FILE [--with-items] [--with-clients]
                                    every setup page (date and fiscal numbers aside) and master-data
                                    table into one INI file (readable by its owner only); the
                                    options add the items and the clients
  restore FILE [--dry-run] [--password-file FILE]
                                    writes such a file through the pages' saves, only what differs;
                                    --dry-run lists the changes and writes nothing. Access point and
                                    server values need the service password (--password-file or
                                    KESTREL_SERVICE_PASSWORD), else they are skipped with a note.
                                    Exit 0 only when everything was written
  health                            model, serial and fiscal memory numbers, fiscalized or not, the
                                    device clock's difference from this computer's (seconds) and the
                                    status bits that need attention ("OK" when none); exit 0 when read
  ports                             the serial ports present
  detect [--port PATH...] [--tcp-host HOST[:PORT]]
                                    looks for a device: every serial port (or those given) at every
                                    line speed, most common first (115200, 9600, 57600, 38400, 19200,
                                    4800, 2400, 1200), with the diagnostic read; and the TCP port of
                                    HOST (4999 when not given). Prints port, speed, model and serial
                                    number of each device found, and every port that is busy or not
                                    permitted; exit 0 when a device was found. --timeout-ms sets the
                                    limit of one attempt (400 when not given)
  sim [kestrel-sim options]         runs the simulator in the foreground

MANY DEVICES:
  --hosts FILE [--jobs N]  runs the command on every device of FILE, one a line: NAME and
                           tcp:HOST[:PORT] or serial:PATH[@BAUD] ("#" starts a comment), up to N
                           at once (all when not given, at most 64). Each device's output under
                           its name, then a summary table, failures last; with --json one line per
                           device. {name} and {serial} in a file argument name each device's own
                           file; a file without them is refused. Exit 1 when any device failed

Options may also follow the command. An argument that starts with "-" is taken as it
is after the command; "--" makes every following word an argument.

Characters the device's code page cannot hold are sent as "?"; a warning on stderr
names them.

Exit status: 0 when the command succeeded (customCommand's result true and the device's
or the engine's error code 0), 1 otherwise (the message on stderr), 2 for a usage error
or DATA that cannot be sent.

Examples:
  kestrel --sim info
  kestrel --tcp 192.168.1.50 --json status
  kestrel --serial "COM 3" --baud 9600 cmd 90 "[tab]"
  kestrel --serial /dev/ttyUSB0 param set Header 0 "MY SHOP"
  kestrel --tcp 127.0.0.1:5000 param get TimeZone
  kestrel --sim config get vat
  kestrel --sim config set vat.A=17.00 vat.E=disabled
  kestrel --tcp 192.168.1.50 date set --now
  kestrel --tcp 192.168.1.50 header export shop.txt
  kestrel --tcp 192.168.1.50 logo shop.bmp
  kestrel --sim table get departments --csv departments.csv
)";
}

}  // namespace kestrel::cli
