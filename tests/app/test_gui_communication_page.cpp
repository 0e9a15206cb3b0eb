// The Communication page in the real window against the simulator: its widgets against
// the parameter table, the model groups, the DHCP rule, the server list by click and
// key, a save read back by a fresh window, and the access point INI buttons.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "app/gui_fixture.h"
#include "app/logic/pages/communication.h"

namespace kestrel {
namespace {

using namespace guitest;

const char* const PAGE = "jvpg_Sub_24_Communication";

std::string text(QLineEdit* e) { return e->text().toStdString(); }

TEST(GuiCommunicationPage, EveryBindingHasItsWidgetOfTheRightKind) {
  Window win;
  for (const auto& b : communicationTable().bindings) {
    SCOPED_TRACE(b.widget);
    QWidget* w = win.find<QWidget>(b.widget.c_str());
    ASSERT_NE(w, nullptr);
    if (b.isCheck()) {
      EXPECT_NE(qobject_cast<QCheckBox*>(w), nullptr);
    } else if (auto* list = qobject_cast<QListWidget*>(w)) {
      EXPECT_EQ(list->count(), static_cast<int>(b.choices->size()));
    } else if (b.isChoice()) {
      auto* c = qobject_cast<QComboBox*>(w);
      ASSERT_NE(c, nullptr);
      ASSERT_EQ(c->count(), static_cast<int>(b.choices->size()));
      for (int i = 0; i < c->count(); ++i) EXPECT_EQ(c->itemText(i).toStdString(), (*b.choices)[i]);
    } else {
      auto* e = qobject_cast<QLineEdit*>(w);
      ASSERT_NE(e, nullptr);
      EXPECT_EQ(e->isReadOnly(), b.enc == TParamEnc::ReadOnly);
    }
  }
  // Defaults before the first read.
  EXPECT_EQ(win.find<QComboBox>("cbxPCportSpeed")->currentText().toStdString(), "9600");
  EXPECT_EQ(win.find<QComboBox>("cbxDevSpeed2")->currentText().toStdString(), "9600");
  EXPECT_EQ(text(win.find<QLineEdit>("ledBT_PinCode")), "1234");
  auto* servers = win.find<QListWidget>("lstbxServers");
  EXPECT_EQ(servers->item(2)->text().toStdString(), "3 -");
  for (const char* name : {"edAPN1pass", "edAPN2pass", "edFTPpass"})
    EXPECT_EQ(win.find<QLineEdit>(name)->echoMode(), QLineEdit::Password) << name;
  EXPECT_EQ(win.find<QPushButton>("btnLoadAPNfromIni")->text().toStdString(), "Load APN && FTP...");
}

TEST(GuiCommunicationPage, ReadDhcpServerEditSaveAndAFreshWindowReadsItBack) {
  auto sim = startSimulator(false, "KT-11A");
  sim->withDevice([](sim::DeviceModel& d) {
    std::string answer;
    d.execute(253, "0\t1234\t", answer);  // service mode: the access points and servers may be written
    d.mutableState().params["DtServerAddress"][0] = "ftp.one";
  });
  {
    Window win;
    connectTo(win, *sim);
    win.w.showPage(PAGE);  // reads
    EXPECT_TRUE(win.find<QGroupBox>("grpECRsComms")->isVisibleTo(&win.w));
    EXPECT_FALSE(win.find<QGroupBox>("grpFPsComms")->isVisibleTo(&win.w));
    auto* dhcp = win.find<QCheckBox>("chbxDHCP");
    auto* ip = win.find<QLineEdit>("edIP");
    EXPECT_TRUE(dhcp->isChecked());  // the device's default
    EXPECT_FALSE(ip->isEnabled());
    EXPECT_FALSE(win.find<QLineEdit>("edDNS2")->isEnabled());
    EXPECT_TRUE(win.find<QLineEdit>("edLANport")->isEnabled());
    dhcp->click();
    EXPECT_TRUE(ip->isEnabled());
    ip->setText("127.1.1.9");

    auto* servers = win.find<QListWidget>("lstbxServers");
    auto* address = win.find<QLineEdit>("edFTPaddress");
    auto* port = win.find<QLineEdit>("edFTPport");
    EXPECT_EQ(servers->item(0)->text().toStdString(), "1 - 21/ftp.one");
    EXPECT_EQ(servers->currentRow(), 0);
    EXPECT_EQ(text(address), "ftp.one");  // the read fills the fields from the selected line
    // A key fills the fields from the line selected before the selection moves.
    address->clear();
    servers->setFocus();
    QTest::keyClick(servers, Qt::Key_Down);
    EXPECT_EQ(servers->currentRow(), 1);
    EXPECT_EQ(text(address), "ftp.one");
    // A click fills them from the clicked line.
    QTest::mouseClick(servers->viewport(), Qt::LeftButton, {}, servers->visualItemRect(servers->item(1)).center());
    EXPECT_EQ(text(address), "");
    EXPECT_EQ(text(port), "21");

    auto* change = win.find<QPushButton>("btnChangeServerList");
    change->click();
    EXPECT_EQ(win.w.focusWidget(), address);  // empty address: the focus goes there
    EXPECT_EQ(servers->item(1)->text().toStdString(), "2 - 21/");
    address->setText("127.0.0.5");
    port->setText("2121");
    change->click();
    EXPECT_EQ(servers->item(1)->text().toStdString(), "2 - 2121/127.0.0.5");
    win.find<QLineEdit>("edAPN1")->setText("internet");
    win.find<QComboBox>("cbxDevType1")->setCurrentIndex(1);

    win.find<QPushButton>("btnSaveCommunication")->click();
    ASSERT_FALSE(win.dialogs.shown.empty());
    EXPECT_EQ(win.dialogs.shown.back().text, "The data was saved in the device.");
    EXPECT_TRUE(win.find<QPushButton>("btnSaveCommunication")->isEnabled());
  }
  Window fresh;
  connectTo(fresh, *sim);
  fresh.w.showPage(PAGE);
  auto* servers = fresh.find<QListWidget>("lstbxServers");
  EXPECT_EQ(servers->item(1)->text().toStdString(), "2 - 2121/127.0.0.5");
  EXPECT_EQ(servers->currentRow(), 1);
  EXPECT_EQ(text(fresh.find<QLineEdit>("edFTPaddress")), "127.0.0.5");
  EXPECT_EQ(text(fresh.find<QLineEdit>("edFTPport")), "2121");
  EXPECT_FALSE(fresh.find<QCheckBox>("chbxDHCP")->isChecked());
  EXPECT_TRUE(fresh.find<QLineEdit>("edIP")->isEnabled());
  EXPECT_EQ(text(fresh.find<QLineEdit>("edIP")), "127.1.1.9");
  EXPECT_EQ(text(fresh.find<QLineEdit>("edAPN1")), "internet");
  EXPECT_EQ(fresh.find<QComboBox>("cbxDevType1")->currentIndex(), 1);
}

TEST(GuiCommunicationPage, PrinterGroupAndTheAccessPointFileButtons) {
  auto sim = startSimulator(false, "KT-33A");
  Window win;
  connectTo(win, *sim);
  win.w.showPage(PAGE);
  EXPECT_FALSE(win.find<QGroupBox>("grpECRsComms")->isVisibleTo(&win.w));
  EXPECT_TRUE(win.find<QGroupBox>("grpFPsComms")->isVisibleTo(&win.w));
  EXPECT_EQ(text(win.find<QLineEdit>("ledBT_Address")), "00:15:83:4B:54:00");  // shown whole
  // The two read-only fields look it: no edit background, no typing.
  for (const char* name : {"ledBT_Address", "ledBT_Firmware"}) {
    auto* e = win.find<QLineEdit>(name);
    EXPECT_TRUE(e->isReadOnly()) << name;
    EXPECT_EQ(e->palette().color(QPalette::Base), e->palette().color(QPalette::Window)) << name;
    EXPECT_NE(e->palette().color(QPalette::Base), win.find<QLineEdit>("ledBT_PinCode")->palette().color(QPalette::Base));
  }

  const std::string file = GuiEnvironment::folder + "/apn";
  win.find<QLineEdit>("edAPN2")->setText("mms");
  win.find<QListWidget>("lstbxServers")->setCurrentRow(2);
  win.files.answers = {file};
  win.find<QPushButton>("btnSaveAPNtoIni")->click();
  EXPECT_EQ(win.dialogs.shown.back().text, "APN and FTP settings saved.");
  EXPECT_NE(readFile(file + ".ini").find("Current server=3"), std::string::npos);

  win.find<QLineEdit>("edAPN2")->setText("changed");
  win.find<QListWidget>("lstbxServers")->setCurrentRow(0);
  win.files.answers = {file + ".ini"};
  win.find<QPushButton>("btnLoadAPNfromIni")->click();
  EXPECT_EQ(win.find<QLineEdit>("edAPN2")->text().toStdString(), "mms");
  EXPECT_EQ(win.find<QListWidget>("lstbxServers")->currentRow(), 2);
  EXPECT_EQ(text(win.find<QLineEdit>("edFTPport")), "21");  // line 3 of the device: "3 - 21/"
}

}  // namespace
}  // namespace kestrel
