// The raw client on POSIX: a TCP socket or a terminal, both plain descriptors.
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

namespace kestrel::simtest {

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

bool RawClient::readByte(uint8_t& b, int timeoutMs) {
  pollfd p{static_cast<int>(fFd), POLLIN, 0};
  if (::poll(&p, 1, timeoutMs) <= 0) return false;
  return ::read(fFd, &b, 1) == 1;
}

bool RawClient::closedByPeer(int timeoutMs) {
  pollfd p{static_cast<int>(fFd), POLLIN, 0};
  while (::poll(&p, 1, timeoutMs) > 0) {
    char c;
    const ssize_t n = ::read(fFd, &c, 1);
    if (n == 0) return true;
    if (n < 0) return errno != EAGAIN;
  }
  return false;
}

}  // namespace kestrel::simtest
