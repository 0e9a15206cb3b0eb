// kestrel --hosts: many simulators at once (different models, a silent one, a closed
// port), JSON lines, the summary, the exit status, per-device files and the refusals.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <fstream>
#include <sstream>

#include "cli/cli_args.h"
#include "cli/cli_fleet.h"
#include "cli/support_cli.h"
#include "cli/support_sim_server.h"
#include "util/closed_port.h"
#include "util/temp_path.h"

namespace kestrel::clitest {
namespace {

namespace fs = std::filesystem;

// A folder of this test, removed with everything in it.
struct TempDir {
  TempDir() {
    std::string t = (fs::temp_directory_path() / "kestrel-fleet-XXXXXX").string();
    path = ::mkdtemp(t.data()) ? t : std::string();
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  std::string file(const std::string& name) const { return path + "/" + name; }
  std::string path;
};

sim::SimulatorOptions model(const std::string& name, sim::SimulatorOptions o = {}) {
  o.model = name;
  o.modelGiven = true;
  return o;
}

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> l;
  std::istringstream in(text);
  for (std::string s; std::getline(in, s);)
    if (!s.empty()) l.push_back(s);
  return l;
}

struct Fleet : ::testing::Test {
  TempDir dir;
  SimServer printer{model("KT-33A")};
  SimServer reg{model("KT-77B")};
  SimServer silent{model("KT-22A", withFault("silence:1"))};
  std::string hosts = dir.file("shops.txt");

  void SetUp() override {
    writeFile(hosts, "# the shops\n\nprinter  tcp:" + printer.tcp() + "\nregister\ttcp:" + reg.tcp() +
                         "\nsilent   tcp:" + silent.tcp() + "\nclosed   tcp:127.0.0.1:" +
                         std::to_string(test::closedPort()) + "\n");
  }
  uint64_t framesServed() const {
    return printer.sim->framesServed() + reg.sim->framesServed() + silent.sim->framesServed();
  }
};

TEST_F(Fleet, JsonGivesOneLinePerDeviceAndTheExitStatusOfTheWorst) {
  const CliRun r = runCli({"--hosts", hosts, "--timeout-ms", "300", "--repeat", "1", "--json", "info"});
  EXPECT_EQ(r.status, 1) << r.err;
  const auto out = lines(r.out);
  ASSERT_EQ(out.size(), 4u) << r.out;
  std::map<std::string, Json> byDevice;
  for (const std::string& l : out) {
    const Json j = parseJson(l);
    EXPECT_EQ(j.keys(), (std::vector<std::string>{"device", "link", "ok", "exit", "result", "error"}));
    byDevice[j["device"].text] = j;
  }
  for (const char* ok : {"printer", "register"}) {
    SCOPED_TRACE(ok);
    EXPECT_TRUE(byDevice[ok]["ok"].boolean);
    EXPECT_EQ(byDevice[ok]["exit"].number, 0);
    EXPECT_EQ(byDevice[ok]["error"].text, "");
    EXPECT_EQ(byDevice[ok]["result"].type, Json::Object);
  }
  EXPECT_EQ(byDevice["printer"]["link"].text, "tcp:" + printer.tcp());
  for (const char* bad : {"silent", "closed"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(byDevice[bad]["ok"].boolean);
    EXPECT_EQ(byDevice[bad]["exit"].number, 1);
    EXPECT_FALSE(byDevice[bad]["error"].text.empty());
  }
}

TEST_F(Fleet, TextShowsEachDeviceUnderItsNameThenTheSummaryWithFailuresLast) {
  const CliRun r = runCli({"--hosts", hosts, "--timeout-ms", "300", "--repeat", "1", "info"});
  EXPECT_EQ(r.status, 1);
  for (const char* name : {"printer", "register", "silent", "closed"})
    EXPECT_NE(r.out.find(std::string("== ") + name + " (tcp:"), std::string::npos) << name;
  const size_t table = r.out.find("DEVICE");
  ASSERT_NE(table, std::string::npos) << r.out;
  const auto summary = lines(r.out.substr(table));
  ASSERT_EQ(summary.size(), 6u) << r.out;
  // The two sound devices first, in the file's order, with their models.
  EXPECT_EQ(summary[1].rfind("printer", 0), 0u);
  EXPECT_NE(summary[1].find("KT-33A"), std::string::npos);
  EXPECT_NE(summary[1].find("ok"), std::string::npos);
  EXPECT_EQ(summary[2].rfind("register", 0), 0u);
  EXPECT_NE(summary[2].find("KT-77B"), std::string::npos);
  EXPECT_EQ(summary[3].rfind("silent", 0), 0u);
  EXPECT_NE(summary[3].find("failed"), std::string::npos);
  EXPECT_EQ(summary[4].rfind("closed", 0), 0u);
  EXPECT_EQ(summary[5], "2 of 4 devices ok");
}

TEST_F(Fleet, EachDeviceWritesItsOwnFileAndASharedPathIsRefused) {
  writeFile(hosts, "printer tcp:" + printer.tcp() + "\nregister tcp:" + reg.tcp() + "\n");
  const std::string shared = dir.file("departments.csv");
  const CliRun refused = runCli({"--hosts", hosts, "table", "get", "departments", "--csv", shared});
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find("'" + shared + "' would be written by every device"), std::string::npos) << refused.err;
  EXPECT_FALSE(fs::exists(shared));
  EXPECT_EQ(framesServed(), 0u);

  const CliRun r = runCli({"--hosts", hosts, "table", "get", "departments", "--csv", dir.file("{name}.csv")});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  for (const char* name : {"printer", "register"}) {
    const std::string path = dir.file(std::string(name) + ".csv");
    ASSERT_TRUE(fs::exists(path)) << path;
    EXPECT_GT(fs::file_size(path), 0u);
  }
}

// Steps that cannot be undone: without a terminal they need --yes and nothing reaches
// any device; on a terminal one question lists the devices, "n" sends nothing and "y"
// runs the step on each.
TEST_F(Fleet, IrreversibleStepsAskOnceForTheFleetOrNeedYes) {
  writeFile(hosts, "printer tcp:" + printer.tcp() + "\nregister tcp:" + reg.tcp() + "\n");
  const std::vector<std::vector<std::string>> commands = {
      {"report", "z"}, {"items", "delete", "--all"}, {"clients", "delete", "--all"}, {"fiscal", "fiscalize"}};
  for (const auto& command : commands) {
    std::vector<std::string> args{"--hosts", hosts};
    args.insert(args.end(), command.begin(), command.end());
    SCOPED_TRACE(command[0] + " " + command[1]);
    {
      StdinNotTerminal noTerminal;
      const CliRun r = runCli(args);
      EXPECT_EQ(r.status, 2);
      EXPECT_NE(r.err.find("add --yes"), std::string::npos) << r.err;
    }
    int status = -1;
    const std::string shown = runOnTerminal(KESTREL_BIN, args, "n\n", status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(shown.find("It runs on 2 devices:\r\n  printer  tcp:"), std::string::npos) << shown;
    EXPECT_NE(shown.find("  register  tcp:"), std::string::npos) << shown;
    EXPECT_NE(shown.find("cancelled; nothing was sent"), std::string::npos) << shown;
    EXPECT_EQ(std::count(shown.begin(), shown.end(), '?'), 1) << "one question for the fleet: " << shown;
  }
  EXPECT_EQ(framesServed(), 0u);

  int status = -1;
  const std::string shown = runOnTerminal(KESTREL_BIN, {"--hosts", hosts, "report", "z"}, "y\n", status);
  EXPECT_EQ(status, 0) << shown;
  for (const SimServer* s : {&printer, &reg}) EXPECT_GT(s->sim->framesServed(), 0u);
}

TEST(FleetHostsFile, AMalformedLineIsAUsageErrorNamingItAndNothingIsSent) {
  SimServer sim;
  TempDir dir;
  const std::string hosts = dir.file("hosts.txt");
  const std::string good = "a tcp:" + sim.tcp() + "\n";
  struct Case {
    std::string text, message;
  };
  for (const Case& c : std::vector<Case>{
           {good + "b\n", "hosts file line 2: expected NAME"},
           {good + "# note\nb tcp:127.0.0.1:99999\n", "hosts file line 3: --tcp: port '99999'"},
           {good + "b ftp:somewhere\n", "hosts file line 2: 'ftp:somewhere' is no link"},
           {good + "b serial:/dev/ttyS0@fast\n", "hosts file line 2: line speed 'fast'"},
           {good + "a tcp:127.0.0.1:4999\n", "hosts file line 2: the name 'a' is given twice (first on line 1)"},
           {good + "../up tcp:127.0.0.1\n", "hosts file line 2: the name '../up'"},
           {"# nothing\n", "lists no device"},
       }) {
    SCOPED_TRACE(c.text);
    writeFile(hosts, c.text);
    const CliRun r = runCli({"--hosts", hosts, "info"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
  EXPECT_EQ(sim.sim->framesServed(), 0u);

  // The links become the connection options of a single device.
  const auto devices = cli::parseHostsFile("  # x\nshop-1 serial:/dev/pts/7@9600\nshop-2\ttcp:[::1]:5000\r\n");
  ASSERT_EQ(devices.size(), 2u);
  EXPECT_EQ(devices[0].linkArgs, (std::vector<std::string>{"--serial", "/dev/pts/7", "--baud", "9600"}));
  EXPECT_EQ(devices[1].linkArgs, (std::vector<std::string>{"--tcp", "[::1]:5000"}));
  EXPECT_EQ(devices[1].line, 3);
}

TEST(Health, NamesThePaperProblemAndNothingForASoundDevice) {
  SimServer sound;
  SimServer paperOut(withFault("status:2.0"));
  const CliRun ok = runCli({"--tcp", sound.tcp(), "--json", "health"});
  EXPECT_EQ(ok.status, 0) << ok.err;
  const Json soundHealth = parseJson(ok.out);
  EXPECT_EQ(soundHealth["model"].text, "KT-33A");
  EXPECT_EQ(soundHealth["problems"].type, Json::Array);
  EXPECT_TRUE(soundHealth["problems"].items.empty());
  EXPECT_LT(std::abs(soundHealth["clock_difference_s"].number), 120);

  const CliRun paper = runCli({"--tcp", paperOut.tcp(), "--json", "health"});
  EXPECT_EQ(paper.status, 0) << paper.err;
  const Json problems = parseJson(paper.out)["problems"];
  ASSERT_EQ(problems.items.size(), 1u) << paper.out;
  EXPECT_EQ(problems[0]["what"].text, "paper_out");
  EXPECT_EQ(problems[0]["text"].text, "# End of paper.");

  const CliRun text = runCli({"--tcp", sound.tcp(), "health"});
  EXPECT_NE(text.out.find("\nOK\n"), std::string::npos) << text.out;
  // With --hosts the summary table carries each device's verdict.
  test::TempPath hosts(".txt");
  writeFile(hosts.path, "sound tcp:" + sound.tcp() + "\npaper tcp:" + paperOut.tcp() + "\n");
  const CliRun fleet = runCli({"--hosts", hosts.path, "health"});
  EXPECT_EQ(fleet.status, 0) << fleet.err;
  EXPECT_NE(fleet.out.find("sound   KT-33A  ok      OK\n"), std::string::npos) << fleet.out;
  EXPECT_NE(fleet.out.find("paper   KT-33A  ok      paper_out: # End of paper.\n"), std::string::npos) << fleet.out;
  // A device that cannot be reached has no health to show.
  EXPECT_EQ(runCli({"--tcp", "127.0.0.1:" + std::to_string(test::closedPort()), "health"}).status, 1);
}

}  // namespace
}  // namespace kestrel::clitest
