// kestrel config over a serial line (the simulator on a pseudo-terminal): a set changes
// only the named values, a get shows them, a refused value exits 1 and leaves the rest.
#include <gtest/gtest.h>

#include "cli/support_cli.h"
#include "cli/support_sim_server.h"
#include "sim/device_model.h"

namespace kestrel {
namespace {

using clitest::runCli;
using clitest::SimServer;

TEST(CliConfig, SetAndGetOverAPseudoTerminal) {
  SimServer server({}, true);
  const std::vector<std::string> link = {"--serial", server.pty(), "--timeout-ms", "2000"};
  auto with = [&](std::vector<std::string> args) {
    std::vector<std::string> all = link;
    all.insert(all.end(), args.begin(), args.end());
    return runCli(all);
  };
  const clitest::CliRun set = with({"config", "set", "vat.A=17.00", "vat.K=25.00"});
  ASSERT_EQ(set.status, 0) << set.err;
  const clitest::CliRun get = with({"config", "get", "vat"});
  ASSERT_EQ(get.status, 0) << get.err;
  EXPECT_EQ(get.out, "vat.A=17.00\nvat.E=disabled\nvat.J=disabled\nvat.K=25.00\nvat.M=disabled\n");

  // A value the device refuses: exit 1, and the page keeps what it had.
  const clitest::CliRun refused = with({"config", "set", "parameters.AutoPowerOff=99"});
  EXPECT_EQ(refused.status, 1);
  const clitest::CliRun params = with({"--json", "config", "get", "parameters"});
  ASSERT_EQ(params.status, 0) << params.err;
  EXPECT_EQ(params.out.find("\"AutoPowerOff\": \"99\""), std::string::npos) << params.out;
  EXPECT_NE(params.out.find("{\"parameters\": {"), std::string::npos) << params.out;

  // Usage errors say so before anything is opened.
  EXPECT_EQ(runCli({"--sim", "config", "set", "vat.A=1", "parameters.TimeZone=+1"}).status, 2);
  EXPECT_EQ(runCli({"--sim", "config", "get", "nosuchpage"}).status, 2);
}

// A key named after a device parameter shows and takes what the device holds, whatever
// the window's widget makes of it; values the page does not name are written back as read.
TEST(CliConfig, KeysCarryTheDevicesOwnValues) {
  SimServer server;
  auto param = [&](const char* name) {
    return server.sim->withDevice([&](sim::DeviceModel& d) { return d.state().params.at(name).at(0); });
  };
  server.sim->withDevice([](sim::DeviceModel& d) {
    std::string answer;
    d.execute(255, "DaylightSavingMinutes\t\t30\t", answer);
  });
  const clitest::CliRun get = runCli({"--tcp", server.tcp(), "config", "get", "parameters", "receipt"});
  ASSERT_EQ(get.status, 0) << get.err;
  for (const char* line : {"parameters.DateFromNAPServDisable=1\n", "parameters.DaylightSavingMinutes=30\n",
                           "parameters.TimeZone=1\n", "receipt.PrintColumns=42\n", "receipt.PrintFontType=0\n"})
    EXPECT_NE(get.out.find(line), std::string::npos) << line << get.out;

  const clitest::CliRun set = runCli({"--tcp", server.tcp(), "config", "set", "parameters.DateFromNAPServDisable=0",
                                      "parameters.TimeZone=-3", "parameters.EcrLogNumber=7"});
  ASSERT_EQ(set.status, 0) << set.err;
  EXPECT_EQ(param("DateFromNAPServDisable"), "0");
  EXPECT_EQ(param("TimeZone"), "-3");
  EXPECT_EQ(param("DaylightSavingMinutes"), "30");  // not named: back as it was, not as 60

  // Values the key cannot mean, a cleared number, a TAB: refused with the key named,
  // nothing written.
  struct Bad {
    const char* arg;
    const char* said;
  };
  for (const Bad& b : {Bad{"parameters.DateFromNAPServDisable=on", "DateFromNAPServDisable"},
                      Bad{"parameters.TimeZone=+7", "TimeZone"}, Bad{"receipt.PrintFontType=2", "PrintFontType"},
                      Bad{"parameters.EcrLogNumber=", "EcrLogNumber"},
                      Bad{"parameters.TimeServerAddress=a\tb", "TimeServerAddress"}}) {
    const bool params = std::string(b.arg).rfind("parameters.", 0) == 0;
    const clitest::CliRun r = runCli({"--tcp", server.tcp(), "config", "set", b.arg,
                                      params ? "parameters.AutoPowerOff=5" : "receipt.PrnQuality=5"});
    EXPECT_EQ(r.status, 1) << b.arg;
    EXPECT_NE(r.err.find(b.said), std::string::npos) << b.arg << ": " << r.err;
    EXPECT_EQ(param("AutoPowerOff"), "0") << b.arg;
    EXPECT_EQ(param("PrnQuality"), "10") << b.arg;
  }
  // A cleared text goes as a blank: the device holds it empty.
  ASSERT_EQ(runCli({"--tcp", server.tcp(), "config", "set", "parameters.TimeServerAddress="}).status, 0);
  EXPECT_EQ(param("TimeServerAddress"), "");
}

}  // namespace
}  // namespace kestrel
