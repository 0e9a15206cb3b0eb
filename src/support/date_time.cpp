#include "support/date_time.h"

#include <chrono>

#include <fmt/format.h>

namespace kestrel {

LocalDateTime LocalDateTime::fromTimeT(std::time_t t, int millisecond) {
  std::tm tm{};
  localtime_r(&t, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, millisecond};
}

LocalDateTime LocalDateTime::now() {
  using namespace std::chrono;
  const auto since = system_clock::now().time_since_epoch();
  const auto ms = duration_cast<milliseconds>(since).count();
  return fromTimeT(static_cast<std::time_t>(ms / 1000), static_cast<int>(ms % 1000));
}

bool isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

bool LocalDateTime::isValid() const {
  return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 && day <= daysInMonth(year, month) &&
         hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 60 && millisecond >= 0 &&
         millisecond < 1000;
}

int LocalDateTime::dayOfWeek() const {
  // Sakamoto's method.
  static constexpr int kOffsets[12] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  const int y = month < 3 ? year - 1 : year;
  return (y + y / 4 - y / 100 + y / 400 + kOffsets[month - 1] + day) % 7;
}

FormatSettings& formatSettings() {
  static FormatSettings settings;
  return settings;
}

std::string dateAndTimeToFilename(const LocalDateTime& dt) {
  return fmt::format("{:04}_{:02}_{:02}_{:02}_{:02}_{:02}_{:03}", dt.year, dt.month, dt.day, dt.hour, dt.minute,
                     dt.second, dt.millisecond);
}

std::string dateToLogHeader(const LocalDateTime& dt) {
  if (!dt.isValid()) return "_";
  const int year = dt.year < 2000 ? dt.year + 2000 : dt.year;
  // The blank after two-digit days keeps the original log layout.
  const std::string day = dt.day < 10 ? fmt::format("0{}", dt.day) : fmt::format("{} ", dt.day);
  return fmt::format("{:04}.{:02}.{}", year, dt.month, day);
}

std::string timeToLogHeader(const LocalDateTime& dt) {
  if (!dt.isValid()) return "_";
  return fmt::format("{:02}:{:02}:{:02}:{}", dt.hour, dt.minute, dt.second, dt.millisecond);
}

std::string dateTimeText(const LocalDateTime& dt) {
  return fmt::format("{:02}.{:02}.{:04} {:02}:{:02}:{:02}", dt.day, dt.month, dt.year, dt.hour, dt.minute, dt.second);
}

}  // namespace kestrel
