// The helper's device-text functions: special symbols, hex helpers, conversions and
// the splitting of answers into fields.
#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "support/caught.h"
#include "support/fd_misc.h"
#include "support/utf8.h"

using namespace kestrel;

namespace {

const std::string ESC = "\x1B";

TEST(SpecialSymbols, ResolvesTokensAndEscapes) {
  struct Case {
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"1[TAB]2[LF]", "1\t2\n"},
      {"[tab][Ht][\\t][cr][\\R][lf][\\n]", "\t\t\t\r\r\n\n"},
      {"a[New Line]b[LINE BREAK]", "a\r\nb\r\n"},
      {"\\t", "\t"},
      {"\\T|\\n|\\R", "\t|\n|\r"},
      {"[1B!08]", ESC + "!" + "\x08"},
      {"[1B 05]", ESC + " 5"},
      {"[1B 10]", ESC + " 16"},
      {"[1B305][1BE01][1BG00][1BU0A][1BB0f]", ESC + "35" + ESC + "E1" + ESC + "G0" + ESC + "u10" + ESC + "B15"},
      {"[1BI00][1BI41]", ESC + "I0" + ESC + "IA"},
      {"[1ba00][1bA31]", ESC + "a0" + ESC + "a1"},
      {"[1BJ41][1BD42]", ESC + "JA" + ESC + "dB"},
      {"[1B$4142][1B\\4344]", ESC + "$AB" + ESC + "\\CD"},
      {"[1BM]", ESC + "m"},
      {"[1B!41 more]", ESC + "!A"},  // the rest of the token is ignored
      {"[1B!E9]", ESC + "!\u00E9"},       // a byte from 80h on: the character of that value
      {"[\\0A]", "\n"},
      {"[\\lf][\\LF]", "\n\n"},  // the form the custom command page's hint shows
      {"[\\20]", " "},
      {"[\\00]", ""},
      {"[\\41]", ""},
      {"[abc]", ""},
      {"[abcd]", "abcd"},
      {"Price [EURO] total", "Price EURO total"},
      {"Price [EUR] total", "Price  total"},
      {"[Čača]", "Čača"},
      {"[Čač]", ""},
      {"[]", ""},
      {"a]b", "a]b"},
      {"a[b", "a[b"},  // never closed: the rest stays as typed
      {"x[TAB]y[\\tz", "x\ty[\tz"},
      {"", ""},
  };
  TFDMisc misc;
  for (const Case& c : cases) EXPECT_EQ(misc.prepare_InputForSpecialSymbols(c.in), c.out) << c.in;
}

TEST(SpecialSymbols, EscapeWithoutItsDigitsGivesAnEmptyResultAndSaysWhy) {
  std::vector<std::string> reported;
  set_CaughtReporter([&](const std::string& line) { reported.push_back(line); });
  TFDMisc misc;
  EXPECT_EQ(misc.prepare_InputForSpecialSymbols("ok[1B!]"), "");
  EXPECT_EQ(misc.prepare_InputForSpecialSymbols("[1B$41]"), "");
  set_CaughtReporter(nullptr);
  EXPECT_EQ(reported, std::vector<std::string>(2, "TFDMisc.prepare_InputForSpecialSymbols: No Hex-Number"));
}

TEST(SpecialSymbols, TypedInputIsRefusedRatherThanChangedInSilence) {
  TFDMisc misc;
  // Sent as the notation resolves them.
  for (const std::string typed : {"#[tab]", "[1B!08][1B$0102][1BM]", "[\\lf][\\0A]", "a[b", "[abcd]", "\\t"}) {
    const TPreparedInput p = misc.prepareTypedInput(typed, 1250, 100);
    EXPECT_TRUE(p.ok()) << typed << ": " << p.error;
    EXPECT_EQ(p.text, misc.prepare_InputForSpecialSymbols(typed)) << typed;
  }
  struct Refused {
    std::string typed;
    std::string error;
  };
  const Refused refused[] = {
      {"#[tab][1B!]", "incomplete escape sequence \"[1B!]\": \"1B!\" needs 2 hexadecimal digits after it, for example \"[1B!08]\""},
      {"[1B$41]", "incomplete escape sequence \"[1B$41]\": \"1B$\" needs 4 hexadecimal digits after it, for example \"[1B$0102]\""},
      {"[1B!zz]", "incomplete escape sequence \"[1B!zz]\": \"1B!\" needs 2 hexadecimal digits after it, for example \"[1B!08]\""},
      {"Price [EUR]", "\"[EUR]\" stands for no character: a token of three characters is \"\\\" and a control code from 01 to 20, for example \"[\\0A]\""},
      {"[\\41]", "\"[\\41]\" stands for no character: a token of three characters is \"\\\" and a control code from 01 to 20, for example \"[\\0A]\""},
      {"[\\00]x", "\"[\\00]\" stands for no character: a token of three characters is \"\\\" and a control code from 01 to 20, for example \"[\\0A]\""},
      {"a[]b", "\"[]\" stands for no character"},
      // The limit counts bytes in the device's code page: "Š" is one byte there.
      {"123456", "the data are 6 bytes long; one frame carries at most 5"},
  };
  for (const Refused& r : refused) {
    const TPreparedInput p = misc.prepareTypedInput(r.typed, 1250, 5);
    EXPECT_FALSE(p.ok()) << r.typed;
    EXPECT_EQ(p.error, r.error);
    EXPECT_EQ(p.text, "");
  }
  EXPECT_TRUE(misc.prepareTypedInput("\xC5\xA0\xC5\xA0\xC5\xA0\xC5\xA0[tab]", 1250, 5).ok());
}

TEST(SpecialSymbols, SingleSymbolNames) {
  struct Case {
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"tab", "\t"}, {"HT", "\t"},         {"#9", "\t"},       {"[\\T]", "\t"},        {"[ht]", "\t"},
      {"lf", "\n"},  {"#10", "\n"},        {"[\\n]", "\n"},    {"CR", "\r"},           {"#13", "\r"},
      {"[CR]", "\r"}, {"new line", "\r\n"}, {"[Line Break]", "\r\n"}, {"X", "X"},      {";", ";"},
      {"[#10]", "[#10]"}, {"a\\tb", "a\tb"}, {"", ""},
  };
  TFDMisc misc;
  for (const Case& c : cases) EXPECT_EQ(misc.prepare_SpecialSymbol(c.in), c.out) << c.in;
}

TEST(HexHelpers, DigitsAndBytes) {
  TFDMisc misc;
  EXPECT_EQ(misc.byteToHex(171), "ab");
  EXPECT_EQ(misc.byteToHex(10), "0a");
  std::string s = "x";
  misc.putByteToHEX(171, s);
  misc.putByteToHEX(10, s);
  EXPECT_EQ(s, "xAB 0A ");
  EXPECT_EQ(misc.hexDigit('7'), 7);
  EXPECT_EQ(misc.hexDigit('f'), 15);
  EXPECT_EQ(misc.hexDigit('F'), 15);
  EXPECT_EQ(misc.hexDigit('z'), 35);  // no validation
  EXPECT_EQ(misc.hexToByte("1b"), 0x1B);
  EXPECT_EQ(misc.hexToByte("FF"), 0xFF);
  EXPECT_EQ(misc.hexToByte("G0"), (16 * 16) % 256);
  EXPECT_THROW(misc.hexToByte("1"), EConvertError);
}

TEST(HexHelpers, HexToLongWord) {
  TFDMisc misc;
  std::string s = "1f";
  EXPECT_EQ(misc.HexToLongWord(s), 31u);
  EXPECT_EQ(s, "1F");
  s = "ffffffff";
  EXPECT_EQ(misc.HexToLongWord(s), 0xFFFFFFFFu);
  s = "1G";
  try {
    misc.HexToLongWord(s);
    FAIL() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "No Hex-Number");
  }
  s = "100000000";  // does not fit 32 bits
  EXPECT_THROW(misc.HexToLongWord(s), EConvertError);
}

TEST(Conversions, TextToDeviceBytesAndBack) {
  TFDMisc misc;
  EXPECT_EQ(misc.convert_WideString_ToAnsiString("Čaj ж", 1250), "\xC8" "aj ?");
  EXPECT_EQ(misc.convert_String_ToAnsiString("", 1250), "");
  EXPECT_EQ(misc.convert_AnsiString_ToWideString("\xC8" "aj", 1250), "Čaj");
  EXPECT_EQ(misc.convert_AnsiString_ToWideString("\xC8", 1251), "И");

  uint8_t buf[4] = {};
  uint32_t len = sizeof buf;
  EXPECT_TRUE(misc.convert_String_ToPByteArray("Žab", buf, len, 1250));
  EXPECT_EQ(len, 3u);
  EXPECT_EQ(misc.convert_PByteArray_ToString(buf, len, 1250), "Žab");
  EXPECT_EQ(misc.convert_PByteArray_ToAnsiString(buf, len), "\x8E" "ab");

  len = sizeof buf;  // too long for the array: nothing written past it
  EXPECT_FALSE(misc.convert_WideString_ToPByteArray("abcdef", buf, len, 1250));
  EXPECT_EQ(len, 6u);
  EXPECT_EQ(buf[0], 0x8E);
  len = 2;
  EXPECT_TRUE(misc.convert_AnsiString_ToPByteArray("\x01\x02", buf, len));
  EXPECT_EQ(misc.convert_PByteArray_ToAnsiString(nullptr, 5), "");
}

TEST(Conversions, StreamToHex) {
  TFDMisc misc;
  std::istringstream in(std::string("\x00\xAB\x1F", 3));
  in.get();  // only the rest of the stream counts
  EXPECT_EQ(misc.convert_Stream_ToString(in, false), "AB1F");
  std::istringstream in2(std::string("\xAB\x1F", 2));
  EXPECT_EQ(misc.convert_Stream_ToString(in2, true), "ab1f");
  std::istringstream in3(std::string("\xC0", 1));
  EXPECT_EQ(misc.convert_Stream_ToAnsiString(in3, 1250), "C0");
}

TEST(Conversions, GeorgianTableRoundTripsThroughCodePage1251) {
  TFDMisc misc;
  std::string georgian;
  for (char32_t c = 0x10D0; c <= 0x10F0; ++c) appendUtf8(georgian, c);
  const std::string cyrillic = misc.convert_GeorgianToCyrillic("ok " + georgian);
  const std::string bytes = misc.convert_WideString_ToAnsiString(cyrillic, 1251);
  EXPECT_EQ(bytes.find('?'), std::string::npos) << "all 33 letters must be in code page 1251";
  EXPECT_EQ(bytes.size(), 3u + 33u);
  EXPECT_EQ(misc.convert_CyrillicToGeorgian(misc.convert_AnsiString_ToWideString(bytes, 1251)), "ok " + georgian);
}

TEST(AnswerFields, ListFormSplitsAtSingleCharacters) {
  struct Case {
    std::string source;
    std::vector<std::string> delimiters;
    int count;
    std::vector<std::string> fields;
  };
  const Case cases[] = {
      {"0\tA\tB\t", {"\t"}, 3, {"0", "A", "B"}},
      {"0\t\tB", {"\t"}, 3, {"0", "", "B"}},
      {"\t", {"\t"}, 1, {""}},
      {"", {"\t"}, 0, {}},
      {"a;b,c", {";", ","}, 3, {"a", "b", "c"}},
      {"aXbxc", {"x"}, 2, {"aXb", "c"}},       // the list compares exactly
      {"a\tb", {}, 1, {"a\tb"}},               // no delimiters: one field
      {"a--b", {"--"}, 1, {"a--b"}},           // not one character: never a delimiter
      {"čaj§kava§", {"§"}, 2, {"čaj", "kava"}},  // a delimiter beyond ASCII
  };
  TFDMisc misc;
  for (const Case& c : cases) {
    std::vector<std::string> target{"old", "old", "old", "old", "old"};
    EXPECT_EQ(misc.fillAnswerList(c.source, &c.delimiters, &target), c.count) << c.source;
    EXPECT_EQ(target, c.fields) << c.source;
  }
  std::vector<std::string> target;
  const std::vector<std::string> tab{"\t"};
  EXPECT_EQ(misc.fillAnswerList("a", nullptr, &target), -1);
  EXPECT_EQ(misc.fillAnswerList("a", &tab, nullptr), -1);
}

TEST(AnswerFields, ArrayFormIgnoresCaseAndKeepsEmptySourceWithoutDelimiters) {
  TFDMisc misc;
  std::vector<std::string> target{"old"};
  EXPECT_EQ(misc.fillAnswerList("aXbxc", std::vector<std::string>{"x"}, target), 3);
  EXPECT_EQ(target, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(misc.fillAnswerList("", std::vector<std::string>{}, target), 1);
  EXPECT_EQ(target, (std::vector<std::string>{""}));
  EXPECT_EQ(misc.fillAnswerList("", std::vector<std::string>{"\t"}, target), 0);
  EXPECT_TRUE(target.empty());
}

TEST(AnswerFields, ReusesTheTargetStrings) {
  TFDMisc misc;
  const std::vector<std::string> tab{"\t"};
  std::vector<std::string> target;
  misc.fillAnswerList(std::string(100, 'x') + "\t" + std::string(100, 'y') + "\t", &tab, &target);
  const char* first = target[0].data();
  const char* second = target[1].data();
  EXPECT_EQ(misc.fillAnswerList("0\tshort\t", &tab, &target), 2);
  EXPECT_EQ(target[0].data(), first);
  EXPECT_EQ(target[1].data(), second);
  EXPECT_EQ(target[1], "short");
}

}  // namespace
