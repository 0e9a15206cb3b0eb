// `kestrel logo` and the Parameters and Receipt format pages of `kestrel config`:
// over --sim, over TCP to a simulator the test can look into, and the program itself
// with its stderr on a pseudo-terminal, where the upload shows its progress line.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "support_cli.h"
#include "support_sim_server.h"

namespace kestrel::cli {
namespace {

using clitest::runCli;
namespace fs = std::filesystem;

struct TempFile {
  explicit TempFile(const std::string& content) {
    static int n = 0;
    path = (fs::temp_directory_path() / ("kestrel_cli_logo_" + std::to_string(::getpid()) + "_" +
                                         std::to_string(n++) + ".bmp"))
               .string();
    std::ofstream(path, std::ios::binary) << content;
  }
  ~TempFile() { fs::remove(path); }
  std::string path;
};

TEST(CliLogo, UploadsOverSimAndExitsZeroOnlyOnSuccess) {
  TempFile logo("BM" + std::string(198, '\x33'));
  const clitest::CliRun ok = runCli({"--sim", "logo", logo.path});
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_EQ(ok.out, "");
  EXPECT_NE(ok.err.find("The data was saved in the device."), std::string::npos) << ok.err;

  TempFile notBmp(std::string(200, '\x33'));
  const clitest::CliRun refused = runCli({"--sim", "logo", notBmp.path});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("is not a BMP image. Nothing was sent."), std::string::npos) << refused.err;
  EXPECT_EQ(refused.err.find("saved"), std::string::npos) << refused.err;

  EXPECT_EQ(runCli({"--sim", "logo", logo.path + ".missing"}).status, 1);
  EXPECT_EQ(runCli({"--sim", "logo"}).status, 2);
  EXPECT_EQ(runCli({"--sim", "logo", "a.bmp", "b.bmp"}).status, 2);
}

TEST(CliLogo, TheDeviceHoldsTheFileAndTheConfigPagesRoundTrip) {
  clitest::SimServer server;
  TempFile logo("BM" + std::string(107, '\x07'));
  ASSERT_EQ(runCli({"--tcp", server.tcp(), "logo", logo.path}).status, 0);
  EXPECT_EQ(server.sim->withDevice([](sim::DeviceModel& d) { return d.state().logo; }), "BM" + std::string(107, '\x07'));

  const clitest::CliRun set = runCli({"--tcp", server.tcp(), "config", "set", "parameters.TimeZone=+2",
                                      "parameters.DateFromNAPServDisable=1"});
  EXPECT_EQ(set.status, 0) << set.err;
  const clitest::CliRun receipt = runCli({"--tcp", server.tcp(), "config", "set",
                                          "receipt.PrintColumns=48", "receipt.PaperCuttingType=1"});
  ASSERT_EQ(receipt.status, 0) << receipt.err;
  const clitest::CliRun get = runCli({"--tcp", server.tcp(), "config", "get", "parameters", "receipt"});
  EXPECT_EQ(get.status, 0) << get.err;
  for (const char* line : {"parameters.TimeZone=2\n", "parameters.DateFromNAPServDisable=1\n",
                           "parameters.TimeServerAddress=pool.ntp.org\n", "receipt.PrintColumns=48\n",
                           "receipt.PaperCuttingType=1\n"})
    EXPECT_NE(get.out.find(line), std::string::npos) << line << get.out;
  EXPECT_EQ(get.out.find("FlushAtEndOnly"), std::string::npos);  // a printer has none
  const clitest::CliRun ecr = runCli({"--sim", "--model", "KT-11A", "config", "get", "parameters", "receipt"});
  EXPECT_NE(ecr.out.find("parameters.FlushAtEndOnly=0\n"), std::string::npos) << ecr.out;
  EXPECT_NE(ecr.out.find("receipt.PrintColumns=42\n"), std::string::npos) << ecr.out;
  EXPECT_EQ(ecr.out.find("PaperCuttingType"), std::string::npos) << ecr.out;

  // The device refuses 99 minutes: exit 1, and the page stays as it was.
  EXPECT_EQ(runCli({"--tcp", server.tcp(), "config", "set", "parameters.AutoPowerOff=99"}).status, 1);
  EXPECT_EQ(server.sim->withDevice([](sim::DeviceModel& d) { return d.state().params.at("AutoPowerOff").at(0); }),
            "0");
}

TEST(CliLogo, ProgressLineOnATerminal) {
  TempFile logo("BM" + std::string(298, '\x11'));
  int status = -1;
  const std::string shown = clitest::runOnTerminal(KESTREL_BIN, {"--sim", "logo", logo.path}, "", status);
  EXPECT_EQ(status, 0) << shown;
  EXPECT_NE(shown.find("\r54 / 300 ("), std::string::npos) << shown;
  EXPECT_NE(shown.find("\r300 / 300 (100 %)"), std::string::npos) << shown;
  EXPECT_NE(shown.find("The data was saved in the device."), std::string::npos) << shown;
}

}  // namespace
}  // namespace kestrel::cli
