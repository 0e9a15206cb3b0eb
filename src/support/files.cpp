#include "support/caught.h"
#include "support/files.h"
#include "support/files_platform.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
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

[[noreturn]] void failTooLarge(const std::string& path, std::size_t maxBytes, const std::string& kind) {
  throw EFileError("File \"" + path + "\" is larger than " + std::to_string(maxBytes) + " bytes, more than any " + kind +
                   " holds; it was not read");
}

[[noreturn]] void failNotRegular(const std::string& path, fs::file_type type) {
  const char* what = type == fs::file_type::directory ? "a folder"
                     : type == fs::file_type::fifo    ? "a FIFO"
                     : type == fs::file_type::socket  ? "a socket"
                     : type == fs::file_type::character || type == fs::file_type::block ? "a device"
                                                                                        : "no regular file";
  throw EFileError("File \"" + path + "\" is " + what + ", not a regular file; only regular files are read or written");
}

void checkRegularFile(const std::string& path, bool mustExist, std::size_t maxBytes, const std::string& kind) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (status.type() == fs::file_type::not_found) {
    if (mustExist) failFile("Cannot open file", path, ENOENT);
    return;
  }
  if (ec) failFile("Cannot open file", path, ec.value());
  if (status.type() != fs::file_type::regular) failNotRegular(path, status.type());
  const std::uintmax_t size = fs::file_size(path, ec);
  if (!ec && size > maxBytes) failTooLarge(path, maxBytes, kind);
}

std::string outputTarget(const std::string& path) {
  std::error_code ec;
  if (!fs::is_symlink(fs::symlink_status(path, ec))) {
    checkRegularFile(path);
    return path;
  }
  // Written in the folder of the file the link names, so that the link keeps pointing at it.
  const fs::path target = fs::canonical(path, ec);
  if (ec)
    throw EFileError("File \"" + path + "\" is a symbolic link to a file that does not exist; it was not written");
  const fs::file_status status = fs::status(target, ec);
  if (status.type() != fs::file_type::regular) failNotRegular(path, status.type());
  return target.string();
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

std::string readPrivateFirstLine(const std::string& path, std::size_t maxBytes, int pipeWaitMs,
                                 const std::string& what) {
  std::string line = readPrivateHead(path, maxBytes, pipeWaitMs, what);
  line.erase(std::min(line.size(), line.find('\n')));
  // Editors on Windows start a UTF-8 file with a byte-order mark and end lines with CR.
  if (line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.empty()) throw EFileError("holds no " + what + " on its first line");
  return line;
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
