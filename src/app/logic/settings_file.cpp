#include "app/logic/settings_file.h"

// Text stays UTF-8, so no wide-character converter; Debian ships the template bodies
// behind SI_IMPLEMENTATION.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <filesystem>

#include "support/files.h"

namespace kestrel {

namespace {

std::string env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::string withSlash(std::string s) {
  if (!s.empty() && s.back() != '/') s.push_back('/');
  return s;
}

// An integer the way the settings file reads one: digits with an optional sign.
bool readInteger(const std::string& text, long long& value) {
  if (text.empty()) return false;
  const char* b = text.data();
  if (*b == '+') ++b;
  const char* e = text.data() + text.size();
  auto [p, ec] = std::from_chars(b, e, value);
  return ec == std::errc() && p == e;
}

// A missing file is an empty one; `error` tells why an existing file cannot be read.
bool loadIni(CSimpleIniA& ini, const std::string& path, std::string* error = nullptr) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return true;
  try {
    const std::string content = readWholeFile(path);
    if (ini.LoadData(content) >= 0) return true;
    if (error) *error = "\"" + path + "\" cannot be read as an INI file";
  } catch (const EFileError& e) {
    if (error) *error = e.what();
  }
  return false;
}

int intValue(const CSimpleIniA& ini, const char* section, const char* key, int fallback) {
  long long v = 0;
  return readInteger(ini.GetValue(section, key, ""), v) && v >= INT32_MIN && v <= INT32_MAX ? static_cast<int>(v)
                                                                                            : fallback;
}

}  // namespace

TFBHSettings TSettingsFile::load() const {
  TFBHSettings s;
  CSimpleIniA ini(true);
  if (!loadIni(ini, fPath)) return s;
  long long flag = 0;
  s.DelItemsOnZ = readInteger(ini.GetValue(SETTINGS_SECTION, "DelItemsOnZ", "0"), flag) && flag != 0;
  s.delete_FromPLU = ini.GetValue(SETTINGS_SECTION, "delete_FromPLU", "1");
  s.delete_ToPLU = ini.GetValue(SETTINGS_SECTION, "delete_ToPLU", "99999");
  s.delete_ServicePass = ini.GetValue(SETTINGS_SECTION, "delete_ServicePass", "");
  return s;
}

bool TSettingsFile::save(const TFBHSettings& settings) const {
  return write(SETTINGS_SECTION, {{"DelItemsOnZ", settings.DelItemsOnZ ? "1" : "0"},
                                  {"delete_FromPLU", settings.delete_FromPLU},
                                  {"delete_ToPLU", settings.delete_ToPLU},
                                  {"delete_ServicePass", settings.delete_ServicePass}});
}

std::optional<TConnectionSettings> TSettingsFile::loadConnection() const {
  CSimpleIniA ini(true);
  if (!loadIni(ini, fPath) || ini.GetSectionSize(CONNECTION_SECTION) < 0) return std::nullopt;
  TConnectionSettings c;
  c.tcp = intValue(ini, CONNECTION_SECTION, "TCP", 0) != 0;
  c.comPort = ini.GetValue(CONNECTION_SECTION, "ComPort", "");
  c.speed = ini.GetValue(CONNECTION_SECTION, "Speed", "");
  c.address = ini.GetValue(CONNECTION_SECTION, "Address", "");
  c.port = ini.GetValue(CONNECTION_SECTION, "Port", "");
  return c;
}

bool TSettingsFile::saveConnection(const TConnectionSettings& c) const {
  return write(CONNECTION_SECTION, {{"TCP", c.tcp ? "1" : "0"},
                                    {"ComPort", c.comPort},
                                    {"Speed", c.speed},
                                    {"Address", c.address},
                                    {"Port", c.port}});
}

std::optional<TWindowPlacement> TSettingsFile::loadWindow() const {
  CSimpleIniA ini(true);
  if (!loadIni(ini, fPath)) return std::nullopt;
  TWindowPlacement p;
  p.width = intValue(ini, WINDOW_SECTION, "Width", 0);
  p.height = intValue(ini, WINDOW_SECTION, "Height", 0);
  if (p.width <= 0 || p.height <= 0) return std::nullopt;
  p.left = intValue(ini, WINDOW_SECTION, "Left", 0);
  p.top = intValue(ini, WINDOW_SECTION, "Top", 0);
  p.maximized = intValue(ini, WINDOW_SECTION, "Maximized", 0) != 0;
  return p;
}

bool TSettingsFile::saveWindow(const TWindowPlacement& p) const {
  return write(WINDOW_SECTION, {{"Left", std::to_string(p.left)},
                                {"Top", std::to_string(p.top)},
                                {"Width", std::to_string(p.width)},
                                {"Height", std::to_string(p.height)},
                                {"Maximized", p.maximized ? "1" : "0"}});
}

bool TSettingsFile::write(const char* section, const std::vector<std::pair<const char*, std::string>>& keys) const {
  fLastError.clear();
  try {
    CSimpleIniA ini(true);
    ini.SetSpaces(false);
    // A file that exists but cannot be read is left alone rather than replaced by one
    // that lost its other sections.
    if (!loadIni(ini, fPath, &fLastError)) return false;
    for (const auto& [key, value] : keys) ini.SetValue(section, key, value.c_str());
    std::string content;
    if (ini.Save(content) < 0) {
      fLastError = "the settings cannot be formatted";
      return false;
    }
    std::filesystem::create_directories(std::filesystem::path(fPath).parent_path());
    writeFileAtomically(fPath, content, 0600);
    return true;
  } catch (const std::exception& e) {
    fLastError = e.what();
  } catch (...) {
    fLastError = "unknown error";
  }
  return false;
}

std::string toolFolderIn(const std::string& base) {
  if (base.empty()) return {};
  return withSlash(base) + "Kestrel/FBH/";
}

std::string documentsBase() {
  if (auto v = env("XDG_DOCUMENTS_DIR"); !v.empty()) return v;
  std::string home = env("USERPROFILE");
  if (home.empty()) home = env("HOME");
  return home.empty() ? std::string() : withSlash(home) + "Documents";
}

std::string checkedPLUText(const std::string& text, const std::string& fallback) {
  long long v = 0;
  if (!readInteger(text, v) || v < 0 || v > 100000) return fallback;
  return text;
}

}  // namespace kestrel
