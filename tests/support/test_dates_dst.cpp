// The summer-time rule, the time zone's own state and the date-time texts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "support/fd_misc.h"

using namespace kestrel;

namespace {

TEST(SummerTime, RuleBoundaries) {
  TFDMisc misc;
  struct Case {
    LocalDateTime dt;
    bool summer;
  };
  const Case cases[] = {
      {{2024, 3, 31, 2, 59, 59, 999}, false},
      {{2024, 3, 31, 3, 0, 0, 0}, true},
      {{2024, 10, 27, 3, 59, 59, 0}, true},
      {{2024, 10, 27, 3, 59, 59, 999}, true},
      {{2024, 10, 27, 4, 0, 0, 0}, false},
      {{2025, 3, 30, 3, 0, 0, 0}, true},  // 31 March 2025 is a Monday
      {{2025, 3, 29, 12, 0, 0, 0}, false},
      {{2024, 7, 1, 12, 0, 0, 0}, true},
      {{2024, 12, 24, 12, 0, 0, 0}, false},
      {{2024, 2, 30, 12, 0, 0, 0}, false},  // no such date
  };
  for (const Case& c : cases)
    EXPECT_EQ(misc.itIs_SummerDTFor(c.dt), c.summer) << c.dt.year << "-" << c.dt.month << "-" << c.dt.day << " "
                                                    << c.dt.hour << ":" << c.dt.minute;
}

class ZoneTest : public testing::Test {
 protected:
  void TearDown() override {
    if (fOld)
      setenv("TZ", fOldValue.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }
  void setZone(const char* tz) {
    if (!fSaved) {
      const char* old = std::getenv("TZ");
      fOld = old != nullptr;
      if (old) fOldValue = old;
      fSaved = true;
    }
    setenv("TZ", tz, 1);
    tzset();
  }

 private:
  bool fSaved = false, fOld = false;
  std::string fOldValue;
};

constexpr std::time_t k20240115 = 1705320000;  // 15 January 2024 12:00 UTC
constexpr std::time_t k20240701 = 1719835200;  // 1 July 2024 12:00 UTC
constexpr std::time_t k20240320 = 1710936000;  // 20 March 2024 12:00 UTC

TEST_F(ZoneTest, ZoneStateDecidesWhereTheZoneHasSummerTime) {
  setZone("CET-1CEST,M3.5.0,M10.5.0/3");
  EXPECT_EQ(dstPeriodAt(k20240115), tzi_NotDST);
  EXPECT_EQ(dstPeriodAt(k20240701), tzi_DST);
  // American rules start earlier than the European rule: the zone wins.
  setZone("EST5EDT,M3.2.0,M11.1.0");
  EXPECT_EQ(dstPeriodAt(k20240320), tzi_DST);
}

TEST_F(ZoneTest, ZoneWithoutSummerTimeFallsBackToTheRule) {
  setZone("UTC0");
  EXPECT_EQ(dstPeriodAt(k20240115), tzi_NotDST);
  EXPECT_EQ(dstPeriodAt(k20240701), tzi_DST);
  EXPECT_EQ(dstPeriodAt(k20240320), tzi_NotDST);
  TFDMisc misc;
  EXPECT_EQ(misc.askWindowsForDST(), misc.itIs_SummerDT() ? tzi_DST : tzi_NotDST);
}

TEST(DateTexts, FileNameAndLogHeaders) {
  const LocalDateTime dt{2024, 3, 5, 14, 7, 9, 45};
  EXPECT_EQ(dateAndTimeToFilename(dt), "2024_03_05_14_07_09_045");
  TFDMisc misc;
  EXPECT_EQ(misc.Date_ToLogHeader(dt), "2024.03.05");
  EXPECT_EQ(misc.Date_ToLogHeader({2024, 3, 15, 0, 0, 0, 0}), "2024.03.15 ");
  EXPECT_EQ(misc.Date_ToLogHeader({24, 12, 31, 0, 0, 0, 0}), "2024.12.31 ");
  EXPECT_EQ(misc.Date_ToLogHeader({2024, 13, 1, 0, 0, 0, 0}), "_");
  EXPECT_EQ(misc.Time_ToLogHeader({2024, 3, 5, 9, 5, 3, 7}), "09:05:03:7");
  EXPECT_EQ(misc.Time_ToLogHeader({2024, 3, 5, 25, 0, 0, 0}), "_");

  const std::string name = misc.DateAndTimeToFilename();
  EXPECT_EQ(name.size(), 23u);
  EXPECT_EQ(name.substr(0, 4), misc.get_YearFor_FName());
  EXPECT_EQ(misc.get_MonthFor_FName().size(), 2u);
  EXPECT_EQ(misc.get_SecFor_FName().size(), 2u);
}

TEST(DateTexts, LocaleSettings) {
  TFDMisc misc;
  const FormatSettings saved = formatSettings();
  EXPECT_TRUE(misc.set_LocalShits('/', '-', ',', "d/m/y", "h-n", "dd/mm/yyyy", "hh-nn-ss"));
  EXPECT_EQ(formatSettings().DateSeparator, '/');
  EXPECT_EQ(formatSettings().DecimalSeparator, ',');
  EXPECT_EQ(formatSettings().LongTimeFormat, "hh-nn-ss");
  formatSettings() = saved;
}

}  // namespace
