// The master-data pages in the real window against a register-model simulator: each grid
// is read when shown, a deleted row and a save reach the device, the discount and
// surcharge keys enable their edits and report a bad number by the exception rule, and a
// printer model gets the blank page for the keys.
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QTest>

#include "app/gui_fixture.h"
#include "app/logic/pages/master_data.h"
#include "app/logic/page_table.h"
#include "app/ui/shell/page_registry.h"

namespace kestrel {
namespace {

using namespace guitest;

std::string title(QTableView* grid, int column) {
  return grid->model()->headerData(column, Qt::Horizontal).toString().toStdString();
}

TEST(GuiMasterDataPages, EachGridIsReadWhenShown) {
  auto sim = startSimulator(false, "KT-11A");
  Window win;
  connectTo(win, *sim);
  struct Case {
    const char* page;
    const char* grid;
    int rows, columns;
    const char* firstTitle;
    const char* cell01;
  };
  const Case cases[] = {
      {"jvpg_Sub_22_StockGrp", "dbgStockGrps", 99, 2, "Group", "Group 1"},
      {"jvpg_Sub_12_Departments", "dbgDepartments", 99, 2, "Number", "Department 1"},
      {"jvpg_Sub_13_Payments", "dbgPayments", 4, 3, "Number", "Cash"},
      {"jvpg_Sub_15_Operators", "dbgOperators", 30, 16, "Operator", "Operator 1"},
      {"jvpg_Sub_16_Keys", "dbgDKeys", 8, 2, "Key", "0"},
  };
  for (const auto& c : cases) {
    win.w.showPage(c.page);
    auto* grid = win.find<QTableView>(c.grid);
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->model()->rowCount(), c.rows) << c.page;
    ASSERT_EQ(grid->model()->columnCount(), c.columns) << c.page;
    EXPECT_EQ(title(grid, 0), c.firstTitle) << c.page;
    EXPECT_EQ(cell(grid, 0, 1), c.cell01) << c.page;
    EXPECT_EQ(grid->currentIndex().row(), 0) << c.page;
    // Every title readable in full.
    for (int col = 0; col < c.columns; ++col)
      EXPECT_GE(grid->columnWidth(col), grid->horizontalHeader()->fontMetrics().horizontalAdvance(
                                            QString::fromStdString(title(grid, col))))
          << c.page << " column " << col;
  }
  EXPECT_EQ(cell(win.find<QTableView>("dbgPayments"), 0, 2), "No");
  EXPECT_EQ(title(win.find<QTableView>("dbgOperators"), 11), "Password");
  EXPECT_TRUE(win.dialogs.shown.empty()) << win.shownTexts().front();
}

TEST(GuiMasterDataPages, DeletedStockGroupRowAndSaveShiftTheNames) {
  auto sim = startSimulator(false, "KT-11A");
  Window win;
  connectTo(win, *sim);
  win.w.showPage("jvpg_Sub_22_StockGrp");
  auto* grid = win.find<QTableView>("dbgStockGrps");
  grid->setFocus();
  grid->setCurrentIndex(grid->model()->index(0, 1));
  QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
  ASSERT_EQ(grid->model()->rowCount(), 98);
  ASSERT_TRUE(grid->model()->setData(grid->model()->index(0, 1), "Drinks"));
  win.find<QPushButton>("btnSaveStock")->click();
  ASSERT_FALSE(win.dialogs.shown.empty());
  EXPECT_EQ(win.dialogs.shown.back().text, "The data was saved in the device.");
  EXPECT_TRUE(win.find<QPushButton>("btnSaveStock")->isEnabled());

  // F5 reads the page again: what the device now holds.
  QTest::keyClick(grid, Qt::Key_F5);
  ASSERT_EQ(grid->model()->rowCount(), 99);
  EXPECT_EQ(cell(grid, 0, 1), "Drinks");
  EXPECT_EQ(cell(grid, 1, 1), "Group 3");
  EXPECT_EQ(cell(grid, 98, 1), "Group 99");
}

TEST(GuiMasterDataPages, CorrectionsEnableEditsAndReportABadNumber) {
  auto sim = startSimulator(false, "KT-11A");
  Window win;
  connectTo(win, *sim);
  win.w.showPage("jvpg_Sub_17_Corrections");
  auto* disable = win.find<QCheckBox>(WIDGET_DISABLE_SURCHARGE);
  auto* percent = win.find<QLineEdit>(WIDGET_SURCHARGE_PERCENT);
  EXPECT_EQ(percent->text().toStdString(), "0");
  EXPECT_EQ(percent->maxLength(), 9);
  disable->click();
  EXPECT_FALSE(percent->isEnabled());
  EXPECT_FALSE(win.find<QLineEdit>(WIDGET_SURCHARGE_SUM)->isEnabled());
  EXPECT_TRUE(win.find<QLineEdit>(WIDGET_DISCOUNT_SUM)->isEnabled());
  percent->setText("12.5");
  win.find<QPushButton>("btnSaveCorrections")->click();
  EXPECT_EQ(win.dialogs.shown.back().text, "The data was saved in the device.");

  win.find<QLineEdit>(WIDGET_DISCOUNT_SUM)->setText("abc");
  win.find<QPushButton>("btnSaveCorrections")->click();
  EXPECT_EQ(win.dialogs.shown.back().text,
            "Exception in method \"btnSaveCorrectionsClick\": KeyOTS_value: 'abc' is not a valid floating point value; "
            "nothing was saved");

  // A fresh read shows the device's values: percent as saved, the key disabled.
  disable->click();
  percent->clear();
  win.find<QPushButton>("btnReadCorrections")->click();
  EXPECT_EQ(percent->text().toStdString(), "12.5");
  EXPECT_TRUE(disable->isChecked());
  EXPECT_FALSE(percent->isEnabled());
}

TEST(GuiMasterDataPages, PrinterModelGetsTheBlankPageForKeys) {
  auto sim = startSimulator(false, "KT-33A");
  Window win;
  connectTo(win, *sim);
  for (const char* page : {"jvpg_Sub_16_Keys", "jvpg_Sub_17_Corrections"}) {
    win.w.showPage(page);
    EXPECT_EQ(win.w.activePage(), PAGE_NONE) << page;
    const std::string why = win.find<QLabel>("lblBlankPage")->text().toStdString();
    EXPECT_NE(why.find(findPage(page)->title), std::string::npos) << why;
    EXPECT_NE(why.find("cash registers"), std::string::npos) << why;
  }
  EXPECT_EQ(win.find<QTableView>("dbgDKeys")->model()->rowCount(), 0);
  EXPECT_TRUE(win.find<QLineEdit>(WIDGET_SURCHARGE_PERCENT)->text().isEmpty());
  // The other master-data pages are read as on a register.
  win.w.showPage("jvpg_Sub_13_Payments");
  EXPECT_EQ(win.find<QTableView>("dbgPayments")->model()->rowCount(), 4);
}

}  // namespace
}  // namespace kestrel
