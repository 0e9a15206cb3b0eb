// "Find device" on the Connect page: a device on a typed port at a speed the page does
// not show is found, the page is filled with it, and Connect then opens it.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>

#include "gui_fixture.h"

using namespace kestrel;
using namespace kestrel::guitest;

namespace {

TEST(FindDevice, FillsTheConnectPageWithThePortAndSpeedThatAnswer) {
  sim::SimulatorOptions o;
  o.tcp = false;
  o.pty = true;
  o.baud = 9600;
  o.model = "KT-44B";
  o.modelGiven = true;
  sim::Simulator sim(o);
  std::string error;
  ASSERT_TRUE(sim.start(error)) << error;

  Window win;
  win.usePort(sim.ptyPath());
  win.find<QComboBox>("cbxSPEED")->setCurrentText("115200");
  win.find<QPushButton>("btnFindDevice")->click();

  ASSERT_FALSE(win.dialogs.shown.empty());
  const std::string said = win.dialogs.shown.back().text;
  EXPECT_NE(said.find("Found KT-44B"), std::string::npos) << said;
  EXPECT_NE(said.find(sim.ptyPath() + " at 9600 baud"), std::string::npos) << said;
  EXPECT_EQ(win.find<QComboBox>("cbxSPEED")->currentText().toStdString(), "9600");
  EXPECT_EQ(win.find<QComboBox>("cbxCOM")->currentText().toStdString(), sim.ptyPath());

  win.clickConnect();
  EXPECT_TRUE(win.w.Connected());
  sim.stop();
}

}  // namespace
