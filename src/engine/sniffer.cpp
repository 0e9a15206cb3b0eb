#include "engine/sniffer.h"

// Text stays UTF-8, so no wide-character converter; Debian ships the template bodies
// behind SI_IMPLEMENTATION.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>
#include <utility>
#include <variant>
#include <vector>

#include "engine/status_bytes.h"
#include "support/date_time.h"

namespace kestrel {

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kGreen = 38144;        // 9500h
constexpr uint32_t kHexColor = 1572747;   // 17FF8Bh
constexpr uint32_t kFrameColor = 16756834;  // FFB062h
constexpr uint32_t kErrorColor = 987135;  // F0FFFh
constexpr const char* kSection = "HeaderSettings";

// "dd.mm.yyyy hh:mm:ss", with ":zzz" (milliseconds) appended when asked.
std::string formatNow(bool withMillis) {
  const LocalDateTime now = LocalDateTime::now();
  std::string text = dateTimeText(now);
  if (withMillis) {
    char ms[8];
    std::snprintf(ms, sizeof ms, ":%03d", now.millisecond);
    text += ms;
  }
  return text;
}

bool isFolder(const std::string& folder) {
  std::error_code ec;
  return !folder.empty() && fs::is_directory(folder, ec);
}

bool endsWithTxt(const std::string& name) {
  if (name.size() < 4) return false;
  std::string ext = name.substr(name.size() - 4);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".txt";
}

// The thirteen colours paired with their saved copies: {live colour, saved colour}.
std::array<std::pair<uint32_t*, uint32_t*>, 13> colourPairs(TSniffer& s) {
  TMyColors& m = s.myColors;
  return {{{&s.hexPacket.header.color, &m.hexPacket_HeaderColor},
           {&s.hexPacket.data.color, &m.hexPacket_DataColor},
           {&s.hexPacket.footer.color, &m.hexPacket_FooterColor},
           {&s.hexPacket.errorColor, &m.hexPacket_ErrorColor},
           {&s.hexPacket.reqwestColor, &m.hexPacket_ReqwestColor},
           {&s.hexPacket.answerColor, &m.hexPacket_AnswerColor},
           {&s.values.cText.cColor, &m.values_cTextColor},
           {&s.values.cHEX.cColor, &m.values_cHEXColor},
           {&s.values.cType.cColor, &m.values_cTypeColor},
           {&s.values.cDateTime.cColor, &m.values_cDateTimeColor},
           {&s.values.cCommand.cColor, &m.values_cCommandColor},
           {&s.values.cRepeatIndex.cColor, &m.values_cRepeatIndexColor},
           {&s.snifferUIDRec.cColor, &m.unicID_Color}}};
}

// One key of the settings file, the member it belongs to and its default when loading.
struct SettingKey {
  std::string key;
  std::variant<bool*, std::string*, uint32_t*> target;
  long defNumber;         // Boolean and colour keys
  const char* defText;    // text keys
};

std::vector<SettingKey> settingKeys(TSniffer& s) {
  std::vector<SettingKey> keys;
  auto header = [&keys](const std::string& name, bool& add, bool& addDescription, std::string& description,
                        const char* defDescription) {
    keys.push_back({name + ".addToHeader", &add, 1, nullptr});
    keys.push_back({name + ".addDescriptionToHeader", &addDescription, 1, nullptr});
    keys.push_back({name + ".headerDescription", &description, 0, defDescription});
  };
  // Colours are kept as the signed 32-bit value they are written as (long has 32 bits on Windows).
  auto colour = [&keys](const std::string& key, uint32_t& c, uint32_t def) {
    keys.push_back({key, &c, static_cast<int32_t>(def), nullptr});
  };

  TSnifferUIDRec& u = s.snifferUIDRec;
  header("unicID", u.addToHeader, u.addDescriptionToHeader, u.headerDescription, "UnicID = ");
  colour("unicID.cColor", u.cColor, kGreen);
  const std::pair<const char*, TSnifferValueRec*> records[] = {
      {"cRepeatIndex", &s.values.cRepeatIndex}, {"cCommand", &s.values.cCommand},
      {"cDateTime", &s.values.cDateTime},       {"cType", &s.values.cType},
      {"cHEX", &s.values.cHEX},                 {"cText", &s.values.cText}};
  const char* descriptions[] = {"Repeat count = ", "Command = ", "Date time = ", "Type = ", "hex ", "text"};
  for (std::size_t i = 0; i < std::size(records); ++i) {
    const std::string name = records[i].first;
    TSnifferValueRec& r = *records[i].second;
    header(name, r.addToHeader, r.addDescriptionToHeader, r.headerDescription, descriptions[i]);
    if (&r == &s.values.cType) {
      keys.push_back({"cType.fromDeviceValue", &r.fromDeviceValue, 0, "Answer "});
      keys.push_back({"cType.toDeviceValue", &r.toDeviceValue, 0, "Request"});
    }
    colour(name + ".cColor", r.cColor, kGreen);
  }
  colour("hexPacket.header.color", s.hexPacket.header.color, kFrameColor);
  colour("hexPacket.data.color", s.hexPacket.data.color, kGreen);
  colour("hexPacket.footer.color", s.hexPacket.footer.color, kFrameColor);
  colour("hexPacket.errorColor", s.hexPacket.errorColor, kErrorColor);
  colour("hexPacket.reqwestColor", s.hexPacket.reqwestColor, kFrameColor);
  colour("hexPacket.answerColor", s.hexPacket.answerColor, kGreen);
  return keys;
}

// The settings file's path with its current content read into `ini`; nothing when the
// format is not INI, no folder is set or an existing file cannot be read.
std::optional<std::string> openSettings(const TSniffer& s, CSimpleIniA& ini) {
  if (s.fileFormat != snif_INI || s.settingsFolder().empty() || s.settingsFileName.empty()) return std::nullopt;
  std::string path = s.settingsFolder() + s.settingsFileName;
  ini.SetQuotes(true);  // quoted values keep the trailing blanks of "UnicID = " and its kind
  ini.SetSpaces(false);
  std::error_code ec;
  if (fs::exists(path, ec) && ini.LoadFile(path.c_str()) < 0) return std::nullopt;
  return path;
}

void appendLine(const std::string& folder, const std::string& fileName, const std::string& line) {
  if (!isFolder(folder)) return;
  // A trace whose name was never set still logs somewhere predictable.
  std::ofstream out(folder + (fileName.empty() ? "connector_log.txt" : fileName), std::ios::app | std::ios::binary);
  if (out) out << line << '\n';
}

}  // namespace

std::string snifferTimeStamp() { return formatNow(true); }

void TSniffer::set_saveToFile_isOn(bool value) {
  fSaveToFile_isOn = value && isFolder(fLogFolder);
  if (fSaveToFile_isOn) calc_Header_ToDevice = calc_Header_FromDevice = calc_FullRows = true;
}

void TSniffer::set_logFileName(const std::string& value) {
  std::string name = trimBlanks(value);
  if (name.empty()) name = "connector_log.txt";
  if (!endsWithTxt(name)) name += ".txt";
  fLogFileName = name;
}

void TSniffer::set_logFolder(const std::string& value) { fLogFolder = prepareWorkFolder(value); }

void TSniffer::set_settingsFolder(const std::string& value) {
  if (trimBlanks(value).empty()) return;
  fSettingsFolder = prepareWorkFolder(value);
}

void TSniffer::initSniffer() {
  Active = calc_Header_ToDevice = calc_Header_FromDevice = calc_FullRows = false;
  fSaveToFile_isOn = false;
  fLogFolder.clear();
  fLogFileName.clear();
  fSettingsFolder.clear();
  fileFormat = snif_INI;
  settingsFileName = "SnifferSettings.ini";

  snifferUIDRec.addToHeader = true;
  snifferUIDRec.headerDescription = "UnicID = ";
  snifferUIDRec.Value = -1;
  snifferUIDRec.cColor = kGreen;

  auto set = [](TSnifferValueRec& r, const char* description, const std::string& to, const std::string& from,
                uint32_t colour) {
    r.addToHeader = r.addDescriptionToHeader = true;
    r.headerDescription = description;
    r.toDeviceValue = to;
    r.fromDeviceValue = from;
    r.cColor = colour;
  };
  const std::string now = formatNow(false);
  set(values.cRepeatIndex, "Repeat count = ", "0", "0", kGreen);
  set(values.cCommand, "Command = ", "0", "0", kGreen);
  set(values.cDateTime, "Date time = ", now, now, kGreen);
  set(values.cType, "Type = ", "Request", "Answer ", kGreen);
  set(values.cHEX, "hex ", "", "", kHexColor);
  set(values.cText, "text", "", "", kGreen);

  for (TPacketValueRec* p : {&hexPacket.header, &hexPacket.data, &hexPacket.footer}) {
    p->toDeviceValue.clear();
    p->fromDevceValue.clear();
  }
  hexPacket.header.color = kFrameColor;
  hexPacket.data.color = kGreen;
  hexPacket.footer.color = kFrameColor;
  hexPacket.errorColor = kErrorColor;
  hexPacket.reqwestColor = kFrameColor;
  hexPacket.answerColor = kGreen;
  saveColorsToMyColors();
}

bool TSniffer::loadFromFile() {
  CSimpleIniA ini(true);
  // No file yet means the defaults; a file that cannot be read changes nothing.
  if (!openSettings(*this, ini).has_value()) return false;
  for (SettingKey& k : settingKeys(*this)) {
    const char* key = k.key.c_str();
    if (auto b = std::get_if<bool*>(&k.target))
      **b = ini.GetBoolValue(kSection, key, k.defNumber != 0);
    else if (auto t = std::get_if<std::string*>(&k.target))
      **t = ini.GetValue(kSection, key, k.defText);
    else
      *std::get<uint32_t*>(k.target) = static_cast<uint32_t>(ini.GetLongValue(kSection, key, k.defNumber));
  }
  // Files written by INI writers that drop trailing blanks.
  if (values.cType.fromDeviceValue == "Answer") values.cType.fromDeviceValue = "Answer ";
  if (values.cHEX.headerDescription == "hex") values.cHEX.headerDescription = "hex ";
  saveColorsToMyColors();
  return true;
}

bool TSniffer::saveToFile() {
  CSimpleIniA ini(true);
  // Other sections and keys of an existing file are kept.
  const auto path = openSettings(*this, ini);
  if (!path) return false;
  for (SettingKey& k : settingKeys(*this)) {
    const char* key = k.key.c_str();
    if (auto b = std::get_if<bool*>(&k.target))
      ini.SetValue(kSection, key, **b ? "1" : "0");
    else if (auto t = std::get_if<std::string*>(&k.target))
      ini.SetValue(kSection, key, iniLineValue(**t).c_str());
    else
      ini.SetLongValue(kSection, key, static_cast<int32_t>(*std::get<uint32_t*>(k.target)));
  }
  ini.SetValue("DebugMode", "saveToFileIsOn", fSaveToFile_isOn ? "1" : "0");
  ini.SetValue("DebugMode", "LogFileName", fLogFileName.c_str());
  ini.SetValue("DebugMode", "LogFolder", fLogFolder.c_str());
  std::string content;
  const bool written = ini.Save(content) >= 0 && replaceFileContent(*path, content);
  saveColorsToMyColors();
  std::error_code ec;
  return written && fs::exists(*path, ec);
}

void TSniffer::logThis(const std::string& targetText, bool withDateTime) {
  if (!fSaveToFile_isOn) return;
  appendLine(fLogFolder, fLogFileName, withDateTime ? formatNow(false) + ":" + targetText : targetText);
}

void TSniffer::logRow(const std::string& targetText) {
  if (!fSaveToFile_isOn) return;
  appendLine(fLogFolder, fLogFileName, snifferTimeStamp() + ":" + targetText);
}

namespace {

// Header item k of a direction: 0 repeat index, 1 packet number, 2 command, 3 date
// time, 4 type, 5 hex, 6 text. The caller has checked the direction's header flag.
void appendHeaderItem(std::string& out, const TSniffer& s, int k, TDataDirection dir) {
  if (k == 1) {
    const TSnifferUIDRec& u = s.snifferUIDRec;
    if (!u.addToHeader) return;
    out += '[';
    if (u.addDescriptionToHeader) out += u.headerDescription;
    out += std::to_string(u.Value);
    out += ']';
    return;
  }
  static constexpr TSnifferValueRec TSnifferValues::*kItems[] = {
      &TSnifferValues::cRepeatIndex, nullptr, &TSnifferValues::cCommand, &TSnifferValues::cDateTime,
      &TSnifferValues::cType, &TSnifferValues::cHEX, &TSnifferValues::cText};
  const TSnifferValueRec& r = s.values.*kItems[k];
  if (!r.addToHeader) return;
  out += '[';
  if (r.addDescriptionToHeader) out += r.headerDescription;
  if (k <= 4) out += dir == toDevice ? r.toDeviceValue : r.fromDeviceValue;
  out += ']';
}

}  // namespace

void TSniffer::calculate_Headers(TDataDirection dataDirection) {
  const bool out = dataDirection == toDevice;
  std::string& hex = out ? toDevice_HumanHexHeader : fromDevice_HumanHexHeader;
  std::string& text = out ? toDevice_HumanTextHeader : fromDevice_HumanTextHeader;
  hex.clear();
  text.clear();
  if (!(out ? calc_Header_ToDevice : calc_Header_FromDevice)) return;
  for (int k : {1, 0, 2, 3, 4}) appendHeaderItem(hex, *this, k, dataDirection);
  text = hex;
  appendHeaderItem(hex, *this, 5, dataDirection);
  appendHeaderItem(text, *this, 6, dataDirection);
}

void TSniffer::calculate_FullRows(TDataDirection dataDirection) {
  const bool out = dataDirection == toDevice;
  std::string& hexRow = out ? full.hex_ToDeviceRow : full.hex_FromDeviceRow;
  std::string& textRow = out ? full.text_ToDeviceRow : full.text_FromDeviceRow;
  hexRow.clear();
  textRow.clear();
  if (!calc_FullRows) return;
  hexRow = (out ? toDevice_HumanHexHeader : fromDevice_HumanHexHeader) +
           (out ? values.cHEX.toDeviceValue : values.cHEX.fromDeviceValue);
  textRow = (out ? toDevice_HumanTextHeader : fromDevice_HumanTextHeader) +
            (out ? values.cText.toDeviceValue : values.cText.fromDeviceValue);
}

void TSniffer::setColorsFromMyColors() {
  for (auto [live, saved] : colourPairs(*this)) *live = *saved;
}

void TSniffer::saveColorsToMyColors() {
  for (auto [live, saved] : colourPairs(*this)) *saved = *live;
}

void TSniffer::markOutcome(bool success) {
  if (success) {
    setColorsFromMyColors();
    return;
  }
  values.cHEX.cColor = values.cText.cColor = hexPacket.data.color = hexPacket.errorColor;
}

}  // namespace kestrel
