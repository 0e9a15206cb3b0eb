// The two backup buttons of the Settings page in the real window: a backup of one
// simulator, the restore into another shows its changes, asks, and writes on Yes.
#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "app/gui_fixture.h"
#include "app/logic/page_table.h"
#include "util/temp_path.h"

namespace kestrel {
namespace {

using namespace guitest;

// "Back up device..." of a window connected to `source`, into `path`.
void backUp(sim::Simulator& source, const std::string& path) {
  Window win;
  connectTo(win, source);
  win.w.showPage(PAGE_SETTINGS);
  win.files.answers.push_back(path);
  win.find<QPushButton>("btnBackupDevice")->click();
  ASSERT_FALSE(win.dialogs.shown.empty());
  EXPECT_NE(win.dialogs.shown.back().text.find("written to " + path), std::string::npos);
}

TEST(GuiBackup, BackUpOneDeviceAndRestoreIntoAnotherAfterTheQuestion) {
  auto source = startSimulator(false, "KT-11A"), target = startSimulator(false, "KT-11A");
  source->withDevice([](sim::DeviceModel& d) { return d.mutableState().params["Dept_name"][0] = "Bakery"; });
  test::TempPath file;
  backUp(*source, file.path);
  Window win;
  connectTo(win, *target);
  win.w.showPage(PAGE_SETTINGS);
  const auto name = [&] { return target->withDevice([](sim::DeviceModel& d) { return d.state().params.at("Dept_name")[0]; }); };
  win.files.answers.push_back(file.path);
  win.dialogs.answer(mrNo);
  win.find<QPushButton>("btnRestoreDevice")->click();
  ASSERT_FALSE(win.dialogs.shown.empty());
  EXPECT_NE(win.dialogs.shown.back().text.find("departments row 1"), std::string::npos) << win.dialogs.shown.back().text;
  EXPECT_NE(name(), "Bakery") << "No writes nothing";
  EXPECT_EQ(win.w.statusMessage().toStdString(), "Restore cancelled: nothing was written.");

  win.files.answers.push_back(file.path);
  win.dialogs.answer(mrYes);
  win.find<QPushButton>("btnRestoreDevice")->click();
  EXPECT_EQ(name(), "Bakery");
  EXPECT_NE(win.dialogs.shown.back().text.find("Written:\n  departments"), std::string::npos)
      << win.dialogs.shown.back().text;
  EXPECT_TRUE(win.find<QPushButton>("btnRestoreDevice")->isEnabled());
  EXPECT_EQ(win.w.statusMessage().toStdString(), "Restore finished.");
}

TEST(GuiBackup, ARestoreOfServiceModeValuesAsksForTheServicePasswordItself) {
  auto source = startSimulator(false, "KT-11A"), target = startSimulator(false, "KT-11A");
  source->withDevice([](sim::DeviceModel& d) { return d.mutableState().params["APN"][0] = "internet.test"; });
  test::TempPath file;
  backUp(*source, file.path);
  Window win;
  connectTo(win, *target);
  win.w.showPage(PAGE_SETTINGS);
  ASSERT_TRUE(win.find<QLineEdit>("edDelServPass")->text().isEmpty());
  bool asked = false;
  QTimer poll;
  poll.setInterval(50);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (auto* d = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
      asked = true;
      EXPECT_EQ(d->textEchoMode(), QLineEdit::Password);
      d->setTextValue("1234");
      d->accept();
    }
  });
  poll.start();
  win.files.answers.push_back(file.path);
  win.dialogs.answer(mrYes);
  win.find<QPushButton>("btnRestoreDevice")->click();
  poll.stop();
  EXPECT_TRUE(asked);
  EXPECT_EQ(target->withDevice([](sim::DeviceModel& d) { return d.state().params.at("APN")[0]; }), "internet.test");
}

}  // namespace
}  // namespace kestrel
