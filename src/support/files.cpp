#include "support/caught.h"
#include "support/files.h"

#include <sys/stat.h>
#include <fnmatch.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>

namespace kestrel {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const std::string& what, const std::string& path, int err) {
  throw EFileError(what + " \"" + path + "\": " + std::strerror(err));
}

void writeAll(int fd, std::string_view data, const std::string& path) {
  const char* p = data.data();
  std::size_t left = data.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail("Cannot write file", path, errno);
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

void replaceFile(const std::string& path, const std::string& head, const std::string& tail, int mode = -1) {
  TAtomicFile file(path, mode);
  file.write(head);
  file.write(tail);
  file.commit();
}

}  // namespace

TAtomicFile::TAtomicFile(std::string path, int mode) : fPath(std::move(path)), fTemp(fPath + ".XXXXXX"), fMode(mode) {
  fFd = ::mkstemp(fTemp.data());
  if (fFd < 0) fail("Cannot create file", fPath, errno);
}

TAtomicFile::~TAtomicFile() {
  if (fFd < 0) return;
  ::close(fFd);
  ::unlink(fTemp.c_str());
}

void TAtomicFile::write(std::string_view data) {
  if (fFd < 0) throw EFileError("Cannot write file \"" + fPath + "\": already closed");
  writeAll(fFd, data, fPath);
}

void TAtomicFile::commit() {
  if (fFd < 0) throw EFileError("Cannot write file \"" + fPath + "\": already closed");
  // Keep the old file's permissions, or the usual ones for a new file.
  struct stat st {};
  const mode_t keep = ::stat(fPath.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
  if (::fchmod(fFd, fMode >= 0 ? static_cast<mode_t>(fMode) : keep) != 0 && fMode >= 0)
    fail("Cannot set the permissions of file", fPath, errno);
  if (::fsync(fFd) != 0) fail("Cannot write file", fPath, errno);
  const int fd = fFd;
  fFd = -1;
  if (::close(fd) != 0 || ::rename(fTemp.c_str(), fPath.c_str()) != 0) {
    const int err = errno;
    ::unlink(fTemp.c_str());
    fail("Cannot write file", fPath, err);
  }
}

std::string readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) fail("Cannot open file", path, errno ? errno : ENOENT);
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) fail("Cannot read file", path, EIO);
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

bool matchesFileMask(const std::string& mask, const std::string& fileName) {
  const std::string m = mask.find_first_not_of(' ') == std::string::npos ? "*" : mask;
  // On the original platform "*.*" also matches names without an extension.
  if (m == "*.*" || m == "*") return true;
  return ::fnmatch(m.c_str(), fileName.c_str(), FNM_PERIOD) == 0;
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

std::string programFilePath() {
  std::error_code ec;
  const fs::path p = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : p.string();
}

}  // namespace kestrel
