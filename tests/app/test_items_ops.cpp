// Items against the simulator: reads that skip the numbers the device lacks (and the
// walk when it refuses "F"), the save and delete loops with their range narrowing,
// first-failure and stop rules, the quantity change and the menu's range dialog.
#include <gtest/gtest.h>

#include "app/items_fixture.h"

namespace kestrel {
namespace {

using apptest::addItemRow;
using apptest::OpsOnSim;
using apptest::ItemsOnSim;
using apptest::rowsPlu;

TEST(ItemsOps, ReadARangeWithGapsFillsRowsSilently) {
  ItemsOnSim s;
  apptest::putDeviceItems(*s.sim, {2, 4});
  s.items.ReadItems_inRange(1, 5);
  EXPECT_EQ(rowsPlu(s.table), (std::vector<std::string>{"2", "4"}));
  // Every answer field lands in its column.
  EXPECT_EQ(apptest::tableRows(s.table)[1], "4|2|Item 4|3|1|0|4.50|0.00|4.000|0.000|3850000000004|||");
  EXPECT_TRUE(s.dialogs.shown.empty());
  EXPECT_TRUE(s.host.statusText.empty());
  EXPECT_EQ(s.inputsOf(107).front(), "R\t1\t");
  EXPECT_EQ(s.host.progressMax, 5);
  EXPECT_EQ(s.host.progress.back(), 5);

  // 9 to 3 sends nothing and leaves the table empty.
  s.clearSent();
  s.items.ReadItems_inRange(9, 3);
  EXPECT_TRUE(s.sent.empty());
  EXPECT_EQ(s.table.RecordCount(), 0);
}

TEST(ItemsOps, SkippingReadAndTheWalkGiveEqualTables) {
  const std::vector<int> plus = {2, 3, 50, 51, 990};
  ItemsOnSim skipping, walking;
  apptest::putDeviceItems(*skipping.sim, plus);
  apptest::putDeviceItems(*walking.sim, plus);
  apptest::refuseFirstQuery(*walking.sim);

  skipping.items.ReadItems_inRange(1, 1000);
  walking.items.ReadItems_inRange(1, 1000);
  EXPECT_EQ(rowsPlu(skipping.table), (std::vector<std::string>{"2", "3", "50", "51", "990"}));
  EXPECT_EQ(apptest::tableRows(skipping.table), apptest::tableRows(walking.table));
  // Reads 1-4, 50-52, 990-991 and four "F" queries, against one read per number plus the
  // refused "F" after the first gap.
  EXPECT_EQ(skipping.sent.size(), 13u);
  EXPECT_EQ(skipping.inputsOf(107)[1], "F\t2\t");
  EXPECT_EQ(walking.sent.size(), 1001u);
  EXPECT_TRUE(skipping.host.statusText.empty());
  EXPECT_TRUE(walking.host.statusText.empty());
  EXPECT_TRUE(walking.dialogs.shown.empty());
  EXPECT_EQ(skipping.host.progress.back(), 1000);
}

TEST(ItemsOps, ReadAllUsesFirstAndLastAndWithoutFWalksUntilStop) {
  ItemsOnSim s;
  apptest::putDeviceItems(*s.sim, {7, 9, 20});
  s.items.menuAction(popRead, TMenuEntry::All);
  EXPECT_EQ(rowsPlu(s.table), (std::vector<std::string>{"7", "9", "20"}));
  const auto in = s.inputsOf(107);
  ASSERT_GE(in.size(), 3u);
  EXPECT_EQ(in[0], "F\t1\t");
  EXPECT_EQ(in[1], "L\t100000\t");
  EXPECT_EQ(in[2], "R\t7\t");

  // A device without "F": the query's refusal is shown (ShowErr is on), then the read
  // walks from 1 number by number until the stop request.
  ItemsOnSim old;
  apptest::putDeviceItems(*old.sim, {2, 3});
  apptest::refuseFirstQuery(*old.sim);
  old.host.stopAfterChecks = 4;
  old.items.menuAction(popRead, TMenuEntry::All);
  EXPECT_EQ(old.shown().size(), 1u);
  EXPECT_EQ(rowsPlu(old.table), (std::vector<std::string>{"2", "3"}));
  EXPECT_TRUE(old.items.outcome.stopped());
  EXPECT_EQ(old.items.outcome.reached, 5);
  const auto reads = old.inputsOf(107);
  EXPECT_EQ(reads.back(), "R\t5\t");
  EXPECT_EQ(old.host.progressMax, 100000);
}

// PLUs 5, 6 and 9 in the table, 5 and 6 valid, 9 with a barcode the device refuses.
void threeRows(ItemsOnSim& s, bool badLast) {
  addItemRow(s.table, {{"PLU", "5"}, {"VAT", "1"}, {"Name", "Bread"}, {"Price", "1.2"}, {"StockQty", "3.5"}});
  addItemRow(s.table, {{"PLU", "6"}, {"VAT", "2"}, {"Name", "Milk"}, {"Price", "0.99"}});
  addItemRow(s.table, {{"PLU", "9"}, {"VAT", "1"}, {"Name", "Salt"}, {"Barcode1", badLast ? "12AB" : "123"}});
}

TEST(ItemsOps, SaveInRangeNarrowsToTheTableAndSendsEveryField) {
  ItemsOnSim s;
  threeRows(s, false);
  EXPECT_TRUE(s.items.SaveInRange(3, 8).ok());
  const auto in = s.inputsOf(107);
  ASSERT_EQ(in.size(), 3u);
  EXPECT_EQ(in[0], "P\t5\t1\t0\t1\t0\t1.20\t\t3.500\t\t\t\t\tBread\t");
  EXPECT_EQ(in[2].substr(0, 5), "P\t9\t1");
  EXPECT_EQ(s.host.progressMax, 5);
  EXPECT_EQ(s.shown(), (std::vector<std::string>{"The data was saved in the device."}));
  EXPECT_EQ(apptest::devicePlus(*s.sim), (std::vector<int>{5, 6, 9}));
}

TEST(ItemsOps, SaveLoopsEndAtTheFirstRefusalOrAStop) {
  {
    ItemsOnSim s;
    threeRows(s, true);
    // The refused row is the last; the ones before it stay written, no saved message.
    s.items.selected = {0, 2, 1};
    const TLoopOutcome r = s.items.SaveSelected_inGrid();
    EXPECT_EQ(r.end, TLoopEnd::Failed);
    EXPECT_EQ(r.answered, 1);
    EXPECT_EQ(r.failedNumbers, std::vector<int64_t>{9});
    EXPECT_EQ(apptest::devicePlus(*s.sim), (std::vector<int>{5}));
    EXPECT_EQ(s.inputsOf(107).size(), 2u);
    ASSERT_EQ(s.shown().size(), 1u);  // the device's error, once
    EXPECT_NE(s.shown()[0], "The data was saved in the device.");
    EXPECT_FALSE(s.items.SaveAllInGrid().ok());
    EXPECT_EQ(s.inputsOf(107).size(), 5u);
  }
  {
    ItemsOnSim s;
    threeRows(s, false);
    s.host.stopAfterChecks = 1;
    const TLoopOutcome r = s.items.SaveAllInGrid();
    EXPECT_TRUE(r.stopped());
    // The stop is seen after PLU 6 was saved: it counts as written.
    EXPECT_EQ(r.answered, 2);
    EXPECT_EQ(r.closingMessage(ITEMS_SAVE), "Save stopped after 2 of 3 items.");
    EXPECT_EQ(apptest::devicePlus(*s.sim), (std::vector<int>{5, 6}));
    EXPECT_TRUE(s.shown().empty());
  }
  {
    ItemsOnSim s;
    threeRows(s, false);
    s.items.selected = {2, 0};
    s.items.current = 1;
    EXPECT_TRUE(s.items.SaveSelected_inGrid().ok());
    EXPECT_EQ(s.inputsOf(107)[0].substr(0, 4), "P\t9\t");
    EXPECT_EQ(s.items.current, 1);
    EXPECT_EQ(apptest::devicePlus(*s.sim), (std::vector<int>{5, 9}));
  }
}

TEST(ItemsOps, DeleteRangeAllAndSelected) {
  ItemsOnSim s;
  apptest::putDeviceItems(*s.sim, {5, 6, 7, 9, 12});
  s.items.ReadItems_inRange(1, 20);
  s.clearSent();
  // 4 is not in the table: the range starts at its first row.
  EXPECT_TRUE(s.items.DelInRange(4, 9));
  EXPECT_EQ(s.inputsOf(107), (std::vector<std::string>{"D\t5\t9\t"}));
  EXPECT_EQ(rowsPlu(s.table), (std::vector<std::string>{"12"}));
  EXPECT_EQ(apptest::devicePlus(*s.sim), (std::vector<int>{12}));
  EXPECT_EQ(s.shown().back(), "Items deleted.");

  apptest::putDeviceItems(*s.sim, {1, 2, 3});
  s.items.ReadItems_inRange(1, 20);
  s.clearSent();
  s.items.selected = {2, 0};  // PLUs 3 and 1
  s.items.current = 1;
  EXPECT_TRUE(s.items.DelSelectedInGrid().ok());
  EXPECT_EQ(s.inputsOf(107), (std::vector<std::string>{"D\t3\t\t", "D\t1\t\t"}));
  EXPECT_EQ(rowsPlu(s.table), (std::vector<std::string>{"2", "12"}));
  EXPECT_EQ(s.items.current, 0);  // still PLU 2

  // A PLU the device no longer has ends the loop at it, without the message.
  s.device([](sim::DeviceModel& d) { d.mutableState().items.erase(2); });
  const size_t dialogs = s.shown().size();
  s.items.selected = {0, 1};
  EXPECT_EQ(s.items.DelSelectedInGrid().failedNumbers, std::vector<int64_t>{2});
  EXPECT_EQ(rowsPlu(s.table), (std::vector<std::string>{"2", "12"}));
  EXPECT_EQ(s.shown().size(), dialogs);

  // "All": no question, the device and the table empty.
  s.clearSent();
  s.items.menuAction(popDelete, TMenuEntry::All);
  EXPECT_EQ(s.inputsOf(107), (std::vector<std::string>{"D\tA\t\t"}));
  EXPECT_EQ(s.table.RecordCount(), 0);
  EXPECT_TRUE(apptest::devicePlus(*s.sim).empty());
  EXPECT_EQ(s.shown().back(), "Items deleted.");
}

TEST(ItemsOps, QuantityChangeAddsTheSignedChange) {
  ItemsOnSim s;
  apptest::putDeviceItems(*s.sim, {10});
  s.items.ReadItems_inRange(10, 10);
  s.items.current = 0;
  s.clearSent();
  s.host.numbers = {"2.5", "-3.5", "x"};
  EXPECT_TRUE(s.items.btnChangeQTYClick());
  EXPECT_EQ(s.inputsOf(107), (std::vector<std::string>{"A\t10\t2.500\t"}));
  EXPECT_EQ(s.table.displayText(0, s.table.fieldIndex("StockQty")), "12.500");
  EXPECT_TRUE(s.items.btnChangeQTYClick());
  EXPECT_EQ(s.inputsOf(107).back(), "A\t10\t-3.500\t");
  EXPECT_EQ(s.table.displayText(0, s.table.fieldIndex("StockQty")), "9.000");
  // No number: the conversion error, nothing sent; Cancel: nothing at all.
  EXPECT_THROW(s.items.btnChangeQTYClick(), std::invalid_argument);
  EXPECT_FALSE(s.items.btnChangeQTYClick());
  EXPECT_EQ(s.inputsOf(107).size(), 2u);
  // The stock may go below zero, as in the device.
  EXPECT_TRUE(s.items.changeQuantity(0, "-10"));
  EXPECT_EQ(s.table.displayText(0, s.table.fieldIndex("StockQty")), "-1.000");
  s.items.ReadItems_inRange(10, 10);
  EXPECT_EQ(s.table.displayText(0, s.table.fieldIndex("StockQty")), "-1.000");
  // A change past what the quantity holds, or one that would take the sum past it, is
  // refused naming the field, and nothing goes to the device.
  const size_t sentBefore = s.inputsOf(107).size();
  for (const char* change : {"922337203685477.5808", "-922337203685477.580"}) {
    SCOPED_TRACE(change);
    try {
      s.items.changeQuantity(0, change);
      ADD_FAILURE() << "accepted";
    } catch (const EFieldValueError& e) {
      EXPECT_EQ(std::string(e.what()).rfind(std::string("'") + change + "' is not a valid value for field 'Stock qty'", 0), 0u)
          << e.what();
    }
  }
  EXPECT_EQ(s.inputsOf(107).size(), sentBefore);
  EXPECT_EQ(s.table.displayText(0, s.table.fieldIndex("StockQty")), "-1.000");
}

TEST(ItemsOps, RangeDialogFeedsTheMenuAndAnEmptiedEditIsAConversionError) {
  ItemsOnSim s;
  apptest::putDeviceItems(*s.sim, {3, 4, 8});
  s.host.ranges.push_back({"3", "4"});
  s.items.menuAction(popRead, TMenuEntry::Range);
  EXPECT_EQ(rowsPlu(s.table), (std::vector<std::string>{"3", "4"}));
  EXPECT_EQ(s.host.rangeDialogs, (std::vector<bool>{false}));

  s.clearSent();
  s.host.ranges.push_back({"", "4"});
  EXPECT_THROW(s.items.menuAction(popDelete, TMenuEntry::Range), std::invalid_argument);
  s.items.menuAction(popSave, TMenuEntry::Range);  // cancelled
  EXPECT_TRUE(s.sent.empty());
}

}  // namespace
}  // namespace kestrel
