#pragma once
// A loopback TCP port that nothing listens on: bound, then closed again, so a connect
// to it is refused at once.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

namespace kestrel::test {

inline uint16_t closedPort() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(s);
  return ntohs(a.sin_port);
}

}  // namespace kestrel::test
