#include "app/logic/pages/service_info.h"

#include <optional>
#include <stdexcept>

#include "app/logic/device_ops.h"
#include "app/logic/fbh_summer_time.h"
#include "app/logic/param_bindings.h"
#include "app/logic/pages/cliche.h"
#include "app/logic/pages/then_always.h"
#include "support/crc32.h"
#include "support/err_container.h"
#include "support/md5.h"

namespace kestrel {

namespace {

// Combined with the CRC-32 of the device's date to unlock its files.
constexpr uint32_t FILE_UNLOCK_MASK = 0x5A3C96E1u;
constexpr int CODE_NO_MORE_DATA = -100003;
// Certificates are a few kilobytes; a device that never ends a file stops here.
constexpr size_t MAX_CERTIFICATE_BYTES = 1 << 20;

// Day, month and two-digit year of "DD-MM-YY ...", each taken up to its separator.
bool datePartsOf(const std::string& text, int& day, int& month, int& year) {
  size_t pos = 0;
  auto upTo = [&](char sep, int& v) {
    const size_t end = text.find(sep, pos);
    if (end == std::string::npos || end == pos || end - pos > 4) return false;
    v = 0;
    for (size_t i = pos; i < end; ++i) {
      if (text[i] < '0' || text[i] > '9') return false;
      v = v * 10 + (text[i] - '0');
    }
    pos = end + 1;
    return true;
  };
  if (!upTo('-', day) || !upTo('-', month) || !upTo(' ', year)) return false;
  year += 2000;
  return true;
}

}  // namespace

std::string serviceModeInput(const std::string& password) { return "0\t" + password + "\t"; }

bool enterServiceMode(TDeviceOps& ops, const std::string& password) {
  ops.commandUnjudged(253, serviceModeInput(password));
  return ops.StatusUpdate({}, ops.err.LastErrorCode() == CODE_WRONG_PASSWORD ? MSG_WRONG_SERVICE_PASSWORD : "");
}

std::string serviceDateText(const LocalDateTime& date) {
  LocalDateTime d = date;
  d.hour = 23, d.minute = 59, d.second = 59;
  return deviceDateTimeText(d);
}

LocalDateTime serviceDateOf(const std::string& deviceText, const LocalDateTime& today) {
  LocalDateTime d;
  if (!datePartsOf(deviceText, d.day, d.month, d.year) || !d.isValid()) return today;
  return d;
}

bool readServiceTab(TDeviceOps& ops, TServiceRead& read) {
  std::string text;
  if (!ops.readParam("ServiceDate", "", text)) return false;
  read.date = serviceDateOf(text, LocalDateTime::now());
  read.lines.emplace();
  for (int line = 0; line < SERVICE_TEXT_LINES; ++line) {
    if (!ops.readParam("ServMessage", std::to_string(line), text)) return false;
    if (!text.empty()) read.lines->push_back(text);
  }
  return true;
}

bool saveService(TDeviceOps& ops, const std::string& password, const std::vector<std::string>& lines,
                 const LocalDateTime& date, std::string& focus) {
  auto save = [&] {
    if (password.empty()) return focus = SERVICE_PASSWORD_FIELD, false;
    // A date the device cannot hold stops the save before anything is written.
    const std::string dateText = serviceDateText(date);
    if (!enterServiceMode(ops, password)) return false;
    for (int line = 0; line < SERVICE_TEXT_LINES; ++line) {
      const bool has = line < static_cast<int>(lines.size()) && !lines[static_cast<size_t>(line)].empty();
      if (!ops.writeParam("ServMessage", std::to_string(line), has ? lines[static_cast<size_t>(line)] : " "))
        return false;
    }
    if (!ops.writeParam("ServiceDate", "", dateText)) return false;
    ops.informSaved();
    return true;
  };
  // Service mode is left on every way out, also after a refusal or an exception.
  const auto leave = always([&] { ops.commandUnjudged(253, serviceModeInput(" ")); });
  return save();
}

namespace {

bool passwordGiven(TDeviceOps& ops, const std::string& password, std::string& focus) {
  if (!password.empty()) return true;
  ops.inform(MSG_ENTER_SERVICE_PASSWORD);
  focus = SERVICE_PASSWORD_FIELD;
  return false;
}

}  // namespace

bool activateServiceMode(TDeviceOps& ops, const std::string& password, std::string& focus) {
  if (!passwordGiven(ops, password, focus)) return false;
  if (!enterServiceMode(ops, password)) return false;
  ops.inform(MSG_SERVICE_ACTIVE);
  return true;
}

bool deactivateServiceMode(TDeviceOps& ops) {
  if (!ops.command(253, serviceModeInput(""))) return false;
  ops.inform(MSG_SERVICE_INACTIVE);
  return true;
}

bool ramReset(TDeviceOps& ops, const std::string& password, char type, std::string& focus) {
  if (!passwordGiven(ops, password, focus)) return false;
  if (!ops.ask(MSG_ARE_YOU_SURE, "RAM reset", true)) return false;
  if (!enterServiceMode(ops, password)) return false;
  return ops.commandUnjudged(253, std::string("4\t\t") + type + "\t");
}

bool confirmServiceOperation(TDeviceOps& ops) { return ops.ask(MSG_ARE_YOU_SURE, "Set service operation ", true); }

std::string serviceMomentText(const LocalDateTime& moment, bool dst) {
  return deviceDateTimeText(moment) + (dst ? " DST" : "");
}

bool setServiceOperation(TDeviceOps& ops, const LocalDateTime& start, const LocalDateTime& end, char type) {
  // Texts first: a year the device cannot take sends nothing.
  serviceMomentText(start, false);
  serviceMomentText(end, false);
  const bool autoDst = isAutoDateTimeON(ops);
  // Summer time is decided by the picked day, at its beginning.
  auto dstOn = [autoDst](LocalDateTime d) {
    d.hour = d.minute = d.second = d.millisecond = 0;
    return autoDst && FBH_SummerDTFor(d);
  };
  const std::string input = "5\t" + serviceMomentText(start, dstOn(start)) + "\t" +
                            serviceMomentText(end, dstOn(end)) + "\t" + std::string(1, type) + "\t";
  if (!ops.command(253, input)) return false;
  ops.informSaved();
  return true;
}

// ------------------------------------------------------------------ certificates

std::optional<std::array<uint8_t, 4>> certificateDateBytes(const std::string& deviceDate) {
  int day = 0, month = 0, year = 0;
  if (!datePartsOf(deviceDate, day, month, year) || day > 255 || month > 255) return std::nullopt;
  return std::array<uint8_t, 4>{static_cast<uint8_t>(year & 0xFF), static_cast<uint8_t>((year >> 8) & 0xFF),
                                static_cast<uint8_t>(month), static_cast<uint8_t>(day)};
}

std::string certificateCode(const std::string& deviceDate) {
  const auto bytes = certificateDateBytes(deviceDate);
  if (!bytes) return {};
  return std::to_string(crc32Update(0, bytes->data(), bytes->size()) ^ FILE_UNLOCK_MASK);
}

namespace {

enum class TDownload { Done, NotLoaded, Failed };

// Base64 as a device's file part may carry it: characters outside the alphabet (line
// breaks, blanks) are skipped, the first "=" ends the data, a missing padding and bits
// left over in the last character are taken as they come. Never fails.
}  // namespace

std::string certificatePartBytes(const std::string& text) {
  std::string out;
  uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    if (c == '=') break;
    int v = -1;
    if (c >= 'A' && c <= 'Z') v = c - 'A';
    else if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
    else if (c >= '0' && c <= '9') v = c - '0' + 52;
    else if (c == '+') v = 62;
    else if (c == '/') v = 63;
    if (v < 0) continue;
    bits = (bits << 6) | static_cast<uint32_t>(v);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out.push_back(static_cast<char>((bits >> count) & 0xFF));
    }
  }
  return out;
}

namespace {

// Opens `path` on the device and reads it part by part to its end. Once the first file
// is found, ShowErr stays off up to the end of the check (`quiet`): the second file's
// refusals go to the status bar too.
TDownload downloadFile(TDeviceOps& ops, const std::string& path, std::string& content,
                       std::optional<TDeviceOps::ShowErrOff>& quiet) {
  if (!ops.command(129, "0\t" + path + "\t")) return TDownload::Failed;
  if (!ops.command(129, "1\t")) return TDownload::Failed;
  if (parseIntValue(ops.field(3)) == 0) return TDownload::NotLoaded;
  if (!quiet) quiet.emplace(ops);
  // The end of the file is no error worth a word; any other refusal goes to the status bar.
  while (ops.commandUnjudged(129, "1\t")) {
    content += certificatePartBytes(ops.field(1));
    if (content.size() > MAX_CERTIFICATE_BYTES)
      throw std::runtime_error("The device sent more than " + std::to_string(MAX_CERTIFICATE_BYTES) +
                               " bytes for " + path + ".");
  }
  if (ops.err.LastErrorCode() == CODE_NO_MORE_DATA) return TDownload::Done;
  ops.StatusUpdate();
  return TDownload::Failed;
}

}  // namespace

TCertificateResult checkCertificates(TDeviceOps& ops) {
  TCertificateResult result;
  std::string code;
  if (ops.command(62, "") && ops.fieldCount() > 1) code = certificateCode(ops.field(1));
  if (code.empty()) return result;
  if (!ops.command(129, "3\t" + code + "\t")) return result;
  std::string md5[2];
  const char* paths[2] = {"KEYSTORE/root.crt", "KEYSTORE/server.crt"};
  std::optional<TDeviceOps::ShowErrOff> quiet;
  for (int i = 0; i < 2; ++i) {
    std::string content;
    switch (downloadFile(ops, paths[i], content, quiet)) {
      case TDownload::NotLoaded: result.label = MSG_CERT_NOT_LOADED; return result;
      case TDownload::Failed: return result;
      case TDownload::Done: md5[i] = md5Hex(content, true); break;
    }
  }
  return certificateVerdict(md5[0], md5[1]);
}

TCertificateResult certificateVerdict(const std::string& rootMd5, const std::string& serverMd5) {
  TCertificateResult result;
  result.valid = rootMd5 == ROOT_CERT_MD5 && serverMd5 == SERVER_CERT_MD5;
  result.label = result.valid ? MSG_CERT_VALID : MSG_CERT_INVALID;
  return result;
}

}  // namespace kestrel
