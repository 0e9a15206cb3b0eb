// The simulator on Windows: TCP only (Windows has no pseudo-terminals), served by a loop
// that polls one socket at a time (the listening one while no client is connected, else
// the client's) and looks at the stop flag every 50 ms.
#include "sim/simulator.h"

#include <fmt/format.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include <share.h>

#include "engine/socket_io.h"
#include "sim/simulator_session.h"
#include "support/files.h"
#include "support/win32_text.h"

namespace kestrel::sim {

namespace {

constexpr int POLL_MS = 50;

void closeSocket(std::intptr_t& s) {
  if (s != kNoSocket) closeSocketHandle(s);
  s = kNoSocket;
}

}  // namespace

bool Simulator::openTransports(std::string& error) {
  auto failWith = [&](std::string msg) {
    error = std::move(msg);
    return false;
  };
  if (fOpt.pty) return failWith("a pseudo-terminal (--pty) is served on Linux only; on Windows serve TCP");
  if (!fOpt.logFile.empty()) {
    try {
      checkRegularFile(fOpt.logFile);
    } catch (const EFileError&) {
      return failWith(fmt::format("log file {} is not a regular file", fOpt.logFile));
    }
    fLog = ::_wfsopen(widen(fOpt.logFile).c_str(), L"ab", _SH_DENYWR);
    if (!fLog) return failWith(fmt::format("cannot open log file {}: {}", fOpt.logFile, std::strerror(errno)));
  }
  if (!fOpt.tcp) return failWith("neither TCP nor a pseudo-terminal was requested");
  if (!socketLayerReady()) return failWith("cannot start Windows Sockets");
  addrinfo* res = listenAddress(error);
  if (!res) return false;
  // No SO_REUSEADDR: on Windows it lets another program take the same port.
  fListen = openSocket(AF_INET, SOCK_STREAM, 0);
  const SOCKET s = static_cast<SOCKET>(fListen);
  const bool bound = fListen != kNoSocket && ::bind(s, res->ai_addr, static_cast<int>(res->ai_addrlen)) == 0 &&
                     ::listen(s, 4) == 0;
  ::freeaddrinfo(res);
  if (!bound)
    return failWith(fmt::format("cannot listen on {}:{}: {}", fOpt.host, fOpt.port, socketErrorText(socketError())));
  sockaddr_in addr{};
  int len = sizeof addr;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
  fPort = ntohs(addr.sin_port);
  return true;
}

// The loop looks at the stop flag at least every POLL_MS.
void Simulator::wakeLoop() {}

void Simulator::closeTransports() { closeSocket(fListen); }

void Simulator::closeSession(Session& s) {
  closeSocket(s.fd);
  logNote("client disconnected");
  s.reset();
}

long Simulator::writeSome(Session& s, const char* data, size_t len) {
  const long w = sendSome(s.fd, data, len);
  if (w >= 0) return w;
  return socketError() == EAGAIN ? 0 : -1;
}

bool Simulator::waitWritable(Session& s, bool&) {
  short revents = 0;
  return pollDescriptor(s.fd, POLLOUT, WRITE_STALL_MS, revents) > 0 && (revents & POLLOUT);
}

void Simulator::run() {
  Session tcp(fOpt.protocol, true);
  std::vector<uint8_t> buf(65536);
  auto lastSave = Clock::now();
  while (!fStop) {
    short revents = 0;
    if (tcp.fd == kNoSocket) {
      if (pollDescriptor(fListen, POLLIN, POLL_MS, revents) > 0 && (revents & POLLIN) && !fStop) {
        const SOCKET c = ::accept(static_cast<SOCKET>(fListen), nullptr, nullptr);
        u_long nonBlocking = 1;
        if (c != INVALID_SOCKET && ::ioctlsocket(c, FIONBIO, &nonBlocking) == 0) {
          tcp.reset();
          tcp.fd = static_cast<std::intptr_t>(c);
          setNoDelay(tcp.fd);
          tcp.lastByte = Clock::now();
          logNote("client connected");
        } else if (c != INVALID_SOCKET) {
          ::closesocket(c);
        }
      }
    } else if (idleClientDue(tcp) && pollDescriptor(fListen, POLLIN, 0, revents) > 0 && (revents & POLLIN)) {
      dropIdleClient(tcp);
      continue;
    } else if (pollDescriptor(tcp.fd, POLLIN, POLL_MS, revents) > 0 && !fStop) {
      const long r = receiveSome(tcp.fd, buf.data(), buf.size());
      if (r > 0)
        received(tcp, buf.data(), static_cast<size_t>(r));
      else if (r == 0 || socketError() != EAGAIN)
        closeSession(tcp);
    }
    tick({&tcp}, lastSave);
  }
  closeSocket(tcp.fd);
}

bool ptySupported() { return false; }

}  // namespace kestrel::sim
