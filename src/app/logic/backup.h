#pragma once
// A device's configuration in one human-readable INI file: every setup page (date and
// fiscal numbers aside) and every master-data table, items and clients on request. The
// restore writes it back through the pages' own reads and saves, only what differs, and
// says value by value what it changed and what the device refused.
#include <string>
#include <utility>
#include <vector>

#include "app/logic/config_pages.h"
#include "app/logic/loop_outcome.h"

namespace kestrel {

class TDeviceOps;

// Format 2: a key named after a device parameter holds the device's own value (an
// inverted box, minutes, an entry number), as `kestrel config get` prints it. Format 1
// files, which held the window's widget states under those keys, are still restored.
inline constexpr int BACKUP_FORMAT = 2;
inline constexpr const char* BACKUP_FILTER = "ini|*.ini";

struct TBackup {
  int format = BACKUP_FORMAT;
  std::string model;    // the model name the device reported ("KT-11A"); empty: unknown
  std::string created;  // "YYYY-MM-DD HH:MM:SS", local time
  std::vector<std::pair<std::string, TKeyValues>> pages;                // config page -> its key=value pairs
  std::vector<std::pair<std::string, std::vector<std::string>>> tables;  // table -> CSV lines, header first
  bool withItems = false, withClients = false;
  std::vector<std::string> items, clients;  // CSV lines, header first
};

// The config pages a backup holds: all but the fiscal numbers and the clock.
bool pageIsBackedUp(const std::string& page);
// Values that need the device's service mode (access points, file servers).
bool needsServiceMode(const std::string& page, const std::string& key);

// Reads the device into `backup`. Done only when every part (and every item and client
// asked for) was read; otherwise Stopped (the stop request, seen before every part and
// during a wait) or Failed, with the reason in `cause`. Progress goes to the page host.
TLoopOutcome readBackup(TDeviceOps& ops, bool withItems, bool withClients, TBackup& backup);

// The file's text, and the file written readable by its owner only (it holds operator
// and server passwords), through a temporary file.
std::string backupText(const TBackup& backup);
void writeBackupFile(const std::string& path, const TBackup& backup);
// Parses and checks a whole file before anything is written: a truncated or garbled
// file throws std::runtime_error naming what is wrong.
TBackup parseBackup(const std::string& text);
TBackup readBackupFile(const std::string& path);

struct TRestoreOptions {
  bool dryRun = false;          // read and compare only
  std::string servicePassword;  // empty: service-mode values are skipped with a note
};

struct TRestoreReport {
  std::vector<std::string> changes;     // "page.key: device value -> file value", table rows
  std::vector<std::string> written;     // pages and tables written
  std::vector<std::string> notWritten;  // refusals and failures, with the reason
  std::vector<std::string> skipped;     // values that differ but need the service password
  std::vector<std::string> notes;       // values and tables of another model, the model warning
  std::string stoppedAt;                // "before departments", "during items (94 of 120 items written)"
  // Counts the parts (each setup page and table, the items, the clients): done, or failed
  // when something of it is in notWritten; Stopped by the stop request (before a part,
  // or in a wait); Failed when the link failed in several parts in a row.
  TLoopOutcome outcome;
  bool stopped() const { return outcome.stopped(); }
  bool ok() const { return notWritten.empty() && !stopped(); }
  // Everything that differed was written: nothing refused and nothing skipped.
  bool complete() const { return ok() && skipped.empty(); }
  // The summary printed at the end (and shown by the window).
  std::string summary(bool dryRun) const;
};

// Restores `backup` into the device. Never throws for a refusal: each page, table,
// item list or client list goes on after the one before failed.
TRestoreReport restoreBackup(TDeviceOps& ops, const TBackup& backup, const TRestoreOptions& options);

}  // namespace kestrel
