// kestrel date and header, and config get of the datetime, header and footer pages:
// over --sim and over loopback TCP to a simulator whose clock stands still.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "support/files.h"
#include "support_cli.h"
#include "support_sim_server.h"

namespace kestrel::cli {
namespace {

using clitest::parseJson;
using clitest::runCli;
using clitest::SimServer;

// 1 July 2025, 10:00:00: summer time, and the device's automatic summer time is on.
sim::SimulatorOptions stillClock() {
  sim::SimulatorOptions o;
  o.hostClock = [] { return sim::makeTime(2025, 7, 1, 10, 0, 0); };
  return o;
}

std::string tempFile(const std::string& name) {
  return (std::filesystem::temp_directory_path() / ("kestrel_cli_" + std::to_string(getpid()) + "_" + name)).string();
}

TEST(CliClock, DateGetAndSetWithTheSummerTimeRule) {
  SimServer server(stillClock());
  const clitest::CliRun get = runCli({"--tcp", server.tcp(), "date", "get"});
  EXPECT_EQ(get.status, 0) << get.err;
  EXPECT_EQ(get.out, "01.07.2025 10:00:00 DST\n");
  const clitest::Json j = parseJson(runCli({"--tcp", server.tcp(), "--json", "date", "get"}).out);
  EXPECT_EQ(j.keys(), (std::vector<std::string>{"date", "time", "dst", "device"}));
  EXPECT_EQ(j["device"].text, "01-07-25 10:00:00 DST");

  const clitest::CliRun set = runCli({"--tcp", server.tcp(), "date", "set", "07-03-25 09:05:03"});
  EXPECT_EQ(set.status, 0) << set.err;
  EXPECT_EQ(runCli({"--tcp", server.tcp(), "date", "get"}).out, "07.03.2025 09:05:03\n");
  EXPECT_EQ(runCli({"--tcp", server.tcp(), "config", "get", "datetime"}).out, "datetime.device=07-03-25 09:05:03\n");

  // What date get printed goes back as it is, summer time included.
  for (const char* printed : {"01.07.2025 10:00:00 DST", "08.03.2025 09:05:03"}) {
    const clitest::CliRun again = runCli({"--tcp", server.tcp(), "date", "set", printed});
    EXPECT_EQ(again.status, 0) << printed << ": " << again.err;
    EXPECT_EQ(runCli({"--tcp", server.tcp(), "date", "get"}).out, std::string(printed) + "\n");
  }

  EXPECT_EQ(runCli({"--sim", "date", "set", "--now"}).status, 0);
  for (const std::string bad : {"7.3.2025", "07-03-25", "32-01-25 10:00:00", "now", "31.02.2025 10:00:00",
                                "01.01.1999 10:00:00", "01.07.2025 10:00:00 XYZ"})
    EXPECT_EQ(runCli({"--sim", "date", "set", bad}).status, 2) << bad;
  EXPECT_EQ(runCli({"--sim", "date"}).status, 2);
}

TEST(CliHeader, ExportImportAndConfigGetOfTheLines) {
  const std::string file = tempFile("cliche.txt");
  const clitest::CliRun exported = runCli({"--sim", "header", "export", file});
  ASSERT_EQ(exported.status, 0) << exported.err;
  const std::string bytes = readWholeFile(file);
  EXPECT_EQ(bytes.rfind("KESTREL TEST DEVICE\r\n", 0), 0u);
  EXPECT_NE(bytes.find("\r\nTHANK YOU\r\n"), std::string::npos);
  EXPECT_EQ(bytes.size(), std::string("KESTREL TEST DEVICE").size() + std::string("THANK YOU").size() + 40);

  SimServer server;
  writeFileAtomically(file, "\xEF\xBB\xBFSHOP \xC5\xA0\r\nSECOND\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\nBYE\r\n");
  const clitest::CliRun imported = runCli({"--tcp", server.tcp(), "header", "import", file});
  EXPECT_EQ(imported.status, 0) << imported.err;
  const clitest::CliRun get = runCli({"--tcp", server.tcp(), "config", "get", "header", "footer"});
  EXPECT_EQ(get.status, 0) << get.err;
  EXPECT_NE(get.out.find("header.1=SHOP \xC5\xA0\nheader.2=SECOND\nheader.3=\n"), std::string::npos) << get.out;
  EXPECT_NE(get.out.find("footer.1=BYE\nfooter.2=\n"), std::string::npos) << get.out;
  EXPECT_NE(get.out.find("header.10=\nfooter.1="), std::string::npos) << get.out;

  // A file that cannot be read writes nothing.
  const clitest::CliRun missing = runCli({"--tcp", server.tcp(), "header", "import", file + ".missing"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find(file + ".missing"), std::string::npos) << missing.err;
  EXPECT_EQ(runCli({"--tcp", server.tcp(), "param", "get", "Header", "0"}).out, "SHOP \xC5\xA0\n");

  // More lines than the device holds: said, and nothing written.
  std::string thirty;
  for (int i = 1; i <= 30; ++i) thirty += "T" + std::to_string(i) + "\r\n";
  writeFileAtomically(file, thirty);
  const clitest::CliRun tooMany = runCli({"--tcp", server.tcp(), "header", "import", file});
  EXPECT_EQ(tooMany.status, 1);
  EXPECT_NE(tooMany.err.find("Lines 21 to 30 of the file were not imported"), std::string::npos) << tooMany.err;
  EXPECT_EQ(runCli({"--tcp", server.tcp(), "param", "get", "Header", "0"}).out, "SHOP \xC5\xA0\n");

  EXPECT_EQ(runCli({"--sim", "header", "export"}).status, 2);
  EXPECT_EQ(runCli({"--sim", "header", "print", file}).status, 2);
  std::filesystem::remove(file);
}

}  // namespace
}  // namespace kestrel::cli
