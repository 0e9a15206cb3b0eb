// The engine against the simulator: a test receipt, "Close receipts operation", cash,
// X and Z reports, fiscal memory reports and the journal read and checked by its MD5.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/md5.h"
#include "support_engine.h"

using namespace kestrel;
using namespace kestrel::simtest;

namespace {

class EngineSales : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(e.opened, 0);
    ASSERT_TRUE(e.cmd(83, "17.00\t0.00\t100.00\t100.00\t100.00\t"));
    ASSERT_TRUE(e.cmd(107, "P\t1\t1\t1\t1\t1\t12.50\t\t1.000\t0\t0\t0\t0\tTest item\t"));
  }
  EngineOnSim e;
};

TEST_F(EngineSales, TestReceiptThenCashAndDailyReports) {
  ASSERT_TRUE(e.cmd(70, "0\t100.00\t"));
  EXPECT_EQ(e.fields, (std::vector<std::string>{"0", "100.00", "100.00", "0.00"}));
  ASSERT_TRUE(e.cmd(107, "R\t1\t"));
  ASSERT_TRUE(e.cmd(48, "1\t0000\t1234567890123456\t1\t"));
  EXPECT_TRUE(e.bit(2, 3));
  ASSERT_TRUE(e.cmd(58, "1\t1.000\t12.50\t2\t-10\t"));
  ASSERT_TRUE(e.cmd(76));
  EXPECT_EQ(e.field(1), "1");
  EXPECT_EQ(e.field(6), "11.25");
  EXPECT_EQ(e.field(7), "0.00");
  ASSERT_TRUE(e.cmd(53, "0\t11.25\t"));
  ASSERT_TRUE(e.cmd(56));
  EXPECT_FALSE(e.bit(2, 3));
  ASSERT_TRUE(e.cmd(70, "1\t11.25\t"));
  EXPECT_EQ(e.fields, (std::vector<std::string>{"0", "100.00", "100.00", "11.25"}));
  ASSERT_TRUE(e.cmd(69, "X\t"));
  EXPECT_EQ(e.field(1), "1");
  EXPECT_EQ(e.field(2), "11.25");
  ASSERT_TRUE(e.cmd(69, "Z\t"));
  EXPECT_EQ(e.field(1), "1");
  EXPECT_EQ(e.field(2), "11.25");
  ASSERT_TRUE(e.cmd(69, "X\t"));
  EXPECT_EQ(e.field(1), "2");
  EXPECT_EQ(e.field(2), "0.00");
  ASSERT_TRUE(e.cmd(94, "01-07-25 00:00:00 DST\t01-07-25 23:59:59 DST\t"));
  ASSERT_TRUE(e.cmd(95, "1\t1\t"));
  e.cmd(95, "2\t2\t");
  EXPECT_EQ(e.code(), -100110);
}

TEST_F(EngineSales, CloseReceiptsOperationWithNothingPaid) {
  ASSERT_TRUE(e.cmd(48, "1\t0000\t1234567890123456\t1\t"));
  ASSERT_TRUE(e.cmd(58, "1\t2.000\t12.50\t0\t0.00\t"));
  ASSERT_TRUE(e.cmd(58, "1\t1.000\t12.50\t1\t10\t"));
  ASSERT_TRUE(e.cmd(76));
  ASSERT_EQ(e.field(1), "1");
  ASSERT_EQ(e.field(7), "0.00");
  int voids = 0;
  while (true) {
    e.cmd(52, "0\t");
    if (std::stoi(e.field(0)) < 0) break;
    ++voids;
  }
  EXPECT_EQ(voids, 2);
  EXPECT_EQ(e.code(), -111020);
  ASSERT_TRUE(e.cmd(53, "0\t0\t"));
  ASSERT_TRUE(e.cmd(56));
  ASSERT_TRUE(e.cmd(76));
  EXPECT_EQ(e.field(1), "0");
  // A non-fiscal receipt left open is closed by command 39.
  ASSERT_TRUE(e.cmd(38, "1\t0000\t"));
  ASSERT_TRUE(e.cmd(76));
  EXPECT_EQ(e.field(1), "3");
  e.cmd(58, "1\t1\t\t0\t0\t");
  EXPECT_EQ(e.code(), -111046);
  ASSERT_TRUE(e.cmd(39));
  EXPECT_FALSE(e.bit(2, 5));
}

TEST_F(EngineSales, JournalDocumentReadLineByLineValidatesByItsMd5) {
  ASSERT_TRUE(e.cmd(48, "1\t0000\t1234567890123456\t1\t"));
  ASSERT_TRUE(e.cmd(58, "1\t1.000\t12.50\t0\t0.00\t"));
  ASSERT_TRUE(e.cmd(53, "1\t\t"));
  ASSERT_TRUE(e.cmd(56));
  ASSERT_TRUE(e.cmd(124, "01-07-25 00:00:00 DST\t01-07-25 23:59:59 DST\t0\t"));
  const int first = std::stoi(e.field(3)), last = std::stoi(e.field(4));
  ASSERT_EQ(first, last);
  e.cmd(125, "0\t" + std::to_string(first) + "\t3\t");
  EXPECT_EQ(e.field(0), "-105000") << "not a Z report";
  ASSERT_TRUE(e.cmd(125, "0\t" + std::to_string(first) + "\t0\t"));
  std::vector<std::string> lines;
  while (true) {
    e.cmd(125, "1\t");
    if (std::stoi(e.field(0)) == -100003) break;
    ASSERT_EQ(e.code(), 0);
    std::string line = e.field(1);
    if (!line.empty() && line[0] == '\x1D') std::replace(line.begin(), line.end(), '\x1D', '\t');
    lines.push_back(line);
  }
  // The document check of the journal page: the line before the last "{ logo }" line
  // holds the MD5 of the lines before it, each ended by LF, in code page 1250.
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines.back(), "{ logo }");
  std::string text;
  for (size_t i = 0; i + 2 < lines.size(); ++i) text += lines[i] + "\n";
  std::string printed = lines[lines.size() - 2];
  printed.erase(0, printed.find_first_not_of(" \t"));
  EXPECT_EQ(printed, md5Hex(text, true));
  EXPECT_NE(std::find(lines.begin(), lines.end(), "\tTOTAL\t12.50"), lines.end());
}

}  // namespace
