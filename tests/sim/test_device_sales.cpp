// Items, clients, operators, receipts, cash, reports and the electronic journal of
// the simulated device, driven without a transport.
#include <gtest/gtest.h>

#include <fmt/format.h>

#include <algorithm>
#include <functional>

#include "sim/device_codes.h"
#include "support/md5.h"
#include "support_device.h"

using namespace kestrel::sim;
using namespace kestrel::simtest;

namespace {

class Sales : public DeviceTest {
 protected:
  void SetUp() override { prepareSales(); }

  // "Close receipts operation" as the window runs it.
  void closeReceipts() {
    const auto st = run(76, "");
    const int s = std::stoi(st[1]);
    if (s == 3) {
      EXPECT_EQ(code(39, ""), 0);
      return;
    }
    if (s != 1 && s != 2 && s != 4 && s != 5) return;
    const double total = std::stod(st[6]), paid = std::stod(st[7]);
    if (paid > 0) {
      ASSERT_EQ(code(53, "0\t" + fmt::format("{}", total - paid) + "\t"), 0);
      EXPECT_EQ(code(56, ""), 0);
      return;
    }
    int c = 0;
    for (int guard = 0; guard < 1000 && c >= 0; ++guard) c = code(52, "0\t");
    ASSERT_EQ(c, ERR_NO_TRANSACTIONS);
    ASSERT_EQ(code(53, "0\t0\t"), 0);
    EXPECT_EQ(code(56, ""), 0);
  }
  int sell(const char* line) { return code(58, line); }
};

TEST_F(Sales, ItemsProgramReadFindDeleteAndStock) {
  EXPECT_EQ(run(107, "R\t1\t"),
            (std::vector<std::string>{"0", "1", "1", "1", "1", "0", "10.00", "0.00", "0.000", "100.000", "", "", "",
                                      "", "Bread"}));
  ASSERT_EQ(code(107, "P\t100000\t3\t99\t99\t2\t0.99\t\t-1.5\t3870001\t0\t\t\tLast item\t"), 0);
  const auto last = run(107, "R\t100000\t");
  EXPECT_EQ(last[9], "-1.500");
  EXPECT_EQ(last[10], "3870001");
  EXPECT_EQ(last[14], "Last item");
  EXPECT_EQ(code(107, "P\t5\t1\t0\t1\t0\t1.00\t\t0\t3870001\t\t\t\tDup\t"), ERR_BARCODE_EXISTS);
  EXPECT_EQ(code(107, "P\t5\t6\t0\t1\t0\t1.00\t\t0\t\t\t\t\tX\t"), -112202);
  EXPECT_EQ(code(107, "P\t100001\t1\t0\t1\t0\t1.00\t\t0\t\t\t\t\tX\t"), -112201);
  EXPECT_EQ(code(107, "R\t3\t"), ERR_PLU_NOT_FOUND);
  EXPECT_EQ(run(107, "F\t1\t")[1], "1");
  EXPECT_EQ(run(107, "F\t3\t")[1], "100000");
  EXPECT_EQ(run(107, "L\t100000\t")[1], "100000");
  EXPECT_EQ(run(107, "L\t99999\t")[1], "2");
  EXPECT_EQ(code(107, "F\t100001\t"), ERR_PLU_NOT_FOUND);
  EXPECT_EQ(code(107, "A\t1\t2.5\t"), 0);
  EXPECT_EQ(run(107, "R\t1\t")[9], "102.500");
  EXPECT_EQ(code(107, "A\t1\t-3.25\t"), 0);
  EXPECT_EQ(run(107, "R\t1\t")[9], "99.250");
  EXPECT_EQ(code(107, "D\t3\t\t"), ERR_PLU_NOT_FOUND);
  EXPECT_EQ(code(107, "D\t2\t1\t"), -112202) << "a range must not run backwards";
  EXPECT_EQ(code(107, "D\t2\t\t"), 0);
  EXPECT_EQ(code(107, "R\t2\t"), ERR_PLU_NOT_FOUND);
  EXPECT_EQ(code(107, "D\t50\t100000\t"), 0);
  EXPECT_EQ(code(107, "R\t100000\t"), ERR_PLU_NOT_FOUND);
  EXPECT_EQ(code(107, "D\tA\t\t"), 0);
  EXPECT_EQ(code(107, "F\t1\t"), ERR_PLU_NOT_FOUND);
}

TEST_F(Sales, ItemsWithTurnoverAreDeletedOnlyInServiceMode) {
  ASSERT_EQ(openReceipt(), 0);
  ASSERT_EQ(sell("1\t2.000\t\t0\t0\t"), 0);
  EXPECT_EQ(code(107, "P\t9\t1\t0\t1\t0\t1.00\t\t0\t\t\t\t\tX\t"), ERR_RECEIPT_OPEN);
  ASSERT_EQ(code(53, "0\t\t"), 0);
  ASSERT_EQ(code(56, ""), 0);
  const auto item = run(107, "R\t1\t");
  EXPECT_EQ(item[7], "20.00");
  EXPECT_EQ(item[8], "2.000");
  EXPECT_EQ(item[9], "98.000");
  EXPECT_EQ(code(107, "D\t1\t2\t"), ERR_PLU_HAS_TURNOVER);
  EXPECT_EQ(code(107, "R\t2\t"), 0) << "a refused range deletes nothing";
  ASSERT_EQ(code(253, "0\t1234\t"), 0);
  EXPECT_EQ(code(107, "D\t1\t2\t"), 0);
  EXPECT_EQ(code(107, "R\t1\t"), ERR_PLU_NOT_FOUND);
}

TEST_F(Sales, ClientsFirstNextProgramDelete) {
  EXPECT_EQ(code(140, "F\t\t"), ERR_NO_CLIENT);
  for (int n : {5, 1, 2})
    ASSERT_EQ(code(140, "P\t" + std::to_string(n) + "\tFirm " + std::to_string(n) + "\t4200000000001\t\tStreet 1\tTown\t"), 0);
  // The program command carries the name before the tax number; the answers the tax number first.
  EXPECT_EQ(run(140, "F\t\t"),
            (std::vector<std::string>{"0", "1", "4200000000001", "Firm 1", "", "Street 1", "Town"}));
  EXPECT_EQ(run(140, "N\t")[1], "2");
  EXPECT_EQ(run(140, "N\t")[1], "5");
  EXPECT_EQ(code(140, "N\t"), ERR_NO_CLIENT);
  EXPECT_EQ(code(140, "N\t"), ERR_NO_CLIENT) << "stays at the end";
  EXPECT_EQ(code(140, "P\t1001\tX\t1\t\t\t\t"), -112201);
  EXPECT_EQ(code(140, "P\t7\t" + std::string(43, 'n') + "\t1\t\t\t\t"), -112202);
  EXPECT_EQ(code(140, "D\t3\t\t"), ERR_NO_CLIENT);
  EXPECT_EQ(code(140, "D\t2\t\t"), 0);
  EXPECT_EQ(run(140, "F\t\t")[1], "1");
  EXPECT_EQ(run(140, "N\t")[1], "5");
  EXPECT_EQ(code(140, "D\tA\t\t"), 0);
  EXPECT_EQ(code(140, "F\t\t"), ERR_NO_CLIENT);
}

TEST_F(Sales, OperatorPasswordsAndRegisters) {
  EXPECT_EQ(code(101, "3\t9999\t4321\t"), ERR_WRONG_PASSWORD);
  EXPECT_EQ(code(101, "3\t0000\t43a1\t"), -112203);
  EXPECT_EQ(code(101, "3\t0000\t4321\t"), 0);
  EXPECT_EQ(run(255, "OperPasw\t2\t\t")[1], "4321");
  EXPECT_EQ(code(48, "3\t0000\t1\t1\t"), ERR_WRONG_PASSWORD);
  ASSERT_EQ(code(48, "3\t4321\t1\t1\t"), 0);
  ASSERT_EQ(sell("1\t1\t\t2\t-10\t"), 0);  // 10.00 less 10 %
  ASSERT_EQ(sell("2\t2\t\t1\t5\t"), 0);    // 11.00 plus 5 %
  ASSERT_EQ(sell("2\t1\t\t0\t0\t"), 0);
  ASSERT_EQ(code(52, "0\t"), 0);            // the last sale voided
  ASSERT_EQ(code(53, "1\t\t"), 0);
  ASSERT_EQ(code(56, ""), 0);
  EXPECT_EQ(run(112, "3\t"), (std::vector<std::string>{"0", "1", "20.55", "0", "0.00", "1", "1.00", "1", "0.55", "1",
                                                         "5.50", "0", "0.00"}));
  EXPECT_EQ(code(112, "31\t"), -112201);
}

TEST_F(Sales, SaleRulesAndPayments) {
  EXPECT_EQ(sell("1\t1\t\t0\t0\t"), ERR_RECEIPT_CLOSED);
  EXPECT_EQ(code(53, "0\t1\t"), ERR_RECEIPT_CLOSED);
  ASSERT_EQ(openReceipt(), 0);
  EXPECT_EQ(openReceipt(), ERR_FISCAL_OPEN);
  EXPECT_EQ(sell("3\t1\t\t0\t0\t"), ERR_PLU_NOT_FOUND);
  EXPECT_EQ(sell("1\t1\t9.00\t0\t0\t"), ERR_FIXED_PRICE);
  EXPECT_EQ(sell("1\t0\t\t0\t0\t"), -112202);
  EXPECT_EQ(sell("1\t1.0001\t\t0\t0\t"), -112102);
  EXPECT_EQ(sell("1\t1\t\t3\t5\t"), -112204);
  ASSERT_EQ(code(255, "KeyOTS_forbidden\t0\t1\t"), ERR_RECEIPT_OPEN);
  EXPECT_EQ(run(58, "2\t1.000\t7.25\t0\t0.00\t"), (std::vector<std::string>{"0", "7.25", "7.25"}));
  ASSERT_EQ(code(107, "P\t3\t3\t0\t1\t1\t1.00\t\t0\t\t\t\t\tJ item\t"), ERR_RECEIPT_OPEN);
  ASSERT_EQ(sell("1\t1\t\t0\t0\t"), 0);
  EXPECT_EQ(run(76, "")[6], "17.25");
  EXPECT_EQ(code(56, ""), ERR_PAYMENT_NOT_STARTED);
  EXPECT_EQ(code(53, "1\t20.00\t"), ERR_SUM_TOO_BIG) << "a card pays no more than the rest";
  EXPECT_EQ(code(53, "4\t1\t"), -112201);
  EXPECT_EQ(run(53, "1\t7.25\t"), (std::vector<std::string>{"0", "10.00", "0.00"}));
  EXPECT_EQ(sell("1\t1\t\t0\t0\t"), ERR_PAYMENT_STARTED);
  EXPECT_EQ(code(52, "0\t"), ERR_PAYMENT_STARTED);
  EXPECT_EQ(code(56, ""), ERR_SUM_TOO_SMALL);
  EXPECT_EQ(run(53, "0\t20\t"), (std::vector<std::string>{"0", "0.00", "10.00"})) << "cash gives change";
  EXPECT_EQ(code(56, ""), 0);
  EXPECT_EQ(run(70, "0\t0\t")[1], "10.00") << "cash in the drawer: 20 paid, 10 change";
}

TEST_F(Sales, DeviceRefusesForbiddenVatPaymentAndCorrection) {
  ASSERT_EQ(code(107, "P\t3\t3\t0\t1\t1\t1.00\t\t0\t\t\t\t\tJ item\t"), 0);
  ASSERT_EQ(code(107, "P\t4\t2\t0\t1\t2\t5.00\t\t0\t\t\t\t\tMax price\t"), 0);
  ASSERT_EQ(code(255, "KeyOTS_forbidden\t0\t1\t"), 0);
  ASSERT_EQ(code(255, "Payment_forbidden\t2\t1\t"), 0);
  ASSERT_EQ(openReceipt(), 0);
  EXPECT_EQ(sell("3\t1\t\t0\t0\t"), ERR_FORBIDDEN_VAT);
  EXPECT_EQ(sell("4\t1\t5.01\t0\t0\t"), ERR_PRICE_ABOVE_PROGRAMMED);
  EXPECT_EQ(sell("4\t1\t4.00\t2\t-5\t"), ERR_FORBIDDEN_CORRECTION);
  EXPECT_EQ(sell("4\t1\t4.00\t1\t5\t"), 0);
  EXPECT_EQ(code(53, "2\t\t"), ERR_FORBIDDEN_PAYMENT);
}

TEST_F(Sales, CloseReceiptsOperationInEveryState) {
  struct Case {
    const char* name;
    std::function<void()> leave;
    int state;
    int docType;  // -1: nothing printed
  };
  ASSERT_EQ(code(70, "0\t50\t"), 0);  // cash for storno payments
  const Case cases[] = {
      {"no receipt", [] {}, 0, -1},
      {"fiscal, sales, no payment",
       [&] {
         ASSERT_EQ(openReceipt(), 0);
         ASSERT_EQ(sell("1\t1\t\t0\t0\t"), 0);
         ASSERT_EQ(sell("2\t2\t\t0\t0\t"), 0);
       },
       1, DOC_FISCAL},
      {"storno, one sale",
       [&] {
         ASSERT_EQ(code(43, "1\t" + pw() + "\t1\t17\t1234567890123456\t"), 0);
         ASSERT_EQ(sell("1\t1\t\t0\t0\t"), 0);
       },
       2, DOC_STORNO},
      {"non-fiscal", [&] { ASSERT_EQ(code(38, "1\t" + pw() + "\t"), 0); }, 3, DOC_NONFISCAL},
      {"fiscal, partly paid",
       [&] {
         ASSERT_EQ(openReceipt(), 0);
         ASSERT_EQ(sell("1\t1.25\t\t0\t0\t"), 0);
         ASSERT_EQ(code(53, "1\t5\t"), 0);
       },
       4, DOC_FISCAL},
      {"storno, partly paid",
       [&] {
         ASSERT_EQ(code(43, "1\t" + pw() + "\t1\t17\t1234567890123456\t"), 0);
         ASSERT_EQ(sell("2\t2\t\t0\t0\t"), 0);
         ASSERT_EQ(code(53, "1\t1\t"), 0);
       },
       5, DOC_STORNO},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.leave();
    EXPECT_EQ(run(76, "")[1], std::to_string(c.state));
    const size_t docs = d.state().journal.size();
    closeReceipts();
    EXPECT_EQ(run(76, "")[1], "0");
    if (c.docType < 0) {
      EXPECT_EQ(d.state().journal.size(), docs);
    } else {
      ASSERT_EQ(d.state().journal.size(), docs + 1);
      EXPECT_EQ(d.state().journal.back().type, c.docType);
    }
  }
  // 12.50 sold and 5 paid by card: the cash rest 7.5 closed it.
  const auto x = run(69, "X\t");
  EXPECT_EQ(x[2], "12.50");
  EXPECT_EQ(x[3], "0.00") << "voided sales count nowhere";
  EXPECT_EQ(x[8], "11.00");
}

TEST_F(Sales, DailyReportsSumPerVatGroupAndZClosesTheDay) {
  EXPECT_EQ(run(69, "X\t"), (std::vector<std::string>{"0", "1", "0.00", "0.00", "0.00", "0.00", "0.00", "0.00", "0.00",
                                                        "0.00", "0.00", "0.00"}));
  ASSERT_EQ(code(70, "0\t100\t"), 0);
  ASSERT_EQ(openReceipt(), 0);
  ASSERT_EQ(sell("1\t2\t\t0\t0\t"), 0);
  ASSERT_EQ(sell("2\t1\t\t0\t0\t"), 0);
  EXPECT_EQ(code(69, "Z\t"), ERR_RECEIPT_OPEN);
  ASSERT_EQ(code(53, "0\t\t"), 0);
  ASSERT_EQ(code(56, ""), 0);
  ASSERT_EQ(code(43, "1\t" + pw() + "\t1\t1\t1234567890123456\t"), 0);
  ASSERT_EQ(sell("2\t1\t3.00\t0\t0\t"), 0);
  ASSERT_EQ(code(53, "0\t\t"), 0);
  ASSERT_EQ(code(56, ""), 0);
  const std::vector<std::string> sums{"20.00", "5.50", "0.00", "0.00", "0.00", "0.00", "3.00", "0.00", "0.00", "0.00"};
  auto x = run(69, "X\t");
  EXPECT_EQ(x[1], "1");
  EXPECT_EQ(std::vector<std::string>(x.begin() + 2, x.end()), sums);
  auto z = run(69, "Z\t");
  EXPECT_EQ(z[1], "1");
  EXPECT_EQ(std::vector<std::string>(z.begin() + 2, z.end()), sums);
  z = run(69, "Z\t");
  EXPECT_EQ(z[1], "2");
  EXPECT_EQ(z[2], "0.00") << "the Z report closed the day";
  EXPECT_EQ(run(70, "1\t0\t"), (std::vector<std::string>{"0", "122.50", "0.00", "0.00"}))
      << "cash stays in the drawer, the day's in and out sums start again";
  EXPECT_EQ(code(69, "Q\t"), ERR_SYNTAX);
}

TEST_F(Sales, CashInAndOut) {
  EXPECT_EQ(run(70, "0\t12.5\t"), (std::vector<std::string>{"0", "12.50", "12.50", "0.00"}));
  EXPECT_EQ(run(70, "1\t2.25\t"), (std::vector<std::string>{"0", "10.25", "12.50", "2.25"}));
  EXPECT_EQ(code(70, "1\t10.26\t"), ERR_NO_CASH);
  EXPECT_EQ(code(70, "1\t-1\t"), -112201);
  EXPECT_EQ(code(70, "1\t1.234\t"), -112101);
  EXPECT_EQ(code(70, "2\t1\t"), ERR_SYNTAX);
  EXPECT_EQ(d.state().journal.back().lines[1], "CASH OUT");
}

TEST_F(Sales, JournalFindSelectAndReadValidatedDocuments) {
  const size_t before = d.state().journal.size();
  clock = makeTime(2025, 7, 2, 9, 0, 0);
  ASSERT_EQ(openReceipt(), 0);
  ASSERT_EQ(sell("1\t1\t\t0\t0\t"), 0);
  ASSERT_EQ(code(53, "0\t\t"), 0);
  ASSERT_EQ(code(56, ""), 0);
  clock += 3600;
  ASSERT_EQ(code(69, "X\t"), 0);
  const int receipt = d.state().journal[before].number;
  const int xReport = receipt + 1;

  EXPECT_EQ(code(124, "01-07-25 00:00:00\t01-07-25 23:59:59\t0\t"), ERR_EJ_NO_RECORDS);
  EXPECT_EQ(run(124, "02-07-25 00:00:00\t02-07-25 23:59:59 DST\t8\t"),
            (std::vector<std::string>{"0", "02-07-25 09:00:00", "02-07-25 09:00:00", std::to_string(receipt),
                                      std::to_string(receipt)}));
  const auto any = run(124, "02-07-25 00:00:00\t02-07-25 23:59:59\t2\t");
  EXPECT_EQ(any[3], std::to_string(xReport));
  EXPECT_EQ(code(124, "02-07-25\t02-07-25 23:59:59\t0\t"), -112101);

  EXPECT_EQ(code(125, "0\t" + std::to_string(receipt) + "\t2\t"), ERR_EJ_NO_RECORDS) << "wrong type";
  EXPECT_EQ(code(125, "0\t999\t8\t"), ERR_EJ_NO_RECORDS);
  EXPECT_EQ(code(125, "1\t"), ERR_EJ_NO_RECORDS) << "nothing selected";
  ASSERT_EQ(code(125, "0\t" + std::to_string(receipt) + "\t5\t"), 0);
  EXPECT_EQ(code(125, "3\t" + std::to_string(receipt) + "\t0\t"), 0);
  std::vector<std::string> lines;
  for (int guard = 0; guard < 1000; ++guard) {
    const auto f = run(125, "1\t");
    if (f[0] != "0") {
      EXPECT_EQ(f[0], "-100003");
      break;
    }
    lines.push_back(f[1]);
  }
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines.back(), "{ logo }");
  EXPECT_NE(std::find(lines.begin(), lines.end(), "\x1DTOTAL\x1D" "10.00"), lines.end());
  // The check a reader runs: column marks of a line that starts with one become TAB,
  // the lines before the hash line joined with LF hash to the printed MD5.
  std::string text;
  for (size_t i = 0; i + 2 < lines.size(); ++i) {
    std::string l = lines[i];
    if (!l.empty() && l[0] == 0x1D) std::replace(l.begin(), l.end(), '\x1D', '\t');
    text += l + "\n";
  }
  std::string hash = lines[lines.size() - 2];
  ASSERT_EQ(hash[0], '\x1D');
  EXPECT_EQ(hash.substr(1), kestrel::md5Hex(text, true));
}

TEST_F(Sales, FiscalMemoryAndOtherReports) {
  EXPECT_EQ(code(94, "01-01-25 00:00:00\t31-12-25 23:59:59\t"), ERR_FM_EMPTY_RANGE);
  EXPECT_EQ(code(95, "1\t1\t"), ERR_FM_EMPTY_RANGE);
  ASSERT_EQ(code(69, "Z\t"), 0);
  struct Case {
    uint16_t cmd;
    const char* input;
    int code;
    int docType;
  };
  const Case cases[] = {
      {94, "01-07-25 00:00:00\t01-07-25 23:59:59 DST\t", 0, DOC_PERIODIC},
      {94, "02-07-25 00:00:00\t01-07-25 23:59:59\t", ERR_FM_WRONG_RANGE, -1},
      {94, "01-07-25\t01-07-25 23:59:59\t", -112101, -1},
      {95, "1\t1\t", 0, DOC_PERIODIC},
      {95, "2\t1\t", ERR_FM_WRONG_RANGE, -1},
      {95, "2\t5\t", ERR_FM_EMPTY_RANGE, -1},
      {71, "0\t", 0, DOC_NONFISCAL},
      {69, "D\t", 0, DOC_NONFISCAL},
      {69, "G\t", 0, DOC_NONFISCAL},
      {69, "P\t1\t01-06-25\t01-07-25\t", 0, DOC_PERIODIC},
      {69, "P\t3\t01-06-25\t01-07-25\t2\t1\t10\t", 0, DOC_PERIODIC},
      {69, "P\t3\t01-06-25\t01-07-25\t4\t1\t10\t", -112204, -1},
      {69, "P\t2\t01-08-25\t01-07-25\t", -112203, -1},
      {105, "1\t5\t1\t", 0, DOC_NONFISCAL},
      {105, "5\t1\t0\t", -112202, -1},
      {111, "3\t10\t20\t", 0, DOC_NONFISCAL},
      {111, "4\t10\t20\t", -112201, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.cmd) + " " + c.input);
    const size_t docs = d.state().journal.size();
    EXPECT_EQ(code(c.cmd, c.input), c.code);
    if (c.docType < 0) {
      EXPECT_EQ(d.state().journal.size(), docs);
    } else {
      ASSERT_EQ(d.state().journal.size(), docs + 1);
      EXPECT_EQ(d.state().journal.back().type, c.docType);
    }
  }
}

TEST_F(Sales, ReportsClearRegistersWhenAsked) {
  ASSERT_EQ(openReceipt(), 0);
  ASSERT_EQ(sell("1\t1\t\t0\t0\t"), 0);
  ASSERT_EQ(code(53, "0\t\t"), 0);
  ASSERT_EQ(code(56, ""), 0);
  ASSERT_EQ(code(105, "1\t1\t0\t"), 0);
  EXPECT_EQ(run(112, "1\t")[2], "10.00");
  ASSERT_EQ(code(105, "1\t1\t1\t"), 0);
  EXPECT_EQ(run(112, "1\t")[2], "0.00");
  ASSERT_EQ(code(111, "0\t1\t1\t"), 0);
  EXPECT_EQ(run(107, "R\t1\t")[7], "10.00");
  ASSERT_EQ(code(111, "1\t1\t1\t"), 0);
  EXPECT_EQ(run(107, "R\t1\t")[7], "0.00");
}

}  // namespace
