// kestrel fiscal, service and terminal over loopback TCP to one simulator: the one-time
// fiscal steps behind --yes, the service text and date, service mode, the terminal data
// and the certificate check; the service password only from the environment.
#include <gtest/gtest.h>

#include <cstdlib>

#include "support_cli.h"
#include "support_sim_server.h"

namespace kestrel::cli {
namespace {

using clitest::runCli;
using clitest::SimServer;

struct PasswordInEnvironment {
  explicit PasswordInEnvironment(const char* p) { setenv("KESTREL_SERVICE_PASSWORD", p, 1); }
  ~PasswordInEnvironment() { unsetenv("KESTREL_SERVICE_PASSWORD"); }
};

TEST(CliService, FiscalStepsNeedYesAndEndInFiscalMode) {
  SimServer server;
  const std::string tcp = server.tcp();
  EXPECT_EQ(runCli({"--tcp", tcp, "fiscal", "serial", "AB123456", "12345678"}).status, 2);
  EXPECT_FALSE(server.sim->withDevice([](sim::DeviceModel& d) { return !d.state().serial.empty(); }));
  const clitest::CliRun serial = runCli({"--tcp", tcp, "fiscal", "serial", "AB123456", "12345678", "--yes"});
  EXPECT_EQ(serial.status, 0) << serial.err;
  EXPECT_EQ(runCli({"--tcp", tcp, "fiscal", "serial", "AB123456", "12345678", "--yes"}).status, 1)
      << "the device takes the numbers once";
  const clitest::CliRun shortJib = runCli({"--tcp", tcp, "fiscal", "tax", "42", "200000000001", "--yes"});
  EXPECT_EQ(shortJib.status, 1);
  EXPECT_NE(shortJib.err.find("ledJIBnumber"), std::string::npos) << shortJib.err;
  EXPECT_EQ(runCli({"--tcp", tcp, "fiscal", "tax", "4200000000001", "200000000001", "--yes"}).status, 0);
  EXPECT_EQ(runCli({"--tcp", tcp, "config", "set", "vat.A=17.00"}).status, 0);
  const clitest::CliRun fiscalize = runCli({"--tcp", tcp, "fiscal", "fiscalize", "--yes"});
  EXPECT_EQ(fiscalize.status, 0) << fiscalize.err;
  EXPECT_NE(fiscalize.err.find("Device fiscalized."), std::string::npos);
  const clitest::CliRun get = runCli({"--tcp", tcp, "config", "get", "fiscal"});
  EXPECT_NE(get.out.find("fiscal.serial=AB123456\n"), std::string::npos) << get.out;
  EXPECT_NE(get.out.find("fiscal.fiscal_mode=yes\n"), std::string::npos) << get.out;
  EXPECT_EQ(runCli({"--tcp", tcp, "config", "set", "fiscal.serial=X"}).status, 1);
}

TEST(CliService, ServiceTextModeTerminalAndCertificates) {
  SimServer server;
  const std::string tcp = server.tcp();
  EXPECT_EQ(runCli({"--tcp", tcp, "service", "set", "05.06.2026", "A"}).status, 2) << "no password, no service";
  PasswordInEnvironment password("1234");
  EXPECT_EQ(runCli({"--tcp", tcp, "service", "set", "31.06.2026"}).status, 2);
  const clitest::CliRun set = runCli({"--tcp", tcp, "service", "set", "05.06.2026", "A", "", "C"});
  EXPECT_EQ(set.status, 0) << set.err;
  EXPECT_FALSE(server.sim->withDevice([](sim::DeviceModel& d) { return d.serviceMode(); }));
  EXPECT_EQ(runCli({"--tcp", tcp, "service", "get"}).out, "date=05.06.2026\nline1=A\nline2=C\n");

  EXPECT_EQ(runCli({"--tcp", tcp, "service", "operation", "01-06-26 08:00:00", "01-06-26 09:00:00", "K"}).status, 1)
      << "outside service mode";
  EXPECT_EQ(runCli({"--tcp", tcp, "service", "on"}).status, 0);
  EXPECT_EQ(runCli({"--tcp", tcp, "service", "operation", "01-06-26 08:00:00", "01-06-26 09:00:00", "K"}).status, 0);
  EXPECT_EQ(runCli({"--tcp", tcp, "service", "off"}).status, 0);

  const clitest::CliRun terminal = runCli({"--tcp", tcp, "terminal", "read"});
  EXPECT_EQ(terminal.status, 0) << terminal.err;
  EXPECT_EQ(terminal.out.substr(0, 38), "First install:                    YES\n");

  const clitest::CliRun certs = runCli({"--tcp", tcp, "service", "certificates"});
  EXPECT_EQ(certs.out, "The certificates of the device are INVALID!!!\n");
  EXPECT_EQ(certs.status, 1);
  EXPECT_EQ(certs.err, "") << "the end of each file is no error";
}

}  // namespace
}  // namespace kestrel::cli
