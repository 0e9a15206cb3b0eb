// kestrel report, cash, receipt and restart against a simulator over loopback TCP (and
// once over a pseudo-terminal): the X and Z sums with --json, the Z report's item
// deletion with the password from the environment only, each report's input text, cash
// sums, the test receipts, closing a stuck receipt within its bound, and usage errors.
#include <gtest/gtest.h>

#include <cstdlib>

#include "support_cli.h"
#include "support_sim_server.h"

namespace kestrel::cli {
namespace {

using clitest::parseJson;
using clitest::runCli;
using clitest::SimServer;

struct EnvironmentValue {
  EnvironmentValue(const char* name, const char* value) : name(name) { setenv(name, value, 1); }
  ~EnvironmentValue() { unsetenv(name); }
  const char* name;
};

void shop(SimServer& server) {
  server.sim->withDevice([](sim::DeviceModel& d) {
    d.mutableState().vat = {1700, 500, 0, 0, 0};
    d.mutableState().vatSet = true;
    d.mutableState().daySales = {125000, 0, 0, 0, 10000};
    d.mutableState().dayStorno = {5000, 0, 0, 0, 0};
    for (int plu : {2, 3, 4}) d.mutableState().items[plu].name = "item";
  });
}

TEST(CliReports, XThenZWithSumsAndTheDeletionWithTheEnvironmentsPassword) {
  SimServer server;
  shop(server);
  const std::string tcp = server.tcp();
  const clitest::CliRun x = runCli({"--tcp", tcp, "--json", "report", "x"});
  ASSERT_EQ(x.status, 0) << x.err;
  const clitest::Json j = parseJson(x.out);
  EXPECT_EQ(j["number"].text, "1");
  EXPECT_EQ(j["A"].text, "12.50");
  EXPECT_EQ(j["M"].text, "1.00");
  EXPECT_EQ(j["total"].text, "13.5");
  EXPECT_EQ(j["stornoA"].text, "0.50");
  EXPECT_EQ(j["stornoTotal"].text, "0.5");

  // The password only from the environment or a private file.
  const clitest::CliRun noPassword = runCli({"--tcp", tcp, "report", "z", "--delete-items", "2-3"});
  EXPECT_EQ(noPassword.status, 2);
  EXPECT_NE(noPassword.err.find("KESTREL_SERVICE_PASSWORD"), std::string::npos) << noPassword.err;
  {
    EnvironmentValue wrong("KESTREL_SERVICE_PASSWORD", "9999");
    const clitest::CliRun refused = runCli({"--tcp", tcp, "report", "z", "--delete-items", "2-3"});
    EXPECT_EQ(refused.status, 1) << "the Z report printed, the deletion failed";
    EXPECT_NE(refused.err.find("Service mode setting error, items will not be deleted."), std::string::npos)
        << refused.err;
    EXPECT_NE(refused.out.find("number=1\n"), std::string::npos) << refused.out;
  }
  EnvironmentValue password("KESTREL_SERVICE_PASSWORD", "1234");
  // A range that cannot be deleted is refused before the day is closed.
  for (const char* range : {"5-1", "0-100001", "1-100001"}) {
    const clitest::CliRun bad = runCli({"--tcp", tcp, "report", "z", "--delete-items", range});
    EXPECT_EQ(bad.status, 2) << range << ": " << bad.err;
    EXPECT_NE(bad.err.find("items to delete"), std::string::npos) << bad.err;
  }
  const clitest::CliRun z = runCli({"--tcp", tcp, "report", "z", "--delete-items", "2-3"});
  EXPECT_EQ(z.status, 0) << z.err;
  EXPECT_NE(z.out.find("number=2\n"), std::string::npos) << z.out;
  EXPECT_NE(z.out.find("\ntotal=0\n"), std::string::npos) << "a new day: " << z.out;
  EXPECT_NE(z.err.find("Items deleted."), std::string::npos) << z.err;
  EXPECT_EQ(server.sim->withDevice([](sim::DeviceModel& d) { return d.state().items.size(); }), 1u);
}

TEST(CliReports, ReportsCashReceiptsCloseAndRestart) {
  SimServer server;
  shop(server);
  const std::string tcp = server.tcp();
  for (const std::vector<std::string>& report :
       {std::vector<std::string>{"departments"}, {"groups"}, {"diagnostic"}, {"operators", "1", "5", "--clear"},
        {"plu", "stock", "10", "20"},
        {"periodic", "plu", "--from", "05.03.2024", "--to", "31.12.2024", "--by", "group", "--plu-to", "9"}}) {
    std::vector<std::string> args{"--tcp", tcp, "report"};
    args.insert(args.end(), report.begin(), report.end());
    const clitest::CliRun r = runCli(args);
    EXPECT_EQ(r.status, 0) << report[0] << ": " << r.err;
  }
  EXPECT_EQ(runCli({"--tcp", tcp, "report", "operators", "5", "1"}).status, 1) << "refused by the device";

  const clitest::CliRun in = runCli({"--tcp", tcp, "--json", "cash", "in", "12.5"});
  ASSERT_EQ(in.status, 0) << in.err;
  EXPECT_EQ(parseJson(in.out)["cashInSafe"].text, "12.50");
  EXPECT_EQ(runCli({"--tcp", tcp, "cash", "out", "100"}).status, 1);

  const clitest::CliRun test =
      runCli({"--tcp", tcp, "receipt", "test", "--add-item", "--tax-group", "J", "--price", "4.2", "--correction", "-5"});
  EXPECT_EQ(test.status, 0) << test.err;
  EXPECT_EQ(runCli({"--tcp", tcp, "receipt", "reclamation", "--receipt-number", "1"}).status, 0);
  EXPECT_EQ(server.sim->withDevice([](sim::DeviceModel& d) { return d.state().receiptNumber; }), 2);

  // A receipt left open with one sale, on a device that keeps accepting voids.
  server.sim->withDevice([](sim::DeviceModel& d) {
    std::string a;
    d.execute(48, "1\t0000\t1\t1\t", a);
    d.execute(58, "1\t1.000\t4.20\t0\t0\t", a);
    d.endlessVoids = true;
  });
  const clitest::CliRun stuck = runCli({"--tcp", tcp, "--json", "receipt", "close"});
  EXPECT_EQ(stuck.status, 1);
  const clitest::Json s = parseJson(stuck.out);
  EXPECT_TRUE(s["boundReached"].boolean);
  EXPECT_EQ(s["voids"].number, 500);
  server.sim->withDevice([](sim::DeviceModel& d) { d.endlessVoids = false; });
  const clitest::CliRun closed = runCli({"--tcp", tcp, "receipt", "close"});
  EXPECT_EQ(closed.status, 0) << closed.err;
  EXPECT_EQ(closed.out, "state=1\nvoids=1\n");
  EXPECT_EQ(runCli({"--tcp", tcp, "restart"}).status, 0);
}

TEST(CliReports, UsageErrorsComeBeforeTheDeviceIsOpened) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"report"}, {"report", "y"}, {"report", "x", "--clear"}, {"report", "operators", "1"},
        {"report", "plu", "all", "1", "2"}, {"report", "periodic", "payments", "--from", "31.12.1999", "--to", "01.01.2024"},
        {"report", "periodic", "payments", "--from", "01.01.2024", "--to", "01.01.2024", "--by", "group"},
        {"report", "z", "--delete-items", "5"}, {"cash", "in"}, {"cash", "in", "1,5"}, {"cash", "in", "0.001"}, {"cash", "sideways", "1"},
        {"receipt", "close", "--plu", "1"}, {"receipt", "test", "--tax-group", "Q"},
        {"receipt", "reclamation", "--price", "1"}, {"restart", "now"}}) {
    std::vector<std::string> full{"--tcp", "127.0.0.1:1"};
    full.insert(full.end(), args.begin(), args.end());
    const clitest::CliRun r = runCli(full);
    EXPECT_EQ(r.status, 2) << args[0] << " " << (args.size() > 1 ? args[1] : "") << ": " << r.err;
  }
}

TEST(CliReports, XReportOverAPseudoTerminal) {
  SimServer server({}, true);
  shop(server);
  const clitest::CliRun x = runCli({"--serial", server.pty(), "report", "x"});
  ASSERT_EQ(x.status, 0) << x.err;
  EXPECT_NE(x.out.find("total=13.5\n"), std::string::npos) << x.out;
}

}  // namespace
}  // namespace kestrel::cli
