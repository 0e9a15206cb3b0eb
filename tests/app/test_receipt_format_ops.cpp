// The Receipt format page against the simulator: the save and read orders per model,
// the rules of "PrintColumns" (models, fiscal mode), and "Center logo".
#include <gtest/gtest.h>

#include "app/logic/config_pages.h"
#include "app/logic/pages/receipt_format.h"
#include "app/ops_fixture.h"

namespace kestrel {
namespace {

using apptest::without;

TPageValues receiptFormatValues() {
  return {{"chbxPrintDuplicate", "1"}, {"chbxPrintBarcode", "0"},   {"chbxPrintLogo", "1"},
          {"cbxPrintContrast", "15"},  {"cbxBarcoreHeight", "4"},   {"cbx_HeaderMinLines", "2"},
          {"cbxFooterEmptyLines", "6"}, {"cbxPaperCuttingType", "1"}, {"chbxAutoPaperCut", "0"},
          {"cbxLineSpacing", "3"},     {"cbxFontType", "1"},        {"chbxLogoPrint_footer", "1"},
          {"cbx_PrintColumns_X", "1"}};
}

TEST(ReceiptFormatOps, PrintColumnsRules) {
  struct Read {
    std::string device;
    int model;
    std::string entry;
  };
  for (const Read& r : {Read{"42", 2, "0"}, Read{"48", 2, "1"}, Read{"48", 1, "1"}, Read{"40", 4, "-1"},
                        Read{"x", 2, "-1"}, Read{"48", 0, "0"}, Read{"x", 5, "0"}, Read{"42", -1, "-1"}})
    EXPECT_EQ(printColumnsEntry(r.device, r.model), r.entry) << r.device << " model " << r.model;

  struct Save {
    std::string entry;
    int model;
    bool fiscal;
    std::string value;  // "" sends nothing
  };
  for (const Save& s : {Save{"1", 2, false, "48"}, Save{"1", 4, false, "48"}, Save{"0", 4, false, "42"},
                        Save{"-1", 2, false, "42"}, Save{"1", 1, false, "42"}, Save{"1", 0, false, "42"},
                        Save{"1", 6, false, "42"}, Save{"1", 2, true, ""}, Save{"0", -1, false, ""}})
    EXPECT_EQ(printColumnsToSave(s.entry, s.model, s.fiscal), s.value) << s.entry << " model " << s.model;

  const TParamBinding& contrast = *receiptFormatTable().find("PrnQuality", 0).front();
  EXPECT_EQ(widgetValueOf(contrast, "10"), "10");
  EXPECT_EQ(deviceValueOf(contrast, "15"), "15");
  EXPECT_THROW(widgetValueOf(contrast, "high"), std::invalid_argument);
}

TEST(ReceiptFormatOps, SaveAndReadPerModelRoundTripThroughTheDevice) {
  struct Case {
    const char* simModel;
    int ecrModel;
    bool paper;
    std::string columnsSaved;  // "" none
    std::string entryBack;
  };
  const std::vector<std::string> paper = {"PaperCuttingType", "AutoPaperCutting"};
  for (const Case& c : {Case{"KT-33A", 2, true, "48", "1"}, Case{"KT-11A", 0, false, "42", "0"},
                        Case{"KT-33A", -1, false, "", "-1"}}) {
    SCOPED_TRACE(std::to_string(c.ecrModel));
    apptest::OpsOnSim s(c.simModel);
    s.ops.ecrModel = c.ecrModel;
    ASSERT_TRUE(saveBONFormat(s.ops, receiptFormatValues()));
    EXPECT_EQ(s.dialogs.shown.back().text, "The data was saved in the device.");
    const auto& t = receiptFormatTable();
    auto saved = c.paper ? t.saveOrder : without(t.saveOrder, paper);
    if (c.columnsSaved.empty()) saved = without(saved, {"PrintColumns"});
    EXPECT_EQ(s.paramNamesSent(), saved);
    if (!c.columnsSaved.empty()) {
      EXPECT_EQ(s.inputsOf(255).back(), "PrintColumns\t\t" + c.columnsSaved + "\t");
    }
    EXPECT_EQ(s.param("BarCodeHeight"), "5");
    EXPECT_EQ(s.param("PaperCuttingType"), c.paper ? "1" : "0");

    s.clearSent();
    TPageValues back;
    ASSERT_TRUE(readBONFormat(s.ops, back));
    EXPECT_EQ(s.paramNamesSent(), c.paper ? t.readOrder : without(t.readOrder, paper));
    TPageValues expected = receiptFormatValues();
    if (!c.paper) {
      expected.erase("cbxPaperCuttingType");
      expected.erase("chbxAutoPaperCut");
    }
    expected["cbx_PrintColumns_X"] = c.entryBack;
    EXPECT_EQ(back, expected);
  }
}

TEST(ReceiptFormatOps, Kt22aReads48ButSaves42AndFiscalModeSendsNoColumns) {
  apptest::OpsOnSim narrow("KT-22A");
  narrow.device([](sim::DeviceModel& d) { d.mutableState().params["PrintColumns"] = {"48"}; });
  TPageValues v;
  ASSERT_TRUE(readBONFormat(narrow.ops, v));
  EXPECT_EQ(v["cbx_PrintColumns_X"], "1");
  ASSERT_TRUE(saveBONFormat(narrow.ops, v));
  EXPECT_EQ(narrow.inputsOf(255).back(), "PrintColumns\t\t42\t");

  apptest::OpsOnSim fiscal("KT-33A");
  fiscal.device([](sim::DeviceModel& d) { d.mutableState().fiscal = true; });
  ASSERT_TRUE(saveBONFormat(fiscal.ops, receiptFormatValues()));
  EXPECT_EQ(fiscal.dialogs.shown.back().text, "The data was saved in the device.");
  EXPECT_EQ(fiscal.paramNamesSent().back(), "LogoPrintAfterFooter");
}

TEST(ReceiptFormatOps, CenterLogoWritesBothAndSetsTheBoxes) {
  apptest::OpsOnSim s("KT-33A");
  TPageValues v;
  ASSERT_TRUE(centerLogo(s.ops, v));
  EXPECT_EQ(s.inputsOf(255), (std::vector<std::string>{"HeaderMinLines\t\t0\t", "FooterEmptyLines\t\t8\t"}));
  EXPECT_EQ(v, (TPageValues{{"cbx_HeaderMinLines", "0"}, {"cbxFooterEmptyLines", "8"}}));
  EXPECT_EQ(s.param("FooterEmptyLines"), "8");
}

TEST(ReceiptFormatOps, ConfigPageByParameterNamesWithEntryTexts) {
  const TConfigPage* p = findConfigPage("receipt");
  ASSERT_NE(p, nullptr);
  TPageValues v = receiptFormatValues();
  p->set(v, "PrintColumns", "42 symbols - 57mm paper", 2);
  p->set(v, "PrintFontType", "Normal with small line spacing", 2);
  p->set(v, "PaperCuttingType", "Partial", 2);
  EXPECT_EQ(v["cbx_PrintColumns_X"], "0");
  EXPECT_EQ(v["cbxFontType"], "0");
  const TKeyValues kv = p->show(v, 2);
  EXPECT_EQ(kv.size(), receiptFormatTable().readOrder.size());
  EXPECT_NE(std::find(kv.begin(), kv.end(), std::pair<std::string, std::string>{"PaperCuttingType", "Partial"}),
            kv.end());
  EXPECT_EQ(p->show(v, 0).size(), kv.size() - 2);
  EXPECT_THROW(p->set(v, "PaperCuttingType", "Full", 0), std::invalid_argument);
  EXPECT_THROW(p->set(v, "PrintColumns", "48", 2), std::invalid_argument);
}

}  // namespace
}  // namespace kestrel
