// Cash IO and Test receipts against the simulator: cash in and out with the drawer
// sums, both test receipts with their checks and commands, the test item, "Close
// receipts operation" in each receipt state and its bound, and the restart.
#include <gtest/gtest.h>

#include "app/logic/pages/cash_io.h"
#include "app/logic/pages/test_receipts.h"
#include "app/ops_fixture.h"

namespace kestrel {
namespace {

// A device with VAT groups A to E on and item 1 (group A, 2.50) programmed.
struct Shop : apptest::OpsOnSim {
  Shop() {
    device([](sim::DeviceModel& d) {
      d.mutableState().vat = {1700, 500, 0, 0, 0};
      d.mutableState().vatSet = true;
    });
    item.price = "2.50";
    item.operPassword = "0000";
    EXPECT_TRUE(programTestItem(ops, item));
    clearSent();
  }
  const sim::Receipt receipt() {
    return device([](sim::DeviceModel& d) { return d.state().receipt; });
  }
  int64_t cash() {
    return device([](sim::DeviceModel& d) { return d.state().cash; });
  }
  std::vector<int> commands() const {
    std::vector<int> c;
    for (const auto& x : sent) c.push_back(x.command);
    return c;
  }
  TTestReceipt item;
};

TEST(CashOps, InAndOutShowTheDrawerSums) {
  Shop s;
  TCashSums sums;
  ASSERT_TRUE(cashInOut(s.ops, false, "12.5", sums));
  EXPECT_EQ(s.inputsOf(70), std::vector<std::string>{"0\t12.50\t"});
  EXPECT_EQ(s.dialogs.shown.back().text, "The data was saved in the device.");
  ASSERT_TRUE(cashInOut(s.ops, true, "2", sums));
  EXPECT_EQ(s.inputsOf(70).back(), "1\t2.00\t");
  EXPECT_EQ(sums.inSafe, "10.50");
  EXPECT_EQ(sums.inputs, "12.50");
  EXPECT_EQ(sums.outputs, "2.00");

  // More than the drawer holds: refused, the sums stay; no number: nothing is sent.
  const size_t shown = s.dialogs.shown.size();
  EXPECT_FALSE(cashInOut(s.ops, true, "100", sums));
  EXPECT_EQ(s.dialogs.shown.size(), shown + 1);
  EXPECT_NE(s.dialogs.shown.back().text, "The data was saved in the device.");
  EXPECT_EQ(sums.inSafe, "10.50");
  EXPECT_THROW(cashInOut(s.ops, false, "1,5", sums), std::invalid_argument);
  // A cent's fraction is refused, naming the amount, not rounded away; zeros past the
  // cents are no fraction.
  for (const char* fraction : {"0.001", "12.505"}) {
    try {
      cashInOut(s.ops, false, fraction, sums);
      ADD_FAILURE() << fraction << " sent";
    } catch (const std::invalid_argument& e) {
      EXPECT_NE(std::string(e.what()).find("Amount"), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(s.inputsOf(70).size(), 3u);
  EXPECT_EQ(cashAmountText("1.5000"), "1.50");
}

TEST(TestReceiptOps, CorrectionKindsAndShortestForms) {
  const std::pair<const char*, const char*> cases[] = {
      {"0", "0\t0.00\t"}, {"10", "1\t10\t"}, {"-5", "2\t-5\t"}, {"", "0\t0.00\t"},
      {"abc", "0\t0.00\t"}, {"2.50", "1\t2.5\t"}, {"-0.25", "2\t-0.25\t"}};
  for (const auto& [typed, sent] : cases) EXPECT_EQ(correctionFields(typed), sent) << typed;
}

TEST(TestReceiptOps, FiscalReceiptReadsOpensSellsPaysAndCloses) {
  Shop s;
  s.item.correction = "10";
  std::string focus;
  ASSERT_TRUE(testFiscalReceipt(s.ops, s.item, focus)) << s.err.LastErrorMessage();
  EXPECT_EQ(s.commands(), (std::vector<int>{107, 48, 58, 76, 53, 56}));
  EXPECT_EQ(s.inputsOf(107)[0], "R\t1\t");
  EXPECT_EQ(s.inputsOf(48)[0], "1\t0000\t1234567890123456\t1\t");
  EXPECT_EQ(s.inputsOf(58)[0], "1\t1.000\t2.50\t1\t10\t");
  EXPECT_EQ(s.inputsOf(53)[0], "0\t2.75\t") << "2.50 with 10 % in its shortest form";
  EXPECT_EQ(s.receipt().kind, sim::RK_NONE);
  EXPECT_EQ(s.cash(), 27500);
  EXPECT_TRUE(s.dialogs.shown.empty());
}

TEST(TestReceiptOps, ReclamationSellsAtTheDevicePriceAndPaysOut) {
  Shop s;
  TCashSums sums;
  ASSERT_TRUE(cashInOut(s.ops, false, "10", sums));
  s.clearSent();
  s.item.price = "9.99";  // not used: the device's price is
  s.item.correction = "-5";
  s.item.receiptNumber = "42";
  s.item.paymentType = 0;
  std::string focus;
  ASSERT_TRUE(testReclamationReceipt(s.ops, s.item, focus)) << s.err.LastErrorMessage();
  EXPECT_EQ(s.commands(), (std::vector<int>{107, 43, 58, 76, 53, 56}));
  EXPECT_EQ(s.inputsOf(43)[0], "1\t0000\t1\t42\t1234567890123456\t");
  EXPECT_EQ(s.inputsOf(58)[0], "1\t1.000\t2.50\t2\t-5\t");
  EXPECT_EQ(s.inputsOf(53)[0], "0\t2.37\t");
  EXPECT_EQ(s.cash(), 100000 - 23700);
}

TEST(TestReceiptOps, EmptyRequiredEditsAreCheckedInOrderAndSendNothing) {
  struct Case {
    bool reclamation;
    TTestReceipt r;
    const char* message;
    const char* focus;
  };
  TTestReceipt noIosa, noPlu, noReceipt, noPluNoIosa;
  noIosa.iosa = "";
  noPlu.plu = "";
  noReceipt.receiptNumber = "";
  noPluNoIosa.plu = noPluNoIosa.iosa = "";
  const Case cases[] = {{false, noIosa, MSG_ENTER_IOSA, ED_SALE_IOSA},
                        {false, noPluNoIosa, MSG_ENTER_IOSA, ED_SALE_IOSA},
                        {false, noPlu, MSG_ENTER_PLU, ED_SALE_PLU},
                        {true, noPluNoIosa, MSG_ENTER_IOSA, ED_STORNO_IOSA},
                        {true, noPlu, MSG_ENTER_PLU, ED_STORNO_PLU},
                        {true, noReceipt, MSG_ENTER_RECEIPT, ED_STORNO_RECEIPT}};
  Shop s;
  for (const auto& c : cases) {
    std::string focus;
    s.dialogs.shown.clear();
    EXPECT_FALSE(c.reclamation ? testReclamationReceipt(s.ops, c.r, focus) : testFiscalReceipt(s.ops, c.r, focus));
    EXPECT_EQ(focus, c.focus);
    ASSERT_EQ(s.dialogs.shown.size(), 1u);
    EXPECT_EQ(s.dialogs.shown[0].text, c.message);
  }
  EXPECT_TRUE(s.sent.empty());
}

TEST(TestReceiptOps, UnknownItemEndsTheReceiptBeforeItOpens) {
  Shop s;
  s.item.plu = "77";
  std::string focus;
  EXPECT_FALSE(testFiscalReceipt(s.ops, s.item, focus));
  EXPECT_EQ(s.commands(), std::vector<int>{107});
  EXPECT_EQ(s.receipt().kind, sim::RK_NONE);
}

TEST(TestReceiptOps, AddAndGetTestItem) {
  Shop s;
  TTestReceipt r;
  r.plu = " 12 ";
  r.taxGroup = 2;
  r.price = "3.5";
  r.itemName = "Kafa";
  ASSERT_TRUE(programTestItem(s.ops, r));
  EXPECT_EQ(s.inputsOf(107)[0], "P\t12\t3\t1\t1\t1\t3.50\t\t1.000\t0\t0\t0\t0\tKafa\t");
  EXPECT_TRUE(s.dialogs.shown.empty()) << "no success message";

  TTestReceipt got;
  got.plu = "12";
  ASSERT_TRUE(getTestItem(s.ops, got));
  EXPECT_EQ(got.taxGroup, 2) << "VAT group 3 is Tax group \"J\"";
  EXPECT_EQ(got.price, "3.50");
  EXPECT_EQ(got.itemName, "Kafa");
  EXPECT_TRUE(s.ops.ShowErr());

  // An unknown PLU leaves the fields and shows nothing; another refusal goes to the
  // status bar, not to an alert.
  got.plu = "13";
  EXPECT_FALSE(getTestItem(s.ops, got));
  EXPECT_EQ(got.itemName, "Kafa");
  EXPECT_TRUE(s.host.statusText.empty());
  got.plu = "0";
  EXPECT_FALSE(getTestItem(s.ops, got));
  EXPECT_FALSE(s.host.statusText.empty());
  EXPECT_TRUE(s.dialogs.shown.empty());
  EXPECT_TRUE(s.ops.ShowErr());
}

// Opens a receipt of the given kind by command with `sales` sales of item 1.
void openReceipt(Shop& s, int kind, int sales) {
  if (kind == sim::RK_NONE) return;
  if (kind == sim::RK_NONFISCAL) {
    ASSERT_TRUE(s.cmd(38, "1\t0000\t"));
    return;
  }
  ASSERT_TRUE(kind == sim::RK_FISCAL ? s.cmd(48, "1\t0000\t1\t1\t") : s.cmd(43, "1\t0000\t1\t5\t1\t"));
  for (int i = 0; i < sales; ++i) ASSERT_TRUE(s.cmd(58, "1\t1.000\t2.50\t0\t0\t"));
}

TEST(CloseReceiptsOps, EveryReceiptStateEndsClosed) {
  struct Case {
    const char* what;
    int kind, sales;
    std::string payment;  // a partial payment made first ("" none)
    std::vector<int> commands;
    int state;
  };
  const Case cases[] = {
      {"no receipt", sim::RK_NONE, 0, "", {76}, 0},
      {"non-fiscal", sim::RK_NONFISCAL, 0, "", {76, 39}, 3},
      {"fiscal, unpaid", sim::RK_FISCAL, 3, "", {76, 52, 52, 52, 52, 53, 56}, 1},
      {"fiscal, empty", sim::RK_FISCAL, 0, "", {76, 52, 53, 56}, 1},
      {"reclamation, unpaid", sim::RK_STORNO, 1, "", {76, 52, 52, 53, 56}, 2},
      {"fiscal, partly paid", sim::RK_FISCAL, 5, "5", {76, 53, 56}, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Shop s;
    openReceipt(s, c.kind, c.sales);
    if (!c.payment.empty()) {
      ASSERT_TRUE(s.cmd(53, "1\t" + c.payment + "\t"));
    }
    const TCloseReceipts r = closeReceipts(s.ops);
    EXPECT_TRUE(r.ok()) << s.err.LastErrorMessage();
    EXPECT_EQ(r.state, c.state);
    EXPECT_EQ(s.commands(), c.commands);
    EXPECT_EQ(s.receipt().kind, sim::RK_NONE);
    EXPECT_TRUE(s.dialogs.shown.empty()) << "No transactions ends the voids silently";
    if (c.sales == 3) {
      EXPECT_EQ(s.inputsOf(53)[0], "0\t0\t");
    }
    if (!c.payment.empty()) {
      EXPECT_EQ(s.inputsOf(53)[0], "0\t7.5\t") << "12.50 with 5 paid";
    }
  }
}

TEST(CloseReceiptsOps, ADeviceThatNeverRunsOutOfVoidsMeetsTheBoundOrAStop) {
  Shop s;
  openReceipt(s, sim::RK_FISCAL, 1);
  s.device([](sim::DeviceModel& d) { d.endlessVoids = true; });
  const TCloseReceipts r = closeReceipts(s.ops, 20);
  EXPECT_FALSE(r.ok());
  EXPECT_TRUE(r.boundReached);
  EXPECT_EQ(r.outcome.answered, 20);
  EXPECT_EQ(s.inputsOf(52).size(), 20u);
  EXPECT_TRUE(s.inputsOf(53).empty());
  // The caller shows why: the loop itself says nothing.
  EXPECT_TRUE(s.dialogs.shown.empty());
  EXPECT_EQ(r.outcome.closingMessage(RECEIPT_VOIDS),
            "Close receipts ended at void 20 after 20 voids: " + voidsBoundMessage(20).substr(0, voidsBoundMessage(20).size() - 1) + ".");

  // A stop between two voids ends the run; nothing is paid or closed.
  s.clearSent();
  s.host.stopChecks = 0;
  s.host.stopAfterChecks = 3;
  const TCloseReceipts stopped = closeReceipts(s.ops, 20);
  EXPECT_TRUE(stopped.outcome.stopped());
  EXPECT_EQ(stopped.outcome.answered, 3);
  EXPECT_EQ(s.inputsOf(52).size(), 3u);
  EXPECT_TRUE(s.inputsOf(53).empty());
  EXPECT_EQ(stopped.outcome.closingMessage(RECEIPT_VOIDS), "Close receipts stopped at void 3 after 3 voids.");
}

TEST(TestReceiptOps, RestartSendsRestartAndLeavesServiceMode) {
  Shop s;
  ASSERT_TRUE(s.cmd(253, "0\t1234\t"));
  ASSERT_TRUE(restartDevice(s.ops));
  EXPECT_EQ(s.inputsOf(202), std::vector<std::string>{"RESTART\t"});
  EXPECT_FALSE(s.device([](sim::DeviceModel& d) { return d.serviceMode(); }));
  EXPECT_TRUE(s.dialogs.shown.empty());
}

}  // namespace
}  // namespace kestrel
