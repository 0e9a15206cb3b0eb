#pragma once
// kestrel-sim: a simulated KT-family device behind the link protocol, served over
// TCP (one client at a time) and/or a pseudo-terminal, on a background thread.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <initializer_list>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "sim/device_model.h"
#include "sim/link.h"

struct addrinfo;

namespace kestrel::sim {

struct SimulatorOptions {
  bool tcp = true;
  std::string host = "127.0.0.1";
  uint16_t port = 4999;  // 0: any free port, see Simulator::port()
  bool pty = false;
  std::string ptyLink;   // also make this symlink to the pty's slave path
  int baud = 0;          // pace written bytes like an N-baud 8N1 line, and on the pty answer
                         // only a client set to that speed; 0: as fast as possible, any speed
  std::string model = "KT-33A";
  bool modelGiven = false;  // the model was chosen explicitly (a state file of another model is reported)
  FaultOptions faults;
  std::string stateFile;
  std::string logFile;
  LinkProtocol protocol = LinkProtocol::Type2;
  int synIntervalMs = 100;    // SYN interval while a command takes long (fault slow:MS)
  int frameTimeoutMs = 1000;  // a frame whose bytes stop arriving for this long is answered with NAK
  std::string servicePassword = "1234";
  // A TCP client silent this long is dropped when another one is waiting to connect;
  // 0: never (--idle-drop-ms).
  int idleDropMs = 30000;
  std::function<DeviceTime()> hostClock;  // empty: the host's local clock
};

class Simulator {
 public:
  explicit Simulator(SimulatorOptions options);
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Loads the state file, opens the transports and starts serving. False with a
  // message when a transport cannot be opened.
  bool start(std::string& error);
  // Stops serving, joins the thread, closes every descriptor and saves the state.
  void stop();
  bool running() const { return fThread.joinable(); }

  uint16_t port() const { return fPort; }
  const std::string& ptyPath() const { return fPtyPath; }
  // Set when the state file could not be loaded; the device then started fresh.
  const std::string& stateWarning() const { return fStateWarning; }
  uint64_t framesServed() const { return fFrames.load(); }

  // Runs `f` with the device under the simulator's lock.
  template <class F>
  decltype(auto) withDevice(F&& f) {
    std::lock_guard lock(fDeviceMutex);
    return f(fDevice);
  }
  // Writes the state file now (temporary file, then rename). False on an I/O error.
  bool saveState(std::string* error = nullptr);
  // The last write of the state file failed (and nothing has been written since).
  bool stateSaveFailed() const { return fSaveFailed.load(); }

 private:
  struct Session;
  // The platform's side: the log and the transports opened (false with `error`; the
  // caller then closes what was opened), the serving loop woken to see the stop flag.
  bool openTransports(std::string& error);
  void closeTransports();
  void wakeLoop();
  // The address the TCP server listens on, from getaddrinfo; null with `error`.
  addrinfo* listenAddress(std::string& error);
  void run();
  void serve(Session& s);
  void answerFrame(Session& s, const RequestFrame& frame);
  bool writeBytes(Session& s, const char* data, size_t len);
  // The platform's writes: what the line takes now (0: nothing now, -1: the session is
  // lost); after a 0, waits until it takes bytes again, false when it stays blocked.
  long writeSome(Session& s, const char* data, size_t len);
  bool waitWritable(Session& s, bool& flushed);
  // Bytes a session received: answered, and the session closed when a fault cut it.
  void received(Session& s, const uint8_t* data, size_t len);
  // Each turn of the serving loop: frames cut short get their NAK, the state is saved.
  void tick(std::initializer_list<Session*> sessions, std::chrono::steady_clock::time_point& lastSave);
  // A TCP client silent for idleDropMs, which gives way when another client waits.
  bool idleClientDue(const Session& tcp) const;
  void dropIdleClient(Session& tcp);
  void closeSession(Session& s);
  void logExchange(uint16_t cmd, std::string_view input, int code, std::string_view answer);
  void logNote(std::string_view text);
  // False (and `error`) for a state file that exists but cannot be read or is no
  // regular file: it is left as it is.
  bool loadState(std::string& error);

  SimulatorOptions fOpt;
  DeviceModel fDevice;
  std::mutex fDeviceMutex;
  std::thread fThread;
  std::atomic<bool> fStop{false};
  std::atomic<uint64_t> fFrames{0};
  int fWake[2] = {-1, -1};
  std::intptr_t fListen = -1;  // a descriptor (POSIX) or a socket (Windows)
  int fPtyMaster = -1, fPtySlave = -1;
  uint16_t fPort = 0;
  std::string fPtyPath;
  bool fLinkMade = false;
  std::string fStateWarning;
  bool fStateRead = false;  // the state file was read (or is still to be made)
  std::FILE* fLog = nullptr;
  bool fSaveErrorShown = false;
  std::atomic<bool> fSaveFailed{false};
};

// Whether this platform has pseudo-terminals for --pty (Linux does, Windows does not).
bool ptySupported();

// The kestrel-sim program: `kestrel sim [options]` calls it as well.
int runSimulatorMain(int argc, char** argv);

}  // namespace kestrel::sim
