// The window's page list: the tree it makes, the control enabling and the blank page
// its rows choose.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "app/gui_fixture.h"
#include "app/logic/page_table.h"
#include "app/ui/pages/page.h"
#include "app/ui/shell/page_registry.h"

namespace kestrel {
namespace {

TEST(PageTable, TreeNodesOpenPagesOfTheTableAndParentsOpenTheirFirstChild) {
  const auto& nodes = treeNodes();
  // A node for every page but the blank one, and one for each group.
  size_t pages = 0, topPages = 0;
  std::set<std::string> groups;
  for (const auto& row : pageTable()) {
    if (*row.title) ++pages;
    if (*row.group) groups.insert(row.group);
    if (*row.title && !*row.group) ++topPages;
  }
  ASSERT_EQ(nodes.size(), pages + groups.size());
  int top = 0;
  for (size_t i = 0; i < nodes.size(); ++i) {
    EXPECT_NE(findPage(nodes[i].page), nullptr) << nodes[i].text;
    if (nodes[i].level == 0) {
      ++top;
      if (i + 1 < nodes.size() && nodes[i + 1].level == 1) {
        EXPECT_STREQ(nodes[i].page, nodes[i + 1].page);
      }
    }
  }
  EXPECT_EQ(static_cast<size_t>(top), topPages + groups.size());
  EXPECT_STREQ(nodes[1].text, "Date, header & footer");
  // Every page but the blank one has a node.
  std::set<std::string> reached;
  for (const auto& n : nodes) reached.insert(n.page);
  for (const auto& row : pageTable()) EXPECT_EQ(reached.count(row.page), std::string(row.page) == PAGE_NONE ? 0u : 1u);
}

// The buttons each page's control enabling switches, as the window's page table has them.
const std::map<std::string, std::vector<std::string>>& switchedByTable() {
  static const std::map<std::string, std::vector<std::string>> table = {
      {"jvpg_Sub_01_Clishe",
       {"bbtnSetCliche", "bbtnGetDatePC", "bbtnGetDateECR", "bbtnSetDateECR", "bbtnPrintDiag1", "bbtnExportCliche",
        "bbtnImportCliche", "btnReadClishe"}},
      {"jvpg_Sub_02_Vats", {"bbtnSetVAT", "btnReadVATs"}},
      {"jvpg_Sub_24_Communication", {"btnSaveCommunication", "btnReadCommunication"}},
      {"jvpg_Sub_03_Params", {"bbtnSetParameters", "btnReadParams"}},
      {"jvpg_Sub_04_ReceiptFormat", {"bbtnSetBonFormat", "btnReadFormat", "bbtnLogo", "btn_CenterLogo"}},
      {"jvpg_Sub_05_ServiceInfo",
       {"btnSaveService", "btnReadService", "btnCheckCertificates", "btnActivateServiceMode",
        "btnDeactivateServiceMode", "btnSetServiceOp"}},
      {"jvpg_Sub_06_Fiscalization",
       {"bbtnPrintDiag2", "bbtnSetSerial", "bbtnSaveTAXnumbers", "bbtnFiscalize", "btnReadFiscalize", "bbtnSaveIOSA"}},
      {"jvpg_Sub_28_Terminal",
       {"btnResetTerminalData", "btnDelCurrentCommandFIle", "btnReadTerminalData", "btnForceCommand"}},
      {"jvpg_Sub_07_EndOfDay", {"bbtnPrintZ", "bbtnPrintX"}},
      {"jvpg_Sub_08_Reports",
       {"btnPrintOperReport", "btnPLUreport", "btnDeptReport", "btnPrintPeriodicRep", "btnItemGrpsReport"}},
      {"jvpg_Sub_09_FiscalReports", {"bbtnFMrepDate", "bbtnFMbyNumber"}},
      {"jvpg_Sub_11_KLEN", {"bbtnGetKLEN"}},
      {"jvpg_Sub__Root_03_Items",
       {"bbtnReadItems", "bbtnSendItems", "bbtnDelete", "bbtnClear", "bbtnExport", "bbtnImport", "btnChangeQTY"}},
      {"jvpg_Sub_22_StockGrp", {"btnReadStock", "btnSaveStock"}},
      {"jvpg_Sub_12_Departments", {"btnReadDept", "bbtnSetDept"}},
      {"jvpg_Sub_13_Payments", {"bbtnReadPayment", "bbtnSavePayment"}},
      {"jvpg_Sub_15_Operators", {"bbtnReadOper", "bbtnSaveOper"}},
      {"jvpg_Sub_16_Keys", {"bbtnReadDkeys", "bbtnSaveDkeys"}},
      {"jvpg_Sub_17_Corrections", {"btnSaveCorrections", "btnReadCorrections"}},
      {"jvpg_Sub_19_CashINOUT", {"bbtnCashIn", "bbtnCashOut"}},
      {"jvpg_Sub_27_Clients",
       {"btnReadClientInfo", "btnWriteClientInfo", "btnDelClients", "btnClearClient", "btnExportClients",
        "btnImportClients"}},
      {"jvpg_Sub_21_Test",
       {"btnPanicOp", "btnRestartDev", "bbtn_BAH_TEST_ECR", "bbtn_BAH_PROGR_TESTITEM", "bbtn_BAH_GETITEM",
        "bbtnTestReclam"}},
  };
  return table;
}

// A page's switched buttons are the ones it registers with its clicks: exactly the
// table's, none missing, none more (a file helper or a stop control is not one of them).
TEST(PageTable, EachPageSwitchesTheButtonsItRegistersAndThoseAreTheTablesOwn) {
  guitest::Window win;
  for (const auto& row : pageTable()) {
    SCOPED_TRACE(row.page);
    TPage* page = win.w.page(row.page);
    if (!page) {
      EXPECT_STREQ(row.page, PAGE_NONE);
      continue;
    }
    const auto listed = switchedByTable().find(row.page);
    const std::set<std::string> expected =
        listed == switchedByTable().end() ? std::set<std::string>{}
                                          : std::set<std::string>(listed->second.begin(), listed->second.end());
    const auto& registered = page->switchedButtons();
    EXPECT_EQ(std::set<std::string>(registered.begin(), registered.end()), expected);
    EXPECT_EQ(registered.size(), expected.size()) << "a button registered twice";
    for (const auto& name : registered) EXPECT_NE(page->findChild<QWidget*>(QString::fromStdString(name)), nullptr) << name;
  }
}

TEST(PageTable, ControlPlanFollowsThePageRules) {
  TPageFacts none;
  auto buttonsOf = [](const char* page) { return switchedByTable().at(page); };
  auto plan = controlPlan(findPage("jvpg_Sub_02_Vats"), buttonsOf("jvpg_Sub_02_Vats"), false, none);
  ASSERT_EQ(plan.controls.size(), 2u);
  EXPECT_EQ(plan.controls[0].name, "bbtnSetVAT");
  EXPECT_FALSE(plan.controls[0].enabled);
  EXPECT_FALSE(plan.changesWorking);

  // Fiscalization: what the device already holds stays disabled.
  TPageFacts fiscal;
  fiscal.serialAndFMSet = fiscal.fiscalMode = true;
  plan = controlPlan(findPage("jvpg_Sub_06_Fiscalization"), buttonsOf("jvpg_Sub_06_Fiscalization"), true, fiscal);
  ASSERT_EQ(plan.controls.size(), 6u);
  for (const auto& c : plan.controls)
    EXPECT_EQ(c.enabled, c.name != "bbtnSetSerial" && c.name != "bbtnFiscalize") << c.name;

  // Journal: save follows the text, stop is always off, whatever the value.
  TPageFacts journal;
  journal.journalHasLines = true;
  for (bool value : {true, false}) {
    plan = controlPlan(findPage("jvpg_Sub_11_KLEN"), buttonsOf("jvpg_Sub_11_KLEN"), value, journal);
    ASSERT_EQ(plan.controls.size(), 3u);
    EXPECT_EQ(plan.controls[0].enabled, value);
    EXPECT_TRUE(plan.controls[1].name == "bbtnSaveKLtoFile" && plan.controls[1].enabled);
    EXPECT_TRUE(plan.controls[2].name == "bbtnStopKLdate" && !plan.controls[2].enabled);
  }

  // Items and Clients: Working is the opposite of the value; the clients' stop box too.
  plan = controlPlan(findPage("jvpg_Sub__Root_03_Items"), buttonsOf("jvpg_Sub__Root_03_Items"), false, none);
  EXPECT_TRUE(plan.changesWorking && plan.working);
  EXPECT_EQ(plan.controls.back().name, "bbtnStopRead");
  EXPECT_FALSE(plan.controls.back().enabled);
  plan = controlPlan(findPage("jvpg_Sub_27_Clients"), buttonsOf("jvpg_Sub_27_Clients"), false, none);
  EXPECT_TRUE(plan.working);
  EXPECT_EQ(plan.controls.back().name, "chbx_StopClients");
  EXPECT_TRUE(plan.controls.back().enabled);

  for (const char* page : {PAGE_STATUS, PAGE_CUSTOM, PAGE_CONNECT, PAGE_SETTINGS, PAGE_NONE, "no page"})
    EXPECT_TRUE(controlPlan(findPage(page), {}, true, none).controls.empty()) << page;
}

TEST(PageTable, PrinterGroupGetsTheBlankPageForRegisterOnlyPages) {
  for (int model : {-1, 0, 1, 2, 3, 4, 5, 6}) {
    const bool printer = model == 1 || model == 2 || model == 4;
    EXPECT_EQ(isPrinterGroup(model), printer) << model;
    for (const char* page : {"jvpg_Sub_16_Keys", "jvpg_Sub_17_Corrections", "jvpg_Sub_27_Clients"})
      EXPECT_EQ(pageToShow(*findPage(page), model), printer ? PAGE_NONE : page) << model << page;
    EXPECT_EQ(pageToShow(*findPage("jvpg_Sub_02_Vats"), model), "jvpg_Sub_02_Vats");
  }
}

}  // namespace
}  // namespace kestrel
