// The window while it waits for a device: it keeps painting, says what it waits for,
// "Cancel" ends the wait (and the whole read of a page), and no other input starts
// anything meanwhile; a device that goes away is noticed; a command that failed without
// a device code is never success.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QWindow>
#include <QScopeGuard>
#include <atomic>

#include "app/gui_fixture.h"
#include "app/logic/page_table.h"
#include "app/ui/shell/page_registry.h"
#include "util/device_peer.h"

namespace kestrel {
namespace {

using namespace guitest;

std::string identificationWithClock(const test::Request& r) {
  if (r.cmd == 90 && r.data.rfind("#", 0) == 0) return "0\tFP\tBA\tKT-33A\t01\t1.04\t1.04\t1.04\tAB123456\t2.0\t1.1\t";
  if (r.cmd == 90) return "0\tKT-33A\t1.04\t15-01-25\t12:00\t5A3C\t00000000\tAB123456\t12345678\t";
  if (r.cmd == 62) return "0\t01-07-25 10:00:00\t";
  if (r.cmd == 255) return "0\t\t";
  return "0\t";
}

TEST(GuiWaiting, CancelEndsTheWaitOfASilentDeviceAndOtherInputStartsNothing) {
  // The device answers everything until command 33, then stays silent.
  // It keeps its end open until the test is over, so the wait ends only by Cancel.
  std::atomic<bool> silent{false}, over{false};
  auto peer = test::DevicePeer::pty(true, [&](test::PeerLink& link) {
    test::Request r;
    while (!over) {
      if (!link.readRequest(r, 1000)) continue;
      if (r.cmd == 33) silent = true;
      if (!silent) link.answer(r, identificationWithClock(r));
    }
  });
  auto endPeer = qScopeGuard([&] { over = true; });
  Window win;
  win.usePort(peer->slavePath());
  win.clickConnect();
  ASSERT_TRUE(win.w.Connected());
  win.w.showPage(PAGE_CUSTOM);
  win.find<QLineEdit>("ed_CMD")->setText("33");
  win.dialogs.answer(mrYes);
  const size_t requestsBefore = peer->requests().size();

  auto* cancel = win.w.findChild<QPushButton*>("btnCancelWait");
  ASSERT_NE(cancel, nullptr);
  // The connection's own waits are over: their status goes shortly after.
  EXPECT_TRUE(QTest::qWaitFor([&] { return !cancel->isVisible(); }, 2000));
  bool sawWait = false;
  std::string waitText;
  QElapsedTimer sinceCancel;
  QTimer::singleShot(400, &win.w, [&] {
    sawWait = win.w.waiting() && cancel->isVisible();
    waitText = win.find<QLabel>("sbWait")->text().toStdString();
    // Input goes the way the window system sends it, through the top-level window:
    // F5 and a click on another page's node are held off, the click on Cancel is not.
    QWindow* window = win.w.windowHandle();
    QTest::keyClick(window, Qt::Key_F5);
    auto* tree = win.find<QTreeWidget>("tvPages");
    QTreeWidgetItem* vats = tree->findItems("VATs", Qt::MatchExactly | Qt::MatchRecursive).value(0);
    if (vats)
      QTest::mouseClick(window, Qt::LeftButton, {}, tree->viewport()->mapTo(&win.w, tree->visualItemRect(vats).center()));
    sinceCancel.start();
    QTest::mouseClick(window, Qt::LeftButton, {}, cancel->mapTo(&win.w, cancel->rect().center()));
  });
  win.find<QPushButton>("bbtnExecute")->click();  // returns when the wait has ended
  ASSERT_TRUE(sinceCancel.isValid()) << "the window never let events run during the wait";
  EXPECT_LT(sinceCancel.elapsed(), 2000) << "the serial limit is 10 s; Cancel must end the wait at once";

  EXPECT_TRUE(sawWait);
  EXPECT_NE(waitText.find("command 33"), std::string::npos) << waitText;
  EXPECT_NE(waitText.find(peer->slavePath()), std::string::npos) << waitText;
  EXPECT_NE(waitText.find("10.0 s"), std::string::npos) << waitText;
  EXPECT_EQ(win.w.statusMessage().toStdString(), "Cancelled by the user.");
  EXPECT_EQ(win.w.activePage(), PAGE_CUSTOM);
  EXPECT_EQ(peer->requests().size(), requestsBefore + 1) << "only command 33 went out";
  EXPECT_TRUE(win.w.Connected());
  EXPECT_TRUE(win.find<QPushButton>("bbtnExecute")->isEnabled());
  QTest::qWait(400);
  EXPECT_FALSE(win.w.waiting());
  EXPECT_FALSE(cancel->isVisible());
}

TEST(GuiWaiting, ADeviceThatGoesAwayIsReportedLostAndTheWindowDisconnects) {
  auto sim = startSimulator(false);
  Window win;
  connectTo(win, *sim);
  const std::string target = "127.0.0.1:" + std::to_string(sim->port());
  sim->stop();
  win.dialogs.shown.clear();
  win.w.showPage("jvpg_Sub_02_Vats");  // its read meets the closed connection
  ASSERT_FALSE(win.dialogs.shown.empty());
  EXPECT_EQ(win.dialogs.shown.front().text, "Connection lost: " + target);
  EXPECT_FALSE(win.w.Connected());
  EXPECT_EQ(win.w.statusMessage().toStdString(), "Connection lost: " + target);
  EXPECT_EQ(win.find<QPushButton>("btnConnect")->text().toStdString(), "Connect");
}

TEST(GuiWaiting, AfterALostLinkOneClickReconnectsAndThePageKeepsWhatWasTyped) {
  auto sim = startSimulator(false);
  const uint16_t port = sim->port();
  Window win;
  connectTo(win, *sim);
  win.w.showPage("jvpg_Sub_02_Vats");
  win.find<QComboBox>("cbxVAT1")->setCurrentIndex(1);
  auto* rate = win.find<QLineEdit>("edVAT_1");
  ASSERT_TRUE(rate->isEnabled());
  rate->setFocus();
  rate->selectAll();
  QTest::keyClicks(rate, "19.50");
  sim->stop();
  win.dialogs.shown.clear();
  auto* save = win.find<QPushButton>("bbtnSetVAT");
  QTest::mouseClick(win.w.windowHandle(), Qt::LeftButton, {}, save->mapTo(&win.w, save->rect().center()));
  ASSERT_FALSE(win.w.Connected());
  ASSERT_FALSE(win.dialogs.shown.empty());
  EXPECT_EQ(win.dialogs.shown.front().text, "Connection lost: 127.0.0.1:" + std::to_string(port));

  // The Connect page, its button in reach and named for what it does.
  EXPECT_EQ(win.w.activePage(), PAGE_CONNECT);
  auto* connectButton = win.find<QPushButton>("btnConnect");
  EXPECT_TRUE(connectButton->isEnabled());
  EXPECT_TRUE(connectButton->isVisible());
  EXPECT_EQ(connectButton->text().toStdString(), "Connect");
  EXPECT_EQ(QApplication::focusWidget(), connectButton);

  // The device comes back on its port: one click, and the technician is where they were.
  sim::SimulatorOptions o;
  o.port = port;
  sim::Simulator again(o);
  std::string error;
  ASSERT_TRUE(again.start(error)) << error;
  QTest::mouseClick(win.w.windowHandle(), Qt::LeftButton, {}, connectButton->mapTo(&win.w, connectButton->rect().center()));
  ASSERT_TRUE(win.w.Connected());
  EXPECT_EQ(win.w.activePage(), "jvpg_Sub_02_Vats");
  EXPECT_EQ(rate->text().toStdString(), "19.50") << "what was typed before the loss stays";
  EXPECT_TRUE(win.find<QTreeWidget>("tvPages")->isEnabled());
  EXPECT_TRUE(save->isEnabled());
  // The loss went to the Connect page without asking about the edit; it is still unsaved.
  for (const auto& d : win.dialogs.shown) EXPECT_NE(d.buttons, DialogButtons::YesNo) << d.text;
  win.dialogs.shown.clear();
  win.w.showPage(PAGE_CLICHE);
  ASSERT_EQ(win.dialogs.shown.size(), 1u);
  EXPECT_NE(win.dialogs.shown[0].text.find("are not saved in the device"), std::string::npos);
  EXPECT_EQ(win.w.activePage(), "jvpg_Sub_02_Vats");
  again.stop();
}

TEST(GuiWaiting, EnterInThePortFieldConnects) {
  auto sim = startSimulator(false);
  Window win;
  presetTCP(win.w, "127.0.0.1", sim->port());
  auto* port = win.find<QLineEdit>("edPort");
  port->setFocus();
  QTest::keyClick(port, Qt::Key_Return);
  EXPECT_TRUE(win.w.Connected());
  QTest::keyClick(port, Qt::Key_Return);  // connected: Enter does not disconnect
  EXPECT_TRUE(win.w.Connected());
}

TEST(GuiWaiting, AConnectionWhoseFramesAreRefusedEveryTimeIsNeverConnected) {
  // NAK, a wrong sequence number or a wrong checksum on every answer: no device code,
  // still a failure with its own message.
  for (const char* fault : {"nak", "seq", "checksum"}) {
    SCOPED_TRACE(fault);
    auto s = startSimulator(false, "", 0, fault);
    Window win;
    presetTCP(win.w, "127.0.0.1", s->port());
    win.clickConnect();
    EXPECT_FALSE(win.w.Connected());
    ASSERT_FALSE(win.dialogs.shown.empty());
    EXPECT_NE(win.dialogs.shown.front().text, "No error");
    EXPECT_NE(win.w.statusMessage().toStdString(), "Connected.");
    s->stop();
  }
}

// The page read that follows the connection is twenty-one commands: "Cancel" in its
// third ends all of it. The technician asked for it, so no error dialog; the status bar
// says it and the tree names the page being read.
TEST(GuiWaiting, CancelInThePageReadAfterConnectingEndsTheWholeRead) {
  auto slow = startSimulator(false, "", 0, "slow:500");
  sim::Simulator& sim = *slow;
  Window win;
  Sent sent(win);
  auto* cancel = win.find<QPushButton>("btnCancelWait");
  auto* tree = win.find<QTreeWidget>("tvPages");
  auto headerReads = [&] {
    size_t n = 0;
    for (const std::string& in : sent.inputsOf(255)) n += in.rfind("Header\t", 0) == 0;
    return n;
  };
  QElapsedTimer sincePress;
  uint64_t framesAtPress = 0;
  QString nodeDuringRead;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (sincePress.isValid() || headerReads() < 3 || !cancel->isVisible()) return;
    nodeDuringRead = tree->currentItem() ? tree->currentItem()->text(0) : QString();
    framesAtPress = sim.framesServed();
    sincePress.start();
    QTest::mouseClick(win.w.windowHandle(), Qt::LeftButton, {}, cancel->mapTo(&win.w, cancel->rect().center()));
  });
  poll.start(20);
  connectTo(win, sim);
  poll.stop();
  ASSERT_TRUE(sincePress.isValid()) << "the read ended before the press";
  EXPECT_LT(sincePress.elapsed(), 1000) << "the read went on after Cancel";
  EXPECT_EQ(nodeDuringRead.toStdString(), "Date, header & footer");
  EXPECT_EQ(win.w.activePage(), PAGE_CLICHE);
  EXPECT_EQ(win.shownTexts(), std::vector<std::string>{});
  EXPECT_EQ(win.w.statusMessage().toStdString(), "Cancelled by the user.");
  EXPECT_EQ(headerReads(), 3u);
  EXPECT_TRUE(sent.inputsOf(62).empty()) << "the clock was read after the stop";
  QTest::qWait(800);  // the abandoned command's answer; nothing follows it
  EXPECT_EQ(sim.framesServed(), framesAtPress);
  EXPECT_FALSE(win.w.stopRequested());
}

// Every page's own read, its node clicked and the read cancelled in its first wait, ends
// there: nothing more goes to the device and no error dialog is shown. The tree names
// the page during its read.
TEST(GuiWaiting, CancelInTheFirstWaitOfEveryPagesReadEndsIt) {
  // A register: it has the clients and key pages too.
  auto slow = startSimulator(false, "KT-11A", 0, "slow:300");
  sim::Simulator& sim = *slow;
  Window win;
  win.w.set_PageRead(PAGE_CLICHE, [] {});  // its own test above
  connectTo(win, sim);
  auto* cancel = win.find<QPushButton>("btnCancelWait");
  auto* tree = win.find<QTreeWidget>("tvPages");
  bool armed = false, pressed = false;
  uint64_t framesAtPress = 0;
  std::string selectedDuringRead;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (!armed || pressed || !cancel->isVisible() || !win.w.waiting()) return;
    pressed = true;
    framesAtPress = sim.framesServed();
    const auto selected = tree->selectedItems();
    selectedDuringRead = selected.size() == 1 ? selected.front()->text(0).toStdString() : "";
    QTest::mouseClick(win.w.windowHandle(), Qt::LeftButton, {}, cancel->mapTo(&win.w, cancel->rect().center()));
  });
  poll.start(10);
  std::vector<std::string> notPressed;
  for (const TPageRow& row : pageTable()) {
    if (!*row.readOp || row.page == std::string(PAGE_CLICHE)) continue;
    SCOPED_TRACE(row.page);
    QTest::qWait(400);  // the last page's abandoned answer
    win.dialogs.shown.clear();
    armed = true;
    pressed = false;
    // The page's node clicked as the technician does; returns when its read has ended.
    QTreeWidgetItem* node = nullptr;
    for (QTreeWidgetItemIterator it(tree); *it && !node; ++it)
      if ((*it)->text(0) == row.title && (*it)->data(0, Qt::UserRole).toString() == row.page) node = *it;
    if (!node) {
      ADD_FAILURE() << "no tree node";
      continue;
    }
    tree->scrollToItem(node);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(node).center());
    armed = false;
    if (!pressed) {
      notPressed.push_back(row.page);
      continue;
    }
    EXPECT_EQ(selectedDuringRead, row.title) << "the tree named another page during the read";
    EXPECT_EQ(win.w.activePage(), row.page);
    EXPECT_FALSE(win.w.operationRunning());
    // A loop's read (the clients) says how far it got; nothing else is shown.
    for (const std::string& text : win.shownTexts()) EXPECT_EQ(text.rfind("Read stopped at ", 0), 0u) << text;
    QTest::qWait(500);
    EXPECT_EQ(sim.framesServed(), framesAtPress) << "the read went on after Cancel";
    EXPECT_TRUE(win.w.Connected());
  }
  EXPECT_EQ(notPressed, std::vector<std::string>{}) << "pages whose read sent nothing to cancel";
}

// A read stopped in its first wait leaves the page's own values where the device's
// would be: Save asks before writing them, and No writes nothing.
TEST(GuiWaiting, ASaveAfterAStoppedReadAsksBeforeWritingTheValuesShown) {
  auto slow = startSimulator(false, "", 0, "slow:300");
  Window win;
  win.w.set_PageRead(PAGE_CLICHE, [] {});
  connectTo(win, *slow);
  auto* cancel = win.find<QPushButton>("btnCancelWait");
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (!cancel->isVisible() || !win.w.waiting()) return;
    poll.stop();
    QTest::mouseClick(win.w.windowHandle(), Qt::LeftButton, {}, cancel->mapTo(&win.w, cancel->rect().center()));
  });
  poll.start(10);
  const char* params = "jvpg_Sub_03_Params";
  win.w.showPage(params);
  ASSERT_FALSE(poll.isActive()) << "the read was not stopped";
  ASSERT_TRUE(win.w.page(params)->readIncomplete());
  QTest::qWait(400);  // the abandoned answer

  Sent sent(win);
  win.dialogs.shown.clear();
  win.dialogs.answer(mrNo);
  win.find<QPushButton>("bbtnSetParameters")->click();
  ASSERT_EQ(win.dialogs.shown.size(), 1u);
  EXPECT_EQ(win.dialogs.shown[0].text,
            "The last read of \"Parameters\" did not finish: some values shown are not the device's. Write the "
            "values shown to the device anyway?");
  EXPECT_EQ(win.dialogs.shown[0].defaultButton, mrNo);
  EXPECT_TRUE(sent.all.empty()) << "written after No";
}

}  // namespace
}  // namespace kestrel
