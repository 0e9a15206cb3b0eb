#pragma once
// What a long loop over device records did: items read/save/delete, clients, the
// journal, the logo upload, backup and restore, the device search. Every such loop
// returns a TLoopOutcome, so the window, `kestrel` and the backup read one result.
//
// How a page reads it:
//   const TLoopOutcome r = items.ReadItems_inRange(1, 1499);
//   r.end      Done: ran to its end; Stopped: Stop, the wait's "Cancel" or Ctrl-C ended
//              it; Failed: the link failed several times in a row (or a step the loop
//              cannot go on without failed), `r.cause` says why.
//   r.ok()     Done and no record failed: the only case that may say "saved"/"written".
//   r.answered rows the device answered (all of them are in the table: a read never drops
//              an answered row), r.failed / r.failedNumbers the records that failed (time-
//              out, refusal, a value the table refuses), r.asked the records asked for.
//   r.closingMessage(ITEMS_READ) gives the closing text ("Read stopped after 335 of 1,499
//              items." / "3 items could not be read: PLU 12, 40, 77."); empty when ok().
// The loops show no closing alert of their own: the caller shows closingMessage (the
// window in a message box, `kestrel` on stderr with exit status 1 unless ok()).
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/logic/page_host.h"

namespace kestrel {

class TDeviceOps;
struct TWaitState;

enum class TLoopEnd { Done, Stopped, Failed };

// The words of a loop's closing message.
struct TLoopWords {
  const char* one;     // "item"
  const char* many;    // "items"
  const char* number;  // how a record is named: "PLU", "client", "document"
  const char* action;  // "Read", "Save", "Delete"
  const char* done;    // "read", "saved", "deleted"
  // A record of the loop changes the device (a save, a delete, a print): an abandoned
  // one may have been done, which the closing message says. A read's changes nothing.
  bool changesDevice = true;
};

inline constexpr TLoopWords ITEMS_READ{"item", "items", "PLU", "Read", "read", false};
inline constexpr TLoopWords ITEMS_SAVE{"item", "items", "PLU", "Save", "saved"};
inline constexpr TLoopWords ITEMS_DELETE{"item", "items", "PLU", "Delete", "deleted"};
inline constexpr TLoopWords CLIENTS_READ{"client", "clients", "client", "Read", "read", false};
inline constexpr TLoopWords CLIENTS_SAVE{"client", "clients", "client", "Save", "saved"};
inline constexpr TLoopWords CLIENTS_DELETE{"client", "clients", "client", "Delete", "deleted"};
inline constexpr TLoopWords JOURNAL_READ{"document", "documents", "document", "Read", "read", false};
inline constexpr TLoopWords JOURNAL_PRINT{"document", "documents", "document", "Print", "printed"};
// A logo goes in blocks of 54 bytes, numbered from 1.
inline constexpr TLoopWords LOGO_UPLOAD{"block", "blocks", "block", "Upload", "sent"};
// "Close receipts operation" voids the sales of an unpaid receipt one by one.
inline constexpr TLoopWords RECEIPT_VOIDS{"void", "voids", "void", "Close receipts", "voided"};
inline constexpr TLoopWords DEVICE_SEARCH{"attempt", "attempts", "attempt", "Search", "made", false};
// A restore's parts: each setup page and table, the items, the clients.
inline constexpr TLoopWords RESTORE_COMPARE{"part", "parts", "part", "Comparison", "compared", false};
inline constexpr TLoopWords RESTORE_WRITE{"part", "parts", "part", "Restore", "restored"};

struct TLoopOutcome {
  TLoopEnd end = TLoopEnd::Done;
  int64_t total = 0;     // records the loop meant to handle; 0: not known beforehand
  int64_t asked = 0;     // records a command was sent for
  int64_t answered = 0;  // records done: read into the table, saved, deleted
  int64_t failed = 0;    // records that failed and were skipped
  std::vector<int64_t> failedNumbers;
  int64_t reached = 0;   // the number of the record the loop was at when it ended
  // The record whose command was sent but whose answer a stop abandoned (0: none): the
  // device may have done it.
  int64_t abandoned = 0;
  std::string cause;     // why it ended early (Failed); empty when a failed record ended it
  std::string failure;   // the message of the last record that failed

  bool ok() const { return end == TLoopEnd::Done && failed == 0; }
  bool stopped() const { return end == TLoopEnd::Stopped; }
  int64_t handled() const { return answered + failed; }
  // The closing text, its sentences joined by `between` (a line break in a message
  // box, a blank on the command line); empty when ok().
  std::string closingMessage(const TLoopWords& words, const char* between = "\n") const;
  // "PLU 12, 40, 77" (the first 20, then "and N more").
  std::string failedList(const TLoopWords& words) const;
};

// "1,499"
std::string groupedNumber(int64_t n);

// How the window ends a loop: the closing message in a message box when the loop ended
// early or a record is missing, so no gap passes in silence; otherwise "10 items read."
// in the status bar (a save or a delete that went well also says so in its own box).
void showLoopEnd(TDeviceOps& ops, const TLoopOutcome& r, const TLoopWords& words);

// One loop over records, keeping its outcome. While it lives, a stop request also ends
// a wait in progress: the engine's idle hook asks the host and cancels the wait, and a
// cancelled wait (the window's "Cancel" too) ends the loop as stopped, not as a failure.
class TRecordLoop {
 public:
  // Link failures in a row (time-out, connection lost, no valid answer) that end a loop.
  static constexpr int MAX_LINK_FAILURES = 3;

  // `host`: the one whose stop request counts (a page may have its own, else ops.host()).
  TRecordLoop(TDeviceOps& ops, PageHost& host, int64_t total);
  TRecordLoop(TDeviceOps& ops, int64_t total);
  ~TRecordLoop();
  TRecordLoop(const TRecordLoop&) = delete;
  TRecordLoop& operator=(const TRecordLoop&) = delete;

  // Between two records (after the loop let events run): true (and the outcome Stopped)
  // on a stop request. Once true it stays true.
  bool stopRequested();
  // After a command that is no record of its own (a query before the loop, a mode
  // switch): true (and the outcome Stopped) when its wait was cancelled.
  bool waitCancelled();
  // The loop sends the command for record `number`.
  void asking(int64_t number);
  void answered(int64_t number);
  // The device answered that it has no record `number` (a gap, no failure).
  void noRecord(int64_t number);
  // The command for `number` failed (judged by the error container's code): a cancelled
  // wait stops the loop; any other failure is counted and named. False when the loop
  // must end (stopped, or MAX_LINK_FAILURES link failures in a row).
  bool commandFailed(int64_t number);
  // A record the device answered but that cannot be kept (the table refuses a value).
  void refused(int64_t number, const std::string& why);
  // Ends the loop as failed (a step it cannot go on without).
  void fail(const std::string& cause);
  bool ended() const { return fOutcome.end != TLoopEnd::Done; }
  // The loops that end at their first failure: `step(number)` for each number in turn,
  // after letting events run, until a stop request or a step that fails; `done()` after
  // each record the device took.
  template <class Numbers, class Step, class Done>
  void untilFirstFailure(const Numbers& numbers, Step step, Done done) {
    for (const auto number : numbers) {
      fHost.processMessages();
      if (stopRequested()) return;
      asking(number);
      if (!step(number)) {
        if (commandFailed(number)) fail({});
        return;
      }
      answered(number);
      done();
    }
  }
  const TLoopOutcome& outcome() const { return fOutcome; }
  TLoopOutcome& outcome() { return fOutcome; }

 private:
  TDeviceOps& fOps;
  PageHost& fHost;
  TLoopOutcome fOutcome;
  int fLinkFailures = 0;
  std::function<void(const TWaitState&)> fSavedIdle;
};

// A code that says the link failed rather than the device refused.
bool isLinkFailure(int code);

}  // namespace kestrel
