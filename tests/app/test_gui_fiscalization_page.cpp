// The Fiscalization page in the real window against the simulator: the read, the saves
// that disable their buttons once the device holds the numbers, the fiscalization, and
// the option check box that writes only when the technician clicks it.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include "app/gui_fixture.h"

namespace kestrel {
namespace {

using namespace guitest;

TEST(GuiFiscalizationPage, SavesFiscalizeAndTheButtonsFollowTheDevicesStatus) {
  auto sim = startSimulator(false);
  Window win;
  connectTo(win, *sim);
  std::vector<std::string> sent;
  win.w.ops().onCommand = [&](uint16_t c, const std::string& in) { sent.push_back(std::to_string(c) + " " + in); };
  win.w.showPage("jvpg_Sub_06_Fiscalization");
  auto* issue = win.find<QCheckBox>("chbxIssueReceipt");
  EXPECT_TRUE(issue->isChecked());
  EXPECT_TRUE(win.find<QPushButton>("bbtnSetSerial")->isEnabled());

  // The technician's click writes at once; the read that sets the box writes nothing.
  issue->click();
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent.back(), "255 PrintTestReceipt\t\t0\t");
  issue->setChecked(true);
  sent.clear();
  win.find<QPushButton>("btnReadFiscalize")->click();
  EXPECT_FALSE(issue->isChecked()) << "the read shows the device's value";
  for (const auto& s : sent) EXPECT_EQ(s.find("\t0\t"), std::string::npos) << "a write during the read: " << s;

  win.find<QLineEdit>("ledSerial")->setText("AB123456");
  win.find<QLineEdit>("ledFMnumber")->setText("12345678");
  win.dialogs.answer(mrYes);
  win.find<QPushButton>("bbtnSetSerial")->click();
  EXPECT_EQ(win.shownTexts().back(), "The data was saved in the device.");
  EXPECT_EQ(win.find<QLineEdit>("ledSerial")->text(), "AB123456") << "read back from the device";
  EXPECT_FALSE(win.find<QPushButton>("bbtnSetSerial")->isEnabled());
  EXPECT_TRUE(win.find<QPushButton>("bbtnSaveTAXnumbers")->isEnabled());

  win.find<QPushButton>("bbtnFiscalize")->click();
  EXPECT_EQ(win.shownTexts().back(), "Set JIB and PIB numbers first.");

  win.find<QLineEdit>("ledJIBnumber")->setText("4200000000001");
  win.find<QLineEdit>("ledPIBnumber")->setText("200000000001");
  win.dialogs.answer(mrYes);
  win.find<QPushButton>("bbtnSaveTAXnumbers")->click();
  EXPECT_FALSE(win.find<QPushButton>("bbtnSaveTAXnumbers")->isEnabled());
  ASSERT_TRUE(win.w.ops().command(83, "17.00\t0.00\t100.00\t100.00\t100.00\t"));

  win.dialogs.answer(mrYes);
  win.find<QPushButton>("bbtnFiscalize")->click();
  EXPECT_EQ(win.shownTexts().back(), "Device fiscalized.");
  EXPECT_FALSE(win.find<QPushButton>("bbtnFiscalize")->isEnabled());
  EXPECT_TRUE(win.find<QPushButton>("btnReadFiscalize")->isEnabled());
  EXPECT_TRUE(sim->withDevice([](sim::DeviceModel& d) { return d.state().fiscal; }));
  EXPECT_EQ(sim->withDevice([](sim::DeviceModel& d) { return d.state().jib; }), "4200000000001");
}

}  // namespace
}  // namespace kestrel
