// kestrel config over the Communication page: the keys of the model's group with the
// server lines' parts, a save that the device refuses outside service mode, the same
// save in service mode, and read-only values refused before anything is written.
#include <gtest/gtest.h>

#include "support_cli.h"
#include "support_sim_server.h"

namespace kestrel::cli {
namespace {

using clitest::runCli;
using clitest::SimServer;

std::string param(SimServer& server, const char* name, int index = 0) {
  return server.sim->withDevice([&](sim::DeviceModel& d) { return d.state().params.at(name).at(index); });
}

TEST(CliCommunication, GetShowsTheModelsKeysAndServerParts) {
  const clitest::CliRun r = runCli({"--sim", "config", "get", "communication"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.rfind("communication.MainInterfaceType=0\ncommunication.FpComBaudRate=9\n"
                        "communication.APN.0=\n",
                        0),
            0u)
      << r.out;
  // LAN_IP is the simulated device's stored setting, printed only, never a target.
  for (const char* line : {"communication.DtServerPort.2=21\ncommunication.DtUseServer=0\n",
                           "communication.BthVersion=4.2\n", "communication.LAN_IP=192.168.0.100\n"})
    EXPECT_NE(r.out.find(line), std::string::npos) << line;
  EXPECT_EQ(r.out.find("FpComPort"), std::string::npos);  // register group only

  const clitest::CliRun reg = runCli({"--sim", "--model", "KT-11A", "config", "get", "communication"});
  EXPECT_NE(reg.out.find("communication.FpComPort=1\n"), std::string::npos) << reg.out;
  EXPECT_NE(reg.out.find("communication.ComPortBaudRate.1=9600\n"), std::string::npos);
  EXPECT_EQ(reg.out.find("MainInterfaceType"), std::string::npos);
}

TEST(CliCommunication, SetNeedsServiceModeForTheAccessPointsAndRefusesReadOnlyValues) {
  SimServer server;
  const std::vector<std::string> set = {"--tcp",
                                        server.tcp(),
                                        "config",
                                        "set",
                                        "communication.DHCPenable=0",
                                        "communication.LAN_IP=127.1.1.9",
                                        "communication.APN.0=internet",
                                        "communication.DtServerAddress.1=127.0.0.5"};
  clitest::CliRun r = runCli(set);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Service password is needed for this operation"), std::string::npos) << r.err;
  EXPECT_EQ(param(server, "LAN_IP"), "127.1.1.9");  // written before the refusal
  EXPECT_EQ(param(server, "APN"), "");

  server.sim->withDevice([](sim::DeviceModel& d) {
    std::string answer;
    d.execute(253, "0\t1234\t", answer);
  });
  r = runCli(set);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(param(server, "APN"), "internet");
  EXPECT_EQ(param(server, "DtServerAddress", 1), "127.0.0.5");
  EXPECT_EQ(param(server, "DtServerPort", 1), "21");

  r = runCli({"--tcp", server.tcp(), "config", "set", "communication.APN.0=other", "communication.BthVersion=9"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("read-only"), std::string::npos) << r.err;
  EXPECT_EQ(param(server, "APN"), "internet");
}

}  // namespace
}  // namespace kestrel::cli
