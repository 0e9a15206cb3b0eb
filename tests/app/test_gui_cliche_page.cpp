// The "Date, header & footer" page in the real window against the simulator: the read
// at connection fills the grids and the pickers, a cell edited in the grid is saved and
// read back by a fresh window, the clock buttons, and export/import through the file
// choice.
#include <QDateEdit>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimeEdit>

#include "app/gui_fixture.h"
#include "app/logic/mem_table.h"
#include "support/files.h"

namespace kestrel {
namespace {

using namespace guitest;

// The simulator on a free loopback port with its clock at 1 July 2025, 10:00:00.
std::unique_ptr<sim::Simulator> startClockedSimulator() {
  sim::SimulatorOptions o;
  o.port = 0;
  o.hostClock = [] { return sim::makeTime(2025, 7, 1, 10, 0, 0); };
  auto s = std::make_unique<sim::Simulator>(o);
  std::string error;
  if (!s->start(error)) ADD_FAILURE() << "simulator: " << error;
  return s;
}

std::string deviceParam(sim::Simulator& sim, const char* name, int index) {
  return sim.withDevice([&](sim::DeviceModel& d) { return d.state().params.at(name).at(index); });
}

// Types `text` into a cell as a user would: open the editor, type, press Enter.
void typeIntoCell(QTableView* grid, int row, int column, const QString& text) {
  const QModelIndex index = grid->model()->index(row, column);
  grid->setCurrentIndex(index);
  grid->edit(index);
  auto* editor = grid->viewport()->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr) << "no editor opened";
  editor->selectAll();
  QTest::keyClicks(editor, text);
  QTest::keyClick(editor, Qt::Key_Return);
  QApplication::processEvents();  // the delegate commits on Return through a queued call
}

TEST(GuiClichePage, ConnectionReadsTheLinesAndAnEditedCellIsSavedAndReadBack) {
  auto sim = startClockedSimulator();
  {
    Window win;
    connectTo(win, *sim);
    EXPECT_TRUE(win.dialogs.shown.empty());
    auto* tabs = win.find<QTabWidget>("pgcCliche");
    EXPECT_EQ(tabs->tabText(0).toStdString(), "Header");
    EXPECT_EQ(tabs->tabText(1).toStdString(), "Footer");
    auto* header = win.find<QTableView>("dbgHeader");
    auto* footer = win.find<QTableView>("dbgFooter");
    ASSERT_EQ(header->model()->rowCount(), 10);
    EXPECT_EQ(header->model()->headerData(0, Qt::Horizontal).toString().toStdString(), "ID");
    EXPECT_EQ(cell(header, 0, 0), "1");
    EXPECT_EQ(cell(header, 0, 1), "KESTREL TEST DEVICE");
    EXPECT_EQ(cell(footer, 0, 1), "THANK YOU");
    EXPECT_EQ(win.find<QDateEdit>("dtpDate")->date(), QDate(2025, 7, 1));
    EXPECT_EQ(win.find<QTimeEdit>("dtpTime")->time(), QTime(10, 0, 0));

    // The ID column takes no edit; a text too long for a line is refused with the
    // table's message and the cell keeps its value.
    EXPECT_FALSE(header->model()->flags(header->model()->index(0, 0)) & Qt::ItemIsEditable);
    EXPECT_FALSE(header->model()->setData(header->model()->index(0, 1), QString(65, 'x')));
    ASSERT_EQ(win.dialogs.shown.size(), 1u);
    EXPECT_NE(win.dialogs.shown[0].text.find("Text"), std::string::npos) << win.dialogs.shown[0].text;
    EXPECT_EQ(cell(header, 0, 1), "KESTREL TEST DEVICE");
    win.dialogs.shown.clear();

    typeIntoCell(header, 2, 1, "THIRD LINE");
    EXPECT_EQ(win.dm.fdmt_Header.value(2, "Text"), "THIRD LINE");
    EXPECT_EQ(cell(header, 2, 1), "THIRD LINE");
    win.find<QPushButton>("bbtnSetCliche")->click();
    ASSERT_EQ(win.shownTexts(), (std::vector<std::string>{"The data was saved in the device."}));
    EXPECT_EQ(deviceParam(*sim, "Header", 2), "THIRD LINE");
    EXPECT_TRUE(win.find<QPushButton>("bbtnSetCliche")->isEnabled());
  }
  Window fresh;
  connectTo(fresh, *sim);
  EXPECT_EQ(cell(fresh.find<QTableView>("dbgHeader"), 2, 1), "THIRD LINE");
}

TEST(GuiClichePage, ClockButtonsSetAndReadTheDeviceClock) {
  auto sim = startClockedSimulator();
  Window win;
  connectTo(win, *sim);
  auto* date = win.find<QDateEdit>("dtpDate");
  auto* time = win.find<QTimeEdit>("dtpTime");
  date->setDate(QDate(2025, 3, 7));
  time->setTime(QTime(9, 5, 3));
  win.find<QPushButton>("bbtnSetDateECR")->click();
  ASSERT_EQ(win.shownTexts(), (std::vector<std::string>{"The data was saved in the device."}));

  date->setDate(QDate(2030, 1, 1));
  win.find<QPushButton>("bbtnGetDateECR")->click();
  EXPECT_EQ(date->date(), QDate(2025, 3, 7));
  EXPECT_EQ(time->time(), QTime(9, 5, 3));

  // A year the device cannot take: the operation's exception message, nothing set.
  date->setDate(QDate(1999, 12, 31));
  win.find<QPushButton>("bbtnSetDateECR")->click();
  ASSERT_EQ(win.dialogs.shown.size(), 2u);
  EXPECT_EQ(win.dialogs.shown[1].text.rfind("Exception in method \"bbtnSetDateECRClick\": ", 0), 0u);
  EXPECT_TRUE(win.find<QPushButton>("bbtnSetDateECR")->isEnabled());

  win.find<QPushButton>("bbtnGetDatePC")->click();
  EXPECT_EQ(date->date(), QDate::currentDate());
}

TEST(GuiClichePage, ExportAndImportThroughTheFileChoice) {
  auto sim = startClockedSimulator();
  Window win;
  connectTo(win, *sim);
  const std::string file = GuiEnvironment::folder + "/cliche.txt";
  win.files.answers = {file};
  win.find<QPushButton>("bbtnExportCliche")->click();
  ASSERT_EQ(win.shownTexts(), (std::vector<std::string>{"Successful export to:\r\n" + file}));
  EXPECT_EQ(readWholeFile(file).rfind("KESTREL TEST DEVICE\r\n\r\n", 0), 0u);

  // Twelve lines, answered No: the grids show the file, the device keeps its lines.
  std::string twelve;
  for (int i = 1; i <= 12; ++i) twelve += "LINE " + std::to_string(i) + "\r\n";
  writeFileAtomically(file, twelve);
  win.dialogs.shown.clear();
  win.files.answers = {file};
  win.dialogs.answer(mrNo);
  win.find<QPushButton>("bbtnImportCliche")->click();
  ASSERT_EQ(win.shownTexts(), (std::vector<std::string>{"Do you want to save the header & footer to the device?"}));
  auto* header = win.find<QTableView>("dbgHeader");
  auto* footer = win.find<QTableView>("dbgFooter");
  EXPECT_EQ(cell(header, 0, 1), "LINE 1");
  EXPECT_EQ(cell(header, 9, 1), "LINE 10");
  EXPECT_EQ(cell(footer, 1, 1), "LINE 12");
  EXPECT_EQ(cell(footer, 2, 1), "");
  EXPECT_EQ(deviceParam(*sim, "Header", 0), "KESTREL TEST DEVICE");

  // Yes: the save runs.
  win.dialogs.shown.clear();
  win.files.answers = {file};
  win.dialogs.answer(mrYes);
  win.find<QPushButton>("bbtnImportCliche")->click();
  EXPECT_EQ(win.shownTexts().back(), "The data was saved in the device.");
  EXPECT_EQ(deviceParam(*sim, "Header", 0), "LINE 1");
  EXPECT_EQ(deviceParam(*sim, "Footer", 1), "LINE 12");
  EXPECT_EQ(deviceParam(*sim, "Footer", 0), "LINE 11");
}

}  // namespace
}  // namespace kestrel
