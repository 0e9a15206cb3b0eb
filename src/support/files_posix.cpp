// The POSIX side of the file helpers: the temporary file of an atomic write, file masks
// and the program's own path.
#include "support/files.h"
#include "support/files_platform.h"

#include <fcntl.h>
#include <fnmatch.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace kestrel {

namespace fs = std::filesystem;

namespace {

void writeAll(int fd, std::string_view data, const std::string& path) {
  const char* p = data.data();
  std::size_t left = data.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      failFile("Cannot write file", path, errno);
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

}  // namespace

TAtomicFile::TAtomicFile(std::string path, int mode)
    : fPath(outputTarget(path)), fTemp(fPath + ".XXXXXX"), fMode(mode) {
  fFd = ::mkstemp(fTemp.data());
  if (fFd < 0) failFile("Cannot create file", fPath, errno);
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
    failFile("Cannot set the permissions of file", fPath, errno);
  if (::fsync(fFd) != 0) failFile("Cannot write file", fPath, errno);
  const int fd = fFd;
  fFd = -1;
  if (::close(fd) != 0 || ::rename(fTemp.c_str(), fPath.c_str()) != 0) {
    const int err = errno;
    ::unlink(fTemp.c_str());
    failFile("Cannot write file", fPath, err);
  }
}

std::string readWholeFile(const std::string& path, std::size_t maxBytes, const std::string& kind) {
  checkRegularFile(path, true, maxBytes, kind);
  // Non-blocking and checked again once open: a FIFO put in its place meanwhile must
  // not hold the program.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) failFile("Cannot open file", path, errno);
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0) failFile("Cannot read file", path, errno);
  if (!S_ISREG(st.st_mode))
    throw EFileError("File \"" + path + "\" is not a regular file any more; only regular files are read or written");
  std::string content(std::min<std::size_t>(static_cast<std::size_t>(st.st_size), maxBytes) + 1, '\0');
  std::size_t got = 0;
  for (;;) {
    // The file may grow while it is read: never past the limit.
    if (got == content.size()) {
      if (got > maxBytes) failTooLarge(path, maxBytes, kind);
      content.resize(std::min(maxBytes + 1, got * 2 + 4096));
    }
    const ssize_t n = ::read(fd, content.data() + got, content.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) failFile("Cannot read file", path, errno);
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  if (got > maxBytes) failTooLarge(path, maxBytes, kind);
  content.resize(got);
  return content;
}

bool createNewFile(const std::string& path, const std::string& content) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
  return (::close(fd) == 0) && ok;
}

bool matchesFileMask(const std::string& mask, const std::string& fileName) {
  const std::string m = mask.find_first_not_of(' ') == std::string::npos ? "*" : mask;
  // On the original platform "*.*" also matches names without an extension.
  if (m == "*.*" || m == "*") return true;
  return ::fnmatch(m.c_str(), fileName.c_str(), FNM_PERIOD) == 0;
}

std::string programFilePath() {
  std::error_code ec;
  const fs::path p = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : p.string();
}

std::string readPrivateHead(const std::string& path, std::size_t maxBytes, int pipeWaitMs, const std::string& what) {
  // Opened once, non-blocking: a FIFO that nobody writes must not hold the program.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw EFileError(std::string("cannot be read: ") + std::strerror(errno));
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0) throw EFileError(std::string("cannot be read: ") + std::strerror(errno));
  if (!S_ISREG(st.st_mode) && !S_ISFIFO(st.st_mode)) throw EFileError("is neither a regular file nor a pipe");
  if (st.st_mode & (S_IRGRP | S_IROTH)) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    throw EFileError(std::string("can be read by others (mode ") + mode + "); make it private first: chmod 600 '" +
                     path + "'");
  }
  std::string text;
  char buffer[512];
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(pipeWaitMs);
  while (text.find('\n') == std::string::npos) {
    if (text.size() > maxBytes)
      throw EFileError("holds no line end within " + std::to_string(maxBytes) + " bytes, more than any " + what +
                       " file holds");
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
      text.append(buffer, static_cast<size_t>(n));
      continue;
    }
    if (n == 0) break;
    if (errno == EINTR) continue;
    if (errno != EAGAIN) throw EFileError(std::string("cannot be read: ") + std::strerror(errno));
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{fd, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) == 0)
      throw EFileError("sent no " + what + " within " + std::to_string(pipeWaitMs / 1000) + " s");
  }
  return text;
}

}  // namespace kestrel
