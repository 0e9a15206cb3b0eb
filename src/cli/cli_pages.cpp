#include "cli/cli_pages.h"

#include <unistd.h>

#include <csignal>
#include <ostream>
#include <stdexcept>

#include "app/logic/config_pages.h"
#include "app/logic/model_table.h"
#include "cli/cli_args.h"
#include "cli/cli_health.h"
#include "cli/device_session.h"
#include "cli/json_out.h"
#include "engine/fiscal_device.h"
#include "support/files.h"

namespace kestrel::cli {

void checkOutputFile(const std::string& path) { outputTarget(path); }

CliPageHost::CliPageHost(std::ostream& err) : fErr(err), fTerminal(isatty(STDERR_FILENO) == 1) {}

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

const std::vector<PageCommand>& pageCommands() {
  static const std::vector<PageCommand> commands = {
      {"config", "config get [PAGE...] | config set PAGE.NAME=VALUE...", checkConfigArgs, runConfig},
      {"date", "date get | date set --now | date set \"DD.MM.YYYY HH:MM:SS\" | date set \"DD-MM-YY HH:MM:SS\"",
       checkDateArgs, runDate},
      {"header", "header export FILE | header import FILE", checkHeaderArgs, runHeader},
      {"logo", "logo FILE.bmp", checkLogoArgs, runLogo},
      {"fiscal", "fiscal get | set-serial SERIAL FM | set-tax JIB PIB | set-iosa IOSA | fiscalize", checkFiscalArgs,
       runFiscal},
      {"service", "service get | set DD.MM.YYYY [LINE...] | mode on|off | ram-reset TYPE | operation ...",
       checkServiceArgs, runService},
      {"terminal", "terminal info | reset | new-command-file | force-send", checkTerminalArgs, runTerminal},
      {"certificates", "certificates check", checkCertificatesArgs, runCertificates},
      {"table", "table get NAME [--csv FILE | --json] | table set NAME FILE.csv", checkTableArgs, runTable},
      {"fm-report", "fm-report (--from DT --to DT | --first N --last M)", checkFmReportArgs, runFmReport},
      {"ej", "ej read|print --type TYPE (--from DT --to DT | --first N --last M) [-o FILE] | ej validate FILE",
       checkJournalArgs, runJournal, journalOffline},
      {"report", "report x|z|departments|groups|diagnostic | operators FROM TO | plu KIND FROM TO | periodic ...",
       checkReportArgs, runReport},
      {"cash", "cash in|out AMOUNT", checkCashArgs, runCash},
      {"receipt", "receipt test|reclamation|close", checkReceiptArgs, runReceipt},
      {"restart", "restart", checkRestartArgs, runRestart},
      {"clients", "clients read [--csv FILE | --json] | write FILE.csv [--selected ID...] | delete (--all | ID...)",
       checkClientsArgs, runClients},
      {"items", "items read|write|delete|qty|csv-check ...", checkItemsArgs, runItems, itemsOffline},
      {"backup", "backup FILE [--with-items] [--with-clients]", checkBackupArgs, runBackup},
      {"restore", "restore FILE [--dry-run] [--password-file FILE]", checkRestoreArgs, runRestore},
      {"health", "health", checkHealthArgs, runHealth},
  };
  return commands;
}

const PageCommand* findPageCommand(const std::string& name) {
  for (const auto& c : pageCommands())
    if (name == c.name) return &c;
  return nullptr;
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

void checkConfigArgs(const std::vector<std::string>& args) {
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
  if (args[0] == "set" && args.size() < 2) throw UsageError("usage: config set PAGE.NAME=VALUE...");
}

int runConfig(PageCommandContext& ctx) {
  if (!identifyModel(ctx)) return operationStatus(ctx, false);
  const int model = ctx.ops.ecrModel;
  if (ctx.args[0] == "get") {
    std::vector<std::string> names(ctx.args.begin() + 1, ctx.args.end());
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
  const PageCommand* command = findPageCommand(inv.pageCommand);
  if (!command) return 2;
  CliPageHost host(err);
  TDeviceOps ops(session.engine(), session.misc(), session.errors(), host);
  PageCommandContext ctx{session, ops, host, out, err, inv.json, inv.pageArgs};
  // The first Ctrl-C while a page command runs is caught; the handler resets itself, so
  // the second one takes the default way out.
  gInterrupted = 0;
  SigintScope interrupt(onInterrupt, SA_RESETHAND | SA_RESTART);
  try {
    return command->run(ctx);
  } catch (const std::exception& e) {
    err << "kestrel: " << inv.pageCommand << ": " << e.what() << '\n';
    return 1;
  }
}

}  // namespace kestrel::cli
