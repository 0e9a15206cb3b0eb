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
#include "engine/secrets.h"

namespace kestrel::sim {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int WRITE_STALL_MS = 2000;  // a peer that takes no bytes for this long is dropped
constexpr auto SAVE_INTERVAL = std::chrono::milliseconds(200);

void closeFd(int& fd) {
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

struct Simulator::Session {
  explicit Session(LinkProtocol p, bool isTcp) : assembler(p), tcp(isTcp) { out.reserve(70000); }
  void reset() {
    assembler.reset();
    count = 0;
    lastRaw.clear();
    cut = false;
  }
  FrameAssembler assembler;
  bool tcp;
  int fd = -1;
  Clock::time_point lastByte{};
  uint64_t count = 0;
  std::string lastRaw, lastData, out;
  uint8_t lastStatus[8] = {};
  bool cut = false;
};

Simulator::Simulator(SimulatorOptions options) : fOpt(std::move(options)), fDevice(fOpt.model) {
  fDevice.servicePassword = fOpt.servicePassword;
  if (fOpt.hostClock) fDevice.hostClock = fOpt.hostClock;
}

Simulator::~Simulator() { stop(); }

bool Simulator::loadState(std::string& error) {
  if (fOpt.stateFile.empty()) return true;
  // Non-blocking, so that a FIFO cannot hold the start (signals are blocked by then).
  const int fd = ::open(fOpt.stateFile.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return true;  // a fresh device; the first save creates the file
    // A file that exists but cannot be read must not be replaced by a fresh device.
    error = fmt::format("cannot read state file {}: {}", fOpt.stateFile, std::strerror(errno));
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    error = fmt::format("state file {} is not a regular file", fOpt.stateFile);
    return false;
  }
  std::string text;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
      text.append(buffer, static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = fmt::format("cannot read state file {}: {}", fOpt.stateFile, std::strerror(errno));
      ::close(fd);
      return false;
    }
    break;
  }
  ::close(fd);
  std::string damage;
  if (!fDevice.deserialize(text, damage)) {
    // Keep the damaged file for inspection instead of overwriting it with a fresh device.
    std::string kept = fOpt.stateFile + ".broken";
    for (int n = 1; ::access(kept.c_str(), F_OK) == 0; ++n) kept = fmt::format("{}.broken.{}", fOpt.stateFile, n);
    if (::rename(fOpt.stateFile.c_str(), kept.c_str()) != 0) {
      error = fmt::format("state file {} is damaged ({}) and cannot be kept aside as {}: {}", fOpt.stateFile, damage,
                          kept, std::strerror(errno));
      return false;
    }
    fStateWarning = fmt::format("state file {} is damaged ({}); kept as {}, the device starts from factory defaults",
                                fOpt.stateFile, damage, kept);
    fDevice.dirty = true;
    return true;
  }
  if (fOpt.modelGiven && fDevice.model().name != modelInfo(fOpt.model).name)
    fStateWarning = fmt::format("state file {} holds a {}; the model {} was not used", fOpt.stateFile,
                                fDevice.model().name, fOpt.model);
  return true;
}

bool Simulator::saveState(std::string* error) {
  // A state file that could not be read is never replaced by this device.
  if (fOpt.stateFile.empty() || !fStateRead) return true;
  std::string text;
  {
    std::lock_guard lock(fDeviceMutex);
    text = fDevice.serialize();
    fDevice.dirty = false;
  }
  const std::string tmp = fOpt.stateFile + ".tmp";
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  bool ok = fd >= 0;
  for (size_t done = 0; ok && done < text.size();) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<size_t>(n);
  }
  ok = ok && ::fsync(fd) == 0;
  if (fd >= 0) ::close(fd);
  ok = ok && ::rename(tmp.c_str(), fOpt.stateFile.c_str()) == 0;
  fSaveFailed = !ok;
  if (!ok) {
    const std::string msg = fmt::format("cannot write state file {}: {}", fOpt.stateFile, std::strerror(errno));
    ::unlink(tmp.c_str());
    std::lock_guard lock(fDeviceMutex);
    fDevice.dirty = true;
    if (error) *error = msg;
    if (!fSaveErrorShown) std::fprintf(stderr, "kestrel-sim: %s\n", msg.c_str());
    fSaveErrorShown = true;
  }
  return ok;
}

bool Simulator::start(std::string& error) {
  if (running()) return true;
  fStop = false;
  fStateRead = loadState(error);
  if (!fStateRead) return false;
  auto failWith = [&](std::string msg) {
    error = std::move(msg);
    closeFd(fListen);
    closeFd(fPtyMaster);
    closeFd(fPtySlave);
    closeFd(fWake[0]);
    closeFd(fWake[1]);
    if (fLog) std::fclose(fLog);
    fLog = nullptr;
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
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* res = nullptr;
    const std::string service = std::to_string(fOpt.port);
    if (::getaddrinfo(fOpt.host.empty() ? nullptr : fOpt.host.c_str(), service.c_str(), &hints, &res) != 0 || !res)
      return failWith(fmt::format("cannot resolve address {}", fOpt.host));
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
  logNote(fmt::format("started, model {}", fDevice.model().name));
  fThread = std::thread(&Simulator::run, this);
  return true;
}

void Simulator::stop() {
  if (fThread.joinable()) {
    fStop = true;
    const char c = 1;
    [[maybe_unused]] auto r = ::write(fWake[1], &c, 1);
    fThread.join();
  }
  closeFd(fListen);
  closeFd(fPtyMaster);
  closeFd(fPtySlave);
  closeFd(fWake[0]);
  closeFd(fWake[1]);
  if (fLinkMade) ::unlink(fOpt.ptyLink.c_str());
  fLinkMade = false;
  if (fDevice.dirty) saveState();
  if (fLog) {
    logNote("stopped");
    std::fclose(fLog);
    fLog = nullptr;
  }
}

void Simulator::closeSession(Session& s) {
  if (s.tcp) {
    closeFd(s.fd);
    logNote("client disconnected");
  }
  s.reset();
}

bool Simulator::writeBytes(Session& s, const char* data, size_t len) {
  // With a line speed set, bytes leave at the pace of an 8N1 line: 10 bits per byte.
  const int64_t byteNs = fOpt.baud > 0 ? 10'000'000'000LL / fOpt.baud : 0;
  const size_t chunk = byteNs > 0 ? std::max<size_t>(1, static_cast<size_t>(1'000'000 / byteNs)) : len;
  const auto start = Clock::now();
  size_t done = 0;
  bool flushed = false;
  while (done < len && s.fd >= 0 && !fStop) {
    const size_t n = std::min(chunk, len - done);
    // A chunk goes out when its last byte would have arrived over the line, so the
    // answer is never complete sooner than the line could carry it.
    if (byteNs > 0)
      std::this_thread::sleep_until(start + std::chrono::nanoseconds(byteNs * static_cast<int64_t>(done + n)));
    const ssize_t w = s.tcp ? ::send(s.fd, data + done, n, MSG_NOSIGNAL) : ::write(s.fd, data + done, n);
    if (w > 0) {
      done += static_cast<size_t>(w);
      continue;
    }
    if (w < 0 && errno == EINTR) continue;
    if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd p{s.fd, POLLOUT, 0};
      if (::poll(&p, 1, WRITE_STALL_MS) > 0) continue;
      if (!s.tcp && !flushed) {
        // Nobody reads the terminal: drop what waits unread so the line does not stay blocked.
        ::tcflush(fPtySlave, TCIFLUSH);
        flushed = true;
        continue;
      }
    }
    if (s.tcp) closeSession(s);
    return false;
  }
  return done == len;
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
    if (listenAt >= 0) fds[n++] = {fListen, POLLIN, 0};
    const int tcpAt = tcp.fd >= 0 ? n : -1;
    if (tcpAt >= 0) fds[n++] = {tcp.fd, POLLIN, 0};
    const int ptyAt = pty.fd >= 0 ? n : -1;
    if (ptyAt >= 0) fds[n++] = {pty.fd, POLLIN, 0};
    const int pr = ::poll(fds, static_cast<nfds_t>(n), 50);
    if (pr < 0 && errno != EINTR) break;
    if (fStop) break;
    if (pr > 0 && (fds[0].revents & POLLIN)) {
      char drain[64];
      while (::read(fWake[0], drain, sizeof drain) > 0) {
      }
    }
    if (fOpt.idleDropMs > 0 && tcp.fd >= 0 && fListen >= 0 &&
        Clock::now() - tcp.lastByte >= std::chrono::milliseconds(fOpt.idleDropMs)) {
      // One client at a time: one that connects and sends nothing would hold off every
      // other. It goes once it has been silent this long and another one is waiting.
      pollfd waiting{fListen, POLLIN, 0};
      if (::poll(&waiting, 1, 0) > 0) {
        logNote(fmt::format("client dropped: it sent nothing for {} ms while another client waited", fOpt.idleDropMs));
        closeSession(tcp);
        continue;
      }
    }
    if (pr > 0 && listenAt >= 0 && (fds[listenAt].revents & POLLIN)) {
      const int fd = ::accept4(fListen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
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
      const ssize_t r = ::read(s->fd, buf.data(), buf.size());
      if (r > 0 && !s->tcp && !lineSpeedMatches(s->fd, fOpt.baud)) {
        logNote("bytes at another line speed ignored");
      } else if (r > 0) {
        s->assembler.feed(buf.data(), static_cast<size_t>(r));
        s->lastByte = Clock::now();
        serve(*s);
        if (s->cut) closeSession(*s);
      } else if (s->tcp && (r == 0 || (errno != EAGAIN && errno != EINTR))) {
        closeSession(*s);
      } else if (!s->tcp && r < 0 && errno == EIO) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    }
    const auto now = Clock::now();
    for (Session* s : {&tcp, &pty}) {
      // A frame cut short by the client is answered with NAK once its bytes stop coming.
      if (s->fd >= 0 && s->assembler.partial() &&
          now - s->lastByte > std::chrono::milliseconds(fOpt.frameTimeoutMs)) {
        s->assembler.reset();
        logNote("incomplete frame dropped");
        const char nak = static_cast<char>(frame::NAK);
        writeBytes(*s, &nak, 1);
      }
    }
    if (!fOpt.stateFile.empty() && now - lastSave >= SAVE_INTERVAL) {
      bool dirty;
      {
        std::lock_guard lock(fDeviceMutex);
        dirty = fDevice.dirty;
      }
      if (dirty) saveState();
      lastSave = now;
    }
  }
  closeFd(tcp.fd);
}

void Simulator::serve(Session& s) {
  RequestFrame frame;
  while (s.fd >= 0 && !s.cut && !fStop) {
    const auto r = s.assembler.next(frame);
    if (r == FrameAssembler::Result::NeedMore) break;
    if (r == FrameAssembler::Result::Reject) {
      logNote("frame rejected (NAK)");
      const char nak = static_cast<char>(frame::NAK);
      writeBytes(s, &nak, 1);
      continue;
    }
    answerFrame(s, frame);
  }
}

void Simulator::answerFrame(Session& s, const RequestFrame& frame) {
  const FaultOptions& f = fOpt.faults;
  const uint64_t k = ++s.count;
  ++fFrames;
  auto every = [k](int n) { return n > 0 && k % static_cast<uint64_t>(n) == 0; };
  if (f.silenceFrom > 0 && k >= static_cast<uint64_t>(f.silenceFrom)) {
    logNote(fmt::format("fault: silent on command {}", frame.cmd));
    return;
  }
  if (every(f.nakEvery)) {
    logNote(fmt::format("fault: NAK for command {}", frame.cmd));
    const char nak = static_cast<char>(frame::NAK);
    writeBytes(s, &nak, 1);
    return;
  }
  // The engine repeats a frame unchanged when it rejected the answer; the device
  // answers it again without executing the command twice.
  if (frame.raw == s.lastRaw) {
    logNote(fmt::format("repeated frame of command {}, answered again", frame.cmd));
  } else {
    int code;
    {
      std::lock_guard lock(fDeviceMutex);
      fDevice.execute(frame.cmd, frame.data, s.lastData);
      fDevice.statusBytes(s.lastStatus);
      code = fDevice.lastCode();
    }
    s.lastRaw.assign(frame.raw);
    logExchange(frame.cmd, frame.data, code, s.lastData);
  }
  if (f.workMs > 0) {
    const auto done = Clock::now() + std::chrono::milliseconds(f.workMs);
    const auto step = std::chrono::milliseconds(std::max(1, fOpt.synIntervalMs));
    while (!fStop && s.fd >= 0) {
      const auto next = Clock::now() + step;
      if (next >= done) {
        std::this_thread::sleep_until(done);
        break;
      }
      std::this_thread::sleep_until(next);
      const char syn = static_cast<char>(frame::SYN);
      writeBytes(s, &syn, 1);
    }
  }
  if (every(f.dropEvery)) {
    logNote(fmt::format("fault: answer to command {} dropped", frame.cmd));
    return;
  }
  uint8_t status[8];
  std::memcpy(status, s.lastStatus, 8);
  for (auto [byte, bit] : f.statusBits) status[byte] |= static_cast<uint8_t>(1u << bit);
  completeStatusBytes(status);
  uint8_t seq = frame.seq;
  if (every(f.badSeqEvery)) seq = frame::nextSequence(seq, fOpt.protocol == LinkProtocol::Type2);
  buildAnswerFrame(fOpt.protocol, seq, frame.cmd, s.lastData, status, s.out);
  if (every(f.badChecksumEvery)) s.out[s.out.size() - 2] ^= 0x01;
  if (every(f.garbageEvery)) s.out.insert(0, "\x7F\x55\xAA noise ");
  if (every(f.cutEvery)) {
    logNote(fmt::format("fault: connection cut in the answer to command {}", frame.cmd));
    writeBytes(s, s.out.data(), s.out.size() / 2);
    s.cut = true;
    return;
  }
  writeBytes(s, s.out.data(), s.out.size());
}

void Simulator::logNote(std::string_view text) {
  if (!fLog) return;
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
  std::fprintf(fLog, "%s  %.*s\n", stamp, static_cast<int>(text.size()), text.data());
  std::fflush(fLog);
}

void Simulator::logExchange(uint16_t cmd, std::string_view input, int code, std::string_view answer) {
  if (!fLog) return;
  // Passwords never reach the log, neither sent nor read back.
  logNote(fmt::format("cmd {:3}  in \"{}\"  code {}  answer \"{}\"", cmd, escapeBytes(maskedPasswords(cmd, input)),
                      code, escapeBytes(answerHoldsPassword(cmd, input) ? maskedAnswer(answer) : std::string(answer))));
}

}  // namespace kestrel::sim
