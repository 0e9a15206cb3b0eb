// Text files of the pages: byte-order marks, broken sequences and line ends.
#include <gtest/gtest.h>

#include "app/logic/text_file.h"

#include <unistd.h>

#include <filesystem>

namespace kestrel {
namespace {

TEST(TextFile, DecodesEveryMarkAndRepairsBrokenSequences) {
  struct Case {
    const char* name;
    std::string bytes, text;
  };
  const Case cases[] = {
      // U+1F600 as a surrogate pair, both byte orders.
      {"utf16le pair", std::string("\xFF\xFE\x3D\xD8\x00\xDE", 6), "\xF0\x9F\x98\x80"},
      {"utf16be pair", std::string("\xFE\xFF\xD8\x3D\xDE\x00", 6), "\xF0\x9F\x98\x80"},
      // A lone surrogate and half a code unit at the end.
      {"utf16le lone", std::string("\xFF\xFE\x3D\xD8" "A\0" "B", 7), "\xEF\xBF\xBD" "A\xEF\xBF\xBD"},
      {"utf8 invalid", "\xEF\xBB\xBF" "a\xFF" "b", "a\xEF\xBF\xBD" "b"},
      // Without a mark the bytes are code page 1250, even when they look like UTF-8.
      {"1250", "\xC5\xA0", "\xC4\xB9\xC2\xA0"},  // L with acute, no-break space
      {"empty", "", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(decodeTextBytes(c.bytes, 1250), c.text) << c.name;
}

TEST(TextFile, SplitsAtEveryLineEnd) {
  EXPECT_EQ(splitTextLines("a\r\nb\nc\rd"), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(splitTextLines("a\r\n\r\n"), (std::vector<std::string>{"a", ""}));
  EXPECT_EQ(splitTextLines("\n"), (std::vector<std::string>{""}));
  EXPECT_TRUE(splitTextLines("").empty());
}

// A long file written line by line is byte for byte the file writeTextLines writes,
// whatever falls on the boundaries of its pieces; unfinished, it leaves the old file.
TEST(TextFile, LineWriterWritesWhatWriteTextLinesWrites) {
  const auto dir = std::filesystem::temp_directory_path() / ("kestrel_text_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string a = (dir / "a.csv").string(), b = (dir / "b.csv").string();
  std::vector<std::string> lines;
  // Letters of 1250, one outside it and a letter with a combining mark, about 1 MB.
  for (int i = 0; i < 20000; ++i)
    lines.push_back(std::to_string(i) + ";\"\xC4\x8C" "aj \xC5\xA1" "ifra\";\xE2\x82\xAC;\xE2\x82\xB9;Z\xCC\x8C;" + std::string(i % 37, 'x'));
  writeTextLines(a, lines);
  {
    TTextFileWriter writer(b);
    for (const auto& line : lines) {
      writer.line() += line;
      writer.endLine();
    }
    writer.commit();
  }
  EXPECT_EQ(readWholeFile(b), readWholeFile(a));
  {
    TTextFileWriter unfinished(b);
    unfinished.line() += "half";
    unfinished.endLine();
  }
  EXPECT_EQ(readWholeFile(b), readWholeFile(a));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 2)
      << "no temporary file left";
  std::filesystem::remove_all(dir);
}

// Read a piece at a time, a file gives the lines readTextLines gives, and counts them
// first, whatever falls on the boundary of two pieces (64 KiB) and whatever the mark.
TEST(TextFile, LineReaderGivesTheLinesOfReadTextLines) {
  const auto dir = std::filesystem::temp_directory_path() / ("kestrel_reader_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "r.csv").string();
  const std::string piece(65535, 'x');
  const std::string cases[] = {
      "a\r\nb\nc\rd",
      "a\r\n\r\n",
      "\n",
      "",
      "\xC8" "aj\r\n",                       // 1250
      piece + "\r\nnext\r\nlast",           // CR and LF in two pieces
      piece + "\rnext",                       // CR as the last byte of a piece
      piece.substr(1) + "\r\n\r\n",           // CR LF at the boundary, then an empty line
      "ab\r\ncd",                            // CR LF across the 3 bytes looked at for a mark
      piece + "xxx\r\nz",                    // CR LF across two pieces of the counting pass
      piece + "\x8A" "a\r\n",                // a 1250 letter as the last byte of a piece
      "\xEF\xBB\xBFmarked\r\n\xC4\x8C",        // UTF-8 with its mark: read whole
  };
  for (const std::string& bytes : cases) {
    SCOPED_TRACE(bytes.substr(0, 12));
    writeFileAtomically(path, bytes);
    const std::vector<std::string> expected = readTextLines(path, ITEMS_CSV_INPUT);
    TTextLineReader reader(path, ITEMS_CSV_INPUT);
    EXPECT_EQ(reader.lineCount(), expected.size());
    std::vector<std::string> got;
    for (std::string line; reader.next(line);) got.push_back(line);
    EXPECT_EQ(got, expected);
  }
  EXPECT_THROW(TTextLineReader((dir / "missing.csv").string(), ITEMS_CSV_INPUT), EFileError);
  EXPECT_THROW(TTextLineReader(dir.string(), ITEMS_CSV_INPUT), EFileError);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace kestrel
