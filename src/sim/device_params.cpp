// Named device parameters (command 255).
#include <fmt/format.h>

#include <algorithm>

#include "sim/device_codes.h"
#include "sim/device_model.h"

namespace kestrel::sim {

namespace {

enum class PK {
  Text,      // free text up to maxLen bytes; blanks alone store an empty text
  Flag,      // "0" or "1"
  Int,       // whole number lo..hi
  Digits,    // 1..maxLen digits
  Speed,     // one of the line speeds
  Ip,        // dotted IPv4 address or empty
  Mac,       // 12 hexadecimal digits or empty
  Date,      // "dd-mm-yy hh:mm:ss"
  TimeZone,  // -12..14, "+" allowed
  ReadOnly,
  Vat,       // VAT rate in hundredths, 10000 and more disables the group
  Fiscal,    // fiscal data, set by its own commands
  OperPass,  // operator password
  Columns,   // characters per line
  Keys,      // PLU of a direct key; the model gives the count
};

struct ParamDef {
  const char* name;
  int count;
  PK kind;
  int64_t lo, hi;
  size_t maxLen;
  bool service;  // writing needs service mode
  const char* def;  // "#" is replaced by index + 1
};

constexpr int64_t BIG = 2147483647;

constexpr ParamDef PARAMS[] = {
    {"Header", 10, PK::Text, 0, 0, 64, false, ""},
    {"Footer", 10, PK::Text, 0, 0, 64, false, ""},
    {"valVat", VAT_GROUPS, PK::Vat, 0, 0, 0, false, ""},
    {"DaylightSavingMinutes", 1, PK::Int, 0, 180, 0, false, "60"},
    {"RegModeOnIdle", 1, PK::Int, 0, BIG, 0, false, "0"},
    {"EcrNumberBarcode", 1, PK::Int, 1, 4, 0, false, "1"},
    {"EcrScaleBarMask", 1, PK::Text, 0, 0, 10, false, ""},
    {"EcrAskForPassword", 1, PK::Flag, 0, 0, 0, false, "0"},
    {"EcrAskForVoidPassword", 1, PK::Flag, 0, 0, 0, false, "0"},
    {"EcrConnectedOperReport", 1, PK::Flag, 0, 0, 0, false, "0"},
    {"EcrConnectedDeptReport", 1, PK::Flag, 0, 0, 0, false, "0"},
    {"EcrConnectedPluSalesReport", 1, PK::Flag, 0, 0, 0, false, "0"},
    {"EcrPluDailyClearing", 1, PK::Flag, 0, 0, 0, false, "0"},
    {"EcrConnectedGroupsReport", 1, PK::Flag, 0, 0, 0, false, "0"},
    {"EcrUserPeriodReports", 1, PK::Flag, 0, 0, 0, false, "0"},
    {"EcrLogNumber", 1, PK::Digits, 0, 0, 4, false, "1"},
    {"EcrWithoutPasswords", 1, PK::Flag, 0, 0, 0, false, "0"},
    {"EcrSafeOpening", 1, PK::Flag, 0, 0, 0, false, "0"},
    {"AutoPowerOff", 1, PK::Int, 0, 15, 0, false, "0"},
    {"BkLight_AutoOff", 1, PK::Int, 0, 5, 0, false, "1"},
    {"FlushAtEndOnly", 1, PK::Flag, 0, 0, 0, false, "0"},
    {"DateFromNAPServDisable", 1, PK::Flag, 0, 0, 0, false, "1"},
    {"TimeServerAddress", 1, PK::Text, 0, 0, 128, false, "pool.ntp.org"},
    {"TimeZone", 1, PK::TimeZone, -12, 14, 0, false, "1"},
    {"DublReceipts", 1, PK::Flag, 0, 0, 0, false, "0"},
    {"BarcodePrint", 1, PK::Flag, 0, 0, 0, false, "0"},
    {"LogoPrint", 1, PK::Flag, 0, 0, 0, false, "1"},
    {"PrnQuality", 1, PK::Int, 0, 20, 0, false, "10"},
    {"BarCodeHeight", 1, PK::Int, 1, 10, 0, false, "3"},
    {"HeaderMinLines", 1, PK::Int, 0, 9, 0, false, "0"},
    {"FooterEmptyLines", 1, PK::Int, 0, 9, 0, false, "3"},
    {"PaperCuttingType", 1, PK::Int, 0, 1, 0, false, "0"},
    {"AutoPaperCutting", 1, PK::Flag, 0, 0, 0, false, "1"},
    {"Dec2xLineSpacing", 1, PK::Int, 0, 5, 0, false, "0"},
    {"PrintFontType", 1, PK::Int, 0, 1, 0, false, "0"},
    {"LogoPrintAfterFooter", 1, PK::Flag, 0, 0, 0, false, "0"},
    {"PrintColumns", 1, PK::Columns, 0, 0, 0, false, "42"},
    {"FpComPort", 1, PK::Int, 0, 4, 0, false, "1"},
    {"FpComBaudRate", 1, PK::Int, 0, 9, 0, false, "9"},
    {"ComPortDevice", 2, PK::Int, 0, 3, 0, false, "0"},
    {"ComPortBaudRate", 2, PK::Speed, 0, 0, 0, false, "9600"},
    {"ComPortProtocol", 2, PK::Int, 0, 9, 0, false, "0"},
    {"MainInterfaceType", 1, PK::Int, 0, 4, 0, false, "0"},
    {"DHCPenable", 1, PK::Flag, 0, 0, 0, false, "1"},
    {"LANport_fpCommands", 1, PK::Int, 0, 65535, 0, false, "4999"},
    {"LAN_IP", 1, PK::Ip, 0, 0, 0, false, "192.168.0.100"},
    {"LAN_NetMask", 1, PK::Ip, 0, 0, 0, false, "255.255.255.0"},
    {"LAN_Gateway", 1, PK::Ip, 0, 0, 0, false, "192.168.0.1"},
    {"LAN_PriDNS", 1, PK::Ip, 0, 0, 0, false, "8.8.8.8"},
    {"LAN_SecDNS", 1, PK::Ip, 0, 0, 0, false, "8.8.4.4"},
    {"LanMAC", 1, PK::Mac, 0, 0, 0, true, "00155D4B5400"},
    {"BthEnable", 1, PK::Flag, 0, 0, 0, false, "0"},
    {"BthDiscoverability", 1, PK::Flag, 0, 0, 0, false, "0"},
    {"BthPairing", 1, PK::Int, 0, 2, 0, false, "0"},
    {"BthPinCode", 1, PK::Digits, 0, 0, 16, false, "1234"},
    {"BthVersion", 1, PK::ReadOnly, 0, 0, 0, false, "4.2"},
    {"BthAddress", 1, PK::ReadOnly, 0, 0, 0, false, "00:15:83:4B:54:00"},
    {"APN", 2, PK::Text, 0, 0, 64, true, ""},
    {"APN_User", 2, PK::Text, 0, 0, 64, true, ""},
    {"APN_Pass", 2, PK::Text, 0, 0, 64, true, ""},
    {"DtServerAddress", 3, PK::Text, 0, 0, 128, true, ""},
    {"DtServerPort", 3, PK::Int, 0, 65535, 0, true, "21"},
    {"DtUseServer", 1, PK::Int, -1, 2, 0, true, "0"},
    {"DtServerUserName", 1, PK::Text, 0, 0, 128, true, ""},
    {"DtServerUserPsw", 1, PK::Text, 0, 0, 128, true, ""},
    {"DtServerReportPath", 1, PK::Text, 0, 0, 128, true, ""},
    {"DtServerCommandPath", 1, PK::Text, 0, 0, 128, true, ""},
    {"DtMaxFileLen", 1, PK::Int, 0, BIG, 0, true, "0"},
    {"ServMessage", 10, PK::Text, 0, 0, 64, true, ""},
    {"ServiceDate", 1, PK::Date, 0, 0, 0, true, ""},
    {"IDnumber", 1, PK::Fiscal, 0, 0, 0, false, ""},
    {"FMnumber", 1, PK::Fiscal, 0, 0, 0, false, ""},
    {"TAXnumber", 1, PK::Fiscal, 0, 0, 0, false, ""},
    {"PIBnumber", 1, PK::Fiscal, 0, 0, 0, false, ""},
    {"PrintTestReceipt", 1, PK::Flag, 0, 0, 0, false, "1"},
    {"ItemGroups_name", 99, PK::Text, 0, 0, 32, false, "Group #"},
    {"Dept_name", 99, PK::Text, 0, 0, 72, false, "Department #"},
    {"PayName", PAYMENTS, PK::Text, 0, 0, 16, false, ""},
    {"Payment_forbidden", PAYMENTS, PK::Flag, 0, 0, 0, false, "0"},
    {"OperName", OPERATORS, PK::Text, 0, 0, 30, false, "Operator #"},
    {"OperPasw", OPERATORS, PK::OperPass, 0, 0, 8, true, ""},
    {"DPxx_PluCode", 0, PK::Keys, 0, MAX_PLU, 0, false, "0"},
    {"KeyNDB_forbidden", 1, PK::Flag, 0, 0, 0, false, "0"},
    {"KeyOTS_forbidden", 1, PK::Flag, 0, 0, 0, false, "0"},
    {"KeyNDB_value", 1, PK::Int, 0, 999999999, 0, false, "0"},
    {"KeyNDB_percentage", 1, PK::Int, 0, 9999, 0, false, "0"},
    {"KeyOTS_value", 1, PK::Int, 0, 999999999, 0, false, "0"},
    {"KeyOTS_percentage", 1, PK::Int, 0, 9999, 0, false, "0"},
};

const char* const PAY_NAMES[PAYMENTS] = {"Cash", "Card", "Cheque", "Virman"};
const char* const SPEEDS[] = {"1200", "2400", "4800", "9600", "14400", "19200", "38400", "56000", "57600", "115200"};

const ParamDef* findParam(std::string_view name) {
  for (const ParamDef& p : PARAMS)
    if (name == p.name) return &p;
  return nullptr;
}

bool validIp(std::string_view s) {
  int parts = 0;
  size_t pos = 0;
  while (true) {
    const size_t dot = s.find('.', pos);
    const std::string_view part = s.substr(pos, dot == std::string_view::npos ? std::string_view::npos : dot - pos);
    if (part.empty() || part.size() > 3 || !isDigits(part) || *parseInt(part) > 255) return false;
    ++parts;
    if (dot == std::string_view::npos) break;
    pos = dot + 1;
  }
  return parts == 4;
}

bool onlyBlanks(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c == ' '; });
}

}  // namespace

void DeviceModel::defaultParams() {
  for (const ParamDef& p : PARAMS) {
    if (p.kind == PK::Vat || p.kind == PK::Fiscal || p.kind == PK::OperPass) continue;
    auto& values = fS.params[p.name];
    const int count = p.kind == PK::Keys ? std::max(fModel.directKeys, 0) : p.count;
    if (static_cast<int>(values.size()) == count) continue;
    values.assign(count, std::string());
    for (int i = 0; i < count; ++i) {
      std::string def = p.def;
      if (const size_t hash = def.find('#'); hash != std::string::npos) def.replace(hash, 1, std::to_string(i + 1));
      values[i] = def;
    }
    if (std::string_view(p.name) == "PayName")
      for (int i = 0; i < count; ++i) values[i] = PAY_NAMES[i];
    if (std::string_view(p.name) == "Header") values[0] = "KESTREL TEST DEVICE";
    if (std::string_view(p.name) == "Footer") values[0] = "THANK YOU";
  }
}

const std::string& DeviceModel::param(std::string_view name, int index) const {
  static const std::string EMPTY;
  const auto it = fS.params.find(name);
  if (it == fS.params.end() || index < 0 || index >= static_cast<int>(it->second.size())) return EMPTY;
  return it->second[index];
}

bool DeviceModel::paramValue(std::string_view name, int index, std::string& value, int& code) const {
  const ParamDef* def = findParam(name);
  if (!def) {
    code = ERR_NOT_FOUND;
    return false;
  }
  switch (def->kind) {
    case PK::Vat: value = std::to_string(fS.vat[index]); return true;
    case PK::OperPass: value = fS.operators[index].password; return true;
    case PK::Fiscal:
      value = name == "IDnumber" ? fS.serial : name == "FMnumber" ? fS.fmNumber : name == "TAXnumber" ? fS.jib : fS.pib;
      return true;
    default: value = param(name, index); return true;
  }
}

void DeviceModel::cmdParam() {
  const std::string_view name = arg(0), indexText = arg(1), value = arg(2);
  const ParamDef* def = findParam(name);
  if (!def) return fail(ERR_NOT_FOUND);
  const int count = def->kind == PK::Keys ? fModel.directKeys : def->count;
  int index = 0;
  if (!indexText.empty()) {
    const auto v = parseInt(indexText);
    if (!v) return fail(syntaxParam(1));
    if (*v < 0 || *v >= count) return fail(badParam(1));
    index = static_cast<int>(*v);
  } else if (count != 1) {
    return fail(syntaxParam(1));
  }
  if (value.empty()) {
    std::string v;
    int code = 0;
    if (!paramValue(name, index, v, code)) return fail(code);
    ok();
    return put(v);
  }
  const int code = setParam(name, indexText, value);
  if (code) return fail(code);
  ok();
}

int DeviceModel::setParam(std::string_view name, std::string_view indexText, std::string_view value) {
  const ParamDef& def = *findParam(name);
  const int index = indexText.empty() ? 0 : static_cast<int>(*parseInt(indexText));
  if (def.kind == PK::ReadOnly || def.kind == PK::Fiscal) return ERR_FORBIDDEN;
  if (def.service && !fService) return ERR_NEED_SERVICE;
  if (fS.receipt.kind != RK_NONE) return ERR_RECEIPT_OPEN;
  const int bad = badParam(2);
  std::string stored(value);
  switch (def.kind) {
    case PK::Text:
      if (value.size() > def.maxLen) return bad;
      if (onlyBlanks(value)) stored.clear();
      break;
    case PK::Flag:
      if (value != "0" && value != "1") return bad;
      break;
    case PK::Int:
    case PK::Keys:
    case PK::TimeZone: {
      const auto v = parseInt(value);
      if (!v || *v < def.lo || *v > def.hi) return bad;
      stored = std::to_string(*v);
      break;
    }
    case PK::Digits:
      if (value.size() > def.maxLen || !isDigits(value)) return bad;
      break;
    case PK::Speed:
      if (std::none_of(std::begin(SPEEDS), std::end(SPEEDS), [&](const char* s) { return value == s; })) return bad;
      break;
    case PK::Ip:
      if (onlyBlanks(value)) stored.clear();
      else if (!validIp(value)) return bad;
      break;
    case PK::Mac:
      if (onlyBlanks(value)) {
        stored.clear();
      } else if (value.size() != 12 ||
                 !std::all_of(value.begin(), value.end(), [](char c) { return std::isxdigit((unsigned char)c); })) {
        return bad;
      }
      break;
    case PK::Date:
      if (!parseDeviceDate(value)) return bad;
      break;
    case PK::Columns: {
      if (fS.fiscal) return ERR_FORBIDDEN;
      if (value != "42" && !(value == "48" && fModel.widePaper)) return bad;
      break;
    }
    case PK::Vat: {
      const auto v = parseInt(value);
      if (!v || *v < 0) return bad;
      auto rates = fS.vat;
      rates[index] = static_cast<int>(std::min<int64_t>(*v, VAT_DISABLED));
      return setVatRates(rates);
    }
    case PK::OperPass:
      if (value.size() > def.maxLen || !isDigits(value)) return bad;
      fS.operators[index].password = std::string(value);
      dirty = true;
      return 0;
    case PK::ReadOnly:
    case PK::Fiscal: return ERR_FORBIDDEN;
  }
  fS.params[def.name][index] = std::move(stored);
  dirty = true;
  return 0;
}

}  // namespace kestrel::sim
