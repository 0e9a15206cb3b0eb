#pragma once
// The TCP/IP transport: the device is the server, the engine the client. Connecting
// has a time limit (`connectTimeoutMs`), each one-byte read waits at most 1,000 ms,
// and all bytes that are waiting are taken with one recv into the transport's own
// buffer.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/fd_connector.h"
#include "engine/socket_io.h"

namespace kestrel {

// One address a connect may try.
struct TConnectTarget {
  sockaddr_storage address{};
  socklen_t length = 0;
  int family = 0, socktype = 0, protocol = 0;
};

// The addresses `host` names, in the order to try them; empty with `cause` filled when
// there is none. With `loopbackOnly` (the environment variable KESTREL_LOOPBACK_ONLY,
// set by every test run) only numeric addresses are taken, so no name server is asked,
// and of them only 127.0.0.0/8, ::1 and ::ffff:127.x.y.z. Nothing is opened here: a
// connect only ever tries what this returns.
std::vector<TConnectTarget> connectTargets(const std::string& host, uint16_t port, bool loopbackOnly,
                                           std::string& cause);

class TTCPIPConnector : public TFDConnector {
 public:
  static constexpr uint32_t READ_TIMEOUT_MS = 1000;  // one read of one byte
  static constexpr uint32_t DIAGNOSTIC_PAUSE_MS = 1800;

  explicit TTCPIPConnector(TFiscalDevice* owner);
  ~TTCPIPConnector() override;

  // Host name or address; a new value is taken only while not connected.
  const std::string& Address() const { return fAddress; }
  void set_Address(const std::string& value);
  // TCP port; a new value is taken only while not connected.
  uint16_t port() const { return fPort; }
  void set_port(uint16_t value);
  // How long a connect may take before it counts as failed.
  uint32_t connectTimeoutMs = 5000;

  // True while the connection is up; a connection the peer has closed (and whose
  // bytes have all been read) counts as down.
  bool Active() const override;
  // "address:port" ("[address]:port" for an IPv6 address).
  std::string target() const override;
  // Why the last openConnection failed ("" after a successful one), for the user.
  const std::string& lastOpenError() const override { return fLastOpenError; }

  int openConnection() override;
  int closeConnection() override;
  int clearIOBuffers() override;
  uint32_t writeBuffer(const uint8_t* buffer, uint32_t buffLength) override;
  // One receive that does not wait: stale bytes are dropped, a closed or reset
  // connection is lost, silence means the frame may go.
  bool lookBeforeWrite() override;
  bool writeByte(uint8_t byteValue) override;
  bool readByte(uint8_t& b, uint32_t& bytesCount) override;
  using TFDConnector::readByte;
  // Reads exactly buffLength bytes, each wait for more data bounded by the read
  // timeout; returns the number read (0 set when all came, else -10).
  uint32_t readBuffer(uint8_t* buffer, uint32_t buffLength) override;
  // Waits at most 1,000 ms for data; true when unread data are there.
  bool check_Readable();

  // Copies Address, port, exitByTime and exitByTimeValue.
  void assign(const TTCPIPConnector& source);

 private:
  bool componentsPresent() const;
  bool socketOpen() const { return fSocket != kNoSocket; }
  // Connects within connectTimeoutMs; on failure fills `cause`.
  bool connectSocket(std::string& cause);
  // Waits up to `timeoutMs` and receives what is waiting into the input buffer.
  // Returns false on silence, a cancelled wait or a broken connection (then the socket
  // is closed and the link counts as lost).
  bool fillInput(uint32_t timeoutMs);
  // The peer closed or reset the connection: close the socket, remember the loss.
  void loseConnection();
  // Sends all bytes; on failure fills `cause` (and closes a broken connection).
  bool sendAll(const uint8_t* buffer, uint32_t length, std::string& cause);
  // The trace line and, with RaiseMode, the exception of a write without connection.
  void writeWithoutConnection(const char* where);
  // Drops the input buffer and everything the socket holds unread.
  void discardInput();
  void closeSocket();

  std::string fAddress = "127.0.0.1";
  uint16_t fPort = 59000;
  TSocketHandle fSocket = kNoSocket;
  bool fSlicedReceives = false;  // receives block for one slice (SO_RCVTIMEO)
  bool fLookedReady = false;     // lookBeforeWrite found the link up just before this write
  std::string fLastOpenError;
};

}  // namespace kestrel
