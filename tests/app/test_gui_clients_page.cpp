// The Clients page in the real window against the simulator: the read when shown, the
// grid's columns, the pop-up menu's save and delete of the selected rows, the buttons
// that need rows, the 1000-row limit of an insert, and the blank page of a printer.
#include <QAction>
#include <QCheckBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>

#include "app/gui_fixture.h"
#include "app/logic/mem_table.h"
#include "app/logic/pages/clients.h"
#include "app/ui/pages/clients_page.h"
#include "util/temp_path.h"

namespace kestrel {
namespace {

using namespace guitest;

std::vector<int> deviceNumbers(sim::Simulator& s) {
  return s.withDevice([](sim::DeviceModel& d) {
    std::vector<int> n;
    for (const auto& [id, c] : d.state().clients) n.push_back(id);
    return n;
  });
}

TEST(GuiClientsPage, ReadWhenShownThenSaveAndDeleteTheSelectedRows) {
  auto sim = startSimulator(false, "KT-11A");
  sim->withDevice([](sim::DeviceModel& d) {
    auto& c = d.mutableState().clients;
    c[1] = {"Shop d.o.o.", "4200000000001", "", "Ferhadija 1", "Sarajevo"};
    c[2] = {"Two", "", "Second", "", ""};
    c[5] = {"Five", "55", "", "", ""};
    return 0;
  });
  Window win;
  connectTo(win, *sim);
  win.w.showPage("jvpg_Sub_27_Clients");
  auto* grid = win.find<QTableView>("dbgClientInfo");
  ASSERT_EQ(grid->model()->rowCount(), 3);
  std::vector<std::string> titles;
  for (int c = 0; c < grid->model()->columnCount(); ++c)
    titles.push_back(grid->model()->headerData(c, Qt::Horizontal).toString().toStdString());
  EXPECT_EQ(titles, (std::vector<std::string>{"Number", "Client name - first", "Client name - second", "Address 1",
                                              "Address 2", "TAX Number"}));
  EXPECT_EQ(cell(grid, 0, 0), "1");
  EXPECT_EQ(cell(grid, 0, 5), "4200000000001");
  EXPECT_EQ(cell(grid, 1, 2), "Second");
  EXPECT_EQ(cell(grid, 2, 0), "5");
  EXPECT_TRUE(win.dialogs.shown.empty());
  EXPECT_EQ(win.w.statusMessage().toStdString(), "3 clients read.");
  EXPECT_FALSE(win.find<QProgressBar>("pbClients")->isVisible());
  EXPECT_FALSE(win.find<QCheckBox>("chbx_StopClients")->isEnabled());
  EXPECT_FALSE(win.pageAs<TClientsPage>("jvpg_Sub_27_Clients")->Working);
  for (const char* b : {"btnWriteClientInfo", "btnClearClient", "btnExportClients", "btnReadClientInfo"})
    EXPECT_TRUE(win.find<QPushButton>(b)->isEnabled()) << b;

  // An edited name, saved for the selected row only; of the characters the device's code
  // page lacks, those of the row sent are named first.
  ASSERT_TRUE(grid->model()->setData(grid->model()->index(1, 1), "Two renamed \u6F22"));
  ASSERT_TRUE(grid->model()->setData(grid->model()->index(0, 2), "Not sent \u6F22"));
  grid->selectRow(1);
  win.dialogs.shown.clear();
  win.find<QPushButton>("btnWriteClientInfo")->click();
  auto* selected = win.find<QAction>("mniSelectedClients");
  EXPECT_TRUE(selected->isEnabled());
  selected->trigger();
  EXPECT_EQ(sim->withDevice([](sim::DeviceModel& d) { return d.state().clients.at(2).name; }), "Two renamed ?");
  ASSERT_EQ(win.shownTexts().size(), 2u);
  const std::string warning = win.shownTexts()[0];
  EXPECT_EQ(warning.rfind("The device's code page cannot hold some characters; they are sent as \"?\":\nclient 2, ", 0), 0u)
      << warning;
  EXPECT_EQ(warning.find("client 1"), std::string::npos) << warning;
  EXPECT_EQ(win.shownTexts().back(), "The data was saved in the device.");

  // Rows 2 and 5 deleted in the device and in the grid.
  grid->clearSelection();
  grid->selectionModel()->select(grid->model()->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  grid->selectionModel()->select(grid->model()->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  win.find<QPushButton>("btnDelClients")->click();
  win.find<QAction>("mniSelectedClients")->trigger();
  EXPECT_EQ(deviceNumbers(*sim), std::vector<int>{1});
  ASSERT_EQ(grid->model()->rowCount(), 1);
  EXPECT_EQ(cell(grid, 0, 0), "1");
  EXPECT_EQ(win.shownTexts().back(), "Selected clients deleted.");
  EXPECT_FALSE(grid->selectionModel()->hasSelection());

  // Nothing selected: only "All" can be chosen.
  win.find<QPushButton>("btnDelClients")->click();
  EXPECT_FALSE(win.find<QAction>("mniSelectedClients")->isEnabled());
  win.find<QMenu>("pmClients")->hide();

  // Exported, cleared and imported again through the buttons.
  test::TempPath file;
  win.files.answers = {file.path, file.path};
  win.find<QPushButton>("btnExportClients")->click();
  EXPECT_EQ(win.shownTexts().back(), "Successful export to:\r\n" + file.path);
  win.find<QPushButton>("btnClearClient")->click();
  EXPECT_EQ(grid->model()->rowCount(), 0);
  for (const char* b : {"btnWriteClientInfo", "btnClearClient", "btnExportClients"})
    EXPECT_FALSE(win.find<QPushButton>(b)->isEnabled()) << b;
  EXPECT_TRUE(win.find<QPushButton>("btnImportClients")->isEnabled());
  win.find<QPushButton>("btnImportClients")->click();
  ASSERT_EQ(grid->model()->rowCount(), 1);
  EXPECT_EQ(cell(grid, 0, 1), "Shop d.o.o.");
  EXPECT_EQ(cell(grid, 0, 5), "4200000000001");
  EXPECT_TRUE(win.find<QPushButton>("btnWriteClientInfo")->isEnabled());
  EXPECT_FALSE(win.find<QProgressBar>("pbClients")->isVisible());
}

TEST(GuiClientsPage, AnInsertIntoAFullTableIsCancelled) {
  Window win;
  auto* page = static_cast<TClientsPage*>(win.w.page("jvpg_Sub_27_Clients"));
  ASSERT_NE(page, nullptr);
  TMemTable& t = win.dm.fdmt_ClientInfo;
  page->insertClientRow();
  EXPECT_EQ(t.RecordCount(), 1);
  EXPECT_TRUE(win.find<QPushButton>("btnExportClients")->isEnabled());
  for (int n = 2; n <= MAX_CLIENTS; ++n) t.setValue(appendClientRow(t), "ID", std::to_string(n));
  page->insertClientRow();
  EXPECT_EQ(t.RecordCount(), MAX_CLIENTS);
}

TEST(GuiClientsPage, APrinterGetsTheBlankPageAndNothingIsRead) {
  auto sim = startSimulator(false, "KT-33A");
  Window win;
  connectTo(win, *sim);
  const uint64_t before = sim->framesServed();
  win.w.showPage("jvpg_Sub_27_Clients");
  EXPECT_EQ(win.w.activePage(), "jvpg_None");
  EXPECT_EQ(sim->framesServed(), before);
}

}  // namespace
}  // namespace kestrel
