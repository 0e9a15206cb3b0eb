// Daily closure, Reports, Cash IO and Test receipts in the real window against the
// simulator: the buttons' wiring to the device, the labels the answers fill, the
// Settings page's deletion values, the periodic list's extra rows, the operator
// password from the model, and the exception convention for a date before 2000.
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QPushButton>
#include <QTabWidget>

#include "app/gui_fixture.h"

namespace kestrel {
namespace {

using namespace guitest;

std::string text(Window& win, const char* label) { return win.find<QLabel>(label)->text().toStdString(); }

TEST(GuiReportPages, XThenZWithTheSettingsPageDeletion) {
  auto sim = startSimulator(false);
  sim->withDevice([](sim::DeviceModel& d) {
    d.mutableState().daySales = {125000, 0, 0, 0, 10000};
    d.mutableState().dayStorno = {5000, 0, 0, 0, 0};
    for (int plu : {1, 2, 3}) d.mutableState().items[plu].name = "item";
  });
  Window win;
  connectTo(win, *sim);
  Sent sent(win);
  win.w.showPage("jvpg_Sub_07_EndOfDay");
  EXPECT_TRUE(sent.all.empty()) << "the page has no read";
  EXPECT_EQ(text(win, "lbTotal"), "0.00");
  win.find<QPushButton>("bbtnPrintX")->click();
  EXPECT_EQ(text(win, "lbReportNumber"), "1");
  EXPECT_EQ(text(win, "lbVat_1"), "12.50");
  EXPECT_EQ(text(win, "lbVat_5"), "1.00");
  EXPECT_EQ(text(win, "lbTotal"), "13.5");
  EXPECT_EQ(text(win, "lbStornoVat_1"), "0.50");
  EXPECT_EQ(text(win, "lbStornoTotal"), "0.5");

  // The Settings page asks for the deletion of items 2 to 3 with the service password.
  win.w.showPage("jvpg_Sub__Root_07_Settings");
  win.find<QCheckBox>("chbxSettingDelItemsZ")->click();
  win.find<QLineEdit>("edDelFromPLU")->setText("2");
  win.find<QLineEdit>("edDelToPLU")->setText("3");
  win.find<QLineEdit>("edDelServPass")->setText("1234");
  win.w.showPage("jvpg_Sub_07_EndOfDay");
  sent.all.clear();
  win.find<QPushButton>("bbtnPrintZ")->click();
  EXPECT_EQ(win.shownTexts().back(), "Items deleted.");
  EXPECT_EQ(sent.all, (std::vector<std::pair<int, std::string>>{
                          {69, "Z\t"}, {253, "0\t1234\t"}, {107, "D\t2\t3\t"}, {253, "0\t\t"}}));
  EXPECT_EQ(text(win, "lbTotal"), "13.5");
  EXPECT_EQ(sim->withDevice([](sim::DeviceModel& d) { return d.state().items.size(); }), 1u);
  EXPECT_TRUE(win.find<QPushButton>("bbtnPrintZ")->isEnabled());
}

TEST(GuiReportPages, ReportsSendTheirGroupsValuesAndThePeriodicListShowsItsRows) {
  auto sim = startSimulator(false);
  Window win;
  connectTo(win, *sim);
  Sent sent(win);
  win.w.showPage("jvpg_Sub_08_Reports");
  auto* kind = win.find<QComboBox>("cbxPeriodicRepType");
  auto* pluKind = win.find<QComboBox>("cbxPeriodicPLUType");
  EXPECT_FALSE(pluKind->isVisibleTo(&win.w));
  kind->setCurrentIndex(2);
  EXPECT_TRUE(pluKind->isVisibleTo(&win.w));
  EXPECT_TRUE(win.find<QLineEdit>("edPeriodicPLUTo")->isVisibleTo(&win.w));
  EXPECT_EQ(win.find<QLineEdit>("edPeriodicPLUTo")->maxLength(), 6);
  EXPECT_EQ(win.find<QLineEdit>("edOperFrom")->maxLength(), 2);
  EXPECT_EQ(win.find<QDateEdit>("dtpPeriodicFrom")->date(), QDate::currentDate());

  // Each report that went through says so.
  auto clickReport = [&](const char* button) {
    win.w.set_StatusMessage("");
    win.find<QPushButton>(button)->click();
    EXPECT_EQ(win.w.statusMessage().toStdString(), "Report printed.") << button;
  };
  win.find<QLineEdit>("edOperTo")->setText("5");
  win.find<QCheckBox>("chbxClearOperRegs")->setChecked(true);
  clickReport("btnPrintOperReport");
  win.find<QComboBox>("cbxPLUReportType")->setCurrentIndex(3);
  win.find<QLineEdit>("edPLUFrom")->setText("10");
  win.find<QLineEdit>("edPLUTo")->setText("20");
  clickReport("btnPLUreport");
  win.find<QDateEdit>("dtpPeriodicFrom")->setDate(QDate(2024, 3, 5));
  win.find<QDateEdit>("dtpPeriodicTo")->setDate(QDate(2024, 12, 31));
  pluKind->setCurrentIndex(1);
  win.find<QLineEdit>("edPeriodicPLUTo")->setText("99");
  clickReport("btnPrintPeriodicRep");
  clickReport("btnDeptReport");
  clickReport("btnItemGrpsReport");
  EXPECT_EQ(sent.all, (std::vector<std::pair<int, std::string>>{{105, "1\t5\t1\t"},
                                                                {111, "3\t10\t20\t"},
                                                                {69, "P\t3\t05-03-24\t31-12-24\t2\t1\t99\t"},
                                                                {69, "D\t"},
                                                                {69, "G\t"}}));
  EXPECT_TRUE(win.dialogs.shown.empty());

  // A date before 2000: the exception convention, nothing sent, the button back on.
  sent.all.clear();
  win.find<QDateEdit>("dtpPeriodicFrom")->setDate(QDate(1999, 12, 31));
  win.find<QPushButton>("btnPrintPeriodicRep")->click();
  EXPECT_TRUE(sent.all.empty());
  ASSERT_FALSE(win.dialogs.shown.empty());
  EXPECT_EQ(win.shownTexts().back().rfind("Exception in method \"btnPrintPeriodicRepClick\": ", 0), 0u);
  EXPECT_NE(win.w.statusMessage().toStdString(), "Report printed.");
  EXPECT_TRUE(win.find<QPushButton>("btnPrintPeriodicRep")->isEnabled());

  // Both "Print diagnostic" buttons, each on its own page (after the page's read).
  for (const auto& [page, button] : {std::pair{"jvpg_Sub_01_Clishe", "bbtnPrintDiag1"},
                                     std::pair{"jvpg_Sub_06_Fiscalization", "bbtnPrintDiag2"}}) {
    win.w.showPage(page);
    sent.all.clear();
    win.find<QPushButton>(button)->click();
    EXPECT_EQ(sent.all, (std::vector<std::pair<int, std::string>>{{71, "0\t"}})) << button;
  }
}

TEST(GuiReportPages, CashInAndOutFillTheDrawerSums) {
  auto sim = startSimulator(false);
  Window win;
  connectTo(win, *sim);
  win.w.showPage("jvpg_Sub_19_CashINOUT");
  EXPECT_EQ(text(win, "lbCashInSafe"), ".......");
  EXPECT_EQ(win.find<QLineEdit>("edInputCash")->text(), "0.01");
  // Typed with a decimal comma, as a local keyboard gives it.
  auto* in = win.find<QLineEdit>("edInputCash");
  in->selectAll();
  QTest::keyClicks(in, "12,5");
  EXPECT_EQ(in->text().toStdString(), "12.5");
  win.find<QPushButton>("bbtnCashIn")->click();
  win.find<QLineEdit>("edOutputCash")->setText("2");
  win.find<QPushButton>("bbtnCashOut")->click();
  EXPECT_EQ(text(win, "lbCashInSafe"), "10.50");
  EXPECT_EQ(text(win, "lbSumInput"), "12.50");
  EXPECT_EQ(text(win, "lbSumOutput"), "2.00");
  EXPECT_EQ(win.shownTexts(), (std::vector<std::string>{"The data was saved in the device.",
                                                        "The data was saved in the device."}));
}

TEST(GuiReportPages, TestReceiptsItemReceiptsCloseAndRestart) {
  auto sim = startSimulator(false);
  sim->withDevice([](sim::DeviceModel& d) {
    d.mutableState().vat = {1700, 500, 0, 0, 0};
    d.mutableState().vatSet = true;
  });
  Window win;
  connectTo(win, *sim);
  win.w.showPage("jvpg_Sub_21_Test");
  EXPECT_EQ(win.find<QLineEdit>("ledTestOperPassSale")->text(), "0000") << "KT-33A is a printer";
  EXPECT_EQ(win.find<QLineEdit>("ledTestOperPassStorno")->text(), "0000");

  // The item: programmed as group J, read back into emptied fields.
  win.find<QComboBox>("cbxTestVatSale")->setCurrentIndex(2);
  win.find<QLineEdit>("ledTestPriceSale")->setText("4.2");
  win.find<QPushButton>("bbtn_BAH_PROGR_TESTITEM")->click();
  win.find<QComboBox>("cbxTestVatSale")->setCurrentIndex(0);
  win.find<QLineEdit>("ledTestNameSale")->clear();
  win.find<QPushButton>("bbtn_BAH_GETITEM")->click();
  EXPECT_EQ(win.find<QComboBox>("cbxTestVatSale")->currentText(), "Tax group \"J\"");
  EXPECT_EQ(win.find<QLineEdit>("ledTestPriceSale")->text(), "4.20");
  EXPECT_EQ(win.find<QLineEdit>("ledTestNameSale")->text(), "Test item");

  win.find<QPushButton>("bbtn_BAH_TEST_ECR")->click();
  EXPECT_TRUE(win.dialogs.shown.empty()) << win.shownTexts().back();
  EXPECT_EQ(win.w.statusMessage().toStdString(), "Test receipt printed.");
  EXPECT_EQ(sim->withDevice([](sim::DeviceModel& d) { return d.state().receiptNumber; }), 1);

  // An empty IOSA number: the message and the focus on the edit.
  auto* iosa = win.find<QLineEdit>("ledTestIOSASale");
  iosa->clear();
  win.find<QPushButton>("bbtn_BAH_TEST_ECR")->click();
  EXPECT_EQ(win.shownTexts().back(), "Enter IOSA number");
  EXPECT_EQ(QApplication::focusWidget(), iosa);
  EXPECT_EQ(win.w.statusMessage().toStdString(), "") << "the earlier receipt's word does not stand for this one";

  // A receipt left open with a sale is emptied and closed; the restart is sent.
  sim->withDevice([](sim::DeviceModel& d) {
    std::string a;
    d.execute(48, "1\t0000\t1\t1\t", a);
    d.execute(58, "1\t1.000\t4.20\t0\t0\t", a);
  });
  Sent sent(win);
  win.find<QPushButton>("btnPanicOp")->click();
  win.find<QPushButton>("btnRestartDev")->click();
  std::vector<int> commands;
  for (const auto& s : sent.all) commands.push_back(s.first);
  EXPECT_EQ(commands, (std::vector<int>{76, 52, 52, 53, 56, 202}));
  EXPECT_EQ(sim->withDevice([](sim::DeviceModel& d) { return d.state().receipt.kind; }), sim::RK_NONE);
  EXPECT_TRUE(win.find<QPushButton>("btnPanicOp")->isEnabled());
}

}  // namespace
}  // namespace kestrel
