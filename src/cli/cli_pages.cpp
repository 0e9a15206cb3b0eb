#include "cli/cli_pages.h"

#include <csignal>
#include <ostream>
#include <stdexcept>

#include "app/logic/code_page_check.h"
#include "app/logic/config_pages.h"
#include "app/logic/model_table.h"
#include "app/logic/pages/service_info.h"
#include "cli/cli_args.h"
#include "cli/cli_health.h"
#include "cli/device_session.h"
#include "cli/json_out.h"
#include "engine/fiscal_device.h"
#include "support/console.h"
#include "support/files.h"

namespace kestrel::cli {

void checkOutputFile(const std::string& path) {
  if (path != STDOUT_NAME) outputTarget(path);
}

CliPageHost::CliPageHost(std::ostream& err) : fErr(err), fTerminal(isTerminal(StdStream::Err)) {}

void CliPageHost::set_StatusText(const std::string& text) {
  for (const auto& prefix : progressTexts)
    if (text.rfind(prefix, 0) == 0) return;
  if (!text.empty()) fErr << "kestrel: " << text << '\n';
}

std::string CliPageHost::openFileName(const std::string&, const std::string&) { return file; }

std::string CliPageHost::saveFileName(const std::string&, const std::string&, const std::string&) { return file; }

void CliPageHost::progressShow(int minimum, int maximum) {
  fMin = minimum;
  fMax = maximum;
  fLastPercent = -1;
}

void CliPageHost::progressSet(int position) {
  if (!fTerminal || fMax <= fMin) return;
  const int percent = static_cast<int>(100LL * (position - fMin) / (fMax - fMin));
  if (percent == fLastPercent) return;
  fLastPercent = percent;
  fErr << "\r" << position << " / " << fMax << " (" << percent << " %)" << std::flush;
}

void CliPageHost::progressHide() {
  if (fTerminal && fLastPercent >= 0) fErr << '\n';
  fLastPercent = -1;
}

namespace {

volatile std::sig_atomic_t gInterrupted = 0;

void onInterrupt(int) { gInterrupted = 1; }


}  // namespace

bool CliPageHost::stopRequested() { return gInterrupted != 0; }

namespace {

constexpr const char* PASSWORD_HELP =
    "a file whose first line is the service password, readable by its owner only (else KESTREL_SERVICE_PASSWORD); "
    "never give the password on the command line";
constexpr const char* YES_HELP = "this step cannot be undone: run it without asking (needed without a terminal)";
constexpr const char* FLEET_YES_HELP =
    "with --hosts: run on every device without the question (needed without a terminal)";
constexpr const char* DT_HELP = "\"DD-MM-YY HH:MM:SS\"";

const OptionDecl PASSWORD_FILE{"--password-file", "FILE", PASSWORD_HELP, ARG_INPUT};
const OptionDecl YES{"--yes", nullptr, YES_HELP};
const OptionDecl FLEET_YES{"--yes", nullptr, FLEET_YES_HELP};

VerbDecl plain(const char* help) { return {"", help, {}, {}}; }

// A test receipt's own options, then those both test receipts take.
std::vector<OptionDecl> receiptOptions(std::vector<OptionDecl> own) {
  own.insert(own.end(), {{"--payment", "cash|card|cheque|virman", "the payment"},
                         {"--correction", "PERCENT", "a correction"},
                         {"--iosa", "N", "the IOSA"},
                         {"--operator", "N", "the operator"},
                         {"--password-file", "FILE", "the operator password's file", ARG_INPUT}});
  return own;
}

}  // namespace

const std::vector<CommandDecl>& commandDecls() {
  static const std::vector<CommandDecl> commands = {
      {"info", "the diagnostic read (command 90): model, serial and FM numbers, firmware", CommandKind::Info,
       {plain("the diagnostic read (command 90)")}},
      {"status", "the status bytes (command 74) and every set bit with its meaning", CommandKind::Status,
       {plain("the status bytes (command 74) and every set bit with its meaning")}},
      {"cmd", "one command: its answer's fields, one a line", CommandKind::Cmd,
       {{"", "one command with the data as typed; special symbols such as [tab] are resolved",
         {{"NUMBER", 1, 1, "the command number, 0 to 65535"}, {"DATA", 0, 1, "the command's data"}},
         {}}}},
      {"param", "a named device parameter (command 255)", CommandKind::ParamGet,
       {{"get", "prints the parameter's value",
         {{"NAME", 1, 1, "the parameter's name"}, {"INDEX", 0, 1, "its index, counted from 0, when it has several"}},
         {}},
        {"set", "writes the parameter",
         {{"NAME", 1, 1, "the parameter's name"},
          {"VALUE", 1, 2, "[INDEX] VALUE: the index counted from 0 when it has several, then the value"}},
         {}}}},
      {"config", "the setup pages' values as PAGE.NAME=VALUE", CommandKind::Page,
       {{"get", "the values of the pages named (all when none)", {{"PAGE", 0, -1, "a page: vat, parameters, ..."}}, {}},
        {"set", "writes the values of one page; its other values stay as the device has them",
         {{"VALUES", 1, -1, "PAGE.NAME=VALUE ...: the values to write"}},
         {}}},
       checkConfigArgs, runConfig},
      {"date", "the device's date and time", CommandKind::Page,
       {{"get", "prints the device's date and time", {}, {}},
        {"set", "sets the device's clock",
         {{"MOMENT", 0, 1, "\"DD.MM.YYYY HH:MM:SS\" (as date get prints it) or \"DD-MM-YY HH:MM:SS\""}},
         {{"--now", nullptr, "this computer's clock"}}}},
       checkDateArgs, runDate},
      {"header", "the header and footer lines as a text file", CommandKind::Page,
       {{"export", "writes the device's header and footer lines into FILE",
         {{"FILE", 1, 1, "the text file (\"-\": standard output)", ARG_OUTPUT}},
         {}},
        {"import", "writes FILE's lines (at most 20) to the device", {{"FILE", 1, 1, "the text file", ARG_INPUT}}, {}}},
       checkHeaderArgs, runHeader},
      {"logo", "sends a BMP logo to the device", CommandKind::Page,
       {{"", "sends a BMP logo to the device", {{"FILE.bmp", 1, 1, "the logo", ARG_INPUT}}, {}}}, checkLogoArgs, runLogo},
      {"service", "the Service info page: service dates and lines, service mode, RAM reset, service operations",
       CommandKind::Page,
       {{"get", "the service date and lines", {}, {}},
        {"set", "writes the service date and lines",
         {{"DATE", 1, 1, "DD.MM.YYYY"}, {"LINE", 0, SERVICE_TEXT_LINES, "the service lines"}},
         {PASSWORD_FILE}},
        {"mode", "service mode on or off", {{"STATE", 1, 1, "on or off"}}, {PASSWORD_FILE}},
        {"ram-reset", "the RAM reset of TYPE; cannot be undone", {{"TYPE", 1, 1, "one of the letters the device takes"}},
         {PASSWORD_FILE, YES}, VERB_IRREVERSIBLE},
        {"operation", "records a service operation; the device must be in service mode", {},
         {{"--start", "DT", DT_HELP}, {"--end", "DT", DT_HELP}, {"--type", "LETTER", "one of NTBPFOKMI"}}}},
       checkServiceArgs, runService},
      {"fiscal", "the one-time fiscal steps (commands 91, 98, 96, 72); fiscalize uses the numbers the device holds",
       CommandKind::Page,
       {{"get", "the serial, FM, JIB, PIB and IOSA numbers and the fiscal state", {}, {}},
        {"set-serial", "writes the serial and fiscal memory numbers; cannot be undone",
         {{"SERIAL", 1, 1, "the serial number"}, {"FM", 1, 1, "the fiscal memory number"}}, {YES}, VERB_IRREVERSIBLE},
        {"set-tax", "writes the tax numbers; cannot be undone", {{"JIB", 1, 1, "JIB"}, {"PIB", 1, 1, "PIB"}}, {YES},
         VERB_IRREVERSIBLE},
        {"set-iosa", "writes the IOSA number", {{"IOSA", 1, 1, "IOSA"}}, {}},
        {"fiscalize", "fiscalizes the device; cannot be undone", {}, {YES}, VERB_IRREVERSIBLE}},
       checkFiscalArgs, runFiscal},
      {"terminal", "the terminal functions (command 144) in service mode", CommandKind::Page,
       {{"info", "the terminal's state", {}, {PASSWORD_FILE}},
        {"reset", "resets the terminal", {}, {PASSWORD_FILE}},
        {"new-command-file", "asks for a new command file", {}, {PASSWORD_FILE}},
        {"force-send", "sends what the terminal holds", {}, {PASSWORD_FILE}}},
       checkTerminalArgs, runTerminal},
      {"certificates", "the device's certificates", CommandKind::Page,
       {{"check", "checks the device's certificates; exit 1 when they are not valid", {}, {}}},
       checkCertificatesArgs, runCertificates},
      {"table", "a master-data table (departments, groups, operators, ...) as CSV or JSON", CommandKind::Page,
       {{"get", "the table's rows",
         {{"NAME", 1, 1, "the table"}},
         {{"--csv", "FILE", "into the CSV file (\"-\": standard output) instead of printing", ARG_OUTPUT}}},
        {"set", "writes the rows of a CSV file", {{"NAME", 1, 1, "the table"}, {"FILE.csv", 1, 1, "the file", ARG_INPUT}}, {}}},
       checkTableArgs, runTable},
      {"fm-report", "the device prints its fiscal memory over a period or record numbers (command 95)",
       CommandKind::Page,
       {{"", "the fiscal memory report; give --from and --to, or --first and --last",
         {},
         {{"--from", "DT", "the period's start, \"DD-MM-YY HH:MM:SS\" (\" DST\" is added where summer time applies)"},
          {"--to", "DT", "the period's end"},
          {"--first", "N", "the first record number"},
          {"--last", "M", "the last record number"}}}},
       checkFmReportArgs, runFmReport},
      {"ej", "the electronic journal: read, print or validate documents", CommandKind::Page,
       {{"read",
         "the documents of TYPE in the period or number range, line by line to stdout as they arrive, or into a file "
         "(LF, Windows-1250) written only when the whole reading succeeded; Ctrl-C stops",
         {},
         {{"--type", "TYPE", "fiscal, storno, x, z, periodic, all-fiscal, non-fiscal, copy, all, or the codes 0 to 8"},
          {"--from", "DT", DT_HELP},
          {"--to", "DT", DT_HELP},
          {"--first", "N", "the first document number"},
          {"--last", "M", "the last document number"},
          {"-o", "FILE", "the file (\"-\": standard output once the whole reading is there)", ARG_OUTPUT}}},
        {"print",
         "the same documents printed on the device (and shown)",
         {},
         {{"--type", "TYPE", "as for ej read"},
          {"--from", "DT", DT_HELP},
          {"--to", "DT", DT_HELP},
          {"--first", "N", "the first document number"},
          {"--last", "M", "the last document number"}}},
        {"validate", "checks a saved journal document against the hash printed with it; no connection",
         {{"FILE", 1, 1, "the saved document", ARG_INPUT}},
         {},
         VERB_OFFLINE}},
       checkJournalArgs, runJournal},
      {"report", "the device's reports", CommandKind::Page,
       {{"x", "the X report: the report number, the sums and storno sums per VAT group and both totals", {}, {}},
        {"z", "the Z report, the same values; cannot be undone",
         {},
         {{"--delete-items", "FROM-TO", "then deletes the items FROM to TO in service mode"},
          PASSWORD_FILE,
          FLEET_YES},
         VERB_IRREVERSIBLE},
        {"departments", "the departments report", {}, {}},
        {"groups", "the item groups report", {}, {}},
        {"diagnostic", "the diagnostic printout", {}, {}},
        {"operators", "the operators report",
         {{"FROM", 1, 1, "the first operator"}, {"TO", 1, 1, "the last operator"}},
         {{"--clear", nullptr, "clears their registers"}}},
        {"plu", "the items report",
         {{"KIND", 1, 1, "turnovers, clearing, parameters or stock"}, {"FROM", 1, 1, "first PLU"},
          {"TO", 1, 1, "last PLU"}},
         {}},
        {"periodic", "the periodic report",
         {{"KIND", 1, 1, "payments, departments or plu"}},
         {{"--from", "DD.MM.YYYY", "the first day"},
          {"--to", "DD.MM.YYYY", "the last day"},
          {"--by", "code|department|group", "plu only: the order"},
          {"--plu-from", "N", "plu only: the first"},
          {"--plu-to", "M", "plu only: the last"}}}},
       checkReportArgs, runReport},
      {"cash", "cash into or out of the drawer; prints the drawer's three sums", CommandKind::Page,
       {{"in", "cash into the drawer", {{"AMOUNT", 1, 1, "the amount, such as 12.50"}}, {}},
        {"out", "cash out of the drawer", {{"AMOUNT", 1, 1, "the amount, such as 12.50"}}, {}}},
       checkCashArgs, runCash},
      {"receipt", "a test fiscal or reclamation receipt for one item, or closing a receipt left open",
       CommandKind::Page,
       {{"test",
         "a test fiscal receipt; the operator password is the model's default, or the first line of --password-file "
         "FILE or KESTREL_OPERATOR_PASSWORD",
         {},
         receiptOptions({{"--add-item", nullptr, "programs the item first"},
                         {"--plu", "N", "the item"},
                         {"--price", "P", "its price"},
                         {"--name", "TEXT", "its name"},
                         {"--tax-group", "A|E|J|K|M", "its VAT group"}})},
        {"reclamation", "a test reclamation receipt",
         {},
         receiptOptions({{"--receipt-number", "N", "the receipt reclaimed"}, {"--plu", "N", "the item"}})},
        {"close", "closes a receipt left open (voids at most 500 sales, then reports)", {}, {}}},
       checkReceiptArgs, runReceipt},
      {"restart", "restarts the device (command 202)", CommandKind::Page, {plain("restarts the device (command 202)")},
       nullptr, runRestart},
      {"clients", "the device's clients (register models); Ctrl-C ends a loop between two clients (exit 1)",
       CommandKind::Page,
       {{"read", "the clients, walking the numbers to 1000; a table, JSON with --json, or the Clients page's CSV file",
         {},
         {{"--csv", "FILE", "into the CSV file (\"-\": standard output)", ARG_OUTPUT}}},
        {"write", "writes the clients of such a file",
         {{"FILE.csv", 1, 1, "the file", ARG_INPUT}},
         {{"--selected", "ID", "only those client numbers", ARG_MANY}}},
        {"delete", "deletes every client or those numbers",
         {{"ID", 0, -1, "client numbers"}},
         {{"--all", nullptr, "every client (the confirmation on one device)", ARG_IRREVERSIBLE}, FLEET_YES}}},
       checkClientsArgs, runClients},
      {"items", "the items (command 107)", CommandKind::Page,
       {{"read",
         "the items as a table, JSON with --json, or a CSV file; without a range every item from the first to the last",
         {},
         {{"--from", "N", "the first PLU"},
          {"--to", "M", "the last PLU"},
          {"--csv", "FILE", "into the CSV file (\"-\": standard output)", ARG_OUTPUT}}},
        {"write", "the file's items (all, or PLU N to M) written to the device",
         {{"FILE.csv", 1, 1, "the file", ARG_INPUT}},
         {{"--from", "N", "the first PLU"}, {"--to", "M", "the last PLU"}}},
        {"delete", "deletes items: --all, --from N --to M, or PLU numbers",
         {{"PLU", 0, -1, "the items"}},
         {{"--all", nullptr, "every item, without a question on one device", ARG_IRREVERSIBLE},
          {"--from", "N", "the first PLU"},
          {"--to", "M", "the last PLU"},
          FLEET_YES}},
        {"qty", "adds CHANGE (2.5, -1) to the item's stock quantity",
         {{"PLU", 1, 1, "the item"}, {"CHANGE", 1, 1, "the change"}},
         {}},
        {"csv-check", "reads the file as the import does and names the first refused line; no device",
         {{"FILE.csv", 1, 1, "the file", ARG_INPUT}},
         {},
         VERB_OFFLINE}},
       checkItemsArgs, runItems},
      {"backup", "every setup page (date and fiscal numbers aside) and master-data table into one INI file",
       CommandKind::Page,
       {{"", "the backup, readable by its owner only",
         {{"FILE", 1, 1, "the INI file (\"-\": standard output)", ARG_OUTPUT}},
         {{"--with-items", nullptr, "adds the items"}, {"--with-clients", nullptr, "adds the clients"}}}},
       checkBackupArgs, runBackup},
      {"restore", "writes a backup through the pages' saves, only what differs; exit 0 only when all was written",
       CommandKind::Page,
       {{"",
         "access point and server values need the service password, else they are skipped with a note",
         {{"FILE", 1, 1, "the backup", ARG_INPUT}},
         {{"--dry-run", nullptr, "lists the changes and writes nothing"}, PASSWORD_FILE}}},
       checkRestoreArgs, runRestore},
      {"health", "model, numbers, fiscal state, clock difference and the status bits that need attention",
       CommandKind::Page,
       {plain("prints \"OK\" or one line per problem; exit 0 when the health could be read")}, nullptr, runHealth},
      {"ports", "the serial ports present", CommandKind::Ports, {plain("the serial ports present")}},
      {"detect",
       "looks for a device on every serial port (or those given) at every line speed, and on a TCP port",
       CommandKind::Detect,
       {{"",
         "prints port, speed, model and serial number of each device found, and every port that is busy or not "
         "permitted; exit 0 when a device was found; --timeout-ms sets the limit of one attempt (400 when not given)",
         {},
         {{"--port", "PATH", "a serial port to try", ARG_MANY}, {"--tcp-host", "HOST[:PORT]", "a TCP host (port 4999)"}}}}},
      {"sim", "runs the simulator in the foreground (kestrel sim --help: its options)", CommandKind::Sim,
       {plain("the simulator")}},
  };
  return commands;
}

const VerbDecl* verbDecl(const std::string& command, const std::string& verb) {
  for (const CommandDecl& c : commandDecls())
    if (command == c.name)
      for (const VerbDecl& v : c.verbs)
        if (verb == v.verb) return &v;
  return nullptr;
}

void warnCodePage(PageCommandContext& ctx, const TMemTable& table, const std::function<std::string(int row)>& rowName,
                  const std::function<bool(int row)>& sent) {
  const unsigned codePage = ctx.session.engine().dd()->CodePage;
  for (const std::string& line : codePageMissLines(table, codePageMisses(table, codePage, sent), rowName))
    ctx.err << "kestrel: warning: " << line << '\n';
}

bool identifyModel(PageCommandContext& ctx) {
  if (!ctx.ops.command(90, "\t")) return false;
  // Without --identify no diagnostic read has filled the model name; this answer names
  // the device in field 1.
  std::string name = ctx.session.engine().dd()->i90().shNNNNNN;
  if (name.empty() && ctx.ops.fieldCount() > 1) name = ctx.ops.field(1);
  ctx.ops.ecrModel = modelIndexOf(name);
  return true;
}

namespace {

std::string join(const std::vector<std::string>& words) {
  std::string s;
  for (const auto& w : words) s += (s.empty() ? "" : ", ") + w;
  return s;
}

std::vector<std::string> pageNames() {
  std::vector<std::string> names;
  for (const auto& p : configPages()) names.push_back(p.name);
  return names;
}

const TConfigPage& configPageNamed(const std::string& name) {
  const TConfigPage* p = findConfigPage(name);
  if (!p) throw UsageError("config: no page '" + name + "' (pages: " + join(pageNames()) + ")");
  return *p;
}

}  // namespace

int operationStatus(PageCommandContext& ctx, bool succeeded) {
  if (succeeded && ctx.ops.failedVerdicts == 0) return 0;
  if (succeeded) ctx.err << "kestrel: " << ctx.ops.failedVerdicts << " command(s) of the operation failed\n";
  return 1;
}

int loopStatus(PageCommandContext& ctx, const char* what, const std::optional<TLoopOutcome>& r, const TLoopWords& words) {
  if (r && !r->ok()) ctx.err << "kestrel: " << what << ": " << r->closingMessage(words, " ") << '\n';
  return operationStatus(ctx, r && r->ok());
}

void checkConfigArgs(const CommandArgs& args) {
  if (args.empty() || (args[0] != "get" && args[0] != "set"))
    throw UsageError("usage: config get [PAGE...] | config set PAGE.NAME=VALUE...");
  std::string page;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[0] == "get") {
      configPageNamed(args[i]);
      continue;
    }
    const auto eq = args[i].find('=');
    const auto dot = args[i].find('.');
    if (eq == std::string::npos || dot == std::string::npos || dot > eq)
      throw UsageError("config set: '" + args[i] + "' is not PAGE.NAME=VALUE");
    const std::string p = args[i].substr(0, dot);
    configPageNamed(p);
    if (!page.empty() && p != page) throw UsageError("config set: one page at a time ('" + page + "' and '" + p + "')");
    page = p;
  }
}

int runConfig(PageCommandContext& ctx) {
  if (!identifyModel(ctx)) return operationStatus(ctx, false);
  const int model = ctx.ops.ecrModel;
  if (ctx.args[0] == "get") {
    std::vector<std::string> names(ctx.args.plain.begin() + 1, ctx.args.plain.end());
    if (names.empty()) names = pageNames();
    JsonObject all;
    for (const auto& name : names) {
      const TConfigPage& page = configPageNamed(name);
      TPageValues values;
      const bool ok = readWithDeviceValues(page, ctx.ops, values);
      if (!ok) {
        ctx.err << "kestrel: " << name << ": the read stopped at a refused command\n";
        return operationStatus(ctx, false);
      }
      JsonObject o;
      for (const auto& [key, value] : showDeviceValues(page, values, model)) {
        if (ctx.json) o.add(key, value);
        else ctx.out << name << '.' << key << '=' << value << '\n';
      }
      all.addRaw(name, o.text());
    }
    if (ctx.json) ctx.out << all.text() << '\n';
    return 0;
  }

  // set: the page's other values are read first, so the save changes only what was named.
  const std::string pageName = ctx.args[1].substr(0, ctx.args[1].find('.'));
  const TConfigPage& page = configPageNamed(pageName);
  TPageValues values;
  if (!readWithDeviceValues(page, ctx.ops, values)) {
    ctx.err << "kestrel: " << pageName << ": the page could not be read; nothing was written\n";
    return operationStatus(ctx, false);
  }
  for (size_t i = 1; i < ctx.args.size(); ++i) {
    const std::string& a = ctx.args[i];
    const auto dot = a.find('.');
    const auto eq = a.find('=');
    try {
      setDeviceValue(page, values, a.substr(dot + 1, eq - dot - 1), a.substr(eq + 1), model);
    } catch (const std::invalid_argument& e) {
      ctx.err << "kestrel: config set: " << e.what() << "; nothing was written\n";
      return 1;
    }
  }
  return operationStatus(ctx, page.save(ctx.ops, values));
}

int runPageCommand(const Invocation& inv, DeviceSession& session, std::ostream& out, std::ostream& err) {
  if (!inv.declared || !inv.declared->run) return 2;
  CliPageHost host(err);
  TDeviceOps ops(session.engine(), session.misc(), session.errors(), host);
  PageCommandContext ctx{session, ops, host, out, err, inv.json, inv.args};
  // The first Ctrl-C while a page command runs is caught; the second one takes the
  // default way out.
  gInterrupted = 0;
  InterruptScope interrupt(onInterrupt, InterruptScope::Once);
  try {
    return inv.declared->run(ctx);
  } catch (const std::exception& e) {
    err << "kestrel: " << inv.pageCommand << ": " << e.what() << '\n';
    return 1;
  }
}

}  // namespace kestrel::cli
