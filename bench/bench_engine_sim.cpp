// The engine against the simulator, and the engine's own CPU per command.
//
// All three use the same exchange: command 140 "R\t1\t" (read client 1), a 20-byte
// request frame, answered by a 150-byte answer frame (125 bytes of data: code, number
// and five text fields with a few letters outside ASCII, so the code-page conversion
// has work to do). Every engine here is set up as the application sets it up: the
// KT-33A profile (protocol_Type2, code page 1250, the model's status table with its
// error bits checked under ccEndUser) plus the default delimiters.
//
// BM_EngineOnSimTcp / BM_PlainOnSimTcp: wall time per command over loopback TCP
// against the in-process simulator, through customCommand and through plain socket
// calls (send the same frame, recv until the answer frame is complete) in the same run,
// with both ends on one core and on two cores (see Placement in bench_common.h).
//
// BM_EngineCpu / BM_PlainCpu: the same exchange against a scripted peer that answers
// at once (no device model on the other side). The CPU column is what Google
// Benchmark measures by default: CPU time of the benchmark thread only
// (CLOCK_THREAD_CPUTIME_ID), so the peer's thread is not counted. That time includes
// the kernel work of the thread's own system calls; the plain client makes the
// minimum of them (one send, one or two recv), so engine CPU minus plain CPU is the
// engine's own work: frame building, answer reading byte by byte and checking,
// status bits, conversion, field splitting, and the extra calls it chooses to make
// (the connection check and the input purge before each send). The kernel cost of the
// exchange itself cancels out. Read the one-core figures: on two cores the thread's
// CPU also holds the cost of waking a thread on the other core, which says more about
// the virtual machine than about either client. BM_EngineTextWork times the
// transport-free part alone (conversion both ways and field splitting of the same
// texts). scripts/bench.sh adds an exact count with valgrind where it is installed:
// the user-space instructions the engine executes per customCommand, no kernel in it.
//
// BM_EngineOnSimPty: over a pseudo-terminal with the simulator pacing its writes like
// a 115200-baud 8N1 line. The counters give the frame sizes and the baud rate, so the
// line's theoretical command rate can be set against the measured one (scripts/bench.sh).
// The pty does not pace the request the engine writes; only the answer crosses a
// "line".
#include <fcntl.h>
#include <poll.h>
#include <termios.h>

#include <memory>

#include "bench_common.h"
#include "catalogue/fba_kt_33a.h"
#include "engine/rs232_connector.h"
#include "sim/simulator.h"

using namespace kestrel;
using namespace kestrel::bench;

namespace {

constexpr uint16_t kCommand = 140;
const std::string kRequest = "R\t1\t";
constexpr size_t kAnswerDataSize = 125;
constexpr int kBaud = 115200;

// Client 1 as the device keeps it (code page 1250): its read answer holds 125 bytes.
sim::Client benchClient() {
  sim::Client c;
  c.taxNumber = "4200000000001";                             // 13
  c.name = "Trgovina \xC8\x9Airoki Brijeg d.o.o. Mostar 0001";  // 42 (Č, š)
  c.name2 = "Poslovnica broj 7 - \x8Eitni1";                 // 26 (Ž)
  c.address1 = "Kralja Tvrtka 12, 88";                         // 20
  c.address2 = "Mostar, BiH 001";                              // 15
  return c;
}

struct ProfiledEngine : BenchEngine {
  TFBA_KT_33A profile;
  ProfiledEngine() {
    profile.set_fCore(&fd);
    fd.add_DefaultDelimiters();
  }
  // The first command (74 before it) outside the timed loop; the answer must be the
  // expected size and code 0.
  bool warmUp(benchmark::State& state) {
    std::string out;
    if (!fd.customCommand(kCommand, kRequest, out) || err.LastErrorCode() != 0) {
      state.SkipWithError(("warm-up command failed: " + err.LastErrorMessage()).c_str());
      return false;
    }
    if (fd.ansiTextOutput().size() != kAnswerDataSize) {
      state.SkipWithError("answer has not the expected size");
      return false;
    }
    return true;
  }
};

void setFrameCounters(benchmark::State& state) {
  state.counters["req_bytes"] = static_cast<double>(kRequest.size() + REQUEST_OVERHEAD);
  state.counters["ans_bytes"] = static_cast<double>(kAnswerDataSize + ANSWER_OVERHEAD);
}

std::unique_ptr<sim::Simulator> startSimulator(bool pty) {
  sim::SimulatorOptions o;
  o.tcp = !pty;
  o.port = 0;
  o.pty = pty;
  o.baud = pty ? kBaud : 0;
  auto s = std::make_unique<sim::Simulator>(o);
  std::string error;
  if (!s->start(error)) return nullptr;
  s->withDevice([](sim::DeviceModel& d) { d.mutableState().clients[1] = benchClient(); });
  return s;
}

sim::Simulator* tcpSimulator(benchmark::State& state) {
  static std::unique_ptr<sim::Simulator> slots[2];
  return peerFor(state, slots, [] { return startSimulator(false); });
}

// ---- against the simulator over TCP ----

// A profiled engine over loopback TCP to `port`, one command per iteration.
void runEngineOverTcp(benchmark::State& state, uint16_t port) {
  ProfiledEngine e;
  if (!e.connectTcp(port)) {
    state.SkipWithError("cannot connect");
    return;
  }
  if (e.warmUp(state)) runCommands(state, e.fd, kCommand, kRequest);
  e.fd.TCPIP()->closeConnection();
  setFrameCounters(state);
}

void BM_EngineOnSimTcp(benchmark::State& state) {
  sim::Simulator* s = tcpSimulator(state);
  BenchThreadPin pin;
  if (!s) {
    state.SkipWithError("simulator did not start");
    return;
  }
  runEngineOverTcp(state, s->port());
}
BENCHMARK(BM_EngineOnSimTcp)->Apply(placements);

void BM_PlainOnSimTcp(benchmark::State& state) {
  sim::Simulator* s = tcpSimulator(state);
  BenchThreadPin pin;
  if (!s) {
    state.SkipWithError("simulator did not start");
    return;
  }
  runPlainExchanges(state, s->port(), kCommand, kRequest, kAnswerDataSize + ANSWER_OVERHEAD);
  setFrameCounters(state);
}
BENCHMARK(BM_PlainOnSimTcp)->Apply(placements);

// The same two taking turns, each against its own simulator (one client at a time):
// the ratio scripts/bench.sh reports.
void BM_EngineVsPlainOnSimInTurns(benchmark::State& state) {
  static std::unique_ptr<PeerPair<sim::Simulator>> slots[2];
  auto* sims = peerFor(state, slots, [] {
    return std::make_unique<PeerPair<sim::Simulator>>(PeerPair<sim::Simulator>{startSimulator(false), startSimulator(false)});
  });
  BenchThreadPin pin;
  if (!sims->forEngine || !sims->forPlain) {
    state.SkipWithError("simulator did not start");
    return;
  }
  ProfiledEngine e;
  PlainClient c(sims->forPlain->port());
  if (!e.connectTcp(sims->forEngine->port()) || !c.ok() || !e.warmUp(state)) {
    if (!state.error_occurred()) state.SkipWithError("cannot connect");
    return;
  }
  runInTurns(state, e.fd, c, kCommand, kRequest);
  e.fd.TCPIP()->closeConnection();
  setFrameCounters(state);
}
BENCHMARK(BM_EngineVsPlainOnSimInTurns)->Apply(placements);

// ---- the engine's own CPU per command ----

// The simulator's answer to the same read, so the engine has the same work.
std::string simulatorAnswer() {
  std::string data;
  sim::DeviceModel d;
  d.mutableState().clients[1] = benchClient();
  d.execute(kCommand, kRequest, data);
  return data;
}

ScriptedPeer* cpuPeer(benchmark::State& state) {
  static std::unique_ptr<ScriptedPeer> slots[2];
  return peerFor(state, slots, [] { return std::make_unique<ScriptedPeer>(simulatorAnswer()); });
}

void BM_EngineCpu(benchmark::State& state) {
  ScriptedPeer* p = cpuPeer(state);
  BenchThreadPin pin;
  runEngineOverTcp(state, p->port());
}
BENCHMARK(BM_EngineCpu)->Apply(placements);

void BM_PlainCpu(benchmark::State& state) {
  ScriptedPeer* p = cpuPeer(state);
  BenchThreadPin pin;
  runPlainExchanges(state, p->port(), kCommand, kRequest);
  setFrameCounters(state);
}
BENCHMARK(BM_PlainCpu)->Apply(placements);

void BM_EngineTextWork(benchmark::State& state) {
  TFDMisc misc;
  const std::string answer = simulatorAnswer();
  const std::vector<std::string> delimiters{"\t"};
  std::vector<std::string> fields;
  for (auto _ : state) {
    std::string out = misc.convert_WideString_ToAnsiString(kRequest, 1250);
    std::string text = misc.convert_AnsiString_ToWideString(answer, 1250);
    const int n = misc.fillAnswerList(text, &delimiters, &fields);
    benchmark::DoNotOptimize(out);
    benchmark::DoNotOptimize(n);
  }
}
BENCHMARK(BM_EngineTextWork);

// ---- over a pseudo-terminal paced like a 115200-baud line ----

void BM_EngineOnSimPty(benchmark::State& state) {
  std::unique_ptr<sim::Simulator> s = startSimulator(true);
  ProfiledEngine e;
  if (!s) {
    state.SkipWithError("simulator did not start");
    return;
  }
  if (!e.connectPty(s->ptyPath(), kBaud)) {
    state.SkipWithError("cannot open the pseudo-terminal");
    return;
  }
  if (e.warmUp(state)) runCommands(state, e.fd, kCommand, kRequest);
  e.fd.RS232()->closeConnection();
  s->stop();
  setFrameCounters(state);
  state.counters["baud"] = kBaud;
}
BENCHMARK(BM_EngineOnSimPty)->UseRealTime()->MinTime(2.0);

// ---- fixed numbers of commands, for counting system calls ----
//
// scripts/bench.sh runs each of these under `strace -f -c` twice, with 200 and with
// 1200 commands; the difference of the two counts over 1000 is the calls per command
// of both ends, without the set-up's. Against the simulator over TCP (one core) and
// over an unpaced pseudo-terminal, through the engine and through a plain client: over
// TCP the plain client sends and blocks in recv, over the pty it writes and waits in
// poll before each read, the least a wait with a limit needs on a terminal.

std::unique_ptr<sim::Simulator> unpacedPtySimulator() {
  sim::SimulatorOptions o;
  o.tcp = false;
  o.pty = true;
  auto s = std::make_unique<sim::Simulator>(o);
  std::string error;
  if (!s->start(error)) return nullptr;
  s->withDevice([](sim::DeviceModel& d) { d.mutableState().clients[1] = benchClient(); });
  return s;
}

// Runs `client` against a simulator of its own over TCP, both on core 0.
template <class Client>
void countedOnSimTcp(benchmark::State& state, Client client) {
  BenchThreadPin pin;
  auto s = startSimulator(false);
  if (!s) {
    state.SkipWithError("simulator did not start");
    return;
  }
  client(s->port());
}

void BM_CountedEngineOnSimTcp(benchmark::State& state) {
  countedOnSimTcp(state, [&](uint16_t port) { runEngineOverTcp(state, port); });
}
BENCHMARK(BM_CountedEngineOnSimTcp)->Iterations(200);
BENCHMARK(BM_CountedEngineOnSimTcp)->Iterations(1200);

void BM_CountedPlainOnSimTcp(benchmark::State& state) {
  countedOnSimTcp(state, [&](uint16_t port) {
    runPlainExchanges(state, port, kCommand, kRequest, kAnswerDataSize + ANSWER_OVERHEAD);
  });
}
BENCHMARK(BM_CountedPlainOnSimTcp)->Iterations(200);
BENCHMARK(BM_CountedPlainOnSimTcp)->Iterations(1200);

void BM_CountedEngineOnSimPty(benchmark::State& state) {
  auto s = unpacedPtySimulator();
  ProfiledEngine e;
  if (!s || !e.connectPty(s->ptyPath(), kBaud)) {
    state.SkipWithError("simulator or pseudo-terminal did not start");
    return;
  }
  if (e.warmUp(state)) runCommands(state, e.fd, kCommand, kRequest);
  e.fd.RS232()->closeConnection();
}
BENCHMARK(BM_CountedEngineOnSimPty)->Iterations(200);
BENCHMARK(BM_CountedEngineOnSimPty)->Iterations(1200);

void BM_CountedPlainOnSimPty(benchmark::State& state) {
  auto s = unpacedPtySimulator();
  const int fd = s ? ::open(s->ptyPath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
  termios tio{};
  if (fd < 0 || ::tcgetattr(fd, &tio) != 0) {
    if (fd >= 0) ::close(fd);
    state.SkipWithError("simulator or pseudo-terminal did not start");
    return;
  }
  ::cfmakeraw(&tio);
  ::tcsetattr(fd, TCSANOW, &tio);
  uint8_t seq = frame::SEQ_FIRST;
  std::string request, answer;
  char buf[4096];
  for (auto _ : state) {
    requestFrame(seq, kCommand, kRequest, request);
    seq = frame::nextSequence(seq, true);
    if (::write(fd, request.data(), request.size()) != static_cast<ssize_t>(request.size())) {
      state.SkipWithError("write failed");
      break;
    }
    answer.clear();
    size_t need = 0;
    while (need == 0 || answer.size() < need) {
      pollfd p{fd, POLLIN, 0};
      const ssize_t r = ::poll(&p, 1, 1000) == 1 ? ::read(fd, buf, sizeof buf) : -1;
      if (r <= 0) break;
      answer.append(buf, static_cast<size_t>(r));
      if (need == 0 && answer.size() >= 5)
        need = frame::getNibbles(reinterpret_cast<const uint8_t*>(answer.data()) + 1) - FRAME_LEN_EXCESS;
    }
    if (need == 0 || answer.size() < need) {
      state.SkipWithError("no answer");
      break;
    }
  }
  ::close(fd);
}
BENCHMARK(BM_CountedPlainOnSimPty)->Iterations(200);
BENCHMARK(BM_CountedPlainOnSimPty)->Iterations(1200);

}  // namespace

BENCHMARK_MAIN();
