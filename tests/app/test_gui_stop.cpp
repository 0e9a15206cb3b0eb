// Long work stopped by the technician on a device that takes two seconds per command:
// the page's Stop, the wait's "Cancel" and Escape each end the whole operation at
// once, also in the middle of a wait; nothing goes to the device after it, nothing is
// asked, and the closing message says how far it got; the grid keeps every row the
// device answered before.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QWindow>
#include <functional>

#include "app/gui_fixture.h"
#include "app/items_fixture.h"
#include "app/logic/backup.h"
#include "app/logic/page_table.h"
#include "app/logic/pages/clients.h"
#include "app/ui/dialogs/select_dialog.h"
#include "util/temp_path.h"

namespace kestrel {
namespace {

using namespace guitest;


// A register (it has clients) that answers every command after two seconds, SYN
// meanwhile, with ten items, ten clients and five journal documents.
struct SlowWindow : Window {
  SlowWindow() {
    sim = startSimulator(false, "KT-11A", 0, "slow:2000");
    std::vector<int> plus;
    for (int p = 1; p <= 10; ++p) plus.push_back(p);
    apptest::putDeviceItems(*sim, plus);
    sim->withDevice([](sim::DeviceModel& d) {
      for (int c = 1; c <= 10; ++c) d.mutableState().clients[c] = {"Client " + std::to_string(c), "", "", "", ""};
      std::string answer;
      for (int i = 0; i < 5; ++i) d.execute(69, "X\t", answer);
      d.mutableState().vat = {1700, 500, 0, 0, 0};
      d.mutableState().vatSet = true;
      d.mutableState().operators[0].password = "0000";
      return 0;
    });
    // The reads of the pages as they are shown would take seconds each here.
    for (const char* page : {PAGE_CLICHE, PAGE_CLIENTS, PAGE_RECEIPT_FORMAT}) w.set_PageRead(page, [] {});
    connectTo(*this, *sim);
  }

  // Input as the window system delivers it: through the top-level window.
  void click(QWidget* widget) {
    QTest::mouseClick(w.windowHandle(), Qt::LeftButton, {}, widget->mapTo(&w, widget->rect().center()));
  }

  std::unique_ptr<sim::Simulator> sim;
};

enum class Press { PageStop, Cancel, Escape };

struct StopCase {
  const char* name;
  const char* page;
  Press press;
  const char* stopControl;  // the page's own Stop
  const char* closing;      // how the closing message begins
  // Starts the operation; returns when it has ended.
  std::function<void(SlowWindow&)> run;
  // What else must hold once it has ended.
  std::function<void(SlowWindow&)> after = [](SlowWindow&) {};
  // When the stop is pressed: half way through the second command's wait.
  int pressAt = 3000;
};

void itemsMenu(SlowWindow& win, const char* button, const char* entry) {
  win.find<QPushButton>(button)->click();
  win.find<QAction>(entry)->trigger();
}

// "Read..." "From... To..." 1 to 10, the range typed into the range dialog.
void readItemRange(SlowWindow& win) {
  QTimer::singleShot(0, [] {
    auto* d = qobject_cast<TfmSelect*>(QApplication::activeModalWidget());
    if (!d) return ADD_FAILURE() << "no range dialog";
    d->findChild<QLineEdit*>("edFrom")->setText("1");
    d->findChild<QLineEdit*>("edTo")->setText("10");
    d->accept();
  });
  itemsMenu(win, "bbtnReadItems", "mniRangeItems");
}

TEST(GuiStop, StopCancelAndEscapeEndEveryLongLoopAtOnceAndNothingIsSentAfter) {
  // A logo of five blocks; a backup to write; a backup that differs from the device in a
  // VAT rate, then holds the receipt format page.
  test::TempFolder folder;
  const std::string logo = folder.path + "/logo.bmp", backup = folder.path + "/backup.ini",
                    restore = folder.path + "/restore.ini";
  {
    std::ofstream(logo, std::ios::binary) << "BM" << std::string(5 * 54 - 2, '\x11');
    TBackup b;
    b.model = "KT-11A";
    b.pages = {{"vat", {{"A", "5.00"}}}, {"receipt", {{"DublReceipts", "1"}}}};
    writeBackupFile(restore, b);
  }
  auto logoOfDevice = [](SlowWindow& w) { return w.sim->withDevice([](sim::DeviceModel& d) { return d.state().logo; }); };
  const StopCase cases[] = {
      {"items read, Stop", PAGE_ITEMS, Press::PageStop, "bbtnStopRead", "Read stopped at PLU 2 after 1 item.", readItemRange},
      {"items read, Cancel", PAGE_ITEMS, Press::Cancel, "bbtnStopRead", "Read stopped at PLU 2 after 1 item.", readItemRange},
      {"items save, Escape", PAGE_ITEMS, Press::Escape, "bbtnStopRead", "Save stopped after 1 of 10 items.",
       [](SlowWindow& w) {
         TMemTable& t = w.dm.fdmt_Articles;
         t.clear();
         for (int p = 1; p <= 10; ++p)
           apptest::addItemRow(t, {{"PLU", std::to_string(p)}, {"Name", "New " + std::to_string(p)}, {"VAT", "1"}});
         itemsMenu(w, "bbtnSendItems", "mniAllItems");
       }},
      // A range goes in one command; the rows selected in the grid go one by one.
      {"items delete, Stop", PAGE_ITEMS, Press::PageStop, "bbtnStopRead", "Delete stopped after 1 of 10 items.",
       [](SlowWindow& w) {
         TMemTable& t = w.dm.fdmt_Articles;
         t.clear();
         for (int p = 1; p <= 10; ++p) apptest::addItemRow(t, {{"PLU", std::to_string(p)}, {"Name", "Old"}, {"VAT", "1"}});
         w.find<QTableView>("dbg_Articles")->selectAll();
         itemsMenu(w, "bbtnDelete", "mniSelectedItems");
       }},
      {"clients save, Escape", PAGE_CLIENTS, Press::Escape, "chbx_StopClients", "Save stopped after 1 of 10 clients.",
       [](SlowWindow& w) {
         TMemTable& t = w.dm.fdmt_ClientInfo;
         prepareClientTable(t);
         for (int c = 1; c <= 10; ++c) {
           const int row = appendClientRow(t);
           t.setValue(row, "ID", std::to_string(c));
           t.setValue(row, "Client", "New client " + std::to_string(c));
         }
         w.find<QPushButton>("btnWriteClientInfo")->click();
         w.find<QAction>("mniAllClients")->trigger();
       }},
      {"clients read, Stop", PAGE_CLIENTS, Press::PageStop, "chbx_StopClients", "Read stopped",
       [](SlowWindow& w) { w.find<QPushButton>("btnReadClientInfo")->click(); }},
      {"clients read, Cancel", PAGE_CLIENTS, Press::Cancel, "chbx_StopClients", "Read stopped",
       [](SlowWindow& w) { w.find<QPushButton>("btnReadClientInfo")->click(); }},
      // Stopped while the first line of document 1 is on its way.
      {"journal read, Stop", PAGE_JOURNAL, Press::PageStop, "bbtnStopKLdate",
       "Read stopped at document 1 after 0 documents.",
       [](SlowWindow& w) {
         if (!w.find<QCheckBox>("chbxKLrangeBynum")->isChecked()) w.find<QCheckBox>("chbxKLrangeBynum")->click();
         w.find<QComboBox>("cbxKLENtype")->setCurrentIndex(2);
         w.find<QLineEdit>("edKLfromNum")->setText("1");
         w.find<QLineEdit>("edKLtoNum")->setText("5");
         w.find<QPushButton>("bbtnGetKLEN")->click();
       }},
      // Stopped in the first block's wait: no "STOPP", no "UPDATE", the old logo stays.
      {"logo upload, Cancel", PAGE_RECEIPT_FORMAT, Press::Cancel, "btnCancelWait",
       "Upload stopped after 0 of 5 blocks.",
       [&](SlowWindow& w) {
         w.files.answers.push_back(logo);
         w.find<QPushButton>("bbtnLogo")->click();
       },
       [&](SlowWindow& w) { EXPECT_EQ(logoOfDevice(w), ""); }},
      // Stopped in the first void's wait: the receipt is neither paid nor closed.
      {"close receipts, Escape", PAGE_TEST_RECEIPTS, Press::Escape, "btnCancelWait",
       "Close receipts stopped at void 1 after 0 voids.",
       [](SlowWindow& w) {
         // A fiscal receipt left open with three sales.
         w.sim->withDevice([](sim::DeviceModel& d) {
           std::string answer;
           d.execute(48, "1\t0000\t1\t1\t", answer);
           for (int i = 0; i < 3; ++i) d.execute(58, "1\t1.000\t2.50\t0\t0\t", answer);
           EXPECT_EQ(d.state().receipt.kind, sim::RK_FISCAL) << answer;
           return 0;
         });
         w.find<QPushButton>("btnPanicOp")->click();
       },
       [](SlowWindow& w) {
         EXPECT_EQ(w.sim->withDevice([](sim::DeviceModel& d) { return d.state().receipt.kind; }), sim::RK_FISCAL);
       }},
      {"backup, Escape", PAGE_SETTINGS, Press::Escape, "btnCancelWait",
       "The backup was not written: stopped while reading ",
       [&](SlowWindow& w) {
         w.files.answers.push_back(backup);
         w.find<QPushButton>("btnBackupDevice")->click();
       },
       [&](SlowWindow&) { EXPECT_FALSE(std::filesystem::exists(backup)) << "a part of a backup was written"; }},
      // Stopped while the comparison reads the receipt format, after it found the VAT
      // rate to change (five reads): it asks nothing and writes nothing.
      {"restore, Cancel", PAGE_SETTINGS, Press::Cancel, "btnCancelWait",
       "Comparison stopped after 1 of 2 parts.\nNothing was written.",
       [&](SlowWindow& w) {
         w.files.answers.push_back(restore);
         w.find<QPushButton>("btnRestoreDevice")->click();
       },
       [](SlowWindow& w) {
         EXPECT_EQ(w.sim->withDevice([](sim::DeviceModel& d) { return d.state().vat[0]; }), 1700);
       },
       11000},
  };
  SlowWindow win;
  auto* cancel = win.find<QPushButton>("btnCancelWait");
  for (const StopCase& c : cases) {
    SCOPED_TRACE(c.name);
    win.w.showPage(c.page);
    ASSERT_EQ(win.w.activePage(), c.page);
    win.dialogs.shown.clear();
    QElapsedTimer sincePress;
    uint64_t framesAtPress = 0;
    size_t shownAtPress = 0;
    bool stopTookInput = false;
    QTimer::singleShot(c.pressAt, &win.w, [&] {
      auto* stop = win.find<QWidget>(c.stopControl);
      stopTookInput = stop->isVisible() && stop->isEnabled() && win.w.waiting();
      framesAtPress = win.sim->framesServed();
      shownAtPress = win.dialogs.shown.size();
      sincePress.start();
      switch (c.press) {
        case Press::PageStop: win.click(stop); break;
        case Press::Cancel: win.click(cancel); break;
        case Press::Escape: QTest::keyClick(win.w.windowHandle(), Qt::Key_Escape); break;
      }
    });
    QElapsedTimer sinceStart;
    sinceStart.start();
    c.run(win);
    ASSERT_TRUE(sincePress.isValid()) << "the operation ended before the press";
    EXPECT_LT(sincePress.elapsed(), 1000) << "the operation went on after the stop request";
    EXPECT_TRUE(stopTookInput) << "the page's Stop was not in reach during the wait";
    EXPECT_FALSE(win.w.operationRunning());
    EXPECT_TRUE(win.w.Connected());
    // Said once the operation has ended, naming how far it got.
    const auto shown = win.shownTexts();
    EXPECT_TRUE(!shown.empty() && shown.back().rfind(c.closing, 0) == 0)
        << (shown.empty() ? "no closing message" : shown.back());
    for (size_t i = shownAtPress; i < win.dialogs.shown.size(); ++i)
      EXPECT_EQ(win.dialogs.shown[i].buttons, DialogButtons::Ok) << "asked after the stop: " << win.dialogs.shown[i].text;
    c.after(win);
    // The abandoned command's answer comes two seconds later; nothing follows it.
    QTest::qWait(2500);
    EXPECT_EQ(win.sim->framesServed(), framesAtPress) << "commands went out after the stop";
    EXPECT_FALSE(win.w.stopRequested()) << "the next operation must not start stopped";
  }
}

TEST(GuiStop, TheGridKeepsTheRowsAnsweredBeforeTheStopAndShowsThemDuringTheLoop) {
  SlowWindow win;
  win.w.showPage(PAGE_ITEMS);
  auto* grid = win.find<QTableView>("dbg_Articles");
  int rowsShownDuringTheLoop = -1;
  // Items 1 and 2 answered, 3 asked for.
  QTimer::singleShot(5000, &win.w, [&] {
    rowsShownDuringTheLoop = grid->model()->rowCount();
    win.click(win.find<QPushButton>("bbtnStopRead"));
  });
  readItemRange(win);
  EXPECT_GE(rowsShownDuringTheLoop, 1) << "the grid went blank while the loop ran";
  const auto plus = apptest::rowsPlu(win.dm.fdmt_Articles);
  ASSERT_GE(plus.size(), 2u);
  for (size_t i = 0; i < plus.size(); ++i) EXPECT_EQ(plus[i], std::to_string(i + 1));
  EXPECT_EQ(grid->model()->rowCount(), static_cast<int>(plus.size()));
}

}  // namespace
}  // namespace kestrel
