#pragma once
// The electronic journal: documents of one type chosen by a period (command 124) or by
// a range of numbers, each selected (125 "0"), optionally printed (125 "3"), and read
// line by line (125 "1") into the page's text; the text saved to a file.
#include <chrono>
#include <string>
#include <vector>

#include "app/logic/loop_outcome.h"
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

// Why a reading ended as it did: the checks before the loop (each with its own message),
// or how the loop ended.
enum class TJournalEnd {
  Done,           // every number of the range was taken
  EndBeforeStart, // the period's end lies before its start; nothing sent
  FromBigger,     // the range is reversed; nothing read
  NoDocuments,    // the period holds no document of the type
  Refused,        // a selection or print request was refused (or an exception); the reading ended
  Stopped,        // "Stop read", the wait's "Cancel", Escape or Ctrl-C
};

// bbtnGetKLENClick and btnPrintEJClick. One object per reading.
class TJournalReader {
 public:
  TJournalReader(TDeviceOps& ops, TJournalLines& lines) : fOps(ops), fLines(lines) {}

  // A document that does not end (no -100003) would hold the reading forever: after
  // this many lines its reading ends, the document counted as not read.
  int maxDocumentLines = 100000;
  // While the lines of one document arrive, pending events run this often, so that a
  // "Stop read" is seen also inside a long document.
  std::chrono::milliseconds eventInterval{50};

  // The period search (getKLENbyDate) or the number loop (getKLENbyNum) with the
  // request; an exception comes back as "Exception in method "name": ...". The stop
  // request is the host's. The outcome counts documents: read (selected, printed and
  // all their lines taken) or failed (a refused line, a document cut at the bound, a
  // refused selection or print request), named by number; a missing number is no
  // document.
  TLoopOutcome run(const TJournalRequest& request, TJournalMode mode);
  // The number loop with numbers already known.
  TLoopOutcome readRange(int from, int to, int type, TJournalMode mode);

  TJournalEnd ending = TJournalEnd::Done;
  // The number loop began (the checks before it passed and their messages did not end
  // the reading): only then does the outcome need a closing message.
  bool looped() const { return fLooped; }
  int linesRead = 0;

 private:
  // Runs `body(loop, method)`; an exception is shown as the exception of `method`.
  template <class Body>
  TLoopOutcome guarded(const char* method, Body body);
  void refuse(TRecordLoop& loop, TJournalEnd why, const char* message);
  // The period's first and last number into fFirst and fLast; false: nothing to read.
  bool bySearch(const TJournalRequest& request, TRecordLoop& loop);
  void byNumbers(int from, int to, int type, TJournalMode mode, TRecordLoop& loop);
  // False when the document was not read whole (a refused line, the bound, a stop).
  bool readDocument(int number, TRecordLoop& loop);

  TDeviceOps& fOps;
  TJournalLines& fLines;
  bool fLooped = false;
  int fFirst = 0, fLast = 0;
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
