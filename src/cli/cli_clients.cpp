// kestrel clients read|write|delete: the Clients page's operations on the command line.
// The same reads, saves, deletes and CSV file as the window; Ctrl-C ends a loop between
// two clients and the tool says how far it got.
#include <algorithm>
#include <ostream>
#include <set>

#include "app/logic/mem_table.h"
#include "app/logic/page_table.h"
#include "app/logic/pages/clients.h"
#include "app/logic/text_file.h"
#include "cli/cli_args.h"
#include "cli/cli_pages.h"
#include "cli/device_session.h"
#include "cli/json_out.h"
#include "engine/fiscal_device.h"
#include "support/err_container.h"

namespace kestrel::cli {

namespace {

int clientNumberArg(const std::string& text) {
  int n = 0;
  const auto end = std::find_if_not(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (text.empty() || end != text.end() || text.size() > 4 || (n = std::stoi(text)) < 1 || n > MAX_CLIENTS)
    throw UsageError("clients: '" + text + "' is not a client number (1 to 1000)");
  return n;
}

std::vector<int> clientNumbersArgs(const std::vector<std::string>& words) {
  std::vector<int> numbers;
  for (const std::string& w : words) numbers.push_back(clientNumberArg(w));
  return numbers;
}

// The client numbers of write --selected or of delete.
std::vector<int> chosenClients(const CommandArgs& args) {
  if (args[0] == "write") return clientNumbersArgs(args.all("--selected"));
  return clientNumbersArgs(std::vector<std::string>(args.plain.begin() + 1, args.plain.end()));
}

// The printer group keeps no clients (the window shows the blank page for it).
bool registerModel(PageCommandContext& ctx) {
  if (!identifyModel(ctx)) return false;
  if (!isPrinterGroup(ctx.ops.ecrModel)) return true;
  ctx.err << "kestrel: clients: a printer of this model keeps no clients\n";
  return false;
}

// The closing message of a loop that did not do all it was asked, on one line.
void closing(PageCommandContext& ctx, const char* verb, const TLoopOutcome& r, const TLoopWords& words,
             const std::string& after) {
  std::string text = r.closingMessage(words, " ");
  if (text.empty()) text = r.cause;
  ctx.err << "kestrel: clients " << verb << ": " << text << after << '\n';
}

void printClients(PageCommandContext& ctx, const TMemTable& table) {
  static const char* const FIELDS[] = {"ID", "Client", "Client_2", "TAXN", "Address1", "Address2"};
  if (ctx.json) {
    static const char* const KEYS[] = {"number", "client", "client_2", "tax_number", "address1", "address2"};
    std::string array = "[";
    for (int row = 0; row < table.RecordCount(); ++row) {
      JsonObject o;
      o.add(KEYS[0], static_cast<int64_t>(clientNumberOf(table, row)));
      for (int f = 1; f < 6; ++f) o.add(KEYS[f], table.value(row, FIELDS[f]));
      array += (row ? "," : "") + o.text();
    }
    ctx.out << JsonObject().addRaw("clients", array + "]").text() << '\n';
    return;
  }
  // One client a line, fields separated by TAB, under the file's titles.
  ctx.out << "Number\tClient name - first\tClient name - second\tTAX Number\tAddress 1\tAddress 2\n";
  for (int row = 0; row < table.RecordCount(); ++row) {
    std::string line;
    for (const char* f : FIELDS) line += (line.empty() ? "" : "\t") + table.value(row, f);
    ctx.out << line << '\n';
  }
}

int runRead(PageCommandContext& ctx) {
  TMemTable table(CLIENTS_TABLE_NAME);
  prepareClientTable(table);
  const TLoopOutcome r = readClientInfo(ctx.ops, table);
  const auto csv = ctx.args.value("--csv");
  const bool toFile = csv.has_value();
  if (!r.ok()) {
    // A part of the list would pass for all of it: nothing is printed or written.
    closing(ctx, "read", r, CLIENTS_READ,
            " (" + std::to_string(table.RecordCount()) + " read; " +
                (toFile ? *csv + " was not written)" : std::string("nothing was printed)")));
    return 1;
  }
  if (toFile) {
    ctx.host.file = *csv;
    CreateCSV_clients(ctx.ops, table, *csv);
  } else {
    printClients(ctx, table);
  }
  return 0;
}

int runWrite(PageCommandContext& ctx) {
  TMemTable table(CLIENTS_TABLE_NAME);
  prepareClientTable(table);
  // A file that cannot be read or holds a refused value ends here: nothing is sent.
  importFromCsv_clients(ctx.host, table, ctx.args[1]);
  std::vector<int> numbers;
  const bool selected = ctx.args.value("--selected").has_value();
  if (selected) {
    numbers = chosenClients(ctx.args);
    for (int n : numbers)
      if (findClientRow(table, n) < 0) {
        ctx.err << "kestrel: clients write: client " << n << " is not in " << ctx.args[1] << "; nothing was written\n";
        return 1;
      }
  }
  if (!registerModel(ctx)) return operationStatus(ctx, false);
  auto isSelected = [&](int row) {
    return std::find(numbers.begin(), numbers.end(), clientNumberOf(table, row)) != numbers.end();
  };
  warnCodePage(ctx, table, [&](int row) { return "client " + std::to_string(clientNumberOf(table, row)); },
               selected ? std::function<bool(int)>(isSelected) : nullptr);
  const TLoopOutcome r = selected ? saveSelectedClients(ctx.ops, table, numbers) : SaveAllClientInfo(ctx.ops, table);
  if (!r.ok()) closing(ctx, "write", r, CLIENTS_SAVE, " (" + std::to_string(r.answered) + " written)");
  return operationStatus(ctx, r.ok());
}

int runDelete(PageCommandContext& ctx) {
  if (!registerModel(ctx)) return operationStatus(ctx, false);
  TMemTable table(CLIENTS_TABLE_NAME);
  prepareClientTable(table);
  if (ctx.args.has("--all")) return operationStatus(ctx, DellAllClients(ctx.ops, table, true));
  // The numbers as rows: each deleted one leaves the table, so what stays was not deleted.
  const std::vector<int> numbers = chosenClients(ctx.args);
  for (int n : numbers) table.setValue(appendClientRow(table), "ID", std::to_string(n));
  const TLoopOutcome r = delSelectedClients(ctx.ops, table, numbers);
  if (!r.ok()) closing(ctx, "delete", r, CLIENTS_DELETE, " (" + std::to_string(r.answered) + " deleted)");
  return operationStatus(ctx, r.ok());
}

}  // namespace

void checkClientsArgs(const CommandArgs& args) {
  const std::string& verb = args[0];
  if (verb == "read") {
    if (const auto csv = args.value("--csv")) checkOutputFile(*csv);
  } else if (verb == "write") {
    checkInputFile(args[1], CLIENTS_CSV_INPUT);
    chosenClients(args);
  } else if (args.has("--all") == (args.size() > 1)) {
    throw UsageError("clients delete: give --all or client numbers");
  } else {
    chosenClients(args);
  }
}

int runClients(PageCommandContext& ctx) {
  if (ctx.json && ctx.args.value("--csv")) {
    ctx.err << "kestrel: clients read: give --csv FILE or --json, not both\n";
    return 2;
  }
  if (ctx.args[0] == "write") return runWrite(ctx);
  if (ctx.args[0] == "delete") return runDelete(ctx);
  if (!registerModel(ctx)) return operationStatus(ctx, false);
  return runRead(ctx);
}

}  // namespace kestrel::cli
