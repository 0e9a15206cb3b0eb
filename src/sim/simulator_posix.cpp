// The simulator on POSIX: TCP and a pseudo-terminal served by one poll loop, woken by a
// pipe when it is to stop.
#include "sim/simulator.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <fmt/format.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>

#include "engine/frame_codec.h"
#include "sim/simulator_session.h"

namespace kestrel::sim {

namespace {

void closeFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

void closeFd(std::intptr_t& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

void setNonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

speed_t termiosSpeed(int baud) {
  switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B115200;
  }
}

// Whether the client has set the pseudo-terminal to the simulated line speed. The master
// sees the termios the client set on the slave; a device at another speed reads only
// noise, so bytes sent at the wrong speed are not answered.
bool lineSpeedMatches(int master, int baud) {
  if (baud <= 0) return true;
  termios tio{};
  if (::tcgetattr(master, &tio) != 0) return true;
  return ::cfgetospeed(&tio) == termiosSpeed(baud);
}

}  // namespace

bool Simulator::openTransports(std::string& error) {
  auto failWith = [&](std::string msg) {
    error = std::move(msg);
    return false;
  };
  if (!fOpt.logFile.empty()) {
    // Non-blocking: a FIFO would hold open() while the signals that end the program are
    // blocked. Owner-only: the log holds what clients send.
    const int fd = ::open(fOpt.logFile.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0600);
    struct stat st {};
    // A FIFO without a reader fails the open itself (ENXIO).
    if (fd < 0 && ::stat(fOpt.logFile.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
      return failWith(fmt::format("log file {} is not a regular file", fOpt.logFile));
    if (fd < 0) return failWith(fmt::format("cannot open log file {}: {}", fOpt.logFile, std::strerror(errno)));
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      return failWith(fmt::format("log file {} is not a regular file", fOpt.logFile));
    }
    ::fchmod(fd, 0600);  // an older log may hold passwords logged before they were masked
    fLog = ::fdopen(fd, "a");
    if (!fLog) {
      ::close(fd);
      return failWith(fmt::format("cannot open log file {}: {}", fOpt.logFile, std::strerror(errno)));
    }
  }
  if (::pipe2(fWake, O_CLOEXEC | O_NONBLOCK) != 0) return failWith("cannot create a pipe");
  if (fOpt.tcp) {
    addrinfo* res = listenAddress(error);
    if (!res) return false;
    fListen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(fListen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    const bool bound = fListen >= 0 && ::bind(fListen, res->ai_addr, res->ai_addrlen) == 0 && ::listen(fListen, 4) == 0;
    ::freeaddrinfo(res);
    if (!bound)
      return failWith(fmt::format("cannot listen on {}:{}: {}", fOpt.host, fOpt.port, std::strerror(errno)));
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    ::getsockname(fListen, reinterpret_cast<sockaddr*>(&addr), &len);
    fPort = ntohs(addr.sin_port);
    setNonBlocking(fListen);
  }
  if (fOpt.pty) {
    fPtyMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128] = {};
    if (fPtyMaster < 0 || ::grantpt(fPtyMaster) != 0 || ::unlockpt(fPtyMaster) != 0 ||
        ::ptsname_r(fPtyMaster, name, sizeof name) != 0)
      return failWith(fmt::format("cannot create a pseudo-terminal: {}", std::strerror(errno)));
    fPtyPath = name;
    // Holding the slave open keeps the master readable while no client has it open,
    // and raw mode makes the line usable by clients that do not set it themselves.
    fPtySlave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fPtySlave < 0) return failWith(fmt::format("cannot open {}: {}", fPtyPath, std::strerror(errno)));
    termios tio{};
    ::tcgetattr(fPtySlave, &tio);
    ::cfmakeraw(&tio);
    ::cfsetspeed(&tio, termiosSpeed(fOpt.baud));
    ::tcsetattr(fPtySlave, TCSANOW, &tio);
    setNonBlocking(fPtyMaster);
    if (!fOpt.ptyLink.empty()) {
      struct stat st {};
      if (::lstat(fOpt.ptyLink.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) ::unlink(fOpt.ptyLink.c_str());
      if (::symlink(name, fOpt.ptyLink.c_str()) != 0)
        return failWith(fmt::format("cannot create link {}: {}", fOpt.ptyLink, std::strerror(errno)));
      fLinkMade = true;
    }
  }
  if (fListen < 0 && fPtyMaster < 0) return failWith("neither TCP nor a pseudo-terminal was requested");
  return true;
}

void Simulator::wakeLoop() {
  const char c = 1;
  [[maybe_unused]] auto r = ::write(fWake[1], &c, 1);
}

void Simulator::closeTransports() {
  closeFd(fListen);
  closeFd(fPtyMaster);
  closeFd(fPtySlave);
  closeFd(fWake[0]);
  closeFd(fWake[1]);
  if (fLinkMade) ::unlink(fOpt.ptyLink.c_str());
  fLinkMade = false;
}

void Simulator::closeSession(Session& s) {
  if (s.tcp) {
    closeFd(s.fd);
    logNote("client disconnected");
  }
  s.reset();
}

long Simulator::writeSome(Session& s, const char* data, size_t len) {
  for (;;) {
    const ssize_t w = s.tcp ? ::send(static_cast<int>(s.fd), data, len, MSG_NOSIGNAL)
                            : ::write(static_cast<int>(s.fd), data, len);
    if (w >= 0) return w;
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
  }
}

bool Simulator::waitWritable(Session& s, bool& flushed) {
  pollfd p{static_cast<int>(s.fd), POLLOUT, 0};
  if (::poll(&p, 1, WRITE_STALL_MS) > 0) return true;
  if (!s.tcp && !flushed) {
    // Nobody reads the terminal: drop what waits unread so the line does not stay blocked.
    ::tcflush(fPtySlave, TCIFLUSH);
    flushed = true;
    return true;
  }
  return false;
}

void Simulator::run() {
  Session tcp(fOpt.protocol, true), pty(fOpt.protocol, false);
  pty.fd = fPtyMaster;
  std::vector<uint8_t> buf(65536);
  auto lastSave = Clock::now();
  while (!fStop) {
    pollfd fds[4];
    int n = 0;
    fds[n++] = {fWake[0], POLLIN, 0};
    const int listenAt = fListen >= 0 && tcp.fd < 0 ? n : -1;
    if (listenAt >= 0) fds[n++] = {static_cast<int>(fListen), POLLIN, 0};
    const int tcpAt = tcp.fd >= 0 ? n : -1;
    if (tcpAt >= 0) fds[n++] = {static_cast<int>(tcp.fd), POLLIN, 0};
    const int ptyAt = pty.fd >= 0 ? n : -1;
    if (ptyAt >= 0) fds[n++] = {static_cast<int>(pty.fd), POLLIN, 0};
    const int pr = ::poll(fds, static_cast<nfds_t>(n), 50);
    if (pr < 0 && errno != EINTR) break;
    if (fStop) break;
    if (pr > 0 && (fds[0].revents & POLLIN)) {
      char drain[64];
      while (::read(fWake[0], drain, sizeof drain) > 0) {
      }
    }
    if (fListen >= 0 && idleClientDue(tcp)) {
      pollfd waiting{static_cast<int>(fListen), POLLIN, 0};
      if (::poll(&waiting, 1, 0) > 0) {
        dropIdleClient(tcp);
        continue;
      }
    }
    if (pr > 0 && listenAt >= 0 && (fds[listenAt].revents & POLLIN)) {
      const int fd = ::accept4(static_cast<int>(fListen), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd >= 0) {
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        tcp.reset();
        tcp.fd = fd;
        tcp.lastByte = Clock::now();
        logNote("client connected");
      }
    }
    for (auto [at, s] : {std::pair<int, Session*>{tcpAt, &tcp}, std::pair<int, Session*>{ptyAt, &pty}}) {
      if (pr <= 0 || at < 0 || s->fd < 0 || !(fds[at].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const ssize_t r = ::read(static_cast<int>(s->fd), buf.data(), buf.size());
      if (r > 0 && !s->tcp && !lineSpeedMatches(static_cast<int>(s->fd), fOpt.baud)) {
        logNote("bytes at another line speed ignored");
      } else if (r > 0) {
        received(*s, buf.data(), static_cast<size_t>(r));
      } else if (s->tcp && (r == 0 || (errno != EAGAIN && errno != EINTR))) {
        closeSession(*s);
      } else if (!s->tcp && r < 0 && errno == EIO) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    }
    tick({&tcp, &pty}, lastSave);
  }
  closeFd(tcp.fd);
}

bool ptySupported() { return true; }

}  // namespace kestrel::sim
