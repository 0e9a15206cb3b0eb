#include "app/logic/pages/journal.h"

#include <algorithm>
#include <stdexcept>

#include "app/logic/device_ops.h"
#include "app/logic/fbh_summer_time.h"
#include "app/logic/page_table.h"
#include "app/logic/pages/fm_reports.h"
#include "app/logic/pages/then_always.h"
#include "app/logic/param_bindings.h"
#include "support/code_pages.h"
#include "support/err_container.h"
#include "support/fd_misc.h"
#include "support/files.h"

namespace kestrel {

namespace {

constexpr char COLUMN_MARK = '\x1D';

// A number of the range: the edits' texts and the period's answer alike. A text that
// is no number raises the conversion error the page shows.
int periodNumber(const std::string& text) { return parseIntValue(text); }

// Field 0 as the device's code; a text that is no number is no code.
bool answerCode(TDeviceOps& ops, int& code) {
  if (ops.fieldCount() < 1) return false;
  try {
    code = parseIntValue(ops.field(0));
    return true;
  } catch (const std::invalid_argument&) {
    return false;
  }
}

}  // namespace

const std::vector<std::string>& journalDocumentTypes() {
  static const std::vector<std::string> types = {
      "Fiscal receipts",      "Storno receipts",     "Daily X reports",
      "Daily Z reports",      "Periodical reports",  "All fiscal receipts",
      "Non-fiscal receipts",  "Copy of fiscal receipt", "All receipts"};
  return types;
}

std::string journalLineShown(std::string line) {
  if (!line.empty() && line[0] == COLUMN_MARK) std::replace(line.begin(), line.end(), COLUMN_MARK, '\t');
  return line;
}

std::string journalSearchInput(const LocalDateTime& start, const LocalDateTime& end, int type, bool autoDst) {
  return fmByDateInput(start, end, autoDst) + std::to_string(type) + "\t";
}

template <class Body>
TLoopOutcome TJournalReader::guarded(const char* method, Body body) {
  ending = TJournalEnd::Done;
  fLooped = false;
  TRecordLoop loop(fOps, 0);
  try {
    body(loop, method);
  } catch (const std::exception& e) {
    fLines.flush();
    fOps.misc.myAlert(exceptionText(method, e.what()), TITLE_KESTREL, inf_OkBtn);
    ending = TJournalEnd::Refused;
    loop.fail(e.what());
  }
  if (ending == TJournalEnd::Done && loop.ended())
    ending = loop.outcome().stopped() ? TJournalEnd::Stopped : TJournalEnd::Refused;
  return loop.outcome();
}

TLoopOutcome TJournalReader::run(const TJournalRequest& request, TJournalMode mode) {
  return guarded(request.byNumber ? "getKLENbyNum" : "getKLENbyDate", [&](TRecordLoop& loop, const char*& method) {
    if (!request.byNumber) {
      if (!bySearch(request, loop)) return;
      // The search found its range; what fails from here is the number loop's.
      method = "getKLENbyNum";
      return byNumbers(fFirst, fLast, request.type, mode, loop);
    }
    byNumbers(periodNumber(request.fromNumber), periodNumber(request.toNumber), request.type, mode, loop);
  });
}

TLoopOutcome TJournalReader::readRange(int from, int to, int type, TJournalMode mode) {
  return guarded("getKLENbyNum",
                 [&](TRecordLoop& loop, const char*&) { byNumbers(from, to, type, mode, loop); });
}

// A check before the loop said why nothing is read.
void TJournalReader::refuse(TRecordLoop& loop, TJournalEnd why, const char* message) {
  fOps.inform(message);
  ending = why;
  loop.fail(message);
}

bool TJournalReader::bySearch(const TJournalRequest& request, TRecordLoop& loop) {
  TDeviceOps::ShowErrOff quiet(fOps);
  if (request.start > request.end) {
    refuse(loop, TJournalEnd::EndBeforeStart, MSG_EJ_END_BEFORE_START);
    return false;
  }
  const bool autoDst = isAutoDateTimeON(fOps);
  if (loop.waitCancelled()) return false;
  if (!fOps.command(124, journalSearchInput(request.start, request.end, request.type, autoDst))) {
    if (loop.waitCancelled()) return false;
    if (fOps.err.LastErrorCode() == CODE_EJ_NO_DOCUMENT) {
      refuse(loop, TJournalEnd::NoDocuments, MSG_EJ_NO_DOCUMENTS);
      return false;
    }
    loop.fail(fOps.err.LastErrorMessage());
    return false;
  }
  fFirst = periodNumber(fOps.field(3));
  fLast = periodNumber(fOps.field(4));
  return true;
}

void TJournalReader::byNumbers(int from, int to, int type, TJournalMode mode, TRecordLoop& loop) {
  TDeviceOps::ShowErrOff quiet(fOps);
  if (to < from) return refuse(loop, TJournalEnd::FromBigger, MSG_EJ_FROM_BIGGER);
  fLooped = true;
  fLines.clear();
  const auto flush = always([&] { fLines.flush(); });
  const std::string typeText = std::to_string(type) + "\t";
  for (int n = from;; ++n) {
    fLines.flush();
    fOps.host().processMessages();
    const std::string number = std::to_string(n) + "\t";
    loop.asking(n);
    fOps.commandUnjudged(125, "0\t" + number + typeText);
    if (fOps.fieldCount() > 0 && fOps.field(0) == "-105000") {
      loop.noRecord(n);
    } else {
      // A refused selection or print request ends the reading.
      if (!fOps.StatusUpdate() || (mode == TJournalMode::Print && !fOps.command(125, "3\t" + number + typeText))) {
        if (loop.commandFailed(n)) loop.fail({});
        return;
      }
      if (readDocument(n, loop)) loop.answered(n);
      if (loop.ended()) return;
    }
    if (n == to || n == INT32_MAX) break;
    if (loop.stopRequested()) return;
  }
  // A stop asked for during the last document still counts.
  loop.stopRequested();
}

bool TJournalReader::readDocument(int number, TRecordLoop& loop) {
  using Clock = std::chrono::steady_clock;
  auto nextEvents = Clock::now() + eventInterval;
  int lines = 0;
  for (;;) {
    fOps.commandUnjudged(125, "1\t");
    int code = 0;
    if (answerCode(fOps, code) && code == CODE_NO_MORE_DATA) return true;
    // A refused line ends its document only; a stop or the link failing ends the loop.
    if (!fOps.StatusUpdate()) {
      loop.commandFailed(number);
      return false;
    }
    fLines.add(journalLineShown(fOps.fieldCount() > 1 ? fOps.field(1) : std::string()));
    ++linesRead;
    if (++lines >= maxDocumentLines) {
      const std::string cut = "Document " + std::to_string(number) + " did not end after " + std::to_string(lines) +
                              " lines; its reading was ended.";
      loop.refused(number, cut);
      fOps.host().set_StatusText(cut);
      return false;
    }
    if (Clock::now() >= nextEvents) {
      // Events also run inside a document, or one that never ends could not be stopped.
      fLines.flush();
      fOps.host().processMessages();
      nextEvents = Clock::now() + eventInterval;
    }
    if (loop.stopRequested()) return false;
  }
}

void writeJournalFile(const std::string& path, const std::vector<std::string>& lines) {
  std::string bytes;
  for (const auto& line : lines) {
    bytes += utf8ToCodePage(line, 1250);
    bytes += '\n';
  }
  writeFileAtomically(path, bytes);
}

bool saveJournal(TDeviceOps& ops, const std::vector<std::string>& lines) {
  const std::string path = ops.host().saveFileName("Save EJ to file...", EJ_FILE_FILTER, ".txt");
  if (path.empty()) return false;
  writeJournalFile(path, lines);
  ops.inform(MSG_EJ_SAVED + path);
  return true;
}

}  // namespace kestrel
