// kestrel clients: write, read and delete against a simulator the test looks into, the
// exit statuses of refusals and of a printer model, Ctrl-C between two clients, and the
// program on a pseudo-terminal where the read shows its progress line.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "support_cli.h"
#include "util/temp_path.h"
#include "support_sim_server.h"

namespace kestrel::cli {
namespace {

using clitest::runCli;
namespace fs = std::filesystem;
using test::fileBytes;
using test::TempPath;

const std::string HEADER =
    "\"Number\";\"Client name - first\";\"Client name - second\";\"TAX Number\";\"Address 1\";\"Address 2\";\r\n";

using clitest::registerModel;

std::vector<int> deviceNumbers(clitest::SimServer& s) {
  return s.sim->withDevice([](sim::DeviceModel& d) {
    std::vector<int> n;
    for (const auto& [id, c] : d.state().clients) n.push_back(id);
    return n;
  });
}

TEST(CliClients, WriteReadAndDeleteThroughTheDevice) {
  clitest::SimServer server(registerModel());
  TempPath in;
  const std::string rows = "\"3\";\"Shop; \"\"A\"\"\";\"\";\"4200000000001\";\"Street 1\";\"\";\r\n"
                           "\"5\";\"B\";\"b2\";\"0\";\"\";\"x\";\r\n"
                           "\"9\";\"C\";\"\";\"0\";\"\";\"\";\r\n";
  std::ofstream(in.path, std::ios::binary) << HEADER << rows;
  const clitest::CliRun write = runCli({"--tcp", server.tcp(), "clients", "write", in.path});
  ASSERT_EQ(write.status, 0) << write.err;
  EXPECT_EQ(write.err.find("Saving client"), std::string::npos) << "the progress is not a message";
  EXPECT_EQ(deviceNumbers(server), (std::vector<int>{3, 5, 9}));

  // The file read back is the file written.
  TempPath out;
  const clitest::CliRun csv = runCli({"--tcp", server.tcp(), "clients", "read", "--csv", out.path});
  ASSERT_EQ(csv.status, 0) << csv.err;
  EXPECT_EQ(fileBytes(out.path), HEADER + rows);

  const clitest::CliRun json = runCli({"--tcp", server.tcp(), "--json", "clients", "read"});
  ASSERT_EQ(json.status, 0) << json.err;
  const clitest::Json j = clitest::parseJson(json.out);
  ASSERT_EQ(j["clients"].items.size(), 3u);
  EXPECT_EQ(j["clients"][0].keys(),
            (std::vector<std::string>{"number", "client", "client_2", "tax_number", "address1", "address2"}));
  EXPECT_EQ(j["clients"][0]["client"].text, "Shop; \"A\"");
  EXPECT_EQ(j["clients"][1]["number"].number, 5);

  // 5 goes, 7 is not in the device: exit 1, and the tool says how far it got.
  const clitest::CliRun del = runCli({"--tcp", server.tcp(), "clients", "delete", "5", "7", "9"});
  EXPECT_EQ(del.status, 1);
  EXPECT_NE(del.err.find("Delete ended after 2 of 3 clients. 1 client could not be deleted: client 7 ("),
            std::string::npos)
      << del.err;
  EXPECT_NE(del.err.find("(1 deleted)"), std::string::npos) << del.err;
  EXPECT_EQ(deviceNumbers(server), (std::vector<int>{3, 9}));

  // A refused client: the rest of the file is still written, exit 1.
  server.sim->withDevice([](sim::DeviceModel& d) { return d.refusedClientNumbers.insert(5).second; });
  EXPECT_EQ(runCli({"--tcp", server.tcp(), "clients", "write", in.path}).status, 1);
  EXPECT_EQ(deviceNumbers(server), (std::vector<int>{3, 9}));
  // Only the numbers named; one not in the file sends nothing.
  EXPECT_EQ(runCli({"--tcp", server.tcp(), "clients", "write", in.path, "--selected", "7"}).status, 1);
  server.sim->withDevice([](sim::DeviceModel& d) { return d.mutableState().clients.erase(9); });
  EXPECT_EQ(runCli({"--tcp", server.tcp(), "clients", "write", in.path, "--selected", "9"}).status, 0);
  EXPECT_EQ(deviceNumbers(server), (std::vector<int>{3, 9}));

  // The flag is the confirmation: no question.
  const clitest::CliRun all = runCli({"--tcp", server.tcp(), "clients", "delete", "--all"});
  EXPECT_EQ(all.status, 0) << all.err;
  EXPECT_TRUE(deviceNumbers(server).empty());
  const clitest::CliRun none = runCli({"--tcp", server.tcp(), "clients", "read"});
  EXPECT_EQ(none.status, 0) << none.err;
  EXPECT_EQ(none.out, "Number\tClient name - first\tClient name - second\tTAX Number\tAddress 1\tAddress 2\n");
}

TEST(CliClients, UsageErrorsAndAPrinterModel) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"clients"}, {"clients", "read", "--csv"}, {"clients", "write"},
        {"clients", "write", "a.csv", "--selected"}, {"clients", "delete"}, {"clients", "delete", "1001"},
        {"clients", "delete", "--all", "3"}, {"clients", "list"}}) {
    std::vector<std::string> full{"--sim", "--model", "KT-11A"};
    full.insert(full.end(), args.begin(), args.end());
    EXPECT_EQ(runCli(full).status, 2) << args.back();
  }
  const clitest::CliRun printer = runCli({"--sim", "--model", "KT-33A", "clients", "read"});
  EXPECT_EQ(printer.status, 1);
  EXPECT_NE(printer.err.find("keeps no clients"), std::string::npos) << printer.err;
}

TEST(CliClients, CtrlCEndsTheReadBetweenTwoClients) {
  sim::SimulatorOptions o = registerModel();
  o.faults.workMs = 3;  // each command takes a moment, so the read is still running
  clitest::SimServer server(o);
  server.sim->withDevice([](sim::DeviceModel& d) {
    for (int n = 1; n <= 1000; ++n) d.mutableState().clients[n] = {"C" + std::to_string(n), "", "", "", ""};
    return 0;
  });
  std::thread interrupt([&] {
    while (server.sim->framesServed() < 40) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ::kill(::getpid(), SIGINT);
  });
  const clitest::CliRun r = runCli({"--tcp", server.tcp(), "clients", "read"});
  interrupt.join();
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("kestrel: clients read: Read stopped at client "), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_LT(server.sim->framesServed(), 1000u);
}

// A link cut half-way refuses every number after it: the list is incomplete, so the old
// file stays and no export is claimed.
TEST(CliClients, AReadCutHalfWayKeepsTheOldFile) {
  sim::SimulatorOptions o = registerModel();
  o.faults.cutEvery = 8;
  clitest::SimServer server(o);
  clitest::addClients(server, 20);
  TempPath out;
  std::ofstream(out.path, std::ios::binary) << "old list";
  const clitest::CliRun r = runCli({"--tcp", server.tcp(), "clients", "read", "--csv", out.path});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(fileBytes(out.path), "old list");
  EXPECT_EQ(r.err.find("Successful export"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("was not written"), std::string::npos) << r.err;
}

TEST(CliClients, ProgressLineOnATerminal) {
  clitest::SimServer server(registerModel());
  server.sim->withDevice([](sim::DeviceModel& d) { return d.mutableState().clients[4].name = "Shop"; });
  int status = -1;
  const std::string shown = clitest::runOnTerminal(KESTREL_BIN, {"--tcp", server.tcp(), "clients", "read"}, "", status);
  EXPECT_EQ(status, 0) << shown;
  EXPECT_NE(shown.find("1000 / 1000 (100 %)"), std::string::npos) << shown;
  EXPECT_EQ(shown.find("Reading client"), std::string::npos) << shown;
}

}  // namespace
}  // namespace kestrel::cli
