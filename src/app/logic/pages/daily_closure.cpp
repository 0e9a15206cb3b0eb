#include "app/logic/pages/daily_closure.h"

#include <stdexcept>

#include "app/logic/field_helpers.h"
#include "app/logic/device_ops.h"
#include "app/logic/mem_table.h"
#include "app/logic/pages/items.h"
#include "app/logic/pages/reports.h"
#include "app/logic/pages/service_info.h"
#include "app/logic/pages/vat.h"
#include "support/fd_misc.h"

namespace kestrel {

namespace {

constexpr uint16_t SERVICE_COMMAND = 253;
constexpr uint16_t ITEMS_COMMAND = 107;

bool dailyReport(TDeviceOps& ops, const char* kind, TPageValues& labels) {
  if (!ops.command(REPORT_COMMAND, std::string(kind) + "\t")) return false;
  showReportSums(ops, labels);
  return true;
}

}  // namespace

std::string vatSumLabel(int group) { return "lbVat_" + std::to_string(group); }
std::string stornoSumLabel(int group) { return "lbStornoVat_" + std::to_string(group); }

TPageValues initialClosureLabels() {
  TPageValues v{{LB_REPORT_NUMBER, "0"}, {LB_TOTAL, "0.00"}, {LB_STORNO_TOTAL, "0.00"}};
  for (int i = 1; i <= VAT_GROUP_COUNT; ++i) v[vatSumLabel(i)] = v[stornoSumLabel(i)] = "0.00";
  return v;
}

void showReportSums(TDeviceOps& ops, TPageValues& labels) {
  labels[LB_REPORT_NUMBER] = ops.field(1);
  labels[LB_TOTAL] = labels[LB_STORNO_TOTAL] = "0.00";
  int64_t total = 0, stornoTotal = 0;
  for (int i = 1; i <= VAT_GROUP_COUNT; ++i) {
    const std::string sum = trimmed(ops.field(i + 1), " \t");
    if (sum.empty()) continue;
    labels[vatSumLabel(i)] = sum;
    total += decimalValue(sum);
    labels[LB_TOTAL] = shortestDecimal(total);
    const std::string storno = trimmed(ops.field(i + 6), " \t");
    labels[stornoSumLabel(i)] = storno;
    stornoTotal += decimalValue(storno);
    labels[LB_STORNO_TOTAL] = shortestDecimal(stornoTotal);
  }
}

bool printXReport(TDeviceOps& ops, TPageValues& labels) { return dailyReport(ops, "X", labels); }

std::string itemDeletionRangeError(const std::string& from, const std::string& to) {
  constexpr int64_t MAX_PROGRAMMABLE_PLU = 100000;  // the items page's highest PLU (its header clashes with this one)
  auto plu = [](const std::string& t) -> int64_t {
    if (t.empty() || t.size() > 6 || t.find_first_not_of("0123456789") != std::string::npos) return -1;
    const int64_t v = std::stoll(t);
    return v >= 1 && v <= MAX_PROGRAMMABLE_PLU ? v : -1;
  };
  const int64_t a = plu(from), b = plu(to);
  if (a < 0 || b < 0)
    return "the items to delete must be PLUs from 1 to " + std::to_string(MAX_PROGRAMMABLE_PLU) + " (not " + from +
           "-" + to + ")";
  if (a > b) return "the items to delete begin at " + from + ", above their end " + to;
  return {};
}

bool printZReport(TDeviceOps& ops, TPageValues& labels, const TFBHSettings& settings) {
  // The day is closed only when what follows it can be done.
  if (settings.DelItemsOnZ)
    if (const std::string e = itemDeletionRangeError(settings.delete_FromPLU, settings.delete_ToPLU); !e.empty())
      throw std::invalid_argument(e + "; the Z report was not printed");
  if (!dailyReport(ops, "Z", labels)) return false;
  if (!settings.DelItemsOnZ) return true;
  return deleteItemsAfterZ(ops, settings);
}

bool deleteItemsAfterZ(TDeviceOps& ops, const TFBHSettings& settings) {
  if (settings.delete_ServicePass.empty()) {
    ops.misc.show_MyAlert(MSG_NO_DELETE_PASSWORD);
    return false;
  }
  if (!enterServiceMode(ops, settings.delete_ServicePass)) {
    ops.misc.show_MyAlert(MSG_SERVICE_MODE_ERROR);
    return false;
  }
  // A refused deletion leaves the device in service mode, as the technician finds it.
  if (!ops.command(ITEMS_COMMAND, "D\t" + settings.delete_FromPLU + "\t" + settings.delete_ToPLU + "\t")) return false;
  ops.misc.show_MyAlert(MSG_ITEMS_DELETED);
  ops.commandUnjudged(SERVICE_COMMAND, serviceModeInput(""));
  return true;
}

}  // namespace kestrel
