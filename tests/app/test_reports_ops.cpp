// The Reports page's commands against the simulator: each report's exact input text,
// the periodic dates from the year 2000 on, and a refused report.
#include <gtest/gtest.h>

#include "app/logic/pages/cliche.h"
#include "app/logic/pages/reports.h"
#include "app/ops_fixture.h"

namespace kestrel {
namespace {

TEST(ReportsOps, EachReportSendsItsExactInputText) {
  const LocalDateTime march5{2024, 3, 5, 13, 45, 0};
  const LocalDateTime dec31{2024, 12, 31, 0, 0, 0};
  struct Case {
    const char* what;
    std::function<bool(TDeviceOps&)> print;
    int command;
    std::string input;
  };
  const Case cases[] = {
      {"departments", printDeptReport, 69, "D\t"},
      {"item groups", printItemGroupsReport, 69, "G\t"},
      {"operators, clearing", [](TDeviceOps& o) { return printOperReport(o, "1", "5", true); }, 105, "1\t5\t1\t"},
      {"operators", [](TDeviceOps& o) { return printOperReport(o, "2", "2", false); }, 105, "2\t2\t0\t"},
      {"PLU stock", [](TDeviceOps& o) { return printPLUReport(o, 3, "10", "20"); }, 111, "3\t10\t20\t"},
      {"PLU turnovers", [](TDeviceOps& o) { return printPLUReport(o, 0, "1", "1"); }, 111, "0\t1\t1\t"},
      {"periodic payments",
       [&](TDeviceOps& o) { return printPeriodicReport(o, {1, march5, dec31}); },
       69,
       "P\t1\t05-03-24\t31-12-24\t"},
      {"periodic departments",
       [&](TDeviceOps& o) { return printPeriodicReport(o, {2, {2000, 1, 1}, march5, 3, "7", "8"}); },
       69,
       "P\t2\t01-01-00\t05-03-24\t"},
      {"periodic PLU by group",
       [&](TDeviceOps& o) { return printPeriodicReport(o, {3, march5, dec31, 3, "10", "200"}); },
       69,
       "P\t3\t05-03-24\t31-12-24\t3\t10\t200\t"},
      {"diagnostic", printDiagnostic, 71, "0\t"},
  };
  apptest::OpsOnSim s;
  for (const auto& c : cases) {
    s.clearSent();
    EXPECT_TRUE(c.print(s.ops)) << c.what << ": " << s.err.LastErrorMessage();
    ASSERT_EQ(s.sent.size(), 1u) << c.what;
    EXPECT_EQ(s.sent[0].command, c.command) << c.what;
    EXPECT_EQ(s.sent[0].input, c.input) << c.what;
  }
  EXPECT_TRUE(s.dialogs.shown.empty());
}

TEST(ReportsOps, DateBefore2000SendsNothingAndARefusalIsShown) {
  apptest::OpsOnSim s;
  EXPECT_THROW(printPeriodicReport(s.ops, {1, {1999, 12, 31}, {2024, 1, 1}}), std::out_of_range);
  EXPECT_THROW(printPeriodicReport(s.ops, {1, {2024, 1, 1}, {1999, 12, 31}}), std::out_of_range);
  EXPECT_TRUE(s.sent.empty());
  // Operators 5 to 1: the device refuses, the verdict shows it.
  EXPECT_FALSE(printOperReport(s.ops, "5", "1", false));
  ASSERT_EQ(s.dialogs.shown.size(), 1u);
  EXPECT_EQ(s.dialogs.shown[0].text, s.err.LastErrorMessage());
}

}  // namespace
}  // namespace kestrel
