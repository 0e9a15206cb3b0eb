// kestrel config over a serial line (the simulator on a pseudo-terminal): a set changes
// only the named values, a get shows them, a refused value exits 1 and leaves the rest.
#include <gtest/gtest.h>

#include "cli/support_cli.h"
#include "cli/support_sim_server.h"

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

}  // namespace
}  // namespace kestrel
