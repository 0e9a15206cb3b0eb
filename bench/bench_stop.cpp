// How soon a stop request ends a long loop, on a device that answers every command
// after two seconds (the simulator's slow:2000 fault): the request comes in the middle
// of a wait, which is where a technician's click nearly always lands on such a device.
//
// BM_StopItemsRead: TItemsOps reads items 1..10; another thread raises the host's stop
// request 0.7 to 1.7 s into the second item's wait. Manual time: the time from the
// request to the read's return. Arg 0: TCP on loopback, Arg 1: a pseudo-terminal at
// 9600 baud.
//
// BM_StopWindowItemsRead (where the window is built): the same read started from the
// real window offscreen ("Read..." "All"), ended by a click on the page's Stop (Arg 0)
// or on the wait's "Cancel" (Arg 1), delivered through the window as the window system
// would, over TCP; Arg 2: Stop on a pseudo-terminal at 9600 baud. Manual time: from the
// click to the end of the operation.
//
// The counters `stop_ms_max` give the slowest reaction of the run; the goal is 0.2 s.
// bench_common.h before Qt: it names a parameter `slots`, which Qt defines as a macro.
#include "bench_common.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <random>

#include "app/logic/device_ops.h"
#include "app/logic/mem_table.h"
#include "app/logic/page_host.h"
#include "app/logic/pages/items.h"
#include "app/logic/session.h"
#if KESTREL_BENCH_GUI
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCheckBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include "app/ui/core/dm.h"
#include "app/ui/core/qt_dialogs.h"
#include "app/ui/pages/connect_page.h"
#include "app/ui/shell/main_fbh.h"
#endif
#include "sim/device_model.h"
#include "sim/simulator.h"
#include "support/dialogs.h"

using namespace kestrel;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kItems = 10;
constexpr int kAnswerMs = 2000;

std::unique_ptr<sim::Simulator> slowSimulator(bool pty) {
  sim::SimulatorOptions o;
  o.port = 0;
  o.tcp = !pty;
  o.pty = pty;
  if (pty) o.baud = 9600;
  std::string error;
  if (!sim::parseFault("slow:" + std::to_string(kAnswerMs), o.faults, error)) return nullptr;
  auto s = std::make_unique<sim::Simulator>(o);
  if (!s->start(error)) return nullptr;
  s->withDevice([](sim::DeviceModel& d) {
    for (int p = 1; p <= kItems; ++p) {
      sim::Item it;
      it.vat = 2;
      it.dept = 3;
      it.price = p * 10000LL;
      it.name = "Item " + std::to_string(p);
      d.mutableState().items[p] = it;
    }
  });
  return s;
}

// A delay into the second command's wait, different each time.
std::chrono::milliseconds pressDelay(std::mt19937& random) {
  return std::chrono::milliseconds(kAnswerMs + 700 + static_cast<int>(random() % 1000));
}

void reportSlowest(benchmark::State& state, double slowestSeconds) {
  state.counters["stop_ms_max"] = slowestSeconds * 1000.0;
}

class StopHost : public NullPageHost {
 public:
  bool stopRequested() override { return requested.load(); }
  std::atomic<bool> requested{false};
};

void BM_StopItemsRead(benchmark::State& state) {
  const bool pty = state.range(0) == 1;
  auto simulator = slowSimulator(pty);
  if (!simulator) return state.SkipWithError("the simulator did not start");
  TLinkDescription link;
  link.tcp = !pty;
  if (pty) {
    link.serialPath = simulator->ptyPath();
    link.baud = 9600;
  } else {
    link.host = "127.0.0.1";
    link.tcpPort = simulator->port();
  }
  ScriptedDialogs dialogs;
  TDeviceSession session;
  session.misc.set_Dialogs(&dialogs);
  if (!session.open(link).ok()) return state.SkipWithError("the link did not open");
  StopHost host;
  TDeviceOps ops(session.fd, session.misc, session.errContainer, host);
  TMemTable table("fdmt_Articles");
  prepareArticlesTable(table);
  TItemsOps items(ops, table, host);
  std::mt19937 random(7);
  double slowest = 0;
  for (auto _ : state) {
    host.requested = false;
    Clock::time_point pressed{};
    std::thread presser([&] {
      std::this_thread::sleep_for(pressDelay(random));
      pressed = Clock::now();
      host.requested = true;
    });
    const TLoopOutcome r = items.ReadItems_inRange(1, kItems);
    const Clock::time_point ended = Clock::now();
    presser.join();
    if (!r.stopped()) return state.SkipWithError("the read was not stopped");
    const double seconds = std::chrono::duration<double>(ended - pressed).count();
    slowest = std::max(slowest, seconds);
    state.SetIterationTime(seconds);
    // The abandoned answer arrives later; the next read must start on a quiet link.
    std::this_thread::sleep_for(std::chrono::milliseconds(kAnswerMs + 300));
  }
  reportSlowest(state, slowest);
  session.close();
  session.misc.set_Dialogs(nullptr);
}
BENCHMARK(BM_StopItemsRead)->Arg(0)->Arg(1)->Iterations(4)->UseManualTime()->Unit(benchmark::kMillisecond);

#if KESTREL_BENCH_GUI

QApplication& application() {
  static int argc = 1;
  static char arg0[] = "bench_stop";
  static char* argv[] = {arg0, nullptr};
  static QApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QApplication(argc, argv);
  }();
  return *app;
}

void BM_StopWindowItemsRead(benchmark::State& state) {
  application();
  const bool pty = state.range(0) == 2;
  const bool cancel = state.range(0) == 1;
  auto simulator = slowSimulator(pty);
  if (!simulator) return state.SkipWithError("the simulator did not start");
  ScriptedDialogs dialogs;
  ScriptedFileChooser files;
  Tdm dm;
  TfmMainFBH w{dm, &dialogs, &files};
  w.show();
  QApplication::processEvents();
  // The reads of the pages as they are shown would take seconds each here.
  w.set_PageRead("jvpg_Sub_01_Clishe", [] {});
  if (pty) {
    if (auto* tcp = w.findChild<QCheckBox*>("chbxTCP"); tcp->isChecked()) tcp->click();
    w.findChild<QComboBox*>("cbxCOM")->setEditText(QString::fromStdString(simulator->ptyPath()));
    w.findChild<QComboBox*>("cbxSPEED")->setCurrentText("9600");
  } else {
    presetTCP(w, "127.0.0.1", simulator->port());
  }
  w.findChild<QPushButton*>("btnConnect")->click();
  if (!w.Connected()) return state.SkipWithError("the window did not connect");
  w.showPage("jvpg_Sub__Root_03_Items");
  QWidget* control = cancel ? w.findChild<QWidget*>("btnCancelWait") : w.findChild<QWidget*>("bbtnStopRead");
  std::mt19937 random(7);
  double slowest = 0;
  for (auto _ : state) {
    Clock::time_point pressed{};
    QTimer::singleShot(pressDelay(random), &w, [&] {
      pressed = Clock::now();
      QTest::mouseClick(w.windowHandle(), Qt::LeftButton, {}, control->mapTo(&w, control->rect().center()));
    });
    w.findChild<QPushButton*>("bbtnReadItems")->click();
    w.findChild<QAction*>("mniAllItems")->trigger();
    const Clock::time_point ended = Clock::now();
    if (pressed == Clock::time_point{} || w.operationRunning())
      return state.SkipWithError("the read ended before the click or did not end");
    const double seconds = std::chrono::duration<double>(ended - pressed).count();
    slowest = std::max(slowest, seconds);
    state.SetIterationTime(seconds);
    QTest::qWait(kAnswerMs + 300);
  }
  reportSlowest(state, slowest);
}
BENCHMARK(BM_StopWindowItemsRead)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Iterations(4)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

#endif

}  // namespace

BENCHMARK_MAIN();
