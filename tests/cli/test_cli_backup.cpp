// kestrel backup|restore between two simulators: a changed device moves to a fresh one
// and both then show the same pages and tables; the file is private; a refused client is
// reported and the rest is written; a damaged file writes nothing.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "support_cli.h"
#include "support_sim_server.h"
#include "util/temp_path.h"

namespace kestrel {
namespace {

using clitest::runCli;

using clitest::registerModel;

// Every page but the clock, and every table, as `kestrel` prints them.
std::string everything(const clitest::SimServer& s) {
  const clitest::CliRun config = runCli({"--tcp", s.tcp(), "config", "get"});
  EXPECT_EQ(config.status, 0) << config.err;
  std::string out;
  std::istringstream lines(config.out);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("datetime.", 0) != 0) out += line + '\n';
  for (const char* t : {"stock-groups", "departments", "payments", "operators", "keys"}) {
    const clitest::CliRun table = runCli({"--tcp", s.tcp(), "table", "get", t});
    EXPECT_EQ(table.status, 0) << t << ": " << table.err;
    out += table.out;
  }
  const clitest::CliRun clients = runCli({"--tcp", s.tcp(), "clients", "read"});
  EXPECT_EQ(clients.status, 0) << clients.err;
  return out + clients.out;
}

TEST(CliBackup, ADeviceMovesToAFreshOne) {
  clitest::SimServer old(registerModel()), fresh(registerModel());
  test::TempPath clients, file;
  std::ofstream(clients.path, std::ios::binary)
      << "\"Number\";\"Client name - first\";\"Client name - second\";\"TAX Number\";\"Address 1\";\"Address 2\";\r\n"
      << "\"3\";\"Shop; \"\"A\"\"\";\"\";\"4200000000001\";\"Street 1\";\"\";\r\n"
      << "\"5\";\"B\";\"b2\";\"0\";\"\";\"x\";\r\n";
  for (std::vector<std::string> change : {
           std::vector<std::string>{"config", "set", "header.2= \"Centre\" "},
           {"config", "set", "vat.E=5.00"},
           {"param", "set", "Dept_name", "4", "Milk; \"fresh\""},
           {"param", "set", "OperName", "2", "Ana"},
           {"clients", "write", clients.path},
       }) {
    change.insert(change.begin(), {"--tcp", old.tcp()});
    const clitest::CliRun r = runCli(change);
    ASSERT_EQ(r.status, 0) << change[2] << ": " << r.err;
  }
  old.sim->withDevice([](sim::DeviceModel& d) { return d.mutableState().params["APN"][1] = "apn.example"; });
  const std::string before = everything(old);
  ASSERT_NE(before, everything(fresh));

  const clitest::CliRun backup = runCli({"--tcp", old.tcp(), "backup", file.path, "--with-clients"});
  ASSERT_EQ(backup.status, 0) << backup.err;
  struct stat st {};
  ASSERT_EQ(::stat(file.path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  const clitest::CliRun dry = runCli({"--tcp", fresh.tcp(), "restore", file.path, "--dry-run"});
  EXPECT_EQ(dry.status, 0) << dry.err;
  EXPECT_NE(dry.out.find("header.2:  ->  \"Centre\" "), std::string::npos) << dry.out;
  EXPECT_NE(dry.out.find("communication.APN.1: needs the service password"), std::string::npos) << dry.out;
  EXPECT_NE(before, everything(fresh)) << "a dry run writes nothing";

  // Without the password the access point is skipped: not everything was written.
  const clitest::CliRun partial = runCli({"--tcp", fresh.tcp(), "restore", file.path});
  EXPECT_EQ(partial.status, 1) << partial.out << partial.err;
  EXPECT_NE(partial.out.find("Skipped (not written):\n  communication.APN.1: needs the service password"),
            std::string::npos)
      << partial.out;

  // The password through a pipe, as <(echo ...) gives it, with a byte-order mark and CR LF.
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  const std::string line = "\xEF\xBB\xBF" "1234\r\n";
  ASSERT_EQ(::write(pipeFds[1], line.data(), line.size()), static_cast<ssize_t>(line.size()));
  ::close(pipeFds[1]);
  const clitest::CliRun restore = runCli(
      {"--tcp", fresh.tcp(), "restore", file.path, "--password-file", "/dev/fd/" + std::to_string(pipeFds[0])});
  ::close(pipeFds[0]);
  EXPECT_EQ(restore.status, 0) << restore.out << restore.err;
  EXPECT_EQ(before, everything(fresh));
}

TEST(CliBackup, ARefusalGoesOnAndADamagedFileWritesNothing) {
  clitest::SimServer old(registerModel()), fresh(registerModel());
  test::TempPath clients, file;
  std::ofstream(clients.path, std::ios::binary)
      << "\"Number\";\"Client name - first\";\"Client name - second\";\"TAX Number\";\"Address 1\";\"Address 2\";\r\n"
      << "\"3\";\"A\";\"\";\"0\";\"\";\"\";\r\n\"5\";\"B\";\"\";\"0\";\"\";\"\";\r\n\"9\";\"C\";\"\";\"0\";\"\";\"\";\r\n";
  ASSERT_EQ(runCli({"--tcp", old.tcp(), "clients", "write", clients.path}).status, 0);
  ASSERT_EQ(runCli({"--tcp", old.tcp(), "param", "set", "Dept_name", "0", "Bread"}).status, 0);
  ASSERT_EQ(runCli({"--tcp", old.tcp(), "backup", file.path, "--with-clients"}).status, 0);

  // A damaged file: the reason, and no command reaches the device.
  test::TempPath damaged;
  std::string text = test::fileBytes(file.path);
  std::ofstream(damaged.path, std::ios::binary) << text.substr(0, text.size() / 2);
  const clitest::CliRun bad = runCli({"--tcp", fresh.tcp(), "restore", damaged.path});
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("; nothing was written"), std::string::npos) << bad.err;
  EXPECT_EQ(fresh.sim->withDevice([](sim::DeviceModel& d) { return d.state().params.at("Dept_name")[0]; }),
            "Department 1");

  fresh.sim->withDevice([](sim::DeviceModel& d) { return d.refusedClientNumbers.insert(5).second; });
  const clitest::CliRun r = runCli({"--tcp", fresh.tcp(), "restore", file.path});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("Written:\n  departments\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Not written:\n  clients: 2 of 3 clients written. 1 client could not be saved: client 5 ("),
            std::string::npos)
      << r.out;
  const auto numbers = fresh.sim->withDevice([](sim::DeviceModel& d) { return d.state().clients.size(); });
  EXPECT_EQ(numbers, 2u);
}

}  // namespace
}  // namespace kestrel
