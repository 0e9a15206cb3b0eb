#pragma once
// The device's own error codes that the simulator answers with, and a few
// constants of the simulated firmware.
#include <cstddef>

namespace kestrel::sim {

inline constexpr int ERR_NO_MORE_DATA = -100003;
inline constexpr int ERR_NOT_FOUND = -100004;
inline constexpr int ERR_FM_WRONG_RANGE = -100109;
inline constexpr int ERR_FM_EMPTY_RANGE = -100110;
inline constexpr int ERR_FM_FULL = -100114;
inline constexpr int ERR_REJECTED = -101003;
inline constexpr int ERR_NOT_POSSIBLE = -101006;
inline constexpr int ERR_INVALID_FORMAT = -101010;
inline constexpr int ERR_ACCESS_DENIED = -101014;
inline constexpr int ERR_WRONG_LENGTH = -101015;
inline constexpr int ERR_WRONG_PASSWORD = -102002;
inline constexpr int ERR_VAT_NOT_SET = -102009;
inline constexpr int ERR_FM_NUMBER_EMPTY = -102012;
inline constexpr int ERR_TAX_NUMBER_EMPTY = -102017;
inline constexpr int ERR_BARCODE_EXISTS = -103002;
inline constexpr int ERR_PLU_HAS_TURNOVER = -103004;
inline constexpr int ERR_NEED_Z = -104000;
inline constexpr int ERR_NEED_SERVICE = -104002;
inline constexpr int ERR_FORBIDDEN = -104003;
inline constexpr int ERR_EJ_NO_RECORDS = -105000;
inline constexpr int ERR_EJ_FULL = -105010;
inline constexpr int ERR_NO_CLIENT = -106000;
inline constexpr int ERR_WRONG_CERT_PASSWORD = -107004;
inline constexpr int ERR_PLU_NOT_FOUND = -111004;
inline constexpr int ERR_FORBIDDEN_VAT = -111005;
inline constexpr int ERR_OVERFLOW = -111006;
inline constexpr int ERR_RECEIPT_OPEN = -111015;
inline constexpr int ERR_RECEIPT_CLOSED = -111016;
inline constexpr int ERR_NO_CASH = -111017;
inline constexpr int ERR_PAYMENT_STARTED = -111018;
inline constexpr int ERR_MAX_SALES = -111019;
inline constexpr int ERR_NO_TRANSACTIONS = -111020;
inline constexpr int ERR_24H_BLOCK = -111024;
inline constexpr int ERR_ZERO_AMOUNT = -111030;
inline constexpr int ERR_NONFISCAL_OPEN = -111046;
inline constexpr int ERR_FISCAL_OPEN = -111047;
inline constexpr int ERR_PAYMENT_NOT_STARTED = -111050;
inline constexpr int ERR_RECEIPT_LIMIT = -111052;
inline constexpr int ERR_FORBIDDEN_PAYMENT = -111061;
inline constexpr int ERR_FORBIDDEN_CORRECTION = -111062;
inline constexpr int ERR_SUM_TOO_BIG = -111063;
inline constexpr int ERR_SUM_TOO_SMALL = -111064;
inline constexpr int ERR_DATE_BEFORE_FM = -111077;
inline constexpr int ERR_PRICE_ABOVE_PROGRAMMED = -111089;
inline constexpr int ERR_FIXED_PRICE = -111090;
inline constexpr int ERR_STORNO_CHANGE = -111094;
inline constexpr int ERR_INVALID_COMMAND = -112000;
inline constexpr int ERR_SYNTAX = -112001;
inline constexpr int ERR_NOT_PERMITTED = -112002;

// Parameters are counted from 1, after the selector field (parameter name,
// sub-command letter or function number) of the commands that have one.
constexpr int syntaxParam(int n) { return -112100 - n; }
constexpr int badParam(int n) { return -112200 - n; }

// Column mark inside journal lines; readers show it as TAB.
inline constexpr char GS = 0x1D;
inline constexpr size_t EJ_CAPACITY = 200000;

inline constexpr const char* FIRMWARE = "1.04";
inline constexpr const char* FIRMWARE_DATE = "15-01-25";
inline constexpr const char* FIRMWARE_TIME = "12:00";
inline constexpr const char* FIRMWARE_CHECKSUM = "5A3C";
inline constexpr const char* SOFTWARE_SWITCHES = "00000000";
inline constexpr const char* HARDWARE = "2.0";
inline constexpr const char* BOOTLOADER = "1.1";

}  // namespace kestrel::sim
