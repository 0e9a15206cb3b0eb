// kestrel fm-report and kestrel ej against the simulator: the journal's lines on stdout
// or in a file written only for a whole reading, printing, validation of a saved
// document without a connection, usage errors, and one reading over a pseudo-terminal.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/logic/pages/journal.h"
#include "sim/device_codes.h"
#include "support/files.h"
#include "support_cli.h"
#include "support_sim_server.h"

namespace kestrel::cli {
namespace {

namespace fs = std::filesystem;
using clitest::parseJson;
using clitest::runCli;
using clitest::SimServer;

// X reports 1 and 2 and a Z report (document 3, fiscal memory record 1), dated
// 1 July 2025 10:00.
sim::SimulatorOptions journalDevice() {
  sim::SimulatorOptions o;
  o.hostClock = [] { return sim::makeTime(2025, 7, 1, 10, 0, 0); };
  return o;
}

void fill(SimServer& server) {
  server.sim->withDevice([](sim::DeviceModel& d) {
    std::string answer;
    for (const char* in : {"X\t", "X\t", "Z\t"}) d.execute(69, in, answer);
  });
}

std::string shownText(SimServer& server, std::initializer_list<int> numbers) {
  return server.sim->withDevice([&](sim::DeviceModel& d) {
    std::string text;
    for (int n : numbers)
      for (const auto& doc : d.state().journal)
        if (doc.number == n)
          for (const auto& l : doc.lines) text += journalLineShown(l) + "\n";
    return text;
  });
}

struct TempDir {
  TempDir() : path(fs::temp_directory_path() / ("kestrel-cli-ej-" + std::to_string(::getpid()))) {
    fs::create_directories(path);
  }
  ~TempDir() { fs::remove_all(path); }
  std::string file(const char* name) const { return (path / name).string(); }
  fs::path path;
};

TEST(CliJournal, UsageErrorsSendNothing) {
  const std::vector<std::vector<std::string>> cases = {
      {"--sim", "fm-report"},
      {"--sim", "fm-report", "--from", "01-07-25 09:00:00"},
      {"--sim", "fm-report", "--first", "1", "--last", "2", "--from", "01-07-25 09:00:00", "--to", "01-07-25 10:00:00"},
      {"--sim", "fm-report", "--from", "31-02-25 09:00:00", "--to", "01-07-25 10:00:00"},
      {"--sim", "ej", "read", "--first", "1", "--last", "2"},
      {"--sim", "ej", "read", "--type", "receipts", "--first", "1", "--last", "2"},
      {"--sim", "ej", "read", "--type", "x", "--first", "0", "--last", "2"},
      {"--sim", "ej", "list", "--type", "x", "--first", "1", "--last", "2"},
      {"ej", "read", "--type", "x", "--first", "1", "--last", "2"},
      {"--sim", "ej", "validate", "a.txt"},
  };
  for (const auto& args : cases) {
    const clitest::CliRun r = runCli(args);
    EXPECT_EQ(r.status, 2) << args.back() << ": " << r.err;
  }
}

TEST(CliJournal, ReadPrintsLinesToStdoutOrWritesTheFileOnlyForAWholeReading) {
  SimServer server(journalDevice());
  fill(server);
  TempDir dir;
  const std::string tcp = server.tcp();

  const clitest::CliRun read = runCli({"--tcp", tcp, "ej", "read", "--type", "x", "--first", "1", "--last", "3"});
  ASSERT_EQ(read.status, 0) << read.err;
  EXPECT_EQ(read.out, shownText(server, {1, 2})) << "document 3 is a Z report: skipped";

  const std::string file = dir.file("ej.txt");
  const clitest::CliRun saved =
      runCli({"--tcp", tcp, "ej", "read", "--type", "all-fiscal", "--first", "1", "--last", "3", "-o", file});
  EXPECT_EQ(saved.status, 1) << "no fiscal receipt among them: " << saved.err;
  EXPECT_FALSE(std::filesystem::exists(file)) << "nothing to save, no file";
  const clitest::CliRun z = runCli({"--tcp", tcp, "ej", "read", "--type", "z", "--first", "3", "--last", "3", "-o", file});
  ASSERT_EQ(z.status, 0) << z.err;
  EXPECT_TRUE(z.out.empty());
  EXPECT_NE(z.err.find("EJ saved to: " + file), std::string::npos) << z.err;
  EXPECT_EQ(readWholeFile(file), shownText(server, {3}));

  // No document of the type in the range: nothing to save, the old file stays.
  const clitest::CliRun none = runCli({"--tcp", tcp, "ej", "read", "--type", "z", "--first", "1", "--last", "2", "-o", file});
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(none.err.find("nothing to save"), std::string::npos) << none.err;
  EXPECT_EQ(none.err.find("EJ saved"), std::string::npos) << none.err;
  EXPECT_EQ(readWholeFile(file), shownText(server, {3}));

  // A refused selection: the reading is not whole and the old file stays.
  server.sim->withDevice([](sim::DeviceModel& d) {
    d.commandFault = [](uint16_t cmd, std::string_view in) { return cmd == 125 && in == "0\t2\t2\t" ? sim::ERR_SYNTAX : 0; };
  });
  const clitest::CliRun refused =
      runCli({"--tcp", tcp, "ej", "read", "--type", "x", "--first", "1", "--last", "2", "-o", file});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("was not written"), std::string::npos) << refused.err;
  EXPECT_EQ(readWholeFile(file), shownText(server, {3}));
  server.sim->withDevice([](sim::DeviceModel& d) { d.commandFault = nullptr; });

  // Validation needs no connection: the saved Z report is valid, an altered copy not.
  const clitest::CliRun valid = runCli({"--json", "ej", "validate", file});
  ASSERT_EQ(valid.status, 0) << valid.err;
  const clitest::Json v = parseJson(valid.out);
  EXPECT_TRUE(v["valid"].boolean);
  EXPECT_EQ(v["printed"].text.size(), 32u);
  EXPECT_EQ(v["printed"].text, v["calculated"].text);
  std::string altered = readWholeFile(file);
  altered.replace(altered.find("Z REPORT"), 8, "X REPORT");
  const std::string bad = dir.file("bad.txt");
  std::ofstream(bad, std::ios::binary) << altered;
  const clitest::CliRun invalid = runCli({"ej", "validate", bad});
  EXPECT_EQ(invalid.status, 1);
  EXPECT_NE(invalid.out.find("Document is NOT VALID."), std::string::npos) << invalid.out;
}

TEST(CliJournal, PrintAndFiscalMemoryReportsExitZeroOnlyWhenTheDevicePrints) {
  SimServer server(journalDevice());
  fill(server);
  const std::string tcp = server.tcp();
  const clitest::CliRun print = runCli({"--tcp", tcp, "ej", "print", "--type", "2", "--first", "2", "--last", "2"});
  EXPECT_EQ(print.status, 0) << print.err;
  EXPECT_EQ(print.out, shownText(server, {2}));

  EXPECT_EQ(runCli({"--tcp", tcp, "fm-report", "--first", "1", "--last", "1"}).status, 0);
  EXPECT_EQ(runCli({"--tcp", tcp, "fm-report", "--from", "01-07-25 09:00:00", "--to", "01-07-25 11:00:00"}).status, 0);
  const clitest::CliRun empty = runCli({"--tcp", tcp, "fm-report", "--first", "2", "--last", "9"});
  EXPECT_EQ(empty.status, 1);
  EXPECT_FALSE(empty.err.empty());
}

TEST(CliJournal, TheBuiltInSimulatorsEmptyJournalHasNoDocumentsInAPeriod) {
  const clitest::CliRun r =
      runCli({"--sim", "ej", "read", "--type", "all", "--from", "01-01-25 00:00:00", "--to", "31-12-25 23:59:59"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.out.empty());
  EXPECT_NE(r.err.find("No documents in the period"), std::string::npos) << r.err;
}

TEST(CliJournal, PeriodReadingOverAPseudoTerminal) {
  SimServer server(journalDevice(), true);
  fill(server);
  const clitest::CliRun r = runCli({"--serial", server.pty(), "ej", "read", "--type", "x", "--from",
                                    "01-07-25 09:00:00", "--to", "01-07-25 11:00:00"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, shownText(server, {1, 2}));
  const clitest::CliRun none = runCli({"--serial", server.pty(), "ej", "read", "--type", "storno", "--from",
                                       "01-07-25 09:00:00", "--to", "01-07-25 11:00:00"});
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(none.err.find("No documents in the period"), std::string::npos) << none.err;
}

}  // namespace
}  // namespace kestrel::cli
