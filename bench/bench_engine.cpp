// The engine's cost over loopback TCP against a minimal device that answers every
// request at once, next to the same exchange done with plain socket calls.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "engine/fiscal_device.h"
#include "engine/frame_codec.h"
#include "engine/tcpip_connector.h"
#include "support/err_container.h"
#include "support/fd_misc.h"

using namespace kestrel;

namespace {

// Answer data of a typical read: error code and a few fields, about 150 bytes.
const std::string kAnswerData = [] {
  std::string s = "0\t";
  while (s.size() < 140) s += "Field value\t";
  return s;
}();
const std::string kRequestData = "Header\t1\t\t";

std::vector<uint8_t> answerFrame(uint8_t seq, uint16_t cmd) {
  using namespace frame;
  std::vector<uint8_t> f;
  f.push_back(SOH);
  uint8_t nb[4];
  putNibbles(nb, static_cast<uint16_t>(kAnswerData.size() + ANS_LEN_OFFSET_TYPE2));
  f.insert(f.end(), nb, nb + 4);
  f.push_back(seq);
  putNibbles(nb, cmd);
  f.insert(f.end(), nb, nb + 4);
  f.insert(f.end(), kAnswerData.begin(), kAnswerData.end());
  f.push_back(SEPARATOR);
  for (int i = 0; i < 8; ++i) f.push_back(0x80);
  f.push_back(POSTAMBLE);
  putNibbles(nb, checksum(f.data() + 1, f.size() - 1));
  f.insert(f.end(), nb, nb + 4);
  f.push_back(TERMINATOR);
  return f;
}

// Reads one request frame (Type2) from fd; false on EOF.
bool readRequest(int fd, std::vector<uint8_t>& buf, uint8_t& seq, uint16_t& cmd) {
  buf.clear();
  uint8_t tmp[4096];
  size_t need = 5;
  while (true) {
    if (buf.size() >= 5) {
      uint16_t len = frame::getNibbles(buf.data() + 1);
      need = static_cast<size_t>(len - frame::REQ_LEN_OFFSET_TYPE2) + 16;
      if (buf.size() >= need) break;
    }
    ssize_t r = recv(fd, tmp, sizeof tmp, 0);
    if (r <= 0) return false;
    buf.insert(buf.end(), tmp, tmp + r);
  }
  seq = buf[5];
  cmd = frame::getNibbles(buf.data() + 6);
  return true;
}

class Peer {
 public:
  Peer() {
    fListen = socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    setsockopt(fListen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fListen, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(fListen, 4);
    socklen_t l = sizeof a;
    getsockname(fListen, reinterpret_cast<sockaddr*>(&a), &l);
    fPort = ntohs(a.sin_port);
    fThread = std::thread([this] { run(); });
  }
  ~Peer() {
    fStop = true;
    shutdown(fListen, SHUT_RDWR);
    close(fListen);
    fThread.join();
  }
  uint16_t port() const { return fPort; }

 private:
  void run() {
    while (!fStop) {
      int c = accept(fListen, nullptr, nullptr);
      if (c < 0) return;
      int one = 1;
      setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      std::vector<uint8_t> buf;
      uint8_t seq;
      uint16_t cmd;
      while (readRequest(c, buf, seq, cmd)) {
        auto f = answerFrame(seq, cmd);
        send(c, f.data(), f.size(), MSG_NOSIGNAL);
      }
      close(c);
    }
  }
  int fListen;
  uint16_t fPort;
  std::atomic<bool> fStop{false};
  std::thread fThread;
};

Peer& peer() {
  static Peer p;
  return p;
}

void BM_EngineCommand(benchmark::State& state) {
  TErrContainer err;
  TFDMisc misc;
  TFiscalDevice fd;
  fd.set_errContainer(&err);
  fd.set_Misc(&misc);
  fd.dd()->LowLevel().set_ProtocolType(protocol_Type2);
  fd.dd()->CodePage = 1250;
  fd.add_DefaultDelimiters();
  fd.set_CommunicationType(ct_TCPIP);
  fd.TCPIP()->set_Address("127.0.0.1");
  fd.TCPIP()->set_port(peer().port());
  err.RaiseMode = false;
  if (fd.TCPIP()->openConnection() != 0) {
    state.SkipWithError("cannot connect");
    return;
  }
  std::string out;
  for (auto _ : state) {
    if (!fd.customCommand(255, kRequestData, out)) state.SkipWithError("command failed");
    benchmark::DoNotOptimize(out);
  }
  fd.TCPIP()->closeConnection();
}
BENCHMARK(BM_EngineCommand)->UseRealTime();

void BM_PlainSocketCommand(benchmark::State& state) {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(peer().port());
  if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    state.SkipWithError("cannot connect");
    return;
  }
  int one = 1;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  uint8_t seq = 0x20;
  std::vector<uint8_t> req;
  uint8_t rbuf[4096];
  const size_t answerSize = kAnswerData.size() + 25;
  for (auto _ : state) {
    // Same request frame as the engine sends.
    req.clear();
    uint8_t nb[4];
    req.push_back(frame::SOH);
    frame::putNibbles(nb, static_cast<uint16_t>(kRequestData.size() + frame::REQ_LEN_OFFSET_TYPE2));
    req.insert(req.end(), nb, nb + 4);
    req.push_back(seq);
    seq = frame::nextSequence(seq, true);
    frame::putNibbles(nb, 255);
    req.insert(req.end(), nb, nb + 4);
    req.insert(req.end(), kRequestData.begin(), kRequestData.end());
    req.push_back(frame::POSTAMBLE);
    frame::putNibbles(nb, frame::checksum(req.data() + 1, req.size() - 1));
    req.insert(req.end(), nb, nb + 4);
    req.push_back(frame::TERMINATOR);
    send(s, req.data(), req.size(), MSG_NOSIGNAL);
    size_t got = 0;
    while (got < answerSize) {
      ssize_t r = recv(s, rbuf, sizeof rbuf, 0);
      if (r <= 0) break;
      got += static_cast<size_t>(r);
    }
    benchmark::DoNotOptimize(rbuf);
  }
  close(s);
}
BENCHMARK(BM_PlainSocketCommand)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
