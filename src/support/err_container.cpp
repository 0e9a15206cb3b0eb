#include "support/caught.h"
#include "support/err_container.h"

#include "support/code_pages.h"
#include "support/files.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <stdexcept>
#include <vector>

namespace kestrel {

namespace fs = std::filesystem;

namespace {

constexpr char kDelimiter = '/';

std::string envValue(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

// The per-user application data folder: APPDATA when set, else the XDG config folder.
std::string appDataBase() {
  if (auto v = envValue("APPDATA"); !v.empty()) return v;
  if (auto v = envValue("XDG_CONFIG_HOME"); !v.empty()) return v;
  if (auto v = envValue("HOME"); !v.empty()) return v + "/.config";
  return {};
}

// The user's profile folder: USERPROFILE when set, else the home folder.
std::string personalBase() {
  if (auto v = envValue("USERPROFILE"); !v.empty()) return v;
  return envValue("HOME");
}

std::string lowerAscii(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Replaces every occurrence of `what` (ASCII case ignored) by `with`.
std::string replaceAllNoCase(const std::string& text, const std::string& what, const std::string& with) {
  if (what.empty()) return text;
  const std::string lowText = lowerAscii(text), lowWhat = lowerAscii(what);
  std::string out;
  std::size_t pos = 0;
  for (std::size_t hit; (hit = lowText.find(lowWhat, pos)) != std::string::npos; pos = hit + what.size())
    out.append(text, pos, hit - pos).append(with);
  return out.append(text, pos);
}

std::string blanksToUnderscores(std::string s) {
  std::replace(s.begin(), s.end(), ' ', '_');
  return s;
}

// The extension of a file name, dot included ("" when it has none).
std::string extensionOf(const std::string& fileName) {
  auto dot = fileName.rfind('.');
  return dot == std::string::npos ? std::string() : fileName.substr(dot);
}

std::string programFileName() { return fs::path(programFilePath()).filename().string(); }

// Program file name with its extension turned into "_log.txt". A program without an
// extension (the rule on POSIX) gets the suffix appended.
std::string defaultLogFileName() {
  const std::string name = programFileName();
  const std::string ext = extensionOf(name);
  return blanksToUnderscores(ext.empty() ? name + "_log.txt" : replaceAllNoCase(name, ext, "_log.txt"));
}

std::string nowText() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%d.%m.%Y %H:%M:%S", &tm);
  return buf;
}

// Code page 65001 is UTF-8 itself.
constexpr int kUtf8CodePage = 65001;

std::string toLogFileBytes(const std::string& text, int codePage) {
  return codePage == kUtf8CodePage ? text : utf8ToCodePage(text, static_cast<unsigned>(codePage));
}
std::string fromLogFileBytes(const std::string& bytes, int codePage) {
  return codePage == kUtf8CodePage ? bytes : codePageToUtf8(bytes, static_cast<unsigned>(codePage));
}

std::vector<std::string> readLines(const std::string& path, int codePage) {
  const std::string text = fromLogFileBytes(readWholeFile(path), codePage);
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    auto nl = text.find('\n', pos);
    std::string line = text.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    if (nl == std::string::npos) break;
    pos = nl + 1;
  }
  return lines;
}

std::string joinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& l : lines) text.append(l).push_back('\n');
  return text;
}

std::runtime_error operationError(const char* operation, const std::exception& e) {
  return std::runtime_error(std::string("Exception in \"TErrContainer.") + operation + "\" metod: " + e.what());
}

}  // namespace

// ---- TFolders ----

// The built-in folders stay only where the environment names no folder; they lie in the
// temporary folder so that the access check never creates folders at the file-system root.
TFolders::TFolders(TErrContainer* owner) : fOwner(owner) {
  std::error_code ec;
  std::string base = fs::temp_directory_path(ec).string();
  if (ec || base.empty()) base = "/tmp";
  base = check_ForPathDelimiter(base) + "QuorinApplications" + kDelimiter;
  set_Log(base + "Log");
  set_AppData(base + "AppData");
  set_RealApp(base + "RealApp");
  set_Personal(base + "Personal");
}

void TFolders::Assign(const TFolders& source) {
  set_Log(source.Log());
  set_AppData(source.AppData());
  set_RealApp(source.RealApp());
  set_Personal(source.Personal());
}

std::string TFolders::check_ForPathDelimiter(const std::string& sourceFolder) {
  if (!sourceFolder.empty() && sourceFolder.back() == kDelimiter) return sourceFolder;
  return sourceFolder + kDelimiter;
}

// ---- TAccessTo ----

bool TAccessTo::check_AccessToFolder(const std::string& targetFolder) {
  try {
    if (targetFolder.empty()) return false;
    std::error_code ec;
    if (!fs::exists(targetFolder, ec)) {
      fs::create_directories(targetFolder, ec);
      if (ec) return false;
    }
    const std::string folder = TFolders::check_ForPathDelimiter(targetFolder);
    // The probe is "test.txt"; a file of that name that is already there belongs to
    // someone, so the probe then takes a name of its own instead of overwriting it.
    std::string probe = folder + "test.txt";
    bool created = createNewFile(probe, "Test file\n");
    for (int i = 0; !created && errno == EEXIST && i < 100; ++i) {
      probe = folder + "test." + std::to_string(::getpid()) + "." + std::to_string(i) + ".txt";
      created = createNewFile(probe, "Test file\n");
    }
    if (!created || !fs::exists(probe, ec)) return false;
    fs::remove(probe, ec);
    return !fs::exists(probe, ec);
  } catch (...) {
    reportCaught("TAccessTo.check_AccessToFolder");
    return false;
  }
}

bool TAccessTo::check_AccessTo(const std::string& targetFolder, TFolderTargetType folderTargetType) {
  bool* flag = nullptr;
  switch (folderTargetType) {
    case ftt_Log: flag = &fLogFolder; break;
    case ftt_AppData: flag = &fAppDataFolder; break;
    case ftt_RealApp: flag = &fRealAppFolder; break;
    case ftt_Personal: flag = &fPersonalFolder; break;
    case ftt_Unknown: return false;
  }
  if (!flag) return false;
  *flag = check_AccessToFolder(targetFolder);
  return *flag;
}

// ---- TLogFile ----

TLogFile::TLogFile(TErrContainer* owner) : FileName(defaultLogFileName()), fOwner(owner) {}

void TLogFile::Assign(const TLogFile& source) {
  FileName = source.FileName;
  LogErrors = source.LogErrors;
  fFileFormat = source.fFileFormat;
  fRowsCountLimitation = source.fRowsCountLimitation;
  CodePage = source.CodePage;
  AppendFile = source.AppendFile;
}

void TLogFile::set_FileFormat(TLogFileFormats value) {
  fFileFormat = value;
  const char* from = value == TLogFileFormats::csv ? ".txt" : ".csv";
  const char* to = value == TLogFileFormats::csv ? ".csv" : ".txt";
  if (FileName.find(from) != std::string::npos) FileName = replaceAllNoCase(FileName, from, to);
}

// ---- TErrContainer ----

TErrContainer::TErrContainer() : fLastErrorMessage(get_ErrorText(0, TErrorLanguages::English)) {
  fFolders = std::make_unique<TFolders>(this);
  fAccessTo = std::make_unique<TAccessTo>(this);
  fLogFile = std::make_unique<TLogFile>(this);
  init_Folders();
  init_LogFile();
  check_FoldersForAccess();
}

TErrContainer::~TErrContainer() = default;

void TErrContainer::set_LastErrorCode(int code) {
  // The message depends on the code and the language only; the engine writes the same
  // code many times per command, so look it up only when it changes.
  if (!fDetail.empty()) {
    // A message with a detail is never cached: the plain text of the code is looked up.
    fDetail.clear();
    fPreviousMessage.clear();
    fLastErrorMessage.clear();
  }
  if (code != fLastErrorCode || fLastErrorMessage.empty()) {
    // A command moves between two codes (the general failure and 0) several times:
    // the message of the code before is kept, so going back costs no lookup either.
    if (code == fPreviousCode && !fPreviousMessage.empty()) {
      fLastErrorMessage.swap(fPreviousMessage);
    } else {
      fPreviousMessage.swap(fLastErrorMessage);
      fLastErrorMessage = get_ErrorText(code, fLanguage);
    }
    fPreviousCode = fLastErrorCode;
  }
  fLastErrorCode = code;
  if (code != 0 && fLogFile->LogErrors) log_LastError();
}

void TErrContainer::set_LastErrorCode(int code, const std::string& detail) {
  if (detail.empty()) {
    set_LastErrorCode(code);
    return;
  }
  fPreviousCode = fLastErrorCode;
  fPreviousMessage.clear();
  fLastErrorCode = code;
  fDetail = detail;
  fLastErrorMessage = get_ErrorText(code, fLanguage) + ": " + detail;
  if (code != 0 && fLogFile->LogErrors) log_LastError();
}

void TErrContainer::set_Language(TErrorLanguages value) {
  fLanguage = value;
  fLastErrorMessage = get_ErrorText(fLastErrorCode, value);
  if (!fDetail.empty()) fLastErrorMessage += ": " + fDetail;
  fPreviousMessage.clear();
  fLogFile->CodePage =
      (value == TErrorLanguages::Romanian || value == TErrorLanguages::Poland) ? 1250 : 1251;
}

std::string TErrContainer::get_ErrorMessageByCode(int errorCode) const {
  return get_ErrorText(errorCode, fLanguage);
}

bool TErrContainer::init_Folders() {
  try {
    const std::string appData = appDataBase();
    if (appData.empty()) return false;
    fFolders->set_AppData(appData);

    const std::string program = programFilePath();
    if (program.empty()) return false;
    fFolders->set_RealApp(fs::path(program).parent_path().string());

    const std::string personal = personalBase();
    if (personal.empty()) return false;
    fFolders->set_Personal(personal);

    fFolders->set_Log(fFolders->AppData() + "Log" + kDelimiter);
    const std::string name = fs::path(program).filename().string();
    const std::string folderName = blanksToUnderscores(replaceAllNoCase(name, extensionOf(name), ""));
    fFolders->set_Log(fFolders->Log() + folderName + kDelimiter);
    return true;
  } catch (...) {
    reportCaught("TErrContainer.init_Folders");
    return false;
  }
}

bool TErrContainer::init_LogFile() {
  try {
    if (programFilePath().empty()) return false;
    fLogFile->FileName = defaultLogFileName();
    return true;
  } catch (...) {
    reportCaught("TErrContainer.init_LogFile");
    return false;
  }
}

bool TErrContainer::check_FoldersForAccess() {
  try {
    fAccessTo->check_AccessTo(fFolders->AppData(), ftt_AppData);
    fAccessTo->check_AccessTo(fFolders->RealApp(), ftt_RealApp);
    fAccessTo->check_AccessTo(fFolders->Personal(), ftt_Personal);
    fAccessTo->check_AccessTo(fFolders->Log(), ftt_Log);
    return true;
  } catch (...) {
    reportCaught("TErrContainer.check_FoldersForAccess");
    return false;
  }
}

bool TErrContainer::create_LogFile(bool RewriteIfExist) {
  if (!fAccessTo->LogFolder()) return false;
  const std::string path = fFolders->Log() + fLogFile->FileName;
  try {
    std::error_code ec;
    const bool exists = fs::exists(path, ec);
    if (!exists || RewriteIfExist) writeFileAtomically(path, std::string());
    return fs::exists(path, ec);
  } catch (const std::exception& e) {
    throw operationError("create_LogFile", e);
  }
}

bool TErrContainer::writeLogLine(const char* operation, const std::string& folder, bool hasCode, int code,
                                 const std::string& message) {
  std::error_code ec;
  if (folder.empty()) return false;
  fs::create_directories(folder, ec);
  if (ec || !fs::is_directory(folder, ec)) return false;
  const std::string path = folder + fLogFile->FileName;
  try {
    std::vector<std::string> lines;
    if (fs::exists(path, ec)) {
      if (fLogFile->AppendFile) {
        lines = readLines(path, fLogFile->CodePage);
      } else if (!fs::remove(path, ec) || ec) {
        return false;
      }
    }
    const std::string when = nowText();
    const std::string codeText = hasCode ? std::to_string(code) : std::string();
    if (fLogFile->FileFormat() == TLogFileFormats::csv) {
      std::string line = "\"" + when + "\";";
      if (hasCode) line += "\"ErrorCode:" + codeText + "\";";
      lines.push_back(line + "\"" + message + "\";");
    } else {
      lines.push_back("[" + when + (hasCode ? "][ErrorCode:" + codeText : std::string()) + "]: " + message);
    }
    // Trim from the top so that the next entry brings the file to the limit; the entry
    // just added always stays, even under a limit of 1.
    const std::size_t limit = static_cast<std::size_t>(fLogFile->RowsCountLimitation());
    if (limit > 0 && lines.size() > limit) {
      const std::size_t drop = std::min(lines.size() - limit + 1, lines.size() - 1);
      lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(drop));
    }
    writeFileAtomically(path, toLogFileBytes(joinLines(lines), fLogFile->CodePage));
    return true;
  } catch (const std::exception& e) {
    throw operationError(operation, e);
  }
}

bool TErrContainer::log_LastError() {
  if (fLastErrorCode == 0) return true;
  return writeLogLine("log_LastError", fFolders->Log(), true, fLastErrorCode, fLastErrorMessage);
}

bool TErrContainer::log_Message(const std::string& e_Message) {
  return writeLogLine("log_Message", fFolders->Log(), false, 0, e_Message);
}

bool TErrContainer::log_MessageByCode(int errorCode) {
  return writeLogLine("log_MessageByCode", fFolders->Log(), true, errorCode, fLastErrorMessage);
}

bool TErrContainer::log_Exception_Ex(const std::string& target_Folder, const std::string& e_Message) {
  // No folder is not the file-system root.
  if (target_Folder.empty()) return false;
  return writeLogLine("log_Exception_Ex", TFolders::check_ForPathDelimiter(target_Folder), false, 0, e_Message);
}

}  // namespace kestrel
