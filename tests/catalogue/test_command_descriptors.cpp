// Command descriptors without a device: naming, the value checks with every code, the
// input text they build, and the catalogue operations with the command-255 forms.
#include <gtest/gtest.h>

#include "catalogue/engine_catalogue.h"
#include "support_engine.h"

using namespace kestrel;
using namespace kestrel::test;
using O = TCheckParamOption;

namespace {

TParamAttribute rules(TParameterType type, TCheckOptions options, std::string low = {}, std::string upper = {},
                      uint16_t minLength = 0, uint16_t maxLength = 0) {
  TParamAttribute r;
  r.ValueType = type;
  r.CheckOptions = options;
  r.LowLimitValue = std::move(low);
  r.UpperLimitValue = std::move(upper);
  r.MinLengthValue = minLength;
  r.MaxLengthValue = maxLength;
  return r;
}

struct CheckCase {
  const char* what;
  std::string value;
  TParamAttribute rules;
  int code;
};

}  // namespace

TEST(DescriptorChecks, EveryCodeAndItsOrder) {
  const TCheckOptions limits{O::ParamType, O::LowLimit, O::UpperLimit};
  TParamAttribute colours = rules(ptString, {O::EnumeratedList});
  colours.EnumeratedValues = {{"red"}, {"green"}};
  const CheckCase cases[] = {
      {"missing value", "", rules(ptString, {O::Presence, O::MinLength}, {}, {}, 1), -10500},
      {"empty value skips the other checks", "", rules(ptInteger, {O::ParamType, O::MinLength}, {}, {}, 1), 0},
      {"not an integer", "12a", rules(ptInteger, {O::ParamType}), -10510},
      {"a fraction is no integer", "1.5", rules(ptInteger, {O::ParamType}), -10510},
      {"not a real number", "1.2.3", rules(ptRealForCurrency, {O::ParamType}), -10505},
      {"comma as decimal separator", "1,50", rules(ptRealForCurrency, limits, "0", "1.5"), 0},
      {"integer above", "101", rules(ptInteger, limits, "0", "100"), -10511},
      {"integer below", "-1", rules(ptInteger, limits, "0", "100"), -10512},
      {"currency above", "100.01", rules(ptRealForCurrency, limits, "0", "100"), -10506},
      {"currency below", "-0.01", rules(ptRealForCurrency, limits, "0", "100"), -10507},
      {"exchange above", "7", rules(ptRealForExchange, limits, "0", "6.9999"), -10506},
      {"exchange below", "0.5", rules(ptRealForExchange, limits, "1", "9"), -10507},
      {"quantity above", "1000.001", rules(ptRealForQuantity, limits, "0", "1000"), -10508},
      {"quantity below", "0.0009", rules(ptRealForQuantity, limits, "0.001", "1000"), -10509},
      {"limits compare exactly", "100.0000", rules(ptRealForCurrency, limits, "-100", "100"), 0},
      {"negative limits", "-5", rules(ptInteger, limits, "-4", "0"), -10512},
      {"beyond 64 bits still compared", "99999999999999999999", rules(ptInteger, limits, "0", "2147483647"), -10511},
      {"a limit that is no number", "5", rules(ptInteger, {O::UpperLimit}, {}, "x"), -10510},
      {"a real limit that is no number", "5", rules(ptRealForQuantity, {O::LowLimit}, "abc"), -10505},
      {"type is checked before limits", "x", rules(ptInteger, limits, "0", "1"), -10510},
      {"string limits are not compared", "zzz", rules(ptString, {O::UpperLimit}, {}, "a"), 0},
      {"too long, in characters", "čćžđš", rules(ptString, {O::MaxLength}, {}, {}, 0, 4), -10502},
      {"fits, in characters", "čćžđ", rules(ptString, {O::MaxLength}, {}, {}, 0, 4), 0},
      {"too short", "ab", rules(ptString, {O::MinLength}, {}, {}, 3), -10503},
      {"not enumerated", "blue", colours, -10504},
      {"enumerated", "green", colours, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(checkParamValue(c.value, c.rules), c.code) << c.what;
}

TEST(DescriptorNames, NumberVariantVersionAndDisplayName) {
  TCustomCommands all;
  TCommandsItem& c = all.add();
  c.set_Value(90);
  EXPECT_EQ(c.HumanName, "command90Variant0Version0");
  c.set_Variant(3);
  c.set_Version(2);
  EXPECT_EQ(c.HumanName, "command90Variant3Version2");

  TCommandsItem& blank = all.add();
  EXPECT_EQ(blank.GetDisplayName(), "CommandsItem1");
  EXPECT_EQ(blank.HumanName, "CommandsItem1");
  blank.HumanName = "mine";
  EXPECT_EQ(blank.GetDisplayName(), "mine");
}

TEST(DescriptorPrepare, BuildsTheInputTextAndRecordsTheCheck) {
  ProfiledEngine e;
  ASSERT_TRUE(add_DDCommand(e.fd, 50, 0, 0));
  ASSERT_TRUE(add_DDParam(e.fd, true, "Text", "A[LF]B", ptString, {O::Presence}));
  ASSERT_TRUE(add_DDParam(e.fd, true, "Price", "1,25", ptRealForCurrency, {O::ParamType}, "[TAB]"));
  ASSERT_TRUE(add_DDParam(e.fd, true, "Flag", "X", ptString, {}, ";", TDelimiterPositionStyle::BeforeParameter));
  TCommandsItem& c = cmds(*e.fd.dd()).Items(0);

  EXPECT_TRUE(c.Prepare());
  EXPECT_EQ(e.code(), 0);
  EXPECT_TRUE(c.prepared());
  EXPECT_EQ(c.lastInputText(), "A\nB\t1.25\t;X");

  c.iParams().Items(1).Value = "1,2,5";
  EXPECT_FALSE(c.Prepare());
  EXPECT_EQ(e.code(), -10505);
  c.CheckInput = false;
  EXPECT_TRUE(c.Prepare());
  EXPECT_EQ(c.lastInputText(), "A\nB\t1.2.5\t;X");

  TCommandsItem loose;  // not in an engine's catalogue
  EXPECT_FALSE(loose.Prepare());
  EXPECT_FALSE(loose.Execute());
}

TEST(EngineCatalogue, FindByNamesAndValues) {
  ProfiledEngine e;
  ASSERT_TRUE(add_DDCommand(e.fd, 38, 0, 0, "openReceipt"));
  ASSERT_TRUE(add_DDCommand(e.fd, 38, 1, 0, "Receipts", "Open", false));
  ASSERT_TRUE(add_DDCommand(e.fd, 45, "Reports", "ZReport", true));
  auto& all = cmds(*e.fd.dd());
  ASSERT_EQ(all.Count(), 3);
  EXPECT_EQ(all.Items(1).GroupName, "Receipts");
  EXPECT_FALSE(all.Items(1).VisibleForExport);
  EXPECT_EQ(all.Items(2).HumanName, "command45Variant0Version0");

  e.err.set_LastErrorCode(7);
  EXPECT_EQ(find(e.fd, "openReceipt"), &all.Items(0));
  EXPECT_EQ(find(e.fd, "command38Variant1Version0"), &all.Items(1));
  EXPECT_EQ(find(e.fd, "ZReport"), &all.Items(2));
  EXPECT_EQ(findBy_HumanName_2(e.fd, "openReceipt"), &all.Items(0));
  EXPECT_EQ(findBy_HumanName_3(e.fd, "Open"), &all.Items(1));
  EXPECT_EQ(find(e.fd, 45, 0, 0), &all.Items(2));
  EXPECT_EQ(e.code(), 7) << "a successful find leaves the code alone";

  EXPECT_EQ(findBy_HumanName_1(e.fd, "openReceipt"), nullptr);
  EXPECT_EQ(e.code(), -10526);
  EXPECT_EQ(find(e.fd, "nothing"), nullptr);
  EXPECT_EQ(e.code(), -10526);
  EXPECT_EQ(find(e.fd, 38, 2, 0), nullptr);
  EXPECT_EQ(e.code(), -10527);
  EXPECT_FALSE(findAndExecute(e.fd, "nothing"));
  EXPECT_EQ(e.code(), -10526);
  EXPECT_FALSE(findAndExecute(e.fd, 38, 0, 5));
  EXPECT_EQ(e.code(), -10527);
}

TEST(EngineCatalogue, ParameterOperationsWorkOnTheLastDescriptor) {
  ProfiledEngine e;
  EXPECT_FALSE(add_DDParam(e.fd, true, "x", "", ptString, {})) << "no descriptor yet";
  EXPECT_FALSE(add_ErrorCode(e.fd));
  ASSERT_TRUE(add_DDCommand(e.fd, 60, 0, 0));
  ASSERT_TRUE(add_DDParam_R(e.fd, true, "Qty", "1", ptRealForQuantity, {O::LowLimit}, "0.001", "9999", 1, 10));
  ASSERT_TRUE(add_ErrorCode(e.fd));
  ASSERT_TRUE(add_DDP_NextR(e.fd, "Total", ptRealForCurrency, "0", ""));
  ASSERT_TRUE(add_DDP_FirstR(e.fd, "Status", ptString, "", ""));
  ASSERT_TRUE(add_EnumValue(e.fd, false, "Status", "P"));
  EXPECT_FALSE(add_EnumValue(e.fd, false, "Unknown", "P"));
  ASSERT_TRUE(add_AdditionalDelimiter(e.fd, ","));

  TCommandsItem& c = cmds(*e.fd.dd()).last();
  const TIOItem& qty = c.iParams().Items(0);
  EXPECT_EQ(qty.Properties.LowLimitValue, "0.001");
  EXPECT_EQ(qty.Properties.MaxLengthValue, 10);
  ASSERT_EQ(c.oParamsCount(), 3);
  EXPECT_EQ(c.oParams().Items(0).Name, "Status");
  EXPECT_TRUE(c.oParams().Items(0).Properties.CheckOptions.contains(O::EnumeratedList));
  EXPECT_EQ(c.oParams().Items(1).Name, "ErrorCode");
  EXPECT_EQ(c.oParams().Items(1).Properties.LowLimitValue, "-2147483648");
  EXPECT_EQ(c.oParams().Items(2).Properties.CheckOptions, (TCheckOptions{O::ParamType, O::LowLimit}));
  EXPECT_EQ(c.AdditionalDelimiters().Items(0).Value, ",");
}

TEST(Command255, VariantsVersionsNamesAndInputTexts) {
  ProfiledEngine e;
  ASSERT_TRUE(add_DDCommand(e.fd, 1, 0, 0));
  clear_DDCommands(e.fd);
  auto& all = cmds(*e.fd.dd());
  EXPECT_EQ(all.Count(), 0);

  const TParamAttribute number = rules(ptInteger, {O::ParamType, O::LowLimit, O::UpperLimit}, "0", "99");
  ASSERT_TRUE(add_Read_255_ErrCode(e.fd, "Timeout", 3, number));
  ASSERT_TRUE(add_Write_255(e.fd, "Timeout", 3, "42", number));
  ASSERT_TRUE(add_Read_255_ErrStatus(e.fd, "Header", -1, rules(ptString, {})));
  ASSERT_TRUE(add_Write_255_ErrStatus(e.fd, "Header", 0, "Shop", rules(ptString, {O::MaxLength}, {}, {}, 0, 48)));
  EXPECT_FALSE(add_Write_255(e.fd, "Header", -1, "x", rules(ptString, {})));
  EXPECT_FALSE(add_Write_255_ErrCode_ex01(e.fd, "Print", "Header", -2, "x", rules(ptString, {})));
  ASSERT_EQ(all.Count(), 4) << "a refused write adds nothing";

  struct Expected {
    int variant, version;
    const char* name;
    const char* name2;
    const char* status;
  };
  const Expected expected[] = {
      {1, 0, "command255Variant1Version0", "read_Timeout", "ErrorCode"},
      {1, 1, "command255Variant1Version1", "write_Timeout", "ErrorCode"},
      {2, 0, "command255Variant2Version0", "read_Header", "ErrorStatus"},
      {2, 1, "command255Variant2Version1", "write_Header", "ErrorStatus"},
  };
  for (int i = 0; i < 4; ++i) {
    const TCommandsItem& c = all.Items(i);
    EXPECT_EQ(c.Value(), 255);
    EXPECT_EQ(c.Variant(), expected[i].variant) << i;
    EXPECT_EQ(c.Version(), expected[i].version) << i;
    EXPECT_EQ(c.HumanName, expected[i].name);
    EXPECT_EQ(c.HumanName2, expected[i].name2);
    EXPECT_EQ(c.oParams().Items(0).Name, expected[i].status);
  }
  EXPECT_EQ(all.Items(0).oParams().Items(1).Name, "VarValue");
  EXPECT_EQ(all.Items(0).oParams().Items(1).Properties.UpperLimitValue, "99");
  EXPECT_EQ(all.Items(1).oParamsCount(), 1);
  EXPECT_EQ(all.Items(2).oParams().Items(0).Properties.MaxLengthValue, 1);

  const char* inputs[] = {"Timeout\t3\t\t", "Timeout\t3\t42\t", "Header\t\t\t", "Header\t0\tShop\t"};
  for (int i = 0; i < 4; ++i) {
    ASSERT_TRUE(all.Items(i).Prepare()) << i;
    EXPECT_EQ(all.Items(i).lastInputText(), inputs[i]);
  }
  all.Items(1).iParams().find("Value")->Value = "100";
  EXPECT_FALSE(all.Items(1).Prepare());
  EXPECT_EQ(e.code(), -10511);

  clear_DDCommands(e.fd);
  ASSERT_TRUE(add_Read_255_ErrCode(e.fd, "Timeout", 3, number));
  EXPECT_EQ(all.Items(0).Variant(), 1) << "clearing resets the counters";
}

TEST(Command255, Ex01FormsCarryGroupAndThreeNames) {
  ProfiledEngine e;
  ASSERT_TRUE(add_Read_255_ErrCode_ex01(e.fd, "Printing", "Contrast", 0, rules(ptInteger, {}), false));
  ASSERT_TRUE(add_Write_255_ErrCode_ex01(e.fd, "Printing", "Contrast", 0, "5", rules(ptInteger, {})));
  auto& all = cmds(*e.fd.dd());
  const TCommandsItem& get = all.Items(0);
  EXPECT_EQ(get.HumanName, "255_Printing_Get_Contrast");
  EXPECT_EQ(get.HumanName2, "Printing_Get_Contrast");
  EXPECT_EQ(get.HumanName3, "Get_Contrast");
  EXPECT_EQ(get.GroupName, "Printing");
  EXPECT_FALSE(get.VisibleForExport);
  EXPECT_EQ(get.iParams().Items(0).Name, "variable_Name");
  EXPECT_EQ(get.iParams().Items(2).Name, "input_Value");
  EXPECT_EQ(get.oParams().Items(1).Name, "output_Value");
  const TCommandsItem& set = all.Items(1);
  EXPECT_EQ(set.Variant(), 1);
  EXPECT_EQ(set.Version(), 1);
  EXPECT_EQ(set.HumanName, "255_Printing_Set_Contrast");
  EXPECT_EQ(set.HumanName3, "Set_Contrast");
  EXPECT_TRUE(set.VisibleForExport);
  EXPECT_EQ(find(e.fd, "Get_Contrast"), &get);
  EXPECT_EQ(find(e.fd, 255, 1, 1), &set);
}

TEST(PropertyRelations, CodesAndDefaults) {
  TPCRItem fresh;
  EXPECT_EQ(fresh.ValueForTrue, "1");
  EXPECT_EQ(fresh.CodeInt, -1);

  ProfiledEngine e(false);
  ASSERT_TRUE(add_PCR(e.fd, "000092003", "logValue_FileName", "1.0.0", 4, 5, "v", pvt_Boolean, rwt_ReadWrite,
                      mua_Open, st_StatusBit));
  ASSERT_TRUE(add_PCR(e.fd, "abc", "odd", "", -1, -1, "", pvt_String, rwt_ReadOnly, mua_Always, st_Constant));
  const TPCR& list = pcrs(*e.fd.dd());
  ASSERT_EQ(list.Count(), 2);
  const TPCRItem& a = list.Items(0);
  EXPECT_EQ(a.CodeTxt, "000092003");
  EXPECT_EQ(a.CodeInt, 92003);
  EXPECT_EQ(a.SourceIndex_2, 4);
  EXPECT_EQ(a.SourceIndex_1, 5);
  EXPECT_EQ(a.ValueType, pvt_Boolean);
  EXPECT_EQ(a.ItIs, st_StatusBit);
  EXPECT_EQ(list.Items(1).CodeInt, -1);
  clear_PCRs(e.fd);
  EXPECT_EQ(list.Count(), 0);
}

TEST(OposLists, TheValueTextChoosesTheList) {
  ProfiledEngine e(false);
  const char* values[] = {"0", "-12", "True", "false", "", "1.5", "TRUE "};
  for (const char* v : values) ASSERT_TRUE(opos_AddProperties(e.fd, 1, v, "1.3", mua_Open, rwt_ReadWrite, v));
  const TProps& p = OPOS(e.fd).Props();
  ASSERT_EQ(p.iValues.Count(), 2);
  EXPECT_EQ(p.iValues.Items(1).Value, -12);
  ASSERT_EQ(p.bValues.Count(), 2);
  EXPECT_TRUE(p.bValues.Items(0).Value);
  EXPECT_FALSE(p.bValues.Items(1).Value);
  ASSERT_EQ(p.sValues.Count(), 3);
  EXPECT_EQ(p.sValues.Items(2).Value, "TRUE ");
  EXPECT_EQ(p.iValues.Items(0).UseAfter, mua_Open);
  EXPECT_EQ(p.iValues.Items(0).Mutability, rwt_ReadWrite);
  EXPECT_EQ(p.iValues.Items(0).dCode, 1);
  oposProperties_Clear(e.fd);
  EXPECT_EQ(p.iValues.Count() + p.bValues.Count() + p.sValues.Count(), 0);
}
