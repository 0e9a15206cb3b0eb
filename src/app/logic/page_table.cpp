#include "app/logic/page_table.h"

#include <cstdio>

#include "app/logic/model_table.h"
#include "engine/engine_types.h"

namespace kestrel {

std::vector<TTreeNodeRow> treeNodes(const std::vector<TPageRow>& pages) {
  std::vector<TTreeNodeRow> nodes;
  const char* group = "";
  for (const auto& row : pages) {
    if (!*row.title) continue;  // the blank page has no node
    // A group's node opens the page of its first child.
    if (*row.group && std::string(row.group) != group) nodes.push_back({row.group, 0, row.page});
    group = row.group;
    nodes.push_back({row.title, *row.group ? 1 : 0, row.page});
  }
  return nodes;
}

TControlPlan controlPlan(const TPageRow* row, const std::vector<std::string>& buttons, bool value,
                         const TPageFacts& facts) {
  TControlPlan plan;
  if (!row) return plan;
  for (const auto& b : buttons) plan.controls.push_back({b, value});
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

std::string pageToShow(const TPageRow& row, int ecrModel) {
  return row.registerOnly && isPrinterGroup(ecrModel) ? PAGE_NONE : row.page;
}

TVerdict commandVerdict(int code, bool commandOk, bool showErr) {
  if (code == 0 && commandOk) return {true, TVerdictShow::Nothing};
  // These end the item and client list reads: a normal way out, not an error to show.
  if (code == CODE_PLU_NOT_FOUND || code == CODE_FIRM_NOT_FOUND) return {false, TVerdictShow::Nothing};
  // The technician's own stop is no error to click away: the status bar says it.
  if (code == CODE_CANCELLED) return {false, TVerdictShow::StatusBar};
  return {false, showErr ? TVerdictShow::Alert : TVerdictShow::StatusBar};
}

std::string unsavedEditsQuestion(const std::string& pageTitle) {
  return "The changes on \"" + pageTitle + "\" are not saved in the device. Leave the page and lose them?";
}

std::string incompleteReadQuestion(const std::string& pageTitle) {
  return "The last read of \"" + pageTitle +
         "\" did not finish: some values shown are not the device's. Write the values shown to the device anyway?";
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
