#pragma once
// Small self-contained helpers of the simulated device: fixed-point numbers,
// the device's date-time texts. The device works on raw
// bytes of its code page, so everything here is byte-oriented.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "support/base64.h"

namespace kestrel::sim {

// Fixed-point values keep 4 decimals (12.5 is 125000).
inline constexpr int64_t FIXED_ONE = 10000;

// Parses "[-]digits[.digits]" with at most `maxDecimals` decimals and no blanks.
std::optional<int64_t> parseFixed(std::string_view text, int maxDecimals);
// Writes a fixed-point value with exactly `decimals` decimals (0 to 4), rounding half away from zero.
std::string formatFixed(int64_t value, int decimals);
void appendFixed(std::string& out, int64_t value, int decimals);
// Rounds a fixed-point value to `decimals` decimals (half away from zero).
int64_t roundFixed(int64_t value, int decimals);
// value * factor for two fixed-point numbers, rounded to 4 decimals.
int64_t mulFixed(int64_t a, int64_t b);

// Plain decimal integer, optional leading sign ("+" or "-"), no blanks.
std::optional<int64_t> parseInt(std::string_view text);
bool isDigits(std::string_view text);

// Seconds since 2000-01-01 00:00:00 of a naive (local, zone-free) date-time.
using DeviceTime = int64_t;
DeviceTime makeTime(int year, int month, int day, int hour, int minute, int second);
void splitTime(DeviceTime t, int& year, int& month, int& day, int& hour, int& minute, int& second);
bool validDate(int year, int month, int day);
// "dd-mm-yy hh:mm:ss", optionally followed by " DST"; years 2000 to 2099.
std::optional<DeviceTime> parseDeviceDateTime(std::string_view text, bool* dst = nullptr);
// "dd-mm-yy" alone or followed by a time.
std::optional<DeviceTime> parseDeviceDate(std::string_view text);
std::string formatDeviceDateTime(DeviceTime t, bool dst);
// Summer time of the Federation of Bosnia and Herzegovina: from the last Sunday of
// March 02:00:00 (included) to the last Sunday of October 03:00:00 (excluded).
bool isSummerTime(DeviceTime t);
// The host's clock as naive local time.
DeviceTime hostLocalNow();

// Base64 is the system's own.
using kestrel::base64Decode;
using kestrel::base64Encode;

// Escapes bytes below 20h, backslash and bytes from 7Fh as \t, \n, \r, \\ or \xNN, so
// that any byte string fits on one line of a text file.
std::string escapeBytes(std::string_view data);
std::optional<std::string> unescapeBytes(std::string_view text);

}  // namespace kestrel::sim
