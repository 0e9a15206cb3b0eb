// The engine against the simulator: items, clients, operators and the master-data
// parameters, as the pages walk them.
#include <gtest/gtest.h>

#include "support_engine.h"

using namespace kestrel;
using namespace kestrel::simtest;

namespace {

TEST(EngineData, ItemsProgramReadRangeAndDelete) {
  EngineOnSim e;
  ASSERT_EQ(e.opened, 0);
  for (int plu : {2, 4, 7})
    ASSERT_TRUE(e.cmd(107, "P\t" + std::to_string(plu) + "\t1\t3\t2\t1\t" + std::to_string(plu) +
                               ".50\t\t5.000\t0\t0\t0\t0\tŠljiva " + std::to_string(plu) + "\t"));
  ASSERT_TRUE(e.cmd(107, "F\t1\t"));
  EXPECT_EQ(e.field(1), "2");
  ASSERT_TRUE(e.cmd(107, "L\t100000\t"));
  EXPECT_EQ(e.field(1), "7");
  // The page reads every number from first to last; missing ones answer -111004.
  std::vector<std::string> names;
  for (int plu = 2; plu <= 7; ++plu) {
    if (e.cmd(107, "R\t" + std::to_string(plu) + "\t") && e.code() == 0) names.push_back(e.field(14));
    else EXPECT_EQ(e.code(), -111004);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Šljiva 2", "Šljiva 4", "Šljiva 7"}));
  ASSERT_TRUE(e.cmd(107, "R\t4\t"));
  EXPECT_EQ(e.fields, (std::vector<std::string>{"0", "4", "1", "3", "2", "1", "4.50", "0.00", "0.000", "5.000", "0", "0",
                                                "0", "0", "Šljiva 4"}));
  ASSERT_TRUE(e.cmd(107, "A\t4\t2.500\t"));
  ASSERT_TRUE(e.cmd(107, "R\t4\t"));
  EXPECT_EQ(e.field(9), "7.500");
  ASSERT_TRUE(e.cmd(107, "D\t3\t4\t"));
  e.cmd(107, "R\t4\t");
  EXPECT_EQ(e.code(), -111004);
  ASSERT_TRUE(e.cmd(107, "D\tA\t\t"));
  e.cmd(107, "F\t1\t");
  EXPECT_EQ(e.code(), -111004);
}

TEST(EngineData, ClientsReadAsThePageWalksThem) {
  sim::SimulatorOptions o;
  o.model = "KT-11A";
  EngineOnSim e(o);
  ASSERT_EQ(e.opened, 0);
  e.cmd(140, "F\t\t");
  EXPECT_EQ(e.code(), -106000);
  for (int n : {1, 2, 5})
    ASSERT_TRUE(e.cmd(140, "P\t" + std::to_string(n) + "\tFirma " + std::to_string(n) + "\t42000000000" +
                               std::to_string(n) + "\t\tUlica 1\tSarajevo\t"));
  std::vector<std::string> read;
  ASSERT_TRUE(e.cmd(140, "F\t\t"));
  read.push_back(e.field(1) + "/" + e.field(2) + "/" + e.field(3));
  int number = std::stoi(e.field(1));
  while (number < 1000) {
    if (e.cmd(140, "N\t") && e.code() == 0) {
      number = std::stoi(e.field(1));
      read.push_back(e.field(1) + "/" + e.field(2) + "/" + e.field(3));
    } else {
      ASSERT_EQ(e.code(), -106000);
      ++number;
    }
  }
  EXPECT_EQ(read, (std::vector<std::string>{"1/420000000001/Firma 1", "2/420000000002/Firma 2",
                                             "5/420000000005/Firma 5"}));
  ASSERT_TRUE(e.cmd(140, "D\t2\t\t"));
  e.cmd(140, "D\t2\t\t");
  EXPECT_EQ(e.code(), -106000);
}

TEST(EngineData, OperatorsDepartmentsPaymentsAndKeys) {
  sim::SimulatorOptions o;
  o.model = "KT-66B";
  EngineOnSim e(o);
  ASSERT_EQ(e.opened, 0);
  ASSERT_TRUE(e.cmd(255, "OperName\t4\tAna\t"));
  e.cmd(101, "5\t7\t2468\t");
  EXPECT_EQ(e.code(), -102002) << "the old password is checked";
  ASSERT_TRUE(e.cmd(101, "5\t1\t2468\t"));
  ASSERT_TRUE(e.cmd(255, "OperPasw\t4\t\t"));
  EXPECT_EQ(e.field(1), "2468");
  ASSERT_TRUE(e.cmd(112, "5\t"));
  EXPECT_EQ(e.fields.size(), 13u);
  ASSERT_TRUE(e.cmd(255, "Dept_name\t4\t \t"));
  ASSERT_TRUE(e.cmd(255, "Dept_name\t4\t\t"));
  EXPECT_EQ(e.field(1), "");
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(e.cmd(255, "Payment_forbidden\t" + std::to_string(i) + "\t" + (i == 2 ? "1" : "0") + "\t"));
  ASSERT_TRUE(e.cmd(255, "PayName\t2\t\t"));
  EXPECT_EQ(e.field(1), "Cheque");
  ASSERT_TRUE(e.cmd(255, "DPxx_PluCode\t5\t77\t"));
  e.cmd(255, "DPxx_PluCode\t6\t77\t");
  EXPECT_EQ(e.code(), -112201) << "a KT-66B has six direct keys";
  ASSERT_TRUE(e.cmd(255, "KeyNDB_percentage\t\t1250\t"));
  ASSERT_TRUE(e.cmd(255, "KeyNDB_percentage\t\t\t"));
  EXPECT_EQ(e.field(1), "1250");
}

}  // namespace
