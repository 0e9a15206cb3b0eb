// kestrel fiscal, service and terminal: the Fiscalization, Service info and Terminal
// operations pages on the command line. The service password comes from the
// environment (KESTREL_SERVICE_PASSWORD), never from the command line.
#include <algorithm>
#include <cstdlib>
#include <ostream>
#include <utility>

#include "app/logic/page_table.h"
#include "app/logic/pages/cliche.h"
#include "app/logic/pages/fiscalization.h"
#include "app/logic/pages/service_info.h"
#include "app/logic/pages/terminal.h"
#include "cli/cli_args.h"
#include "cli/cli_pages.h"
#include "cli/json_out.h"

namespace kestrel::cli {

namespace {

constexpr const char* FISCAL_USAGE =
    "usage: fiscal serial SERIAL FM --yes | fiscal tax JIB PIB --yes | fiscal iosa IOSA --yes | "
    "fiscal fiscalize --yes | fiscal receipt-option on|off";
constexpr const char* SERVICE_USAGE =
    "usage: service get | service set DD.MM.YYYY [LINE...] | service on | service off | "
    "service operation \"DD-MM-YY HH:MM:SS\" \"DD-MM-YY HH:MM:SS\" TYPE | service certificates";
constexpr const char* TERMINAL_USAGE = "usage: terminal read | terminal reset | terminal new-command-file | terminal force";
constexpr const char* PASSWORD_VARIABLE = "KESTREL_SERVICE_PASSWORD";

std::string servicePassword() {
  const char* p = std::getenv(PASSWORD_VARIABLE);
  return p ? p : "";
}

void needPassword(const std::string& what) {
  if (servicePassword().empty())
    throw UsageError(what + ": the service password is taken from the environment variable " +
                     std::string(PASSWORD_VARIABLE));
}

bool is(const std::vector<std::string>& args, const char* word, size_t count) {
  return args.size() == count && args[0] == word;
}

// Irreversible steps run only when the command line says so: the questions of the
// window are answered by --yes.
void needYes(const std::vector<std::string>& args, const char* what) {
  if (args.back() != "--yes") throw UsageError(std::string("fiscal ") + what + " cannot be undone; add --yes");
}

LocalDateTime serviceDateArg(const std::string& text) {
  int d = 0, m = 0, y = 0;
  char tail = 0;
  LocalDateTime dt;
  if (std::sscanf(text.c_str(), "%2d.%2d.%4d%c", &d, &m, &y, &tail) == 3) dt = {y, m, d, 0, 0, 0, 0};
  if (!dt.isValid() || y < 2000 || y > 2099) throw UsageError("service set: '" + text + "' is no date DD.MM.YYYY");
  return dt;
}

LocalDateTime momentArg(const std::string& text) {
  try {
    const LocalDateTime dt = deviceDateTimeOf(text);
    deviceDateTimeText(dt);
    return dt;
  } catch (const std::exception& e) {
    throw UsageError(std::string("service operation: ") + e.what());
  }
}

int withFocus(PageCommandContext& ctx, bool ok, const std::string& focus) {
  if (!focus.empty()) ctx.err << "kestrel: the value of " << focus << " is not accepted\n";
  return operationStatus(ctx, ok);
}

}  // namespace

void checkFiscalArgs(const std::vector<std::string>& args) {
  // The step's words with --yes, or without it (then told to add it).
  static const std::pair<const char*, size_t> steps[] = {{"serial", 4}, {"tax", 4}, {"iosa", 3}, {"fiscalize", 2}};
  for (const auto& [word, count] : steps)
    if (is(args, word, count) || is(args, word, count - 1)) return needYes(args, word);
  if (is(args, "receipt-option", 2) && (args[1] == "on" || args[1] == "off")) return;
  throw UsageError(FISCAL_USAGE);
}

int runFiscal(PageCommandContext& ctx) {
  const auto& a = ctx.args;
  TPageValues v;
  std::string focus;
  if (a[0] == "serial") {
    v = {{FISC_SERIAL, a[1]}, {FISC_FM_NUMBER, a[2]}};
    return withFocus(ctx, saveSerialAndFM(ctx.ops, v, focus), focus);
  }
  if (a[0] == "tax") {
    v = {{FISC_JIB, a[1]}, {FISC_PIB, a[2]}};
    return withFocus(ctx, saveTaxNumbers(ctx.ops, v, focus), focus);
  }
  if (a[0] == "iosa") return operationStatus(ctx, saveIOSA(ctx.ops, {{FISC_IOSA, a[1]}}));
  if (a[0] == "fiscalize") {
    // The numbers the device holds are the ones it is fiscalized with.
    if (!readFiscTab(ctx.ops, v)) return operationStatus(ctx, false);
    return withFocus(ctx, fiscalize(ctx.ops, v, focus), focus);
  }
  return operationStatus(ctx, writeIssueReceipt(ctx.ops, a[1] == "on"));
}

void checkServiceArgs(const std::vector<std::string>& args) {
  if (is(args, "get", 1) || is(args, "off", 1) || is(args, "certificates", 1)) return;
  if (is(args, "on", 1)) return needPassword("service on");
  if (!args.empty() && args[0] == "set" && args.size() >= 2 && args.size() <= 2 + SERVICE_TEXT_LINES) {
    serviceDateArg(args[1]);
    return needPassword("service set");
  }
  if (is(args, "operation", 4)) {
    momentArg(args[1]);
    momentArg(args[2]);
    if (args[3].size() != 1 || std::string(SERVICE_OP_TYPES).find(args[3][0]) == std::string::npos)
      throw UsageError("service operation: TYPE is one of " + std::string(SERVICE_OP_TYPES));
    return;
  }
  throw UsageError(SERVICE_USAGE);
}

int runService(PageCommandContext& ctx) {
  const auto& a = ctx.args;
  if (a[0] == "get") {
    TServiceRead r;
    const bool ok = readServiceTab(ctx.ops, r);
    if (!ok) return operationStatus(ctx, false);
    if (ctx.json) {
      ctx.out << JsonObject().add("date", formatDate(*r.date)).add("lines", *r.lines).text() << '\n';
    } else {
      ctx.out << "date=" << formatDate(*r.date) << '\n';
      for (size_t i = 0; i < r.lines->size(); ++i) ctx.out << "line" << i + 1 << '=' << (*r.lines)[i] << '\n';
    }
    return operationStatus(ctx, true);
  }
  if (a[0] == "set") {
    std::string focus;
    const std::vector<std::string> lines(a.begin() + 2, a.end());
    return withFocus(ctx, saveService(ctx.ops, servicePassword(), lines, serviceDateArg(a[1]), focus), focus);
  }
  if (a[0] == "on") {
    std::string focus;
    return operationStatus(ctx, activateServiceMode(ctx.ops, servicePassword(), focus));
  }
  if (a[0] == "off") return operationStatus(ctx, deactivateServiceMode(ctx.ops));
  if (a[0] == "operation")
    return operationStatus(ctx, setServiceOperation(ctx.ops, momentArg(a[1]), momentArg(a[2]), a[3][0]));
  const TCertificateResult r = checkCertificates(ctx.ops);
  if (r.label.empty()) return operationStatus(ctx, false);
  if (ctx.json) ctx.out << JsonObject().add("valid", r.valid).add("message", r.label).text() << '\n';
  else ctx.out << r.label << '\n';
  // A check that ran to its end succeeded, also when the device's certificates are not the maker's.
  return r.valid ? 0 : 1;
}

void checkTerminalArgs(const std::vector<std::string>& args) {
  static const char* const words[] = {"read", "reset", "new-command-file", "force"};
  if (args.size() != 1 || std::none_of(std::begin(words), std::end(words), [&](const char* w) { return args[0] == w; }))
    throw UsageError(TERMINAL_USAGE);
  needPassword("terminal " + args[0]);
}

int runTerminal(PageCommandContext& ctx) {
  const std::string& what = ctx.args[0];
  std::string focus;
  if (what != "read") {
    const char* function = what == "reset" ? TERMINAL_RESET : what == "force" ? TERMINAL_FORCE_COMMAND
                                                                               : TERMINAL_NEW_COMMAND_FILE;
    return withFocus(ctx, terminalFunction(ctx.ops, servicePassword(), function, focus), focus);
  }
  TTerminalData d;
  const bool ok = readTerminalData(ctx.ops, servicePassword(), d, focus);
  std::string file = d.commandFile.value_or("");
  for (size_t at; (at = file.find("\r\n")) != std::string::npos;) file.replace(at, 2, "\n");
  if (ctx.json) {
    ctx.out << JsonObject().add("info", d.info).add("commandFile", file).text() << '\n';
  } else {
    for (const auto& l : d.info) ctx.out << l << '\n';
    if (!file.empty()) ctx.out << "Last downloaded command file:\n" << file << '\n';
  }
  return withFocus(ctx, ok, focus);
}

}  // namespace kestrel::cli
