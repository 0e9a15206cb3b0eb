#include "util/device_peer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <stdexcept>

#include "engine/frame_codec.h"

namespace kestrel::test {

using namespace kestrel::frame;

Bytes bytesOf(const std::string& s) { return Bytes(s.begin(), s.end()); }

std::string hexOf(const Bytes& b) {
  std::string out;
  char buf[4];
  for (size_t i = 0; i < b.size(); ++i) {
    std::snprintf(buf, sizeof buf, "%02X", b[i]);
    if (i) out += ' ';
    out += buf;
  }
  return out;
}

Bytes answerFrame(bool type2, uint8_t seq, uint16_t cmd, const std::string& data, const std::vector<uint8_t>& status) {
  Bytes f{SOH};
  uint8_t nb[4];
  if (type2) {
    putNibbles(nb, static_cast<uint16_t>(data.size() + ANS_LEN_OFFSET_TYPE2));
    f.insert(f.end(), nb, nb + 4);
    f.push_back(seq);
    putNibbles(nb, cmd);
    f.insert(f.end(), nb, nb + 4);
  } else {
    f.push_back(static_cast<uint8_t>(data.size() + ANS_LEN_OFFSET_TYPE1));
    f.push_back(seq);
    f.push_back(static_cast<uint8_t>(cmd));
  }
  f.insert(f.end(), data.begin(), data.end());
  f.push_back(SEPARATOR);
  const size_t n = type2 ? STATUS_BYTES_TYPE2 : STATUS_BYTES_TYPE1;
  for (size_t i = 0; i < n; ++i) f.push_back(i < status.size() ? status[i] : 0x80);
  f.push_back(POSTAMBLE);
  putNibbles(nb, checksum(f.data() + 1, f.size() - 1));
  f.insert(f.end(), nb, nb + 4);
  f.push_back(TERMINATOR);
  return f;
}

bool PeerLink::readByte(uint8_t& b, int timeoutMs) {
  pollfd p{fFd, POLLIN, 0};
  if (poll(&p, 1, timeoutMs) <= 0) return false;
  return ::read(fFd, &b, 1) == 1;
}

bool PeerLink::readRequest(Request& out, int timeoutMs) {
  out = Request{};
  uint8_t b = 0;
  do {
    if (!readByte(b, timeoutMs)) return false;
  } while (b != SOH);
  out.raw.push_back(b);
  const size_t lenBytes = fType2 ? 4 : 1;
  for (size_t i = 0; i < lenBytes; ++i) {
    if (!readByte(b, timeoutMs)) return false;
    out.raw.push_back(b);
  }
  const size_t n = fType2 ? getNibbles(&out.raw[1]) - REQ_LEN_OFFSET_TYPE2 : out.raw[1] - REQ_LEN_OFFSET_TYPE1;
  const size_t rest = fType2 ? 1 + 4 + n + 1 + 4 + 1 : 1 + 1 + n + 1 + 4 + 1;
  for (size_t i = 0; i < rest; ++i) {
    if (!readByte(b, timeoutMs)) return false;
    out.raw.push_back(b);
  }
  const size_t seqAt = fType2 ? 5 : 2;
  out.seq = out.raw[seqAt];
  out.cmd = fType2 ? getNibbles(&out.raw[6]) : out.raw[3];
  const size_t dataAt = fType2 ? 10 : 4;
  out.data.assign(out.raw.begin() + dataAt, out.raw.begin() + dataAt + n);
  if (onRequest) onRequest(out);
  return true;
}

void PeerLink::send(const Bytes& b) {
  size_t off = 0;
  while (off < b.size()) {
    ssize_t w = ::write(fFd, b.data() + off, b.size() - off);
    if (w <= 0) return;
    off += static_cast<size_t>(w);
  }
}

void PeerLink::answer(const Request& r, const std::string& data, const std::vector<uint8_t>& status) {
  send(answerFrame(fType2, r.seq, r.cmd, data, status));
}

void PeerLink::sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void PeerLink::close() {
  if (fFd >= 0) ::close(fFd);
  fFd = -1;
}

DevicePeer::~DevicePeer() {
  if (fListen >= 0) ::shutdown(fListen, SHUT_RDWR);
  join();
  if (fListen >= 0) ::close(fListen);
  if (fSlaveKeep >= 0) ::close(fSlaveKeep);
}

void DevicePeer::join() {
  if (fThread.joinable()) fThread.join();
}

std::vector<Request> DevicePeer::requests() const {
  std::lock_guard<std::mutex> g(fMutex);
  return fRequests;
}

void DevicePeer::runOn(int fd, bool type2, const Script& script) {
  PeerLink link(fd, type2);
  link.onRequest = [this](const Request& r) {
    std::lock_guard<std::mutex> g(fMutex);
    fRequests.push_back(r);
  };
  script(link);
  link.close();
}

std::unique_ptr<DevicePeer> DevicePeer::tcp(bool type2, Script script, int connections) {
  std::unique_ptr<DevicePeer> p(new DevicePeer);
  p->fListen = ::socket(AF_INET, SOCK_STREAM, 0);
  int one = 1;
  setsockopt(p->fListen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(p->fListen, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(p->fListen, 1) != 0)
    throw std::runtime_error("peer: cannot listen");
  socklen_t l = sizeof a;
  getsockname(p->fListen, reinterpret_cast<sockaddr*>(&a), &l);
  p->fPort = ntohs(a.sin_port);
  DevicePeer* self = p.get();
  p->fThread = std::thread([self, type2, script, connections] {
    for (int i = 0; i < connections; ++i) {
      int c = ::accept(self->fListen, nullptr, nullptr);
      if (c < 0) return;
      int on = 1;
      setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      self->runOn(c, type2, script);
    }
  });
  return p;
}

std::unique_ptr<DevicePeer> DevicePeer::pty(bool type2, Script script) {
  std::unique_ptr<DevicePeer> p(new DevicePeer);
  int master = -1, slave = -1;
  char name[256] = {0};
  if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) throw std::runtime_error("peer: openpty failed");
  termios t{};
  tcgetattr(master, &t);
  cfmakeraw(&t);
  tcsetattr(master, TCSANOW, &t);
  p->fSlavePath = name;
  // Keep the slave open so the master does not see a hang-up between engine opens.
  p->fSlaveKeep = slave;
  DevicePeer* self = p.get();
  p->fThread = std::thread([self, type2, script, master] { self->runOn(master, type2, script); });
  return p;
}

DevicePeer::Script DevicePeer::answerAll(std::function<std::string(const Request&)> reply) {
  return [reply](PeerLink& link) {
    Request r;
    while (link.readRequest(r, 3000)) link.answer(r, reply ? reply(r) : std::string("0\t"));
  };
}

}  // namespace kestrel::test
