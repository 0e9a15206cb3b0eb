// The raw client on Windows: TCP through the engine's Winsock calls; Windows has no
// terminals for the simulator.
#include "support_sim_client.h"

#include <cerrno>
#include <chrono>
#include <stdexcept>

#include "engine/socket_io.h"

namespace kestrel::simtest {

std::unique_ptr<RawClient> RawClient::tcp(uint16_t port) {
  const TSocketHandle s = openSocket(AF_INET, SOCK_STREAM, 0);
  if (s == kNoSocket) throw std::runtime_error("cannot make a socket");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int rc = startConnect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  short revents = 0;
  if (rc == EINPROGRESS) rc = pollDescriptor(s, POLLOUT, 3000, revents) > 0 ? pendingSocketError(s) : ETIMEDOUT;
  if (rc != 0) {
    closeSocketHandle(s);
    throw std::runtime_error("cannot connect to the simulator");
  }
  setNoDelay(s);
  return std::unique_ptr<RawClient>(new RawClient(s));
}

std::unique_ptr<RawClient> RawClient::terminal(const std::string& path) {
  throw std::runtime_error("no terminal on Windows: " + path);
}

RawClient::~RawClient() { close(); }

void RawClient::close() {
  if (fFd != kNoSocket) closeSocketHandle(fFd);
  fFd = kNoSocket;
}

void RawClient::sendRaw(std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const long n = sendSome(fFd, bytes.data() + done, bytes.size() - done);
    short revents = 0;
    if (n < 0 && socketError() == EAGAIN && pollDescriptor(fFd, POLLOUT, 3000, revents) > 0) continue;
    if (n <= 0) throw std::runtime_error("write failed");
    done += static_cast<size_t>(n);
  }
}

bool RawClient::readByte(uint8_t& b, int timeoutMs) {
  short revents = 0;
  if (pollDescriptor(fFd, POLLIN, timeoutMs, revents) <= 0) return false;
  return receiveSome(fFd, &b, 1) == 1;
}

bool RawClient::closedByPeer(int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  short revents = 0;
  while (pollDescriptor(fFd, POLLIN, timeoutMs, revents) > 0) {
    char c;
    const long n = receiveSome(fFd, &c, 1);
    if (n == 0) return true;
    if (n < 0 && socketError() != EAGAIN) return true;
    if (std::chrono::steady_clock::now() >= end) break;
  }
  return false;
}

}  // namespace kestrel::simtest
