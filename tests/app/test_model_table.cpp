#include <gtest/gtest.h>

#include "app/logic/model_table.h"

using namespace kestrel;

TEST(ModelTable, NamesMatchWholeAndWithoutCase) {
  const struct {
    const char* name;
    int index;
  } cases[] = {{"KT-33A", 2}, {"kt-11a", 0}, {"Kt-77B", 6}, {"KT-33", -1}, {"KT-33A ", -1}, {"", -1}, {"KT-99Z", -1}};
  for (const auto& c : cases) EXPECT_EQ(modelIndexOf(c.name), c.index) << c.name;
  EXPECT_EQ(modelIndexOf(std::string("KT-33A\0x", 8)), -1);
}

TEST(ModelTable, GroupsKeysAndPasswords) {
  for (const TModelRow& r : MODEL_TABLE) {
    const bool printer = r.index == 1 || r.index == 2 || r.index == 4;
    EXPECT_EQ(r.printer, printer) << r.name;
    EXPECT_EQ(std::string(r.testOperatorPassword).size(), printer ? 4u : 1u) << r.name;
    EXPECT_EQ(std::string(r.caption), std::string("Kestrel FBH - [") + r.name + "]");
  }
  EXPECT_EQ(findModel("KT-66B")->MaxProgrammableKeys, 6);
  EXPECT_EQ(findModel("KT-55B")->MaxProgrammableKeys, 0);
}
