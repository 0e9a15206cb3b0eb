// TFDMisc: checksums, identifiers, summer time, date texts, folders, the helper's log,
// files, processes and version information.
#include <charconv>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include <fmt/format.h>

#include "support/caught.h"
#include "support/crc32.h"
#include "support/fd_misc.h"
#include "support/md5.h"

#ifndef KESTREL_VERSION
#define KESTREL_VERSION "0.0.0"
#endif

namespace kestrel {

namespace fs = std::filesystem;

namespace {

// One generator per thread: sessions of several devices may run side by side.
std::mt19937& randomGenerator() {
  thread_local std::mt19937 generator{std::random_device{}()};
  return generator;
}

int randomBelow(int limit) {
  if (limit <= 1) return 0;
  return std::uniform_int_distribution<int>(0, limit - 1)(randomGenerator());
}

int64_t tickCount() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string uniqueText() {
  const LocalDateTime now = LocalDateTime::now();
  return fmt::format("{}{}{}{}{}{}{}{}", tickCount(), now.year, now.month, now.day, now.hour, now.minute, now.second,
                     now.millisecond);
}

bool isBlank(const std::string& text) { return text.find_first_not_of(' ') == std::string::npos; }

std::string twoDigits(int value) { return fmt::format("{:02}", value); }

// The four parts of a "major.minor.revision[.build]" text; missing parts are 0.
std::array<int, 4> versionParts(const std::string& text) {
  std::array<int, 4> parts{};
  std::istringstream in(text);
  std::string piece;
  for (std::size_t i = 0; i < parts.size() && std::getline(in, piece, '.'); ++i) {
    // A part that is no number counts as 0.
    int value = 0;
    const auto [end, err] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
    parts[i] = err == std::errc() ? value : 0;
  }
  return parts;
}

bool isOwnProgramFile(const std::string& fileName) {
  std::error_code ec;
  const std::string self = programFilePath();
  return !self.empty() && fs::equivalent(fileName, self, ec);
}

}  // namespace

// --- checksums and identifiers ---

std::string TFDMisc::md5File(const std::string& fileName) const {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) throw EFileError("Cannot open file \"" + fileName + "\"");
  try {
    return md5HexOfStream(in, true);
  } catch (...) {
    reportCaught("TFDMisc.md5File");
    return {};
  }
}

std::string TFDMisc::md5Bytes(std::istream* fs, int64_t Offset, TSeekOrigin Origin) const {
  if (!fs) return {};
  try {
    const auto dir = Origin == soBeginning ? std::ios::beg : Origin == soCurrent ? std::ios::cur : std::ios::end;
    fs->clear();
    if (!fs->seekg(Offset, dir)) return {};
    return md5HexOfStream(*fs, true);
  } catch (...) {
    reportCaught("TFDMisc.md5Bytes");
    return {};
  }
}

std::string TFDMisc::md5_UpperCase(const std::string& targetString) const { return md5Hex(targetString, true); }

std::string TFDMisc::md5_LowerCase(const std::string& targetString) const { return md5Hex(targetString, false); }

std::string TFDMisc::GetCRC32(const std::string& fileName) const {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) throw EFileError("Cannot open file \"" + fileName + "\"");
  uint32_t crc = 0;
  char block[256];
  for (;;) {
    if (OnProcessMessages) OnProcessMessages();
    in.read(block, sizeof block);
    const auto got = in.gcount();
    if (got <= 0) break;
    crc = crc32Update(crc, block, static_cast<std::size_t>(got));
  }
  if (in.bad()) throw EFileError("Cannot read file \"" + fileName + "\"");
  return fmt::format("${:08X}", crc);
}

std::string TFDMisc::crc32_UpperCase(const std::string& fileName) const {
  try {
    return GetCRC32(fileName).substr(1);
  } catch (...) {
    reportCaught("TFDMisc.crc32_UpperCase");
    return {};
  }
}

std::string TFDMisc::crc32_LowerCase(const std::string& fileName) const {
  std::string digits = crc32_UpperCase(fileName);
  for (char& c : digits) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return digits;
}

std::string TFDMisc::get_UnicByMD5() const { return get_UnicByMD5(100); }

std::string TFDMisc::get_UnicByMD5(int sleep_MaxValue) const {
  if (const int wait = randomBelow(sleep_MaxValue); wait > 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(wait));
  return md5_UpperCase(uniqueText());
}

std::string TFDMisc::get_UnicByMD5_UP(bool toRandomize, int maxRandomValue) const {
  if (toRandomize) randomGenerator().seed(std::random_device{}());
  const int limit = maxRandomValue == 0 ? 100000 : maxRandomValue;
  return md5_UpperCase(uniqueText() + std::to_string(randomBelow(limit)));
}

// --- summer time and date texts ---

bool TFDMisc::itIs_SummerDTFor(const LocalDateTime& targetDT) const { return isSummerTimeByRule(targetDT); }

bool TFDMisc::itIs_SummerDT() const { return isSummerTimeByRule(LocalDateTime::now()); }

TDSTPeriod TFDMisc::askWindowsForDST() const {
  try {
    return dstPeriodAt(std::time(nullptr));
  } catch (...) {
    reportCaught("TFDMisc.askWindowsForDST");
    return tzi_Unknown;
  }
}

std::string TFDMisc::DateAndTimeToFilename() const {
  // Formatted directly, so the process-wide settings need no switching.
  return dateAndTimeToFilename(LocalDateTime::now());
}

std::string TFDMisc::Date_ToLogHeader(const LocalDateTime& DT) const { return dateToLogHeader(DT); }

std::string TFDMisc::Time_ToLogHeader(const LocalDateTime& DT) const { return timeToLogHeader(DT); }

std::string TFDMisc::get_YearFor_FName() const {
  const int year = LocalDateTime::now().year;
  return fmt::format("{:04}", year < 2000 ? year + 2000 : year);
}
std::string TFDMisc::get_MonthFor_FName() const { return twoDigits(LocalDateTime::now().month); }
std::string TFDMisc::get_DayFor_FName() const { return twoDigits(LocalDateTime::now().day); }
std::string TFDMisc::get_HourFor_FName() const { return twoDigits(LocalDateTime::now().hour); }
std::string TFDMisc::get_MinFor_FName() const { return twoDigits(LocalDateTime::now().minute); }
std::string TFDMisc::get_SecFor_FName() const { return twoDigits(LocalDateTime::now().second); }

bool TFDMisc::set_LocalShits(char tDateSeparator, char tTimeSeparator, char tDecimalSeparator,
                             const std::string& tShortDateFormat, const std::string& tShortTimeFormat,
                             const std::string& tLongDateFormat, const std::string& tLongTimeFormat) const {
  try {
    FormatSettings& settings = formatSettings();
    settings.DateSeparator = tDateSeparator;
    settings.TimeSeparator = tTimeSeparator;
    settings.DecimalSeparator = tDecimalSeparator;
    settings.ShortDateFormat = tShortDateFormat;
    settings.ShortTimeFormat = tShortTimeFormat;
    settings.LongDateFormat = tLongDateFormat;
    settings.LongTimeFormat = tLongTimeFormat;
    return true;
  } catch (...) {
    reportCaught("TFDMisc.set_LocalShits");
    return false;
  }
}

// --- folders and log ---

std::string TFDMisc::checkForPathDelimiter(const std::string& targetPath) const {
  if (isBlank(targetPath)) return targetPath + "./";
  return targetPath.back() == '/' ? targetPath : targetPath + "/";
}

bool TFDMisc::force_ThisFolder(const std::string& targetDir) const {
  if (isBlank(targetDir)) return false;
  std::error_code ec;
  fs::create_directories(targetDir, ec);
  return fs::is_directory(targetDir, ec);
}

bool TFDMisc::setFolder(std::string& folder, const std::string& targetFolder, const std::string& specificSubFolder) {
  std::string path = checkForPathDelimiter(targetFolder);
  if (!isBlank(specificSubFolder)) path += specificSubFolder + "/";
  if (!force_ThisFolder(path)) return false;
  folder = path;
  return true;
}

bool TFDMisc::set_LogFolder(const std::string& targetFolder, const std::string& specificSubFolder) {
  return setFolder(fLogFolder, targetFolder, specificSubFolder);
}

bool TFDMisc::set_PersonalFolder(const std::string& targetFolder, const std::string& specificSubFolder) {
  return setFolder(fPersonalFolder, targetFolder, specificSubFolder);
}

bool TFDMisc::set_SettingsFolder(const std::string& targetFolder, const std::string& specificSubFolder) {
  return setFolder(fSettingsFolder, targetFolder, specificSubFolder);
}

std::string TFDMisc::ApplicationFolder() {
  const std::string program = programFilePath();
  if (!program.empty()) fApplicationFolder = checkForPathDelimiter(fs::path(program).parent_path().string());
  return fApplicationFolder;
}

bool TFDMisc::set_LogFile() {
  try {
    std::error_code ec;
    if (!fs::is_directory(fLogFolder, ec)) return false;
    const fs::path program(programFilePath().empty() ? "kestrel" : programFilePath());
    const std::string path = fLogFolder + program.stem().string() + "_Log.txt";
    if (!fs::exists(path, ec))
      writeFileAtomically(path, dateTimeText(LocalDateTime::now()) + ":Log file creation\n");
    fLogFile = path;
    return fs::exists(path, ec);
  } catch (...) {
    reportCaught("TFDMisc.set_LogFile");
    return false;
  }
}

std::string TFDMisc::get_LogFile() const {
  try {
    return fLogFile.empty() ? std::string() : readWholeFile(fLogFile);
  } catch (...) {
    reportCaught("TFDMisc.get_LogFile");
    return {};
  }
}

void TFDMisc::log_Text(const std::string& targetText) const {
  std::error_code ec;
  if (fLogFile.empty() || !fs::exists(fLogFile, ec)) return;
  appendFileAtomically(fLogFile, "[" + dateTimeText(LocalDateTime::now()) + "]: " + targetText + "\n");
}

void TFDMisc::log_TextToFolder(const std::string& targetFolder, const std::string& targetFileName,
                               const std::string& targetText) const {
  if (!force_ThisFolder(checkForPathDelimiter(targetFolder)))
    throw EFileError("Cannot create folder \"" + targetFolder + "\"");
  appendFileAtomically(checkForPathDelimiter(targetFolder) + targetFileName, targetText + "\n");
}

// --- files and processes ---

bool TFDMisc::copy_AllFromTo(const std::string& sourcePath, const std::string& destinationPath,
                             const std::string& FileMask) const {
  try {
    return copyAllFromTo(sourcePath, destinationPath, FileMask);
  } catch (...) {
    reportCaught("TFDMisc.copy_AllFromTo");
    return false;
  }
}

bool TFDMisc::delete_FilesFromDir(const std::string& Directory, const std::string& FileMask, bool DeleteSubDirs,
                                  bool /*SilentOperation: nothing is displayed here anyway*/) const {
  try {
    return deleteFilesFromDir(Directory, FileMask, DeleteSubDirs);
  } catch (...) {
    reportCaught("TFDMisc.delete_FilesFromDir");
    return false;
  }
}

bool TFDMisc::startNewProcess(const std::string& targetApplication, const std::string& inputParameters,
                              const std::string& targetDir, ProcessInfo& processInfo) const {
  try {
    return spawnProcess(targetApplication, splitCommandLine(inputParameters), targetDir, processInfo) == 0;
  } catch (...) {
    reportCaught("TFDMisc.startNewProcess");
    return false;
  }
}

bool TFDMisc::terminateProcess(ProcessInfo& targetProcess) const {
  try {
    return killProcess(targetProcess);
  } catch (...) {
    reportCaught("TFDMisc.terminateProcess");
    return false;
  }
}

bool TFDMisc::myShellExecute(uintptr_t /*targetHandle*/, const std::string& targetOperation,
                             const std::string& targetFileName, const std::string& inputParameters,
                             const std::string& targetDir, int /*showType*/, bool /*bgErrorAnswer*/,
                             bool waitTheExecutoin) const {
  try {
    // One message set serves both languages; there is no elevation to retry with.
    const int code =
        shellExecute(targetOperation, targetFileName, inputParameters, targetDir, waitTheExecutoin, OnProcessMessages);
    if (code == kShellSuccess) return true;
    const std::string message = shellErrorMessage(code);
    if (message.empty()) return true;
    show_MyAlert(message);
    return false;
  } catch (...) {
    reportCaught("TFDMisc.myShellExecute");
    return false;
  }
}

bool TFDMisc::connected_ToInternet() const {
  // Connected means a default route over an interface that is up.
  std::ifstream routes("/proc/net/route");
  std::string line;
  std::getline(routes, line);  // header
  while (std::getline(routes, line)) {
    std::istringstream fields(line);
    std::string iface, destination, gateway;
    unsigned flags = 0;
    fields >> iface >> destination >> gateway >> std::hex >> flags;
    if (destination == "00000000" && (flags & 0x1) && iface != "lo") return true;
  }
  std::ifstream routes6("/proc/net/ipv6_route");
  while (std::getline(routes6, line)) {
    std::istringstream fields(line);
    std::string destination, prefix, source, sourcePrefix, nextHop, metric, refCount, use, flagText, iface;
    fields >> destination >> prefix >> source >> sourcePrefix >> nextHop >> metric >> refCount >> use >> flagText >>
        iface;
    const unsigned long flags6 = std::strtoul(flagText.c_str(), nullptr, 16);
    if (destination == std::string(32, '0') && prefix == "00" && (flags6 & 0x1) && iface != "lo" &&
        nextHop != std::string(32, '0'))
      return true;
  }
  return false;
}

void TFDMisc::sleep_ForMSec(int64_t targetMsec) {
  const int64_t start = tickCount();
  int steps = 0;
  do {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (OnProcessMessages) OnProcessMessages();
    if (++steps % 10 == 0 && OnWaitSleepFor) OnWaitSleepFor(this, tickCount() - start);
  } while (tickCount() - start < targetMsec);
}

// --- version information ---

std::string TFDMisc::get_AppVersionInfo(std::string& Major, std::string& Minor, std::string& Revision,
                                        std::string& Build) const {
  // The program's version comes from the build.
  const auto parts = versionParts(KESTREL_VERSION);
  Major = std::to_string(parts[0]);
  Minor = std::to_string(parts[1]);
  Revision = std::to_string(parts[2]);
  Build = std::to_string(parts[3]);
  return Major + "." + Minor + "." + Revision + "." + Build;
}

std::string TFDMisc::get_VersionInfo_ForFile(const std::string& AFileName) const {
  int major, minor, release, build;
  std::string description, md5Sum;
  return get_VersionInfo_ForFile(AFileName, major, minor, release, build, description, md5Sum);
}

std::string TFDMisc::get_VersionInfo_ForFile(const std::string& AFileName, int& AMajor, int& AMinor, int& ARelease,
                                             int& ABuild, std::string& AFileDescription, std::string& md5Sum) const {
  AMajor = AMinor = ARelease = ABuild = 0;
  AFileDescription.clear();
  md5Sum.clear();
  std::error_code ec;
  if (AFileName.empty() || !fs::is_regular_file(AFileName, ec)) return {};
  try {
    md5Sum = md5File(AFileName);
  } catch (...) {
    reportCaught("TFDMisc.get_VersionInfo_ForFile");
    md5Sum.clear();
  }
  // Files here carry no version block; only this program knows its own version.
  if (isOwnProgramFile(AFileName)) {
    const auto parts = versionParts(KESTREL_VERSION);
    AMajor = parts[0], AMinor = parts[1], ARelease = parts[2], ABuild = parts[3];
    AFileDescription = "Kestrel FBH";
  }
  return fmt::format("{}.{}.{}.{}", AMajor, AMinor, ARelease, ABuild);
}

}  // namespace kestrel
