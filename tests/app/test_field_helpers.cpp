// The application's field helpers on answers and CSV lines.
#include <gtest/gtest.h>

#include "app/logic/field_helpers.h"

using namespace kestrel;

namespace {

TEST(FieldHelpers, FieldByIndex) {
  struct Case {
    char separator;
    int index;
    std::string values;
    std::string field;
  };
  const Case cases[] = {
      {';', 1, "a;b;c", "b"}, {';', 0, "a;b;c", "a"}, {';', 2, "a;b;c", "c"}, {';', 3, "a;b;c", ""},
      {';', 0, ";x", ""},     {';', 1, ";x", "x"},    {'\t', 1, "0\t12.50\t", "12.50"},
      {'\t', 2, "0\t1\t", ""}, {';', 0, "", ""},     {';', -1, "a;b", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(get_FieldByIndex(c.separator, c.index, c.values), c.field) << c.values;
}

TEST(FieldHelpers, CleanUps) {
  std::string s = " a b ";
  remove_FirstBlank(s);
  EXPECT_EQ(s, "a b ");
  s = "\"x\"";
  remove_Quotes(s);
  EXPECT_EQ(s, "x");
  s = "\"";
  remove_Quotes(s);
  EXPECT_EQ(s, "");
  s = "x\"";
  remove_Quotes(s);
  EXPECT_EQ(s, "x");
  s = "1,5,0";
  replace_CommaWithPoint(s);
  EXPECT_EQ(s, "1.5,0");
}

TEST(FieldHelpers, FieldsFromCsvLineConsumeTheLine) {
  std::string line = "\"Milk 1l\";\" 1,20\";\"\";\"7\"";
  std::string name, price, stock, dept;
  set_StringFieldFromCSV(line, name);
  EXPECT_EQ(name, "Milk 1l");
  set_FieldFromCSV(line, price, "0");
  EXPECT_EQ(price, "1.20");
  set_FieldFromCSV(line, stock, "0");
  EXPECT_EQ(stock, "0");  // blank value takes the default
  EXPECT_EQ(line, "\"7\"");
  set_FieldFromCSV(line, dept, "");
  EXPECT_EQ(dept, "7");
  EXPECT_EQ(line, "\"7\"");  // no ";" left: the line stays
}

}  // namespace
