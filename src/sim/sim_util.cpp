#include "sim/sim_util.h"

#include <cstring>
#include <ctime>

namespace kestrel::sim {

namespace {

constexpr int64_t POW10[] = {1, 10, 100, 1000, 10000};

}  // namespace

std::optional<int64_t> parseFixed(std::string_view text, int maxDecimals) {
  if (text.empty()) return std::nullopt;
  bool negative = false;
  size_t i = 0;
  if (text[0] == '-' || text[0] == '+') {
    negative = text[0] == '-';
    i = 1;
  }
  int64_t whole = 0;
  size_t digits = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
    if (whole > 99999999999999) return std::nullopt;  // keeps value * 10000 inside 64 bits
    whole = whole * 10 + (text[i] - '0');
  }
  int64_t frac = 0;
  int fracDigits = 0;
  if (i < text.size() && text[i] == '.') {
    ++i;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
      if (++fracDigits > maxDecimals) return std::nullopt;
      frac = frac * 10 + (text[i] - '0');
    }
    if (fracDigits == 0 && digits == 0) return std::nullopt;
  }
  if (i != text.size() || (digits == 0 && fracDigits == 0)) return std::nullopt;
  const int64_t value = whole * FIXED_ONE + frac * POW10[4 - fracDigits];
  return negative ? -value : value;
}

int64_t roundFixed(int64_t value, int decimals) {
  const int64_t unit = POW10[4 - decimals];
  const int64_t half = unit / 2;
  if (unit == 1) return value;
  return value >= 0 ? (value + half) / unit * unit : -((-value + half) / unit * unit);
}

int64_t mulFixed(int64_t a, int64_t b) {
  const __int128 p = static_cast<__int128>(a) * b;
  const __int128 half = FIXED_ONE / 2;
  return static_cast<int64_t>(p >= 0 ? (p + half) / FIXED_ONE : -((-p + half) / FIXED_ONE));
}

void appendFixed(std::string& out, int64_t value, int decimals) {
  value = roundFixed(value, decimals);
  if (value < 0) {
    out.push_back('-');
    value = -value;
  }
  char buf[32];
  int n = 0;
  int64_t whole = value / FIXED_ONE;
  do {
    buf[n++] = static_cast<char>('0' + whole % 10);
    whole /= 10;
  } while (whole > 0);
  while (n > 0) out.push_back(buf[--n]);
  if (decimals > 0) {
    out.push_back('.');
    int64_t frac = (value % FIXED_ONE) / POW10[4 - decimals];
    for (int d = decimals - 1; d >= 0; --d) out.push_back(static_cast<char>('0' + (frac / POW10[d]) % 10));
  }
}

std::string formatFixed(int64_t value, int decimals) {
  std::string s;
  appendFixed(s, value, decimals);
  return s;
}

std::optional<int64_t> parseInt(std::string_view text) {
  if (text.empty()) return std::nullopt;
  size_t i = 0;
  bool negative = false;
  if (text[0] == '-' || text[0] == '+') {
    negative = text[0] == '-';
    i = 1;
  }
  if (i == text.size() || text.size() - i > 18) return std::nullopt;
  int64_t v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    v = v * 10 + (text[i] - '0');
  }
  return negative ? -v : v;
}

bool isDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

namespace {

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (m <= 2));
}

const int64_t EPOCH_2000_DAYS = daysFromCivil(2000, 1, 1);

int twoDigits(std::string_view s, size_t pos) {
  if (pos + 2 > s.size()) return -1;
  const char a = s[pos], b = s[pos + 1];
  if (a < '0' || a > '9' || b < '0' || b > '9') return -1;
  return (a - '0') * 10 + (b - '0');
}

// The date (day of month) of the last Sunday of a month.
int lastSunday(int year, int month) {
  const int lastDay = month == 3 || month == 10 ? 31 : 30;
  const int64_t days = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(lastDay));
  const int weekday = static_cast<int>(((days % 7) + 11) % 7);  // 0 = Sunday; 1970-01-01 was a Thursday
  return lastDay - weekday;
}

}  // namespace

bool validDate(int year, int month, int day) {
  static constexpr int DAYS[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1) return false;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= DAYS[month - 1] + (month == 2 && leap ? 1 : 0);
}

DeviceTime makeTime(int year, int month, int day, int hour, int minute, int second) {
  const int64_t days = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - EPOCH_2000_DAYS;
  return days * 86400 + hour * 3600 + minute * 60 + second;
}

void splitTime(DeviceTime t, int& year, int& month, int& day, int& hour, int& minute, int& second) {
  int64_t days = t / 86400;
  int64_t secs = t % 86400;
  if (secs < 0) {
    secs += 86400;
    --days;
  }
  civilFromDays(days + EPOCH_2000_DAYS, year, month, day);
  hour = static_cast<int>(secs / 3600);
  minute = static_cast<int>(secs / 60 % 60);
  second = static_cast<int>(secs % 60);
}

std::optional<DeviceTime> parseDeviceDate(std::string_view text) {
  if (text.size() < 8 || text[2] != '-' || text[5] != '-') return std::nullopt;
  const int d = twoDigits(text, 0), m = twoDigits(text, 3), y = twoDigits(text, 6);
  if (d < 0 || m < 0 || y < 0 || !validDate(2000 + y, m, d)) return std::nullopt;
  if (text.size() == 8) return makeTime(2000 + y, m, d, 0, 0, 0);
  return parseDeviceDateTime(text);
}

std::optional<DeviceTime> parseDeviceDateTime(std::string_view text, bool* dst) {
  bool suffix = false;
  if (text.size() == 21 && text.substr(17) == " DST") {
    suffix = true;
    text = text.substr(0, 17);
  }
  if (text.size() != 17 || text[2] != '-' || text[5] != '-' || text[8] != ' ' || text[11] != ':' ||
      text[14] != ':')
    return std::nullopt;
  const int d = twoDigits(text, 0), m = twoDigits(text, 3), y = twoDigits(text, 6);
  const int hh = twoDigits(text, 9), mm = twoDigits(text, 12), ss = twoDigits(text, 15);
  if (d < 0 || m < 0 || y < 0 || hh < 0 || mm < 0 || ss < 0) return std::nullopt;
  if (!validDate(2000 + y, m, d) || hh > 23 || mm > 59 || ss > 59) return std::nullopt;
  if (dst) *dst = suffix;
  return makeTime(2000 + y, m, d, hh, mm, ss);
}

std::string formatDeviceDateTime(DeviceTime t, bool dst) {
  int y, mo, d, h, mi, s;
  splitTime(t, y, mo, d, h, mi, s);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d-%02d-%02d %02d:%02d:%02d%s", d, mo, (y - 2000) % 100, h, mi, s,
                dst ? " DST" : "");
  return buf;
}

bool isSummerTime(DeviceTime t) {
  int y, mo, d, h, mi, s;
  splitTime(t, y, mo, d, h, mi, s);
  const DeviceTime start = makeTime(y, 3, lastSunday(y, 3), 2, 0, 0);
  const DeviceTime end = makeTime(y, 10, lastSunday(y, 10), 3, 0, 0);
  return start <= t && t < end;
}

DeviceTime hostLocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return makeTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

std::string escapeBytes(std::string_view data) {
  static const char HEX[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(data.size());
  for (char ch : data) {
    const auto c = static_cast<uint8_t>(ch);
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c < 0x20 || c >= 0x7F) {
      out += "\\x";
      out.push_back(HEX[c >> 4]);
      out.push_back(HEX[c & 15]);
    } else {
      out.push_back(ch);
    }
  }
  return out;
}

std::optional<std::string> unescapeBytes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c != '\\') {
      out.push_back(c);
      continue;
    }
    if (++i >= text.size()) return std::nullopt;
    switch (text[i]) {
      case '\\': out.push_back('\\'); break;
      case 't': out.push_back('\t'); break;
      case 'n': out.push_back('\n'); break;
      case 'r': out.push_back('\r'); break;
      case 'x': {
        if (i + 2 >= text.size()) return std::nullopt;
        const int h = hex(text[i + 1]), l = hex(text[i + 2]);
        if (h < 0 || l < 0) return std::nullopt;
        out.push_back(static_cast<char>(h << 4 | l));
        i += 2;
        break;
      }
      default: return std::nullopt;
    }
  }
  return out;
}

}  // namespace kestrel::sim
