// "Find device" on the Connect page: a device on a typed port at a speed the page does
// not show is found, the page is filled with it, and Connect then opens it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

#include "gui_fixture.h"

using namespace kestrel;
using namespace kestrel::guitest;

namespace {

TEST(FindDevice, FillsTheConnectPageWithThePortAndSpeedThatAnswer) {
  const auto simulator = startSimulator(true, "KT-44B", 9600);
  sim::Simulator& sim = *simulator;

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

// A port that never answers: the dialog's "Stop" ends the search after the attempt under
// way, and the message says how far it got.
TEST(FindDevice, StopEndsTheSearchAndSaysHowFarItGot) {
  auto silent = startSimulator(true, "", 0, "silence:1");
  sim::Simulator& sim = *silent;

  Window win;
  win.usePort(sim.ptyPath());
  QElapsedTimer sinceStop;
  QTimer::singleShot(1000, &win.w, [&] {
    auto* dialog = win.w.findChild<QProgressDialog*>("dlgFindDevice");
    if (!dialog) return ADD_FAILURE() << "no progress dialog";
    sinceStop.start();
    dialog->findChild<QPushButton*>()->click();
  });
  win.find<QPushButton>("btnFindDevice")->click();
  ASSERT_TRUE(sinceStop.isValid()) << "the search ended before the stop";
  EXPECT_LT(sinceStop.elapsed(), 1000) << "the search went on after the stop";
  ASSERT_FALSE(win.dialogs.shown.empty());
  const std::string said = win.dialogs.shown.back().text;
  EXPECT_EQ(said.rfind("Search stopped after ", 0), 0u) << said;
  EXPECT_NE(said.find(" attempts. No device found so far."), std::string::npos) << said;
  EXPECT_NE(said.find("Press \"Find device\" again"), std::string::npos) << said;
  sim.stop();
}

}  // namespace
