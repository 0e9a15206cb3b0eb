// kestrel date get|set and kestrel header export|import: the "Date, header & footer"
// page's operations on the command line.
#include <cstdio>
#include <ostream>
#include <stdexcept>

#include "app/logic/mem_table.h"
#include "app/logic/page_table.h"
#include "app/logic/pages/cliche.h"
#include "app/logic/text_file.h"
#include "cli/cli_args.h"
#include "cli/cli_pages.h"
#include "cli/json_out.h"

namespace kestrel::cli {

namespace {

// What `date get` prints, "DD.MM.YYYY HH:MM:SS" (with " DST" in summer), in the device's
// form, so that a printed date can be set again; any other text as it is.
std::string deviceFormOf(const std::string& arg) {
  int d = 0, m = 0, y = 0, hh = 0, mm = 0, ss = 0, used = -1;
  if (std::sscanf(arg.c_str(), "%2d.%2d.%4d %2d:%2d:%2d%n", &d, &m, &y, &hh, &mm, &ss, &used) != 6 || used < 0)
    return arg;
  const std::string rest = arg.substr(static_cast<size_t>(used));
  if (!rest.empty() && rest != " DST") return arg;
  if (y < 2000 || y > 2099) throw std::range_error("the device takes the years 2000 to 2099");
  char text[40];
  std::snprintf(text, sizeof text, "%02d-%02d-%02d %02d:%02d:%02d%s", d, m, y - 2000, hh, mm, ss, rest.c_str());
  return text;
}

// The moment `date set` names; throws UsageError for a text of another form.
LocalDateTime momentToSet(const std::string& arg) {
  if (arg == "--now") {
    LocalDateTime now = LocalDateTime::now();
    now.millisecond = 0;
    return now;
  }
  try {
    const LocalDateTime dt = deviceDateTimeOf(deviceFormOf(arg));
    deviceDateTimeText(dt);
    return dt;
  } catch (const std::exception& e) {
    throw UsageError(std::string("date set: ") + e.what());
  }
}

// The header and footer tables of one run.
struct Lines {
  Lines() {
    prepareLinesTable(header);
    prepareLinesTable(footer);
  }
  TMemTable header{"fdmt_Header"};
  TMemTable footer{"fdmt_Footer"};
  TClicheTables tables() { return {header, footer}; }
};

}  // namespace

// "--now" or the moment given.
std::string momentWord(const CommandArgs& args) { return args.has("--now") ? "--now" : args[1]; }

void checkDateArgs(const CommandArgs& args) {
  if (args[0] == "get") return;
  if ((args.size() == 2) == args.has("--now")) throw UsageError("date set: give --now or the moment");
  momentToSet(momentWord(args));
}

int runDate(PageCommandContext& ctx) {
  if (ctx.args[0] == "set") return operationStatus(ctx, saveDeviceDateTime(ctx.ops, momentToSet(momentWord(ctx.args))));
  LocalDateTime dt;
  if (!readDeviceDateTime(ctx.ops, dt)) return operationStatus(ctx, false);
  const std::string device = ctx.ops.field(1);
  const bool dst = device.find("DST") != std::string::npos;
  if (ctx.json) {
    ctx.out << JsonObject()
                   .add("date", formatDate(dt))
                   .add("time", formatTime(dt))
                   .add("dst", dst)
                   .add("device", device)
                   .text()
            << '\n';
  } else {
    ctx.out << formatDate(dt) << ' ' << formatTime(dt) << (dst ? " DST" : "") << '\n';
  }
  return operationStatus(ctx, true);
}

void checkHeaderArgs(const CommandArgs& args) {
  if (args[1].empty()) throw UsageError("header " + args[0] + ": FILE is empty");
  if (args[0] == "import") checkInputFile(args[1], HEADER_TEXT_INPUT);
  else checkOutputFile(args[1]);
}

int runHeader(PageCommandContext& ctx) {
  Lines lines;
  ctx.host.file = ctx.args[1];
  if (ctx.args[0] == "import") {
    // A file that cannot be read, or has more lines than the device holds, ends here:
    // nothing is written to the device.
    if (const int lastLine = importClicheFile(ctx.args[1], lines.tables())) {
      ctx.err << "kestrel: header: " << clicheLinesLeftOutText(lastLine) << " Nothing was written.\n";
      return 1;
    }
    warnCodePage(ctx, lines.header, [](int row) { return "header line " + std::to_string(row + 1); });
    warnCodePage(ctx, lines.footer, [](int row) { return "footer line " + std::to_string(row + 1); });
    return operationStatus(ctx, saveCliche(ctx.ops, lines.tables()));
  }
  bool all = readClicheLines(ctx.ops, "Header", lines.header);
  all = readClicheLines(ctx.ops, "Footer", lines.footer) && all;
  if (!all) {
    // A file with lines missing would pass for the device's header and footer.
    ctx.err << "kestrel: header: not every line could be read; " << ctx.args[1] << " was not written\n";
    return operationStatus(ctx, false);
  }
  return operationStatus(ctx, exportCliche(ctx.ops, lines.tables()));
}

}  // namespace kestrel::cli
