// The Parameters and Receipt format pages in the real window against the simulator:
// every binding has its widget, the model decides what is shown, save and read back in
// a fresh window, "Center logo" and the logo upload with its progress bar.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <filesystem>
#include <fstream>

#include "app/gui_fixture.h"
#include "app/logic/pages/params.h"
#include "app/logic/pages/receipt_format.h"
#include "app/ui/core/form_helpers.h"
#include "app/ui/pages/page.h"

namespace kestrel {
namespace {

using namespace guitest;

constexpr const char* PARAMS = "jvpg_Sub_03_Params";
constexpr const char* RECEIPT = "jvpg_Sub_04_ReceiptFormat";

TEST(GuiParamsPages, EveryBindingHasItsWidgetOfTheRightKindAndDefaults) {
  Window win;
  for (const auto& [page, table] : {std::pair{PARAMS, &paramsTable()}, std::pair{RECEIPT, &receiptFormatTable()}}) {
    QWidget* p = win.w.page(page);
    ASSERT_NE(p, nullptr) << page;
    for (const TParamBinding& b : table->bindings) {
      SCOPED_TRACE(b.widget);
      QWidget* w = p->findChild<QWidget*>(qs(b.widget));
      ASSERT_NE(w, nullptr);
      if (b.isCheck()) {
        EXPECT_NE(qobject_cast<QCheckBox*>(w), nullptr);
      } else if (b.isChoice()) {
        auto* c = qobject_cast<QComboBox*>(w);
        ASSERT_NE(c, nullptr);
        ASSERT_NE(b.choices, nullptr);
        ASSERT_EQ(c->count(), static_cast<int>(b.choices->size()));
        for (int i = 0; i < c->count(); ++i) EXPECT_EQ(c->itemText(i).toStdString(), (*b.choices)[i]);
      } else {
        EXPECT_NE(qobject_cast<QLineEdit*>(w), nullptr);
      }
    }
  }
  EXPECT_EQ(win.find<QLineEdit>("edNTPServeraddr")->text().toStdString(), "pool.ntp.org");
  EXPECT_EQ(win.find<QComboBox>("cbxTimezone")->currentText().toStdString(), "-4");
  EXPECT_EQ(win.find<QComboBox>("cbxBarcodeCount")->currentText().toStdString(), "1");
  EXPECT_EQ(win.find<QLineEdit>("ledBarcodeMask")->maxLength(), 10);
  EXPECT_EQ(win.find<QComboBox>("cbxPrintContrast")->currentText().toStdString(), "1");
  EXPECT_EQ(win.find<QComboBox>("cbxPaperCuttingType")->currentText().toStdString(), "Partial");
  EXPECT_EQ(win.find<QCheckBox>("chbxZconnectOperator")->text().toStdString(), "\"Operator report\" after Z-report");
  EXPECT_TRUE(win.find<QProgressBar>("pbLogo")->isHidden());
}

TEST(GuiParamsPages, ModelGroupDecidesWhatIsShown) {
  for (const auto& [model, printer] : {std::pair{"KT-33A", true}, std::pair{"KT-11A", false}}) {
    SCOPED_TRACE(model);
    auto sim = startSimulator(false, model);
    Window win;
    connectTo(win, *sim);
    EXPECT_EQ(win.find<QCheckBox>("chbxPrintAfterPay_ECR")->isHidden(), printer);
    EXPECT_EQ(win.find<QComboBox>("cbxPaperCuttingType")->isHidden(), !printer);
    EXPECT_EQ(win.find<QLabel>("lblPaperCuttingType")->isHidden(), !printer);
    EXPECT_EQ(win.find<QCheckBox>("chbxAutoPaperCut")->isHidden(), !printer);
  }
}

TEST(GuiParamsPages, ParametersSaveAndReadBackInAFreshWindow) {
  auto sim = startSimulator(false, "KT-11A");
  {
    Window win;
    connectTo(win, *sim);
    win.w.showPage(PARAMS);
    EXPECT_EQ(win.find<QComboBox>("cbxTimezone")->currentText().toStdString(), "+1");  // read when shown
    win.find<QCheckBox>("chbxPrintAfterPay_ECR")->setChecked(true);
    win.find<QCheckBox>("chbxNTPuse")->setChecked(true);
    win.find<QComboBox>("cbxTimezone")->setCurrentText("-3");
    win.find<QLineEdit>("ledAutoOff")->setText("12");
    win.find<QLineEdit>("edNTPServeraddr")->setText("ntp.example.org");
    win.find<QPushButton>("bbtnSetParameters")->click();
    EXPECT_EQ(win.shownTexts().back(), "The data was saved in the device.");
    EXPECT_TRUE(win.find<QPushButton>("bbtnSetParameters")->isEnabled());
    EXPECT_EQ(win.dm.fd.repeatCount, 1);

    // A value the device refuses: its message naming the field as the page shows it,
    // the buttons back on.
    win.find<QLineEdit>("ledAutoOff")->setText("99");
    win.find<QPushButton>("bbtnSetParameters")->click();
    const std::string refused = win.shownTexts().back();
    EXPECT_EQ(refused.rfind("Bad value of parameter ", 0), 0u) << refused;
    EXPECT_NE(refused.find("\nThe device refused the value of \"Device off (0-15min.)\" (AutoPowerOff)."),
              std::string::npos)
        << refused;
    EXPECT_TRUE(win.find<QPushButton>("btnReadParams")->isEnabled());
  }
  Window fresh;
  connectTo(fresh, *sim);
  fresh.w.showPage(PARAMS);
  EXPECT_TRUE(fresh.find<QCheckBox>("chbxPrintAfterPay_ECR")->isChecked());
  EXPECT_TRUE(fresh.find<QCheckBox>("chbxNTPuse")->isChecked());
  EXPECT_EQ(fresh.find<QComboBox>("cbxTimezone")->currentText().toStdString(), "-3");
  EXPECT_EQ(fresh.find<QLineEdit>("ledAutoOff")->text().toStdString(), "12");
  EXPECT_EQ(fresh.find<QLineEdit>("edNTPServeraddr")->text().toStdString(), "ntp.example.org");
}

TEST(GuiParamsPages, AFiscalizedDeviceKeepsItsPrintSizeAndThePageOffersNoChange) {
  auto sim = startSimulator(false, "KT-33A");
  Window win;
  connectTo(win, *sim);
  win.w.showPage(RECEIPT);
  auto* size = win.find<QComboBox>("cbx_PrintColumns_X");
  EXPECT_TRUE(size->isEnabled());
  sim->withDevice([](sim::DeviceModel& d) { return d.mutableState().fiscal = true; });
  win.find<QPushButton>("btnReadFormat")->click();
  EXPECT_FALSE(size->isEnabled()) << "the save would not send it";
  EXPECT_FALSE(size->toolTip().isEmpty());
}

TEST(GuiParamsPages, ReceiptFormatSaveCenterLogoAndLogoUpload) {
  auto sim = startSimulator(false, "KT-33A");
  const std::string logo = GuiEnvironment::folder + "/logo.bmp";
  std::ofstream(logo, std::ios::binary) << "BM" << std::string(298, '\x42');
  {
    Window win;
    connectTo(win, *sim);
    win.w.showPage(RECEIPT);
    win.find<QComboBox>("cbx_PrintColumns_X")->setCurrentIndex(1);
    win.find<QComboBox>("cbxPaperCuttingType")->setCurrentText("Full");
    win.find<QCheckBox>("chbxPrintDuplicate")->setChecked(true);
    win.find<QPushButton>("bbtnSetBonFormat")->click();
    EXPECT_EQ(win.shownTexts().back(), "The data was saved in the device.");

    win.find<QPushButton>("btn_CenterLogo")->click();
    EXPECT_EQ(win.find<QComboBox>("cbx_HeaderMinLines")->currentText().toStdString(), "0");
    EXPECT_EQ(win.find<QComboBox>("cbxFooterEmptyLines")->currentText().toStdString(), "8");
    EXPECT_TRUE(win.find<QPushButton>("btn_CenterLogo")->isEnabled());
    EXPECT_EQ(win.w.statusMessage().toStdString(), "Logo centred.");
    // The two values it showed are the device's: leaving the page asks nothing.
    EXPECT_FALSE(win.w.page(RECEIPT)->hasUnsavedEdits());

    auto* bar = win.find<QProgressBar>("pbLogo");
    bool shownWhileMoving = false;
    QObject::connect(bar, &QProgressBar::valueChanged, [&] { shownWhileMoving |= !bar->isHidden(); });
    win.files.answers.push_back(logo);
    win.find<QPushButton>("bbtnLogo")->click();
    EXPECT_EQ(win.shownTexts().back(), "The data was saved in the device.");
    EXPECT_TRUE(shownWhileMoving);
    EXPECT_EQ(bar->maximum(), 300);
    EXPECT_TRUE(bar->isHidden());
    EXPECT_EQ(sim->withDevice([](sim::DeviceModel& d) { return d.state().logo; }), "BM" + std::string(298, '\x42'));

    // A file that cannot be read: its reason, nothing sent, the buttons back on.
    win.files.answers.push_back(GuiEnvironment::folder + "/missing.bmp");
    win.find<QPushButton>("bbtnLogo")->click();
    EXPECT_EQ(win.shownTexts().back().rfind("Exception in method \"bbtnLogoClick\": ", 0), 0u) << win.shownTexts().back();
    EXPECT_TRUE(win.find<QPushButton>("bbtnLogo")->isEnabled());
    EXPECT_TRUE(bar->isHidden());
  }
  Window fresh;
  connectTo(fresh, *sim);
  fresh.w.showPage(RECEIPT);
  EXPECT_EQ(fresh.find<QComboBox>("cbx_PrintColumns_X")->currentIndex(), 1);
  EXPECT_EQ(fresh.find<QComboBox>("cbxPaperCuttingType")->currentText().toStdString(), "Full");
  EXPECT_TRUE(fresh.find<QCheckBox>("chbxPrintDuplicate")->isChecked());
  EXPECT_EQ(fresh.find<QComboBox>("cbxFooterEmptyLines")->currentText().toStdString(), "8");
}

}  // namespace
}  // namespace kestrel
