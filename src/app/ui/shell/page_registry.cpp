#include "app/ui/shell/page_registry.h"

#include <functional>
#include <map>

#include "app/ui/pages/cash_io_page.h"
#include "app/ui/pages/cliche_page.h"
#include "app/ui/pages/clients_page.h"
#include "app/ui/pages/communication_page.h"
#include "app/ui/pages/connect_page.h"
#include "app/ui/pages/custom_page.h"
#include "app/ui/pages/daily_closure_page.h"
#include "app/ui/pages/fiscalization_page.h"
#include "app/ui/pages/master_data_pages.h"
#include "app/ui/pages/fm_reports_page.h"
#include "app/ui/pages/journal_page.h"
#include "app/ui/pages/items_page.h"
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
TPage* make(TPageShell& shell) {
  return new T(shell);
}
}  // namespace

TPage* createPage(const std::string& objectName, TPageShell& shell) {
  static const std::map<std::string, TPage* (*)(TPageShell&)> factories = {
      {"jvpg_Connect", make<TConnectPage>},
      {"jvpg_Sub__Root_07_Settings", make<TSettingsPage>},
      {"jvpg_Sub__Root_05_Status", make<TStatusPage>},
      {"jvpg_Sub__Root_06_Custom", make<TCustomPage>},
      {"jvpg_Sub_01_Clishe", make<TClichePage>},
      {"jvpg_Sub_02_Vats", make<TVatPage>},
      {"jvpg_Sub__Root_03_Items", make<TItemsPage>},
      {"jvpg_Sub_03_Params", make<TParamsPage>},
      {"jvpg_Sub_04_ReceiptFormat", make<TReceiptFormatPage>},
      {"jvpg_Sub_24_Communication", make<TCommunicationPage>},
      {"jvpg_Sub_05_ServiceInfo", make<TServiceInfoPage>},
      {"jvpg_Sub_06_Fiscalization", make<TFiscalizationPage>},
      {"jvpg_Sub_28_Terminal", make<TTerminalPage>},
      {"jvpg_Sub_22_StockGrp", make<TStockGroupsPage>}, {"jvpg_Sub_12_Departments", make<TDepartmentsPage>},
      {"jvpg_Sub_13_Payments", make<TPaymentsPage>}, {"jvpg_Sub_15_Operators", make<TOperatorsPage>},
      {"jvpg_Sub_16_Keys", make<TKeysPage>}, {"jvpg_Sub_17_Corrections", make<TCorrectionsPage>},
      {"jvpg_Sub_09_FiscalReports", make<TFMReportsPage>},
      {"jvpg_Sub_11_KLEN", make<TJournalPage>},
      {"jvpg_Sub_07_EndOfDay", make<TDailyClosurePage>},
      {"jvpg_Sub_08_Reports", make<TReportsPage>},
      {"jvpg_Sub_19_CashINOUT", make<TCashIOPage>},
      {"jvpg_Sub_21_Test", make<TTestReceiptsPage>},
      {"jvpg_Sub_27_Clients", make<TClientsPage>},
  };
  auto it = factories.find(objectName);
  return it == factories.end() ? nullptr : it->second(shell);
}

}  // namespace kestrel
