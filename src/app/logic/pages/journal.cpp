#include "app/logic/pages/journal.h"

#include <algorithm>
#include <stdexcept>

#include "app/logic/device_ops.h"
#include "app/logic/fbh_summer_time.h"
#include "app/logic/page_table.h"
#include "app/logic/pages/fm_reports.h"
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

bool TJournalReader::stopped() { return stopRequested ? stopRequested() : fOps.host().stopRequested(); }

TJournalEnd TJournalReader::run(const TJournalRequest& request, TJournalMode mode) {
  const char* method = request.byNumber ? "getKLENbyNum" : "getKLENbyDate";
  try {
    if (!request.byNumber) return bySearch(request, mode);
    const int from = periodNumber(request.fromNumber);
    const int to = periodNumber(request.toNumber);
    return byNumbers(from, to, request.type, mode);
  } catch (const std::exception& e) {
    fLines.flush();
    fOps.misc.myAlert(exceptionText(method, e.what()), TITLE_KESTREL, inf_OkBtn);
    return TJournalEnd::Refused;
  }
}

TJournalEnd TJournalReader::readRange(int from, int to, int type, TJournalMode mode) {
  try {
    return byNumbers(from, to, type, mode);
  } catch (const std::exception& e) {
    fLines.flush();
    fOps.misc.myAlert(exceptionText("getKLENbyNum", e.what()), TITLE_KESTREL, inf_OkBtn);
    return TJournalEnd::Refused;
  }
}

TJournalEnd TJournalReader::bySearch(const TJournalRequest& request, TJournalMode mode) {
  TDeviceOps::ShowErrOff quiet(fOps);
  if (request.start > request.end) {
    fOps.inform(MSG_EJ_END_BEFORE_START);
    return TJournalEnd::EndBeforeStart;
  }
  const bool autoDst = isAutoDateTimeON(fOps);
  if (!fOps.command(124, journalSearchInput(request.start, request.end, request.type, autoDst))) {
    if (fOps.err.LastErrorCode() == CODE_EJ_NO_DOCUMENT) {
      fOps.inform(MSG_EJ_NO_DOCUMENTS);
      return TJournalEnd::NoDocuments;
    }
    return TJournalEnd::Refused;
  }
  const int first = periodNumber(fOps.field(3));
  const int last = periodNumber(fOps.field(4));
  try {
    return byNumbers(first, last, request.type, mode);
  } catch (const std::exception& e) {
    // The search found its range; what fails from here is the number loop's.
    fLines.flush();
    fOps.misc.myAlert(exceptionText("getKLENbyNum", e.what()), TITLE_KESTREL, inf_OkBtn);
    return TJournalEnd::Refused;
  }
}

TJournalEnd TJournalReader::byNumbers(int from, int to, int type, TJournalMode mode) {
  TDeviceOps::ShowErrOff quiet(fOps);
  if (to < from) {
    fOps.inform(MSG_EJ_FROM_BIGGER);
    return TJournalEnd::FromBigger;
  }
  fLines.clear();
  const std::string typeText = std::to_string(type) + "\t";
  for (int n = from;; ++n) {
    fLines.flush();
    fOps.host().processMessages();
    const std::string number = std::to_string(n) + "\t";
    fOps.commandUnjudged(125, "0\t" + number + typeText);
    const bool missing = fOps.fieldCount() > 0 && fOps.field(0) == "-105000";
    if (!missing) {
      if (!fOps.StatusUpdate()) {
        fLines.flush();
        return TJournalEnd::Refused;
      }
      if (mode == TJournalMode::Print && !fOps.command(125, "3\t" + number + typeText)) {
        fLines.flush();
        return TJournalEnd::Refused;
      }
      readDocument(n);
    }
    if (n == to || n == INT32_MAX) break;
    if (stopped()) {
      fLines.flush();
      return TJournalEnd::Stopped;
    }
  }
  fLines.flush();
  return stopped() ? TJournalEnd::Stopped : TJournalEnd::Done;
}

void TJournalReader::readDocument(int number) {
  using Clock = std::chrono::steady_clock;
  auto nextEvents = Clock::now() + eventInterval;
  int lines = 0;
  for (;;) {
    fOps.commandUnjudged(125, "1\t");
    int code = 0;
    if (answerCode(fOps, code) && code == CODE_NO_MORE_DATA) break;
    if (!fOps.StatusUpdate()) {
      ++linesRefused;
      break;
    }
    fLines.add(journalLineShown(fOps.fieldCount() > 1 ? fOps.field(1) : std::string()));
    ++linesRead;
    if (++lines >= maxDocumentLines) {
      ++documentsCut;
      fOps.host().set_StatusText("Document " + std::to_string(number) + " did not end after " +
                                 std::to_string(lines) + " lines; its reading was ended.");
      break;
    }
    if (Clock::now() >= nextEvents) {
      // Events also run inside a document, or one that never ends could not be stopped.
      fLines.flush();
      fOps.host().processMessages();
      nextEvents = Clock::now() + eventInterval;
    }
    if (stopped()) break;
  }
  ++documentsRead;
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
