// The built-in code page tables against the C library's iconv, byte by byte and
// character by character.
#include <gtest/gtest.h>
#include <iconv.h>

#include <cerrno>
#include <optional>
#include <string>

#include "support/code_pages.h"
#include "support/utf8.h"

using namespace kestrel;

namespace {

// iconv's conversion of `in`, or nothing when iconv rejects it.
std::optional<std::string> viaIconv(const char* to, const char* from, const std::string& in) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open failed");
  std::string src = in;
  char out[16];
  char* inPtr = src.data();
  size_t inLeft = src.size();
  char* outPtr = out;
  size_t outLeft = sizeof out;
  const size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
  iconv_close(cd);
  if (rc == static_cast<size_t>(-1) || inLeft != 0) return std::nullopt;
  return std::string(out, outPtr);
}

std::string utf8Of(char32_t cp) {
  std::string s;
  appendUtf8(s, cp);
  return s;
}

class CodePageTest : public testing::TestWithParam<unsigned> {
 protected:
  std::string iconvName() const { return "CP" + std::to_string(GetParam()); }
};

TEST_P(CodePageTest, EveryByteDecodesLikeIconvAndRoundTrips) {
  const unsigned cp = GetParam();
  for (int b = 0; b < 256; ++b) {
    const std::string byte(1, static_cast<char>(b));
    const auto expected = viaIconv("UTF-8", iconvName().c_str(), byte);
    // Bytes the code page leaves undefined stand for the C1 control of the same value.
    const std::string want = expected ? *expected : utf8Of(static_cast<char32_t>(b));
    const std::string text = codePageToUtf8(byte, cp);
    EXPECT_EQ(text, want) << "cp " << cp << " byte " << b;
    EXPECT_EQ(utf8ToCodePage(text, cp), byte) << "cp " << cp << " byte " << b;
  }
}

TEST_P(CodePageTest, EveryBmpCharacterEncodesLikeIconvOrBecomesQuestionMark) {
  const unsigned cp = GetParam();
  for (char32_t c = 1; c < 0x10000; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    const std::string text = utf8Of(c);
    const std::string got = utf8ToCodePage(text, cp);
    const auto expected = viaIconv(iconvName().c_str(), "UTF-8", text);
    if (expected) {
      ASSERT_EQ(got, *expected) << "cp " << cp << " U+" << std::hex << static_cast<unsigned>(c);
    } else if (c >= 0x80 && c <= 0x9F && codePageToUtf8(std::string(1, static_cast<char>(c)), cp) == text) {
      ASSERT_EQ(got, std::string(1, static_cast<char>(c)));  // an undefined byte's C1 control
    } else {
      ASSERT_EQ(got, "?") << "cp " << cp << " U+" << std::hex << static_cast<unsigned>(c);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(WindowsCodePages, CodePageTest, testing::Values(1250u, 1251u, 1252u));

TEST(CodePages, ComposesCombiningSequencesWhereTheCodePageHasTheLetter) {
  struct Case {
    const char* text;
    unsigned cp;
    const char* bytes;
  };
  const Case cases[] = {
      {"e\u0301", 1250, "\xE9"},             // é
      {"c\u030C", 1250, "\xE8"},             // č
      {"Z\u030Cu\u0301", 1250, "\x8E\xFA"},  // Žú
      {"a\u0328", 1250, "\xB9"},             // ą (ogonek)
      {"o\u030B", 1250, "\xF5"},             // ő (double acute)
      {"z\u030C", 1252, "\x9E"},             // ž exists in 1252 too
      {"\u0438\u0306", 1251, "\xE9"},        // й
      {"\u0415\u0308", 1251, "\xA8"},        // Ё
      {"c\u030C", 1252, "c?"},               // 1252 has no č: the mark stays unmapped
      {"a\u0301\u0301", 1250, "\xE1?"},      // one mark composes, the second has no letter
      {"\u0301", 1250, "?"},                 // a lone mark
      {"\u00E9e\u0301", 437, "?e?"},        // a code page without a table
  };
  for (const Case& c : cases) EXPECT_EQ(utf8ToCodePage(c.text, c.cp), c.bytes) << c.text << " cp " << c.cp;
}

TEST(CodePages, UnmappableAndInvalidInputBecomesQuestionMarks) {
  EXPECT_EQ(utf8ToCodePage("Cena \u0436 1", 1250), "Cena ? 1");  // Cyrillic in 1250
  EXPECT_EQ(utf8ToCodePage("\U0001F600", 1252), "?");           // outside the BMP
  EXPECT_EQ(utf8ToCodePage("a\xFF" "b", 1250), "a?b");             // not UTF-8
  EXPECT_EQ(utf8ToCodePage("a\xC5", 1250), "a?");                  // truncated sequence
  EXPECT_EQ(utf8ToCodePage("\xC0\x80", 1250), "??");               // overlong NUL
  EXPECT_EQ(utf8ToCodePage("", 1250), "");
  EXPECT_EQ(codePageToUtf8("A\xE8", 866), "A?");
  EXPECT_TRUE(isSupportedCodePage(1251));
  EXPECT_FALSE(isSupportedCodePage(65001));
}

TEST(CodePages, TheCharactersThatBecomeQuestionMarksAreNamed) {
  // Each once, in the order they appear; what the code page holds is not named.
  EXPECT_EQ(charactersOutsideCodePage("\u0436a\u0160\u045B\u0436", 1250),
            (std::vector<std::string>{"\u0436", "\u045B"}));
  EXPECT_EQ(charactersOutsideCodePage("\u0436", 1251), std::vector<std::string>{});
  EXPECT_EQ(codePageWarning("\u0160\u0111 ok", 1250), "");
  EXPECT_EQ(codePageWarning("\u0436", 1250), "the device's code page 1250 has no \"\u0436\": it is sent as \"?\"");
  // Invisible characters by code point, a byte that is not UTF-8 by its value.
  EXPECT_EQ(codePageWarning("a\u0080\u0301\xFF\U0001F600", 1250),
            "the device's code page 1250 has no U+0080, U+0301, byte FF, \"\U0001F600\": each is sent as \"?\"");
}

}  // namespace
