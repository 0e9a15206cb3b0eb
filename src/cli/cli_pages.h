#pragma once
// The window's page operations on the command line: `config get|set` over every setup
// page, and the page commands with files or clocks of their own (date, header, logo).
// Each runs the same app/logic operation as the window's page.
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "app/logic/device_ops.h"
#include "app/logic/loop_outcome.h"
#include "app/logic/page_host.h"

namespace kestrel {

class TMemTable;
}

namespace kestrel::cli {

class DeviceSession;
struct Invocation;
struct CommandArgs;
struct VerbDecl;

// The terminal as the operations' host: status texts and progress on stderr (a
// progress line only on a terminal), files named on the command line.
class CliPageHost : public PageHost {
 public:
  explicit CliPageHost(std::ostream& err);
  void set_StatusText(const std::string& text) override;
  std::string openFileName(const std::string& title, const std::string& filter) override;
  std::string saveFileName(const std::string& title, const std::string& filter,
                           const std::string& suggestedName) override;
  void progressShow(int minimum, int maximum) override;
  void progressSet(int position) override;
  void progressHide() override;
  // Ctrl-C while a page command runs: the loop ends between two records. A second
  // Ctrl-C ends the program at once.
  bool stopRequested() override;

  std::string file;  // the file the command names; every file choice gets it
  // Status texts beginning with one of these only tell a loop's progress, which the
  // progress line shows: not printed (one per client would flood a backup's output).
  std::vector<std::string> progressTexts{"Reading client...", "Saving client..."};

 private:
  std::ostream& fErr;
  bool fTerminal;
  int fMin = 0, fMax = 0, fLastPercent = -1;
};

// What a page command gets: the session, the operations on it, the host and the output.
struct PageCommandContext {
  DeviceSession& session;
  TDeviceOps& ops;
  CliPageHost& host;
  std::ostream& out;
  std::ostream& err;
  bool json;
  const CommandArgs& args;  // the words and options after the command's name
};

// An output named on the command line, checked before a device is connected: a target
// that exists and is no regular file (a FIFO, a device, a link to one) is refused with
// EFileError, so that a long read does not end in a refused write. A link to a regular
// file is written through.
// "-", standard output, is no file.
inline constexpr const char* STDOUT_NAME = "-";
void checkOutputFile(const std::string& path);

// The declaration of `command`'s `verb`, or null.
const VerbDecl* verbDecl(const std::string& command, const std::string& verb);

// Warns on stderr of each value of `table` (in the rows `sent` takes, all when empty)
// that the device's code page cannot hold, naming the row and field: the device gets
// "?" for such a character.
void warnCodePage(PageCommandContext& ctx, const TMemTable& table, const std::function<std::string(int row)>& rowName,
                  const std::function<bool(int row)>& sent = {});

// Identifies the model (command 90) so that model-dependent pages read the right
// parameters; false with the reason on stderr.
bool identifyModel(PageCommandContext& ctx);
// The exit status of an operation: 0 only when it succeeded and no command failed.
int operationStatus(PageCommandContext& ctx, bool succeeded);
// The exit status of a loop: 0 only when ok(); otherwise its closing message on stderr after "kestrel: WHAT: ", and 1. No outcome (a file choice cancelled): 1.
int loopStatus(PageCommandContext& ctx, const char* what, const std::optional<TLoopOutcome>& r, const TLoopWords& words);

int runPageCommand(const Invocation& inv, DeviceSession& session, std::ostream& out, std::ostream& err);

// config
void checkConfigArgs(const CommandArgs& args);
int runConfig(PageCommandContext& ctx);

// date, header (cli_clock_header.cpp)
void checkDateArgs(const CommandArgs& args);
int runDate(PageCommandContext& ctx);
void checkHeaderArgs(const CommandArgs& args);
int runHeader(PageCommandContext& ctx);
// logo FILE.bmp
void checkLogoArgs(const CommandArgs& args);
int runLogo(PageCommandContext& ctx);
// Where the service password comes from without --password-file.
inline constexpr const char* SERVICE_PASSWORD_VARIABLE = "KESTREL_SERVICE_PASSWORD";

// A password: the first line of `passwordFile`, which only its owner may read, or else
// the environment's `variable`; empty when neither gives one. Throws UsageError for a
// file that others can read or that cannot be read.
// The file is read once per run (it may be a pipe, <(echo ...)); a UTF-8 byte-order mark
// and the line end are not part of the password. A FIFO that sends nothing for a few
// seconds and a file that is neither regular nor a pipe are refused.
std::string passwordFrom(const std::optional<std::string>& passwordFile, const char* variable);
// Forgets the password files read: each run of the tool reads them afresh.
void forgetPasswordFiles();
// fiscal, service, terminal, certificates (cli_service.cpp)
void checkFiscalArgs(const CommandArgs& args);
int runFiscal(PageCommandContext& ctx);
void checkServiceArgs(const CommandArgs& args);
int runService(PageCommandContext& ctx);
void checkTerminalArgs(const CommandArgs& args);
int runTerminal(PageCommandContext& ctx);
void checkCertificatesArgs(const CommandArgs& args);
int runCertificates(PageCommandContext& ctx);
// table get|set (cli_table.cpp)
// The table's rows as a JSON array of objects, field name -> the cell as the grid shows it.
std::string tableRowsJson(const TMemTable& table);
void checkTableArgs(const CommandArgs& args);
int runTable(PageCommandContext& ctx);
// fm-report, ej (cli_journal.cpp)
void checkFmReportArgs(const CommandArgs& args);
int runFmReport(PageCommandContext& ctx);
void checkJournalArgs(const CommandArgs& args);
int runJournal(PageCommandContext& ctx);
// report, cash, receipt, restart (cli_reports.cpp)
void checkReportArgs(const CommandArgs& args);
int runReport(PageCommandContext& ctx);
void checkCashArgs(const CommandArgs& args);
int runCash(PageCommandContext& ctx);
void checkReceiptArgs(const CommandArgs& args);
int runReceipt(PageCommandContext& ctx);
int runRestart(PageCommandContext& ctx);
// clients read|write|delete (cli_clients.cpp)
void checkClientsArgs(const CommandArgs& args);
int runClients(PageCommandContext& ctx);
// items read|write|delete|qty|csv-check (cli_items.cpp)
void checkItemsArgs(const CommandArgs& args);
int runItems(PageCommandContext& ctx);
// backup FILE, restore FILE (cli_backup.cpp)
void checkBackupArgs(const CommandArgs& args);
int runBackup(PageCommandContext& ctx);
void checkRestoreArgs(const CommandArgs& args);
int runRestore(PageCommandContext& ctx);

}  // namespace kestrel::cli
