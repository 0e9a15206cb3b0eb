// kestrel report, cash, receipt and restart: the Daily closure, Reports, Cash IO and
// Test receipts pages on the command line. The service password of the Z report's item
// deletion and the operator password of the test receipts come from a private file
// (--password-file) or the environment, never from the command line.
#include <cstdio>
#include <map>
#include <optional>
#include <ostream>
#include <set>

#include "app/logic/model_table.h"
#include "app/logic/pages/cash_io.h"
#include "app/logic/pages/cliche.h"
#include "app/logic/pages/daily_closure.h"
#include "app/logic/pages/reports.h"
#include "app/logic/pages/test_receipts.h"
#include "app/logic/pages/then_always.h"
#include "app/logic/pages/vat.h"
#include "cli/cli_args.h"
#include "cli/cli_pages.h"
#include "cli/json_out.h"

namespace kestrel::cli {

namespace {

constexpr const char* OPERATOR_PASSWORD_VARIABLE = "KESTREL_OPERATOR_PASSWORD";

// The position of `word` in `names`, or of a number 0..size-1; -1 for anything else.
int choice(const std::string& word, std::initializer_list<const char*> names) {
  int i = 0;
  for (const char* n : names) {
    if (word == n || word == std::to_string(i)) return i;
    ++i;
  }
  return -1;
}

LocalDateTime dateArg(const std::string& option, const std::string& text) {
  int d = 0, m = 0, y = 0;
  char tail = 0;
  LocalDateTime dt;
  if (std::sscanf(text.c_str(), "%2d.%2d.%4d%c", &d, &m, &y, &tail) == 3) dt = {y, m, d, 0, 0, 0, 0};
  if (!dt.isValid() || y < 2000 || y > 2099)
    throw UsageError(option + ": '" + text + "' is no date DD.MM.YYYY from 2000 to 2099");
  return dt;
}

// --delete-items FROM-TO as the Settings page's three values.
TFBHSettings deletionOf(const CommandArgs& w) {
  TFBHSettings s;
  const auto range = w.value("--delete-items");
  if (!range) return s;
  const auto dash = range->find('-');
  s.delete_FromPLU = range->substr(0, dash);
  s.delete_ToPLU = dash == std::string::npos ? "" : range->substr(dash + 1);
  auto plu = [](const std::string& t) { return !t.empty() && t.size() <= 6 && t.find_first_not_of("0123456789") == std::string::npos; };
  if (!plu(s.delete_FromPLU) || !plu(s.delete_ToPLU)) throw UsageError("--delete-items: '" + *range + "' is not FROM-TO");
  if (const std::string e = itemDeletionRangeError(s.delete_FromPLU, s.delete_ToPLU); !e.empty())
    throw UsageError("--delete-items: " + e);
  s.DelItemsOnZ = true;
  s.delete_ServicePass = passwordFrom(w.value("--password-file"), SERVICE_PASSWORD_VARIABLE);
  if (s.delete_ServicePass.empty())
    throw UsageError(std::string("report z --delete-items: no service password; give --password-file FILE or set ") +
                     SERVICE_PASSWORD_VARIABLE);
  return s;
}

TPeriodicReport periodicOf(const CommandArgs& w) {
  TPeriodicReport r;
  r.kind = choice(w.plain[1], {"payments", "departments", "plu"}) + 1;
  if (r.kind == 0) throw UsageError("report periodic: KIND is payments, departments or plu");
  if (!w.value("--from") || !w.value("--to")) throw UsageError("report periodic needs --from and --to");
  r.from = dateArg("--from", *w.value("--from"));
  r.to = dateArg("--to", *w.value("--to"));
  if (r.kind != PERIODIC_PLU_ITEMS)
    for (const char* o : {"--by", "--plu-from", "--plu-to"})
      if (w.value(o)) throw UsageError("report periodic " + w.plain[1] + " takes no " + o);
  r.pluKind = choice(w.valueOr("--by", "code"), {"code", "department", "group"}) + 1;
  if (r.pluKind == 0) throw UsageError("--by is one of code, department, group");
  r.pluFrom = w.valueOr("--plu-from", "1");
  r.pluTo = w.valueOr("--plu-to", "1");
  return r;
}

void checkReport(const CommandArgs& w) {
  const std::string& kind = w.plain[0];
  if (kind == "plu" && choice(w.plain[1], {"turnovers", "clearing", "parameters", "stock"}) < 0)
    throw UsageError("report plu: KIND is turnovers, clearing, parameters or stock");
  if (kind == "periodic") periodicOf(w);
  if (kind == "z") deletionOf(w);
}

void printSums(PageCommandContext& ctx, TPageValues& labels) {
  if (labels.count(LB_REPORT_NUMBER)) {
    std::vector<std::pair<std::string, std::string>> values{{"number", labels[LB_REPORT_NUMBER]}};
    for (int i = 1; i <= VAT_GROUP_COUNT; ++i) values.emplace_back(std::string(1, VAT_LETTERS[i - 1]), labels[vatSumLabel(i)]);
    values.emplace_back("total", labels[LB_TOTAL]);
    for (int i = 1; i <= VAT_GROUP_COUNT; ++i)
      values.emplace_back("storno" + std::string(1, VAT_LETTERS[i - 1]), labels[stornoSumLabel(i)]);
    values.emplace_back("stornoTotal", labels[LB_STORNO_TOTAL]);
    JsonObject o;
    for (const auto& [key, value] : values) {
      if (ctx.json) o.add(key, value);
      else ctx.out << key << '=' << value << '\n';
    }
    if (ctx.json) ctx.out << o.text() << '\n';
  }
}

}  // namespace

void checkReportArgs(const CommandArgs& args) { checkReport(args); }

int runReport(PageCommandContext& ctx) {
  const CommandArgs& w = ctx.args;
  const std::string& kind = w.plain[0];
  if (kind == "x" || kind == "z") {
    TPageValues labels = initialClosureLabels();
    labels.erase(LB_REPORT_NUMBER);
    bool ok = false;
    {
      // The sums read so far are printed on every way out, an exception's too.
      const auto sums = always([&] { printSums(ctx, labels); });
      ok = kind == "x" ? printXReport(ctx.ops, labels) : printZReport(ctx.ops, labels, deletionOf(w));
    }
    return operationStatus(ctx, ok);
  }
  bool ok = false;
  if (kind == "departments") ok = printDeptReport(ctx.ops);
  else if (kind == "groups") ok = printItemGroupsReport(ctx.ops);
  else if (kind == "diagnostic") ok = printDiagnostic(ctx.ops);
  else if (kind == "operators") ok = printOperReport(ctx.ops, w.plain[1], w.plain[2], w.has("--clear"));
  else if (kind == "plu")
    ok = printPLUReport(ctx.ops, choice(w.plain[1], {"turnovers", "clearing", "parameters", "stock"}), w.plain[2],
                        w.plain[3]);
  else ok = printPeriodicReport(ctx.ops, periodicOf(w));
  return operationStatus(ctx, ok);
}

void checkCashArgs(const CommandArgs& w) {
  try {
    cashAmountText(w.plain[1]);
  } catch (const std::invalid_argument& e) {
    throw UsageError("cash: '" + w.plain[1] + "' is no amount the device takes (" + e.what() + ")");
  }
}

int runCash(PageCommandContext& ctx) {
  const CommandArgs& w = ctx.args;
  TCashSums sums;
  const bool ok = cashInOut(ctx.ops, w.plain[0] == "out", w.plain[1], sums);
  if (ok) {
    if (ctx.json)
      ctx.out << JsonObject().add("cashInSafe", sums.inSafe).add("inputs", sums.inputs).add("outputs", sums.outputs).text()
              << '\n';
    else
      ctx.out << "cashInSafe=" << sums.inSafe << "\ninputs=" << sums.inputs << "\noutputs=" << sums.outputs << '\n';
  }
  return operationStatus(ctx, ok);
}

namespace {

void checkReceipt(const CommandArgs& w) {
  if (choice(w.valueOr("--tax-group", "A"), {"A", "E", "J", "K", "M"}) < 0)
    throw UsageError("--tax-group is one of A, E, J, K, M");
  if (choice(w.valueOr("--payment", "cash"), {"cash", "card", "cheque", "virman"}) < 0)
    throw UsageError("--payment is one of cash, card, cheque, virman");
  passwordFrom(w.value("--password-file"), OPERATOR_PASSWORD_VARIABLE);
}

}  // namespace

void checkReceiptArgs(const CommandArgs& args) { checkReceipt(args); }

int runReceipt(PageCommandContext& ctx) {
  const CommandArgs& w = ctx.args;
  if (w.plain[0] == "close") {
    const TCloseReceipts r = closeReceipts(ctx.ops);
    const int64_t voids = r.outcome.answered;
    if (ctx.json)
      ctx.out << JsonObject().add("ok", r.ok()).add("state", r.state).add("voids", voids).add("boundReached", r.boundReached).text()
              << '\n';
    else
      ctx.out << "state=" << r.state << "\nvoids=" << voids << '\n';
    // A refused step has said its error already.
    if (r.outcome.end == TLoopEnd::Failed && !r.boundReached) return operationStatus(ctx, false);
    return loopStatus(ctx, "receipt close", r.outcome, RECEIPT_VOIDS);
  }
  // The model's default operator password unless one is given.
  if (!identifyModel(ctx)) return operationStatus(ctx, false);
  TTestReceipt r;
  r.operPassword = passwordFrom(w.value("--password-file"), OPERATOR_PASSWORD_VARIABLE);
  if (r.operPassword.empty()) {
    const TModelRow* row = modelRowOf(ctx.ops.ecrModel);
    r.operPassword = row ? row->testOperatorPassword : REGISTER_DEFAULT_OPERATOR_PASSWORD;
  }
  r.plu = w.valueOr("--plu", r.plu);
  r.price = w.valueOr("--price", r.price);
  r.itemName = w.valueOr("--name", r.itemName);
  r.taxGroup = choice(w.valueOr("--tax-group", "A"), {"A", "E", "J", "K", "M"});
  r.paymentType = choice(w.valueOr("--payment", "cash"), {"cash", "card", "cheque", "virman"});
  r.correction = w.valueOr("--correction", r.correction);
  r.iosa = w.valueOr("--iosa", r.iosa);
  r.oper = w.valueOr("--operator", r.oper);
  r.receiptNumber = w.valueOr("--receipt-number", r.receiptNumber);
  std::string focus;
  bool ok = false;
  if (w.plain[0] == "test") ok = (!w.has("--add-item") || programTestItem(ctx.ops, r)) && testFiscalReceipt(ctx.ops, r, focus);
  else ok = testReclamationReceipt(ctx.ops, r, focus);
  return operationStatus(ctx, ok);
}

int runRestart(PageCommandContext& ctx) { return operationStatus(ctx, restartDevice(ctx.ops)); }

}  // namespace kestrel::cli
