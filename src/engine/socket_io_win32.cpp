// The socket calls on Winsock: closesocket, ioctlsocket for non-blocking mode, WSAPoll,
// and WSAGetLastError's codes as errno values.
#include "engine/socket_io.h"
#include "support/win32_text.h"

#include <cerrno>
#include <cstdlib>
#include <mutex>

namespace kestrel {

namespace {

int errnoOf(int wsa) {
  switch (wsa) {
    case WSAEWOULDBLOCK: return EAGAIN;
    case WSAEINPROGRESS: return EINPROGRESS;
    case WSAECONNREFUSED: return ECONNREFUSED;
    case WSAECONNRESET: return ECONNRESET;
    case WSAECONNABORTED: return ECONNABORTED;
    case WSAETIMEDOUT: return ETIMEDOUT;
    case WSAENETUNREACH: return ENETUNREACH;
    case WSAEHOSTUNREACH: return EHOSTUNREACH;
    case WSAENOTCONN: return ENOTCONN;
    case WSAESHUTDOWN: return EPIPE;
    case WSAEADDRINUSE: return EADDRINUSE;
    case WSAEADDRNOTAVAIL: return EADDRNOTAVAIL;
    case WSAEAFNOSUPPORT: return EAFNOSUPPORT;
    case WSAEACCES: return EACCES;
    case WSAEINTR: return EINTR;
    case WSAENOTSOCK: return ENOTSOCK;
    case WSAEMFILE: return EMFILE;
    case WSAENOBUFS: return ENOBUFS;
    default: return EIO;
  }
}

// The texts a POSIX system gives, so that both platforms report a refused connect alike.
const char* errnoText(int err) {
  switch (err) {
    case EAGAIN: return "Resource temporarily unavailable";
    case EINPROGRESS: return "Operation now in progress";
    case ECONNREFUSED: return "Connection refused";
    case ECONNRESET: return "Connection reset by peer";
    case ECONNABORTED: return "Software caused connection abort";
    case ETIMEDOUT: return "Connection timed out";
    case ENETUNREACH: return "Network is unreachable";
    case EHOSTUNREACH: return "No route to host";
    case ENOTCONN: return "Transport endpoint is not connected";
    case EPIPE: return "Broken pipe";
    case EADDRINUSE: return "Address already in use";
    case EADDRNOTAVAIL: return "Cannot assign requested address";
    default: return nullptr;
  }
}

}  // namespace

bool socketLayerReady() {
  static std::once_flag once;
  static bool ready = false;
  std::call_once(once, [] {
    WSADATA data;
    ready = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    if (ready) std::atexit([] { ::WSACleanup(); });
  });
  return ready;
}

TSocketHandle openSocket(int family, int type, int protocol) {
  if (!socketLayerReady()) return kNoSocket;
  const SOCKET s = ::WSASocketW(family, type, protocol, nullptr, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) return kNoSocket;
  u_long nonBlocking = 1;
  if (::ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
    ::closesocket(s);
    return kNoSocket;
  }
  return static_cast<TSocketHandle>(s);
}

int startConnect(TSocketHandle s, const sockaddr* address, socklen_t length) {
  if (::connect(static_cast<SOCKET>(s), address, length) == 0) return 0;
  const int err = errnoOf(::WSAGetLastError());
  // A non-blocking connect that goes on says "would block" on Winsock.
  return err == EAGAIN ? EINPROGRESS : err;
}

int pendingSocketError(TSocketHandle s) {
  int err = 0;
  int len = sizeof err;
  if (::getsockopt(static_cast<SOCKET>(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) != 0)
    return socketError();
  return err == 0 ? 0 : errnoOf(err);
}

void setNoDelay(TSocketHandle s) {
  BOOL one = TRUE;
  ::setsockopt(static_cast<SOCKET>(s), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
}

long receiveSome(TSocketHandle s, void* buffer, std::size_t size, bool peek) {
  const int n = ::recv(static_cast<SOCKET>(s), static_cast<char*>(buffer), static_cast<int>(size), peek ? MSG_PEEK : 0);
  return n == SOCKET_ERROR ? -1 : n;
}

bool useSlicedReceives(TSocketHandle, int) { return false; }

long receiveWaiting(TSocketHandle s, void* buffer, std::size_t size) { return receiveSome(s, buffer, size); }

long sendSome(TSocketHandle s, const void* buffer, std::size_t size) {
  const int n = ::send(static_cast<SOCKET>(s), static_cast<const char*>(buffer), static_cast<int>(size), 0);
  return n == SOCKET_ERROR ? -1 : n;
}

void shutdownSocket(TSocketHandle s) { ::shutdown(static_cast<SOCKET>(s), SD_BOTH); }

int closeSocketHandle(TSocketHandle s) { return ::closesocket(static_cast<SOCKET>(s)) == 0 ? 0 : socketError(); }

int socketError() { return errnoOf(::WSAGetLastError()); }

std::string socketErrorText(int err) {
  if (const char* text = errnoText(err)) return text;
  return "socket error " + std::to_string(err);
}

// getaddrinfo answers with Winsock error codes.
std::string resolveErrorText(int rc) { return win32ErrorText(static_cast<DWORD>(rc)); }

int pollDescriptor(TSocketHandle s, short events, int waitMs, short& revents) {
  WSAPOLLFD p{static_cast<SOCKET>(s), events, 0};
  const int rc = ::WSAPoll(&p, 1, waitMs);
  revents = p.revents;
  return rc == SOCKET_ERROR ? -1 : rc;
}

}  // namespace kestrel
