#include "cli/cli_args.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <limits>

#include "support/com_ports.h"

namespace kestrel::cli {

namespace {

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

std::optional<std::string> CommandArgs::value(const std::string& option) const {
  const auto it = values.find(option);
  if (it == values.end() || it->second.empty()) return std::nullopt;
  return it->second.back();
}

std::vector<std::string> CommandArgs::all(const std::string& option) const {
  const auto it = values.find(option);
  return it == values.end() ? std::vector<std::string>{} : it->second;
}

namespace {

constexpr const char* DESCRIPTION = R"(kestrel - command-line tool for KT fiscal devices
kestrel [CONNECTION] [OPTIONS] COMMAND [ARGS]; kestrel COMMAND [VERB] --help: its words and options)";

constexpr const char* FOOTER = R"(Options may also follow the command. After the command a negative number is a word;
a word that starts with "-" and is no option of the command follows "--", which makes
every later word a word.

A file the command writes may be "-": standard output, written only when the whole
result is there (the messages go to stderr). A file that exists and is not a regular
file (a FIFO, a device, a link to one) is refused; so is "-" where the command reads a
file or writes several.

Characters the device's code page cannot hold are sent as "?"; a warning on stderr
names them (and the row and field of a table or file).

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
  kestrel --hosts shops.txt --jobs 8 backup 'backups/{name}.ini'
)";

// The CLI11 side of one declared verb.
struct Declared {
  const CommandDecl* command = nullptr;
  const VerbDecl* verb = nullptr;
  CLI::App* app = nullptr;
  std::vector<CLI::Option*> words, options;
};

// `literalWords`: words follow "--", so the counts are checked once they are added.
void declare(Declared& d, bool literalWords) {
  CLI::App& app = *d.app;
  app.fallthrough();
  for (const WordsDecl& w : d.verb->words) {
    CLI::Option* o = app.add_option(w.name, w.help);
    // At least one value each time it is filled; whether it must be is required().
    o->expected(literalWords ? 1 : std::max(w.min, 1), w.max < 0 ? CLI::detail::expected_max_vector_size : w.max);
    o->required(w.min > 0 && !literalWords);
    // CLI11 fills a positional up to its least count only; the most is checked in collect().
    if (w.max < 0 || w.max > std::max(w.min, 1)) o->allow_extra_args();
    d.words.push_back(o);
  }
  for (const OptionDecl& s : d.verb->options) {
    CLI::Option* o = s.value ? app.add_option(s.name, s.help)->type_name(s.value) : app.add_flag(s.name)->description(s.help);
    if (s.traits & ARG_MANY)
      o->expected(1, CLI::detail::expected_max_vector_size)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    d.options.push_back(o);
  }
}

UsageError stdinRefused(const std::string& what) {
  return UsageError(what + ": '-' stands for standard output, taken only for a file the command writes; "
                           "standard input is not read: give the file's name");
}

// The parsed words of the chosen verb and those after "--" as CommandArgs, with the
// files it writes.
void collect(const Declared& d, const std::vector<std::string>& literalWords, Invocation& inv) {
  CommandArgs& a = inv.args;
  if (*d.verb->verb) a.plain.push_back(d.verb->verb);
  const size_t first = a.plain.size();
  for (size_t i = 0; i < d.words.size(); ++i) {
    const auto& r = d.words[i]->results();
    if ((d.verb->words[i].traits & ARG_INPUT) && std::find(r.begin(), r.end(), "-") != r.end())
      throw stdinRefused(d.verb->words[i].name);
    a.plain.insert(a.plain.end(), r.begin(), r.end());
  }
  for (const WordsDecl& w : d.verb->words)
    if ((w.traits & ARG_INPUT) && std::find(literalWords.begin(), literalWords.end(), "-") != literalWords.end())
      throw stdinRefused(w.name);
  a.plain.insert(a.plain.end(), literalWords.begin(), literalWords.end());
  {
    size_t least = 0, most = 0;
    for (const WordsDecl& w : d.verb->words) {
      least += static_cast<size_t>(w.min);
      most = w.max < 0 || most == SIZE_MAX ? SIZE_MAX : most + static_cast<size_t>(w.max);
    }
    const size_t count = a.plain.size() - first;
    const std::string name = inv.pageCommand + (*d.verb->verb ? std::string(" ") + d.verb->verb : "");
    if (count < least) throw UsageError(name + ": " + d.verb->words.back().name + " is required");
    if (count > most) throw UsageError(name + ": the word '" + a.plain[first + most] + "' was not expected");
  }
  if (!d.verb->words.empty() && (d.verb->words.front().traits & ARG_OUTPUT) && a.plain.size() > first)
    inv.outputFiles.push_back(a.plain[first]);
  for (size_t i = 0; i < d.options.size(); ++i) {
    const OptionDecl& s = d.verb->options[i];
    const CLI::Option& o = *d.options[i];
    if (o.count() == 0) continue;
    if (!s.value) {
      a.flags.insert(s.name);
      if (s.traits & ARG_IRREVERSIBLE) inv.irreversible = true;
      continue;
    }
    auto& v = a.values[s.name];
    v.insert(v.end(), o.results().begin(), o.results().end());
    if ((s.traits & ARG_INPUT) && std::find(v.begin(), v.end(), "-") != v.end()) throw stdinRefused(s.name);
    if (s.traits & ARG_OUTPUT) inv.outputFiles.push_back(v.back());
  }
  if (d.verb->traits & VERB_IRREVERSIBLE) inv.irreversible = true;
  inv.offline = (d.verb->traits & VERB_OFFLINE) != 0;
  inv.yes = a.has("--yes");
}

// The built-in commands' fields from their words.
void fillBuiltIn(Invocation& inv) {
  const CommandArgs& a = inv.args;
  switch (inv.command) {
    case CommandKind::Cmd: {
      const auto n = decimal(a[0], 0, 65535);
      if (!n) throw UsageError("cmd: NUMBER '" + a[0] + "' is not a command number from 0 to 65535");
      inv.number = static_cast<uint16_t>(*n);
      if (a.size() > 1) inv.data = a[1];
      break;
    }
    case CommandKind::ParamGet:
      inv.command = a[0] == "get" ? CommandKind::ParamGet : CommandKind::ParamSet;
      inv.paramName = a[1];
      if (inv.command == CommandKind::ParamGet) {
        if (a.size() > 2) inv.paramIndex = a[2];
      } else {
        if (a.size() == 4) inv.paramIndex = a[2];
        inv.paramValue = a.plain.back();
      }
      if (inv.paramName.empty()) throw UsageError("param: NAME is empty");
      noTab(inv.paramName, "param: NAME");
      if (!inv.paramIndex.empty() && !allDigits(inv.paramIndex))
        throw UsageError("param: INDEX '" + inv.paramIndex + "' is not a number counted from 0");
      noTab(inv.paramValue, "param: VALUE");
      break;
    case CommandKind::Detect:
      for (const std::string& value : a.all("--port")) {
        std::string path;
        int number = 0;
        parseSerialPort(value, number, path);
        inv.detectPorts.push_back(path.empty() ? TComPortsUsage().deviceOf("COM " + std::to_string(number)) : path);
      }
      if (const auto host = a.value("--tcp-host")) parseTcpTarget(*host, inv.detectHost, inv.detectTcpPort);
      break;
    default:
      break;
  }
}

}  // namespace

void Invocation::redirectOutput(const std::string& path) {
  if (!verb) return;
  const size_t first = *verb->verb ? 1 : 0;
  if (!verb->words.empty() && (verb->words.front().traits & ARG_OUTPUT) && args.plain.size() > first &&
      args.plain[first] == "-")
    args.plain[first] = path;
  for (const OptionDecl& o : verb->options)
    if (o.traits & ARG_OUTPUT)
      for (std::string& v : args.values[o.name])
        if (v == "-") v = path;
  for (std::string& f : outputFiles)
    if (f == "-") f = path;
}

Invocation parseCommandLine(const std::vector<std::string>& args) {
  Invocation inv;
  // The words after "--" are words whatever they look like; CLI11 would end a verb at it.
  // After "sim" they are the simulator's, as every word there.
  const auto dashes = std::find(args.begin(), args.end(), "--");
  const auto simWord = std::find(args.begin(), args.end(), "sim");
  const bool split = dashes != args.end() && simWord > dashes;
  const std::vector<std::string> head(args.begin(), split ? dashes : args.end());
  const std::vector<std::string> literal(split ? dashes + 1 : args.end(), args.end());
  CLI::App app{DESCRIPTION, "kestrel"};
  std::string tcp, serial;
  int baud = DEFAULT_BAUD;
  bool sim = false;
  uint32_t timeoutMs = 0;
  int repeat = DEFAULT_REPEAT;
  auto* oTcp = app.add_option("--tcp", tcp, "TCP/IP, port 4999 when not given")->type_name("HOST[:PORT]");
  auto* oSerial = app.add_option("--serial", serial,
                                 "\"COM 3\", \"COM3\", \"3\" (port number) or a device path (/dev/ttyUSB0, a pty)")
                      ->type_name("PORT");
  auto* oBaud = app.add_option("--baud", baud, "line speed with --serial, 115200 when not given")
                    ->type_name("N")
                    ->check(CLI::Range(1, std::numeric_limits<int>::max()));
  auto* oSim = app.add_flag("--sim", sim, "a simulated device started in-process");
  auto* oModel = app.add_option("--model", inv.connection.model, "the model of --sim (KT-33A when not given)")
                     ->type_name("NAME");
  auto* oTimeout = app.add_option("--timeout-ms", timeoutMs,
                                  "the engine's per-byte limit (exitByTimeValue) of the transport in use, on a "
                                  "serial line also the limit of one read; the transport's own defaults when not given")
                       ->type_name("N")
                       ->check(CLI::Range(1u, std::numeric_limits<uint32_t>::max()));
  app.add_option("--repeat", repeat, "the engine's repeatCount; 2 when not given")->type_name("N")->check(CLI::Range(1, 1000));
  app.add_flag("--identify", inv.connection.identify,
               "open as the window does: diagnostic read on open (getAfterConnect), then command 90 with TAB and "
               "the model-table check");
  app.add_flag("--json", inv.json, "one JSON object on stdout instead of text");
  app.add_flag("--trace", inv.trace, "every frame sent and received in hex on stderr (passwords masked)");
  // Taken apart before this parse (cli_fleet.cpp); declared for --help.
  app.add_option("--hosts", "runs the command on every device of FILE, one a line: NAME and tcp:HOST[:PORT] or "
                            "serial:PATH[@BAUD] (\"#\" starts a comment); each device's output under its name, then a "
                            "summary, failures last (--json: one line per device); {name} and {serial} in a file "
                            "argument name each device's own file. Steps that cannot be undone ask once for the "
                            "whole fleet on a terminal and need --yes elsewhere")
      ->type_name("FILE");
  app.add_option("--jobs", "with --hosts: N devices at once (all when not given, at most 64)")->type_name("N");

  std::vector<Declared> declared;
  for (const CommandDecl& c : commandDecls()) {
    CLI::App* sub = app.add_subcommand(c.name, c.help);
    if (c.kind == CommandKind::Sim) {
      // Everything after "sim" is the simulator's, --help included.
      sub->prefix_command();
      sub->set_help_flag();
      declared.push_back({&c, &c.verbs.front(), sub, {}, {}});
      continue;
    }
    if (c.verbs.size() == 1 && !*c.verbs.front().verb) {
      if (std::string(c.verbs.front().help) != c.help) sub->footer(c.verbs.front().help);
      declared.push_back({&c, &c.verbs.front(), sub, {}, {}});
      declare(declared.back(), !literal.empty());
      continue;
    }
    sub->fallthrough();
    sub->require_subcommand(1, 1);
    for (const VerbDecl& v : c.verbs) {
      declared.push_back({&c, &v, sub->add_subcommand(v.verb, v.help), {}, {}});
      declare(declared.back(), !literal.empty());
    }
  }
  app.footer(FOOTER);  // after the commands, which would inherit it
  // One command: once it is named, a word such as "receipt" is one of its words.
  app.require_subcommand(0, 1);

  try {
    std::vector<std::string> reversed(head.rbegin(), head.rend());
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    inv.help = true;
    inv.helpText = app.help();  // of the command (and verb) named before --help
    return inv;
  } catch (const CLI::ParseError& e) {
    // A word left over that looks like an option is what went wrong, whatever CLI11
    // found missing because of it.
    for (const std::string& w : app.remaining(true))
      if (w.size() > 1 && w[0] == '-' && std::isalpha(static_cast<unsigned char>(w[w[1] == '-' ? 2 : 1])))
        throw UsageError("unknown option '" + w + "'");
    std::string where;
    for (const CLI::App* a = &app; !a->get_subcommands().empty();) {
      a = a->get_subcommands().front();
      where += a->get_name() + " ";
    }
    throw UsageError(where.empty() || e.get_name() == "ExtrasError" ? firstLine(e.what())
                                                                     : where.substr(0, where.size() - 1) + ": " + firstLine(e.what()));
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

  const Declared* chosen = nullptr;
  for (const Declared& d : declared)
    if (d.app->parsed()) chosen = &d;
  if (!chosen) throw UsageError("no command given");
  inv.declared = chosen->command;
  inv.verb = chosen->verb;
  inv.command = chosen->command->kind;
  inv.pageCommand = chosen->command->name;
  if (inv.command == CommandKind::Sim) inv.simArgs = chosen->app->remaining();
  else collect(*chosen, literal, inv);
  fillBuiltIn(inv);
  if (inv.declared->check) inv.declared->check(inv.args);

  const std::string command = inv.pageCommand;
  if (inv.needsDevice() && c.kind == LinkKind::None) throw UsageError("no connection: give --tcp, --serial or --sim");
  if (!inv.needsDevice() && c.kind != LinkKind::None)
    throw UsageError(command + " takes no connection (--tcp, --serial, --sim)");
  return inv;
}

}  // namespace kestrel::cli
