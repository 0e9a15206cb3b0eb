// Daily closure against the simulator: X then Z with the sums and totals, the labels of
// an empty group and of a sum that is no number, and the Z report's item deletion with
// each way it can end.
#include <gtest/gtest.h>

#include "app/logic/mem_table.h"
#include "app/logic/pages/daily_closure.h"
#include "app/ops_fixture.h"

namespace kestrel {
namespace {

using sim::FIXED_ONE;

void setDay(apptest::OpsOnSim& s, std::array<int64_t, 5> sales, std::array<int64_t, 5> storno) {
  s.device([&](sim::DeviceModel& d) {
    d.mutableState().daySales = sales;
    d.mutableState().dayStorno = storno;
  });
}

TEST(DailyClosureOps, DecimalTextsOfSumsAndTotals) {
  struct Case {
    const char* text;
    std::optional<int64_t> value;
    const char* shortest;
  };
  const Case cases[] = {{"12.50", 125000, "12.5"}, {" -5 ", -50000, "-5"},   {"0.00", 0, "0"},
                        {"1.23456", 12346, "1.2346"}, {"+2.5", 25000, "2.5"}, {"1,5", std::nullopt, ""},
                        {"", std::nullopt, ""},       {"-", std::nullopt, ""}, {"1.2x", std::nullopt, ""}};
  for (const auto& c : cases) {
    EXPECT_EQ(parseDecimal(c.text), c.value) << c.text;
    if (c.value) {
      EXPECT_EQ(shortestDecimal(*c.value), c.shortest) << c.text;
    }
  }
}

TEST(DailyClosureOps, XThenZShowNumberSumsAndTotalsOfEachReportOnly) {
  apptest::OpsOnSim s;
  setDay(s, {1250 * FIXED_ONE, 25 * FIXED_ONE, 0, FIXED_ONE, FIXED_ONE / 2}, {FIXED_ONE * 3 / 2, 0, 0, 0, FIXED_ONE / 4});
  TPageValues labels = initialClosureLabels();
  ASSERT_TRUE(printXReport(s.ops, labels));
  EXPECT_EQ(s.inputsOf(69), std::vector<std::string>{"X\t"});
  EXPECT_EQ(labels[LB_REPORT_NUMBER], "1");
  EXPECT_EQ(labels["lbVat_1"], "1250.00");
  EXPECT_EQ(labels["lbVat_2"], "25.00");
  EXPECT_EQ(labels["lbVat_5"], "0.50");
  EXPECT_EQ(labels[LB_TOTAL], "1276.5");
  EXPECT_EQ(labels["lbStornoVat_1"], "1.50");
  EXPECT_EQ(labels["lbStornoVat_5"], "0.25");
  EXPECT_EQ(labels[LB_STORNO_TOTAL], "1.75");

  // The Z report of the same day, then the X report of an empty new day: totals of that
  // report alone.
  ASSERT_TRUE(printZReport(s.ops, labels, {}));
  EXPECT_EQ(labels[LB_REPORT_NUMBER], "1");
  EXPECT_EQ(labels[LB_TOTAL], "1276.5");
  ASSERT_TRUE(printXReport(s.ops, labels));
  EXPECT_EQ(labels[LB_REPORT_NUMBER], "2");
  EXPECT_EQ(labels["lbVat_1"], "0.00");
  EXPECT_EQ(labels[LB_TOTAL], "0");
  EXPECT_EQ(labels[LB_STORNO_TOTAL], "0");
  EXPECT_EQ(s.inputsOf(69), (std::vector<std::string>{"X\t", "Z\t", "X\t"}));
  EXPECT_TRUE(s.dialogs.shown.empty()) << "reports show no message";
}

TEST(DailyClosureOps, EmptyGroupKeepsItsLabelsAndANonNumberStopsWithFilledLabelsKept) {
  apptest::OpsOnSim s;
  // The fields of a report answer as the page reads them. Field 3 (group E) empty: its labels keep what they showed; field 4 ("x") is no number.
  ASSERT_TRUE(s.ops.commandUnjudged(74, ""));
  s.ops.fd.answerFieldsList = {"0", "7", " 10.00 ", "", "x", "1", "1", "2.00", "9", "1", "1", "1"};
  TPageValues labels = initialClosureLabels();
  labels["lbVat_2"] = "3.00";
  labels["lbStornoVat_2"] = "4.00";
  EXPECT_THROW(showReportSums(s.ops, labels), std::invalid_argument);
  EXPECT_EQ(labels[LB_REPORT_NUMBER], "7");
  EXPECT_EQ(labels["lbVat_1"], "10.00");
  EXPECT_EQ(labels[LB_TOTAL], "10");
  EXPECT_EQ(labels[LB_STORNO_TOTAL], "2");
  EXPECT_EQ(labels["lbVat_2"], "3.00");
  EXPECT_EQ(labels["lbStornoVat_2"], "4.00");
  EXPECT_EQ(labels["lbVat_3"], "x") << "the text is shown before it is added";
}

TEST(DailyClosureOps, RefusedReportChangesNoLabel) {
  apptest::OpsOnSim s;
  s.device([](sim::DeviceModel& d) { d.mutableState().receipt.kind = sim::RK_NONFISCAL; });
  TPageValues labels = initialClosureLabels();
  EXPECT_FALSE(printXReport(s.ops, labels));
  EXPECT_EQ(labels, initialClosureLabels());
  ASSERT_EQ(s.dialogs.shown.size(), 1u) << "the device's error";
}

void addItems(apptest::OpsOnSim& s, std::initializer_list<int> plus) {
  s.device([&](sim::DeviceModel& d) {
    for (int p : plus) d.mutableState().items[p].name = "item";
  });
}

int itemCount(apptest::OpsOnSim& s) {
  return s.device([](sim::DeviceModel& d) { return static_cast<int>(d.state().items.size()); });
}

bool serviceMode(apptest::OpsOnSim& s) {
  return s.device([](sim::DeviceModel& d) { return d.serviceMode(); });
}

TEST(DailyClosureOps, ZWithDeletionEachWayItEnds) {
  struct Case {
    const char* what;
    TFBHSettings settings;
    std::vector<std::string> messages;  // after the Z report
    std::vector<std::string> sent253, sent107;
    int itemsLeft;
    bool serviceModeAfter;
    bool ok;
  };
  const Case cases[] = {
      {"deleted", {true, "2", "10", "1234"}, {"Items deleted."}, {"0\t1234\t", "0\t\t"}, {"D\t2\t10\t"}, 1, false,
       true},
      {"no password", {true, "2", "10", ""}, {MSG_NO_DELETE_PASSWORD}, {}, {}, 3, false, false},
      {"wrong password",
       {true, "2", "10", "9999"},
       {"Wrong service password (the device reports: Operator error: Wrong operator password)", MSG_SERVICE_MODE_ERROR},
       {"0\t9999\t"},
       {},
       3,
       false,
       false},
      {"setting off", {false, "2", "10", "1234"}, {}, {}, {}, 3, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    apptest::OpsOnSim s;
    addItems(s, {1, 5, 9});
    TPageValues labels = initialClosureLabels();
    EXPECT_EQ(printZReport(s.ops, labels, c.settings), c.ok);
    EXPECT_EQ(labels[LB_REPORT_NUMBER], "1") << "the Z report itself succeeded";
    ASSERT_EQ(s.dialogs.shown.size(), c.messages.size());
    for (size_t i = 0; i < c.messages.size(); ++i) {
      EXPECT_EQ(s.dialogs.shown[i].text, c.messages[i]);
    }
    EXPECT_EQ(s.inputsOf(253), c.sent253);
    EXPECT_EQ(s.inputsOf(107), c.sent107);
    EXPECT_EQ(itemCount(s), c.itemsLeft);
    EXPECT_EQ(serviceMode(s), c.serviceModeAfter);
  }
  // A range no device can delete is refused before the day is closed.
  for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{{"10", "2"}, {"0", "5"}, {"1", "100001"}}) {
    apptest::OpsOnSim s;
    TPageValues labels = initialClosureLabels();
    EXPECT_THROW(printZReport(s.ops, labels, {true, from, to, "1234"}), std::invalid_argument) << from << "-" << to;
    EXPECT_TRUE(s.sent.empty()) << from << "-" << to;
  }
}

}  // namespace
}  // namespace kestrel
