// The command line: connections, options wherever they stand, command arguments that
// look like options, and every usage error with status 2 before anything is opened.
#include <gtest/gtest.h>

#include "cli/cli_args.h"
#include "support_cli.h"

namespace kestrel::cli {
namespace {

using clitest::runCli;

TEST(CliArgs, DefaultsOfAConnection) {
  const Invocation tcp = parseCommandLine({"--tcp", "127.0.0.5", "status"});
  EXPECT_EQ(tcp.connection.kind, LinkKind::Tcp);
  EXPECT_EQ(tcp.connection.host, "127.0.0.5");
  EXPECT_EQ(tcp.connection.tcpPort, 4999);
  EXPECT_EQ(tcp.connection.repeat, 2);
  EXPECT_FALSE(tcp.connection.timeoutMs.has_value());
  EXPECT_FALSE(tcp.connection.identify);
  EXPECT_EQ(tcp.command, CommandKind::Status);

  const Invocation serial = parseCommandLine({"--serial", "COM 3", "info"});
  EXPECT_EQ(serial.connection.kind, LinkKind::Serial);
  EXPECT_EQ(serial.connection.serialPort, 3);
  EXPECT_EQ(serial.connection.baud, 115200);

  const Invocation sim = parseCommandLine({"--sim", "info"});
  EXPECT_EQ(sim.connection.kind, LinkKind::Sim);
  EXPECT_EQ(sim.connection.model, "KT-33A");
  EXPECT_FALSE(sim.connection.modelGiven);

  const Invocation all = parseCommandLine({"--sim", "--model", "KT-11A", "--timeout-ms", "250", "--repeat", "5",
                                           "--identify", "--json", "--trace", "info"});
  EXPECT_EQ(all.connection.model, "KT-11A");
  EXPECT_TRUE(all.connection.modelGiven);
  EXPECT_EQ(all.connection.timeoutMs, 250u);
  EXPECT_EQ(all.connection.repeat, 5);
  EXPECT_TRUE(all.connection.identify && all.json && all.trace);
}

TEST(CliArgs, SerialPortForms) {
  const std::vector<std::tuple<std::string, int, std::string>> good = {
      {"COM 3", 3, ""}, {"COM3", 3, ""}, {"3", 3, ""}, {"com 12", 12, ""}, {"COM 003", 3, ""},
      {"/dev/ttyUSB0", 0, "/dev/ttyUSB0"}, {"/dev/pts/7", 0, "/dev/pts/7"}, {"./ttyV0", 0, "./ttyV0"},
  };
  for (const auto& [text, number, path] : good) {
    SCOPED_TRACE(text);
    int n = -1;
    std::string p = "x";
    parseSerialPort(text, n, p);
    EXPECT_EQ(n, number);
    EXPECT_EQ(p, path);
  }
  for (const std::string bad : {"", "0", "COM", "COM 0", "COMX", "3a", "-1", "ttyS0", "COM 3 4"}) {
    SCOPED_TRACE(bad);
    int n = 0;
    std::string p;
    EXPECT_THROW(parseSerialPort(bad, n, p), UsageError);
  }
}

TEST(CliArgs, TcpTargetForms) {
  const std::vector<std::tuple<std::string, std::string, uint16_t>> good = {
      {"127.0.1.50", "127.0.1.50", 4999}, {"localhost:5000", "localhost", 5000},
      {"[::1]:6000", "::1", 6000},            {"[::1]", "::1", 4999},
      {"fe80::1", "fe80::1", 4999},           {"h:65535", "h", 65535},
  };
  for (const auto& [text, host, port] : good) {
    SCOPED_TRACE(text);
    std::string h;
    uint16_t p = 0;
    parseTcpTarget(text, h, p);
    EXPECT_EQ(h, host);
    EXPECT_EQ(p, port);
  }
  for (const std::string bad : {"", "h:", ":5000", "h:0", "h:65536", "h:x", "[::1", "[::1]x"}) {
    SCOPED_TRACE(bad);
    std::string h;
    uint16_t p = 0;
    EXPECT_THROW(parseTcpTarget(bad, h, p), UsageError);
  }
}

TEST(CliArgs, ArgumentsAfterTheCommand) {
  // A negative number and a text starting with "-" are arguments, not options.
  const Invocation neg = parseCommandLine({"--sim", "param", "set", "TimeZone", "-5"});
  EXPECT_EQ(neg.command, CommandKind::ParamSet);
  EXPECT_EQ(neg.paramName, "TimeZone");
  EXPECT_EQ(neg.paramIndex, "");
  EXPECT_EQ(neg.paramValue, "-5");

  const Invocation dash = parseCommandLine({"--sim", "param", "set", "Header", "0", "-- SALE --"});
  EXPECT_EQ(dash.paramIndex, "0");
  EXPECT_EQ(dash.paramValue, "-- SALE --");

  // kestrel's own options may follow the command; after "--" nothing is an option.
  const Invocation late = parseCommandLine({"cmd", "90", "#[tab]", "--json", "--sim"});
  EXPECT_EQ(late.command, CommandKind::Cmd);
  EXPECT_EQ(late.number, 90);
  EXPECT_EQ(late.data, "#[tab]");
  EXPECT_TRUE(late.json);
  const Invocation literal = parseCommandLine({"--sim", "cmd", "42", "--", "--json"});
  EXPECT_EQ(literal.data, "--json");
  EXPECT_FALSE(literal.json);

  const Invocation get = parseCommandLine({"--sim", "param", "get", "Header", "9"});
  EXPECT_EQ(get.command, CommandKind::ParamGet);
  EXPECT_EQ(get.paramIndex, "9");

  // Everything after "sim" belongs to the simulator, --help included.
  const Invocation sim = parseCommandLine({"sim", "--tcp", "0", "--json", "--help"});
  EXPECT_EQ(sim.command, CommandKind::Sim);
  EXPECT_FALSE(sim.help);
  EXPECT_FALSE(sim.json);
  EXPECT_EQ(sim.simArgs, (std::vector<std::string>{"--tcp", "0", "--json", "--help"}));
}

TEST(CliArgs, UsageErrorsExitWithTwoAndAHint) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"--sim"},
      {"info"},
      {"--sim", "--tcp", "h", "info"},
      {"--tcp", "h", "--serial", "3", "info"},
      {"--sim", "bogus"},
      {"--bogus", "--sim", "info"},
      {"--tcp"},
      {"--tcp", "h:70000", "info"},
      {"--serial", "COMX", "info"},
      {"--serial", "3", "--baud", "fast", "info"},
      {"--serial", "3", "--baud", "0", "info"},
      {"--tcp", "h", "--baud", "9600", "info"},
      {"--tcp", "h", "--model", "KT-11A", "info"},
      {"--sim", "--repeat", "0", "info"},
      {"--sim", "--timeout-ms", "-3", "info"},
      {"--tcp", "a", "--tcp", "b", "info"},
      {"--sim", "info", "extra"},
      {"--sim", "status", "x"},
      {"--sim", "cmd"},
      {"--sim", "cmd", "x90"},
      {"--sim", "cmd", "65536"},
      {"--sim", "cmd", "90", "a", "b"},
      {"--sim", "param"},
      {"--sim", "param", "put", "X"},
      {"--sim", "param", "get"},
      {"--sim", "param", "get", "Header", "first"},
      {"--sim", "param", "set", "Header"},
      {"--sim", "param", "set", "Header", "x", "SHOP"},
      {"--sim", "param", "set", "Header", "0", "A\tB"},
      {"--sim", "param", "set", "", "1"},
      {"--sim", "ports"},
      {"--serial", "3", "sim"},
  };
  for (const std::vector<std::string>& args : cases) {
    std::string line;
    for (const auto& a : args) line += "[" + a + "]";
    SCOPED_TRACE(line);
    const clitest::CliRun r = runCli(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.out.empty()) << r.out;
    // One line of reason, then the hint.
    ASSERT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2) << r.err;
    EXPECT_EQ(r.err.rfind("kestrel: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("--help"), std::string::npos) << r.err;
  }
}

TEST(CliArgs, HelpPrintsTheContract) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{{"--help"}, {"-h"}, {"--sim", "-h"}}) {
    const clitest::CliRun r = runCli(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.err.empty());
    for (const char* part : {"kestrel [CONNECTION] [OPTIONS] COMMAND [ARGS]", "--tcp HOST[:PORT]", "--timeout-ms N",
                             "--hosts FILE", "Exit status", "kestrel --sim info"})
      EXPECT_NE(r.out.find(part), std::string::npos) << part;
    for (const CommandDecl& c : commandDecls()) EXPECT_NE(r.out.find(std::string("  ") + c.name + " "), std::string::npos) << c.name;
  }
}

// Every command and verb has its --help from its declaration: the usage line, its text,
// its words and options, exit 0, wherever the connection options stand.
TEST(CliArgs, EveryCommandAndVerbHasItsHelp) {
  for (const CommandDecl& c : commandDecls()) {
    if (c.kind == CommandKind::Sim) continue;  // the simulator's own --help
    for (const VerbDecl& v : c.verbs) {
      std::vector<std::string> args{"--sim", c.name};
      if (*v.verb) args.push_back(v.verb);
      args.push_back("--help");
      const std::string name = std::string(c.name) + (*v.verb ? std::string(" ") + v.verb : "");
      SCOPED_TRACE(name);
      const clitest::CliRun r = runCli(args);
      EXPECT_EQ(r.status, 0);
      EXPECT_EQ(r.err, "");
      EXPECT_NE(r.out.find("Usage: kestrel " + name), std::string::npos) << r.out;
      EXPECT_NE(r.out.find(v.help), std::string::npos) << r.out;
      for (const WordsDecl& w : v.words) EXPECT_NE(r.out.find(w.name), std::string::npos) << w.name;
      for (const OptionDecl& o : v.options) EXPECT_NE(r.out.find(o.name), std::string::npos) << o.name;
    }
    // A command with verbs lists them.
    if (c.verbs.size() > 1) {
      const clitest::CliRun r = runCli({c.name, "--help"});
      EXPECT_EQ(r.status, 0);
      for (const VerbDecl& v : c.verbs) EXPECT_NE(r.out.find(std::string("  ") + v.verb + " "), std::string::npos) << v.verb;
    }
  }
}

// An option the command does not take is named, exit 2, before anything is opened (no
// device listens on the address given).
TEST(CliArgs, AnUnknownOptionIsNamed) {
  const std::vector<std::vector<std::string>> cases = {
      {"items", "read", "--bogus"},          {"items", "qty", "5", "-x"},   {"--bogus", "info"},
      {"report", "x", "--clear"},            {"clients", "read", "--all"}, {"backup", "b.ini", "--dry-run"},
      {"ej", "validate", "f", "--type", "x"}, {"table", "get", "vat", "-o", "f"}, {"date", "get", "--now"},
  };
  for (std::vector<std::string> args : cases) {
    const std::string option = *std::find_if(args.begin(), args.end(), [](const std::string& w) {
      return w.size() > 1 && w[0] == '-' && (w == "--bogus" || w == "-x" || w == "--clear" || w == "--all" ||
                                            w == "--dry-run" || w == "--type" || w == "-o" || w == "--now");
    });
    args.insert(args.begin(), {"--tcp", "127.0.0.1:1"});
    SCOPED_TRACE(args[2] + " " + option);
    const clitest::CliRun r = runCli(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("'" + option + "'"), std::string::npos) << r.err;
  }
}

}  // namespace
}  // namespace kestrel::cli
