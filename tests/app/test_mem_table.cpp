// The in-memory tables behind the grids: typed fields, limits with a message naming
// value, field and range, display formats and the hooks.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/logic/mem_table.h"

namespace kestrel {
namespace {

TMemTable itemsLike() {
  TMemTable t("fdmt_Articles");
  TFieldDef plu;
  plu.name = "PLU";
  plu.kind = TFieldKind::Integer;
  plu.minValue = 1;
  plu.maxValue = 100000;
  t.addField(plu);
  TFieldDef name;
  name.name = "Name";
  name.size = 5;
  t.addField(name);
  TFieldDef price;
  price.name = "Price";
  price.kind = TFieldKind::Money;
  price.displayFormat = "0.00";
  t.addField(price);
  TFieldDef qty;
  qty.name = "StockQty";
  qty.kind = TFieldKind::Quantity;
  qty.displayLabel = "Stock qty";
  qty.displayFormat = "0.000";
  qty.defaultText = "0";
  qty.maxValue = 999 * FIXED_SCALE;
  t.addField(qty);
  return t;
}

TEST(MemTable, RefusedValuesNameValueFieldAndRangeAndLeaveTheCell) {
  TMemTable t = itemsLike();
  const int row = t.append();
  t.setValue(row, "PLU", "7");
  struct Case {
    const char* field;
    const char* text;
    const char* message;
  } cases[] = {
      {"PLU", "0", "'0' is not a valid value for field 'PLU'. The allowed range is 1 to 100000."},
      {"PLU", "100001", "'100001' is not a valid value for field 'PLU'. The allowed range is 1 to 100000."},
      {"PLU", "12a", "'12a' is not a valid value for field 'PLU'. The allowed range is 1 to 100000."},
      {"Name", "abcdef", "'abcdef' is not a valid value for field 'Name'. The allowed range is 0 to 5 characters."},
      {"Price", "1,5", "'1,5' is not a valid value for field 'Price'. The allowed range is 0 to 922337203685477.58."},
      {"Price", "-1", "'-1' is not a valid value for field 'Price'. The allowed range is 0 to 922337203685477.58."},
      {"Price", "1.23456", "'1.23456' is not a valid value for field 'Price'. The allowed range is 0 to 922337203685477.58."},
      {"StockQty", "1000", "'1000' is not a valid value for field 'Stock qty'. The allowed range is 0 to 999.000."},
      // One past what 64 bits of 1/10000 hold: refused, not wrapped to a negative price.
      {"Price", "922337203685477.5808",
       "'922337203685477.5808' is not a valid value for field 'Price'. The allowed range is 0 to 922337203685477.58."},
      {"Price", "99999999999999999999",
       "'99999999999999999999' is not a valid value for field 'Price'. The allowed range is 0 to 922337203685477.58."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      t.setValue(row, c.field, c.text);
      ADD_FAILURE() << "accepted";
    } catch (const EFieldValueError& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
  EXPECT_EQ(t.value(row, "PLU"), "7");
  // Five characters are five characters, whatever their bytes.
  t.setValue(row, "Name", "ČĆŽŠĐ");
  EXPECT_EQ(t.value(row, "Name"), "ČĆŽŠĐ");
}

TEST(MemTable, FixedPointParsingStopsAtWhatSixtyFourBitsHold) {
  EXPECT_EQ(parseFixed("922337203685477.5807"), INT64_MAX);
  EXPECT_EQ(parseFixed("922337203685477.5808"), std::nullopt);
  EXPECT_EQ(parseFixed("922337203685478"), std::nullopt);
  EXPECT_EQ(parseDecimal("-922337203685477.5807"), -INT64_MAX);
  EXPECT_EQ(parseDecimal("-922337203685477.5808"), std::nullopt);
  EXPECT_EQ(parseDecimal("922337203685477.58075"), std::nullopt) << "rounding up past the largest value";
  EXPECT_EQ(parseDecimal("922337203685477.58074"), INT64_MAX);
  // A field that takes a sign holds as much below zero as above.
  TMemTable t("t");
  TFieldDef turnover;
  turnover.name = "Turnover";
  turnover.kind = TFieldKind::Money;
  turnover.displayFormat = "0.00";
  turnover.allowNegative = true;
  t.addField(turnover);
  const int row = t.append();
  t.setValue(row, 0, "-922337203685477.5807");
  EXPECT_EQ(t.number(row, 0), -INT64_MAX);
  try {
    t.setValue(row, 0, "-922337203685477.5808");
    ADD_FAILURE() << "accepted";
  } catch (const EFieldValueError& e) {
    EXPECT_STREQ(e.what(), "'-922337203685477.5808' is not a valid value for field 'Turnover'. The allowed range is "
                           "-922337203685477.58 to 922337203685477.58.");
  }
}

TEST(MemTable, FixedPointKeepsFourDecimalsAndDisplaysWithAPoint) {
  TMemTable t = itemsLike();
  const int row = t.append();
  EXPECT_EQ(t.value(row, "StockQty"), "0.0000");  // the default of a new row
  t.setValue(row, "Price", "12.345");
  EXPECT_EQ(t.value(row, "Price"), "12.3450");
  EXPECT_EQ(t.displayText(row, t.fieldIndex("Price")), "12.35");
  t.setValue(row, "StockQty", "2.0005");
  EXPECT_EQ(t.displayText(row, t.fieldIndex("StockQty")), "2.001");
  t.setValue(row, "Price", "");
  EXPECT_TRUE(t.isNull(row, t.fieldIndex("Price")));
  // Money fields take only digits and the point from the keyboard.
  const int price = t.fieldIndex("Price");
  EXPECT_TRUE(t.acceptsChar(price, U'7'));
  EXPECT_TRUE(t.acceptsChar(price, U'.'));
  EXPECT_FALSE(t.acceptsChar(price, U','));
  EXPECT_FALSE(t.acceptsChar(price, U'-'));
  EXPECT_TRUE(t.acceptsChar(t.fieldIndex("Name"), U','));
  EXPECT_EQ(formatFixed(-5000, 2), "-0.50");
  EXPECT_EQ(formatFixed(-40, 2), "0.00");
  // Leading zeros of the decimals, no point without them, the extremes.
  EXPECT_EQ(formatFixed(5, 4), "0.0005");
  EXPECT_EQ(formatFixed(15000, 0), "2");
  EXPECT_EQ(formatFixed(-123456789, 3), "-12345.679");
  EXPECT_EQ(formatFixed(INT64_MIN, 4), "-922337203685477.5808");
  EXPECT_EQ(formatFixed(INT64_MAX, 2), "922337203685477.58");
}

TEST(MemTable, HooksRunAfterInsertPostAndDeleteAndAnInsertCanBeCancelled) {
  TMemTable t = itemsLike();
  std::vector<std::string> events;
  t.AfterInsert = [&](TMemTable& table) {
    events.push_back("insert");
    // The client table's rule: no row beyond 2 here (1000 there).
    if (table.RecordCount() > 2) table.cancel();
  };
  t.AfterPost = [&](TMemTable&) { events.push_back("post"); };
  t.AfterDelete = [&](TMemTable&) { events.push_back("delete"); };
  EXPECT_EQ(t.append(), 0);
  EXPECT_EQ(t.append(), 1);
  EXPECT_EQ(t.append(), -1);
  EXPECT_EQ(t.RecordCount(), 2);
  t.setValue(1, "PLU", "3");
  EXPECT_THROW(t.setValue(1, "PLU", "0"), EFieldValueError);  // refused: no post
  t.deleteRow(0);
  EXPECT_EQ(t.value(0, "PLU"), "3");
  EXPECT_EQ(events, (std::vector<std::string>{"insert", "insert", "insert", "post", "delete"}));
}

// Rows share large blocks of memory: texts that grow, shrink and move, rows deleted and
// the gaps they leave packed away, copies and a field added to a table with rows keep
// every cell. Checked against plain strings after a long run of edits.
TEST(MemTable, ManyEditsKeepEveryCell) {
  auto fieldOf = [](const char* name, TFieldKind kind, const char* defaultText = "") {
    TFieldDef f;
    f.name = name;
    f.kind = kind;
    f.defaultText = defaultText;
    return f;
  };
  TMemTable t("t");
  // Set to Text before the first row: the rows follow.
  t.addField(fieldOf("A", TFieldKind::Integer)).kind = TFieldKind::Text;
  t.addField(fieldOf("N", TFieldKind::Integer));
  t.addField(fieldOf("B", TFieldKind::Text, "bee"));
  t.addField(fieldOf("P", TFieldKind::Money));
  t.addField(fieldOf("C", TFieldKind::Text));
  const int texts[] = {0, 2, 4};
  std::vector<std::vector<std::string>> want;  // A, N, B, P as value() gives them, C
  uint32_t seed = 12345;
  auto next = [&](uint32_t below) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % below;
  };
  auto check = [&](const TMemTable& table) {
    ASSERT_EQ(table.RecordCount(), static_cast<int>(want.size()));
    for (int r = 0; r < table.RecordCount(); ++r)
      for (int f = 0; f < 5; ++f) ASSERT_EQ(table.value(r, f), want[static_cast<size_t>(r)][static_cast<size_t>(f)]) << r << "," << f;
  };
  for (int step = 0; step < 20000; ++step) {
    const uint32_t op = next(10);
    if (op < 3 || want.empty()) {
      ASSERT_EQ(t.append(), static_cast<int>(want.size()));
      want.push_back({"", "", "bee", "", ""});
    } else if (op == 3) {
      const int r = static_cast<int>(next(static_cast<uint32_t>(want.size())));
      t.deleteRow(r);
      want.erase(want.begin() + r);
    } else {
      const size_t r = next(static_cast<uint32_t>(want.size()));
      const int f = op < 8 ? texts[next(3)] : static_cast<int>(1 + 2 * next(2));
      std::string text;
      if (f == 1) text = std::to_string(next(100000));
      else if (f == 3) text = std::to_string(next(1000)) + ".5000";
      else text = std::string(next(4) ? next(20) : next(600), static_cast<char>('a' + step % 26));
      t.setValue(static_cast<int>(r), f, text);
      want[r][static_cast<size_t>(f)] = text;
    }
    if (step % 5000 == 4999) {
      ASSERT_NO_FATAL_FAILURE(check(t));
      TMemTable copy = t;
      ASSERT_NO_FATAL_FAILURE(check(copy));
      if (!want.empty()) copy.setValue(0, 4, "only in the copy");
    }
  }
  ASSERT_NO_FATAL_FAILURE(check(t));
  t.addField(fieldOf("D", TFieldKind::Text));
  t.addField(fieldOf("Q", TFieldKind::Quantity));
  ASSERT_FALSE(want.empty());
  t.setValue(0, "D", "dee");
  t.setValue(0, "C", std::string(700, 'c'));
  want[0][4] = std::string(700, 'c');
  ASSERT_NO_FATAL_FAILURE(check(t));
  EXPECT_EQ(t.value(0, "D"), "dee");
  EXPECT_TRUE(t.isNull(t.RecordCount() - 1, t.fieldIndex("D")));
  EXPECT_TRUE(t.isNull(0, t.fieldIndex("Q")));
  t.clear();
  EXPECT_EQ(t.append(), 0);
  EXPECT_EQ(t.value(0, "B"), "bee");
}

TEST(MemTable, HeaderAndFooterTablesHaveTenRowsWithReadOnlyIds) {
  TMemTable t("fdmt_Header");
  int posts = 0;
  t.AfterPost = [&](TMemTable&) { ++posts; };
  prepareLinesTable(t);
  prepareLinesTable(t);  // again: still ten rows, fields not doubled
  ASSERT_EQ(t.RecordCount(), 10);
  EXPECT_EQ(t.fieldCount(), 2);
  EXPECT_EQ(t.value(0, "ID"), "1");
  EXPECT_EQ(t.value(9, "ID"), "10");
  EXPECT_EQ(t.value(3, "Text"), "");
  EXPECT_EQ(t.field(0).title(), "Row");
  EXPECT_EQ(posts, 0);
  EXPECT_THROW(t.setValue(0, "ID", "2"), EFieldValueError);
  EXPECT_THROW(t.setValue(0, "Text", std::string(65, 'x')), EFieldValueError);
  t.setValue(0, "Text", std::string(64, 'x'));
  EXPECT_EQ(posts, 1);
}

}  // namespace
}  // namespace kestrel
