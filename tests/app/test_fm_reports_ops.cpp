// Fiscal memory reports against the simulator: the period's date-times with " DST" where
// the device keeps summer time itself, across both boundaries; the numbers as typed.
#include <gtest/gtest.h>

#include "app/logic/pages/fm_reports.h"
#include "app/ops_fixture.h"
#include "sim/device_codes.h"

namespace kestrel {
namespace {

using apptest::at;

// 2024: summer time from Sunday 31 March 02:00:00 to Sunday 27 October 03:00:00.
TEST(FMReportsOps, ByDateMarksSummerTimePerDateTimeOnlyWhenTheDeviceKeepsIt) {
  struct Case {
    const char* what;
    const char* dstMinutes;
    LocalDateTime from, to;
    const char* input;
  };
  const Case cases[] = {
      {"July, device without summer time", "0", at(2024, 7, 1, 8, 0, 0), at(2024, 7, 2, 18, 30, 0),
       "01-07-24 08:00:00\t02-07-24 18:30:00\t"},
      {"July", "60", at(2024, 7, 1, 8, 0, 0), at(2024, 7, 2, 18, 30, 0),
       "01-07-24 08:00:00 DST\t02-07-24 18:30:00 DST\t"},
      {"over the March change", "60", at(2024, 3, 20, 0, 0, 0), at(2024, 4, 10, 0, 0, 0),
       "20-03-24 00:00:00\t10-04-24 00:00:00 DST\t"},
      {"March change itself and a second before", "60", at(2024, 3, 31, 2, 0, 0), at(2024, 3, 31, 1, 59, 59),
       "31-03-24 02:00:00 DST\t31-03-24 01:59:59\t"},
      {"October change itself and a second before", "60", at(2024, 10, 27, 2, 59, 59), at(2024, 10, 27, 3, 0, 0),
       "27-10-24 02:59:59 DST\t27-10-24 03:00:00\t"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    apptest::OpsOnSim s;
    ASSERT_TRUE(s.ops.writeParam("DaylightSavingMinutes", "", c.dstMinutes));
    s.clearSent();
    printFMReportByDate(s.ops, c.from, c.to);
    EXPECT_EQ(s.paramNamesSent(), std::vector<std::string>{"DaylightSavingMinutes"});
    EXPECT_EQ(s.inputsOf(94), std::vector<std::string>{c.input});
  }
}

TEST(FMReportsOps, ARefusedSummerTimeQueryIsShownAndTheReportStillGoesWithoutSuffix) {
  apptest::OpsOnSim s;
  ASSERT_TRUE(s.ops.command(69, "Z\t"));  // record 1 on 1 July 2025 10:00 (summer time)
  s.device([](sim::DeviceModel& d) {
    d.commandFault = [](uint16_t cmd, std::string_view) { return cmd == 255 ? sim::ERR_SYNTAX : 0; };
  });
  s.dialogs.shown.clear();
  EXPECT_TRUE(printFMReportByDate(s.ops, at(2025, 7, 1, 8, 0, 0), at(2025, 7, 1, 11, 0, 0)));
  EXPECT_EQ(s.inputsOf(94), std::vector<std::string>{"01-07-25 08:00:00\t01-07-25 11:00:00\t"});
  EXPECT_EQ(s.dialogs.shown.size(), 1u) << "the refused query is shown as every refusal";
}

TEST(FMReportsOps, ReportsPrintWhenTheFiscalMemoryHoldsTheRangeAndRefusalsAreShown) {
  apptest::OpsOnSim s;
  ASSERT_TRUE(s.ops.command(69, "Z\t"));  // record 1, dated by the simulator's clock (1 July 2025 10:00)
  s.dialogs.shown.clear();
  EXPECT_TRUE(printFMReportByDate(s.ops, at(2025, 7, 1, 9, 0, 0), at(2025, 7, 1, 11, 0, 0)));
  EXPECT_TRUE(printFMReportByNumber(s.ops, "1", "1"));
  EXPECT_TRUE(s.dialogs.shown.empty());

  // The numbers go as typed; the device judges them.
  EXPECT_FALSE(printFMReportByNumber(s.ops, "x1", "2"));
  EXPECT_EQ(s.inputsOf(95).back(), "x1\t2\t");
  ASSERT_EQ(s.dialogs.shown.size(), 1u);
  EXPECT_FALSE(printFMReportByNumber(s.ops, "5", "9"));
  EXPECT_EQ(s.dialogs.shown.size(), 2u);
}

}  // namespace
}  // namespace kestrel
