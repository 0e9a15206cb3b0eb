// Items: the item CSV file and the item table with 100,000 rows, and a sparse item
// database read from the simulator over a pseudo-terminal paced like a 115200-baud line.
//
// BM_ItemsExport / BM_ItemsImport: CreateCSV of a 100,000-row table (every tenth name
// holds ";" and quotes, some letters are outside ASCII) and importFromCsv of the file it
// wrote, whole operations as the page runs them (progress and event calls included,
// to a host that does nothing with them). The file stays in $KESTREL_BENCH_DIR (or the
// temporary folder) as items_100k.csv; scripts/bench.sh times Python's csv module
// reading and writing that same file in the same run.
//
// BM_ItemsFillTable: 100,000 rows appended and filled field by field, as the read fills
// them from the device's answers.
//
// BM_ItemsSparseReadPty: 1,000 items at PLU 100, 200, ..., 100000; "Read..." "All" with
// the skipping read, one run. The walk of every number from the first to the last item
// is estimated from its command count and the time per read measured on the same line:
// a read of a programmed PLU and a read of an empty one.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "app/logic/device_ops.h"
#include "app/logic/mem_table.h"
#include "app/logic/pages/items.h"
#include "app/logic/pages/items_csv.h"
#include "bench_common.h"
#include "catalogue/fba_kt_33a.h"
#include "engine/rs232_connector.h"
#include "sim/simulator.h"
#include "support/dialogs.h"

using namespace kestrel;
using namespace kestrel::bench;

namespace {

constexpr int kRows = 100000;
constexpr int kBaud = 115200;

std::string benchFile() {
  const char* dir = std::getenv("KESTREL_BENCH_DIR");
  return (std::filesystem::path(dir && *dir ? dir : std::filesystem::temp_directory_path().string()) /
          "items_100k.csv")
      .string();
}

// The item operations on one table, without a device: dialogs scripted, host silent.
struct Items {
  BenchEngine e;
  ScriptedDialogs dialogs;
  NullPageHost host;
  TDeviceOps ops{e.fd, e.misc, e.err, host};
  TMemTable table{"fdmt_Articles"};
  TItemsOps items{ops, table, host};
  Items() {
    e.misc.set_Dialogs(&dialogs);
    prepareArticlesTable(table);
  }
  ~Items() { e.misc.set_Dialogs(nullptr); }
};

void fillRow(TMemTable& t, int plu) {
  const int row = t.append();
  const std::string n = std::to_string(plu);
  t.setValue(row, 0, n);
  t.setValue(row, 1, std::to_string(1 + plu % 5));
  t.setValue(row, 2, plu % 10 == 0 ? "Čaj; \"zeleni\" " + n : "Artikal šifra " + n);
  t.setValue(row, 3, std::to_string(plu % 100));
  t.setValue(row, 4, std::to_string(1 + plu % 99));
  t.setValue(row, 5, std::to_string(plu % 3));
  t.setValue(row, 6, std::to_string(plu % 1000) + ".99");
  t.setValue(row, 7, "0");
  t.setValue(row, 8, std::to_string(plu % 50) + ".250");
  t.setValue(row, 9, "0");
  t.setValue(row, 10, std::to_string(3870000000000LL + plu));
}

void BM_ItemsFillTable(benchmark::State& state) {
  for (auto _ : state) {
    TMemTable t("fdmt_Articles");
    prepareArticlesTable(t);
    for (int p = 1; p <= kRows; ++p) fillRow(t, p);
    benchmark::DoNotOptimize(t.RecordCount());
  }
  state.counters["rows"] = kRows;
}
BENCHMARK(BM_ItemsFillTable)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ItemsExport(benchmark::State& state) {
  Items s;
  for (int p = 1; p <= kRows; ++p) fillRow(s.table, p);
  const std::string file = benchFile();
  for (auto _ : state) {
    if (!CreateCSV(s.items, file, true, 1, kRows)) state.SkipWithError("export failed");
  }
  state.counters["rows"] = kRows;
  state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(file));
}
BENCHMARK(BM_ItemsExport)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ItemsImport(benchmark::State& state) {
  Items s;
  const std::string file = benchFile();
  if (!std::filesystem::exists(file)) {
    state.SkipWithError("no exported file (BM_ItemsExport runs first)");
    return;
  }
  for (auto _ : state) {
    if (!importFromCsv(s.items, file) || s.table.RecordCount() != kRows) state.SkipWithError("import failed");
  }
  state.counters["rows"] = kRows;
}
BENCHMARK(BM_ItemsImport)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- a sparse database over a paced pseudo-terminal ----

struct PtyItems : Items {
  std::unique_ptr<sim::Simulator> sim;
  TFBA_KT_33A profile;
  int commands = 0;

  bool start() {
    sim::SimulatorOptions o;
    o.tcp = false;
    o.pty = true;
    o.baud = kBaud;
    sim = std::make_unique<sim::Simulator>(o);
    std::string error;
    if (!sim->start(error)) return false;
    sim->withDevice([](sim::DeviceModel& d) {
      for (int p = 100; p <= kRows; p += 100) {
        sim::Item it;
        it.name = "Artikal " + std::to_string(p);
        it.price = p * 100;
        it.barcodes[0] = std::to_string(3870000000000LL + p);
        d.mutableState().items[p] = it;
      }
    });
    profile.set_fCore(&e.fd);
    e.fd.add_DefaultDelimiters();
    e.fd.set_CommunicationType(ct_RS232);
    e.fd.RS232()->portName = sim->ptyPath();
    e.fd.RS232()->baudRate = kBaud;
    ops.onCommand = [this](uint16_t, const std::string&) { ++commands; };
    return e.fd.RS232()->openConnection() == 0;
  }
  ~PtyItems() {
    if (sim) {
      e.fd.RS232()->closeConnection();
      sim->stop();
    }
  }
  // Seconds per read of `plu`, over `count` reads.
  double perRead(int64_t plu, int count) {
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) {
      table.clear();
      items.readItem(plu);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() / count;
  }
};

void BM_ItemsSparseReadPty(benchmark::State& state) {
  PtyItems s;
  if (!s.start()) {
    state.SkipWithError("simulator or pseudo-terminal did not start");
    return;
  }
  for (auto _ : state) {
    s.commands = 0;
    s.items.menuAction(popRead, TMenuEntry::All);
  }
  if (s.table.RecordCount() != kRows / 100) state.SkipWithError("not every item was read");
  const int skipping = s.commands;
  // The walk: "F", "L", then one read per number from 100 to 100000.
  const double hit = s.perRead(100, 50), miss = s.perRead(101, 200);
  const int items = kRows / 100, numbers = kRows - 100 + 1;
  state.counters["skip_commands"] = skipping;
  state.counters["walk_commands"] = 2 + numbers;
  state.counters["walk_est_s"] = 2 * miss + items * hit + (numbers - items) * miss;
  state.counters["hit_ms"] = hit * 1e3;
  state.counters["miss_ms"] = miss * 1e3;
  state.counters["baud"] = kBaud;
}
BENCHMARK(BM_ItemsSparseReadPty)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
