// The helper's selection, value-splitting, character, number, padding, password and
// CSV helpers.
#include <gtest/gtest.h>

#include "support/fd_misc.h"

using namespace kestrel;

namespace {

using Strings = std::vector<std::string>;

TEST(Selection, FullAndPositionMatch) {
  TFDMisc misc;
  EXPECT_EQ(misc.StrToCase_FullMatch("abc", {"X", "ABC"}), 1);
  EXPECT_EQ(misc.StrToCase_FullMatch("abd", {"X", "ABC"}), -1);
  EXPECT_EQ(misc.StrToCase_PosMatch("KT-33A v2", {"KT-22", "33A", "KT"}), 1);
  EXPECT_EQ(misc.StrToCase_PosMatch("kt-33a", {"33A"}), -1);  // case-sensitive
}

TEST(ValueSplitting, ValueBefore) {
  TFDMisc misc;
  std::string s = "a;b;c";
  EXPECT_EQ(misc.get_Value_Before(s, ";", true), "a");
  EXPECT_EQ(s, "b;c");
  EXPECT_EQ(misc.get_Value_Before(s, ";", false), "b");
  EXPECT_EQ(s, "b;c");
  s = "abc";
  EXPECT_EQ(misc.get_Value_Before(s, ";", true), "abc");
  EXPECT_EQ(s, "");
  s = "a::b";
  EXPECT_EQ(misc.get_Value_Before(s, "::", true), "a");
  EXPECT_EQ(s, "b");

  std::u16string w = u"x=y";
  EXPECT_EQ(misc.get_Value_Before(w, u"=", true), u"x");
  EXPECT_EQ(w, u"y");

  s = "\"1 200,5\";rest";
  EXPECT_EQ(misc.get_Value_Before(s, ";", true, "\" "), "1200,5");
  EXPECT_EQ(s, "rest");
}

TEST(ValueSplitting, BetweenDelimiters) {
  TFDMisc misc;
  std::string s = "<a>b";
  EXPECT_EQ(misc.get_Value_BetweenDelimiters(s, true, true, "<", ">"), "a");
  EXPECT_EQ(s, ">b");
  s = "<a>b";
  EXPECT_EQ(misc.get_Value_BetweenDelimiters(s, false, false, "<", ">"), "<a");
  EXPECT_EQ(s, "<a>b");
  s = ">ab";  // the end delimiter at the first position does not count
  EXPECT_EQ(misc.get_Value_BetweenDelimiters(s, true, true, "<", ">"), ">ab");
  s = "";
  EXPECT_EQ(misc.get_Value_BetweenDelimiters(s, true, true, "<", ">"), "");
}

TEST(ValueSplitting, ValuesAfterDelimiters) {
  TFDMisc misc;
  const Strings delimiters{";", "::"};
  EXPECT_TRUE(misc.it_IsDelimiter("::", &delimiters));
  EXPECT_FALSE(misc.it_IsDelimiter(":", &delimiters));
  EXPECT_FALSE(misc.it_IsDelimiter(";", nullptr));

  std::string s = ";a::b";
  EXPECT_EQ(misc.get_FirstValue_AfterDelimiter(s, false, true, true, &delimiters), "a");
  EXPECT_EQ(s, "::b");
  s = "ab";
  EXPECT_EQ(misc.get_FirstValue_AfterDelimiter(s, false, true, false, &delimiters), "ab");
  EXPECT_EQ(s, "ab");

  struct Case {
    std::string source;
    bool firstEmpty;
    Strings values;
  };
  const Case cases[] = {
      {"a;b::c", false, {"a", "b", "c"}},
      {";a;b", false, {"a", "b"}},
      {";a;b", true, {"", "a", "b"}},
      {"a;;b", false, {"a", "", "b"}},
      {"", false, {}},
  };
  for (const Case& c : cases) {
    Strings values{"old"};
    EXPECT_EQ(misc.get_Values_AfterDelimiters(c.source, c.firstEmpty, &delimiters, &values), 0) << c.source;
    EXPECT_EQ(values, c.values) << c.source;
  }
  Strings values;
  EXPECT_EQ(misc.get_Values_AfterDelimiters("a", false, nullptr, &values), -18);
  EXPECT_EQ(misc.get_Values_AfterDelimiters("a", false, &delimiters, nullptr), -18);
}

TEST(Characters, RemoveAndReplace) {
  TFDMisc misc;
  std::string s = "a1-2 b3";
  EXPECT_TRUE(misc.remove_NotDigitSymbols(s));
  EXPECT_EQ(s, "123");
  s = "aabbab";
  EXPECT_TRUE(misc.remove_SubString("ab", s));
  EXPECT_EQ(s, "");  // pieces joined by a deletion are removed too
  s = "x.y.z";
  EXPECT_TRUE(misc.remove_SubString(".", s));
  EXPECT_EQ(s, "xyz");
  EXPECT_TRUE(misc.remove_SubString("", s));
  EXPECT_EQ(s, "");
  s = "1,5;č";
  EXPECT_TRUE(misc.replace_Symbol(U',', U'.', s));
  EXPECT_EQ(s, "1.5;č");
  EXPECT_EQ(misc.replace_Symbol("čač", U'č', U'c'), "cac");
}

TEST(Numbers, DotsAndBits) {
  TFDMisc misc;
  EXPECT_TRUE(misc.check_ForDot("1,5"));
  EXPECT_FALSE(misc.check_ForDot("15"));
  EXPECT_TRUE(misc.check_ForDotPosition("12.50", 2));
  EXPECT_FALSE(misc.check_ForDotPosition("12.5", 2));
  EXPECT_TRUE(misc.check_ForDotPosition("12,500", 3));
  EXPECT_FALSE(misc.check_ForDotPosition("1250", 0));

  struct Case {
    std::string in;
    int digits;
    std::string out;
  };
  for (const Case& c : {Case{"12345", 2, "123.45"}, Case{"5", 2, "0.05"}, Case{"123", 3, "0.123"},
                        Case{"12", 2, "0.12"}, Case{"1000", 3, "1.000"}}) {
    std::string v = c.in;
    EXPECT_TRUE(misc.set_DotPosition(v, c.digits));
    EXPECT_EQ(v, c.out) << c.in;
  }

  int32_t v = 0;
  misc.setBitIntoInt(31, 1, v);
  EXPECT_EQ(static_cast<uint32_t>(v), 0x80000000u);
  misc.setBitIntoInt(0, 5, v);
  misc.setBitIntoInt(31, 0, v);
  misc.setBitIntoInt(32, 1, v);  // out of range: nothing
  EXPECT_EQ(v, 1);
}

TEST(Padding, LeftRightCenter) {
  TFDMisc misc;
  struct Case {
    std::string src, pad;
    int count;
    TPadCase padCase;
    std::string out;
  };
  const Case cases[] = {
      {"7", "0", 3, pcLeft, "007"},
      {"abcd", "0", 3, pcLeft, "abcd"},
      {"abc", "0", 3, pcRight, "abc"},
      {"7", "0", 3, pcRight, "700"},
      {"7", "ab", 4, pcLeft, "ab7"},   // only whole copies that fit
      {"č", "-", 3, pcLeft, "--č"},     // lengths count characters
      {"ab", "*", 6, pcCenter, "**ab**"},
      {"abc", "*", 8, pcCenter, "**abc***"},  // halves "ab" (1.5 rounds to 2) and "c", each to 4
      {"x", "", 5, pcLeft, "x"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(misc.padString(c.src, c.pad, c.count, c.padCase), c.out) << c.src << " " << c.count;
}

TEST(Characters, ClassesAndPasswordStrength) {
  TFDMisc misc;
  EXPECT_TRUE(misc.check_For_DigitSymbols("ab3"));
  EXPECT_FALSE(misc.check_For_DigitSymbols("abc"));
  EXPECT_TRUE(misc.check_For_LowerSymbols("ABč"));
  EXPECT_TRUE(misc.check_For_UpperSymbols("abŠ"));
  EXPECT_TRUE(misc.check_For_UpperSymbols("абВ"));
  EXPECT_FALSE(misc.check_For_UpperSymbols("ab1"));
  EXPECT_TRUE(misc.check_For_SpecialSymbols("a§"));
  EXPECT_TRUE(misc.check_For_SpecialSymbols("V"));  // in the set, like Cyrillic в
  EXPECT_FALSE(misc.check_For_SpecialSymbols("abc'"));
  EXPECT_TRUE(misc.check_All_SymbolsAreDigits(""));
  EXPECT_TRUE(misc.check_All_SymbolsAreDigits("0123"));
  EXPECT_FALSE(misc.check_All_SymbolsAreDigits("01a"));

  EXPECT_EQ(misc.check_PasswordStrength("abc"), ps_VeryWeak);
  EXPECT_EQ(misc.check_PasswordStrength("abc1!X"), ps_Strong);  // 6 characters: 1 + 3 points
  EXPECT_EQ(misc.check_PasswordStrength("abcdefgh"), ps_Weak);
  EXPECT_EQ(misc.check_PasswordStrength("abcdEFGH1!"), ps_VeryStrong);
  EXPECT_EQ(misc.check_PasswordStrength("abcdefghijkl"), ps_Medium);
  EXPECT_EQ(misc.check_PasswordStrength("   "), ps_Blank);
  EXPECT_EQ(misc.check_PasswordStrength("  abcdefg  "), ps_VeryWeak);  // 7 after trimming: 1 point
}

TEST(Csv, ValuesAndLines) {
  TFDMisc misc;
  EXPECT_EQ(misc.csv_This("  x "), "\"x \";");
  EXPECT_EQ(misc.csv_This("  "), "\"  \";");
  EXPECT_EQ(misc.csv_This(""), "\"\";");

  EXPECT_EQ(misc.check_For_CSVStandart("\"a\";\"b\";", 8), 0);
  EXPECT_EQ(misc.check_For_CSVStandart("\"a\";\"b\"", 7), 0);
  EXPECT_EQ(misc.check_For_CSVStandart("\"a\";b;", 6), -10529);
  EXPECT_EQ(misc.check_For_CSVStandart("a\";", 3), -10529);
  EXPECT_EQ(misc.check_For_CSVStandart("\"", 1), -10529);

  std::string line = "\"a\";\"b\"";
  EXPECT_EQ(misc.get_CSV_Value(line, true), "a");
  EXPECT_EQ(line, "\"b\"");

  Strings list{"old"};
  EXPECT_EQ(misc.fill_CSV_ToList("  \"1\";\"Milk\";\"\";\"2.50\";\r\n", &list), 0);
  EXPECT_EQ(list, (Strings{"1", "Milk", "", "2.50"}));
  EXPECT_EQ(misc.fill_CSV_ToList("1;Milk;", &list), -10529);
  EXPECT_EQ(misc.fill_CSV_ToList("\"1\"", nullptr), -1);
  EXPECT_EQ(misc.fill_CSV_ToList("\"PLU\";\"Name\";", true, "PLU", "Code", &list), -10530);
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(misc.fill_CSV_ToList("\"Code\";\"Name\";", true, "PLU", "Code", &list), -10530);
  EXPECT_EQ(misc.fill_CSV_ToList("\"7\";\"Name\";", true, "PLU", "Code", &list), 0);
  EXPECT_EQ(list, (Strings{"7", "Name"}));
}

}  // namespace
