// A page left with changes the device does not have yet asks before the next showing
// reads them away; a read or a successful save settles the page.
#include <QAbstractItemModel>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTreeWidget>
#include <functional>

#include "app/gui_fixture.h"
#include "app/logic/page_table.h"

namespace kestrel {
namespace {

using namespace guitest;


class GuiUnsavedEdits : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    sim = startSimulator(false);
    win = std::make_unique<Window>();
    connectTo(*win, *sim);
  }
  static void TearDownTestSuite() {
    win.reset();
    sim->stop();
    sim.reset();
  }
  void SetUp() override {
    ASSERT_TRUE(win->w.Connected());
    win->w.showPage(PAGE_ITEMS);  // no read, nothing to lose: a clean start for each test
    ASSERT_EQ(win->w.activePage(), PAGE_ITEMS);
    win->dialogs.shown.clear();
    win->dialogs.answers.clear();
  }
  // The technician clicks the tree node with this text.
  static void clickNode(const char* text) {
    auto* tree = win->find<QTreeWidget>("tvPages");
    const auto found = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(found.size(), 1) << text;
    tree->scrollToItem(found[0]);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(found[0]).center());
  }
  // The node the tree shows as chosen: current and the only one selected.
  static std::string currentNode() {
    QApplication::processEvents();
    auto* tree = win->find<QTreeWidget>("tvPages");
    QTreeWidgetItem* item = tree->currentItem();
    const auto selected = tree->selectedItems();
    if (!item || selected.size() != 1 || selected[0] != item) return "(current and selected differ)";
    return item->text(0).toStdString();
  }
  static int questionsAsked() {
    int n = 0;
    for (const auto& d : win->dialogs.shown) n += d.buttons == DialogButtons::YesNo;
    return n;
  }
  static void editCell(const char* grid, int row, int column, const char* text) {
    QAbstractItemModel* m = win->find<QTableView>(grid)->model();
    ASSERT_GT(m->rowCount(), row) << grid;
    ASSERT_TRUE(m->setData(m->index(row, column), text, Qt::EditRole)) << grid;  // as the cell editor does
  }
  static void typeInto(const char* field, const char* text) {
    auto* e = win->find<QLineEdit>(field);
    e->setFocus();
    e->end(false);
    QTest::keyClicks(e, text);
  }
  // Clicks a save button; true when the page said "saved".
  static bool saved(const char* button) {
    win->dialogs.shown.clear();
    win->find<QPushButton>(button)->click();
    const bool said = !win->dialogs.shown.empty() && win->dialogs.shown.back().text == "The data was saved in the device.";
    win->dialogs.shown.clear();
    return said;
  }
  // Leaves for the Items page; the number of questions that asked first.
  static int leaveAsked() {
    win->dialogs.shown.clear();
    win->w.showPage(PAGE_ITEMS);
    return questionsAsked();
  }
  static void nextChoice(const char* box) {
    auto* c = win->find<QComboBox>(box);
    c->setCurrentIndex((c->currentIndex() + 1) % c->count());
  }

  static inline std::unique_ptr<sim::Simulator> sim;
  static inline std::unique_ptr<Window> win;
};

struct EditCase {
  const char* page;
  const char* node;
  std::function<void()> edit;
  std::function<std::string()> shown;  // the edited value as the page shows it
  bool asks;
};

TEST_F(GuiUnsavedEdits, LeavingAnEditedPageAsksNoKeepsTheEditsYesLeavesAndTheReadSettlesThePage) {
  auto cbx = [](const char* name) { return [name] { return win->find<QComboBox>(name)->currentText().toStdString(); }; };
  auto text = [](const char* name) { return [name] { return win->find<QLineEdit>(name)->text().toStdString(); }; };
  auto cell = [](const char* grid, int row, int column) {
    return [=] { return guitest::cell(win->find<QTableView>(grid), row, column); };
  };
  const EditCase cases[] = {
      {PAGE_VATS, "VATs", [] { nextChoice("cbxVAT3"); }, cbx("cbxVAT3"), true},
      {"jvpg_Sub_03_Params", "Parameters", [] { win->find<QCheckBox>("chbxNoPasswords")->click(); },
       [] { return std::string(win->find<QCheckBox>("chbxNoPasswords")->isChecked() ? "1" : "0"); }, true},
      {"jvpg_Sub_24_Communication", "Communication", [] { typeInto("edAPN1", "x"); }, text("edAPN1"), true},
      {PAGE_CLICHE, "Date, header & footer", [] { editCell("dbgHeader", 2, 1, "NEW LINE 3"); }, cell("dbgHeader", 2, 1),
       true},
      {"jvpg_Sub_12_Departments", "Departments", [] { editCell("dbgDepartments", 0, 1, "Edited dept"); },
       cell("dbgDepartments", 0, 1), true},
      // The service password is typed for a button, not read: nothing is lost.
      {"jvpg_Sub_05_ServiceInfo", "Service info", [] { typeInto("ed_ServicePassword", "1234"); },
       text("ed_ServicePassword"), false},
  };
  for (const EditCase& c : cases) {
    SCOPED_TRACE(c.node);
    clickNode(c.node);
    ASSERT_EQ(win->w.activePage(), c.page);
    const std::string fromDevice = c.shown();
    c.edit();
    const std::string edited = c.shown();
    ASSERT_NE(edited, fromDevice);
    win->dialogs.shown.clear();

    clickNode("Items");
    if (!c.asks) {
      EXPECT_EQ(questionsAsked(), 0);
      EXPECT_EQ(win->w.activePage(), PAGE_ITEMS);
      continue;
    }
    // No (the default): the page stays as typed, its node selected again.
    ASSERT_EQ(win->dialogs.shown.size(), 1u);
    const DialogRequest& q = win->dialogs.shown[0];
    EXPECT_EQ(q.text, std::string("The changes on \"") + c.node + "\" are not saved in the device. Leave the page and lose them?");
    EXPECT_EQ(q.buttons, DialogButtons::YesNo);
    EXPECT_EQ(q.defaultButton, mrNo);
    EXPECT_EQ(win->w.activePage(), c.page);
    EXPECT_EQ(currentNode(), c.node);
    EXPECT_EQ(c.shown(), edited);

    // Yes: the page goes; shown again it is read, and leaving it then asks nothing.
    win->dialogs.answer(mrYes);
    clickNode("Items");
    EXPECT_EQ(win->w.activePage(), PAGE_ITEMS);
    EXPECT_EQ(currentNode(), "Items");
    clickNode(c.node);
    EXPECT_EQ(c.shown(), fromDevice) << "the edit was never saved";
    win->dialogs.shown.clear();
    win->w.showPage(PAGE_ITEMS);  // the shell's own page change asks too, and only when needed
    EXPECT_EQ(questionsAsked(), 0);
    EXPECT_EQ(win->w.activePage(), PAGE_ITEMS);
  }
}

TEST_F(GuiUnsavedEdits, ASuccessfulSaveOrARereadSettlesThePageAFailedSaveDoesNot) {
  win->w.showPage(PAGE_VATS);
  auto* state = win->find<QComboBox>("cbxVAT2");
  auto* rate = win->find<QLineEdit>("edVAT_2");
  // Read: whatever was changed, the page shows the device's values again.
  nextChoice("cbxVAT2");
  win->find<QPushButton>("btnReadVATs")->click();
  win->w.showPage(PAGE_ITEMS);
  EXPECT_EQ(questionsAsked(), 0);
  EXPECT_EQ(win->w.activePage(), PAGE_ITEMS);

  win->w.showPage(PAGE_VATS);
  state->setCurrentIndex(1);
  rate->setText("1234567");  // more than the device takes: the save stops before it writes
  EXPECT_FALSE(saved("bbtnSetVAT"));
  EXPECT_EQ(leaveAsked(), 1);
  EXPECT_EQ(win->w.activePage(), PAGE_VATS);

  rate->setText("19.00");
  EXPECT_TRUE(saved("bbtnSetVAT"));
  EXPECT_EQ(leaveAsked(), 0);
  EXPECT_EQ(win->w.activePage(), PAGE_ITEMS);
}

// A page with two saves: the one that ran settles its own part of the page (the group
// around its button), never the other part's edits.
TEST_F(GuiUnsavedEdits, ASaveSettlesOnlyThePartOfThePageItSaved) {
  clickNode("Date, header & footer");
  ASSERT_EQ(win->w.activePage(), PAGE_CLICHE);
  editCell("dbgHeader", 2, 1, "NEW LINE 3");
  auto* date = win->find<QDateEdit>("dtpDate");
  date->setDate(date->date().addDays(1));
  ASSERT_TRUE(saved("bbtnSetDateECR"));
  EXPECT_EQ(leaveAsked(), 1) << "the header line was not saved";
  EXPECT_EQ(win->w.activePage(), PAGE_CLICHE);
  EXPECT_EQ(guitest::cell(win->find<QTableView>("dbgHeader"), 2, 1), "NEW LINE 3");

  // Its own save settles the header too.
  ASSERT_TRUE(saved("bbtnSetCliche"));
  EXPECT_EQ(leaveAsked(), 0);
  EXPECT_EQ(win->w.activePage(), PAGE_ITEMS);
}

TEST_F(GuiUnsavedEdits, ClosingTheWindowWithUnsavedEditsAsksAndNoKeepsItOpen) {
  clickNode("VATs");
  ASSERT_EQ(win->w.activePage(), PAGE_VATS);
  nextChoice("cbxVAT3");
  win->dialogs.shown.clear();
  EXPECT_FALSE(win->w.close());  // No, the default
  EXPECT_EQ(questionsAsked(), 1);
  EXPECT_TRUE(win->w.isVisible());
  win->find<QPushButton>("btnReadVATs")->click();  // the device's values again, for the tests after
  EXPECT_EQ(leaveAsked(), 0);
}

}  // namespace
}  // namespace kestrel
