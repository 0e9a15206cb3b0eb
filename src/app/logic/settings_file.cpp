#include "app/logic/settings_file.h"

// Text stays UTF-8, so no wide-character converter; Debian ships the template bodies
// behind SI_IMPLEMENTATION.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <charconv>
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

bool loadIni(CSimpleIniA& ini, const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return true;
  try {
    const std::string content = readWholeFile(path);
    return ini.LoadData(content) >= 0;
  } catch (const EFileError&) {
    return false;
  }
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
  try {
    CSimpleIniA ini(true);
    ini.SetSpaces(false);
    if (!loadIni(ini, fPath)) return false;
    ini.SetValue(SETTINGS_SECTION, "DelItemsOnZ", settings.DelItemsOnZ ? "1" : "0");
    ini.SetValue(SETTINGS_SECTION, "delete_FromPLU", settings.delete_FromPLU.c_str());
    ini.SetValue(SETTINGS_SECTION, "delete_ToPLU", settings.delete_ToPLU.c_str());
    ini.SetValue(SETTINGS_SECTION, "delete_ServicePass", settings.delete_ServicePass.c_str());
    std::string content;
    if (ini.Save(content) < 0) return false;
    std::filesystem::create_directories(std::filesystem::path(fPath).parent_path());
    writeFileAtomically(fPath, content);
    return true;
  } catch (...) {
    return false;
  }
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
