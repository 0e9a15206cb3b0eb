// Reading 1,000 clients (the Clients page's read: "F", then "N" up to number 1000)
// from the simulator over a pseudo-terminal whose answers are paced like a 115200-baud
// 8N1 line. One iteration is one whole read through TDeviceOps, as the window and
// `kestrel clients read` run it: once with texts of a usual length, once with every
// text at its limit.
//
// The line's pace: the pty carries the engine's requests at once, only the answers
// cross the "line", 10 bits a byte. The counters give the answer bytes of the whole
// read (each frame: its data plus ANSWER_OVERHEAD), the command rate the line allows
// for them and the rate measured; line_ratio is the share of the line's pace reached.
#include <chrono>
#include <memory>

#include "app/logic/device_ops.h"
#include "app/logic/mem_table.h"
#include "app/logic/pages/clients.h"
#include "bench_common.h"
#include "catalogue/fba_kt_33a.h"
#include "sim/simulator.h"

using namespace kestrel;
using namespace kestrel::bench;

namespace {

constexpr int kBaud = 115200;

// A client with texts of a usual length, or (full) every text at the device's limit
// (code page 1250: Č, š).
sim::Client benchClient(int n, bool full) {
  const std::string number = std::to_string(n);
  const std::string taxn = "42000000" + std::string(5 - number.size(), '0') + number;
  if (!full) return {"Kupac \xC8" "ajni\x9A" "ki " + number, taxn, "", "Ulica " + number, "Mostar"};
  auto fill = [&](std::string text, size_t size) { return text + std::string(size - text.size(), 'x'); };
  return {fill("Trgovina \xC8" "ajni\x9A" "ki " + number, 42), taxn, fill("Poslovnica " + number, 42),
          fill("Kralja Tvrtka " + number, 36), fill("88000 Mostar", 36)};
}

void putClients(sim::DeviceModel& d, bool full) {
  for (int n = 1; n <= MAX_CLIENTS; ++n) d.mutableState().clients[n] = benchClient(n, full);
}

// The answer frames of one read, as the device model gives them: count and bytes.
std::pair<int, size_t> readAnswers(bool full) {
  sim::DeviceModel d("KT-11A");
  putClients(d, full);
  std::string data;
  d.execute(140, "F\t\t", data);
  size_t bytes = data.size() + ANSWER_OVERHEAD;
  int commands = 1;
  for (int number = 1; number < MAX_CLIENTS; ++number, ++commands) {
    data.clear();
    d.execute(140, "N\t", data);
    bytes += data.size() + ANSWER_OVERHEAD;
  }
  return {commands, bytes};
}

void BM_ReadClientsOnSimPty(benchmark::State& state) {
  const bool full = state.range(0) != 0;
  sim::SimulatorOptions o;
  o.tcp = false;
  o.pty = true;
  o.baud = kBaud;
  o.model = "KT-11A";
  o.modelGiven = true;
  auto s = std::make_unique<sim::Simulator>(o);
  std::string error;
  if (!s->start(error)) {
    state.SkipWithError(("simulator did not start: " + error).c_str());
    return;
  }
  s->withDevice([&](sim::DeviceModel& d) { putClients(d, full); });

  BenchEngine e;
  TFBA_KT_33A profile;
  profile.set_fCore(&e.fd);
  e.fd.add_DefaultDelimiters();
  if (!e.connectPty(s->ptyPath(), kBaud)) {
    state.SkipWithError("cannot open the pseudo-terminal");
    return;
  }
  NullPageHost host;
  TDeviceOps ops(e.fd, e.misc, e.err, host);
  TMemTable table(CLIENTS_TABLE_NAME);
  prepareClientTable(table);
  std::string out;
  e.fd.customCommand(74, "", out);  // the engine's first command, outside the timing
  // Google Benchmark's rate counters divide by CPU time; the line's pace is wall time.
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    const TLoopOutcome r = readClientInfo(ops, table);
    if (!r.ok() || table.RecordCount() != MAX_CLIENTS) {
      state.SkipWithError("the read did not bring all 1000 clients");
      break;
    }
  }
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  e.fd.RS232()->closeConnection();
  s->stop();

  const auto [commands, bytes] = readAnswers(full);
  const double lineSeconds = static_cast<double>(bytes) * 10 / kBaud;
  state.counters["clients"] = MAX_CLIENTS;
  state.counters["commands"] = commands;
  state.counters["ans_bytes"] = static_cast<double>(bytes);
  state.counters["baud"] = kBaud;
  state.counters["line_cmd_per_s"] = commands / lineSeconds;
  const double reads = static_cast<double>(state.iterations());
  state.counters["cmd_per_s"] = commands * reads / elapsed;
  state.counters["line_ratio"] = lineSeconds * reads / elapsed;
}
// Arg 0: usual texts; Arg 1: every text at its limit (the longest answers).
BENCHMARK(BM_ReadClientsOnSimPty)->ArgName("full")->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
