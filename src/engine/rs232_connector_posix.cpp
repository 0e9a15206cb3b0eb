// The serial transport on a POSIX terminal device: termios, flock and TIOCEXCL, modem
// lines by ioctl, reads bounded by poll.
#include "engine/rs232_connector.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "support/err_container.h"

namespace kestrel {

namespace {

struct SpeedEntry {
  int32_t rate;
  speed_t code;
};

constexpr SpeedEntry kSpeeds[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},       {150, B150},       {200, B200},
    {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},     {2400, B2400},     {4800, B4800},
    {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200}, {230400, B230400},
    {460800, B460800}, {500000, B500000}, {576000, B576000}, {921600, B921600},
};

bool speedCode(int32_t rate, speed_t& code) {
  for (const SpeedEntry& e : kSpeeds)
    if (e.rate == rate) {
      code = e.code;
      return true;
    }
  return false;
}

// The group that may open `path`, when its mode gives the group read and write access.
std::string accessGroup(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || (st.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP)) return {};
  if (const group* g = ::getgrgid(st.st_gid)) return g->gr_name;
  return std::to_string(st.st_gid);
}

std::string openFailureText(const std::string& path, int err) {
  switch (err) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return path + ": the port does not exist";
    case EACCES:
    case EPERM: {
      // Debian gives serial ports to the group dialout; name the group and the command,
      // since that is all a technician needs to do once.
      std::string grp = accessGroup(path);
      const std::string who = grp.empty() ? "serial ports usually belong to the group 'dialout'"
                                          : "members of the group '" + grp + "' may use the port";
      if (grp.empty()) grp = "dialout";
      return path + ": permission denied; " + who + ": add yourself with \"sudo usermod -aG " + grp +
             " $USER\", then log out and in again";
    }
    case EBUSY:
      return path + ": the port is busy (another program has it open)";
    default:
      return path + ": " + std::strerror(err);
  }
}

// A modem-line request on a device without modem lines (a pseudo-terminal).
bool noModemLines(int err) { return err == ENOTTY || err == EINVAL; }

// Frames that take less than this on the line are written without waiting for the drain.
constexpr uint64_t kUndrainedMs = 5;

}  // namespace

TRS232Connector::~TRS232Connector() { closeHandle(); }

std::string TRS232Connector::settingsProblem(bool always) const {
  if (!setDCBInOpenMethod && !always) return {};
  speed_t code;
  if (!speedCode(baudRate, code))
    return "line speed " + std::to_string(baudRate) + " bit/s is not supported (standard rates up to 921600)";
  if (byteSize < 5 || byteSize > 8) return std::to_string(byteSize) + " data bits are not supported (5 to 8)";
  if (parity > 4) return "parity code " + std::to_string(parity) + " is not supported (0 to 4)";
  if (stopBits > 2) return "stop-bit code " + std::to_string(stopBits) + " is not supported (0 to 2)";
  return {};
}

int TRS232Connector::openPort(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return failOpen(openFailureText(path, errno));
  // Two programs talking to one device garble each other's frames: the flock covers
  // every user (root included), TIOCEXCL also programs that do not use flock.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    ::close(fd);
    return failOpen(err == EWOULDBLOCK ? openFailureText(path, EBUSY) : openFailureText(path, err));
  }
  termios tio{};
  if (::tcgetattr(fd, &tio) != 0 || ::ioctl(fd, TIOCEXCL) != 0) {
    const int err = errno;
    ::close(fd);
    return failOpen(path + ": not a serial port (" + std::strerror(err) + ")");
  }
  fHandle = fd;
  return 0;
}

std::string TRS232Connector::lastSystemError() { return std::strerror(errno); }

bool TRS232Connector::toTermios(termios& tio) const {
  speed_t speed;
  if (!settingsProblem(true).empty() || !speedCode(baudRate, speed)) return false;
  // Binary, no parity checking, no flow control of any kind, no line editing.
  tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                                        IXANY | INPCK | IMAXBEL);
  tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  tio.c_cflag |= CLOCAL | CREAD;
  static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  tio.c_cflag |= kSizes[byteSize - 5];
  // 0 none, 1 odd, 2 even, 3 mark, 4 space (mark and space: the parity bit is fixed).
  static constexpr tcflag_t kParity[] = {0, PARENB | PARODD, PARENB, PARENB | CMSPAR | PARODD, PARENB | CMSPAR};
  tio.c_cflag |= kParity[parity];
  // A terminal knows one or two stop bits; one and a half becomes two.
  if (stopBits != 0) tio.c_cflag |= CSTOPB;
  tio.c_cc[VSTART] = 0x11;
  tio.c_cc[VSTOP] = 0x13;
  // Reads are bounded by poll, never by the line discipline; VMIN 1 makes an empty
  // non-blocking read say EAGAIN rather than 0.
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  return ::cfsetispeed(&tio, speed) == 0 && ::cfsetospeed(&tio, speed) == 0;
}

void TRS232Connector::writeSettings() {
  termios tio{};
  if (::tcgetattr(fHandle, &tio) != 0 || !toTermios(tio) || ::tcsetattr(fHandle, TCSANOW, &tio) != 0) {
    logSettingsFailure(errno);
    return;
  }
  // The settings leave DTR and RTS under no control, which lowers both lines.
  driveLine(true, false);
  driveLine(false, false);
}

bool TRS232Connector::driveLine(bool dtr, bool level) {
  int bits = dtr ? TIOCM_DTR : TIOCM_RTS;
  if (::ioctl(fHandle, level ? TIOCMBIS : TIOCMBIC, &bits) != 0 && !noModemLines(errno)) return false;
  (dtr ? fDTRState : fRTSState) = level;
  return true;
}

bool TRS232Connector::closeHandle() {
  if (fHandle < 0) return true;
  ::ioctl(fHandle, TIOCNXCL);  // the flag would outlive us while the peer keeps the tty open
  const int rc = ::close(fHandle);
  const int err = errno;
  fHandle = -1;
  dropInput();
  return rc == 0 || err == EINTR;  // Linux releases the descriptor even then
}

int TRS232Connector::clearIOBuffers() {
  if (const int missing = missingComponent(true)) return missing;
  if (!Active()) return failWith(codes::NOT_OPEN, "TRS232Connector.clearIOBuffers");
  dropInput();
  if (::tcflush(fHandle, TCIOFLUSH) != 0) {
    const int err = errno;
    if (err == EIO) loseLine(std::strerror(err));
    return failWith(codes::IO, std::string("TRS232Connector.clearIOBuffers: ") + std::strerror(err));
  }
  setCode(0);
  return 0;
}

bool TRS232Connector::fillInput(int64_t deadline) {
  // A fill starts when the buffer is empty: the answer (or its next piece) is usually
  // still on the line, so wait first and read what poll reports.
  for (;;) {
    const int ev = waitFor(fHandle, POLLIN, deadline, readLimitMs());
    if (ev == 0 || ev == kWaitCancelled) return false;
    if (ev < 0) {
      loseLine(std::strerror(errno));
      return false;
    }
    const ssize_t n = ::read(fHandle, fInput.data(), kInputSize);
    if (n > 0) {
      fInPos = 0;
      fInLen = static_cast<uint32_t>(n);
      return true;
    }
    const int err = n < 0 ? errno : 0;
    // Nothing to read: EAGAIN, or 0 from a terminal set to VMIN 0 (and from a hung-up one).
    if (n == 0 || err == EAGAIN || err == EINTR) {
      if (!(ev & (POLLHUP | POLLERR | POLLNVAL))) continue;
      // Hung up (the other end of a pseudo-terminal closed, a USB adapter pulled out):
      // no byte will come on this descriptor again.
      loseLine("hang-up");
      return false;
    }
    loseLine(std::strerror(err));
    return false;
  }
}

uint32_t TRS232Connector::writeBuffer(const uint8_t* buffer, uint32_t buffLength) {
  if (missingComponent(true)) return 0;
  if (!Active()) {
    failWith(codes::IO, "TRS232Connector.writeBuffer");
    return 0;
  }
  const uint64_t limit =
      static_cast<uint64_t>(fApplied.WriteTotalTimeoutMultiplier) * buffLength + fApplied.WriteTotalTimeoutConstant;
  const int64_t deadline = deadlineIn(limit == 0 ? UINT32_MAX : limit);
  uint32_t written = 0;
  int err = 0;
  while (written < buffLength) {
    const ssize_t n = ::write(fHandle, buffer + written, buffLength - written);
    if (n > 0) {
      written += static_cast<uint32_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {
      err = errno;
      if (err == EIO) loseLine(std::strerror(err));
      break;
    }
    const int ev = waitFor(fHandle, POLLOUT, deadline, limit > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(limit));
    if (ev == kWaitCancelled) {
      err = ECANCELED;
      break;
    }
    if (ev <= 0 || !(ev & POLLOUT)) {
      err = ev == 0 ? ETIMEDOUT : EIO;
      break;
    }
  }
  if (written < buffLength) {
    failWith(codes::IO, "TRS232Connector.writeBuffer: " + std::to_string(written) + " of " +
                            std::to_string(buffLength) + " bytes written (" + std::strerror(err) + ")");
    return written;
  }
  setCode(0);
  traceHex(buffer, written, toDevice);
  // A frame the line carries within a few milliseconds is not waited for: no answer can
  // come before it has left, and its time on the line is lost in any per-byte limit.
  // Longer frames are, so that their time does not count against the answer's first byte.
  if (static_cast<uint64_t>(buffLength) * 10'000 >= static_cast<uint64_t>(std::max(baudRate, 1)) * kUndrainedMs)
    drainOutput(deadline, limit > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(limit));
  return written;
}

void TRS232Connector::drainOutput(int64_t deadline, uint32_t limitMs) {
  // tcdrain cannot be cancelled, and the last kilobytes of a long frame take seconds on
  // a slow line: watch the driver's queue instead, in the idle hook's slices.
  for (;;) {
    int pending = 0;
    if (::ioctl(fHandle, TIOCOUTQ, &pending) != 0) {
      if (::tcdrain(fHandle) != 0 && errno == EIO) loseLine(std::strerror(EIO));
      return;
    }
    if (pending <= 0) return;
    if (deadline >= 0 && nowMs() >= deadline) return;
    // About as long as the queued bytes take on the line: a fixed 5 ms slice would add
    // up to 5 ms to every command where the queue empties at once (a pseudo-terminal,
    // a USB adapter's driver).
    const int64_t us = std::clamp<int64_t>(static_cast<int64_t>(pending) * 10'000'000 / std::max(baudRate, 1), 50, 5000);
    if (!pauseForMicros(us, limitMs)) return;  // cancelled: the engine ends the command
  }
}

}  // namespace kestrel
