// The two backup buttons of the Settings page in the real window: a backup of one
// simulator, the restore into another shows its changes, asks, and writes on Yes.
#include <QPushButton>

#include "app/gui_fixture.h"
#include "app/logic/page_table.h"
#include "util/temp_path.h"

namespace kestrel {
namespace {

using namespace guitest;

TEST(GuiBackup, BackUpOneDeviceAndRestoreIntoAnotherAfterTheQuestion) {
  auto source = startSimulator(false, "KT-11A"), target = startSimulator(false, "KT-11A");
  source->withDevice([](sim::DeviceModel& d) { return d.mutableState().params["Dept_name"][0] = "Bakery"; });
  test::TempPath file;
  {
    Window win;
    connectTo(win, *source);
    win.w.showPage(PAGE_SETTINGS);
    win.files.answers.push_back(file.path);
    win.find<QPushButton>("btnBackupDevice")->click();
    ASSERT_FALSE(win.dialogs.shown.empty());
    EXPECT_NE(win.dialogs.shown.back().text.find("written to " + file.path), std::string::npos);
  }
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

  win.files.answers.push_back(file.path);
  win.dialogs.answer(mrYes);
  win.find<QPushButton>("btnRestoreDevice")->click();
  EXPECT_EQ(name(), "Bakery");
  EXPECT_NE(win.dialogs.shown.back().text.find("Written:\n  departments"), std::string::npos)
      << win.dialogs.shown.back().text;
  EXPECT_TRUE(win.find<QPushButton>("btnRestoreDevice")->isEnabled());
}

}  // namespace
}  // namespace kestrel
