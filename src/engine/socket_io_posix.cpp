// The socket calls on POSIX.
#include "engine/socket_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kestrel {

bool socketLayerReady() { return true; }

TSocketHandle openSocket(int family, int type, int protocol) {
  return ::socket(family, type | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol);
}

int startConnect(TSocketHandle s, const sockaddr* address, socklen_t length) {
  return ::connect(static_cast<int>(s), address, length) == 0 ? 0 : errno;
}

int pendingSocketError(TSocketHandle s) {
  int err = 0;
  socklen_t len = sizeof err;
  if (::getsockopt(static_cast<int>(s), SOL_SOCKET, SO_ERROR, &err, &len) != 0) return errno ? errno : EIO;
  return err;
}

void setNoDelay(TSocketHandle s) {
  int one = 1;
  ::setsockopt(static_cast<int>(s), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

long receiveSome(TSocketHandle s, void* buffer, std::size_t size, bool peek) {
  for (;;) {
    const ssize_t n = ::recv(static_cast<int>(s), buffer, size, MSG_DONTWAIT | (peek ? MSG_PEEK : 0));
    if (n >= 0 || errno != EINTR) return static_cast<long>(n);
  }
}

bool useSlicedReceives(TSocketHandle s, int sliceMs) {
  // Every call but the waiting receive passes MSG_DONTWAIT, so only that one blocks.
  const int fd = static_cast<int>(s);
  const timeval slice{sliceMs / 1000, (sliceMs % 1000) * 1000};
  if (::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &slice, sizeof slice) != 0) return false;
  const int flags = ::fcntl(fd, F_GETFL);
  return flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

long receiveWaiting(TSocketHandle s, void* buffer, std::size_t size) {
  return static_cast<long>(::recv(static_cast<int>(s), buffer, size, 0));
}

long sendSome(TSocketHandle s, const void* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = ::send(static_cast<int>(s), buffer, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n >= 0 || errno != EINTR) return static_cast<long>(n);
  }
}

void shutdownSocket(TSocketHandle s) { ::shutdown(static_cast<int>(s), SHUT_RDWR); }

int closeSocketHandle(TSocketHandle s) {
  // Linux releases the descriptor even when close reports EINTR.
  return ::close(static_cast<int>(s)) == 0 || errno == EINTR ? 0 : errno;
}

int socketError() { return errno == EWOULDBLOCK ? EAGAIN : errno; }

std::string socketErrorText(int err) { return std::strerror(err); }

std::string resolveErrorText(int rc) { return ::gai_strerror(rc); }

int pollDescriptor(TSocketHandle s, short events, int waitMs, short& revents) {
  pollfd p{static_cast<int>(s), events, 0};
  const int rc = ::poll(&p, 1, waitMs);
  revents = p.revents;
  return rc < 0 && errno == EINTR ? 0 : rc;
}

}  // namespace kestrel
