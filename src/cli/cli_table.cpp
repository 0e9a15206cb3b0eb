// kestrel table get|set: the master-data grids (stock groups, departments, payments,
// operators, keys) on the command line, read and saved with the pages' own operations,
// moved through the same CSV form as the grids.
#include <ostream>

#include "app/logic/mem_table.h"
#include "app/logic/model_table.h"
#include "app/logic/pages/master_data.h"
#include "app/logic/text_file.h"
#include "cli/cli_args.h"
#include "cli/cli_pages.h"
#include "cli/json_out.h"

namespace kestrel::cli {

namespace {


std::string tableNames() {
  std::string s;
  for (const auto& t : masterTables()) s += (s.empty() ? "" : ", ") + std::string(t.cliName);
  return s;
}

const TMasterTable& tableNamed(const std::string& name) {
  const TMasterTable* t = findMasterTable(name);
  if (!t) throw UsageError("table: no table '" + name + "' (tables: " + tableNames() + ")");
  return *t;
}

// The operators' file holds their passwords.
void writeTableFile(const std::string& path, const TMemTable& table) {
  if (table.fieldIndex("NewPass") >= 0) writePrivateTextLines(path, tableCsvLines(table));
  else writeTextLines(path, tableCsvLines(table));
}

}  // namespace

std::string tableRowsJson(const TMemTable& t) {
  std::string rows = "[";
  for (int r = 0; r < t.RecordCount(); ++r) {
    JsonObject o;
    for (int f = 0; f < t.fieldCount(); ++f) o.add(t.field(f).name, t.displayText(r, f));
    rows += (r ? ", " : "") + o.text();
  }
  return rows + "]";
}

void checkTableArgs(const CommandArgs& args) {
  tableNamed(args[1]);
  if (const auto csv = args.value("--csv")) return checkOutputFile(*csv);
  if (args[0] == "set") checkInputFile(args[2], TABLE_CSV_INPUT);
}

int runTable(PageCommandContext& ctx) {
  const TMasterTable& def = tableNamed(ctx.args[1]);
  TMemTable table(def.tableName);
  def.prepare(table);
  if (!identifyModel(ctx)) return operationStatus(ctx, false);

  if (ctx.args[0] == "set") {
    // A file that cannot be read or holds a refused line ends here: nothing is written.
    tableFromCsvLines(table, readTextLines(ctx.args[2], TABLE_CSV_INPUT));
    warnCodePage(ctx, table, [](int row) { return "row " + std::to_string(row + 1); });
    return operationStatus(ctx, def.save(ctx.ops, table));
  }

  const auto csv = ctx.args.value("--csv");
  const TModelRow* model = modelRowOf(ctx.ops.ecrModel);
  if (!def.read(ctx.ops, table, model ? model->MaxProgrammableKeys : 0)) {
    ctx.err << "kestrel: table: " << def.cliName << ": the read stopped at a refused command"
            << (csv ? "; " + *csv + " was not written" : std::string()) << '\n';
    return operationStatus(ctx, false);
  }
  if (csv) writeTableFile(*csv, table);
  else if (ctx.json) ctx.out << JsonObject().addRaw(def.cliName, tableRowsJson(table)).text() << '\n';
  else
    for (const auto& line : tableCsvLines(table)) ctx.out << line << '\n';
  return operationStatus(ctx, true);
}

}  // namespace kestrel::cli
