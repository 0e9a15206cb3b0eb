// kestrel table get|set against one simulator: a CSV file exported, edited and saved
// reaches the device; a refused line names its number and writes nothing; the operators'
// file is readable by its owner only; the discount and surcharge keys through config.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "app/logic/text_file.h"
#include "cli/support_cli.h"
#include "cli/support_sim_server.h"
#include "support/files.h"
#include "util/temp_path.h"

namespace kestrel {
namespace {

using clitest::runCli;
using clitest::SimServer;
namespace fs = std::filesystem;

using Folder = test::TempFolder;

using clitest::registerModel;

TEST(CliTable, ExportEditAndSaveDepartments) {
  SimServer server(registerModel());
  Folder dir;
  const std::string csv = dir.file("departments.csv");
  auto cli = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"--tcp", server.tcp()});
    return runCli(args);
  };
  const clitest::CliRun get = cli({"table", "get", "departments", "--csv", csv});
  ASSERT_EQ(get.status, 0) << get.err;
  auto lines = readTextLines(csv);
  ASSERT_EQ(lines.size(), 100u);
  EXPECT_EQ(lines[0], "\"Number\";\"Name\";");
  EXPECT_EQ(lines[5], "\"5\";\"Department 5\";");

  // Department 5 left out keeps its name; the others are written by their numbers.
  lines[1] = "\"1\";\"Bakery; \"\"fresh\"\"\";";
  lines.erase(lines.begin() + 5);
  writeTextLines(csv, lines);
  const clitest::CliRun set = cli({"table", "set", "departments", csv});
  ASSERT_EQ(set.status, 0) << set.err;
  const clitest::CliRun json = cli({"--json", "table", "get", "departments"});
  ASSERT_EQ(json.status, 0) << json.err;
  const clitest::Json rows = clitest::parseJson(json.out)["departments"];
  ASSERT_EQ(rows.items.size(), 99u);
  EXPECT_EQ(rows[0]["Text"].text, "Bakery; \"fresh\"");
  EXPECT_EQ(rows[4]["Text"].text, "Department 5");

  // A refused line: its number is named and nothing reaches the device.
  lines[1] = "\"1\";\"Milk\";";
  lines[3] = "\"300\";\"Nowhere\";";
  writeTextLines(csv, lines);
  const clitest::CliRun refused = cli({"table", "set", "departments", csv});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("line 4: "), std::string::npos) << refused.err;
  EXPECT_NE(cli({"table", "get", "departments"}).out.find("\"1\";\"Bakery; \"\"fresh\"\"\";"), std::string::npos);
  // A TAB would cut the name at the device: refused with the line and field named.
  lines[3] = "\"3\";\"A\tB\";";
  writeTextLines(csv, lines);
  const clitest::CliRun tab = cli({"table", "set", "departments", csv});
  EXPECT_EQ(tab.status, 1);
  EXPECT_NE(tab.err.find("line 4: "), std::string::npos) << tab.err;
  EXPECT_NE(tab.err.find("TAB"), std::string::npos) << tab.err;
  EXPECT_NE(cli({"table", "get", "departments"}).out.find("\"1\";\"Bakery; \"\"fresh\"\"\";"), std::string::npos);
}

TEST(CliTable, OperatorsFileIsPrivateAndKeysFollowTheModel) {
  SimServer server(registerModel());
  Folder dir;
  const std::string csv = dir.file("operators.csv");
  ASSERT_EQ(runCli({"--tcp", server.tcp(), "table", "get", "operators", "--csv", csv}).status, 0);
  // Only its owner may read it: the check of a password file takes it (on Windows: an
  // access list that lets no group read), and on POSIX its mode is exactly 0600.
  EXPECT_NO_THROW(readPrivateFirstLine(csv, 1 << 20, 0, "operators"));
#ifndef _WIN32
  struct stat st {};
  ASSERT_EQ(stat(csv.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
#endif

  const clitest::CliRun keys = runCli({"--tcp", server.tcp(), "table", "get", "keys"});
  ASSERT_EQ(keys.status, 0) << keys.err;
  EXPECT_EQ(std::count(keys.out.begin(), keys.out.end(), '\n'), 9);  // the header and eight keys
  const clitest::CliRun printer = runCli({"--sim", "table", "get", "keys"});
  ASSERT_EQ(printer.status, 0) << printer.err;
  EXPECT_EQ(printer.out, "\"Key\";\"PLU\";\n");

  for (const auto& bad : std::vector<std::vector<std::string>>{
           {"--sim", "table", "get", "clients"}, {"--sim", "table", "set", "keys"}, {"--sim", "table", "get"},
           {"--sim", "table", "get", "keys", "--csv"}})
    EXPECT_EQ(runCli(bad).status, 2) << bad[3];
}

TEST(CliTable, CorrectionsThroughConfig) {
  SimServer server(registerModel());
  const clitest::CliRun set =
      runCli({"--tcp", server.tcp(), "config", "set", "corrections.KeyNDB_percentage=1250",
              "corrections.KeyOTS_forbidden=1"});
  ASSERT_EQ(set.status, 0) << set.err;
  const clitest::CliRun get = runCli({"--tcp", server.tcp(), "config", "get", "corrections"});
  ASSERT_EQ(get.status, 0) << get.err;
  EXPECT_EQ(get.out,
            "corrections.KeyNDB_forbidden=0\ncorrections.KeyOTS_forbidden=1\ncorrections.KeyNDB_value=0\n"
            "corrections.KeyNDB_percentage=1250\ncorrections.KeyOTS_value=0\ncorrections.KeyOTS_percentage=0\n");
  EXPECT_EQ(runCli({"--tcp", server.tcp(), "config", "set", "corrections.KeyNDB_value=abc"}).status, 1);
}

}  // namespace
}  // namespace kestrel
