#pragma once
// The socket calls whose form differs between POSIX and Winsock, so that the TCP code
// around them is one. Every socket is non-blocking and not inherited by child
// processes; every error is an errno value (Winsock's codes are mapped to them).
#include <cstddef>
#include <cstdint>
#include <string>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#endif

// Linux tells a peer that finished sending apart from a broken link; elsewhere only the
// hang-up is seen.
#ifndef POLLRDHUP
#define POLLRDHUP 0
#endif

namespace kestrel {

// A socket: a descriptor on POSIX, a SOCKET on Windows; kNoSocket when there is none.
using TSocketHandle = std::intptr_t;
inline constexpr TSocketHandle kNoSocket = -1;

// Winsock is started once for the process (and cleaned up at its end); false when
// it cannot be started.
bool socketLayerReady();
// A new non-blocking socket; kNoSocket and socketError() on failure.
TSocketHandle openSocket(int family, int type, int protocol);
// 0, EINPROGRESS while the connect goes on, or the error.
int startConnect(TSocketHandle s, const sockaddr* address, socklen_t length);
// The outcome of a connect that went on: 0 or its error.
int pendingSocketError(TSocketHandle s);
void setNoDelay(TSocketHandle s);
// What is waiting, without waiting: the count, 0 at the peer's end of data, -1 with
// socketError() (EAGAIN when nothing waits).
long receiveSome(TSocketHandle s, void* buffer, std::size_t size, bool peek = false);
// After a connect: receives block, each for at most `sliceMs`, so that the wait for an
// answer is the receive that takes it (receiveWaiting); every other call still does not
// wait. False when the socket refuses (then every wait polls first); always false on
// Windows, where a socket is blocking or not for every call alike.
bool useSlicedReceives(TSocketHandle s, int sliceMs);
// A receive that waits at most the slice of useSlicedReceives; -1 with EAGAIN when it ended.
long receiveWaiting(TSocketHandle s, void* buffer, std::size_t size);
// Sends what the socket takes now: the count, or -1 with socketError() (EAGAIN when full).
long sendSome(TSocketHandle s, const void* buffer, std::size_t size);
void shutdownSocket(TSocketHandle s);
// 0 or the error.
int closeSocketHandle(TSocketHandle s);
// The error of the last failed socket call.
int socketError();
std::string socketErrorText(int err);
// The text of a getaddrinfo answer code.
std::string resolveErrorText(int rc);
// poll() of one socket (on POSIX any descriptor, a terminal too) for `waitMs`: >0 with `revents` set, 0 after the time, -1 with
// socketError().
int pollDescriptor(TSocketHandle s, short events, int waitMs, short& revents);

}  // namespace kestrel
