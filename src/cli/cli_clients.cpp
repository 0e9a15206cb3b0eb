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

constexpr const char* CLIENTS_USAGE =
    "usage: clients read [--csv FILE | --json] | clients write FILE.csv [--selected ID...] | "
    "clients delete (--all | ID...)";

int clientNumberArg(const std::string& text) {
  int n = 0;
  const auto end = std::find_if_not(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (text.empty() || end != text.end() || text.size() > 4 || (n = std::stoi(text)) < 1 || n > MAX_CLIENTS)
    throw UsageError("clients: '" + text + "' is not a client number (1 to 1000)");
  return n;
}

std::vector<int> clientNumbersArgs(const std::vector<std::string>& args, size_t from) {
  std::vector<int> numbers;
  for (size_t i = from; i < args.size(); ++i) numbers.push_back(clientNumberArg(args[i]));
  return numbers;
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
  const bool toFile = ctx.args.size() > 1 && ctx.args[1] == "--csv";
  if (!r.ok()) {
    // A part of the list would pass for all of it: nothing is printed or written.
    closing(ctx, "read", r, CLIENTS_READ,
            " (" + std::to_string(table.RecordCount()) + " read; " +
                (toFile ? ctx.args[2] + " was not written)" : std::string("nothing was printed)")));
    return 1;
  }
  if (toFile) {
    ctx.host.file = ctx.args[2];
    CreateCSV_clients(ctx.ops, table, ctx.args[2]);
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
  const bool selected = ctx.args.size() > 2;
  if (selected) {
    numbers = clientNumbersArgs(ctx.args, 3);
    for (int n : numbers)
      if (findClientRow(table, n) < 0) {
        ctx.err << "kestrel: clients write: client " << n << " is not in " << ctx.args[1] << "; nothing was written\n";
        return 1;
      }
  }
  if (!registerModel(ctx)) return operationStatus(ctx, false);
  const TLoopOutcome r = selected ? saveSelectedClients(ctx.ops, table, numbers) : SaveAllClientInfo(ctx.ops, table);
  if (!r.ok()) closing(ctx, "write", r, CLIENTS_SAVE, " (" + std::to_string(r.answered) + " written)");
  return operationStatus(ctx, r.ok());
}

int runDelete(PageCommandContext& ctx) {
  if (!registerModel(ctx)) return operationStatus(ctx, false);
  TMemTable table(CLIENTS_TABLE_NAME);
  prepareClientTable(table);
  if (ctx.args[1] == "--all") return operationStatus(ctx, DellAllClients(ctx.ops, table, true));
  // The numbers as rows: each deleted one leaves the table, so what stays was not deleted.
  const std::vector<int> numbers = clientNumbersArgs(ctx.args, 1);
  for (int n : numbers) table.setValue(appendClientRow(table), "ID", std::to_string(n));
  const TLoopOutcome r = delSelectedClients(ctx.ops, table, numbers);
  if (!r.ok()) closing(ctx, "delete", r, CLIENTS_DELETE, " (" + std::to_string(r.answered) + " deleted)");
  return operationStatus(ctx, r.ok());
}

}  // namespace

void checkClientsArgs(const std::vector<std::string>& args) {
  if (args.empty()) throw UsageError(CLIENTS_USAGE);
  const std::string& verb = args[0];
  if (verb == "read") {
    const bool csv = args.size() == 3 && args[1] == "--csv" && !args[2].empty();
    const bool json = args.size() == 2 && args[1] == "--json";
    if (csv) checkOutputFile(args[2]);
    if (args.size() == 1 || csv || json) return;
  } else if (verb == "write") {
    if (args.size() >= 2 && !args[1].empty() && args[1] != "--selected") {
      checkInputFile(args[1], CLIENTS_CSV_INPUT);
      if (args.size() == 2) return;
      if (args[2] == "--selected" && args.size() > 3) {
        clientNumbersArgs(args, 3);
        return;
      }
    }
  } else if (verb == "delete") {
    if (args.size() == 2 && args[1] == "--all") return;
    if (args.size() >= 2) {
      clientNumbersArgs(args, 1);
      return;
    }
  }
  throw UsageError(CLIENTS_USAGE);
}

int runClients(PageCommandContext& ctx) {
  if (ctx.json && ctx.args.size() > 1 && ctx.args[1] == "--csv") {
    ctx.err << "kestrel: clients read: give --csv FILE or --json, not both\n";
    return 2;
  }
  if (ctx.args[0] == "write") return runWrite(ctx);
  if (ctx.args[0] == "delete") return runDelete(ctx);
  if (!registerModel(ctx)) return operationStatus(ctx, false);
  return runRead(ctx);
}

}  // namespace kestrel::cli
