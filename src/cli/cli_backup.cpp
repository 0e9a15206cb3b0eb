// kestrel backup|restore: a device's configuration into one file and back, through the
// pages' own operations (app/logic/backup.h). The service password for the access point
// and server values comes from a private file or the environment, never the command line.
#include <optional>
#include <ostream>

#include "app/logic/backup.h"
#include "app/logic/text_file.h"
#include "cli/cli_args.h"
#include "cli/cli_pages.h"

namespace kestrel::cli {

namespace {


struct BackupArgs {
  std::string file;
  bool withItems = false, withClients = false, dryRun = false;
  std::optional<std::string> passwordFile;
};

BackupArgs backupArgsOf(const CommandArgs& args) {
  BackupArgs a;
  a.file = args[0];
  a.withItems = args.has("--with-items");
  a.withClients = args.has("--with-clients");
  a.dryRun = args.has("--dry-run");
  a.passwordFile = args.value("--password-file");
  if (a.file.empty()) throw UsageError("FILE is empty");
  return a;
}

}  // namespace

void checkBackupArgs(const CommandArgs& args) { checkOutputFile(backupArgsOf(args).file); }
void checkRestoreArgs(const CommandArgs& args) { checkInputFile(backupArgsOf(args).file, BACKUP_INPUT); }

int runBackup(PageCommandContext& ctx) {
  const BackupArgs a = backupArgsOf(ctx.args);
  if (!identifyModel(ctx)) return operationStatus(ctx, false);
  TBackup backup;
  const TLoopOutcome read = readBackup(ctx.ops, a.withItems, a.withClients, backup);
  if (!read.ok()) {
    ctx.err << "kestrel: backup: " << read.cause << "; " << a.file << " was not written\n";
    return 1;
  }
  writeBackupFile(a.file, backup);
  ctx.err << "kestrel: backup of " << (backup.model.empty() ? "the device" : backup.model) << " written to " << a.file
          << '\n';
  return 0;
}

int runRestore(PageCommandContext& ctx) {
  const BackupArgs a = backupArgsOf(ctx.args);
  const std::string password = passwordFrom(a.passwordFile, SERVICE_PASSWORD_VARIABLE);
  TBackup backup;
  try {
    backup = readBackupFile(a.file);
  } catch (const std::exception& e) {
    ctx.err << "kestrel: restore: " << a.file << ": " << e.what() << "; nothing was written\n";
    return 1;
  }
  if (!identifyModel(ctx)) return operationStatus(ctx, false);
  const TRestoreReport report = restoreBackup(ctx.ops, backup, {a.dryRun, password});
  // The dry run lists its changes on stdout; the summary of a restore goes there too.
  ctx.out << report.summary(a.dryRun);
  // 0 only when the device now holds the file: a value skipped for want of the password
  // is as much not written as a refused one. A dry run writes nothing by design.
  return (a.dryRun ? report.ok() : report.complete()) ? 0 : 1;
}

}  // namespace kestrel::cli
