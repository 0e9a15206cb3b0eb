// kestrel items: the Items page on the command line. read, write, delete and qty run the
// page's own loops; csv-check reads a file as the import does, without a device.
#include <optional>
#include <ostream>

#include "app/logic/mem_table.h"
#include "app/logic/pages/items.h"
#include "app/logic/pages/items_csv.h"
#include "app/logic/text_file.h"
#include "cli/cli_args.h"
#include "cli/cli_pages.h"
#include "cli/json_out.h"

namespace kestrel::cli {

namespace {

struct ItemsArgs {
  std::string verb, file;
  std::optional<int64_t> from, to;
  bool all = false;
  std::vector<int64_t> plus;
  std::string change;
};

int64_t pluArg(const std::string& text, const char* what) {
  int64_t v = 0;
  try {
    v = rangeNumber(text);
  } catch (const std::exception&) {
    v = 0;
  }
  if (v < 1 || v > MAX_PROGRAMMABLE_PLU)
    throw UsageError(std::string("items: ") + what + " '" + text + "' is not a PLU number from 1 to 100000");
  return v;
}

// The typed values of the declared words; throws UsageError for a value out of its range.
ItemsArgs itemsArgsOf(const CommandArgs& args) {
  ItemsArgs a;
  a.verb = args[0];
  if (const auto v = args.value("--from")) a.from = pluArg(*v, "--from");
  if (const auto v = args.value("--to")) a.to = pluArg(*v, "--to");
  a.all = args.has("--all");
  const bool range = a.from || a.to;
  if (a.verb == "read") {
    a.file = args.valueOr("--csv", "");
  } else if (a.verb == "write" || a.verb == "csv-check") {
    if (args[1].empty()) throw UsageError("items " + a.verb + ": FILE.csv is empty");
    if (range && !(a.from && a.to)) throw UsageError("items write: give both --from and --to");
    a.file = args[1];
  } else if (a.verb == "delete") {
    for (size_t i = 1; i < args.size(); ++i) a.plus.push_back(pluArg(args[i], "PLU"));
    const int ways = (a.all ? 1 : 0) + (range ? 1 : 0) + (a.plus.empty() ? 0 : 1);
    if (ways != 1) throw UsageError("items delete: give one of --all, --from N --to M, or PLU numbers");
    if (range && !(a.from && a.to)) throw UsageError("items delete: give both --from and --to");
  } else {
    a.plus.push_back(pluArg(args[1], "PLU"));
    try {
      quantityChange(args[2]);
    } catch (const std::exception& e) {
      throw UsageError("items qty: CHANGE '" + args[2] + "' is not a quantity the device takes, such as 2.5 or -1 (" +
                       e.what() + ")");
    }
    a.change = args[2];
  }
  if (a.from && a.to && *a.to < *a.from) throw UsageError("items: --to is below --from");
  return a;
}

// The table as lines: tab-separated cells under the grid's titles, or one JSON object.
void printItems(PageCommandContext& ctx, const TMemTable& t) {
  if (ctx.json) {
    ctx.out << JsonObject().add("count", t.RecordCount()).addRaw("items", tableRowsJson(t)).text() << '\n';
    return;
  }
  for (int f = 0; f < t.fieldCount(); ++f) ctx.out << (f ? "\t" : "") << t.field(f).title();
  ctx.out << '\n';
  for (int r = 0; r < t.RecordCount(); ++r) {
    for (int f = 0; f < t.fieldCount(); ++f) ctx.out << (f ? "\t" : "") << t.displayText(r, f);
    ctx.out << '\n';
  }
}

// The closing message of a loop that did not do all it was asked; exit status 1.
int notAllDone(PageCommandContext& ctx, const TLoopOutcome& r, const TLoopWords& words, const std::string& after) {
  std::string text = r.closingMessage(words, " ");
  if (text.empty()) text = r.cause.empty() ? std::string("failed") : r.cause;
  ctx.err << "kestrel: items: " << text << (after.empty() ? "" : " " + after) << '\n';
  return 1;
}

int readItems(PageCommandContext& ctx, TItemsOps& items, const ItemsArgs& a) {
  // Without a range, the device names its first and last item.
  const TLoopOutcome r = !a.from && !a.to ? items.readAll()
                                           : items.ReadItems_inRange(a.from.value_or(1), a.to.value_or(MAX_PROGRAMMABLE_PLU));
  // A part of the items would pass for all of them: nothing is printed or written.
  if (!r.ok())
    return notAllDone(ctx, r, ITEMS_READ,
                      "(" + std::to_string(items.table().RecordCount()) + " read; nothing was " +
                          (a.file.empty() ? "printed)" : "written)"));
  if (!a.file.empty()) {
    items.selected.clear();
    return CreateCSV(items, a.file, true, 1, MAX_PROGRAMMABLE_PLU) ? 0 : 1;
  }
  printItems(ctx, items.table());
  return 0;
}

int writeItems(PageCommandContext& ctx, TItemsOps& items, const ItemsArgs& a) {
  if (!importFromCsv(items, a.file)) return 1;
  if (items.table().RecordCount() == 0) {
    ctx.err << "kestrel: items: " << a.file << " holds no items\n";
    return 1;
  }
  const TMemTable& t = items.table();
  const int plu = t.fieldIndex("PLU");
  auto inRange = [&](int row) {
    const auto n = t.number(row, plu);
    return n && *n >= *a.from && *n <= *a.to;
  };
  warnCodePage(ctx, t, [&](int row) { return "PLU " + t.displayText(row, plu); },
               a.from ? std::function<bool(int)>(inRange) : nullptr);
  const TLoopOutcome r = a.from ? items.SaveInRange(*a.from, *a.to) : items.SaveAllInGrid();
  if (!r.ok()) return notAllDone(ctx, r, ITEMS_SAVE, "(" + std::to_string(r.answered) + " written)");
  return operationStatus(ctx, true);
}

int deleteItems(PageCommandContext& ctx, TItemsOps& items, const ItemsArgs& a) {
  if (a.all) return operationStatus(ctx, items.DelAll());
  if (a.from) return operationStatus(ctx, items.deleteRange(*a.from, *a.to));
  const TLoopOutcome r = items.deletePlus(a.plus);
  if (!r.ok()) return notAllDone(ctx, r, ITEMS_DELETE, "(" + std::to_string(r.answered) + " deleted)");
  return operationStatus(ctx, true);
}

int changeQty(PageCommandContext& ctx, TItemsOps& items, const ItemsArgs& a) {
  const int64_t plu = a.plus[0];
  if (!items.readItem(plu)) {
    ctx.err << "kestrel: items: PLU " << plu << " is not in the device\n";
    return 1;
  }
  if (!items.changeQuantity(0, a.change)) return operationStatus(ctx, false);
  const std::string qty = items.table().displayText(0, items.table().fieldIndex("StockQty"));
  if (ctx.json) ctx.out << JsonObject().add("PLU", plu).add("StockQty", qty).text() << '\n';
  else ctx.out << "PLU " << plu << " stock qty " << qty << '\n';
  return operationStatus(ctx, true);
}

int checkCsv(PageCommandContext& ctx, const ItemsArgs& a) {
  TMemTable table("fdmt_Articles");
  prepareArticlesTable(table);
  NullPageHost quiet;
  try {
    TTextLineReader lines(a.file, ITEMS_CSV_INPUT);
    appendItemLines(table, lines, quiet);
  } catch (const std::exception& e) {
    if (ctx.json) ctx.out << JsonObject().add("ok", false).add("items", table.RecordCount()).add("error", e.what()).text() << '\n';
    else ctx.err << "kestrel: items: " << a.file << ": " << e.what() << '\n';
    return 1;
  }
  if (ctx.json) ctx.out << JsonObject().add("ok", true).add("items", table.RecordCount()).text() << '\n';
  else ctx.out << a.file << ": " << table.RecordCount() << " item(s), every line accepted\n";
  return 0;
}

}  // namespace

void checkItemsArgs(const CommandArgs& args) {
  const ItemsArgs a = itemsArgsOf(args);
  if (a.verb == "read" && !a.file.empty()) checkOutputFile(a.file);
  else if (!a.file.empty()) checkInputFile(a.file, ITEMS_CSV_INPUT);
}

int runItems(PageCommandContext& ctx) {
  const ItemsArgs a = itemsArgsOf(ctx.args);
  if (a.verb == "csv-check") return checkCsv(ctx, a);
  TMemTable table("fdmt_Articles");
  prepareArticlesTable(table);
  TItemsOps items(ctx.ops, table, ctx.host);
  if (a.verb == "read") return readItems(ctx, items, a);
  if (a.verb == "write") return writeItems(ctx, items, a);
  if (a.verb == "delete") return deleteItems(ctx, items, a);
  return changeQty(ctx, items, a);
}

}  // namespace kestrel::cli
