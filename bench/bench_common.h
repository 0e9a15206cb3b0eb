#pragma once
// Pieces the benchmarks share: Type2 frames built with the engine's own codec, a
// minimal device on loopback TCP that answers every request at once, a plain-socket
// client doing the exchange without the engine, and engines set up for the benches.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "engine/fiscal_device.h"
#include "engine/frame_codec.h"
#include "engine/rs232_connector.h"
#include "engine/tcpip_connector.h"
#include "support/err_container.h"
#include "support/fd_misc.h"

namespace kestrel::bench {

// Where the two ends of an exchange run. On one core the wall time of an exchange is
// the CPU both ends spend on it plus two context switches; on two cores it also holds
// two cross-core wake-ups, which on this kind of virtual machine cost more than the
// work itself and vary from run to run with the scheduler's choices. Left to the
// scheduler, a run lands on either, so every exchange benchmark pins both ends and is
// run once per placement (Arg 0: one core, Arg 1: two cores).
enum Placement { ONE_CORE = 0, TWO_CORES = 1 };

inline void pinThisThread(int cpu) {
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(cpu, &set);
  pthread_setaffinity_np(pthread_self(), sizeof set, &set);
}

inline void unpinThisThread() {
  cpu_set_t set;
  CPU_ZERO(&set);
  for (int i = 0; i < CPU_SETSIZE; ++i) CPU_SET(i, &set);
  pthread_setaffinity_np(pthread_self(), sizeof set, &set);
}

// The peer of a placement, started once: threads inherit the affinity of the thread
// that starts them, so it is made while the benchmark thread sits on the peer's core.
template <class Peer, class Make>
Peer* peerFor(benchmark::State& state, std::unique_ptr<Peer> (&slots)[2], Make make) {
  const auto placement = static_cast<size_t>(state.range(0));
  if (!slots[placement]) {
    pinThisThread(placement == TWO_CORES ? 1 : 0);
    slots[placement] = make();
  }
  return slots[placement].get();
}

// Pins the benchmark thread to core 0 for one benchmark run and frees it afterwards.
struct BenchThreadPin {
  BenchThreadPin() { pinThisThread(0); }
  ~BenchThreadPin() { unpinThisThread(); }
};

// Registers the two placements of an exchange benchmark.
inline void placements(benchmark::internal::Benchmark* b) {
  b->ArgName("two_cores")->Arg(ONE_CORE)->Arg(TWO_CORES)->UseRealTime();
}

// Bytes a Type2 frame adds around its data.
inline constexpr size_t REQUEST_OVERHEAD = 16;  // SOH, length, sequence, command, postamble, checksum, terminator
inline constexpr size_t ANSWER_OVERHEAD = 25;   // the same plus separator and 8 status bytes
inline constexpr size_t FRAME_LEN_EXCESS = 26;  // length field minus frame size, either kind

inline void appendNibbles(std::string& out, uint16_t value) {
  uint8_t nb[4];
  frame::putNibbles(nb, value);
  out.append(reinterpret_cast<const char*>(nb), 4);
}

inline void appendTail(std::string& out) {
  out.push_back(static_cast<char>(frame::POSTAMBLE));
  appendNibbles(out, frame::checksum(reinterpret_cast<const uint8_t*>(out.data()) + 1, out.size() - 1));
  out.push_back(static_cast<char>(frame::TERMINATOR));
}

// SOH, length field, sequence, command and data.
inline void startFrame(uint16_t lengthOffset, uint8_t seq, uint16_t cmd, std::string_view data, std::string& out) {
  out.clear();
  out.push_back(static_cast<char>(frame::SOH));
  appendNibbles(out, static_cast<uint16_t>(data.size() + lengthOffset));
  out.push_back(static_cast<char>(seq));
  appendNibbles(out, cmd);
  out.append(data);
}

// A Type2 request frame exactly as the engine writes it.
inline void requestFrame(uint8_t seq, uint16_t cmd, std::string_view data, std::string& out) {
  startFrame(frame::REQ_LEN_OFFSET_TYPE2, seq, cmd, data, out);
  appendTail(out);
}

// A Type2 answer frame with status bytes 80h (no bit set).
inline void answerFrame(uint8_t seq, uint16_t cmd, std::string_view data, std::string& out) {
  startFrame(frame::ANS_LEN_OFFSET_TYPE2, seq, cmd, data, out);
  out.push_back(static_cast<char>(frame::SEPARATOR));
  out.append(8, static_cast<char>(0x80));
  appendTail(out);
}

// Answer data of `size` bytes shaped like a device's: code 0, then TAB-terminated fields.
inline std::string answerData(size_t size) {
  std::string s = "0\t";
  while (s.size() < size) s += "Field value\t";
  s.resize(size - 1);
  s += '\t';
  return s;
}

inline sockaddr_in loopbackAddress(uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  return a;
}

inline int listenLoopback(uint16_t& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a = loopbackAddress(0);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::listen(fd, 4);
  socklen_t l = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &l);
  port = ntohs(a.sin_port);
  return fd;
}

inline int connectLoopback(uint16_t port) {
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a = loopbackAddress(port);
  if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(s);
    return -1;
  }
  const int one = 1;
  ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return s;
}

// Receives into `buf` until one whole Type2 frame (SYN bytes before it skipped) is in;
// false when the connection ends first.
inline bool recvFrame(int fd, std::string& buf, size_t& frameSize) {
  buf.clear();
  char tmp[4096];
  for (;;) {
    size_t start = 0;
    while (start < buf.size() && static_cast<uint8_t>(buf[start]) == frame::SYN) ++start;
    if (start > 0) buf.erase(0, start);
    if (buf.size() >= 5) {
      const uint16_t len = frame::getNibbles(reinterpret_cast<const uint8_t*>(buf.data()) + 1);
      // Both Type2 frame kinds are 26 bytes shorter than their length field says.
      if (len < FRAME_LEN_EXCESS) return false;
      frameSize = static_cast<size_t>(len) - FRAME_LEN_EXCESS;
      if (buf.size() >= frameSize) return true;
    }
    const ssize_t r = ::recv(fd, tmp, sizeof tmp, 0);
    if (r <= 0) return false;
    buf.append(tmp, static_cast<size_t>(r));
  }
}

// A device that answers every request frame at once with the same answer data.
class ScriptedPeer {
 public:
  explicit ScriptedPeer(std::string answerData) : fData(std::move(answerData)) {
    fListen = listenLoopback(fPort);
    fThread = std::thread([this] { run(); });
  }
  ~ScriptedPeer() {
    fStop = true;
    ::shutdown(fListen, SHUT_RDWR);
    ::close(fListen);
    fThread.join();
  }
  uint16_t port() const { return fPort; }

 private:
  void run() {
    while (!fStop) {
      const int c = ::accept(fListen, nullptr, nullptr);
      if (c < 0) return;
      const int one = 1;
      ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      std::string in, out;
      char tmp[4096];
      for (;;) {
        if (in.size() >= 5) {
          const size_t need = frame::getNibbles(reinterpret_cast<const uint8_t*>(in.data()) + 1) - FRAME_LEN_EXCESS;
          if (in.size() >= need) {
            const auto* p = reinterpret_cast<const uint8_t*>(in.data());
            answerFrame(p[5], frame::getNibbles(p + 6), fData, out);
            ::send(c, out.data(), out.size(), MSG_NOSIGNAL);
            in.erase(0, need);
            continue;
          }
        }
        const ssize_t r = ::recv(c, tmp, sizeof tmp, 0);
        if (r <= 0) break;
        in.append(tmp, static_cast<size_t>(r));
      }
      ::close(c);
    }
  }
  std::string fData;
  int fListen = -1;
  uint16_t fPort = 0;
  std::atomic<bool> fStop{false};
  std::thread fThread;
};

// The exchange done without the engine: build the request frame, send it, receive
// until the answer frame is complete.
class PlainClient {
 public:
  explicit PlainClient(uint16_t port) : fSocket(connectLoopback(port)) {}
  ~PlainClient() {
    if (fSocket >= 0) ::close(fSocket);
  }
  bool ok() const { return fSocket >= 0; }
  // Returns the answer frame's size, 0 when the connection ended.
  size_t exchange(uint16_t cmd, std::string_view data) {
    requestFrame(fSeq, cmd, data, fRequest);
    fSeq = frame::nextSequence(fSeq, true);
    if (::send(fSocket, fRequest.data(), fRequest.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(fRequest.size()))
      return 0;
    size_t size = 0;
    return recvFrame(fSocket, fAnswer, size) ? size : 0;
  }
  const std::string& answer() const { return fAnswer; }

 private:
  int fSocket;
  uint8_t fSeq = frame::SEQ_FIRST;
  std::string fRequest, fAnswer;
};

// The plain-socket exchange per iteration. With `expectedSize` set, a first exchange
// outside the timed loop must bring an answer frame of that size.
inline void runPlainExchanges(benchmark::State& state, uint16_t port, uint16_t cmd, const std::string& data,
                              size_t expectedSize = 0) {
  PlainClient c(port);
  if (!c.ok() || (expectedSize != 0 && c.exchange(cmd, data) != expectedSize)) {
    state.SkipWithError("cannot connect, or the first exchange failed");
    return;
  }
  for (auto _ : state) {
    if (c.exchange(cmd, data) == 0) {
      state.SkipWithError("connection ended");
      break;
    }
    benchmark::DoNotOptimize(c.answer());
  }
}

// An engine with its error container and helper component; `configure` sets it up
// (the application's device profile, or the engine's plain Type2 settings).
struct BenchEngine {
  TErrContainer err;
  TFDMisc misc;
  TFiscalDevice fd;

  BenchEngine() {
    err.RaiseMode = false;
    fd.set_errContainer(&err);
    fd.set_Misc(&misc);
    fd.messageBox = [](const std::string&) {};
  }
  void plainType2() {
    fd.dd()->LowLevel().set_ProtocolType(protocol_Type2);
    fd.dd()->CodePage = 1250;
    fd.add_DefaultDelimiters();
  }
  bool connectTcp(uint16_t port) {
    fd.set_CommunicationType(ct_TCPIP);
    fd.TCPIP()->set_Address("127.0.0.1");
    fd.TCPIP()->set_port(port);
    return fd.TCPIP()->openConnection() == 0;
  }
  // The serial transport on a pseudo-terminal's slave `path`.
  bool connectPty(const std::string& path, int baud) {
    fd.set_CommunicationType(ct_RS232);
    fd.RS232()->portName = path;
    fd.RS232()->baudRate = baud;
    return fd.RS232()->openConnection() == 0;
  }
};

// Runs `command` per iteration and stops the benchmark with an error when it fails.
inline void runCommands(benchmark::State& state, TFiscalDevice& fd, uint16_t cmd, const std::string& data) {
  std::string out;
  for (auto _ : state) {
    if (!fd.customCommand(cmd, data, out)) {
      state.SkipWithError("command failed");
      break;
    }
    benchmark::DoNotOptimize(out);
  }
}

// Two peers of the same kind, one for the engine and one for the plain client, so the
// two can take turns (each peer serves one connection at a time).
template <class Peer>
struct PeerPair {
  std::unique_ptr<Peer> forEngine, forPlain;
};

// Engine commands and plain exchanges in turns, each against its own peer, timed apart:
// one iteration is a block of IN_TURN_BLOCK commands of each. On a shared machine the
// load changes from second to second; taking turns exposes both sides to the same
// load, so their ratio holds steady where two benchmarks one after the other do not.
// Blocks rather than single commands keep each side's code and data in the caches as
// they are in a run of commands. Counters: engine_us and plain_us per command, ratio.
inline constexpr int IN_TURN_BLOCK = 16;

inline void runInTurns(benchmark::State& state, TFiscalDevice& fd, PlainClient& plain, uint16_t cmd,
                       const std::string& data) {
  using Clock = std::chrono::steady_clock;
  Clock::duration engineTime{}, plainTime{};
  std::string out;
  for (auto _ : state) {
    bool ok = true;
    const auto t0 = Clock::now();
    for (int i = 0; i < IN_TURN_BLOCK; ++i) ok = fd.customCommand(cmd, data, out) && ok;
    const auto t1 = Clock::now();
    for (int i = 0; i < IN_TURN_BLOCK; ++i) ok = plain.exchange(cmd, data) != 0 && ok;
    const auto t2 = Clock::now();
    if (!ok) {
      state.SkipWithError("command or exchange failed");
      return;
    }
    engineTime += t1 - t0;
    plainTime += t2 - t1;
  }
  const double n = static_cast<double>(state.iterations()) * IN_TURN_BLOCK;
  const double e = std::chrono::duration<double, std::micro>(engineTime).count() / n;
  const double p = std::chrono::duration<double, std::micro>(plainTime).count() / n;
  state.counters["engine_us"] = e;
  state.counters["plain_us"] = p;
  state.counters["ratio"] = e / p;
}

}  // namespace kestrel::bench
