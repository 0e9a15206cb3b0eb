// Master data against the simulator: each table's read and save with its indexing
// (row position or number), empty names, the operators' passwords, a refusal in the
// middle of a save, the keys per model, the discount and surcharge keys, the CSV form.
#include <gtest/gtest.h>

#include "app/logic/config_pages.h"
#include "app/logic/mem_table.h"
#include "app/logic/pages/master_data.h"
#include "app/ops_fixture.h"

namespace kestrel {
namespace {

constexpr const char* SAVED = "The data was saved in the device.";

bool savedShown(apptest::OpsOnSim& s) {
  return !s.dialogs.shown.empty() && s.dialogs.shown.back().text == SAVED;
}

TEST(MasterDataOps, HundredthsShortestFormAndCutWithoutRounding) {
  const std::pair<long long, const char*> shown[] = {{550, "5.5"}, {1000, "10"}, {1250, "12.5"},
                                                     {5, "0.05"},  {0, "0"},     {-150, "-1.5"}};
  for (const auto& [v, text] : shown) EXPECT_EQ(hundredthsText(v), text) << v;
  const std::pair<const char*, long long> written[] = {{"12.5", 1250}, {"12.345", 1234}, {"0.019", 1},
                                                       {"10", 1000},   {".5", 50},       {"-1.5", -150}};
  for (const auto& [text, v] : written) EXPECT_EQ(hundredthsOf(text), v) << text;
  for (const char* bad : {"", "abc", "1,5", "1.2.3", "-", "."}) EXPECT_THROW(hundredthsOf(bad), std::invalid_argument) << bad;
}

TEST(MasterDataOps, StockGroupsShiftAfterADeletedRowAndEmptyNamesAreWritten) {
  apptest::OpsOnSim s("KT-11A");
  TMemTable t("fdmt_StockGrps");
  ASSERT_TRUE(readStockGrps(s.ops, t));
  ASSERT_EQ(t.RecordCount(), STOCK_GROUP_COUNT);
  EXPECT_EQ(t.value(0, "ID"), "1");
  EXPECT_EQ(t.value(1, "Name"), "Group 2");
  EXPECT_EQ(s.inputsOf(255).back(), "ItemGroups_name\t98\t\t");

  // Row positions, not the groups' numbers, are the indexes: deleting the first row
  // moves every name one group down; the last group keeps its old name.
  t.deleteRow(0);
  t.setValue(2, "Name", "");
  s.clearSent();
  ASSERT_TRUE(saveStockGrps(s.ops, t));
  EXPECT_TRUE(savedShown(s));
  ASSERT_EQ(s.inputsOf(255).size(), 98u);
  EXPECT_EQ(s.inputsOf(255)[0], "ItemGroups_name\t0\tGroup 2\t");
  EXPECT_EQ(s.inputsOf(255)[2], "ItemGroups_name\t2\t \t");  // an empty name still writes
  EXPECT_EQ(s.param("ItemGroups_name", 0), "Group 2");
  EXPECT_EQ(s.param("ItemGroups_name", 2), "");
  EXPECT_EQ(s.param("ItemGroups_name", 97), "Group 99");
  EXPECT_EQ(s.param("ItemGroups_name", 98), "Group 99");
}

TEST(MasterDataOps, DepartmentsKeepTheirNumbersAfterADeletedRow) {
  apptest::OpsOnSim s("KT-11A");
  TMemTable t("fdmtDepartment");
  ASSERT_TRUE(readDepartment(s.ops, t));
  ASSERT_EQ(t.RecordCount(), DEPARTMENT_COUNT);
  EXPECT_EQ(t.value(4, "Text"), "Department 5");
  for (int r = 0; r < t.RecordCount(); ++r) t.setValue(r, "Text", "D" + t.value(r, "ID"));
  t.deleteRow(4);  // department 5
  t.setValue(0, "Text", "");
  s.clearSent();
  ASSERT_TRUE(saveDepartment(s.ops, t));
  EXPECT_TRUE(savedShown(s));
  EXPECT_EQ(s.inputsOf(255).size(), 98u);
  EXPECT_EQ(s.inputsOf(255)[0], "Dept_name\t0\t \t");
  EXPECT_EQ(s.inputsOf(255)[4], "Dept_name\t5\tD6\t");
  EXPECT_EQ(s.param("Dept_name", 4), "Department 5");
  EXPECT_EQ(s.param("Dept_name", 5), "D6");
  EXPECT_EQ(s.param("Dept_name", 0), "");
  // The table refuses a number outside 1 to 99 before anything is sent.
  EXPECT_THROW(t.setValue(0, "ID", "100"), EFieldValueError);
}

TEST(MasterDataOps, PaymentsWriteOnlyTheForbiddenFlags) {
  apptest::OpsOnSim s("KT-11A");
  TMemTable t("fdmtPayments");
  ASSERT_TRUE(readPayments(s.ops, t));
  ASSERT_EQ(t.RecordCount(), PAYMENT_COUNT);
  EXPECT_EQ(t.value(1, "Text"), "Card");
  EXPECT_EQ(t.displayText(1, t.fieldIndex("Forbidden")), "No");
  EXPECT_EQ(s.paramNamesSent(), (std::vector<std::string>{"PayName", "Payment_forbidden", "PayName",
                                                          "Payment_forbidden", "PayName", "Payment_forbidden",
                                                          "PayName", "Payment_forbidden"}));
  t.setValue(2, "Forbidden", "Yes");
  s.clearSent();
  ASSERT_TRUE(savePayments(s.ops, t));
  EXPECT_TRUE(savedShown(s));
  EXPECT_EQ(s.inputsOf(255), (std::vector<std::string>{"Payment_forbidden\t0\t0\t", "Payment_forbidden\t1\t0\t",
                                                       "Payment_forbidden\t2\t1\t", "Payment_forbidden\t3\t0\t"}));
  TMemTable back("fdmtPayments");
  ASSERT_TRUE(readPayments(s.ops, back));
  EXPECT_EQ(back.displayText(2, back.fieldIndex("Forbidden")), "Yes");
  EXPECT_EQ(back.value(2, "Text"), "Cheque");
}

std::string operatorPassword(apptest::OpsOnSim& s, int op) {
  return s.device([&](sim::DeviceModel& d) { return d.state().operators[static_cast<size_t>(op - 1)].password; });
}

TEST(MasterDataOps, OperatorsReadRegistersAndChangeAPassword) {
  apptest::OpsOnSim s("KT-11A");
  TMemTable t("fdmt_Operators");
  ASSERT_TRUE(readOperator(s.ops, t));
  ASSERT_EQ(t.RecordCount(), OPERATOR_COUNT);
  ASSERT_EQ(t.fieldCount(), 16);
  EXPECT_EQ(t.field(3).title(), "Total sum sales");
  EXPECT_EQ(t.displayText(0, t.fieldIndex("sum_Sales")), "0.00");
  EXPECT_EQ(t.value(0, "Name"), "Operator 1");
  EXPECT_EQ(t.value(0, "OldPass"), "1");
  EXPECT_EQ(t.value(0, "NewPass"), "1");
  EXPECT_EQ(s.inputsOf(112).size(), 30u);
  EXPECT_EQ(s.inputsOf(112)[29], "30\t");

  t.setValue(0, "NewPass", "4321");
  t.setValue(1, "Name", "");
  s.clearSent();
  ASSERT_TRUE(saveOperator(s.ops, t));
  EXPECT_TRUE(savedShown(s));
  EXPECT_EQ(s.inputsOf(101)[0], "1\t1\t4321\t");
  EXPECT_EQ(s.inputsOf(255)[1], "OperName\t1\t \t");
  EXPECT_EQ(operatorPassword(s, 1), "4321");
  EXPECT_EQ(s.param("OperName", 1), "");
  // The row now holds the device's password, so the next save is accepted too.
  EXPECT_EQ(t.value(0, "OldPass"), "4321");
  s.clearSent();
  ASSERT_TRUE(saveOperator(s.ops, t));
  EXPECT_EQ(s.inputsOf(101)[0], "1\t4321\t4321\t");

  // A wrong old password is refused: the save ends there, without the saved message.
  t.setValue(2, "OldPass", "999", true);
  t.setValue(2, "NewPass", "5");
  s.clearSent();
  s.dialogs.shown.clear();
  EXPECT_FALSE(saveOperator(s.ops, t));
  EXPECT_FALSE(savedShown(s));
  EXPECT_EQ(s.inputsOf(101).size(), 3u);
  EXPECT_EQ(s.inputsOf(255).size(), 3u);
  EXPECT_EQ(t.value(2, "OldPass"), "999");
  EXPECT_EQ(operatorPassword(s, 3), "1");
}

TEST(MasterDataOps, KeysByModelAndARefusalInTheMiddleOfTheSave) {
  apptest::OpsOnSim s("KT-11A");
  TMemTable t("fdmt_DKeys");
  ASSERT_TRUE(readKeys(s.ops, t, 8));
  ASSERT_EQ(t.RecordCount(), 8);
  EXPECT_EQ(t.value(7, "KeyID"), "8");
  for (int r = 0; r < 8; ++r) t.setValue(r, "PLU", std::to_string(100 + r));
  t.setValue(3, "PLU", "99999999");  // beyond the device's PLU range
  s.clearSent();
  EXPECT_FALSE(saveKeys(s.ops, t));
  EXPECT_FALSE(savedShown(s));
  EXPECT_EQ(s.inputsOf(255).size(), 4u);
  EXPECT_EQ(s.param("DPxx_PluCode", 2), "102");
  EXPECT_EQ(s.param("DPxx_PluCode", 4), "0");
  // Put right, the save goes through; an emptied PLU is written as "0", not read.
  t.setValue(3, "PLU", "103");
  t.setValue(7, "PLU", "");
  ASSERT_TRUE(saveKeys(s.ops, t));
  EXPECT_TRUE(savedShown(s));
  TMemTable back("fdmt_DKeys");
  ASSERT_TRUE(readKeys(s.ops, back, 8));
  EXPECT_EQ(back.value(3, "PLU"), "103");
  EXPECT_EQ(back.value(6, "PLU"), "106");
  EXPECT_EQ(back.value(7, "PLU"), "0");

  // A model without direct keys reads none and sends nothing.
  apptest::OpsOnSim printer("KT-33A");
  TMemTable none("fdmt_DKeys");
  EXPECT_TRUE(readKeys(printer.ops, none, 0));
  EXPECT_EQ(none.RecordCount(), 0);
  EXPECT_TRUE(printer.sent.empty());
}

TEST(MasterDataOps, ARefusedReadKeepsTheRowsBeforeIt) {
  // Eight keys asked of a model with six: the seventh is refused, six rows stay.
  apptest::OpsOnSim s("KT-66B");
  TMemTable t("fdmt_DKeys");
  EXPECT_FALSE(readKeys(s.ops, t, 8));
  EXPECT_EQ(t.RecordCount(), 6);
  EXPECT_EQ(s.inputsOf(255).size(), 7u);
}

TEST(MasterDataOps, CorrectionsRoundTripAndAConversionErrorAfterTheFlags) {
  apptest::OpsOnSim s("KT-11A");
  TPageValues v = {{WIDGET_DISABLE_SURCHARGE, "1"}, {WIDGET_DISABLE_DISCOUNT, "0"},
                   {WIDGET_SURCHARGE_SUM, "5.5"},   {WIDGET_SURCHARGE_PERCENT, "12.5"},
                   {WIDGET_DISCOUNT_SUM, "10"},     {WIDGET_DISCOUNT_PERCENT, "3.339"}};
  ASSERT_TRUE(saveCorrections(s.ops, v));
  EXPECT_TRUE(savedShown(s));
  EXPECT_EQ(s.inputsOf(255), (std::vector<std::string>{"KeyNDB_forbidden\t0\t1\t", "KeyOTS_forbidden\t0\t0\t",
                                                       "KeyNDB_value\t\t550\t", "KeyNDB_percentage\t\t1250\t",
                                                       "KeyOTS_value\t\t1000\t", "KeyOTS_percentage\t\t333\t"}));
  s.clearSent();
  TPageValues back;
  ASSERT_TRUE(readCorrections(s.ops, back));
  EXPECT_EQ(s.inputsOf(255)[0], "KeyNDB_forbidden\t\t\t");
  EXPECT_EQ(back[WIDGET_DISABLE_SURCHARGE], "1");
  EXPECT_EQ(back[WIDGET_SURCHARGE_PERCENT], "12.5");
  EXPECT_EQ(back[WIDGET_SURCHARGE_SUM], "5.5");
  EXPECT_EQ(back[WIDGET_DISCOUNT_SUM], "10");
  EXPECT_EQ(back[WIDGET_DISCOUNT_PERCENT], "3.33");

  // Not a number: refused, naming it, before the flags are written.
  v[WIDGET_DISABLE_SURCHARGE] = "0";
  v[WIDGET_SURCHARGE_SUM] = "abc";
  s.clearSent();
  try {
    saveCorrections(s.ops, v);
    ADD_FAILURE() << "saved";
  } catch (const std::invalid_argument& e) {
    EXPECT_NE(std::string(e.what()).find("KeyNDB_value"), std::string::npos) << e.what();
  }
  EXPECT_EQ(s.inputsOf(255).size(), 0u);
  EXPECT_EQ(s.param("KeyNDB_forbidden"), "1");
  EXPECT_EQ(s.param("KeyNDB_value"), "550");

  // `kestrel config` names them by parameter; a printer has none of them.
  const TConfigPage* page = findConfigPage("corrections");
  ASSERT_NE(page, nullptr);
  const TKeyValues kv = page->show(back, 0);
  ASSERT_EQ(kv.size(), 6u);
  EXPECT_EQ(kv[3], (std::pair<std::string, std::string>{"KeyNDB_percentage", "12.5"}));
  EXPECT_THROW(page->set(back, "KeyNDB_value", "x", 0), std::invalid_argument);
  EXPECT_TRUE(page->show(back, 2).empty());
}

TEST(MasterDataOps, CsvRoundTripAndRefusedLines) {
  TMemTable t("fdmtPayments");
  preparePaymentsTable(t);
  for (int i = 0; i < 2; ++i) {
    const int r = t.append();
    t.setValue(r, "ID", std::to_string(i), true);
    t.setValue(r, "Text", i ? "Card; \"gold\"" : "Cash", true);
    t.setValue(r, "Forbidden", i ? "1" : "0");
  }
  const auto lines = tableCsvLines(t);
  EXPECT_EQ(lines[0], "\"Number\";\"Name\";\"Forbidden\";");
  EXPECT_EQ(lines[1], "\"0\";\"Cash\";\"No\";");
  TMemTable back("fdmtPayments");
  preparePaymentsTable(back);
  tableFromCsvLines(back, lines);
  ASSERT_EQ(back.RecordCount(), 2);
  EXPECT_EQ(back.value(1, "Text"), "Card; \"gold\"");
  EXPECT_EQ(back.value(1, "Forbidden"), "1");

  // Money with a comma, as a spreadsheet may write it.
  TMemTable ops("fdmt_Operators");
  prepareOperatorsTable(ops);
  auto opLines = tableCsvLines(ops);
  opLines.push_back("1;Ana;3;12,50;0;0;0;0;0;0;1;2;0;0;0;0;");
  tableFromCsvLines(ops, opLines);
  EXPECT_EQ(ops.displayText(0, ops.fieldIndex("sum_Sales")), "12.50");

  struct Bad {
    std::vector<std::string> lines;
    const char* start;
  };
  const Bad bad[] = {
      {{lines[0], lines[1], "\"9\";\"X\";\"No\";"}, "line 3: "},      // number out of range
      {{lines[0], "\"1\";\"X\";\"Maybe\";"}, "line 2: "},               // no yes/no
      {{"\"Group\";\"Name\";", lines[1]}, "line 1: column 1 is 'Group'"},  // another table's file
      {{}, "line 1: the file is empty"},
  };
  for (const auto& b : bad) {
    try {
      tableFromCsvLines(back, b.lines);
      ADD_FAILURE() << "accepted: " << b.start;
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()).rfind(b.start, 0), 0u) << e.what();
    }
  }
}

}  // namespace
}  // namespace kestrel
