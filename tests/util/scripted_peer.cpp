#include "util/scripted_peer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

namespace kestrel::test {

namespace {

int64_t now() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void setNonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

// Total length of the request frame starting at `f` (f[0] is SOH), or 0 when more
// bytes are needed to know it.
size_t frameLength(const std::string& f, bool type2) {
  if (!type2) return f.size() < 2 ? 0 : static_cast<uint8_t>(f[1]) - 0x24u + 10u;
  if (f.size() < 5) return 0;
  unsigned value = 0;
  for (int i = 1; i <= 4; ++i) value = (value << 4) | ((static_cast<uint8_t>(f[i]) - 0x30u) & 0xFu);
  return value - 0x2Au + 16u;
}

}  // namespace

using Kind = PeerStep::Kind;

PeerStep expectBytes(size_t n) { return {.kind = Kind::ExpectBytes, .count = n}; }
PeerStep expectFrame(bool type2) { return {.kind = Kind::ExpectFrame, .type2 = type2}; }
PeerStep sendBytes(std::string bytes) { return {.kind = Kind::Send, .bytes = std::move(bytes)}; }
PeerStep sendComputed(std::function<std::string(const std::string& lastFrame)> compute) {
  return {.kind = Kind::SendComputed, .compute = std::move(compute)};
}
PeerStep sendSlowly(std::string bytes, int gapMs) {
  return {.kind = Kind::SendSlowly, .bytes = std::move(bytes), .everyMs = gapMs};
}
PeerStep sendSyn(int everyMs, int forMs) { return {.kind = Kind::SendSyn, .everyMs = everyMs, .forMs = forMs}; }
PeerStep silence(int ms) { return {.kind = Kind::Silence, .forMs = ms}; }
PeerStep closeConnection() { return {.kind = Kind::Close}; }

ScriptedPeer::ScriptedPeer(std::vector<PeerStep> script, bool isTcp) : fScript(std::move(script)), fTcp(isTcp) {
  if (::pipe2(fWake, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("pipe2 failed");
}

std::unique_ptr<ScriptedPeer> ScriptedPeer::tcp(std::vector<PeerStep> script) {
  std::unique_ptr<ScriptedPeer> p(new ScriptedPeer(std::move(script), true));
  p->fListen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(p->fListen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (::bind(p->fListen, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(p->fListen, 8) != 0 ||
      ::getsockname(p->fListen, reinterpret_cast<sockaddr*>(&a), &len) != 0)
    throw std::runtime_error(std::string("scripted peer: cannot listen: ") + std::strerror(errno));
  p->fPort = ntohs(a.sin_port);
  setNonBlocking(p->fListen);
  p->fThread = std::thread([raw = p.get()] { raw->run(); });
  return p;
}

std::unique_ptr<ScriptedPeer> ScriptedPeer::pty(std::vector<PeerStep> script) {
  std::unique_ptr<ScriptedPeer> p(new ScriptedPeer(std::move(script), false));
  int master = -1, slave = -1;
  char name[256] = {};
  if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
    throw std::runtime_error(std::string("scripted peer: openpty failed: ") + std::strerror(errno));
  // Raw until the transport sets its own mode, so nothing the peer sends is echoed back.
  termios tio{};
  ::tcgetattr(slave, &tio);
  ::cfmakeraw(&tio);
  ::tcsetattr(slave, TCSANOW, &tio);
  ::fcntl(master, F_SETFD, FD_CLOEXEC);
  ::fcntl(slave, F_SETFD, FD_CLOEXEC);
  setNonBlocking(master);
  p->fConn = master;
  p->fSlaveKeep = slave;
  p->fSlavePath = name;
  p->fThread = std::thread([raw = p.get()] { raw->run(); });
  return p;
}

ScriptedPeer::~ScriptedPeer() {
  {
    std::lock_guard<std::mutex> lock(fMutex);
    fStopping = true;
  }
  const char c = 1;
  [[maybe_unused]] ssize_t w = ::write(fWake[1], &c, 1);
  if (fThread.joinable()) fThread.join();
  for (int fd : {fListen, fConn, fSlaveKeep, fWake[0], fWake[1]})
    if (fd >= 0) ::close(fd);
}

std::string ScriptedPeer::received() const {
  std::lock_guard<std::mutex> lock(fMutex);
  return fReceived;
}

std::vector<std::string> ScriptedPeer::frames() const {
  std::lock_guard<std::mutex> lock(fMutex);
  return fFrames;
}

int ScriptedPeer::connections() const {
  std::lock_guard<std::mutex> lock(fMutex);
  return fConnections;
}

std::string ScriptedPeer::error() const {
  std::lock_guard<std::mutex> lock(fMutex);
  return fError;
}

bool ScriptedPeer::waitDone(int timeoutMs) {
  std::unique_lock<std::mutex> lock(fMutex);
  fChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return fDone || !fError.empty(); });
  return fDone;
}

bool ScriptedPeer::waitReceived(size_t n, int timeoutMs) {
  std::unique_lock<std::mutex> lock(fMutex);
  return fChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return fReceived.size() >= n; });
}

void ScriptedPeer::fail(const std::string& why) {
  std::lock_guard<std::mutex> lock(fMutex);
  if (!fStopping && fError.empty()) fError = why;
  fChanged.notify_all();
}

void ScriptedPeer::dropConnection() {
  if (fConn >= 0) ::close(fConn);
  fConn = -1;
}

bool ScriptedPeer::ensureConnection() {
  if (fConn >= 0) return true;
  if (!fTcp) return false;  // a hung-up pseudo-terminal stays down
  for (;;) {
    pollfd p[2] = {{fListen, POLLIN, 0}, {fWake[0], POLLIN, 0}};
    if (::poll(p, 2, -1) < 0 && errno != EINTR) return false;
    if (p[1].revents) return false;
    const int fd = ::accept4(fListen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) continue;
    fConn = fd;
    std::lock_guard<std::mutex> lock(fMutex);
    ++fConnections;
    return true;
  }
}

int ScriptedPeer::pump(int64_t deadline, bool untilData) {
  char buf[4096];
  for (;;) {
    if (fConn < 0) return -1;
    const int64_t left = deadline - now();
    if (left <= 0) return 0;
    pollfd p[2] = {{fConn, POLLIN, 0}, {fWake[0], POLLIN, 0}};
    const int rc = ::poll(p, 2, static_cast<int>(left));
    if (rc < 0 && errno != EINTR) return -1;
    if (p[1].revents) return -2;
    if (rc <= 0 || !p[0].revents) continue;
    const ssize_t n = ::read(fConn, buf, sizeof buf);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0) {
      // The client went away (TCP), or no one holds the slave open (never here: we keep one).
      if (fTcp) dropConnection();
      return -1;
    }
    fPending.append(buf, static_cast<size_t>(n));
    {
      std::lock_guard<std::mutex> lock(fMutex);
      fReceived.append(buf, static_cast<size_t>(n));
      fChanged.notify_all();
    }
    if (untilData) return 1;
  }
}

bool ScriptedPeer::pause(int ms) {
  const int64_t deadline = now() + ms;
  for (;;) {
    const int r = pump(deadline, false);
    if (r == -2) return false;
    if (r == 0) return true;
    // The other side closed: sit out the rest of the pause.
    const int64_t left = deadline - now();
    if (left <= 0) return true;
    pollfd p{fWake[0], POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left)) > 0) return false;
    return true;
  }
}

bool ScriptedPeer::writeAll(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    if (fConn < 0) return false;
    const ssize_t n = fTcp ? ::send(fConn, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL)
                           : ::write(fConn, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      pollfd p[2] = {{fConn, POLLOUT, 0}, {fWake[0], POLLIN, 0}};
      ::poll(p, 2, kStepTimeoutMs);
      if (p[1].revents || !p[0].revents) return false;
      continue;
    }
    return false;
  }
  return true;
}

bool ScriptedPeer::waitPending(size_t n, int64_t deadline) {
  while (fPending.size() < n)
    if (pump(deadline, true) != 1) return false;
  return true;
}

bool ScriptedPeer::runStep(const PeerStep& step) {
  const int64_t deadline = now() + kStepTimeoutMs;
  switch (step.kind) {
    case Kind::ExpectBytes:
      if (!waitPending(step.count, deadline)) {
        fail("expected " + std::to_string(step.count) + " bytes, got " + std::to_string(fPending.size()));
        return false;
      }
      fPending.erase(0, step.count);
      return true;
    case Kind::ExpectFrame: {
      size_t total = 0;
      for (;;) {
        const size_t soh = fPending.find('\x01');
        fPending.erase(0, soh == std::string::npos ? fPending.size() : soh);
        total = fPending.empty() ? 0 : frameLength(fPending, step.type2);
        if (total != 0 && fPending.size() >= total) break;
        if (pump(deadline, true) != 1) {
          fail("expected a whole frame, have " + std::to_string(fPending.size()) + " bytes of it");
          return false;
        }
      }
      fLastFrame = fPending.substr(0, total);
      fPending.erase(0, total);
      std::lock_guard<std::mutex> lock(fMutex);
      fFrames.push_back(fLastFrame);
      return true;
    }
    case Kind::Send:
      return writeAll(step.bytes) || (fail("cannot send"), false);
    case Kind::SendComputed:
      return writeAll(step.compute(fLastFrame)) || (fail("cannot send"), false);
    case Kind::SendSlowly:
      for (char c : step.bytes) {
        if (!writeAll(std::string(1, c))) return fail("cannot send"), false;
        if (!pause(step.everyMs)) return false;
      }
      return true;
    case Kind::SendSyn: {
      const int64_t end = now() + step.forMs;
      while (now() < end) {
        if (!writeAll("\x16")) return fail("cannot send SYN"), false;
        if (!pause(step.everyMs)) return false;
      }
      return true;
    }
    case Kind::Silence:
      return pause(step.forMs);
    case Kind::Close:
      dropConnection();
      fPending.clear();
      return true;
  }
  return false;
}

void ScriptedPeer::run() {
  bool ok = true;
  for (const PeerStep& step : fScript) {
    if (!ensureConnection()) {
      fail(fTcp ? "stopped while waiting for a connection" : "the pseudo-terminal was hung up");
      ok = false;
      break;
    }
    if (!runStep(step)) {
      fail("stopped");  // the step's own reason, when it gave one, stays
      ok = false;
      break;
    }
  }
  if (ok) {
    std::lock_guard<std::mutex> lock(fMutex);
    fDone = true;
    fChanged.notify_all();
  }
  // Idle: keep recording; a TCP client that leaves is replaced by the next one.
  for (;;) {
    if (!ensureConnection()) return;
    const int r = pump(now() + 3600 * 1000, false);
    if (r == -2) return;
    if (r == -1 && !fTcp) {
      pollfd p{fWake[0], POLLIN, 0};
      if (fConn < 0 || ::poll(&p, 1, 50) > 0) return;
    }
  }
}

}  // namespace kestrel::test
