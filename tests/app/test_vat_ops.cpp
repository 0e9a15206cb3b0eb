// VAT rates against the simulator: the read's encodings, the command 83 input, a
// refused save, and the page as `kestrel config` sees it.
#include <gtest/gtest.h>

#include "app/logic/config_pages.h"
#include "app/logic/pages/vat.h"
#include "app/ops_fixture.h"

namespace kestrel {
namespace {

TEST(VatOps, ReadEncodingsAndSaveInput) {
  // 1700, 0, 10000, 2500 and a text that is no integer.
  struct Case {
    std::string device;
    bool enabled;
    std::string rate;
  };
  const Case cases[] = {{"1700", true, "17.00"}, {"0", true, "0.00"}, {"10000", false, "0.00"},
                        {"2500", true, "25.00"}, {"x", false, "0.00"}, {"5", true, "0.05"}};
  for (const auto& c : cases) {
    std::string rate = "0.00";
    EXPECT_EQ(vatRateText(c.device, rate), c.enabled) << c.device;
    EXPECT_EQ(rate, c.rate) << c.device;
  }
  TPageValues v = {{"cbxVAT1", "1"}, {"edVAT_1", "17.00"}, {"cbxVAT2", "0"}, {"edVAT_2", "9.99"},
                   {"cbxVAT3", "0"}, {"cbxVAT4", "0"},     {"cbxVAT5", "0"}};
  // A disabled group's text is not sent.
  EXPECT_EQ(vatSaveInput(v), "17.00\t100.00\t100.00\t100.00\t100.00\t");
}

TEST(VatOps, RoundTripThroughTheDeviceAndARefusedSaveChangesNothing) {
  apptest::OpsOnSim s;
  TPageValues v = {{"cbxVAT1", "1"}, {"edVAT_1", "17.00"}, {"cbxVAT2", "1"}, {"edVAT_2", "0.00"},
                   {"cbxVAT3", "0"}, {"edVAT_3", "5.00"},  {"cbxVAT4", "1"}, {"edVAT_4", "25.00"},
                   {"cbxVAT5", "0"}, {"edVAT_5", "0.00"}};
  ASSERT_TRUE(saveVATs(s.ops, v));
  EXPECT_EQ(s.dialogs.shown.back().text, "The data was saved in the device.");
  TPageValues back;
  ASSERT_TRUE(readVATs(s.ops, back));
  EXPECT_EQ(back["cbxVAT1"], "1");
  EXPECT_EQ(back["edVAT_1"], "17.00");
  EXPECT_EQ(back["edVAT_2"], "0.00");
  EXPECT_EQ(back["cbxVAT3"], "0");
  EXPECT_EQ(back["edVAT_4"], "25.00");
  ASSERT_EQ(s.inputsOf(255).size(), 5u);
  EXPECT_EQ(s.inputsOf(255)[2], "valVat\t2\t\t");

  // A rate the device does not take: refused, shown, and the device keeps its rates.
  const size_t dialogs = s.dialogs.shown.size();
  v["edVAT_1"] = "abc";
  EXPECT_FALSE(saveVATs(s.ops, v));
  ASSERT_EQ(s.dialogs.shown.size(), dialogs + 1);
  EXPECT_NE(s.dialogs.shown.back().text, "The data was saved in the device.");
  TPageValues after;
  ASSERT_TRUE(readVATs(s.ops, after));
  EXPECT_EQ(after["edVAT_1"], "17.00");
}

TEST(VatOps, ConfigPageShowsAndSetsByLetter) {
  const TConfigPage* p = findConfigPage("vat");
  ASSERT_NE(p, nullptr);
  TPageValues v = {{"cbxVAT1", "1"}, {"edVAT_1", "17.00"}, {"cbxVAT2", "0"}, {"edVAT_2", "0.00"},
                   {"cbxVAT3", "0"}, {"cbxVAT4", "0"},     {"cbxVAT5", "0"}};
  p->set(v, "E", "9.00", 2);
  p->set(v, "A", "disabled", 2);
  const TKeyValues kv = p->show(v, 2);
  ASSERT_EQ(kv.size(), 5u);
  EXPECT_EQ(kv[0], (std::pair<std::string, std::string>{"A", "disabled"}));
  EXPECT_EQ(kv[1], (std::pair<std::string, std::string>{"E", "9.00"}));
  EXPECT_THROW(p->set(v, "Q", "1", 2), std::invalid_argument);
}

}  // namespace
}  // namespace kestrel
