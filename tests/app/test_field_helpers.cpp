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
  EXPECT_EQ(line, "");  // the last field without ";" is taken too
  set_FieldFromCSV(line, dept, "1");
  EXPECT_EQ(dept, "1");  // a field the short line lacks reads as empty
}

TEST(FieldHelpers, CsvFieldsRoundTripEveryValue) {
  const std::string values[] = {"", " ", "Milk 1l", " lead", "a;b", "12\" pizza", "\"", ";", "\"\";\"", "x\"\"y;"};
  std::string line;
  for (const std::string& v : values) line += csv_Field(v);
  for (const std::string& v : values) EXPECT_EQ(take_CsvField(line), v);
  EXPECT_EQ(line, "");
}

TEST(FieldHelpers, PlainCsvLinesReadAsBefore) {
  // What the plain format wrote or a spreadsheet saved: unquoted fields, a stray quote,
  // no ";" at the end; each field is the text before the next ";" without end quotes.
  std::string line = "\"7\";8;\"12\" pizza\";\"Milk\";\"abc";
  EXPECT_EQ(csv_Field("Milk"), "\"Milk\";");
  EXPECT_EQ(take_CsvField(line), "7");
  EXPECT_EQ(take_CsvField(line), "8");
  EXPECT_EQ(take_CsvField(line), "12\" pizza");
  EXPECT_EQ(take_CsvField(line), "Milk");
  EXPECT_EQ(take_CsvField(line), "abc");
  EXPECT_EQ(line, "");
}

}  // namespace
