// Reading the electronic journal, and the page's text area taking its lines.
//
// BM_JournalOnSimPty: TJournalReader reads one document of kLines lines (each 40
// characters, as a journal line of a 40-column printer) per iteration over a
// pseudo-terminal, the simulator pacing its writes like a 115200-baud 8N1 line. One
// document costs a selection, a command per line and the closing -100003 answer. The
// counters set the measured lines per second against what the line allows for exactly
// these answers (their frame bytes times 10 bits over the baud rate; the pty carries the
// requests at once): pace = allowed time / measured time.
//
// BM_JournalRawPty: the same line reads (125 "1\t" of a document that never ends) as bare
// engine commands, one per iteration: what the engine and the pty do without the
// reader, so the difference is the reader's own cost.
//
// BM_JournalTextArea: 100,000 lines appended to the page's text area through
// TJournalTextArea (batches of TJournalTextArea::BATCH lines) offscreen; the counters
// give the time per line of the first and of the last 10,000 lines, so a layout that
// grows with the text shows as a ratio above 1. BM_JournalTextAreaPerLine appends the
// same lines one call each, as a text area without batches would. Built where the window is (not in the
// release preset, which leaves the window out).
// bench_common.h before Qt: it names a parameter `slots`, which Qt defines as a macro.
#include "bench_common.h"

#include <chrono>
#include <memory>

#include "app/logic/device_ops.h"
#include "app/logic/pages/journal.h"
#if KESTREL_BENCH_GUI
#include <QApplication>
#include <QPlainTextEdit>

#include "app/ui/pages/journal_page.h"
#endif
#include "catalogue/fba_kt_33a.h"
#include "engine/rs232_connector.h"
#include "sim/simulator.h"

using namespace kestrel;
using namespace kestrel::bench;

namespace {

constexpr int kBaud = 115200;
constexpr int kLines = 200;
constexpr int kTypeNonFiscal = 6;

sim::JournalDoc benchDocument() {
  sim::JournalDoc doc;
  doc.number = 1;
  doc.type = kTypeNonFiscal;
  doc.time = sim::makeTime(2025, 7, 1, 10, 0, 0);
  for (int i = 0; i < kLines; ++i) {
    std::string line = "ARTIKL " + std::to_string(100000 + i) + " \xC8" "AJ 1 x 2.50";  // Č
    line.resize(40, ' ');
    doc.lines.push_back(line);
  }
  return doc;
}

// Frame bytes of every answer one reading of the document gets.
size_t answerBytesPerDocument() {
  sim::DeviceModel d;
  d.mutableState().journal = {benchDocument()};
  size_t bytes = 0;
  std::string answer;
  d.execute(125, "0\t1\t" + std::to_string(kTypeNonFiscal) + "\t", answer);
  bytes += answer.size() + ANSWER_OVERHEAD;
  do {
    d.execute(125, "1\t", answer);
    bytes += answer.size() + ANSWER_OVERHEAD;
  } while (d.lastCode() == 0);
  return bytes;
}

struct NullLines : TJournalLines {
  void clear() override {}
  void add(const std::string& line) override { benchmark::DoNotOptimize(line.data()); }
};

// The simulator on a paced pty holding the bench document, and a profiled engine on
// the pty's other end. `ok` is false (and the benchmark skipped) when either failed.
struct PtyJournal {
  PtyJournal(benchmark::State& state, bool endless) {
    sim::SimulatorOptions o;
    o.tcp = false;
    o.pty = true;
    o.baud = kBaud;
    s = std::make_unique<sim::Simulator>(o);
    std::string error;
    if (!s->start(error)) {
      state.SkipWithError("simulator did not start");
      return;
    }
    s->withDevice([endless](sim::DeviceModel& d) {
      d.mutableState().journal = {benchDocument()};
      d.endlessDocument = endless ? 1 : 0;
    });
    profile.set_fCore(&e.fd);
    e.fd.add_DefaultDelimiters();
    e.fd.set_CommunicationType(ct_RS232);
    e.fd.RS232()->portName = s->ptyPath();
    e.fd.RS232()->baudRate = kBaud;
    ok = e.fd.RS232()->openConnection() == 0;
    if (!ok) state.SkipWithError("cannot open the pseudo-terminal");
  }
  ~PtyJournal() {
    e.fd.RS232()->closeConnection();
    s->stop();
  }
  std::unique_ptr<sim::Simulator> s;
  BenchEngine e;
  TFBA_KT_33A profile;
  bool ok = false;
};

void BM_JournalOnSimPty(benchmark::State& state) {
  PtyJournal p(state, false);
  if (!p.ok) return;
  NullPageHost host;
  TDeviceOps ops(p.e.fd, p.e.misc, p.e.err, host);
  NullLines lines;
  int64_t read = 0;
  const uint64_t frames0 = p.s->framesServed();
  for (auto _ : state) {
    TJournalReader reader(ops, lines);
    if (!reader.readRange(1, 1, kTypeNonFiscal, TJournalMode::Read).ok() ||
        reader.linesRead != kLines) {
      state.SkipWithError("the document was not read whole");
      break;
    }
    read += reader.linesRead;
  }
  const double frames = static_cast<double>(p.s->framesServed() - frames0);
  state.counters["frames_per_doc"] = frames / static_cast<double>(state.iterations());
  const double lineSeconds = static_cast<double>(answerBytesPerDocument()) * 10.0 / kBaud;
  state.counters["lines_per_s"] = benchmark::Counter(static_cast<double>(read), benchmark::Counter::kIsRate);
  state.counters["line_allows_lines_per_s"] = kLines / lineSeconds;
  state.counters["doc_line_s"] = lineSeconds;
  state.counters["baud"] = kBaud;
}
BENCHMARK(BM_JournalOnSimPty)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(3.0);

void BM_JournalRawPty(benchmark::State& state) {
  PtyJournal p(state, true);
  if (!p.ok) return;
  std::string out;
  p.e.fd.customCommand(125, "0\t1\t" + std::to_string(kTypeNonFiscal) + "\t", out);
  runCommands(state, p.e.fd, 125, "1\t");
  state.counters["line_allows_cmds_per_s"] = kBaud / 10.0 / static_cast<double>(2 + 40 + 1 + ANSWER_OVERHEAD);
}
BENCHMARK(BM_JournalRawPty)->UseRealTime()->MinTime(2.0);

#if KESTREL_BENCH_GUI
// `batched`: through TJournalTextArea; otherwise one appendPlainText per line, for
// comparison.
void runTextArea(benchmark::State& state, bool batched) {
  static int argc = 1;
  static char arg0[] = "bench_journal";
  static char* argv[] = {arg0, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication app(argc, argv);
  constexpr int total = 100000, probe = 10000;
  using Clock = std::chrono::steady_clock;
  double first = 0, last = 0;
  for (auto _ : state) {
    QPlainTextEdit text;
    text.setLineWrapMode(QPlainTextEdit::NoWrap);
    text.setUndoRedoEnabled(false);
    text.resize(740, 300);
    text.show();
    TJournalTextArea area(text, nullptr);
    area.clear();
    const std::string line = "          SALES A                 1234.00";
    const QString qline = QString::fromStdString(line);
    auto t0 = Clock::now();
    for (int i = 0; i < total; ++i) {
      if (i == probe) {
        area.flush();
        QApplication::processEvents();
        first += std::chrono::duration<double>(Clock::now() - t0).count();
      }
      if (i == total - probe) t0 = Clock::now();
      if (batched) area.add(line);
      else text.appendPlainText(qline);
    }
    area.flush();
    QApplication::processEvents();
    last += std::chrono::duration<double>(Clock::now() - t0).count();
    if (text.blockCount() != total) state.SkipWithError("lines lost");
  }
  const double n = static_cast<double>(state.iterations()) * probe;
  state.counters["first_10k_us_per_line"] = first / n * 1e6;
  state.counters["last_10k_us_per_line"] = last / n * 1e6;
  state.counters["last_over_first"] = last / first;
}

void BM_JournalTextArea(benchmark::State& state) { runTextArea(state, true); }
BENCHMARK(BM_JournalTextArea)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_JournalTextAreaPerLine(benchmark::State& state) { runTextArea(state, false); }
BENCHMARK(BM_JournalTextAreaPerLine)->Unit(benchmark::kMillisecond)->Iterations(1);
#endif

}  // namespace

BENCHMARK_MAIN();
