#include "engine/tcpip_connector.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "engine/fiscal_device.h"
#include "support/err_container.h"

namespace kestrel {

namespace {
// One stalled send may wait this long for the peer to take data.
constexpr uint32_t kWriteStallMs = 10000;
// clearIOBuffers drops at most this much from the socket, so a peer that never stops
// sending cannot hold the caller.
constexpr uint32_t kMaxDiscard = 1u << 20;
}  // namespace

TTCPIPConnector::TTCPIPConnector(TFiscalDevice* owner) : TFDConnector(owner, 3000) {}

TTCPIPConnector::~TTCPIPConnector() {
  if (socketOpen()) discardInput();
  closeSocket();
}

void TTCPIPConnector::set_Address(const std::string& value) {
  if (!Active()) fAddress = value;
}

void TTCPIPConnector::set_port(uint16_t value) {
  if (!Active()) fPort = value;
}

bool TTCPIPConnector::componentsPresent() const { return errContainer() && misc(); }

bool TTCPIPConnector::Active() const {
  if (!socketOpen()) return false;
  if (hasInput()) return true;
  short revents = 0;
  if (pollDescriptor(fSocket, static_cast<short>(POLLIN | POLLRDHUP), 0, revents) < 0) return false;
  // A connection the peer ended (or reset) while we were idle is lost, not just closed.
  if (revents & (POLLERR | POLLHUP | POLLNVAL)) {
    markLinkLost();
    return false;
  }
  if (POLLRDHUP != 0 && (revents & POLLRDHUP)) {
    // The peer has finished sending; the connection is up while its last bytes wait.
    uint8_t b;
    if (receiveSome(fSocket, &b, 1, true) > 0) return true;
    markLinkLost();
    return false;
  }
  return true;
}

std::string TTCPIPConnector::target() const {
  const std::string host = fAddress.find(':') != std::string::npos ? "[" + fAddress + "]" : fAddress;
  return host + ":" + std::to_string(fPort);
}

void TTCPIPConnector::closeSocket() {
  if (socketOpen()) closeSocketHandle(fSocket);
  fSocket = kNoSocket;
  fLookedReady = false;
  dropInput();
}

void TTCPIPConnector::loseConnection() {
  closeSocket();
  markLinkLost();
  fSniffer->logThis("TTCPIPConnector: connection lost: " + target(), true);
}

namespace {

const char* const NOT_LOOPBACK = "not a numeric loopback address, and KESTREL_LOOPBACK_ONLY is set";

bool isLoopbackAddress(const sockaddr& a) {
  if (a.sa_family == AF_INET)
    return (ntohl(reinterpret_cast<const sockaddr_in&>(a).sin_addr.s_addr) >> 24) == 127;
  if (a.sa_family == AF_INET6) {
    const in6_addr& v6 = reinterpret_cast<const sockaddr_in6&>(a).sin6_addr;
    if (IN6_IS_ADDR_LOOPBACK(&v6)) return true;
    return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
  }
  return false;
}

bool loopbackOnlyFromEnvironment() {
  const char* v = std::getenv("KESTREL_LOOPBACK_ONLY");
  return v && *v && std::string(v) != "0";
}

}  // namespace

std::vector<TConnectTarget> connectTargets(const std::string& host, uint16_t port, bool loopbackOnly,
                                           std::string& cause) {
  if (!socketLayerReady()) {
    cause = "the socket layer cannot be started";
    return {};
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  // Under the guard a name is not looked up at all: even "localhost" could go to a name
  // server where the hosts file lacks it.
  if (loopbackOnly) hints.ai_flags = AI_NUMERICHOST;
  addrinfo* list = nullptr;
  const std::string service = std::to_string(port);
  if (const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list); rc != 0) {
    cause = rc == EAI_NONAME && (hints.ai_flags & AI_NUMERICHOST)
                ? NOT_LOOPBACK
                : "the address cannot be resolved (" + resolveErrorText(rc) + ")";
    return {};
  }
  std::vector<TConnectTarget> targets;
  cause = "no address to connect to";
  for (const addrinfo* ai = list; ai; ai = ai->ai_next) {
    if (loopbackOnly && !isLoopbackAddress(*ai->ai_addr)) {
      cause = NOT_LOOPBACK;
      continue;
    }
    TConnectTarget t;
    std::memcpy(&t.address, ai->ai_addr, ai->ai_addrlen);
    t.length = ai->ai_addrlen;
    t.family = ai->ai_family;
    t.socktype = ai->ai_socktype;
    t.protocol = ai->ai_protocol;
    targets.push_back(t);
  }
  ::freeaddrinfo(list);
  return targets;
}

bool TTCPIPConnector::connectSocket(std::string& cause) {
  const std::vector<TConnectTarget> targets = connectTargets(fAddress, fPort, loopbackOnlyFromEnvironment(), cause);
  const int64_t deadline = deadlineIn(connectTimeoutMs);
  for (const TConnectTarget& t : targets) {
    const TSocketHandle fd = openSocket(t.family, t.socktype, t.protocol);
    if (fd == kNoSocket) {
      cause = socketErrorText(socketError());
      continue;
    }
    int err = startConnect(fd, reinterpret_cast<const sockaddr*>(&t.address), t.length);
    if (err == EINPROGRESS) {
      const int ev = waitFor(fd, POLLOUT, deadline, connectTimeoutMs);
      if (ev == kWaitCancelled) {
        closeSocketHandle(fd);
        cause = "cancelled by the user";
        return false;
      }
      if (ev == 0) {
        err = ETIMEDOUT;
        cause = "no answer within " + std::to_string(connectTimeoutMs) + " ms";
      } else {
        err = ev < 0 ? socketError() : pendingSocketError(fd);
      }
    }
    if (err == 0) {
      setNoDelay(fd);
      fSlicedReceives = useSlicedReceives(fd, TFiscalDevice::IDLE_INTERVAL_MS);
      fSocket = fd;
      dropInput();
      return true;
    }
    if (err != ETIMEDOUT) cause = socketErrorText(err);
    closeSocketHandle(fd);
    if (deadline >= 0 && nowMs() >= deadline) break;
  }
  return false;
}

int TTCPIPConnector::openConnection() {
  if (!componentsPresent()) {
    setCode(codes::GENERAL);
    return codes::GENERAL;
  }
  const OpeningScope opening(*this);
  setCode(codes::TCP_CONNECT);
  try {
    int result = 0;
    if (!Active()) {
      closeSocket();  // a connection the peer dropped
      std::string cause;
      if (connectSocket(cause)) {
        result = Active() ? 0 : codes::GENERAL;
        if (result != 0) fLastOpenError = target() + ": the device closed the connection";
      } else {
        result = waitCancelled() ? CODE_CANCELLED : codes::TCP_CONNECT;
        fLastOpenError = target() + ": " + cause;
        fSniffer->logThis("TTCPIPConnector.openConnection: " + fLastOpenError, true);
      }
    }
    setCode(result);
    if (result == 0) {
      fLastOpenError.clear();
      clearLinkLost();
      if (wantsDiagnosticRead()) {
        // The device needs a moment after accepting before it takes commands.
        if (pauseFor(DIAGNOSTIC_PAUSE_MS, DIAGNOSTIC_PAUSE_MS) && runDiagnosticRead())
          setCode(0);
        else
          diagnosticFailure(fLastOpenError);
      } else {
        setCode(0);
      }
    }
  } catch (const std::exception& e) {
    setCode(codes::TCP_CONNECT);
    fLastOpenError = target() + ": " + e.what();
    fSniffer->logThis(std::string("TTCPIPConnector.openConnection: ") + e.what(), true);
  }
  raiseIfNeeded();
  return lastCode();
}

int TTCPIPConnector::closeConnection() {
  const bool wasActive = Active();
  if (!socketOpen() || !wasActive) {
    closeSocket();
    setCode(0);
    return -1;
  }
  shutdownSocket(fSocket);
  const int err = closeSocketHandle(fSocket);
  fSocket = kNoSocket;
  fLookedReady = false;
  dropInput();
  if (err != 0) {
    failWith(codes::TCP_DISCONNECT, "TTCPIPConnector.closeConnection: " + socketErrorText(err));
    return 0;
  }
  setCode(0);
  return 0;
}

void TTCPIPConnector::discardInput() {
  dropInput();
  uint32_t dropped = 0;
  while (socketOpen() && dropped < kMaxDiscard) {
    const long n = receiveSome(fSocket, fInput.data(), kInputSize);
    if (n > 0) {
      dropped += static_cast<uint32_t>(n);
      continue;
    }
    if (n == 0 || socketError() != EAGAIN) loseConnection();  // dropped by the peer
    break;
  }
  dropInput();
}

int TTCPIPConnector::clearIOBuffers() {
  if (!componentsPresent()) {
    setCode(codes::GENERAL);
    return codes::GENERAL;
  }
  try {
    discardInput();
    setCode(0);
  } catch (const std::exception& e) {
    setCode(codes::IO);
    traceLastMessage(std::string("TTCPIPConnector.clearIOBuffers: ") + e.what());
  }
  raiseIfNeeded();
  return lastCode();
}

bool TTCPIPConnector::sendAll(const uint8_t* buffer, uint32_t length, std::string& cause) {
  uint32_t sent = 0;
  while (sent < length) {
    const long n = sendSome(fSocket, buffer + sent, length - sent);
    if (n > 0) {
      sent += static_cast<uint32_t>(n);
      continue;
    }
    const int err = n < 0 ? socketError() : EIO;
    if (err == EAGAIN) {
      const int ev = waitFor(fSocket, POLLOUT, deadlineIn(kWriteStallMs), kWriteStallMs);
      if (ev > 0 && (ev & POLLOUT)) continue;
      if (ev == kWaitCancelled) {
        cause = "cancelled by the user";
      } else if (ev == 0) {
        cause = "the device takes no data";
      } else {
        cause = "the connection broke";
        loseConnection();
      }
      return false;
    }
    cause = socketErrorText(err);
    loseConnection();  // EPIPE, ECONNRESET: the peer is gone
    return false;
  }
  return true;
}

void TTCPIPConnector::writeWithoutConnection(const char* where) {
  const std::string text = std::string(where) + ": not connected";
  fSniffer->logThis(text, true);
  if (errContainer()->RaiseMode) throw EConnectorError(text, codes::GENERAL);
}

bool TTCPIPConnector::lookBeforeWrite() {
  fLookedReady = false;
  if (!componentsPresent() || !socketOpen()) return false;
  discardInput();  // closes the socket when the peer has ended the connection
  if (!socketOpen()) return false;
  setCode(0);
  fLookedReady = true;
  return true;
}

uint32_t TTCPIPConnector::writeBuffer(const uint8_t* buffer, uint32_t buffLength) {
  if (!componentsPresent()) return 0;
  // Right after the engine's look the connection is known to be up: no second look.
  const bool looked = fLookedReady && socketOpen();
  fLookedReady = false;
  if (!looked && !Active()) {
    writeWithoutConnection("TTCPIPConnector.writeBuffer");
    return 0;
  }
  std::string cause;
  if (!sendAll(buffer, buffLength, cause)) {
    // No code of its own: the engine's read that follows runs into its time limit.
    fSniffer->logThis("TTCPIPConnector.writeBuffer: " + cause, true);
    return 0;
  }
  setCode(0);
  traceHex(buffer, buffLength, toDevice);
  return buffLength;
}

bool TTCPIPConnector::writeByte(uint8_t byteValue) {
  if (!componentsPresent()) return false;
  if (!Active()) {
    writeWithoutConnection("TTCPIPConnector.writeByte");
    return false;
  }
  std::string cause;
  if (!sendAll(&byteValue, 1, cause)) {
    failWith(codes::IO, "TTCPIPConnector.writeByte: " + cause);
    return false;
  }
  setCode(0);
  traceHex(&byteValue, 1, toDevice);
  return true;
}

bool TTCPIPConnector::fillInput(uint32_t timeoutMs) {
  fLookedReady = false;
  const int64_t deadline = deadlineIn(timeoutMs);
  while (socketOpen()) {
    if (idleCancelled(readLimitMs())) return false;
    const int64_t left = deadline < 0 ? INT64_MAX : deadline - nowMs();
    if (left <= 0) return false;
    // The receive itself waits one slice for the answer; a wait shorter than a slice
    // (or a socket that could not be set so) polls first and then takes what came.
    bool waits = true;
    if (!fSlicedReceives || left < TFiscalDevice::IDLE_INTERVAL_MS) {
      const int ev = waitFor(fSocket, POLLIN, deadline, readLimitMs());
      if (ev == 0 || ev == kWaitCancelled) return false;
      if (ev < 0) {
        loseConnection();
        return false;
      }
      waits = false;
    }
    const long n = waits ? receiveWaiting(fSocket, fInput.data(), kInputSize)
                         : receiveSome(fSocket, fInput.data(), kInputSize);
    if (n > 0) {
      fInPos = 0;
      fInLen = static_cast<uint32_t>(n);
      return true;
    }
    if (n == 0) {
      loseConnection();  // the peer closed the connection
      return false;
    }
    if (const int err = socketError(); err == EINTR || err == EAGAIN) continue;  // a slice ended
    loseConnection();  // ECONNRESET and the like
    return false;
  }
  return false;
}

bool TTCPIPConnector::readByte(uint8_t& b, uint32_t& bytesCount) {
  bytesCount = 0;
  if (!componentsPresent()) return false;
  if (hasInput()) return deliverBuffered(b, bytesCount);
  if (!socketOpen()) {
    failWith(codes::GENERAL, "TTCPIPConnector.readByte");
    return false;
  }
  if (!fillInput(READ_TIMEOUT_MS)) {
    failWith(codes::IO, "");
    return false;
  }
  return deliverBuffered(b, bytesCount);
}

uint32_t TTCPIPConnector::readBuffer(uint8_t* buffer, uint32_t buffLength) {
  if (!componentsPresent()) return 0;
  if (!socketOpen() && !hasInput()) {
    failWith(codes::GENERAL, "TTCPIPConnector.readBuffer");
    return 0;
  }
  uint32_t got = takeInput(buffer, buffLength);
  while (got < buffLength && fillInput(READ_TIMEOUT_MS)) got += takeInput(buffer + got, buffLength - got);
  return finishRead(buffer, got, buffLength);
}

bool TTCPIPConnector::check_Readable() {
  if (!componentsPresent()) return false;
  return hasInput() || fillInput(READ_TIMEOUT_MS);
}

void TTCPIPConnector::assign(const TTCPIPConnector& source) {
  set_Address(source.fAddress);
  set_port(source.fPort);
  exitByTime = source.exitByTime;
  exitByTimeValue = source.exitByTimeValue;
}

}  // namespace kestrel
