// kestrel service, fiscal, terminal and certificates: the Service info, Fiscalization
// and Terminal operations pages on the command line. The service password comes from a
// private file (--password-file) or the environment (KESTREL_SERVICE_PASSWORD), never
// from the command line. The steps that cannot be undone ask on a terminal and need
// --yes elsewhere.
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <optional>
#include <ostream>

#include "app/logic/config_pages.h"
#include "app/logic/device_ops.h"
#include "app/logic/page_table.h"
#include "app/logic/pages/cliche.h"
#include "app/logic/pages/fiscalization.h"
#include "app/logic/pages/service_info.h"
#include "app/logic/pages/terminal.h"
#include "app/logic/text_file.h"
#include "cli/cli_args.h"
#include "cli/cli_pages.h"
#include "cli/device_session.h"
#include "cli/json_out.h"
#include "support/console.h"
#include "support/dialogs.h"
#include "support/files.h"

namespace kestrel::cli {

namespace {

// The files read in this run: a pipe (--password-file <(echo ...)) can be read only once,
// and the checks before connecting and the command itself both want the password.
std::map<std::string, std::string>& passwordFilesRead() {
  static std::map<std::string, std::string> files;
  return files;
}

// How long a pipe may take to deliver the password.
constexpr int PASSWORD_PIPE_WAIT_MS = 5000;

std::string readPasswordFile(const std::string& file) {
  try {
    return readPrivateFirstLine(file, PASSWORD_INPUT.maxBytes, PASSWORD_PIPE_WAIT_MS, "password");
  } catch (const EFileError& e) {
    throw UsageError("--password-file: '" + file + "' " + e.what());
  }
}

}  // namespace

void forgetPasswordFiles() { passwordFilesRead().clear(); }

std::string passwordFrom(const std::optional<std::string>& passwordFile, const char* variable) {
  if (!passwordFile) {
    const char* env = std::getenv(variable);
    return env ? env : "";
  }
  // Devices of a fleet read the same file from several threads.
  static std::mutex lock;
  std::lock_guard guard(lock);
  auto& read = passwordFilesRead();
  const auto it = read.find(*passwordFile);
  if (it != read.end()) return it->second;
  return read[*passwordFile] = readPasswordFile(*passwordFile);
}

namespace {


// One verb of service, fiscal, terminal or certificates: its words and options.
struct Parsed {
  std::string word;               // the verb
  std::vector<std::string> args;  // after the verb
  bool yes = false;
  bool password = false;      // takes --password-file FILE (or the environment)
  bool irreversible = false;  // asks on a terminal, --yes elsewhere
  std::optional<std::string> passwordFile, start, end, type;
};

Parsed parse(const std::string& command, const CommandArgs& words) {
  Parsed p;
  p.word = words[0];
  p.args.assign(words.plain.begin() + 1, words.plain.end());
  p.yes = words.has("--yes");
  p.passwordFile = words.value("--password-file");
  p.start = words.value("--start");
  p.end = words.value("--end");
  p.type = words.value("--type");
  if (const VerbDecl* v = verbDecl(command, p.word)) {
    p.irreversible = (v->traits & VERB_IRREVERSIBLE) != 0;
    for (const OptionDecl& o : v->options) p.password = p.password || std::string(o.name) == "--password-file";
  }
  if (p.word == "operation" && !(p.start && p.end && p.type))
    throw UsageError("service operation: give --start DT --end DT --type LETTER");
  return p;
}

// The first line of a file only its owner can read; the environment's password without
// one. Empty when neither gives one.
std::string servicePassword(const Parsed& p) { return passwordFrom(p.passwordFile, SERVICE_PASSWORD_VARIABLE); }

bool stdinIsTerminal() { return isTerminal(StdStream::In); }

LocalDateTime serviceDateArg(const std::string& text) {
  int d = 0, m = 0, y = 0;
  char tail = 0;
  LocalDateTime dt;
  if (std::sscanf(text.c_str(), "%2d.%2d.%4d%c", &d, &m, &y, &tail) == 3) dt = {y, m, d, 0, 0, 0, 0};
  if (!dt.isValid() || y < 2000 || y > 2099) throw UsageError("service set: '" + text + "' is no date DD.MM.YYYY");
  return dt;
}

LocalDateTime momentArg(const std::string& option, const std::string& text) {
  try {
    const LocalDateTime dt = deviceDateTimeOf(text);
    deviceDateTimeText(dt);
    return dt;
  } catch (const std::exception& e) {
    throw UsageError("service operation: " + option + ": " + e.what());
  }
}

void checkLetter(const std::string& what, const std::string& value, const char* letters) {
  if (value.size() != 1 || std::string(letters).find(value[0]) == std::string::npos)
    throw UsageError(what + " is one of " + letters);
}

// The command's checks before anything is opened: words, values, the password's source
// and the way an irreversible step is confirmed.
void checkForm(const std::string& command, const CommandArgs& words) {
  const Parsed p = parse(command, words);
  const std::string word = p.word;
  if (command == "service" && word == "set") serviceDateArg(p.args[0]);
  if (command == "service" && word == "mode" && p.args[0] != "on" && p.args[0] != "off")
    throw UsageError("usage: service mode on|off");
  if (word == "ram-reset") checkLetter("service ram-reset: TYPE", p.args[0], RAM_RESET_TYPES);
  if (word == "operation") {
    momentArg("--start", *p.start);
    momentArg("--end", *p.end);
    checkLetter("service operation: --type", *p.type, SERVICE_OP_TYPES);
  }
  const bool modeOff = word == "mode" && p.args[0] == "off";
  if (p.password && !modeOff && servicePassword(p).empty())
    throw UsageError(command + " " + word + ": no service password; give --password-file FILE or set " +
                     SERVICE_PASSWORD_VARIABLE);
  if (p.irreversible && !p.yes && !stdinIsTerminal())
    throw UsageError(command + " " + word + " cannot be undone; without a terminal to ask on, add --yes");
}

// The session's dialogs while a command runs: shown on stderr as ever, the last text kept
// for the JSON outcome, and the device's own questions answered Yes once the user has
// confirmed the step.
class CommandDialogs : public Dialogs {
 public:
  CommandDialogs(DeviceSession& session, std::ostream& err) : fSession(session), fShow(err) {
    fPrevious = session.misc().dialogs();
    session.misc().set_Dialogs(this);
  }
  ~CommandDialogs() override { fSession.misc().set_Dialogs(fPrevious); }
  CommandDialogs(const CommandDialogs&) = delete;
  CommandDialogs& operator=(const CommandDialogs&) = delete;

  DialogResult show(const DialogRequest& request) override {
    last = request.text;
    if (!confirmed || request.buttons != DialogButtons::YesNo) return fShow.show(request);
    DialogRequest shown = request;
    shown.buttons = DialogButtons::Ok;
    shown.text += " yes";
    fShow.show(shown);
    return mrYes;
  }

  bool confirmed = false;
  std::string last;

 private:
  DeviceSession& fSession;
  Dialogs* fPrevious;
  StderrDialogs fShow;
};

// The outcome of a step: exit status, and with --json one object saying how it went.
int outcome(PageCommandContext& ctx, const CommandDialogs& dialogs, bool ok, const std::string& focus = "") {
  if (!focus.empty()) ctx.err << "kestrel: the value of " << focus << " is not accepted\n";
  const int status = operationStatus(ctx, ok);
  if (ctx.json) {
    const int code = ctx.session.errors().LastErrorCode();
    std::string message = dialogs.last;
    if (!focus.empty()) message = "the value of " + focus + " is not accepted";
    else if (status != 0 && code != 0) message = ctx.session.errors().LastErrorMessage();
    ctx.out << JsonObject().add("ok", status == 0).add("code", code).add("message", message).text() << '\n';
  }
  return status;
}

// On a terminal without --yes: "Are you sure? [y/N]", anything but yes cancels.
constexpr const char* MSG_CANCELLED = "cancelled; nothing was sent";

bool confirmed(PageCommandContext& ctx, const Parsed& p) {
  if (p.yes) return true;
  ctx.err << "Are you sure? [y/N] " << std::flush;
  std::string answer;
  if (!std::getline(std::cin, answer)) answer.clear();
  if (!answer.empty() && answer.back() == '\r') answer.pop_back();
  if (answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes") return true;
  ctx.err << "kestrel: " << MSG_CANCELLED << '\n';
  return false;
}

// Once the user has confirmed, the device's own questions are answered Yes; a refusal is
// the outcome's message.
bool confirm(PageCommandContext& ctx, const Parsed& p, CommandDialogs& dialogs) {
  dialogs.confirmed = confirmed(ctx, p);
  if (!dialogs.confirmed) dialogs.last = MSG_CANCELLED;
  return dialogs.confirmed;
}

int printValues(PageCommandContext& ctx, const std::vector<std::pair<std::string, std::string>>& values) {
  JsonObject o;
  for (const auto& [key, value] : values) {
    if (ctx.json) o.add(key, value);
    else ctx.out << key << '=' << value << '\n';
  }
  if (ctx.json) ctx.out << o.text() << '\n';
  return operationStatus(ctx, true);
}

int serviceForm(PageCommandContext& ctx, const Parsed& p, CommandDialogs& dialogs) {
  const std::string word = p.word;
  std::string focus;
  if (word == "get") {
    TServiceRead r;
    if (!readServiceTab(ctx.ops, r)) return operationStatus(ctx, false);
    if (ctx.json) {
      ctx.out << JsonObject().add("date", formatDate(*r.date)).add("lines", *r.lines).text() << '\n';
      return operationStatus(ctx, true);
    }
    std::vector<std::pair<std::string, std::string>> values{{"date", formatDate(*r.date)}};
    for (size_t i = 0; i < r.lines->size(); ++i) values.emplace_back("line" + std::to_string(i + 1), (*r.lines)[i]);
    return printValues(ctx, values);
  }
  if (word == "set") {
    const std::vector<std::string> lines(p.args.begin() + 1, p.args.end());
    const bool ok = saveService(ctx.ops, servicePassword(p), lines, serviceDateArg(p.args[0]), focus);
    return outcome(ctx, dialogs, ok, focus);
  }
  if (word == "mode") {
    if (p.args[0] == "off") return outcome(ctx, dialogs, deactivateServiceMode(ctx.ops));
    const bool ok = activateServiceMode(ctx.ops, servicePassword(p), focus);
    return outcome(ctx, dialogs, ok, focus);
  }
  if (word == "ram-reset") {
    if (!confirm(ctx, p, dialogs)) return outcome(ctx, dialogs, false);
    return outcome(ctx, dialogs, ramReset(ctx.ops, servicePassword(p), p.args[0][0], focus), focus);
  }
  const bool ok = setServiceOperation(ctx.ops, momentArg("--start", *p.start), momentArg("--end", *p.end), (*p.type)[0]);
  return outcome(ctx, dialogs, ok);
}

int fiscalForm(PageCommandContext& ctx, const Parsed& p, CommandDialogs& dialogs) {
  const std::string word = p.word;
  TPageValues v;
  std::string focus;
  if (word == "get") {
    if (!identifyModel(ctx)) return operationStatus(ctx, false);
    const TConfigPage page = fiscalConfigPage();
    if (!page.read(ctx.ops, v)) return operationStatus(ctx, false);
    return printValues(ctx, page.show(v, ctx.ops.ecrModel));
  }
  if (word == "set-iosa") return outcome(ctx, dialogs, saveIOSA(ctx.ops, {{FISC_IOSA, p.args[0]}}));
  if (!confirm(ctx, p, dialogs)) return outcome(ctx, dialogs, false);
  bool ok = false;
  if (word == "set-serial") {
    v = {{FISC_SERIAL, p.args[0]}, {FISC_FM_NUMBER, p.args[1]}};
    ok = saveSerialAndFM(ctx.ops, v, focus);
  } else if (word == "set-tax") {
    v = {{FISC_JIB, p.args[0]}, {FISC_PIB, p.args[1]}};
    ok = saveTaxNumbers(ctx.ops, v, focus);
  } else {
    // The numbers the device holds are the ones it is fiscalized with.
    ok = readFiscTab(ctx.ops, v) && fiscalize(ctx.ops, v, focus);
  }
  return outcome(ctx, dialogs, ok, focus);
}

int terminalForm(PageCommandContext& ctx, const Parsed& p, CommandDialogs& dialogs) {
  const std::string word = p.word;
  std::string focus;
  if (word != "info") {
    const char* function = word == "reset"        ? TERMINAL_RESET
                           : word == "force-send" ? TERMINAL_FORCE_COMMAND
                                                  : TERMINAL_NEW_COMMAND_FILE;
    return outcome(ctx, dialogs, terminalFunction(ctx.ops, servicePassword(p), function, focus), focus);
  }
  TTerminalData d;
  const bool ok = readTerminalData(ctx.ops, servicePassword(p), d, focus);
  std::string file = d.commandFile.value_or("");
  for (size_t at; (at = file.find("\r\n")) != std::string::npos;) file.replace(at, 2, "\n");
  if (ctx.json) {
    ctx.out << JsonObject().add("info", d.info).add("commandFile", file).text() << '\n';
  } else {
    for (const auto& l : d.info) ctx.out << l << '\n';
    if (!file.empty()) ctx.out << "Last downloaded command file:\n" << file << '\n';
  }
  if (!focus.empty()) ctx.err << "kestrel: the value of " << focus << " is not accepted\n";
  return operationStatus(ctx, ok);
}

int certificatesForm(PageCommandContext& ctx, CommandDialogs& dialogs) {
  const TCertificateResult r = checkCertificates(ctx.ops);
  if (r.label.empty()) return outcome(ctx, dialogs, false);
  if (ctx.json) {
    // The end of each file is the last code the device gave; the check itself went well.
    ctx.out << JsonObject().add("ok", r.valid).add("code", 0).add("message", r.label).text() << '\n';
  } else {
    ctx.out << r.label << '\n';
  }
  // The check ran to its end; the exit status says whether the certificates are the maker's.
  return r.valid ? 0 : 1;
}

}  // namespace

void checkServiceArgs(const CommandArgs& args) { checkForm("service", args); }
void checkFiscalArgs(const CommandArgs& args) { checkForm("fiscal", args); }
void checkTerminalArgs(const CommandArgs& args) { checkForm("terminal", args); }
void checkCertificatesArgs(const CommandArgs& args) { checkForm("certificates", args); }

int runService(PageCommandContext& ctx) {
  CommandDialogs dialogs(ctx.session, ctx.err);
  return serviceForm(ctx, parse("service", ctx.args), dialogs);
}

int runFiscal(PageCommandContext& ctx) {
  CommandDialogs dialogs(ctx.session, ctx.err);
  return fiscalForm(ctx, parse("fiscal", ctx.args), dialogs);
}

int runTerminal(PageCommandContext& ctx) {
  CommandDialogs dialogs(ctx.session, ctx.err);
  return terminalForm(ctx, parse("terminal", ctx.args), dialogs);
}

int runCertificates(PageCommandContext& ctx) {
  CommandDialogs dialogs(ctx.session, ctx.err);
  parse("certificates", ctx.args);
  return certificatesForm(ctx, dialogs);
}

}  // namespace kestrel::cli
