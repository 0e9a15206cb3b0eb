// The VATs page in the real window against the simulator: the state boxes enable the
// rate fields, a save and a read in a fresh window give the same groups.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "app/gui_fixture.h"
#include "app/logic/page_table.h"

namespace kestrel {
namespace {

using namespace guitest;

TEST(GuiVatPage, StateBoxesEnableRatesAndSaveReadsBackInAFreshWindow) {
  auto sim = startSimulator(false);
  {
    Window win;
    connectTo(win, *sim);
    win.w.showPage("jvpg_Sub_02_Vats");
    auto* state1 = win.find<QComboBox>("cbxVAT1");
    auto* rate1 = win.find<QLineEdit>("edVAT_1");
    state1->setCurrentIndex(1);
    EXPECT_TRUE(rate1->isEnabled());
    rate1->setText("17.00");
    win.find<QComboBox>("cbxVAT4")->setCurrentIndex(1);
    win.find<QLineEdit>("edVAT_4")->setText("25.00");
    win.find<QComboBox>("cbxVAT2")->setCurrentIndex(0);
    EXPECT_FALSE(win.find<QLineEdit>("edVAT_2")->isEnabled());
    win.find<QPushButton>("bbtnSetVAT")->click();
    ASSERT_FALSE(win.dialogs.shown.empty());
    EXPECT_EQ(win.dialogs.shown.back().text, "The data was saved in the device.");
    EXPECT_TRUE(win.find<QPushButton>("bbtnSetVAT")->isEnabled());
  }
  Window fresh;
  connectTo(fresh, *sim);
  fresh.w.showPage("jvpg_Sub_02_Vats");  // the page reads when shown
  EXPECT_EQ(fresh.find<QComboBox>("cbxVAT1")->currentIndex(), 1);
  EXPECT_EQ(fresh.find<QLineEdit>("edVAT_1")->text().toStdString(), "17.00");
  EXPECT_TRUE(fresh.find<QLineEdit>("edVAT_1")->isEnabled());
  EXPECT_EQ(fresh.find<QComboBox>("cbxVAT2")->currentIndex(), 0);
  EXPECT_EQ(fresh.find<QLineEdit>("edVAT_4")->text().toStdString(), "25.00");
}

}  // namespace
}  // namespace kestrel
