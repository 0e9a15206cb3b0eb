// The engine's cost over loopback TCP against a minimal device that answers every
// request at once, next to the same exchange done with plain socket calls.
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

}  // namespace

BENCHMARK_MAIN();
