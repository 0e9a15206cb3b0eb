// The engine's cost over loopback TCP against a minimal device that answers every
// request at once, next to the same exchange done with plain socket calls: as two
// benchmarks, and taking turns in one.
#include "bench_common.h"

using namespace kestrel;
using namespace kestrel::bench;

namespace {

// Answer data of a typical read: error code and a few fields, about 150 bytes.
const std::string kAnswerData = answerData(146);
const std::string kRequestData = "Header\t1\t\t";

ScriptedPeer* peer(benchmark::State& state) {
  static std::unique_ptr<ScriptedPeer> slots[2];
  return peerFor(state, slots, [] { return std::make_unique<ScriptedPeer>(kAnswerData); });
}

void BM_EngineCommand(benchmark::State& state) {
  ScriptedPeer* p = peer(state);
  BenchThreadPin pin;
  BenchEngine e;
  e.plainType2();
  if (!e.connectTcp(p->port())) {
    state.SkipWithError("cannot connect");
    return;
  }
  runCommands(state, e.fd, 255, kRequestData);
  e.fd.TCPIP()->closeConnection();
}
BENCHMARK(BM_EngineCommand)->Apply(placements);

void BM_PlainSocketCommand(benchmark::State& state) {
  ScriptedPeer* p = peer(state);
  BenchThreadPin pin;
  runPlainExchanges(state, p->port(), 255, kRequestData);
}
BENCHMARK(BM_PlainSocketCommand)->Apply(placements);

// The same two, taking turns command by command: the ratio scripts/bench.sh reports.
void BM_EngineVsPlainInTurns(benchmark::State& state) {
  static std::unique_ptr<PeerPair<ScriptedPeer>> slots[2];
  auto* peers = peerFor(state, slots, [] {
    return std::make_unique<PeerPair<ScriptedPeer>>(PeerPair<ScriptedPeer>{
        std::make_unique<ScriptedPeer>(kAnswerData), std::make_unique<ScriptedPeer>(kAnswerData)});
  });
  BenchThreadPin pin;
  BenchEngine e;
  e.plainType2();
  PlainClient c(peers->forPlain->port());
  if (!e.connectTcp(peers->forEngine->port()) || !c.ok()) {
    state.SkipWithError("cannot connect");
    return;
  }
  runInTurns(state, e.fd, c, 255, kRequestData);
  e.fd.TCPIP()->closeConnection();
}
BENCHMARK(BM_EngineVsPlainInTurns)->Apply(placements);

}  // namespace

BENCHMARK_MAIN();
