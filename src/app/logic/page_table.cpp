#include "app/logic/page_table.h"

#include <cstdio>

#include "app/logic/model_table.h"

namespace kestrel {

const std::vector<TPageRow>& pageTable() {
  static const std::vector<TPageRow> rows = {
      {"jvpg_Sub_01_Clishe", "Date, header & footer", "readCliche",
       {"bbtnSetCliche", "bbtnGetDatePC", "bbtnGetDateECR", "bbtnSetDateECR", "bbtnPrintDiag1", "bbtnExportCliche",
        "bbtnImportCliche", "btnReadClishe"}},
      {"jvpg_Sub_02_Vats", "VATs", "readVATs", {"bbtnSetVAT", "btnReadVATs"}},
      {"jvpg_Sub_24_Communication", "Communication", "readCommunications",
       {"btnSaveCommunication", "btnReadCommunication"}},
      {"jvpg_Sub_03_Params", "Parameters", "readParamsTab", {"bbtnSetParameters", "btnReadParams"}},
      {"jvpg_Sub_04_ReceiptFormat", "Receipt format", "readBONFormat",
       {"bbtnSetBonFormat", "btnReadFormat", "bbtnLogo", "btn_CenterLogo"}},
      {"jvpg_Sub_05_ServiceInfo", "Service info", "readServiceTab",
       {"btnSaveService", "btnReadService", "btnCheckCertificates", "btnActivateServiceMode",
        "btnDeactivateServiceMode", "btnSetServiceOp"}},
      {"jvpg_Sub_06_Fiscalization", "Fiscalization", "readFiscTab",
       {"bbtnPrintDiag2", "bbtnSetSerial", "bbtnSaveTAXnumbers", "bbtnFiscalize", "btnReadFiscalize", "bbtnSaveIOSA"},
       TPageRule::Fiscalization},
      {"jvpg_Sub_28_Terminal", "Terminal operations", "",
       {"btnResetTerminalData", "btnDelCurrentCommandFIle", "btnReadTerminalData", "btnForceCommand"}},
      {"jvpg_Sub_07_EndOfDay", "Daily closure", "", {"bbtnPrintZ", "bbtnPrintX"}},
      {"jvpg_Sub_08_Reports", "Reports", "",
       {"btnPrintOperReport", "btnPLUreport", "btnDeptReport", "btnPrintPeriodicRep", "btnItemGrpsReport"}},
      {"jvpg_Sub_09_FiscalReports", "Fiscal memory reports", "", {"bbtnFMrepDate", "bbtnFMbyNumber"}},
      {"jvpg_Sub_11_KLEN", "EJ reading", "", {"bbtnGetKLEN"}, TPageRule::Journal},
      {"jvpg_Sub__Root_03_Items", "Items", "",
       {"bbtnReadItems", "bbtnSendItems", "bbtnDelete", "bbtnClear", "bbtnExport", "bbtnImport", "btnChangeQTY"},
       TPageRule::Items},
      {"jvpg_Sub_22_StockGrp", "Stock groups", "readStockGrps", {"btnReadStock", "btnSaveStock"}},
      {"jvpg_Sub_12_Departments", "Departments", "readDepartment", {"btnReadDept", "bbtnSetDept"}},
      {"jvpg_Sub_13_Payments", "Payments", "readPayments", {"bbtnReadPayment", "bbtnSavePayment"}},
      {"jvpg_Sub_15_Operators", "Operators", "readOperator", {"bbtnReadOper", "bbtnSaveOper"}},
      {"jvpg_Sub_16_Keys", "Keys", "readKeys", {"bbtnReadDkeys", "bbtnSaveDkeys"}, TPageRule::None, true},
      {"jvpg_Sub_17_Corrections", "Discount / Surcharge keys", "readCorrections",
       {"btnSaveCorrections", "btnReadCorrections"}, TPageRule::None, true},
      {"jvpg_Sub_19_CashINOUT", "Cash IO", "", {"bbtnCashIn", "bbtnCashOut"}},
      {"jvpg_Sub_27_Clients", "Clients", "readClientInfo",
       {"btnReadClientInfo", "btnWriteClientInfo", "btnDelClients", "btnClearClient", "btnExportClients",
        "btnImportClients"},
       TPageRule::Clients, true},
      {"jvpg_Sub_21_Test", "Test receipts ", "",
       {"btnPanicOp", "btnRestartDev", "bbtn_BAH_TEST_ECR", "bbtn_BAH_PROGR_TESTITEM", "bbtn_BAH_GETITEM",
        "bbtnTestReclam"}},
      {PAGE_STATUS, "Device status", "", {}},
      {PAGE_CUSTOM, "Custom command", "", {}},
      {PAGE_CONNECT, "Connect/Disconnect", "", {}},
      {PAGE_SETTINGS, "Settings", "", {}},
      {PAGE_NONE, "", "", {}},
  };
  return rows;
}

const std::vector<TTreeNodeRow>& treeNodes() {
  static const std::vector<TTreeNodeRow> nodes = {
      {"Device setup", 0, "jvpg_Sub_01_Clishe"},
      {"Date, header & footer", 1, "jvpg_Sub_01_Clishe"},
      {"VATs", 1, "jvpg_Sub_02_Vats"},
      {"Communication", 1, "jvpg_Sub_24_Communication"},
      {"Parameters", 1, "jvpg_Sub_03_Params"},
      {"Receipt format", 1, "jvpg_Sub_04_ReceiptFormat"},
      {"Service info", 1, "jvpg_Sub_05_ServiceInfo"},
      {"Fiscalization", 1, "jvpg_Sub_06_Fiscalization"},
      {"Terminal operations", 1, "jvpg_Sub_28_Terminal"},
      {"Daily closure & reports", 0, "jvpg_Sub_07_EndOfDay"},
      {"Daily closure", 1, "jvpg_Sub_07_EndOfDay"},
      {"Reports", 1, "jvpg_Sub_08_Reports"},
      {"Fiscal memory reports", 1, "jvpg_Sub_09_FiscalReports"},
      {"EJ reading", 1, "jvpg_Sub_11_KLEN"},
      {"Items", 0, "jvpg_Sub__Root_03_Items"},
      {"Other", 0, "jvpg_Sub_22_StockGrp"},
      {"Stock groups", 1, "jvpg_Sub_22_StockGrp"},
      {"Departments", 1, "jvpg_Sub_12_Departments"},
      {"Payments", 1, "jvpg_Sub_13_Payments"},
      {"Operators", 1, "jvpg_Sub_15_Operators"},
      {"Keys", 1, "jvpg_Sub_16_Keys"},
      {"Discount / Surcharge keys", 1, "jvpg_Sub_17_Corrections"},
      {"Cash IO", 1, "jvpg_Sub_19_CashINOUT"},
      {"Clients", 1, "jvpg_Sub_27_Clients"},
      {"Test receipts ", 1, "jvpg_Sub_21_Test"},
      {"Device status", 0, PAGE_STATUS},
      {"Custom command", 0, PAGE_CUSTOM},
      {"Connect/Disconnect", 0, PAGE_CONNECT},
      {"Settings", 0, PAGE_SETTINGS},
  };
  return nodes;
}

const TPageRow* findPage(const std::string& page) {
  for (const auto& r : pageTable())
    if (page == r.page) return &r;
  return nullptr;
}

TControlPlan controlPlan(const std::string& page, bool value, const TPageFacts& facts) {
  TControlPlan plan;
  const TPageRow* row = findPage(page);
  if (!row) return plan;
  for (const char* b : row->buttons) plan.controls.push_back({b, value});
  switch (row->rule) {
    case TPageRule::None:
      break;
    case TPageRule::Fiscalization:
      // What the device has already accepted once cannot be written again.
      for (auto& c : plan.controls) {
        if (c.name == "bbtnSetSerial" && facts.serialAndFMSet) c.enabled = false;
        if (c.name == "bbtnSaveTAXnumbers" && facts.taxNumberSet) c.enabled = false;
        if (c.name == "bbtnFiscalize" && facts.fiscalMode) c.enabled = false;
      }
      break;
    case TPageRule::Journal:
      plan.controls.push_back({"bbtnSaveKLtoFile", facts.journalHasLines});
      plan.controls.push_back({"bbtnStopKLdate", false});
      break;
    case TPageRule::Items:
      plan.controls.push_back({"bbtnStopRead", false});
      plan.changesWorking = true;
      plan.working = !value;
      break;
    case TPageRule::Clients:
      plan.controls.push_back({"chbx_StopClients", !value});
      plan.changesWorking = true;
      plan.working = !value;
      break;
  }
  return plan;
}

bool isPrinterGroup(int ecrModel) {
  const TModelRow* row = modelRowOf(ecrModel);
  return row && row->printer;
}

std::string pageToShow(const std::string& page, int ecrModel) {
  const TPageRow* row = findPage(page);
  if (row && row->registerOnly && isPrinterGroup(ecrModel)) return PAGE_NONE;
  return page;
}

TVerdict commandVerdict(int code, bool commandOk, bool showErr) {
  if (code == 0 && commandOk) return {true, TVerdictShow::Nothing};
  // These end the item and client list reads: a normal way out, not an error to show.
  if (code == CODE_PLU_NOT_FOUND || code == CODE_FIRM_NOT_FOUND) return {false, TVerdictShow::Nothing};
  return {false, showErr ? TVerdictShow::Alert : TVerdictShow::StatusBar};
}

std::string exceptionText(const std::string& method, const std::string& message) {
  return "Exception in method \"" + method + "\": " + message;
}

std::string formatDate(const LocalDateTime& dt) {
  const char s = formatSettings().DateSeparator;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d%c%02d%c%04d", dt.day, s, dt.month, s, dt.year);
  return buf;
}

std::string formatTime(const LocalDateTime& dt) {
  const char s = formatSettings().TimeSeparator;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d%c%02d%c%02d", dt.hour, s, dt.minute, s, dt.second);
  return buf;
}

}  // namespace kestrel
