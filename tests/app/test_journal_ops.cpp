// The electronic journal against the simulator: the period search and the number loop
// with a missing document, a refused selection and a refused line, printing, the column
// mark, a document that never ends, saving, and the document checks.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include <filesystem>
#include <fstream>

#include "app/logic/pages/document_check.h"
#include "app/logic/pages/journal.h"
#include "app/ops_fixture.h"
#include "sim/device_codes.h"
#include "support/files.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

constexpr int TYPE_X = 2;

struct Lines : TJournalLines {
  void clear() override {
    lines.clear();
    ++clears;
  }
  void add(const std::string& line) override { lines.push_back(line); }
  std::vector<std::string> lines;
  int clears = 0;
};

// A journal of X reports 1, 2, 3, a cash-in slip 4 (non-fiscal) and X report 5, all
// dated 1 July 2025 10:00 by the simulator's clock.
struct Journal : apptest::OpsOnSim {
  Journal() {
    for (const char* in : {"X\t", "X\t", "X\t"}) EXPECT_TRUE(ops.command(69, in));
    EXPECT_TRUE(ops.command(70, "0\t10.00\t"));
    EXPECT_TRUE(ops.command(69, "X\t"));
    clearSent();
    dialogs.shown.clear();
  }
  std::vector<std::string> linesOf(int number) {
    return device([&](sim::DeviceModel& d) {
      std::vector<std::string> shown;
      for (const auto& doc : d.state().journal)
        if (doc.number == number)
          for (const auto& l : doc.lines) shown.push_back(journalLineShown(l));
      return shown;
    });
  }
  // The refusal `code` for command 125 with `input`, the `nth` time it comes.
  void refuse(const std::string& input, int nth, int code) {
    device([&](sim::DeviceModel& d) {
      d.commandFault = [input, nth, code, seen = 0](uint16_t cmd, std::string_view in) mutable {
        return cmd == 125 && in == input && ++seen == nth ? code : 0;
      };
    });
  }
  std::vector<std::string> concat(std::initializer_list<int> numbers) {
    std::vector<std::string> all;
    for (int n : numbers) {
      const auto l = linesOf(n);
      all.insert(all.end(), l.begin(), l.end());
    }
    return all;
  }
  Lines out;
  TJournalReader reader{ops, out};
};

TJournalRequest numbers(const std::string& from, const std::string& to, int type = TYPE_X) {
  TJournalRequest r;
  r.type = type;
  r.byNumber = true;
  r.fromNumber = from;
  r.toNumber = to;
  return r;
}

TJournalRequest period(LocalDateTime start, LocalDateTime end, int type = TYPE_X) {
  TJournalRequest r;
  r.type = type;
  r.start = start;
  r.end = end;
  return r;
}

TEST(JournalOps, ColumnMarkAtTheStartOfALineBecomesTab) {
  EXPECT_EQ(journalLineShown("\x1DTOTAL\x1D" "12.00"), "\tTOTAL\t12.00");
  EXPECT_EQ(journalLineShown("TOTAL\x1D" "12.00"), "TOTAL\x1D" "12.00");
  EXPECT_EQ(journalLineShown(""), "");
}

TEST(JournalOps, ByNumbersSkipsAMissingDocumentSilentlyAndReadsEveryLine) {
  Journal j;
  const TLoopOutcome r = j.reader.run(numbers("3", "5"), TJournalMode::Read);
  EXPECT_EQ(j.reader.ending, TJournalEnd::Done);
  EXPECT_TRUE(r.ok()) << "a missing number is no failed document";
  EXPECT_EQ(j.out.lines, j.concat({3, 5}));
  EXPECT_EQ(j.out.lines[1], "X REPORT");
  EXPECT_EQ(j.out.lines[2], "\tZ No.\t0001");
  EXPECT_TRUE(j.dialogs.shown.empty());
  EXPECT_EQ(j.ops.failedVerdicts, 0);
  EXPECT_TRUE(j.ops.ShowErr()) << "ShowErr is back on";
  EXPECT_EQ(j.inputsOf(125).front(), "0\t3\t2\t");
  EXPECT_EQ(r.answered, 2);

  // 5 to 5 reads one document; 6 to 5 leaves the lines as they were.
  j.reader.run(numbers("5", "5"), TJournalMode::Read);
  EXPECT_EQ(j.reader.ending, TJournalEnd::Done);
  EXPECT_EQ(j.out.lines, j.linesOf(5));
  j.reader.run(numbers("6", "5"), TJournalMode::Read);
  EXPECT_EQ(j.reader.ending, TJournalEnd::FromBigger);
  EXPECT_EQ(j.dialogs.shown.back().text, "\"From number\" cannot be bigger than \"To number\"");
  EXPECT_EQ(j.out.lines, j.linesOf(5));
}

TEST(JournalOps, ARefusedLineEndsOnlyItsDocumentAndARefusedSelectionEndsTheRange) {
  Journal j;
  const auto one = j.linesOf(1), two = j.linesOf(2), three = j.linesOf(3);
  // Document 1's lines and its end, then the third line of document 2 is refused.
  j.refuse("1\t", static_cast<int>(one.size()) + 1 + 3, sim::ERR_SYNTAX);
  const TLoopOutcome r = j.reader.run(numbers("1", "3"), TJournalMode::Read);
  EXPECT_EQ(j.reader.ending, TJournalEnd::Done);
  std::vector<std::string> expected = one;
  expected.insert(expected.end(), two.begin(), two.begin() + 2);
  expected.insert(expected.end(), three.begin(), three.end());
  EXPECT_EQ(j.out.lines, expected);
  EXPECT_EQ(r.answered, 2);
  EXPECT_EQ(r.failedNumbers, std::vector<int64_t>{2});
  EXPECT_EQ(r.closingMessage(JOURNAL_READ).rfind("1 document could not be read: document 2 (", 0), 0u)
      << r.closingMessage(JOURNAL_READ);
  EXPECT_EQ(j.ops.failedVerdicts, 1);
  EXPECT_FALSE(j.host.statusHistory.empty()) << "the refusal goes to the status bar";
  EXPECT_TRUE(j.dialogs.shown.empty());

  // A refused selection (other than "no such document") ends the whole range.
  j.refuse("0\t2\t2\t", 1, sim::ERR_SYNTAX);
  j.clearSent();
  const TLoopOutcome selection = j.reader.run(numbers("1", "3"), TJournalMode::Read);
  EXPECT_EQ(j.reader.ending, TJournalEnd::Refused);
  EXPECT_EQ(selection.closingMessage(JOURNAL_READ).rfind("Read ended at document 2 after 2 documents.\n1 document could not be read: document 2", 0), 0u)
      << selection.closingMessage(JOURNAL_READ);
  EXPECT_EQ(j.out.lines, one);
  EXPECT_EQ(j.inputsOf(125).back(), "0\t2\t2\t") << "document 3 is never selected";
}

TEST(JournalOps, PrintSelectsPrintsAndShowsEachExistingDocument) {
  Journal j;
  j.reader.run(numbers("3", "5"), TJournalMode::Print);
  EXPECT_EQ(j.reader.ending, TJournalEnd::Done);
  EXPECT_EQ(j.out.lines, j.concat({3, 5}));
  const auto in = j.inputsOf(125);
  ASSERT_GE(in.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(in.begin(), in.begin() + 3), (std::vector<std::string>{"0\t3\t2\t", "3\t3\t2\t", "1\t"}));
  EXPECT_EQ(std::count(in.begin(), in.end(), "3\t4\t2\t"), 0) << "a missing document is not printed";
  EXPECT_EQ(std::count(in.begin(), in.end(), "3\t5\t2\t"), 1);

  // A refused print request ends the range.
  j.refuse("3\t3\t2\t", 1, sim::ERR_SYNTAX);
  j.reader.run(numbers("3", "5"), TJournalMode::Print);
  EXPECT_EQ(j.reader.ending, TJournalEnd::Refused);
  EXPECT_TRUE(j.out.lines.empty());
}

TEST(JournalOps, PeriodSearchFindsTheRangeOrSaysTheresNone) {
  Journal j;
  const LocalDateTime nine{2025, 7, 1, 9, 0, 0, 0}, eleven{2025, 7, 1, 11, 0, 0, 0};
  j.reader.run(period(nine, eleven), TJournalMode::Read);
  EXPECT_EQ(j.reader.ending, TJournalEnd::Done);
  EXPECT_EQ(j.inputsOf(124), std::vector<std::string>{"01-07-25 09:00:00 DST\t01-07-25 11:00:00 DST\t2\t"});
  EXPECT_EQ(j.out.lines, j.concat({1, 2, 3, 5}));

  j.reader.run(period(eleven, nine), TJournalMode::Read);
  EXPECT_EQ(j.reader.ending, TJournalEnd::EndBeforeStart);
  EXPECT_EQ(j.dialogs.shown.back().text, "End date cannot be smaller than start date!");
  EXPECT_EQ(j.inputsOf(124).size(), 1u);

  j.host.statusHistory.clear();
  j.reader.run(period(nine, eleven, 1), TJournalMode::Read);
  EXPECT_EQ(j.reader.ending, TJournalEnd::NoDocuments);
  ASSERT_FALSE(j.host.statusHistory.empty()) << "the device's error stands in the status bar";
  EXPECT_EQ(j.dialogs.shown.back().text, "No documents in the period");
  EXPECT_TRUE(j.ops.ShowErr());
}

TEST(JournalOps, NumbersThatAreNoNumbersFailWithTheLoopsNameAndSendNothing) {
  Journal j;
  j.reader.run(numbers("", "3"), TJournalMode::Read);
  EXPECT_EQ(j.reader.ending, TJournalEnd::Refused);
  ASSERT_EQ(j.dialogs.shown.size(), 1u);
  EXPECT_EQ(j.dialogs.shown[0].text.rfind("Exception in method \"getKLENbyNum\": ", 0), 0u) << j.dialogs.shown[0].text;
  EXPECT_TRUE(j.sent.empty());
}

TEST(JournalOps, ADocumentThatNeverEndsIsCutAtTheBoundOrStoppedWhileItsLinesArrive) {
  Journal j;
  j.device([](sim::DeviceModel& d) { d.endlessDocument = 2; });
  j.reader.maxDocumentLines = 60;
  const TLoopOutcome cut = j.reader.run(numbers("1", "3"), TJournalMode::Read);
  EXPECT_EQ(j.reader.ending, TJournalEnd::Done);
  EXPECT_EQ(cut.failedNumbers, std::vector<int64_t>{2}) << "a cut document is no document read";
  EXPECT_FALSE(cut.ok());
  EXPECT_EQ(j.out.lines.size(), j.linesOf(1).size() + 60 + j.linesOf(3).size()) << "document 3 is still read";
  ASSERT_FALSE(j.host.statusHistory.empty());
  EXPECT_EQ(j.host.statusHistory.back(), "Document 2 did not end after 60 lines; its reading was ended.");

  // Without a bound: a stop asked for while the lines arrive ends the document and the range.
  TJournalReader endless(j.ops, j.out);
  endless.eventInterval = std::chrono::milliseconds(0);
  endless.maxDocumentLines = 1 << 30;
  j.clearSent();
  j.host.stopChecks = 0;
  j.host.stopAfterChecks = 2;  // inside document 2, after its first lines
  const TLoopOutcome stopped = endless.run(numbers("2", "3"), TJournalMode::Read);
  EXPECT_EQ(endless.ending, TJournalEnd::Stopped);
  EXPECT_EQ(stopped.closingMessage(JOURNAL_READ), "Read stopped at document 2 after 0 documents.");
  EXPECT_GE(j.out.lines.size(), 1u) << "the lines read so far stay";
  const auto in = j.inputsOf(125);
  EXPECT_EQ(std::count(in.begin(), in.end(), "0\t3\t2\t"), 0) << "document 3 is never selected";
}

TEST(JournalOps, SavedJournalIsCodePage1250WithLFAndChecksAsItsDocument) {
  Journal j;
  ASSERT_TRUE(j.ops.writeParam("Header", "0", "ČAJ & ŠOP"));
  ASSERT_TRUE(j.ops.command(69, "X\t"));  // document 6
  ASSERT_TRUE(j.reader.run(numbers("6", "6"), TJournalMode::Read).ok());
  const std::vector<std::string> doc = j.out.lines;

  const fs::path dir = fs::temp_directory_path() / ("kestrel-ej-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string file = (dir / "ej.txt").string();
  const std::string tmp = (dir / TMP_VALIDATION_FILE).string();
  {
    std::ofstream(file) << "old";
  }
  j.host.files = {file};
  ASSERT_TRUE(saveJournal(j.ops, doc));
  EXPECT_EQ(j.host.filters.back(), "txt|*.txt");
  EXPECT_EQ(j.dialogs.shown.back().text, "EJ saved to: " + file);
  const std::string bytes = readWholeFile(file);
  EXPECT_EQ(bytes.find('\r'), std::string::npos);
  EXPECT_EQ(bytes.substr(0, 10), "\xC8" "AJ & \x8AOP\n");
  EXPECT_FALSE(saveJournal(j.ops, doc)) << "cancelled: nothing written";

  // The journal text: the hash line without its blanks (it starts with a TAB).
  const auto valid = checkDocument(j.misc, doc, THashForm::Line, tmp);
  ASSERT_TRUE(valid);
  EXPECT_TRUE(valid->valid) << valid->printed << " / " << valid->calculated;
  EXPECT_EQ(valid->printed.size(), 32u);
  EXPECT_EQ(valid->printed, valid->calculated);
  EXPECT_FALSE(fs::exists(tmp));
  // The saved file: the hash as field 1 of its line.
  const auto fromFile = checkDocument(j.misc, readJournalFile(file), THashForm::Field1, tmp);
  ASSERT_TRUE(fromFile);
  EXPECT_TRUE(fromFile->valid);
  EXPECT_STREQ(fromFile->resultText(), "Document is VALID.");

  std::vector<std::string> altered = doc;
  altered[3] += " ";
  const auto bad = checkDocument(j.misc, altered, THashForm::Line, tmp);
  ASSERT_TRUE(bad);
  EXPECT_FALSE(bad->valid);
  EXPECT_EQ(bad->printed, valid->printed);
  EXPECT_STREQ(bad->resultText(), "Document is NOT VALID.");

  EXPECT_FALSE(checkDocument(j.misc, {}, THashForm::Line, tmp));
  // No "{ logo }": the first line stands for the hash and nothing is hashed.
  const auto none = checkDocument(j.misc, {" ABC ", "L2"}, THashForm::Line, tmp);
  ASSERT_TRUE(none);
  EXPECT_EQ(none->printed, "ABC");
  EXPECT_EQ(none->calculated, "D41D8CD98F00B204E9800998ECF8427E");
  // "{ logo }" on the first line fails; the temporary file is gone also then.
  { std::ofstream(tmp) << "left over"; }
  EXPECT_THROW(checkDocument(j.misc, {"{ logo }", "L2"}, THashForm::Line, tmp), std::out_of_range);
  EXPECT_FALSE(fs::exists(tmp));
  fs::remove_all(dir);
}

}  // namespace
}  // namespace kestrel
