// Text files of the pages: byte-order marks, broken sequences and line ends.
#include <gtest/gtest.h>

#include "app/logic/text_file.h"

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

}  // namespace
}  // namespace kestrel
