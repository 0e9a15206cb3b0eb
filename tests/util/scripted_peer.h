#pragma once
// A scripted device stand-in for byte-exact transport and engine tests. It serves a
// loopback TCP port or the master side of a pseudo-terminal pair on its own thread,
// records every byte it receives, and runs a list of steps against the transport:
//
//   auto peer = ScriptedPeer::tcp({expectFrame(), sendBytes(answer), silence(500)});
//   engine.TCPIP()->set_port(peer->port());           // or RS232()->portName = peer->slavePath()
//   ... run the command ...
//   EXPECT_TRUE(peer->waitDone());
//   EXPECT_EQ(peer->frames()[0], expectedRequest);
//
// Rules:
// - Steps run in order; an expect step waits at most `kStepTimeoutMs` for its bytes,
//   else the script stops and error() says why.
// - Bytes are consumed by expect steps only; bytes that arrive while the peer sends
//   or stays silent wait for the next expect step. received() holds every byte.
// - TCP: the script starts when a client connects. closeConnection() closes that
//   connection; the step after it waits for the next one. A client that disconnects
//   while the script is idle (done, or between steps that do not read) is replaced by
//   the next client that connects.
// - Pseudo-terminal: the peer keeps a slave descriptor of its own open, so the
//   transport may open and close the slave repeatedly. closeConnection() hangs up
//   (closes the master); nothing can run after it.
// - After the last step the peer keeps reading and recording until it is destroyed.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kestrel::test {

inline constexpr int kStepTimeoutMs = 10000;

struct PeerStep {
  enum class Kind { ExpectBytes, ExpectFrame, Send, SendComputed, SendSlowly, SendSyn, Silence, Close };
  Kind kind = Kind::Silence;
  size_t count = 0;     // ExpectBytes
  bool type2 = true;    // ExpectFrame
  std::string bytes{};  // Send, SendSlowly
  int everyMs = 0;      // SendSyn: interval; SendSlowly: gap after each byte
  int forMs = 0;        // SendSyn: duration; Silence: duration
  std::function<std::string(const std::string& lastFrame)> compute{};  // SendComputed
};

// Waits for exactly n more bytes.
PeerStep expectBytes(size_t n);
// Waits for one whole request frame (bytes before its SOH are skipped) and records it in
// frames(). The length field decides its end: one byte (protocol_Type1) or a nibble field
// (protocol_Type2).
PeerStep expectFrame(bool type2 = true);
// Sends the bytes at once.
PeerStep sendBytes(std::string bytes);
// Sends what `compute` returns for the last frame read (empty text when none was read).
PeerStep sendComputed(std::function<std::string(const std::string& lastFrame)> compute);
// Sends the bytes one at a time with a pause of `gapMs` after each.
PeerStep sendSlowly(std::string bytes, int gapMs);
// Sends SYN (16h) every `everyMs` for `forMs` (the first one at once).
PeerStep sendSyn(int everyMs, int forMs);
// Sends nothing for `ms` (still records what arrives).
PeerStep silence(int ms);
// TCP: closes the connection; pseudo-terminal: hangs up.
PeerStep closeConnection();

class ScriptedPeer {
 public:
  // Listens on 127.0.0.1 at a free port.
  static std::unique_ptr<ScriptedPeer> tcp(std::vector<PeerStep> script);
  // Opens a pseudo-terminal pair; transports open slavePath().
  static std::unique_ptr<ScriptedPeer> pty(std::vector<PeerStep> script);
  ~ScriptedPeer();
  ScriptedPeer(const ScriptedPeer&) = delete;
  ScriptedPeer& operator=(const ScriptedPeer&) = delete;

  uint16_t port() const { return fPort; }
  const std::string& slavePath() const { return fSlavePath; }

  // Every byte received so far, in order.
  std::string received() const;
  // The frames read by expectFrame steps.
  std::vector<std::string> frames() const;
  // TCP connections accepted so far.
  int connections() const;
  // True once every step has run; false when the script stopped early or time ran out.
  bool waitDone(int timeoutMs = kStepTimeoutMs);
  // True once at least n bytes have been received in total.
  bool waitReceived(size_t n, int timeoutMs = 5000);
  // Why the script stopped early ("" while it has not).
  std::string error() const;

 private:
  ScriptedPeer(std::vector<PeerStep> script, bool isTcp);
  void run();
  bool runStep(const PeerStep& step);
  bool ensureConnection();
  // Reads what arrives until `deadline` (ms, steady clock) or, with `untilData`, the first
  // chunk. 1: data came, 0: time ran out, -1: the other side closed, -2: stopping.
  int pump(int64_t deadline, bool untilData);
  bool pause(int ms);
  bool writeAll(const std::string& bytes);
  bool waitPending(size_t n, int64_t deadline);
  void dropConnection();
  void fail(const std::string& why);

  std::vector<PeerStep> fScript;
  bool fTcp;
  int fListen = -1;
  int fConn = -1;  // the accepted socket or the pty master
  int fSlaveKeep = -1;
  int fWake[2] = {-1, -1};
  uint16_t fPort = 0;
  std::string fSlavePath;
  std::string fPending;  // received, not yet consumed by an expect step
  std::string fLastFrame;
  std::thread fThread;

  mutable std::mutex fMutex;
  std::condition_variable fChanged;
  std::string fReceived;
  std::vector<std::string> fFrames;
  int fConnections = 0;
  bool fDone = false;
  bool fStopping = false;
  std::string fError;
};

}  // namespace kestrel::test
