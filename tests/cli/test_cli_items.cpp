// kestrel items against the simulator: a CSV file written to the device and read back
// (table, JSON, the same file), quantity changes, the three ways to delete, csv-check
// without a device, usage errors, Ctrl-C between two items, the progress on a terminal.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "cli/support_cli.h"
#include "cli/support_sim_server.h"
#include "sim/device_model.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;
using clitest::runCli;
using clitest::SimServer;

const std::string HEADER =
    "\"PLU\";\"Name\";\"VAT\";\"Department\";\"Group\";\"Price type\";\"Price\";\"Turnover\";\"Sold qty\";\"Stock "
    "qty\";\"Barcode1\";\"Barcode2\";\"Barcode3\";\"Barcode4\";\r\n";

std::string itemLine(int plu, const std::string& name) {
  return "\"" + std::to_string(plu) + "\";\"" + name + "\";\"2\";\"1\";\"1\";\"0\";\"1.50\";\"0.00\";\"0.000\";\"4.000\";\"\";\"\";\"\";\"\";\r\n";
}

struct Files {
  Files() { fs::create_directories(dir); }
  ~Files() { fs::remove_all(dir); }
  std::string write(const std::string& name, const std::string& content) {
    std::ofstream(dir / name, std::ios::binary) << content;
    return (dir / name).string();
  }
  std::string read(const std::string& name) {
    std::ifstream in(dir / name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  fs::path dir = fs::temp_directory_path() / ("kestrel_cli_items_" + std::to_string(::getpid()));
};

std::vector<int> devicePlus(SimServer& server) {
  return server.sim->withDevice([](sim::DeviceModel& d) {
    std::vector<int> v;
    for (const auto& [p, it] : d.state().items) v.push_back(p);
    return v;
  });
}

TEST(CliItems, WriteReadChangeAndDelete) {
  SimServer server;
  Files files;
  auto with = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"--tcp", server.tcp()});
    return runCli(args);
  };
  // A name with ";" and quotes comes back whole; the file read back is the file written.
  const std::string content =
      HEADER + itemLine(3, "Bread") + itemLine(70, "Tea; \"\"green\"\"") + itemLine(99000, "Salt");
  const std::string in = files.write("in.csv", content);
  const auto write = with({"items", "write", in});
  ASSERT_EQ(write.status, 0) << write.err;
  EXPECT_EQ(devicePlus(server), (std::vector<int>{3, 70, 99000}));

  const auto json = with({"--json", "items", "read"});
  ASSERT_EQ(json.status, 0) << json.err;
  const clitest::Json j = clitest::parseJson(json.out);
  EXPECT_EQ(j["count"].number, 3);
  EXPECT_EQ(j["items"][1]["Name"].text, "Tea; \"green\"");
  EXPECT_EQ(j["items"][2]["StockQty"].text, "4.000");

  const auto csv = with({"items", "read", "--csv", (files.dir / "out.csv").string()});
  ASSERT_EQ(csv.status, 0) << csv.err;
  EXPECT_EQ(files.read("out.csv"), content);

  const auto range = with({"items", "read", "--from", "4", "--to", "99000"});
  ASSERT_EQ(range.status, 0) << range.err;
  EXPECT_EQ(range.out.substr(0, 4), "PLU\t");
  EXPECT_NE(range.out.find("\n70\t2\tTea; \"green\"\t1\t1\t0\t1.50\t"), std::string::npos) << range.out;
  EXPECT_EQ(range.out.find("\n3\t"), std::string::npos) << range.out;

  const auto qty = with({"items", "qty", "70", "-1.5"});
  ASSERT_EQ(qty.status, 0) << qty.err;
  EXPECT_EQ(qty.out, "PLU 70 stock qty 2.500\n");
  EXPECT_EQ(with({"items", "qty", "71", "1"}).status, 1);

  ASSERT_EQ(with({"items", "delete", "3", "99000"}).status, 0);
  EXPECT_EQ(devicePlus(server), (std::vector<int>{70}));
  EXPECT_EQ(with({"items", "delete", "3"}).status, 1);  // no longer there
  ASSERT_EQ(with({"items", "write", in, "--from", "3", "--to", "3"}).status, 0);
  EXPECT_EQ(devicePlus(server), (std::vector<int>{3, 70}));
  ASSERT_EQ(with({"items", "delete", "--from", "1", "--to", "50"}).status, 0);
  EXPECT_EQ(devicePlus(server), (std::vector<int>{70}));
  ASSERT_EQ(with({"items", "delete", "--all"}).status, 0);
  EXPECT_TRUE(devicePlus(server).empty());
}

TEST(CliItems, CsvCheckNeedsNoDeviceAndUsageErrorsComeFirst) {
  Files files;
  const std::string good = files.write("good.csv", HEADER + itemLine(1, "a") + itemLine(2, "b"));
  const auto ok = runCli({"items", "csv-check", good});
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_EQ(ok.out, good + ": 2 item(s), every line accepted\n");
  const std::string bad = files.write("bad.csv", HEADER + itemLine(1, "a") + "\"2\";\"b\";\"1\";\"0\";\"1\";\"0\";\"1,5\";\r\n");
  const auto refused = runCli({"items", "csv-check", bad});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("Line 3: '1,5' is not a valid value for field 'Price'"), std::string::npos) << refused.err;
  EXPECT_EQ(runCli({"items", "csv-check", (files.dir / "none.csv").string()}).status, 1);
  // What the write would refuse, the check refuses: no PLU, a TAB that would shift the
  // command's fields into the name.
  struct Bad {
    std::string line;
    const char* said;
  };
  for (const Bad& b : {Bad{itemLine(0, "x").replace(0, 3, "\"\""), "PLU"},
                       Bad{itemLine(3, "x").replace(itemLine(3, "x").find(";\"\";"), 4, ";\"1\t\t\t\tEVIL\";"), "Barcode1"},
                       Bad{itemLine(4, "a\tb"), "Name"}}) {
    const auto r = runCli({"items", "csv-check", files.write("tab.csv", HEADER + itemLine(1, "a") + b.line)});
    EXPECT_EQ(r.status, 1) << b.line;
    EXPECT_NE(r.err.find("Line 3: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(b.said), std::string::npos) << r.err;
  }

  const std::vector<std::vector<std::string>> usage = {
      {"--sim", "items"},
      {"--sim", "items", "list"},
      {"--sim", "items", "read", "--from", "0"},
      {"--sim", "items", "read", "--from", "5", "--to", "4"},
      {"--sim", "items", "write"},
      {"--sim", "items", "write", "a.csv", "--from", "1"},
      {"--sim", "items", "delete"},
      {"--sim", "items", "delete", "--all", "5"},
      {"--sim", "items", "delete", "x"},
      {"--sim", "items", "qty", "5"},
      {"--sim", "items", "qty", "5", "1,5"},
      {"--sim", "items", "qty", "1", "0.0001"},  // past the device's 3 decimals
      {"--sim", "items", "csv-check", "a.csv"},  // no device for a file check
      {"items", "read"},
  };
  for (const auto& args : usage) EXPECT_EQ(runCli(args).status, 2) << args.back();
  // A change the quantity cannot hold is refused, not wrapped to a negative one.
  const auto huge = runCli({"--sim", "items", "qty", "7", "922337203685477.5808"});
  EXPECT_EQ(huge.status, 2);
  EXPECT_NE(huge.err.find("'922337203685477.5808' is not a valid value for field 'Stock qty'"), std::string::npos)
      << huge.err;
}

TEST(CliItems, CtrlCEndsAWriteBetweenTwoItems) {
  SimServer server;
  Files files;
  std::string content = HEADER;
  for (int p = 1; p <= 3000; ++p) content += itemLine(p, "Item");
  const std::string in = files.write("many.csv", content);
  // The first Ctrl-C once the loop is well under way.
  std::thread interrupter([&] {
    while (server.sim->framesServed() < 50) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ::kill(::getpid(), SIGINT);
  });
  const auto run = runCli({"--tcp", server.tcp(), "items", "write", in});
  interrupter.join();
  EXPECT_EQ(run.status, 1);
  const size_t written = devicePlus(server).size();
  EXPECT_GT(written, 10u);
  EXPECT_LT(written, 3000u);
  // Exactly what was written: the items answered, and the one whose answer the stop
  // abandoned (if the Ctrl-C came during a wait) named as possibly done.
  const std::string said = "Save stopped after ";
  const size_t at = run.err.find(said);
  ASSERT_NE(at, std::string::npos) << run.err;
  const size_t answered = std::stoul(run.err.substr(at + said.size()));
  const std::string abandoned = "PLU " + std::to_string(answered + 1) + " was sent, but its answer was not waited for";
  if (written == answered + 1) EXPECT_NE(run.err.find(abandoned), std::string::npos) << run.err;
  else EXPECT_EQ(written, answered) << run.err;
  EXPECT_NE(run.err.find(" of 3,000 items."), std::string::npos) << run.err;
}

TEST(CliItems, ProgressLineOnATerminal) {
  Files files;
  std::string content = HEADER;
  for (int p = 1; p <= 200; ++p) content += itemLine(p, "Item");
  const std::string in = files.write("p.csv", content);
  int status = -1;
  const std::string shown = clitest::runOnTerminal(KESTREL_BIN, {"--sim", "items", "write", in}, "", status);
  EXPECT_EQ(status, 0) << shown;
  EXPECT_NE(shown.find("\r201 / 201 (100 %)"), std::string::npos) << shown;  // the file's lines
  EXPECT_NE(shown.find("\r200 / 200 (100 %)"), std::string::npos) << shown;  // the items saved
  EXPECT_NE(shown.find("The data was saved in the device."), std::string::npos) << shown;
}

}  // namespace
}  // namespace kestrel
