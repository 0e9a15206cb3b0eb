// The Parameters page against the simulator: its encodings, the read and save orders
// per model, the first refusal ending the save, the engine's repeat count, and the page
// as `kestrel config` sees it.
#include <gtest/gtest.h>

#include "app/logic/config_pages.h"
#include "app/logic/pages/params.h"
#include "app/ops_fixture.h"
#include "engine/fiscal_device.h"

namespace kestrel {
namespace {

const TParamBinding& binding(const std::string& name) { return *paramsTable().find(name, 0).front(); }

using apptest::without;

// Every widget of the page, as a technician might set it.
TPageValues paramsPageValues() {
  return {{"chbxAutoSummerTime", "1"},    {"ledClearDisplay", "1500"},      {"cbxBarcodeCount", "2"},
          {"ledBarcodeMask", ""},         {"chbxAutoExitAfterTotal", "1"},  {"chbxVoidPassword", "0"},
          {"chbxZconnectOperator", "1"},  {"chbxZconnectDept", "0"},        {"chbxZconnectItems", "1"},
          {"chbxZnullItems", "1"},        {"chbxZconnectStock", "0"},       {"chbxUsePeriodicReports", "1"},
          {"ledLogical", "42"},           {"chbxNoPasswords", "1"},         {"chbxOpenDrawer", "1"},
          {"ledAutoOff", "10"},           {"ledBckLightOff", "3"},          {"chbxPrintAfterPay_ECR", "1"},
          {"chbxNTPuse", "1"},            {"edNTPServeraddr", "time.example.org"}, {"cbxTimezone", "6"}};
}

TEST(ParamsOps, Encodings) {
  struct Read {
    const char* param;
    std::string device, widget;
  };
  const Read reads[] = {
      {"DaylightSavingMinutes", "60", "1"}, {"DaylightSavingMinutes", "0", "0"}, {"DaylightSavingMinutes", "30", "1"},
      {"DateFromNAPServDisable", "1", "0"}, {"DateFromNAPServDisable", "0", "1"}, {"TimeZone", "2", "6"},
      {"TimeZone", "-3", "1"},              {"TimeZone", "0", "4"},               {"TimeZone", "+4", "8"},
      {"TimeZone", "5", "-1"},              {"EcrNumberBarcode", "7", "-1"},      {"EcrNumberBarcode", "3", "2"},
      {"EcrWithoutPasswords", "1", "1"},    {"EcrWithoutPasswords", "2", "0"},    {"EcrScaleBarMask", "", ""},
  };
  for (const auto& r : reads) EXPECT_EQ(widgetValueOf(binding(r.param), r.device), r.widget) << r.param << " " << r.device;

  struct Write {
    const char* param;
    std::string widget, device;
  };
  const Write writes[] = {
      {"DaylightSavingMinutes", "1", "60"}, {"DaylightSavingMinutes", "0", "0"}, {"DateFromNAPServDisable", "1", "0"},
      {"DateFromNAPServDisable", "0", "1"}, {"TimeZone", "6", "+2"},             {"TimeZone", "4", "0"},
      {"TimeZone", "0", "-4"},              {"EcrNumberBarcode", "3", "4"},      {"EcrScaleBarMask", "", " "},
      {"EcrScaleBarMask", "12*", "12*"},    {"RegModeOnIdle", "", ""},
  };
  for (const auto& w : writes) EXPECT_EQ(deviceValueOf(binding(w.param), w.widget), w.device) << w.param << " " << w.widget;

  // Integers where the page needs them; anything else fails the read.
  for (const char* p : {"DaylightSavingMinutes", "DateFromNAPServDisable", "TimeZone"})
    EXPECT_THROW(widgetValueOf(binding(p), "x"), std::invalid_argument) << p;
}

TEST(ParamsOps, SaveAndReadOrdersPerModelRoundTripThroughTheDevice) {
  struct Case {
    const char* simModel;
    int ecrModel;
    bool flushAtEndOnly;
  };
  for (const Case c : {Case{"KT-11A", 0, true}, Case{"KT-33A", 2, false}, Case{"KT-33A", -1, false}}) {
    SCOPED_TRACE(std::to_string(c.ecrModel));
    apptest::OpsOnSim s(c.simModel);
    s.ops.ecrModel = c.ecrModel;
    ASSERT_TRUE(saveParameters(s.ops, paramsPageValues()));
    EXPECT_EQ(s.dialogs.shown.back().text, "The data was saved in the device.");
    const auto& t = paramsTable();
    EXPECT_EQ(s.paramNamesSent(), c.flushAtEndOnly ? t.saveOrder : without(t.saveOrder, {"FlushAtEndOnly"}));
    const auto inputs = s.inputsOf(255);
    EXPECT_EQ(inputs.front(), "DaylightSavingMinutes\t\t60\t");
    for (const char* in : {"EcrScaleBarMask\t\t \t", "EcrNumberBarcode\t\t3\t", "DateFromNAPServDisable\t\t0\t",
                           "TimeZone\t\t+2\t"})
      EXPECT_NE(std::find(inputs.begin(), inputs.end(), in), inputs.end()) << in;
    EXPECT_EQ(s.param("FlushAtEndOnly"), c.flushAtEndOnly ? "1" : "0");

    s.clearSent();
    TPageValues back;
    ASSERT_TRUE(readParamsTab(s.ops, back));
    EXPECT_EQ(s.paramNamesSent(), c.flushAtEndOnly ? t.readOrder : without(t.readOrder, {"FlushAtEndOnly"}));
    EXPECT_EQ(s.inputsOf(255).front(), "DaylightSavingMinutes\t\t\t");
    TPageValues expected = paramsPageValues();
    if (!c.flushAtEndOnly) expected.erase("chbxPrintAfterPay_ECR");
    EXPECT_EQ(back, expected);
  }
}

TEST(ParamsOps, FirstRefusalEndsTheSaveAndTheRepeatCountIsBackToWhatItWas) {
  apptest::OpsOnSim s("KT-11A");
  s.fd.repeatCount = 1;  // the window's
  std::vector<int> repeats;
  s.ops.onCommand = [&](uint16_t c, const std::string& in) {
    s.sent.push_back({c, in});
    repeats.push_back(s.fd.repeatCount);
  };
  TPageValues v = paramsPageValues();
  v["ledAutoOff"] = "99";  // the device takes 0 to 15 minutes
  EXPECT_FALSE(saveParameters(s.ops, v));
  ASSERT_FALSE(s.paramNamesSent().empty());
  EXPECT_EQ(s.paramNamesSent().back(), "AutoPowerOff");
  EXPECT_EQ(s.paramNamesSent().size(), 16u);
  EXPECT_NE(s.dialogs.shown.back().text, "The data was saved in the device.");
  // Written before the refusal and kept; after it, nothing.
  EXPECT_EQ(s.param("EcrSafeOpening"), "1");
  EXPECT_EQ(s.param("TimeServerAddress"), "pool.ntp.org");
  EXPECT_EQ(repeats, std::vector<int>(repeats.size(), PARAMS_SAVE_REPEAT_COUNT));
  EXPECT_EQ(s.fd.repeatCount, 1);

  // An exception on the way is a way out too; a command line's --repeat 2 stays 2 for
  // the commands after the save.
  s.fd.repeatCount = 2;
  EXPECT_THROW(saveParameters(s.ops, TPageValues{}), std::logic_error);
  EXPECT_EQ(s.fd.repeatCount, 2);
}

// An emptied field never makes a write a read (Name TAB TAB TAB): a text goes as a blank,
// while an emptied number or a choice list with no entry refuses the save, naming the
// parameter, before anything is sent.
TEST(ParamsOps, AnEmptyValueIsNeverSentAsARead) {
  apptest::OpsOnSim s("KT-33A");
  s.ops.ecrModel = 2;
  TPageValues v = paramsPageValues();
  v["edNTPServeraddr"] = "";
  ASSERT_TRUE(saveParameters(s.ops, v));
  EXPECT_EQ(s.param("TimeServerAddress"), "");
  for (const auto& input : s.inputsOf(255)) EXPECT_NE(input.substr(input.size() - 2), "\t\t") << input;

  struct Case {
    const char* widget;
    std::string value;
    const char* named;
  };
  for (const Case& c : {Case{"ledLogical", "", "EcrLogNumber"}, Case{"ledClearDisplay", "", "RegModeOnIdle"},
                       Case{"ledAutoOff", "", "AutoPowerOff"}, Case{"ledBckLightOff", "", "BkLight_AutoOff"},
                       Case{"cbxBarcodeCount", "-1", "EcrNumberBarcode"}, Case{"cbxTimezone", "-1", "TimeZone"},
                       Case{"edNTPServeraddr", "a\tb", "TimeServerAddress"}, Case{"ledBarcodeMask", "1\n2", "EcrScaleBarMask"}}) {
    TPageValues bad = paramsPageValues();
    bad[c.widget] = c.value;
    const size_t before = s.inputsOf(255).size();
    try {
      saveParameters(s.ops, bad);
      ADD_FAILURE() << c.widget << " saved";
    } catch (const std::invalid_argument& e) {
      EXPECT_NE(std::string(e.what()).find(c.named), std::string::npos) << e.what();
    }
    EXPECT_EQ(s.inputsOf(255).size(), before) << c.widget;
  }
}

TEST(ParamsOps, ConfigPageByParameterNames) {
  const TConfigPage* p = findConfigPage("parameters");
  ASSERT_NE(p, nullptr);
  TPageValues v = paramsPageValues();
  p->set(v, "TimeZone", "-3", 0);
  p->set(v, "EcrNumberBarcode", "4", 0);
  p->set(v, "DateFromNAPServDisable", "0", 0);  // the box as it shows: off
  const TKeyValues kv = p->show(v, 0);
  ASSERT_EQ(kv.size(), paramsTable().readOrder.size());
  EXPECT_EQ(kv.front(), (std::pair<std::string, std::string>{"DaylightSavingMinutes", "1"}));
  EXPECT_EQ(kv.back(), (std::pair<std::string, std::string>{"TimeZone", "-3"}));
  EXPECT_EQ(v["cbxBarcodeCount"], "3");
  EXPECT_EQ(v["chbxNTPuse"], "0");
  EXPECT_EQ(p->show(v, 2).size(), kv.size() - 1);  // no FlushAtEndOnly on a printer
  EXPECT_THROW(p->set(v, "FlushAtEndOnly", "1", 2), std::invalid_argument);
  EXPECT_THROW(p->set(v, "TimeZone", "+7", 0), std::invalid_argument);
}

}  // namespace
}  // namespace kestrel
