// The Service info page in the real window against the simulator: the service text and
// date saved in service mode and read back, a save without password, the service
// operation after its question, and the certificate check's label.
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "app/gui_fixture.h"

namespace kestrel {
namespace {

using namespace guitest;

constexpr const char* WRONG_SERVICE_PASSWORD_SHOWN =
    "Wrong service password (the device reports: Operator error: Wrong operator password)";

TEST(GuiServiceInfoPage, SaveReadServiceOperationAndCertificates) {
  auto sim = startSimulator(false);
  Window win;
  connectTo(win, *sim);
  win.w.showPage("jvpg_Sub_05_ServiceInfo");
  auto* text = win.find<QPlainTextEdit>("mmoServiceMsg");
  auto* date = win.find<QDateEdit>("dtpServiceDate");
  EXPECT_EQ(date->date(), QDate::currentDate()) << "a device without a service date shows today";

  text->setPlainText("Kestrel service\n\nCall 033 123");
  date->setDate(QDate(2026, 6, 5));
  win.find<QPushButton>("btnSaveService")->click();
  EXPECT_TRUE(win.dialogs.shown.empty()) << "no password: nothing but the focus";

  win.find<QLineEdit>("ed_ServicePassword")->setText("1234");
  win.find<QPushButton>("btnSaveService")->click();
  EXPECT_EQ(win.shownTexts().back(), "The data was saved in the device.");
  auto param = [&](const char* name, int i) {
    return sim->withDevice([&](sim::DeviceModel& d) { return d.state().params.at(name).at(i); });
  };
  EXPECT_EQ(param("ServMessage", 2), "Call 033 123");
  EXPECT_EQ(param("ServiceDate", 0), "05-06-26 23:59:59");

  text->clear();
  date->setDate(QDate(2020, 1, 1));
  win.find<QPushButton>("btnReadService")->click();
  EXPECT_EQ(text->toPlainText().toStdString(), "Kestrel service\nCall 033 123");
  EXPECT_EQ(date->date(), QDate(2026, 6, 5));

  // The service operation asks first (No is the default) and needs service mode.
  win.find<QPushButton>("btnSetServiceOp")->click();
  EXPECT_EQ(win.shownTexts().back(), "Are you sure?");
  // The device answers a wrong service password with its operator-password code.
  win.find<QLineEdit>("ed_ServicePassword")->setText("9999");
  win.find<QPushButton>("btnActivateServiceMode")->click();
  EXPECT_EQ(win.shownTexts().back(), WRONG_SERVICE_PASSWORD_SHOWN);
  win.find<QLineEdit>("ed_ServicePassword")->setText("1234");
  win.find<QPushButton>("btnActivateServiceMode")->click();
  EXPECT_EQ(win.shownTexts().back(), "Service mode active.");
  win.find<QDateEdit>("dtpServOPstartDate")->setDate(QDate(2026, 1, 10));
  win.find<QDateEdit>("dtpServOPendDate")->setDate(QDate(2026, 1, 11));
  win.find<QComboBox>("cbxServOPtype")->setCurrentText("K");
  win.dialogs.answer(mrYes);
  win.find<QPushButton>("btnSetServiceOp")->click();
  EXPECT_EQ(win.shownTexts().back(), "The data was saved in the device.");
  EXPECT_TRUE(win.find<QPushButton>("btnSetServiceOp")->isEnabled());
  win.find<QPushButton>("btnDeactivateServiceMode")->click();
  EXPECT_EQ(win.shownTexts().back(), "Service mode is not active.");

  auto* label = win.find<QLabel>("lbMessageCertificate");
  EXPECT_EQ(label->text(), "....");
  win.find<QPushButton>("btnCheckCertificates")->click();
  EXPECT_EQ(label->text(), "The certificates of the device are INVALID!!!");
  EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(128, 0, 0));
  EXPECT_TRUE(win.w.statusMessage().isEmpty());
  EXPECT_TRUE(win.w.ShowErr());
}

}  // namespace
}  // namespace kestrel
