#pragma once
// A device stand-in for the engine's tests: it listens on a loopback TCP port or owns
// a pseudo-terminal, and runs a test-written script against the engine's bytes on its
// own thread. Every request frame it reads is recorded.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kestrel::test {

using Bytes = std::vector<uint8_t>;

Bytes bytesOf(const std::string& s);
std::string hexOf(const Bytes& b);  // "01 30 30 ..."

// An answer frame as a device sends it.
Bytes answerFrame(bool type2, uint8_t seq, uint16_t cmd, const std::string& data,
                  const std::vector<uint8_t>& status = {});

// Parsed view of a request frame.
struct Request {
  Bytes raw;
  uint8_t seq = 0;
  uint16_t cmd = 0;
  std::string data;
};

class PeerLink {
 public:
  PeerLink(int fd, bool type2) : fFd(fd), fType2(type2) {}
  // Reads one complete request frame; false on timeout or end of stream.
  bool readRequest(Request& out, int timeoutMs = 5000);
  void send(const Bytes& b);
  void send(const std::string& s) { send(bytesOf(s)); }
  // Answers a request with the given data (and status bytes).
  void answer(const Request& r, const std::string& data, const std::vector<uint8_t>& status = {});
  void sleepMs(int ms);
  void close();
  bool type2() const { return fType2; }
  std::function<void(const Request&)> onRequest;

 private:
  bool readByte(uint8_t& b, int timeoutMs);
  int fFd;
  bool fType2;
};

class DevicePeer {
 public:
  using Script = std::function<void(PeerLink&)>;
  ~DevicePeer();

  // Accepts `connections` connections, one after the other, on a free loopback port and
  // runs the script on each.
  static std::unique_ptr<DevicePeer> tcp(bool type2, Script script, int connections = 1);
  // Opens a pseudo-terminal pair; the engine opens slavePath(), the script runs on the master.
  static std::unique_ptr<DevicePeer> pty(bool type2, Script script);

  uint16_t port() const { return fPort; }
  const std::string& slavePath() const { return fSlavePath; }
  // Waits for the script to finish.
  void join();
  // Request frames the script has read so far.
  std::vector<Request> requests() const;

  // A script that answers every request with "0" TAB (and command-specific data from `reply`).
  static Script answerAll(std::function<std::string(const Request&)> reply = nullptr);

 private:
  DevicePeer() = default;
  // Runs the script on one connection (a socket or the pty master), recording requests.
  void runOn(int fd, bool type2, const Script& script);
  int fListen = -1;
  int fMaster = -1;
  int fSlaveKeep = -1;
  uint16_t fPort = 0;
  std::string fSlavePath;
  std::thread fThread;
  mutable std::mutex fMutex;
  std::vector<Request> fRequests;
};

}  // namespace kestrel::test
