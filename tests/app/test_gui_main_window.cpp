// The real window, offscreen, against the simulator in-process (or a scripted device
// on a pseudo-terminal): widgets found by objectName, dialogs answered by a script.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTest>
#include <QTreeWidget>
#include <QWheelEvent>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <sys/stat.h>

#include "app/logic/model_table.h"
#include "app/logic/page_table.h"
#include "app/ui/core/dm.h"
#include "app/ui/pages/page.h"
#include "app/ui/pages/settings_page.h"
#include "app/ui/shell/main_fbh.h"
#include "app/ui/shell/page_registry.h"
#include "app/ui/shell/window_geometry.h"
#include "engine/rs232_connector.h"
#include "engine/tcpip_connector.h"
#include "sim/simulator.h"
#include "util/device_peer.h"
#include "app/gui_fixture.h"

namespace kestrel {
namespace {

using namespace guitest;

void expectConnectedState(Window& win, const char* caption) {
  EXPECT_TRUE(win.w.Connected());
  EXPECT_EQ(win.w.windowTitle().toStdString(), caption);
  EXPECT_EQ(win.find<QPushButton>("btnConnect")->text().toStdString(), "Disconnect");
  EXPECT_TRUE(win.find<QTreeWidget>("tvPages")->isEnabled());
  EXPECT_EQ(win.w.activePage(), PAGE_CLICHE);
  EXPECT_EQ(win.find<QTreeWidget>("tvPages")->currentItem()->text(0).toStdString(), "Date, header & footer");
  EXPECT_EQ(win.w.statusMessage().toStdString(), "Connected.");
}

void expectDisconnectedState(Window& win) {
  EXPECT_FALSE(win.w.Connected());
  EXPECT_EQ(win.find<QPushButton>("btnConnect")->text().toStdString(), "Connect");
  EXPECT_TRUE(win.find<QPushButton>("btnConnect")->isEnabled());
  EXPECT_FALSE(win.find<QTreeWidget>("tvPages")->isEnabled());
  EXPECT_FALSE(win.find<QPushButton>("bbtnExecute")->isEnabled());
}

// ---------------------------------------------------------------- start-up

TEST(GuiStartUp, WindowStartsDisconnectedOnTheConnectPageWithTheTreeOfThePages) {
  Window win;
  EXPECT_EQ(win.w.windowTitle().toStdString(), "Kestrel FBH");
  EXPECT_EQ(win.w.activePage(), PAGE_CONNECT);
  expectDisconnectedState(win);
  EXPECT_EQ(win.find<QLabel>("sbPanel0")->text().toStdString(), "Status: ");

  // The nodes the page table makes, fully expanded, in its order.
  const auto& nodes = treeNodes();
  auto* tree = win.find<QTreeWidget>("tvPages");
  EXPECT_EQ(tree->topLevelItemCount(), std::count_if(nodes.begin(), nodes.end(), [](const auto& n) { return n.level == 0; }));
  std::vector<std::string> flat;
  for (QTreeWidgetItemIterator it(tree); *it; ++it) {
    flat.push_back((*it)->text(0).toStdString());
    if ((*it)->childCount() > 0) {
      EXPECT_TRUE((*it)->isExpanded()) << flat.back();
    }
  }
  ASSERT_EQ(flat.size(), nodes.size());
  for (size_t i = 0; i < nodes.size(); ++i) EXPECT_EQ(flat[i], nodes[i].text);
  EXPECT_EQ(flat[1], "Date, header & footer");
  EXPECT_EQ(flat.back(), "Settings");
  // Every page of the page table is in the stack.
  for (const auto& row : pageTable()) EXPECT_NE(win.w.findChild<QWidget*>(row.page), nullptr) << row.page;

  // Connect page defaults.
  EXPECT_EQ(win.find<QComboBox>("cbxSPEED")->currentText().toStdString(), "115200");
  EXPECT_FALSE(win.find<QCheckBox>("chbxTCP")->isChecked());
  EXPECT_FALSE(win.find<QLineEdit>("edIPaddr")->isEnabled());
  EXPECT_EQ(win.find<QLineEdit>("edPort")->text().toStdString(), "4999");
  win.find<QCheckBox>("chbxTCP")->click();
  EXPECT_TRUE(win.find<QLineEdit>("edIPaddr")->isEnabled());
  EXPECT_TRUE(win.find<QLineEdit>("edPort")->isEnabled());
  EXPECT_FALSE(win.find<QComboBox>("cbxCOM")->isEnabled());
  EXPECT_FALSE(win.find<QComboBox>("cbxSPEED")->isEnabled());

  // The engine's receive limits and attempts.
  EXPECT_EQ(win.dm.fd.RS232()->exitByTimeValue, 10000u);
  EXPECT_EQ(win.dm.fd.TCPIP()->exitByTimeValue, 30000u);
  EXPECT_EQ(win.dm.fd.repeatCount, 1);
  // The header and footer tables: ten rows, ID 1 to 10.
  ASSERT_EQ(win.dm.fdmt_Header.RecordCount(), 10);
  EXPECT_EQ(win.dm.fdmt_Footer.value(9, "ID"), "10");
  EXPECT_TRUE(win.dialogs.shown.empty());
}

TEST(GuiStartUp, StatusPageCaptionsBoldForEndUserErrorsAndNonErrorBitsSwitchedOff) {
  Window win;
  // The profile's end-user error bits are bold; a bit without meaning keeps its text
  // in normal style.
  auto* syntax = win.find<QCheckBox>("chbx_S0_0");
  EXPECT_EQ(syntax->text().toStdString(), "# Incoming data has syntax error.");
  EXPECT_TRUE(syntax->font().bold());
  EXPECT_TRUE(win.find<QCheckBox>("chbx_S0_6")->font().bold());  // cover open: bold, yet no error now
  EXPECT_FALSE(win.find<QCheckBox>("chbx_S2_1")->font().bold());
  EXPECT_EQ(win.find<QCheckBox>("chbx_S4_1")->text().toStdString(), "Tax number is set.");
  // Eight bytes with protocol_Type2.
  EXPECT_FALSE(win.find<QGroupBox>("grpByte7")->isHidden());

  const TLowLevel& ll = win.dm.fd.dd()->LowLevel();
  for (auto [b, i] : NON_ERROR_STATUS_BITS)
    for (auto profile : {ccProduction, ccDevelopmentAndTest, ccService, ccEndUser})
      EXPECT_FALSE(ll.get_sBytesCheckingFor(b, i, profile)) << b << "." << i;
  EXPECT_TRUE(ll.get_sBytesCheckingFor(0, 0, ccEndUser));  // syntax error stays an error
}

// Turns the wheel over `w` by `delta` (120 a notch; positive away from the user).
void wheel(QWidget* w, int delta) {
  QWheelEvent e(QPointF(5, 5), w->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, delta), Qt::NoButton,
                Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(w, &e);
}

TEST(GuiStartUp, WheelStepsChoiceListsAndNumberFieldsAndLeavesListsToScroll) {
  Window win;
  QApplication::setActiveWindow(&win.w);
  auto* com = win.find<QComboBox>("cbxCOM");
  auto* speed = win.find<QComboBox>("cbxSPEED");
  while (com->count() < 5) com->addItem(QString("COM %1").arg(com->count() + 1));
  com->setCurrentIndex(1);
  speed->setCurrentIndex(3);
  com->setFocus();
  // The box under the wheel steps, one entry per notch as the arrow keys would,
  // whichever widget has the focus.
  wheel(speed, -120);  // towards the user: Down
  EXPECT_EQ(speed->currentIndex(), 4);
  EXPECT_EQ(com->currentIndex(), 1);
  wheel(speed, 120);
  wheel(speed, 120);
  EXPECT_EQ(speed->currentIndex(), 2);
  // Over the typing field of the editable port box, and in touchpad fractions.
  wheel(com->lineEdit(), -60);
  EXPECT_EQ(com->currentIndex(), 1);
  wheel(com->lineEdit(), -60);
  EXPECT_EQ(com->currentIndex(), 2);

  QWidget* page = win.w.page(PAGE_CONNECT);
  auto* number = new QSpinBox(page);
  number->setRange(0, 10);
  number->setValue(5);
  number->show();
  wheel(number, 120);
  EXPECT_EQ(number->value(), 6);

  // A list scrolls by itself and keeps its selection.
  auto* list = new QListWidget(page);
  for (int i = 0; i < 100; ++i) list->addItem(QString::number(i));
  list->setCurrentRow(0);
  list->setGeometry(0, 0, 120, 120);
  list->show();
  QApplication::processEvents();
  wheel(list->viewport(), -120);
  EXPECT_GT(list->verticalScrollBar()->value(), 0);
  EXPECT_EQ(list->currentRow(), 0);
  EXPECT_EQ(speed->currentIndex(), 2);
  delete list;
  delete number;
}

TEST(GuiStartUp, MinimumSizeShrinksToASmallScreenAndThePageAreaScrolls) {
  struct Case {
    QRect available;
    QSize frame;
    QSize minimum;
  } cases[] = {
      {QRect(0, 0, 1920, 1050), QSize(0, 30), QSize(1024, 768)},
      {QRect(0, 32, 1366, 736), QSize(0, 30), QSize(1024, 706)},  // 1366x768 less its panel
      {QRect(0, 0, 1024, 600), QSize(4, 28), QSize(1020, 572)},
      {QRect(0, 0, 100, 50), QSize(0, 30), QSize(480, 360)},      // a broken report
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.available.height());
    EXPECT_EQ(minimumWindowSize(c.available, c.frame), c.minimum);
  }
  // Placed on the screen: nothing saved is the design size centred; a saved place keeps
  // its size and position when it fits, else it is shrunk and moved onto the screen.
  const QRect laptop(0, 32, 1366, 736);
  const QSize frame(0, 30), minimum(1024, 706);
  EXPECT_EQ(placedWindowGeometry(QRect(), QRect(0, 0, 1920, 1050), QSize(1024, 768), frame),
            QRect(448, 141, 1024, 768));
  EXPECT_EQ(placedWindowGeometry(QRect(200, 100, 1100, 800), QRect(0, 0, 1920, 1050), QSize(1024, 768), frame),
            QRect(200, 100, 1100, 800));
  EXPECT_EQ(placedWindowGeometry(QRect(3000, -50, 1300, 900), laptop, minimum, frame), QRect(66, 62, 1300, 706));

  // The real window: never bigger than its screen; a page taller than the window
  // scrolls.
  Window win;
  const QRect available = win.w.screen()->availableGeometry();
  EXPECT_LE(win.w.minimumSize().width(), available.width());
  EXPECT_LE(win.w.minimumSize().height(), available.height());
  auto* scroll = win.find<QScrollArea>("sbxPages");
  EXPECT_TRUE(scroll->widgetResizable());
  EXPECT_EQ(scroll->widget(), win.find<QStackedWidget>("pcPages"));
  win.w.resize(win.w.minimumSize());
  win.w.showPage(PAGE_STATUS);
  QApplication::processEvents();
  ASSERT_GT(win.w.page(PAGE_STATUS)->minimumSizeHint().height(), scroll->viewport()->height());
  EXPECT_GT(scroll->verticalScrollBar()->maximum(), 0);
  win.w.showPage(PAGE_CONNECT);
  QApplication::processEvents();
  EXPECT_EQ(scroll->verticalScrollBar()->maximum(), 0);  // a short page does not scroll
}

// ---------------------------------------------------------------- command verdict

TEST(GuiStatusUpdate, SilentCodesShowNothingAndShowErrChoosesAlertOrStatusBar) {
  Window win;
  struct Case {
    int code;
    bool showErr;
    bool ok;
    bool dialog;
    bool statusText;
  } cases[] = {
      {0, true, true, false, false},
      {CODE_PLU_NOT_FOUND, true, false, false, false},
      {CODE_FIRM_NOT_FOUND, true, false, false, false},
      {-112000, true, false, true, false},
      {-112000, false, false, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    win.dialogs.shown.clear();
    win.w.set_StatusMessage("old text");
    win.w.set_ShowErr(c.showErr);
    win.dm.errContainer.set_LastErrorCode(c.code);
    EXPECT_EQ(win.w.StatusUpdate(), c.ok);
    ASSERT_EQ(win.dialogs.shown.size(), c.dialog ? 1u : 0u);
    const std::string message = win.dm.errContainer.LastErrorMessage();
    if (c.dialog) {
      EXPECT_EQ(win.dialogs.shown[0].text, message);
    }
    EXPECT_EQ(win.w.statusMessage().toStdString(), c.statusText ? message : "");
  }
  // The next verdict clears the status bar.
  win.dm.errContainer.set_LastErrorCode(0);
  EXPECT_TRUE(win.w.StatusUpdate());
  EXPECT_EQ(win.w.statusMessage().toStdString(), "");
}

// ---------------------------------------------------------------- connection failures

TEST(GuiConnect, PortThatCannotBeOpenedAlertsAndStaysDisconnected) {
  Window win;
  win.usePort("/dev/kestrel-no-such-port");
  win.clickConnect();
  expectDisconnectedState(win);
  ASSERT_EQ(win.dialogs.shown.size(), 1u);
  EXPECT_NE(win.dialogs.shown[0].text.find("/dev/kestrel-no-such-port"), std::string::npos) << win.dialogs.shown[0].text;
  EXPECT_EQ(win.w.windowTitle().toStdString(), "Kestrel FBH");
  // " Connecting ... " gives way to the failure, in one line.
  const std::string status = win.w.statusMessage().toStdString();
  EXPECT_NE(status.find("/dev/kestrel-no-such-port"), std::string::npos) << status;
  EXPECT_EQ(status.find('\n'), std::string::npos) << status;
}

TEST(GuiConnect, BadTcpPortOrEmptyComEntryIsAConversionAlertTitledKestrel) {
  for (const char* port : {"65536", "49x"}) {
    SCOPED_TRACE(port);
    Window win;
    win.find<QCheckBox>("chbxTCP")->click();
    win.find<QLineEdit>("edIPaddr")->setText("127.0.0.1");
    win.find<QLineEdit>("edPort")->setText(port);
    win.clickConnect();
    expectDisconnectedState(win);
    ASSERT_EQ(win.dialogs.shown.size(), 1u);
    EXPECT_EQ(win.dialogs.shown[0].title, "Kestrel");
    EXPECT_NE(win.dialogs.shown[0].text.find(port), std::string::npos);
  }
  Window win;
  win.usePort("");
  win.clickConnect();
  expectDisconnectedState(win);
  ASSERT_EQ(win.dialogs.shown.size(), 1u);
  EXPECT_EQ(win.dialogs.shown[0].title, "Kestrel");
}

// The identification answers of a KT-33A as the diagnostic read and command 90 expect.
std::string identification(const test::Request& r) {
  if (r.cmd == 90 && r.data.rfind("#", 0) == 0) return "0\tFP\tBA\tKT-33A\t01\t1.04\t1.04\t1.04\tAB123456\t2.0\t1.1\t";
  if (r.cmd == 90) return "0\tKT-33A\t1.04\t15-01-25\t12:00\t5A3C\t00000000\tAB123456\t12345678\t";
  return "0\t";
}

// Answers each request until the engine has been quiet for half a second, so the
// peer's end does not hold the test up.
test::DevicePeer::Script answerUntilQuiet(std::function<std::string(const test::Request&)> reply) {
  return [reply](test::PeerLink& link) {
    test::Request r;
    while (link.readRequest(r, 500)) link.answer(r, reply(r));
  };
}

TEST(GuiConnect, DeviceThatRefusesTheIdentificationCommandIsClosedAgain) {
  // The diagnostic read while opening succeeds; the window's own command 90 is refused.
  int count90 = 0;
  auto peer = test::DevicePeer::pty(true, answerUntilQuiet([&](const test::Request& r) {
    if (r.cmd == 90 && ++count90 == 3) return std::string("-104002\t");
    return identification(r);
  }));
  Window win;
  win.usePort(peer->slavePath());
  win.clickConnect();
  expectDisconnectedState(win);
  ASSERT_EQ(win.dialogs.shown.size(), 1u) << win.shownTexts()[0];
  EXPECT_EQ(win.dialogs.shown[0].text, win.dm.errContainer.get_ErrorMessageByCode(-104002));
  EXPECT_EQ(win.w.statusMessage().toStdString(), win.dialogs.shown[0].text);
  EXPECT_EQ(count90, 3);
  EXPECT_FALSE(win.dm.fd.RS232()->Active());
}

TEST(GuiConnect, DeviceThatRefusesTheDiagnosticReadShowsTheTransportError) {
  auto peer = test::DevicePeer::pty(true, answerUntilQuiet([](const test::Request& r) {
    return r.cmd == 90 ? std::string("-112000\t") : identification(r);
  }));
  Window win;
  win.usePort(peer->slavePath());
  win.clickConnect();
  expectDisconnectedState(win);
  ASSERT_EQ(win.dialogs.shown.size(), 1u);
  EXPECT_NE(win.dialogs.shown[0].text.find("diagnostic"), std::string::npos) << win.dialogs.shown[0].text;
  EXPECT_FALSE(win.dm.fd.RS232()->Active());
}

// ---------------------------------------------------------------- pty connections

TEST(GuiConnect, SerialOverPseudoTerminalConnectsAndDisconnectResetsCaptionAndStatus) {
  auto sim = startSimulator(true, "KT-44B");
  Window win;
  win.usePort(sim->ptyPath());
  win.clickConnect();
  EXPECT_TRUE(win.dialogs.shown.empty()) << win.shownTexts()[0];
  expectConnectedState(win, "Kestrel FBH - [KT-44B]");
  EXPECT_EQ(win.w.ecrModel(), 3);
  EXPECT_EQ(win.w.MaxProgrammableKeys(), 8);
  EXPECT_EQ(win.w.testOperatorPassword, "1");
  EXPECT_EQ(win.dm.fd.CommunicationType(), ct_RS232);
  EXPECT_EQ(win.dm.fd.RS232()->portName, sim->ptyPath());
  EXPECT_TRUE(win.find<QPushButton>("bbtnExecute")->isEnabled());

  win.w.set_StatusMessage("Command executed.");
  win.clickConnect();  // "Disconnect"
  expectDisconnectedState(win);
  EXPECT_FALSE(win.dm.fd.RS232()->Active());
  // The caption names a model only while connected to it; the last command's message
  // goes with the connection.
  EXPECT_EQ(win.w.windowTitle().toStdString(), "Kestrel FBH");
  EXPECT_EQ(win.w.statusMessage().toStdString(), "Disconnected.");
  EXPECT_EQ(win.w.activePage(), PAGE_CLICHE);  // the page stays, the tree is disabled
}

// A device at another line speed only hears noise: the alert says what to check.
TEST(GuiConnect, AWrongLineSpeedSaysToCheckTheSpeedPortAndCable) {
  const auto simulator = startSimulator(true, "", 9600);
  sim::Simulator& sim = *simulator;
  Window win;
  win.usePort(sim.ptyPath());
  win.find<QComboBox>("cbxSPEED")->setCurrentText("19200");
  win.clickConnect();
  EXPECT_FALSE(win.w.Connected());
  ASSERT_EQ(win.dialogs.shown.size(), 1u);
  const std::string& text = win.dialogs.shown[0].text;
  EXPECT_NE(text.find(sim.ptyPath() + ": the device does not answer the diagnostic command\n"
                      "Check the speed (the device's is set in its menu), the port and the cable, and that the "
                      "device is on, or use \"Find device\"."),
            std::string::npos)
      << text;
  EXPECT_NE(win.w.statusMessage().toStdString().find("Check the speed"), std::string::npos);
  sim.stop();
}

// The data module passes the engine's events on as signals: a listener of its own sees
// the same frames as the Custom page, and the status of each answer.
TEST(GuiDataModule, EngineEventsReachEveryListener) {
  auto sim = startSimulator(false);
  std::vector<std::string> sent, received;
  int statuses = 0;
  Window win;
  connectTo(win, *sim);
  QObject::connect(&win.dm, &Tdm::commandSent, [&](const TCommunicationEventArgs& a) { sent.push_back(Tdm::packetText(a)); });
  QObject::connect(&win.dm, &Tdm::answerReceived,
                   [&](const TCommunicationEventArgs& a) { received.push_back(Tdm::packetText(a)); });
  QObject::connect(&win.dm, &Tdm::statusChanged, [&] { ++statuses; });
  // The Custom page sends with the frames traced, so both listeners get them.
  win.w.showPage(PAGE_CUSTOM);
  win.find<QLineEdit>("ed_CMD")->setText("90");
  win.dialogs.answer(mrYes);
  win.find<QPushButton>("bbtnExecute")->click();
  ASSERT_FALSE(sent.empty());
  ASSERT_FALSE(received.empty());
  EXPECT_GT(statuses, 0);
  EXPECT_EQ(win.find<QPlainTextEdit>("ed_HEXINPUT")->toPlainText().toStdString(), sent.back());
  EXPECT_EQ(win.find<QPlainTextEdit>("ed_HEXOUTPUT")->toPlainText().toStdString(), received.back());
}

TEST(GuiConnect, ModelNotInTheTableStaysConnectedWithIndexMinusOne) {
  auto sim = startSimulator(true, "KT-99Z");
  Window win;
  win.w.set_Model(&MODEL_TABLE[3]);  // the caption of an earlier connection
  win.usePort(sim->ptyPath());
  win.clickConnect();
  ASSERT_EQ(win.dialogs.shown.size(), 1u);
  EXPECT_EQ(win.dialogs.shown[0].text, "Unsuported model!");
  EXPECT_TRUE(win.w.Connected());
  EXPECT_EQ(win.w.ecrModel(), -1);
  EXPECT_EQ(win.w.windowTitle().toStdString(), "Kestrel FBH");
  EXPECT_EQ(win.w.MaxProgrammableKeys(), 8);  // the key count stays as it was
  // Index -1 is treated like a register: the Clients page is shown, not the blank one.
  win.w.showPage("jvpg_Sub_27_Clients");
  EXPECT_EQ(win.w.activePage(), "jvpg_Sub_27_Clients");
}

// ---------------------------------------------------------------- one shared TCP connection

class GuiConnected : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    sim = startSimulator(false);
    win = std::make_unique<Window>();
    presetTCP(win->w, "127.0.0.1", sim->port());
    win->clickConnect();
  }
  static void TearDownTestSuite() {
    win.reset();
    sim->stop();
    sim.reset();
  }
  void SetUp() override {
    ASSERT_TRUE(win->w.Connected()) << (win->dialogs.shown.empty() ? "" : win->dialogs.shown[0].text);
    win->dialogs.shown.clear();
    win->dialogs.answers.clear();
  }
  static inline std::unique_ptr<sim::Simulator> sim;
  static inline std::unique_ptr<Window> win;
};

TEST_F(GuiConnected, TcpConnectionRecognisesTheModel) {
  EXPECT_EQ(win->dm.fd.CommunicationType(), ct_TCPIP);
  EXPECT_EQ(win->w.ecrModel(), 2);
  EXPECT_EQ(win->w.testOperatorPassword, "0000");
  EXPECT_EQ(win->w.windowTitle().toStdString(), "Kestrel FBH - [KT-33A]");
  EXPECT_TRUE(win->find<QTreeWidget>("tvPages")->isEnabled());
  EXPECT_TRUE(win->find<QPushButton>("bbtnExecute")->isEnabled());
  // A printer: the Keys page is replaced by the blank page.
  win->w.showPage("jvpg_Sub_16_Keys");
  EXPECT_EQ(win->w.activePage(), PAGE_NONE);
}

TEST_F(GuiConnected, F5ReadsOnlyOnPagesWithARead) {
  int reads = 0;
  win->w.set_PageRead(PAGE_CLICHE, [&] {
    ++reads;
    std::string out;
    win->dm.fd.customCommand(62, "", out);
  });
  for (const char* page : {"jvpg_Sub__Root_03_Items", "jvpg_Sub_07_EndOfDay", PAGE_CUSTOM}) {
    SCOPED_TRACE(page);
    win->w.showPage(page);
    const uint64_t before = sim->framesServed();
    QTest::keyClick(win->find<QTreeWidget>("tvPages"), Qt::Key_F5);
    EXPECT_EQ(sim->framesServed(), before);
  }
  win->w.showPage(PAGE_CLICHE);  // showing the page reads it
  EXPECT_EQ(reads, 1);
  const uint64_t before = sim->framesServed();
  QTest::keyClick(win->find<QTreeWidget>("tvPages"), Qt::Key_F5);
  EXPECT_EQ(reads, 2);
  EXPECT_EQ(sim->framesServed(), before + 1);
  win->w.set_PageRead(PAGE_CLICHE, nullptr);
}

TEST_F(GuiConnected, StatusPageFollowsTheStatusOfEachAnswer) {
  win->w.showPage(PAGE_STATUS);
  std::string out;
  auto* invalidCode = win->find<QCheckBox>("chbx_S0_1");
  auto* reserved = win->find<QCheckBox>("chbx_S0_7");
  win->dm.fd.customCommand(90, "\t", out);
  EXPECT_FALSE(invalidCode->isChecked());
  EXPECT_TRUE(reserved->isChecked());
  win->dm.fd.customCommand(199, "", out);  // unknown to the device: "invalid command" bit
  EXPECT_TRUE(invalidCode->isChecked());
  win->dm.fd.customCommand(90, "\t", out);
  EXPECT_FALSE(invalidCode->isChecked());
  // Display only: a click does not change the box.
  QTest::mouseClick(invalidCode, Qt::LeftButton);
  EXPECT_FALSE(invalidCode->isChecked());
}

// An operator password read back never stands in the frames the window traces.
TEST_F(GuiConnected, AnOperatorPasswordReadBackIsMaskedInTheTrace) {
  sim->withDevice([](sim::DeviceModel& d) {
    for (auto& op : d.mutableState().operators) op.password = "4711";
  });
  win->w.showPage(PAGE_CUSTOM);
  win->find<QLineEdit>("ed_CMD")->setText("255");
  win->find<QLineEdit>("ed_INP_STR")->setText("OperPasw[tab]1[tab][tab]");
  win->dialogs.answer(mrYes);
  win->find<QPushButton>("bbtnExecute")->click();
  // The page's output is the traced answer's text: masked as well, each byte a '*'.
  EXPECT_EQ(win->find<QLineEdit>("ed_OUTPUT")->text().toStdString(), "*\t****\t");
  EXPECT_EQ(win->w.statusMessage().toStdString(), "Command executed.");
  const std::string hexOut = win->find<QPlainTextEdit>("ed_HEXOUTPUT")->toPlainText().toStdString();
  EXPECT_EQ(hexOut.rfind("01 ", 0), 0u) << hexOut;
  EXPECT_EQ(hexOut.find("34 37 31 31"), std::string::npos) << hexOut;
  EXPECT_NE(hexOut.find("2A 2A 2A 2A"), std::string::npos) << hexOut;
}

TEST_F(GuiConnected, CustomCommand90WithTabMarkerSendsOneTab) {
  win->w.showPage(PAGE_CUSTOM);
  win->find<QLineEdit>("ed_CMD")->setText("90");
  win->find<QLineEdit>("ed_INP_STR")->setText("[tab]");
  win->dialogs.answer(mrYes);
  win->find<QPushButton>("bbtnExecute")->click();

  ASSERT_EQ(win->dialogs.shown.size(), 1u);
  const DialogRequest& q = win->dialogs.shown[0];
  EXPECT_EQ(q.text, "Are you sure?");
  EXPECT_EQ(q.title, "Custom command");
  EXPECT_EQ(q.buttons, DialogButtons::YesNo);
  EXPECT_EQ(q.defaultButton, mrNo);
  // The data part of the sent frame is the single TAB.
  const std::string hexIn = win->find<QPlainTextEdit>("ed_HEXINPUT")->toPlainText().toStdString();
  EXPECT_NE(hexIn.find(" 09 05 "), std::string::npos) << hexIn;
  EXPECT_EQ(win->dm.fd.ansiTextInput().find('\t'), win->dm.fd.ansiTextInput().rfind('\t'));
  const std::string output = win->find<QLineEdit>("ed_OUTPUT")->text().toStdString();
  EXPECT_EQ(output.rfind("0\tKT-33A\t", 0), 0u) << output;
  // The whole answer packet is there: from the header's 01 to the terminator 03.
  const std::string hexOut = win->find<QPlainTextEdit>("ed_HEXOUTPUT")->toPlainText().toStdString();
  EXPECT_EQ(hexOut.rfind("01 ", 0), 0u) << hexOut;
  EXPECT_EQ(hexOut.substr(hexOut.size() - 3), " 03") << hexOut;
  EXPECT_TRUE(win->find<QPlainTextEdit>("ed_HEXOUTPUT")->isReadOnly());
  EXPECT_EQ(win->w.statusMessage().toStdString(), "Command executed.");
  EXPECT_TRUE(win->w.ShowErr());
  EXPECT_FALSE(win->dm.fd.TCPIP()->Sniffer()->Active);
  EXPECT_FALSE(win->dm.fd.RS232()->Sniffer()->Active);
}

TEST_F(GuiConnected, CustomCommandRefusedOrEmptySendsNothingAndErrorsGoToTheStatusBar) {
  win->w.showPage(PAGE_CUSTOM);
  auto* cmd = win->find<QLineEdit>("ed_CMD");
  auto* execute = win->find<QPushButton>("bbtnExecute");
  uint64_t before = sim->framesServed();
  cmd->setText("");
  execute->click();
  EXPECT_TRUE(win->dialogs.shown.empty());
  cmd->setText("90");
  win->dialogs.answer(mrNo);
  execute->click();
  EXPECT_EQ(win->dialogs.shown.size(), 1u);
  EXPECT_EQ(sim->framesServed(), before);

  // A device error: no alert, its message in the status bar.
  win->dialogs.shown.clear();
  cmd->setText("199");
  win->find<QLineEdit>("ed_INP_STR")->setText("");
  win->dialogs.answer(mrYes);
  execute->click();
  EXPECT_EQ(win->dialogs.shown.size(), 1u);  // the question only
  EXPECT_EQ(win->w.statusMessage().toStdString(), win->dm.errContainer.LastErrorMessage());
  EXPECT_NE(win->dm.errContainer.LastErrorCode(), 0);
  EXPECT_TRUE(win->w.ShowErr());
}

TEST_F(GuiConnected, CustomCommandEnterSendsUpDownRecallAndAFailureShowsNoOldAnswer) {
  win->w.showPage(PAGE_CUSTOM);
  auto* cmd = win->find<QLineEdit>("ed_CMD");
  auto* data = win->find<QLineEdit>("ed_INP_STR");
  auto* output = win->find<QLineEdit>("ed_OUTPUT");
  auto* hexOut = win->find<QPlainTextEdit>("ed_HEXOUTPUT");
  auto* hexIn = win->find<QPlainTextEdit>("ed_HEXINPUT");
  // Enter in either field asks and sends, as "Execute" does.
  cmd->setText("90");
  data->setText("[tab]");
  win->dialogs.answer(mrYes);
  QTest::keyClick(cmd, Qt::Key_Return);
  ASSERT_EQ(win->dialogs.shown.size(), 1u);
  EXPECT_EQ(win->dialogs.shown[0].title, "Custom command");
  EXPECT_EQ(output->text().left(2).toStdString(), "0\t");
  const uint64_t before = sim->framesServed();
  win->dialogs.answer(mrNo);
  QTest::keyClick(data, Qt::Key_Enter);
  EXPECT_EQ(win->dialogs.shown.size(), 2u);
  EXPECT_EQ(sim->framesServed(), before);

  // A command the device refuses, then one that never reaches it: the outputs never
  // show an earlier answer.
  cmd->setText("199");
  data->setText("");
  win->dialogs.answer(mrYes);
  QTest::keyClick(cmd, Qt::Key_Return);
  EXPECT_FALSE(output->text().startsWith("0\tKT-33A"));
  cmd->setText("70000");  // not a command number
  win->dialogs.answer(mrYes);
  QTest::keyClick(cmd, Qt::Key_Return);
  EXPECT_TRUE(output->text().isEmpty());
  EXPECT_TRUE(hexOut->toPlainText().isEmpty());
  EXPECT_TRUE(hexIn->toPlainText().isEmpty());
  EXPECT_EQ(win->w.statusMessage().toStdString(), "");

  // Up and Down walk the commands of this session; past the newest the typing returns.
  cmd->setText("5");
  data->setText("draft");
  QTest::keyClick(data, Qt::Key_Up);
  EXPECT_EQ(cmd->text().toStdString(), "70000");
  QTest::keyClick(cmd, Qt::Key_Up);
  EXPECT_EQ(cmd->text().toStdString(), "199");
  EXPECT_EQ(data->text().toStdString(), "");
  QTest::keyClick(cmd, Qt::Key_Up);
  EXPECT_EQ(cmd->text().toStdString(), "90");
  EXPECT_EQ(data->text().toStdString(), "[tab]");
  for (int i = 0; i < 3; ++i) QTest::keyClick(cmd, Qt::Key_Down);
  EXPECT_EQ(cmd->text().toStdString(), "5");
  EXPECT_EQ(data->text().toStdString(), "draft");
}

TEST_F(GuiConnected, SettingsAreWrittenThroughAndReadBack) {
  win->w.showPage(PAGE_SETTINGS);
  auto* check = win->find<QCheckBox>("chbxSettingDelItemsZ");
  auto* from = win->find<QLineEdit>("edDelFromPLU");
  auto* to = win->find<QLineEdit>("edDelToPLU");
  auto* pass = win->find<QLineEdit>("edDelServPass");
  if (check->isChecked()) check->click();
  EXPECT_FALSE(from->isEnabled());
  check->click();
  EXPECT_TRUE(win->w.DeleteItemsAFterZrep());
  EXPECT_TRUE(from->isEnabled() && to->isEnabled() && pass->isEnabled());
  from->setText("12");
  to->setText("345");
  pass->setText("7777");
  from->setText("");  // an empty field puts its default back at once
  EXPECT_EQ(from->text().toStdString(), "1");
  to->setText("100001");  // a sixth digit cannot be typed
  EXPECT_EQ(to->text().toStdString(), "10000");
  to->setText("0");
  EXPECT_EQ(to->text().toStdString(), "0");

  const std::string content = readFile(settingsPath());
  EXPECT_NE(content.find("[SETTINGS]"), std::string::npos) << content;
  for (const char* line : {"DelItemsOnZ=1", "delete_FromPLU=1", "delete_ToPLU=0", "delete_ServicePass=7777"})
    EXPECT_NE(content.find(line), std::string::npos) << line << "\n" << content;

  // Another window reads the same values back.
  Window other;
  other.pageAs<TSettingsPage>(PAGE_SETTINGS)->loadSettings();
  EXPECT_TRUE(other.find<QCheckBox>("chbxSettingDelItemsZ")->isChecked());
  EXPECT_TRUE(other.find<QLineEdit>("edDelServPass")->isEnabled());
  EXPECT_EQ(other.find<QLineEdit>("edDelFromPLU")->text().toStdString(), "1");
  EXPECT_EQ(other.find<QLineEdit>("edDelToPLU")->text().toStdString(), "0");
  EXPECT_EQ(other.find<QLineEdit>("edDelServPass")->text().toStdString(), "7777");
}

TEST(GuiSettings, FileWithoutSettingsSectionGivesTheDefaults) {
  fs::create_directories(fs::path(settingsPath()).parent_path());
  {
    std::ofstream f(settingsPath(), std::ios::trunc);
    f << "[OTHER]\nDelItemsOnZ=1\ndelete_FromPLU=5\n";
  }
  Window win;
  win.pageAs<TSettingsPage>(PAGE_SETTINGS)->loadSettings();
  EXPECT_FALSE(win.find<QCheckBox>("chbxSettingDelItemsZ")->isChecked());
  EXPECT_FALSE(win.w.DeleteItemsAFterZrep());
  EXPECT_EQ(win.find<QLineEdit>("edDelFromPLU")->text().toStdString(), "1");
  EXPECT_EQ(win.find<QLineEdit>("edDelToPLU")->text().toStdString(), "99999");
  EXPECT_EQ(win.find<QLineEdit>("edDelServPass")->text().toStdString(), "");
  for (const char* e : {"edDelFromPLU", "edDelToPLU", "edDelServPass"})
    EXPECT_FALSE(win.find<QLineEdit>(e)->isEnabled()) << e;
  // Loading wrote nothing: the other section is untouched and no section was added.
  EXPECT_EQ(readFile(settingsPath()), "[OTHER]\nDelItemsOnZ=1\ndelete_FromPLU=5\n");
  fs::remove(settingsPath());
}

// ---------------------------------------------------------------- remembered session

TEST(GuiSession, LastConnectionComesBackInANewWindowFromAFileOnlyItsOwnerReads) {
  fs::remove(settingsPath());
  auto pty = startSimulator(true, "KT-44B");
  // An entry as the port box lists it: what is opened, then a description.
  const std::string entry = pty->ptyPath() + " (simulator)";
  {
    Window win;
    win.usePort(entry);
    win.find<QComboBox>("cbxSPEED")->setCurrentText("9600");
    win.clickConnect();
    ASSERT_TRUE(win.w.Connected()) << (win.dialogs.shown.empty() ? "" : win.dialogs.shown[0].text);
    EXPECT_EQ(win.dm.fd.RS232()->portName, pty->ptyPath());
  }
  {
    Window win;
    EXPECT_FALSE(win.find<QCheckBox>("chbxTCP")->isChecked());
    EXPECT_EQ(win.find<QComboBox>("cbxCOM")->currentText().toStdString(), entry);
    EXPECT_EQ(win.find<QComboBox>("cbxSPEED")->currentText().toStdString(), "9600");
  }
  auto tcp = startSimulator(false);
  {
    Window win;
    connectTo(win, *tcp);
  }
  Window win;
  EXPECT_TRUE(win.find<QCheckBox>("chbxTCP")->isChecked());
  EXPECT_TRUE(win.find<QLineEdit>("edIPaddr")->isEnabled());
  EXPECT_FALSE(win.find<QComboBox>("cbxCOM")->isEnabled());
  EXPECT_EQ(win.find<QLineEdit>("edIPaddr")->text().toStdString(), "127.0.0.1");
  EXPECT_EQ(win.find<QLineEdit>("edPort")->text().toStdString(), std::to_string(tcp->port()));

  struct stat st {};
  ASSERT_EQ(::stat(settingsPath().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  // The embedded simulator's address wins over the remembered one.
  Tdm dm;
  ScriptedDialogs dialogs;
  TfmMainFBH preset(dm, &dialogs);
  presetTCP(preset, "127.0.0.1", 1);
  preset.show();
  EXPECT_EQ(preset.findChild<QLineEdit*>("edPort")->text().toStdString(), "1");
}

TEST(GuiSession, WindowPlaceIsSavedOnCloseAndComesBack) {
  fs::remove(settingsPath());
  QRect closedAt;
  {
    Window win;
    closedAt = win.w.geometry();
    win.w.close();
  }
  const auto saved = TSettingsFile(settingsPath()).loadWindow();
  ASSERT_TRUE(saved);
  EXPECT_EQ(QRect(saved->left, saved->top, saved->width, saved->height), closedAt);
  EXPECT_FALSE(saved->maximized);

  TSettingsFile(settingsPath()).saveWindow({saved->left, saved->top, saved->width, saved->height, true});
  Window win;
  EXPECT_TRUE(win.w.windowState() & Qt::WindowMaximized);
}

TEST(GuiSession, ASettingsFileThatCannotBeWrittenIsReportedInTheStatusBar) {
  fs::remove(settingsPath());
  fs::create_directories(settingsPath());  // a folder where the file belongs
  Window win;
  win.find<QCheckBox>("chbxSettingDelItemsZ")->click();
  const std::string status = win.w.statusMessage().toStdString();
  EXPECT_EQ(status.rfind("The settings could not be saved to " + settingsPath() + ": ", 0), 0u) << status;
  fs::remove_all(settingsPath());
}

// ---------------------------------------------------------------- look

TEST(GuiLook, AlertsCarryTheIconOfTheirKindTitlesStayWholeAndHintsAreReadable) {
  struct Case {
    DialogButtons buttons;
    DialogIcon icon;
    QMessageBox::Icon shown;
  } cases[] = {
      {DialogButtons::Ok, DialogIcon::None, QMessageBox::Critical},  // an alert: an error
      {DialogButtons::Ok, DialogIcon::Information, QMessageBox::Information},
      {DialogButtons::YesNo, DialogIcon::Question, QMessageBox::Question},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.shown));
    DialogRequest r;
    r.title = "Custom command - a title longer than its text";
    r.text = "Are you sure?";
    r.buttons = c.buttons;
    r.icon = c.icon;
    QMessageBox box;
    QtDialogs::prepare(box, r);
    EXPECT_EQ(box.icon(), c.shown);
    box.show();
    QApplication::processEvents();
    EXPECT_GE(box.width(), QtDialogs::titleWidth(box.windowTitle()));
    box.close();
  }

  Window win;
  for (const char* name : {"lbHint1", "lbHint2"}) {
    auto* hint = win.find<QLabel>(name);
    hint->ensurePolished();
    EXPECT_EQ(hint->palette().color(hint->foregroundRole()), win.w.palette().color(QPalette::WindowText)) << name;
  }
}

}  // namespace
}  // namespace kestrel
