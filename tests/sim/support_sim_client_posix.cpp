#include "support_sim_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <stdexcept>

#include "engine/frame_codec.h"

namespace kestrel::simtest {

namespace f = kestrel::frame;

std::vector<std::string> fieldsOf(std::string_view data) {
  std::vector<std::string> out;
  size_t pos = 0;
  while (pos < data.size()) {
    const size_t tab = data.find('\t', pos);
    if (tab == std::string_view::npos) {
      out.emplace_back(data.substr(pos));
      break;
    }
    out.emplace_back(data.substr(pos, tab - pos));
    pos = tab + 1;
  }
  return out;
}

int Answer::code() const {
  const auto f = fields();
  return f.empty() ? 1 : std::stoi(f[0]);
}

std::unique_ptr<RawClient> RawClient::tcp(uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    throw std::runtime_error("cannot connect to the simulator");
  }
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return std::unique_ptr<RawClient>(new RawClient(fd));
}

std::unique_ptr<RawClient> RawClient::terminal(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error("cannot open " + path);
  termios tio{};
  ::tcgetattr(fd, &tio);
  ::cfmakeraw(&tio);
  ::tcsetattr(fd, TCSANOW, &tio);
  ::tcflush(fd, TCIOFLUSH);
  return std::unique_ptr<RawClient>(new RawClient(fd));
}

RawClient::~RawClient() { close(); }

void RawClient::close() {
  if (fFd >= 0) ::close(fFd);
  fFd = -1;
}

void RawClient::sendRaw(std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fFd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) throw std::runtime_error("write failed");
    done += static_cast<size_t>(n);
  }
}

std::string RawClient::frame(uint16_t cmd, std::string_view data, uint8_t s) const {
  std::string out;
  sim::buildRequestFrame(protocol, s, cmd, data, out);
  return out;
}

Answer RawClient::call(uint16_t cmd, std::string_view data, int timeoutMs) {
  sendRaw(frame(cmd, data, seq));
  seq = f::nextSequence(seq, protocol == sim::LinkProtocol::Type2);
  return readAnswer(timeoutMs);
}

bool RawClient::readByte(uint8_t& b, int timeoutMs) {
  pollfd p{fFd, POLLIN, 0};
  if (::poll(&p, 1, timeoutMs) <= 0) return false;
  return ::read(fFd, &b, 1) == 1;
}

Answer RawClient::readAnswer(int timeoutMs) {
  Answer a;
  const bool type2 = protocol == sim::LinkProtocol::Type2;
  uint8_t b = 0;
  while (true) {
    if (!readByte(b, timeoutMs)) {
      a.timedOut = true;
      return a;
    }
    if (b == f::SOH) break;
    if (b == f::NAK) {
      a.nak = true;
      return a;
    }
    if (b == f::SYN) ++a.syn;
    else ++a.noise;
  }
  std::string frame(1, static_cast<char>(b));
  auto take = [&](size_t n) {
    for (size_t i = 0; i < n; ++i) {
      if (!readByte(b, timeoutMs)) return false;
      frame.push_back(static_cast<char>(b));
    }
    return true;
  };
  if (!take(type2 ? 4 : 1)) {
    a.timedOut = true;
    return a;
  }
  const auto* p = reinterpret_cast<const uint8_t*>(frame.data());
  const size_t n = type2 ? f::getNibbles(p + 1) - f::ANS_LEN_OFFSET_TYPE2 : p[1] - f::ANS_LEN_OFFSET_TYPE1;
  const size_t statusBytes = type2 ? 8 : 6;
  const size_t rest = (type2 ? 5 : 2) + n + 1 + statusBytes + 1 + 4 + 1;
  if (!take(rest)) {
    a.timedOut = true;
    return a;
  }
  p = reinterpret_cast<const uint8_t*>(frame.data());
  const size_t dataAt = type2 ? 10 : 4;
  a.seq = p[type2 ? 5 : 2];
  a.cmd = type2 ? f::getNibbles(p + 6) : p[3];
  a.data = frame.substr(dataAt, n);
  const size_t sep = dataAt + n;
  for (size_t i = 0; i < statusBytes; ++i) a.status[i] = p[sep + 1 + i];
  const size_t post = sep + 1 + statusBytes;
  a.valid = p[sep] == f::SEPARATOR && p[post] == f::POSTAMBLE &&
            f::getNibbles(p + post + 1) == f::checksum(p + 1, post) && p[post + 5] == f::TERMINATOR;
  return a;
}

bool RawClient::closedByPeer(int timeoutMs) {
  pollfd p{fFd, POLLIN, 0};
  while (::poll(&p, 1, timeoutMs) > 0) {
    char c;
    const ssize_t n = ::read(fFd, &c, 1);
    if (n == 0) return true;
    if (n < 0) return errno != EAGAIN;
  }
  return false;
}

}  // namespace kestrel::simtest
