// kestrel service, fiscal, terminal and certificates over loopback TCP to one simulator:
// the one-time steps confirmed on a terminal or by --yes, the service text, mode, RAM
// reset and operation, the terminal functions, the certificate check, --json, and the
// service password from a private file or the environment only.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "support_cli.h"
#include "support_sim_server.h"

namespace kestrel::cli {
namespace {

using clitest::parseJson;
using clitest::runCli;
using clitest::SimServer;
using clitest::StdinNotTerminal;

struct PasswordInEnvironment {
  explicit PasswordInEnvironment(const char* p) { setenv("KESTREL_SERVICE_PASSWORD", p, 1); }
  ~PasswordInEnvironment() { unsetenv("KESTREL_SERVICE_PASSWORD"); }
};

struct PasswordFile {
  PasswordFile(const std::string& text, mode_t mode)
      : path((std::filesystem::temp_directory_path() / ("kestrel-pw-" + std::to_string(::getpid()))).string()) {
    std::ofstream(path) << text;
    ::chmod(path.c_str(), mode);
  }
  ~PasswordFile() { std::filesystem::remove(path); }
  std::string path;
};

TEST(CliService, FiscalStepsNeedYesWithoutTerminalAndEndInFiscalMode) {
  StdinNotTerminal noTerminal;
  SimServer server;
  const std::string tcp = server.tcp();
  const clitest::CliRun refused = runCli({"--tcp", tcp, "fiscal", "set-serial", "AB123456", "12345678"});
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find("add --yes"), std::string::npos) << refused.err;
  EXPECT_FALSE(server.sim->withDevice([](sim::DeviceModel& d) { return !d.state().serial.empty(); }));

  const clitest::CliRun serial =
      runCli({"--tcp", tcp, "--json", "fiscal", "set-serial", "AB123456", "12345678", "--yes"});
  ASSERT_EQ(serial.status, 0) << serial.err;
  const clitest::Json ok = parseJson(serial.out);
  EXPECT_TRUE(ok["ok"].boolean);
  EXPECT_EQ(ok["code"].number, 0);
  const clitest::CliRun again = runCli({"--tcp", tcp, "--json", "fiscal", "set-serial", "AB123456", "12345678", "--yes"});
  EXPECT_EQ(again.status, 1) << "the device takes the numbers once";
  const clitest::Json refusal = parseJson(again.out);
  EXPECT_FALSE(refusal["ok"].boolean);
  EXPECT_NE(refusal["code"].number, 0);
  EXPECT_FALSE(refusal["message"].text.empty());

  const clitest::CliRun shortJib = runCli({"--tcp", tcp, "fiscal", "set-tax", "42", "200000000001", "--yes"});
  EXPECT_EQ(shortJib.status, 1);
  EXPECT_NE(shortJib.err.find("ledJIBnumber"), std::string::npos) << shortJib.err;
  EXPECT_EQ(runCli({"--tcp", tcp, "fiscal", "set-tax", "4200000000001", "200000000001", "--yes"}).status, 0);
  EXPECT_EQ(runCli({"--tcp", tcp, "fiscal", "set-iosa", "1234"}).status, 0);
  EXPECT_EQ(runCli({"--tcp", tcp, "config", "set", "vat.A=17.00"}).status, 0);
  EXPECT_EQ(runCli({"--tcp", tcp, "fiscal", "fiscalize"}).status, 2);
  const clitest::CliRun fiscalize = runCli({"--tcp", tcp, "fiscal", "fiscalize", "--yes"});
  EXPECT_EQ(fiscalize.status, 0) << fiscalize.err;
  EXPECT_NE(fiscalize.err.find("Device fiscalized."), std::string::npos);

  const clitest::CliRun get = runCli({"--tcp", tcp, "--json", "fiscal", "get"});
  ASSERT_EQ(get.status, 0) << get.err;
  const clitest::Json values = parseJson(get.out);
  EXPECT_EQ(values["serial"].text, "AB123456");
  EXPECT_EQ(values["fiscal_mode"].text, "yes");
  EXPECT_NE(runCli({"--tcp", tcp, "fiscal", "get"}).out.find("serial=AB123456\n"), std::string::npos);
}

TEST(CliService, ServiceTextModeResetOperationTerminalAndCertificates) {
  StdinNotTerminal noTerminal;
  SimServer server;
  const std::string tcp = server.tcp();
  const clitest::CliRun noPassword = runCli({"--tcp", tcp, "service", "set", "05.06.2026", "A"});
  EXPECT_EQ(noPassword.status, 2);
  EXPECT_NE(noPassword.err.find("--password-file"), std::string::npos) << noPassword.err;
  PasswordInEnvironment password("1234");
  EXPECT_EQ(runCli({"--tcp", tcp, "service", "set", "31.06.2026"}).status, 2);
  const clitest::CliRun set = runCli({"--tcp", tcp, "service", "set", "05.06.2026", "A", "", "C"});
  EXPECT_EQ(set.status, 0) << set.err;
  EXPECT_FALSE(server.sim->withDevice([](sim::DeviceModel& d) { return d.serviceMode(); }));
  EXPECT_EQ(runCli({"--tcp", tcp, "service", "get"}).out, "date=05.06.2026\nline1=A\nline2=C\n");
  const clitest::Json read = parseJson(runCli({"--tcp", tcp, "--json", "service", "get"}).out);
  EXPECT_EQ(read["date"].text, "05.06.2026");
  EXPECT_EQ(read["lines"].strings(), (std::vector<std::string>{"A", "C"}));

  const std::vector<std::string> operation{"--tcp", tcp, "service", "operation", "--start", "01-06-26 08:00:00",
                                           "--end", "01-06-26 09:00:00", "--type", "K"};
  EXPECT_EQ(runCli(operation).status, 1) << "outside service mode";
  EXPECT_EQ(runCli({"--tcp", tcp, "service", "operation", "--start", "01-06-26 08:00:00", "--type", "K"}).status, 2);
  EXPECT_EQ(runCli({"--tcp", tcp, "service", "mode", "on"}).status, 0);
  EXPECT_TRUE(server.sim->withDevice([](sim::DeviceModel& d) { return d.serviceMode(); }));
  EXPECT_EQ(runCli(operation).status, 0);
  EXPECT_EQ(runCli({"--tcp", tcp, "service", "mode", "off"}).status, 0);
  EXPECT_FALSE(server.sim->withDevice([](sim::DeviceModel& d) { return d.serviceMode(); }));

  // RAM reset S puts the settings back to their defaults: only with --yes here.
  ASSERT_EQ(runCli({"--tcp", tcp, "param", "set", "Header", "2", "CHANGED"}).status, 0);
  EXPECT_EQ(runCli({"--tcp", tcp, "service", "ram-reset", "S"}).status, 2);
  EXPECT_EQ(runCli({"--tcp", tcp, "service", "ram-reset", "X", "--yes"}).status, 2);
  EXPECT_EQ(runCli({"--tcp", tcp, "param", "get", "Header", "2"}).out, "CHANGED\n");
  const clitest::CliRun reset = runCli({"--tcp", tcp, "service", "ram-reset", "S", "--yes"});
  EXPECT_EQ(reset.status, 0) << reset.err;
  EXPECT_NE(runCli({"--tcp", tcp, "param", "get", "Header", "2"}).out, "CHANGED\n");
  ASSERT_EQ(runCli({"--tcp", tcp, "service", "mode", "off"}).status, 0);

  const clitest::CliRun terminal = runCli({"--tcp", tcp, "terminal", "info"});
  EXPECT_EQ(terminal.status, 0) << terminal.err;
  EXPECT_EQ(terminal.out.substr(0, 38), "First install:                    YES\n");
  for (const char* function : {"new-command-file", "force-send", "reset"})
    EXPECT_EQ(runCli({"--tcp", tcp, "terminal", function}).status, 0) << function;
  EXPECT_EQ(runCli({"--tcp", tcp, "terminal", "force"}).status, 2) << "the old word is gone";

  const clitest::CliRun certs = runCli({"--tcp", tcp, "certificates", "check"});
  EXPECT_EQ(certs.out, "The certificates of the device are INVALID!!!\n");
  EXPECT_EQ(certs.status, 1);
  EXPECT_EQ(certs.err, "") << "the end of each file is no error";
}

TEST(CliService, PasswordFileMustBePrivate) {
  SimServer server;
  const std::string tcp = server.tcp();
  {
    PasswordFile open("1234\n", 0644);
    const clitest::CliRun r = runCli({"--tcp", tcp, "service", "mode", "on", "--password-file", open.path});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("can be read by others (mode 0644)"), std::string::npos) << r.err;
    EXPECT_FALSE(server.sim->withDevice([](sim::DeviceModel& d) { return d.serviceMode(); }));
  }
  PasswordFile private_("1234\nsecond line is ignored\n", 0600);
  const clitest::CliRun r = runCli({"--tcp", tcp, "service", "mode", "on", "--password-file", private_.path});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(server.sim->withDevice([](sim::DeviceModel& d) { return d.serviceMode(); }));
  EXPECT_EQ(runCli({"--tcp", tcp, "service", "get", "--password-file", private_.path}).status, 2)
      << "a command without a password takes none";
}

TEST(CliService, IrreversibleStepAsksOnATerminal) {
  PasswordInEnvironment password("1234");
  struct Case {
    const char* answer;
    int status;
    const char* shown;
  };
  for (const Case& c : {Case{"y\n", 0, "RAM reset"}, Case{"n\n", 1, "cancelled; nothing was sent"}}) {
    int status = -1;
    const std::string shown = clitest::runOnTerminal(KESTREL_BIN, {"--sim", "service", "ram-reset", "C"}, c.answer, status);
    EXPECT_EQ(status, c.status) << shown;
    EXPECT_NE(shown.find("Are you sure? [y/N]"), std::string::npos) << shown;
    EXPECT_NE(shown.find(c.shown), std::string::npos) << shown;
  }
}

}  // namespace
}  // namespace kestrel::cli
