// kestrel fm-report and kestrel ej read|print|validate: the "Fiscal memory reports" and
// "EJ reading" pages' operations on the command line.
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <ostream>

#include "app/logic/pages/cliche.h"
#include "app/logic/pages/document_check.h"
#include "app/logic/pages/fm_reports.h"
#include "app/logic/pages/journal.h"
#include "app/logic/param_bindings.h"
#include "app/logic/text_file.h"
#include "cli/cli_args.h"
#include "cli/cli_pages.h"
#include "cli/device_session.h"
#include "cli/json_out.h"

namespace kestrel::cli {

namespace {

// Short names of the document types, in the order of their codes.
constexpr const char* TYPE_NAMES[] = {"fiscal", "storno", "x", "z", "periodic", "all-fiscal", "non-fiscal", "copy", "all"};

// The words of a period or a number range, a type and an output file.
struct RangeArgs {
  std::optional<LocalDateTime> from, to;
  std::optional<std::string> first, last;
  std::optional<int> type;
  std::string outFile;
};

LocalDateTime momentArg(const std::string& command, const std::string& option, const std::string& text) {
  try {
    const LocalDateTime dt = deviceDateTimeOf(text);
    if (!dt.isValid()) throw std::invalid_argument("no valid date and time");
    deviceDateTimeText(dt);
    return dt;
  } catch (const std::exception& e) {
    throw UsageError(command + ": " + option + " '" + text + "': " + e.what() + " (give \"DD-MM-YY HH:MM:SS\")");
  }
}

std::string numberArg(const std::string& command, const std::string& option, const std::string& text) {
  try {
    if (parseIntValue(text) < 1) throw std::invalid_argument("");
  } catch (const std::invalid_argument&) {
    throw UsageError(command + ": " + option + " '" + text + "' is not a document number from 1");
  }
  return text;
}

int typeArg(const std::string& text) {
  for (int i = 0; i < static_cast<int>(std::size(TYPE_NAMES)); ++i)
    if (text == TYPE_NAMES[i] || text == std::to_string(i)) return i;
  std::string names;
  for (const char* n : TYPE_NAMES) names += std::string(names.empty() ? "" : ", ") + n;
  throw UsageError("ej: --type '" + text + "' is none of " + names + " (or their codes 0 to 8)");
}

RangeArgs rangeOf(const std::string& command, const CommandArgs& args) {
  RangeArgs r;
  if (const auto v = args.value("--from")) r.from = momentArg(command, "--from", *v);
  if (const auto v = args.value("--to")) r.to = momentArg(command, "--to", *v);
  if (const auto v = args.value("--first")) r.first = numberArg(command, "--first", *v);
  if (const auto v = args.value("--last")) r.last = numberArg(command, "--last", *v);
  if (const auto v = args.value("--type")) r.type = typeArg(*v);
  r.outFile = args.valueOr("-o", "");
  const bool period = r.from || r.to;
  const bool numbers = r.first || r.last;
  if (period == numbers || (period && !(r.from && r.to)) || (numbers && !(r.first && r.last)))
    throw UsageError(command + ": give --from DT --to DT or --first N --last M");
  if (command != "fm-report" && !r.type) throw UsageError(command + ": --type is required");
  if (args.value("-o") && r.outFile.empty()) throw UsageError(command + ": -o FILE is empty");
  return r;
}

// Lines to standard output as they arrive, or gathered for the file.
class OutLines : public TJournalLines {
 public:
  OutLines(std::ostream& out, bool toFile) : fOut(out), fToFile(toFile) {}
  void clear() override { lines.clear(); }
  void add(const std::string& line) override {
    if (fToFile) lines.push_back(line);
    else fOut << line << '\n' << std::flush;
  }
  std::vector<std::string> lines;

 private:
  std::ostream& fOut;
  bool fToFile;
};

int runValidate(PageCommandContext& ctx) {
  const std::string& file = ctx.args[1];
  const std::string tmp =
      (std::filesystem::temp_directory_path() / ("kestrel-" + std::to_string(::getpid()) + "-" + TMP_VALIDATION_FILE))
          .string();
  const auto check = checkDocument(ctx.session.misc(), readJournalFile(file), THashForm::Field1, tmp);
  if (!check) {
    ctx.err << "kestrel: ej validate: " << file << " holds no lines\n";
    return 1;
  }
  if (ctx.json) {
    ctx.out << JsonObject()
                   .add("printed", check->printed)
                   .add("calculated", check->calculated)
                   .add("valid", check->valid)
                   .text()
            << '\n';
  } else {
    ctx.out << "Hash printed:    " << check->printed << "\nHash calculated: " << check->calculated << '\n'
            << check->shownText() << '\n';
  }
  return check->valid ? 0 : 1;
}

}  // namespace

void checkFmReportArgs(const CommandArgs& args) { rangeOf("fm-report", args); }

int runFmReport(PageCommandContext& ctx) {
  const RangeArgs r = rangeOf("fm-report", ctx.args);
  if (r.from) return operationStatus(ctx, printFMReportByDate(ctx.ops, *r.from, *r.to));
  return operationStatus(ctx, printFMReportByNumber(ctx.ops, *r.first, *r.last));
}

void checkJournalArgs(const CommandArgs& args) {
  if (args[0] == "validate") return checkInputFile(args[1], JOURNAL_INPUT);
  const RangeArgs r = rangeOf("ej " + args[0], args);
  if (!r.outFile.empty()) checkOutputFile(r.outFile);
}

int runJournal(PageCommandContext& ctx) {
  if (ctx.args[0] == "validate") return runValidate(ctx);
  const RangeArgs r = rangeOf("ej " + ctx.args[0], ctx.args);
  TJournalRequest request;
  request.type = *r.type;
  request.byNumber = r.first.has_value();
  if (r.from) {
    request.start = *r.from;
    request.end = *r.to;
  } else {
    request.fromNumber = *r.first;
    request.toNumber = *r.last;
  }
  OutLines lines(ctx.out, !r.outFile.empty());
  TJournalReader reader(ctx.ops, lines);
  const TJournalMode mode = ctx.args[0] == "print" ? TJournalMode::Print : TJournalMode::Read;
  const TLoopOutcome read = reader.run(request, mode);
  const bool ok = read.ok();
  // How far it got; the checks before the loop said their own message.
  if (!ok && reader.looped())
    ctx.err << "kestrel: ej: " << read.closingMessage(mode == TJournalMode::Print ? JOURNAL_PRINT : JOURNAL_READ, " ")
            << '\n';
  else if (read.stopped())
    ctx.err << "kestrel: ej: stopped\n";
  if (!r.outFile.empty()) {
    if (!ok || ctx.ops.failedVerdicts > 0) {
      // A partial journal would pass for the whole one: the old file stays.
      ctx.err << "kestrel: ej: the reading did not complete; " << r.outFile << " was not written\n";
      return 1;
    }
    if (lines.lines.empty()) {
      // An empty file would replace a journal saved before for nothing.
      ctx.err << "kestrel: ej: no documents in the range; nothing to save, " << r.outFile << " was left as it was\n";
      return 1;
    }
    writeJournalFile(r.outFile, lines.lines);
    ctx.err << "kestrel: " << MSG_EJ_SAVED << r.outFile << '\n';
  }
  return operationStatus(ctx, ok);
}

}  // namespace kestrel::cli
