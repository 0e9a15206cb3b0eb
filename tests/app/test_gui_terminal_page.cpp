// The Terminal operations page in the real window against the simulator: the password
// check, a new command file, and the terminal data with the file's lines.
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "app/gui_fixture.h"

namespace kestrel {
namespace {

using namespace guitest;

TEST(GuiTerminalPage, PasswordNewCommandFileAndTerminalData) {
  auto sim = startSimulator(false);
  Window win;
  connectTo(win, *sim);
  win.w.showPage("jvpg_Sub_28_Terminal");
  win.find<QPushButton>("btnReadTerminalData")->click();
  EXPECT_EQ(win.shownTexts().back(), "Enter service password");

  win.find<QLineEdit>("edServicePassTerminal")->setText("1234");
  const size_t shown = win.dialogs.shown.size();
  win.find<QPushButton>("btnDelCurrentCommandFIle")->click();
  EXPECT_EQ(win.w.statusMessage().toStdString(), "Command file deleted.");
  win.find<QPushButton>("btnReadTerminalData")->click();
  EXPECT_EQ(win.dialogs.shown.size(), shown) << "the functions succeed without a message";
  const std::string info = win.find<QPlainTextEdit>("moTerminalInfo")->toPlainText().toStdString();
  EXPECT_EQ(info,
            "First install:                    YES\n"
            "Last sent Z report number:        0\n"
            "Last Z report number:             0");
  const QString file = win.find<QPlainTextEdit>("moTerminalCmdFile")->toPlainText();
  EXPECT_TRUE(file.endsWith("\nSEND Z\nEND")) << file.toStdString();
  EXPECT_TRUE(win.find<QPushButton>("btnReadTerminalData")->isEnabled());
  EXPECT_FALSE(sim->withDevice([](sim::DeviceModel& d) { return d.serviceMode(); }));

  // The other functions say in the status bar that they went through.
  for (const auto& [button, done] : {std::pair{"btnResetTerminalData", "Terminal data reset."},
                                     std::pair{"btnForceCommand", "Force sending started."}}) {
    win.w.set_StatusMessage("");
    win.find<QPushButton>(button)->click();
    EXPECT_EQ(win.w.statusMessage().toStdString(), done);
  }
  EXPECT_EQ(win.dialogs.shown.size(), shown);
}

}  // namespace
}  // namespace kestrel
