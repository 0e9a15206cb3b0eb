#include "app/ui/shell/page_registry.h"

#include "app/ui/pages/cash_io_page.h"
#include "app/ui/pages/cliche_page.h"
#include "app/ui/pages/clients_page.h"
#include "app/ui/pages/communication_page.h"
#include "app/ui/pages/connect_page.h"
#include "app/ui/pages/custom_page.h"
#include "app/ui/pages/daily_closure_page.h"
#include "app/ui/pages/fiscalization_page.h"
#include "app/ui/pages/fm_reports_page.h"
#include "app/ui/pages/items_page.h"
#include "app/ui/pages/journal_page.h"
#include "app/ui/pages/master_data_pages.h"
#include "app/ui/pages/params_page.h"
#include "app/ui/pages/receipt_format_page.h"
#include "app/ui/pages/reports_page.h"
#include "app/ui/pages/service_info_page.h"
#include "app/ui/pages/settings_page.h"
#include "app/ui/pages/status_page.h"
#include "app/ui/pages/terminal_page.h"
#include "app/ui/pages/test_receipts_page.h"
#include "app/ui/pages/vat_page.h"

namespace kestrel {

namespace {

template <class T>
TPage* makePage(TPageShell& shell, const TPageRow& row) {
  return new T(shell, row);
}

constexpr const char* GROUP_SETUP = "Device setup";
constexpr const char* GROUP_CLOSURE = "Daily closure & reports";
constexpr const char* GROUP_OTHER = "Other";
constexpr const char* GROUP_NONE = "";

}  // namespace

const std::vector<TPageEntry>& pageEntries() {
  static const std::vector<TPageEntry> entries = {
      {{"jvpg_Sub_01_Clishe", "Date, header & footer", GROUP_SETUP, "readCliche"}, makePage<TClichePage>},
      {{"jvpg_Sub_02_Vats", "VATs", GROUP_SETUP, "readVATs"}, makePage<TVatPage>},
      {{"jvpg_Sub_24_Communication", "Communication", GROUP_SETUP, "readCommunications"}, makePage<TCommunicationPage>},
      {{"jvpg_Sub_03_Params", "Parameters", GROUP_SETUP, "readParamsTab"}, makePage<TParamsPage>},
      {{"jvpg_Sub_04_ReceiptFormat", "Receipt format", GROUP_SETUP, "readBONFormat"}, makePage<TReceiptFormatPage>},
      {{"jvpg_Sub_05_ServiceInfo", "Service info", GROUP_SETUP, "readServiceTab"}, makePage<TServiceInfoPage>},
      {{"jvpg_Sub_06_Fiscalization", "Fiscalization", GROUP_SETUP, "readFiscTab", TPageRule::Fiscalization},
       makePage<TFiscalizationPage>},
      {{"jvpg_Sub_28_Terminal", "Terminal operations", GROUP_SETUP, ""}, makePage<TTerminalPage>},
      {{"jvpg_Sub_07_EndOfDay", "Daily closure", GROUP_CLOSURE, ""}, makePage<TDailyClosurePage>},
      {{"jvpg_Sub_08_Reports", "Reports", GROUP_CLOSURE, ""}, makePage<TReportsPage>},
      {{"jvpg_Sub_09_FiscalReports", "Fiscal memory reports", GROUP_CLOSURE, ""}, makePage<TFMReportsPage>},
      {{"jvpg_Sub_11_KLEN", "EJ reading", GROUP_CLOSURE, "", TPageRule::Journal}, makePage<TJournalPage>},
      {{"jvpg_Sub__Root_03_Items", "Items", GROUP_NONE, "", TPageRule::Items}, makePage<TItemsPage>},
      {{"jvpg_Sub_22_StockGrp", "Stock groups", GROUP_OTHER, "readStockGrps"}, makePage<TStockGroupsPage>},
      {{"jvpg_Sub_12_Departments", "Departments", GROUP_OTHER, "readDepartment"}, makePage<TDepartmentsPage>},
      {{"jvpg_Sub_13_Payments", "Payments", GROUP_OTHER, "readPayments"}, makePage<TPaymentsPage>},
      {{"jvpg_Sub_15_Operators", "Operators", GROUP_OTHER, "readOperator"}, makePage<TOperatorsPage>},
      {{"jvpg_Sub_16_Keys", "Keys", GROUP_OTHER, "readKeys", TPageRule::None, true}, makePage<TKeysPage>},
      {{"jvpg_Sub_17_Corrections", "Discount / Surcharge keys", GROUP_OTHER, "readCorrections", TPageRule::None, true},
       makePage<TCorrectionsPage>},
      {{"jvpg_Sub_19_CashINOUT", "Cash IO", GROUP_OTHER, ""}, makePage<TCashIOPage>},
      {{"jvpg_Sub_27_Clients", "Clients", GROUP_OTHER, "readClientInfo", TPageRule::Clients, true},
       makePage<TClientsPage>},
      {{"jvpg_Sub_21_Test", "Test receipts ", GROUP_OTHER, ""}, makePage<TTestReceiptsPage>},
      {{PAGE_STATUS, "Device status", GROUP_NONE, ""}, makePage<TStatusPage>},
      {{PAGE_CUSTOM, "Custom command", GROUP_NONE, ""}, makePage<TCustomPage>},
      {{PAGE_CONNECT, "Connect/Disconnect", GROUP_NONE, ""}, makePage<TConnectPage>},
      {{PAGE_SETTINGS, "Settings", GROUP_NONE, ""}, makePage<TSettingsPage>},
      {{PAGE_NONE, "", GROUP_NONE, ""}, nullptr},
  };
  return entries;
}

const std::vector<TPageRow>& pageTable() {
  static const std::vector<TPageRow> rows = [] {
    std::vector<TPageRow> r;
    for (const auto& e : pageEntries()) r.push_back(e.row);
    return r;
  }();
  return rows;
}

const TPageRow* findPage(const std::string& page) {
  for (const auto& r : pageTable())
    if (page == r.page) return &r;
  return nullptr;
}

const std::vector<TTreeNodeRow>& treeNodes() {
  static const std::vector<TTreeNodeRow> nodes = treeNodes(pageTable());
  return nodes;
}

}  // namespace kestrel
