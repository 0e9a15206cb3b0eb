#pragma once
// A local date-time as its parts, the process-wide date and number format settings and
// the date-time texts of the helper component.
#include <compare>
#include <ctime>
#include <string>

namespace kestrel {

struct LocalDateTime {
  int year = 0, month = 1, day = 1;
  int hour = 0, minute = 0, second = 0, millisecond = 0;

  static LocalDateTime now();
  static LocalDateTime fromTimeT(std::time_t t, int millisecond = 0);

  bool isValid() const;
  // 0 = Sunday ... 6 = Saturday; the date must be valid.
  int dayOfWeek() const;

  auto operator<=>(const LocalDateTime&) const = default;
};

bool isLeapYear(int year);
int daysInMonth(int year, int month);

// The process-wide format settings ("FormatSettings" of the original platform). The
// application sets them once at start-up; nothing here is guarded against threads.
struct FormatSettings {
  char DateSeparator = '.';
  char TimeSeparator = ':';
  char DecimalSeparator = '.';
  std::string ShortDateFormat = "dd.mm.yyyy";
  std::string ShortTimeFormat = "hh:mm:ss";
  std::string LongDateFormat = "dd.mm.yyyy";
  std::string LongTimeFormat = "hh:mm:ss";
};
FormatSettings& formatSettings();

// yyyy_mm_dd_hh_nn_ss_zzz
std::string dateAndTimeToFilename(const LocalDateTime& dt);
// yyyy.mm.d: day below 10 as "0d", from 10 on as the two digits and one blank; "_" for
// an invalid date.
std::string dateToLogHeader(const LocalDateTime& dt);
// hh:nn:ss:z with the milliseconds unpadded; "_" for an invalid time.
std::string timeToLogHeader(const LocalDateTime& dt);
// The current date-time as the log lines write it: dd.mm.yyyy hh:nn:ss.
std::string dateTimeText(const LocalDateTime& dt);

}  // namespace kestrel
