// The window's page list: the tree it makes, the control enabling and the blank page
// its rows choose.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "app/logic/page_table.h"
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

TEST(PageTable, ControlPlanFollowsThePageRules) {
  TPageFacts none;
  auto plan = controlPlan(findPage("jvpg_Sub_02_Vats"), false, none);
  ASSERT_EQ(plan.controls.size(), 2u);
  EXPECT_EQ(plan.controls[0].name, "bbtnSetVAT");
  EXPECT_FALSE(plan.controls[0].enabled);
  EXPECT_FALSE(plan.changesWorking);

  // Fiscalization: what the device already holds stays disabled.
  TPageFacts fiscal;
  fiscal.serialAndFMSet = fiscal.fiscalMode = true;
  plan = controlPlan(findPage("jvpg_Sub_06_Fiscalization"), true, fiscal);
  for (const auto& c : plan.controls)
    EXPECT_EQ(c.enabled, c.name != "bbtnSetSerial" && c.name != "bbtnFiscalize") << c.name;

  // Journal: save follows the text, stop is always off, whatever the value.
  TPageFacts journal;
  journal.journalHasLines = true;
  for (bool value : {true, false}) {
    plan = controlPlan(findPage("jvpg_Sub_11_KLEN"), value, journal);
    ASSERT_EQ(plan.controls.size(), 3u);
    EXPECT_EQ(plan.controls[0].enabled, value);
    EXPECT_TRUE(plan.controls[1].name == "bbtnSaveKLtoFile" && plan.controls[1].enabled);
    EXPECT_TRUE(plan.controls[2].name == "bbtnStopKLdate" && !plan.controls[2].enabled);
  }

  // Items and Clients: Working is the opposite of the value; the clients' stop box too.
  plan = controlPlan(findPage("jvpg_Sub__Root_03_Items"), false, none);
  EXPECT_TRUE(plan.changesWorking && plan.working);
  EXPECT_EQ(plan.controls.back().name, "bbtnStopRead");
  EXPECT_FALSE(plan.controls.back().enabled);
  plan = controlPlan(findPage("jvpg_Sub_27_Clients"), false, none);
  EXPECT_TRUE(plan.working);
  EXPECT_EQ(plan.controls.back().name, "chbx_StopClients");
  EXPECT_TRUE(plan.controls.back().enabled);

  for (const char* page : {PAGE_STATUS, PAGE_CUSTOM, PAGE_CONNECT, PAGE_SETTINGS, PAGE_NONE, "no page"})
    EXPECT_TRUE(controlPlan(findPage(page), true, none).controls.empty()) << page;
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
