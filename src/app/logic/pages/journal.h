#pragma once
// The electronic journal: documents of one type chosen by a period (command 124) or by
// a range of numbers, each selected (125 "0"), optionally printed (125 "3"), and read
// line by line (125 "1") into the page's text; the text saved to a file.
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "support/date_time.h"

namespace kestrel {

class TDeviceOps;

// The list of "Document types:"; the position is the type code sent.
const std::vector<std::string>& journalDocumentTypes();

inline constexpr int CODE_EJ_NO_DOCUMENT = -105000;
inline constexpr int CODE_NO_MORE_DATA = -100003;
inline constexpr const char* MSG_EJ_END_BEFORE_START = "End date cannot be smaller than start date!";
inline constexpr const char* MSG_EJ_NO_DOCUMENTS = "No documents in the period";
inline constexpr const char* MSG_EJ_FROM_BIGGER = "\"From number\" cannot be bigger than \"To number\"";
inline constexpr const char* MSG_EJ_SAVED = "EJ saved to: ";
inline constexpr const char* EJ_FILE_FILTER = "txt|*.txt";

// A journal line as the page shows it: a line that starts with the column mark
// (character 29) has every column mark turned into TAB; any other line is unchanged.
std::string journalLineShown(std::string line);

// Where the lines of a reading go: the page's text area, or standard output.
class TJournalLines {
 public:
  virtual ~TJournalLines() = default;
  // A reading with a valid range begins: the old lines go ("Stop read" comes on).
  virtual void clear() = 0;
  virtual void add(const std::string& line) = 0;
  // The lines added so far should be shown now (before events run, at the end).
  virtual void flush() {}
};

struct TJournalRequest {
  int type = 0;
  bool byNumber = false;
  LocalDateTime start, end;
  std::string fromNumber, toNumber;  // the edits' texts
};

enum class TJournalMode { Read, Print };

// How a reading ended, for the page (focus) and the command-line tool (exit status).
enum class TJournalEnd {
  Done,           // every number of the range was taken
  EndBeforeStart, // the period's end lies before its start; nothing sent
  FromBigger,     // the range is reversed; nothing read
  NoDocuments,    // the period holds no document of the type
  Refused,        // a selection or print request was refused; the reading ended
  Stopped,        // "Stop read" (or Ctrl-C)
};

// bbtnGetKLENClick and btnPrintEJClick. One object per reading.
class TJournalReader {
 public:
  TJournalReader(TDeviceOps& ops, TJournalLines& lines) : fOps(ops), fLines(lines) {}

  // The stop request (Stop_read_klen); the host's stop request when not set.
  std::function<bool()> stopRequested;
  // A document that does not end (no -100003) would hold the reading forever: after
  // this many lines its reading ends with a message in the status bar.
  int maxDocumentLines = 100000;
  // While the lines of one document arrive, pending events run this often, so that a
  // "Stop read" is seen also inside a long document.
  std::chrono::milliseconds eventInterval{50};

  // The period search (getKLENbyDate) or the number loop (getKLENbyNum) with the
  // request; an exception comes back as "Exception in method "name": ...".
  TJournalEnd run(const TJournalRequest& request, TJournalMode mode);
  // The number loop with numbers already known.
  TJournalEnd readRange(int from, int to, int type, TJournalMode mode);

  int documentsRead = 0;     // documents selected (and printed) whose lines were read
  int linesRead = 0;
  int linesRefused = 0;      // documents ended by a refused line
  int documentsCut = 0;      // documents ended by the line bound

 private:
  TJournalEnd bySearch(const TJournalRequest& request, TJournalMode mode);
  TJournalEnd byNumbers(int from, int to, int type, TJournalMode mode);
  void readDocument(int number);
  bool stopped();

  TDeviceOps& fOps;
  TJournalLines& fLines;
};

// Command 124's input: start TAB end TAB type TAB (dates as the fiscal memory report
// writes them).
std::string journalSearchInput(const LocalDateTime& start, const LocalDateTime& end, int type, bool autoDst);

// The lines, each ended by LF, in code page 1250 without a byte-order mark, through a
// temporary file renamed over `path`. Throws EFileError.
void writeJournalFile(const std::string& path, const std::vector<std::string>& lines);
// bbtnSaveKLtoFileClick: asks for the file, writes it and says where. False when the
// user cancelled.
bool saveJournal(TDeviceOps& ops, const std::vector<std::string>& lines);

}  // namespace kestrel
