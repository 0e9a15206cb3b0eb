#include "support/caught.h"
#include "support/files.h"
#include "support/files_platform.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>

namespace kestrel {

namespace fs = std::filesystem;

namespace {

void replaceFile(const std::string& path, const std::string& head, const std::string& tail, int mode = -1) {
  TAtomicFile file(path, mode);
  file.write(head);
  file.write(tail);
  file.commit();
}

}  // namespace

[[noreturn]] void failFile(const std::string& what, const std::string& path, int err) {
  throw EFileError(what + " \"" + path + "\": " + std::strerror(err));
}

std::string readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) failFile("Cannot open file", path, errno ? errno : ENOENT);
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) failFile("Cannot read file", path, EIO);
  return content;
}

void writeFileAtomically(const std::string& path, const std::string& content) { replaceFile(path, content, {}); }

void writeFileAtomically(const std::string& path, const std::string& content, int mode) {
  replaceFile(path, content, {}, mode);
}

void appendFileAtomically(const std::string& path, const std::string& text) {
  std::error_code ec;
  const std::string old = fs::exists(path, ec) ? readWholeFile(path) : std::string();
  replaceFile(path, old, text);
}

void copyFileAtomically(const std::string& source, const std::string& destination) {
  replaceFile(destination, readWholeFile(source), {});
}

bool copyAllFromTo(const std::string& sourcePath, const std::string& destinationPath, const std::string& mask) {
  std::error_code ec;
  if (!fs::is_directory(sourcePath, ec)) return false;
  fs::create_directories(destinationPath, ec);
  bool ok = true;
  const fs::path destination = fs::absolute(destinationPath, ec);
  for (auto it = fs::recursive_directory_iterator(sourcePath, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_regular_file(ec) || !matchesFileMask(mask, it->path().filename().string())) continue;
    const fs::path target = destination / it->path().filename();
    if (fs::equivalent(it->path(), target, ec)) continue;  // already where it belongs
    try {
      copyFileAtomically(it->path().string(), target.string());
    } catch (const EFileError& e) {
      reportCaught("copyAllFromTo", e);  // the others are still copied
      ok = false;
    }
  }
  return ok && !ec;
}

bool deleteFilesFromDir(const std::string& directory, const std::string& mask, bool deleteSubDirs) {
  std::error_code ec;
  if (!fs::is_directory(directory, ec)) return false;
  bool ok = true;
  for (auto it = fs::directory_iterator(directory, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (it->is_directory(ec) && !it->is_symlink(ec)) {
      if (!deleteSubDirs) continue;
      ok = deleteFilesFromDir(it->path().string(), mask, true) && ok;
      std::error_code rm;
      if (fs::is_empty(it->path(), rm)) fs::remove(it->path(), rm);
    } else if (matchesFileMask(mask, name)) {
      std::error_code rm;
      if (!fs::remove(it->path(), rm)) ok = false;
    }
  }
  return ok && !ec;
}

}  // namespace kestrel
