// The Items page in the real window against the simulator: the menu with the real range
// and number dialogs, the buttons following the table, a walk stopped with "Stop" while
// the window stays responsive, save / delete with a refusal, the quantity change, and a
// CSV round trip and a refused line through the page's buttons.
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>
#include <functional>

#include "app/gui_fixture.h"
#include "app/items_fixture.h"
#include "app/ui/dialogs/numbers_dialog.h"
#include "app/ui/dialogs/select_dialog.h"
#include "app/ui/pages/items_page.h"
#include "app/ui/tables/mem_table_model.h"

namespace kestrel {
namespace {

using namespace guitest;
using apptest::rowsPlu;

// Answers the next modal dialog of type D once it shows.
template <class D>
void whenShown(std::function<void(D*)> answer) {
  QTimer::singleShot(0, [answer] {
    auto* d = qobject_cast<D*>(QApplication::activeModalWidget());
    if (!d) {
      ADD_FAILURE() << "no dialog of the expected kind";
      if (QWidget* other = QApplication::activeModalWidget()) other->close();
      return;
    }
    answer(d);
  });
}

void answerRange(const char* from, const char* to) {
  whenShown<TfmSelect>([from, to](TfmSelect* d) {
    d->findChild<QLineEdit*>("edFrom")->setText(from);
    d->findChild<QLineEdit*>("edTo")->setText(to);
    d->accept();
  });
}

struct ItemsWindow : Window {
  ItemsWindow() : sim(startSimulator(false)) {
    connectTo(*this, *sim);
    w.showPage("jvpg_Sub__Root_03_Items");
    page = dynamic_cast<TItemsPage*>(w.page("jvpg_Sub__Root_03_Items"));
  }
  TMemTable& table() { return dm.fdmt_Articles; }
  bool enabled(const char* name) { return find<QPushButton>(name)->isEnabled(); }
  // "Read...", "Save..." or "Delete..." and then a menu entry.
  void menu(const char* button, const char* entry) {
    find<QPushButton>(button)->click();
    find<QAction>(entry)->trigger();
  }
  std::unique_ptr<sim::Simulator> sim;
  TItemsPage* page = nullptr;
};

const char* const ROW_BUTTONS[] = {"bbtnSendItems", "bbtnDelete", "bbtnExport", "bbtnClear", "btnChangeQTY"};

TEST(GuiItemsPage, ReadARangeAndTheButtonsFollowTheTable) {
  ItemsWindow win;
  apptest::putDeviceItems(*win.sim, {2, 4, 9});
  for (const char* b : ROW_BUTTONS) EXPECT_FALSE(win.enabled(b)) << b;
  EXPECT_TRUE(win.enabled("bbtnReadItems"));
  EXPECT_TRUE(win.enabled("bbtnImport"));
  EXPECT_FALSE(win.enabled("bbtnStopRead"));

  win.find<QPushButton>("bbtnReadItems")->click();
  EXPECT_TRUE(win.find<QMenu>("pmItems")->isVisible());
  EXPECT_FALSE(win.find<QAction>("mniSelectedItems")->isVisible());
  answerRange("1", "5");
  win.find<QAction>("mniRangeItems")->trigger();
  EXPECT_EQ(rowsPlu(win.table()), (std::vector<std::string>{"2", "4"}));
  auto* grid = win.find<QTableView>("dbg_Articles");
  EXPECT_EQ(grid->model()->rowCount(), 2);
  EXPECT_EQ(grid->model()->headerData(3, Qt::Horizontal).toString(), "Department");
  EXPECT_EQ(grid->model()->index(1, 6).data().toString(), "4.50");
  // A 13-digit barcode fits its column.
  const QString barcode = grid->model()->index(0, 10).data().toString();
  EXPECT_EQ(barcode.size(), 13);
  EXPECT_GE(grid->columnWidth(10), grid->fontMetrics().horizontalAdvance(barcode) + 8);
  EXPECT_TRUE(win.dialogs.shown.empty());
  for (const char* b : ROW_BUTTONS) EXPECT_TRUE(win.enabled(b)) << b;
  EXPECT_FALSE(win.enabled("bbtnStopRead"));
  EXPECT_FALSE(win.page->Working);

  // Ctrl+A selects every row; "Selected in grid" is then offered for a save.
  grid->setFocus();
  QTest::keyClick(grid, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(grid->selectionModel()->selectedRows().size(), 2);
  win.find<QPushButton>("bbtnSendItems")->click();
  EXPECT_TRUE(win.find<QAction>("mniSelectedItems")->isVisible());
  EXPECT_TRUE(win.find<QAction>("mniSelectedItems")->isEnabled());
  win.find<QMenu>("pmItems")->hide();

  win.find<QPushButton>("bbtnClear")->click();
  EXPECT_EQ(grid->model()->rowCount(), 0);
  for (const char* b : ROW_BUTTONS) EXPECT_FALSE(win.enabled(b)) << b;
}

// No silent gaps: what the loop missed is named when it ends, what went well is said in
// the status bar.
TEST(GuiItemsPage, TheReadSaysAtItsEndWhichItemsItCouldNotReadOrHowManyItRead) {
  ItemsWindow win;
  apptest::putDeviceItems(*win.sim, {1, 2, 3, 4, 5, 6});
  // Names longer than the table takes: the device answers, the grid cannot hold them.
  win.sim->withDevice([](sim::DeviceModel& d) {
    for (int p : {3, 5}) d.mutableState().items[p].name = std::string(73, 'N');
  });
  answerRange("1", "6");
  win.menu("bbtnReadItems", "mniRangeItems");
  EXPECT_EQ(rowsPlu(win.table()), (std::vector<std::string>{"1", "2", "4", "6"}));
  ASSERT_EQ(win.dialogs.shown.size(), 1u) << "the gaps went unsaid";
  EXPECT_EQ(win.dialogs.shown[0].text, "2 items could not be read: PLU 3, 5.");

  win.dialogs.shown.clear();
  win.sim->withDevice([](sim::DeviceModel& d) {
    for (int p : {3, 5}) d.mutableState().items[p].name = "Fine";
  });
  answerRange("1", "6");
  win.menu("bbtnReadItems", "mniRangeItems");
  EXPECT_TRUE(win.dialogs.shown.empty());
  EXPECT_EQ(win.w.statusMessage().toStdString(), "6 items read.");
}

// A character the device's code page lacks goes out as "?": the save names the item and
// the field first, for every way of choosing the rows, and only those it sends.
TEST(GuiItemsPage, ASaveNamesTheValuesTheCodePageCannotHold) {
  ItemsWindow win;
  apptest::addItemRow(win.table(), {{"PLU", "5"}, {"VAT", "1"}, {"Name", "Tea \u6F22"}});
  apptest::addItemRow(win.table(), {{"PLU", "6"}, {"VAT", "1"}, {"Name", "Milk"}});
  apptest::addItemRow(win.table(), {{"PLU", "7"}, {"VAT", "1"}, {"Name", "Rice \u6F22"}});
  win.page->ArticlesControls();
  const std::string heading = "The device's code page cannot hold some characters; they are sent as \"?\":";
  auto grid = win.find<QTableView>("dbg_Articles");
  struct Case {
    const char* entry;
    std::function<void()> choose;
    std::vector<std::string> named;
  } cases[] = {
      {"mniAllItems", [] {}, {"PLU 5", "PLU 7"}},
      {"mniRangeItems", [] { answerRange("6", "7"); }, {"PLU 7"}},
      {"mniSelectedItems",
       [&] {
         grid->selectionModel()->select(grid->model()->index(0, 0),
                                        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
       },
       {"PLU 5"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.entry);
    win.dialogs.shown.clear();
    c.choose();
    win.menu("bbtnSendItems", c.entry);
    ASSERT_FALSE(win.dialogs.shown.empty());
    const std::string& warning = win.dialogs.shown[0].text;
    EXPECT_EQ(warning.rfind(heading, 0), 0u) << warning;
    std::vector<std::string> named;
    for (size_t at = warning.find("\nPLU "); at != std::string::npos; at = warning.find("\nPLU ", at + 1))
      named.push_back(warning.substr(at + 1, warning.find(',', at) - at - 1));
    EXPECT_EQ(named, c.named) << warning;
    EXPECT_NE(warning.find(", Name: "), std::string::npos) << warning;
    EXPECT_EQ(win.dialogs.shown.back().text, "The data was saved in the device.");
  }
  EXPECT_EQ(win.sim->withDevice([](sim::DeviceModel& d) { return d.state().items.at(5).name; }), "Tea ?");
}

TEST(GuiItemsPage, AWalkWithoutFStopsAtStopAndTheWindowStaysResponsive) {
  ItemsWindow win;
  apptest::putDeviceItems(*win.sim, {1, 3});
  apptest::refuseFirstQuery(*win.sim);
  bool checked = false;
  // Once the read is under way: only "Stop" takes input, then it is pressed.
  QTimer::singleShot(150, [&] {
    checked = true;
    EXPECT_FALSE(win.enabled("bbtnReadItems"));
    EXPECT_FALSE(win.enabled("bbtnImport"));
    EXPECT_FALSE(win.w.findChild<QTreeWidget*>()->isEnabled());
    EXPECT_TRUE(win.page->Working);
    EXPECT_GT(win.find<QProgressBar>("pbItems")->value(), 1);
    ASSERT_TRUE(win.enabled("bbtnStopRead"));
    win.find<QPushButton>("bbtnStopRead")->click();
  });
  win.menu("bbtnReadItems", "mniAllItems");
  EXPECT_TRUE(checked);
  EXPECT_EQ(rowsPlu(win.table()), (std::vector<std::string>{"1", "3"}));
  EXPECT_EQ(win.find<QTableView>("dbg_Articles")->model()->rowCount(), 2);
  // The refused "F" query, from the device, then the closing message.
  ASSERT_EQ(win.dialogs.shown.size(), 2u);
  EXPECT_EQ(win.dialogs.shown[1].text.rfind("Read stopped at PLU ", 0), 0u) << win.dialogs.shown[1].text;
  EXPECT_FALSE(win.page->Stop_read());
  EXPECT_FALSE(win.enabled("bbtnStopRead"));
  EXPECT_TRUE(win.enabled("bbtnReadItems"));
  EXPECT_TRUE(win.w.findChild<QTreeWidget*>()->isEnabled());
  EXPECT_FALSE(win.page->Working);
}

TEST(GuiItemsPage, SaveAndDeleteThroughTheMenu) {
  ItemsWindow win;
  apptest::putDeviceItems(*win.sim, {5, 6, 7, 8});
  answerRange("1", "10");
  win.menu("bbtnReadItems", "mniRangeItems");
  ASSERT_EQ(win.table().RecordCount(), 4);
  auto* grid = win.find<QTableView>("dbg_Articles");
  // A name typed into the grid, and a barcode the device refuses in the third row.
  ASSERT_TRUE(grid->model()->setData(grid->model()->index(0, 2), "Bread"));
  ASSERT_TRUE(grid->model()->setData(grid->model()->index(2, 10), "12AB"));
  win.sim->withDevice([](sim::DeviceModel& d) { d.mutableState().items.clear(); });

  win.menu("bbtnSendItems", "mniAllItems");
  EXPECT_EQ(apptest::devicePlus(*win.sim), (std::vector<int>{5, 6}));
  // The device's refusal, then what the save did.
  ASSERT_EQ(win.dialogs.shown.size(), 2u);
  EXPECT_NE(win.dialogs.shown[0].text, "The data was saved in the device.");
  EXPECT_EQ(win.dialogs.shown[1].text,
            "Save ended after 3 of 4 items.\n1 item could not be saved: PLU 7 (Bad value of parameter 9).");
  EXPECT_EQ(win.sim->withDevice([](sim::DeviceModel& d) { return d.state().items.at(5).name; }), "Bread");

  // The selection: rows 1 and 3 (PLU 6 and 8).
  grid->selectionModel()->select(grid->model()->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  grid->selectionModel()->select(grid->model()->index(3, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  win.menu("bbtnSendItems", "mniSelectedItems");
  EXPECT_EQ(apptest::devicePlus(*win.sim), (std::vector<int>{5, 6, 8}));
  EXPECT_EQ(win.dialogs.shown.back().text, "The data was saved in the device.");

  grid->selectionModel()->select(grid->model()->index(1, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  win.menu("bbtnDelete", "mniSelectedItems");
  EXPECT_EQ(apptest::devicePlus(*win.sim), (std::vector<int>{5, 8}));
  EXPECT_EQ(rowsPlu(win.table()), (std::vector<std::string>{"5", "7", "8"}));
  EXPECT_EQ(win.dialogs.shown.back().text, "Items deleted.");

  answerRange("8", "8");
  win.menu("bbtnDelete", "mniRangeItems");
  EXPECT_EQ(apptest::devicePlus(*win.sim), (std::vector<int>{5}));
  EXPECT_EQ(rowsPlu(win.table()), (std::vector<std::string>{"5", "7"}));

  // Every item: asked first, No by default; No sends nothing.
  const size_t shown = win.dialogs.shown.size();
  win.menu("bbtnDelete", "mniAllItems");
  ASSERT_EQ(win.dialogs.shown.size(), shown + 1);
  EXPECT_EQ(win.dialogs.shown.back().text, "Delete all items, are you sure?");
  EXPECT_EQ(win.dialogs.shown.back().defaultButton, mrNo);
  EXPECT_EQ(apptest::devicePlus(*win.sim), (std::vector<int>{5}));
  win.dialogs.answer(mrYes);
  win.menu("bbtnDelete", "mniAllItems");
  EXPECT_EQ(win.dialogs.shown.size(), shown + 3);  // the question, then the message
  EXPECT_EQ(win.dialogs.shown.back().text, "Items deleted.");
  EXPECT_TRUE(apptest::devicePlus(*win.sim).empty());
  EXPECT_EQ(grid->model()->rowCount(), 0);
  for (const char* b : ROW_BUTTONS) EXPECT_FALSE(win.enabled(b)) << b;
}

TEST(GuiItemsPage, QuantityChangeThroughTheNumberDialog) {
  ItemsWindow win;
  apptest::putDeviceItems(*win.sim, {10});
  answerRange("10", "10");
  win.menu("bbtnReadItems", "mniRangeItems");
  auto* grid = win.find<QTableView>("dbg_Articles");
  grid->setCurrentIndex(grid->model()->index(0, 0));
  whenShown<TfmNumbers>([](TfmNumbers* d) {
    EXPECT_TRUE(d->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(d->edit()->selectedText(), d->edit()->text());
    d->edit()->setText("2.5");
    d->accept();
  });
  win.find<QPushButton>("btnChangeQTY")->click();
  EXPECT_EQ(grid->model()->index(0, 8).data().toString(), "12.500");
  EXPECT_EQ(win.sim->withDevice([](sim::DeviceModel& d) { return d.state().items.at(10).stockQty; }), 125000);
  EXPECT_TRUE(win.enabled("btnChangeQTY"));
}

TEST(GuiItemsPage, CsvRoundTripAndARefusedLine) {
  ItemsWindow win;
  const std::string dir = GuiEnvironment::folder;
  TMemTable& t = win.table();
  apptest::addItemRow(t, {{"PLU", "1"}, {"VAT", "1"}, {"Name", "Tea; \"green\""}, {"Price", "1"}, {"SoldQty", "0"}});
  apptest::addItemRow(t, {{"PLU", "2"}, {"VAT", "2"}, {"Name", "\"\";"}, {"Price", "2"}, {"SoldQty", "1"}});
  win.page->model()->reset();
  const auto before = apptest::tableRows(t);

  whenShown<TfmSelect>([](TfmSelect* d) {
    auto* all = d->findChild<QRadioButton*>("rbAllItems");
    EXPECT_TRUE(all->isVisible());
    QApplication::processEvents();  // the dialog opens with the focus in "From:"
    all->click();
    d->accept();
  });
  win.files.answers = {dir + "/items.csv"};
  win.find<QPushButton>("bbtnExport")->click();
  ASSERT_FALSE(win.dialogs.shown.empty());
  EXPECT_EQ(win.dialogs.shown.back().text, "Successful export to:\r\n" + dir + "/items.csv");

  win.files.answers = {dir + "/items.csv"};
  win.dialogs.answer(mrYes);
  win.find<QPushButton>("bbtnImport")->click();
  EXPECT_EQ(apptest::tableRows(t), before);
  EXPECT_EQ(win.find<QTableView>("dbg_Articles")->model()->rowCount(), 2);

  {
    std::ofstream(dir + "/bad.csv", std::ios::binary) << "h\r\n\"5\";\"a\";\r\n\"6\";\"b\";\"9\";\r\n";
  }
  win.files.answers = {dir + "/bad.csv"};
  win.dialogs.answer(mrYes);
  win.find<QPushButton>("bbtnImport")->click();
  EXPECT_EQ(rowsPlu(t), (std::vector<std::string>{"5"}));
  EXPECT_EQ(win.dialogs.shown.back().text.rfind("Exception in method \"importFromCsv\": Line 3: '9'", 0), 0u)
      << win.dialogs.shown.back().text;
  EXPECT_TRUE(win.enabled("bbtnImport"));
  EXPECT_TRUE(win.enabled("bbtnExport"));
}

}  // namespace
}  // namespace kestrel
