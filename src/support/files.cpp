#include "support/caught.h"
#include "support/files.h"

#include <sys/stat.h>
#include <sys/stat.h>
#include <fnmatch.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace kestrel {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const std::string& what, const std::string& path, int err) {
  throw EFileError(what + " \"" + path + "\": " + std::strerror(err));
}

void writeAll(int fd, const std::string& data, const std::string& path) {
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

// Writes `head` and then `tail` to a temporary file next to `path` and renames it over
// `path`; a failure removes the temporary file and leaves `path` as it was. `mode` < 0
// keeps the old file's permissions.
void replaceFile(const std::string& path, const std::string& head, const std::string& tail, int mode = -1) {
  std::string temp = path + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) fail("Cannot create file", path, errno);
  try {
    writeAll(fd, head, path);
    writeAll(fd, tail, path);
    // Keep the old file's permissions, or the usual ones for a new file.
    struct stat st {};
    const mode_t keep = ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
    if (::fchmod(fd, mode >= 0 ? static_cast<mode_t>(mode) : keep) != 0 && mode >= 0)
      fail("Cannot set the permissions of file", path, errno);
    if (::fsync(fd) != 0) fail("Cannot write file", path, errno);
    if (::close(fd) != 0) {
      const int err = errno;
      ::unlink(temp.c_str());
      fail("Cannot write file", path, err);
    }
  } catch (...) {
    ::close(fd);
    ::unlink(temp.c_str());
    throw;
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    fail("Cannot write file", path, err);
  }
}

}  // namespace

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
