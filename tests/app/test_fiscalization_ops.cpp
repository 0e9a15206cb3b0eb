// Fiscalization against the simulator: the read that shows what the device has, the
// length checks that send nothing, the one-time saves with their read afterwards, the
// preconditions of the fiscalization and its read on every way out.
#include <gtest/gtest.h>

#include "app/logic/config_pages.h"
#include "app/logic/pages/fiscalization.h"
#include "app/ops_fixture.h"

namespace kestrel {
namespace {

const std::string SERIAL = "AB123456", FM = "12345678", JIB = "4200000000001", PIB = "200000000001";

TPageValues numbers(const std::string& serial, const std::string& fm, const std::string& jib,
                    const std::string& pib) {
  return {{FISC_SERIAL, serial}, {FISC_FM_NUMBER, fm}, {FISC_JIB, jib}, {FISC_PIB, pib}};
}

TEST(FiscalizationOps, ReadOfAFreshDeviceShowsWhatItHasWithoutAlerts) {
  apptest::OpsOnSim s;
  TPageValues v = numbers("old", "old", "old", "old");
  ASSERT_TRUE(readFiscTab(s.ops, v));
  EXPECT_EQ(v[FISC_SERIAL], "");
  EXPECT_EQ(v[FISC_JIB], "");
  EXPECT_EQ(v[FISC_ISSUE_RECEIPT], "1");
  EXPECT_EQ(s.paramNamesSent(),
            (std::vector<std::string>{"IDnumber", "FMnumber", "TAXnumber", "PIBnumber", "PrintTestReceipt"}));
  EXPECT_TRUE(s.dialogs.shown.empty());
  EXPECT_TRUE(s.ops.ShowErr()) << "error reporting is back on after the read";
}

TEST(FiscalizationOps, NumbersOfTheWrongLengthAreNotSent) {
  apptest::OpsOnSim s;
  struct Case {
    TPageValues values;
    bool tax;
    std::string focus;
  };
  const Case cases[] = {
      {numbers("AB12345", FM, JIB, PIB), false, FISC_SERIAL},
      {numbers("        ", FM, JIB, PIB), false, FISC_SERIAL},
      {numbers(" AB1234 ", FM, JIB, PIB), false, FISC_SERIAL},
      {numbers(SERIAL, "1234567", JIB, PIB), false, FISC_FM_NUMBER},
      {numbers(SERIAL, FM, "420000000000", PIB), true, FISC_JIB},
      {numbers(SERIAL, FM, JIB, "20000000000"), true, FISC_PIB},
  };
  for (const auto& c : cases) {
    TPageValues v = c.values;
    std::string focus;
    EXPECT_FALSE(c.tax ? saveTaxNumbers(s.ops, v, focus) : saveSerialAndFM(s.ops, v, focus));
    EXPECT_EQ(focus, c.focus);
  }
  EXPECT_TRUE(s.sent.empty());
  EXPECT_TRUE(s.dialogs.shown.empty()) << "the focus moves without a message";
}

TEST(FiscalizationOps, SavesAskOnceSendTheFieldsAndReadThePageAfterSuccessOnly) {
  apptest::OpsOnSim s;
  TPageValues v = numbers(SERIAL, FM, JIB, PIB);
  std::string focus;
  s.dialogs.answer(mrNo);
  EXPECT_FALSE(saveSerialAndFM(s.ops, v, focus));
  EXPECT_TRUE(s.sent.empty());
  EXPECT_EQ(s.dialogs.shown.back().text, "Serial and FM number cannot be changed. Are you sure?");
  EXPECT_EQ(s.dialogs.shown.back().title, "Are you sure?");
  EXPECT_EQ(s.dialogs.shown.back().defaultButton, mrNo) << "Enter must not take an irreversible step";

  s.dialogs.answer(mrYes);
  ASSERT_TRUE(saveSerialAndFM(s.ops, v, focus));
  ASSERT_FALSE(s.sent.empty());
  EXPECT_EQ(s.sent[0].command, 91);
  EXPECT_EQ(s.sent[0].input, SERIAL + "\t" + FM + "\t");
  EXPECT_EQ(s.sent[1].input, "IDnumber\t\t\t") << "the page is read after the save";
  EXPECT_EQ(s.dialogs.shown.back().text, "The data was saved in the device.");
  EXPECT_TRUE(fiscalState(s.ops).serialAndFMSet);

  // The device takes the numbers once: the refusal is shown and nothing is read.
  s.clearSent();
  s.dialogs.answer(mrYes);
  EXPECT_FALSE(saveSerialAndFM(s.ops, v, focus));
  ASSERT_EQ(s.sent.size(), 1u);
  EXPECT_NE(s.dialogs.shown.back().text, "The data was saved in the device.");

  // The read showed the device's (empty) tax numbers; the technician types them now.
  EXPECT_EQ(v[FISC_JIB], "");
  v = numbers(SERIAL, FM, JIB, PIB);
  s.clearSent();
  s.dialogs.answer(mrYes);
  ASSERT_TRUE(saveTaxNumbers(s.ops, v, focus));
  EXPECT_EQ(s.sent[0].command, 98);
  EXPECT_EQ(s.sent[0].input, JIB + "\t" + PIB + "\t");
  EXPECT_EQ(v[FISC_PIB], PIB);
  EXPECT_TRUE(fiscalState(s.ops).taxNumberSet);

  s.clearSent();
  v[FISC_IOSA] = "1234567890123456";
  s.dialogs.answer(mrYes);
  ASSERT_TRUE(saveIOSA(s.ops, v));
  EXPECT_EQ(s.dialogs.shown[s.dialogs.shown.size() - 2].text, "IOSA changes are limited. Are you sure?");
  ASSERT_EQ(s.sent.size(), 1u) << "the IOSA is not read back";
  EXPECT_EQ(s.sent[0].input, "1234567890123456\t");
}

TEST(FiscalizationOps, FiscalizationPreconditionsAndTheReadOnEveryWayOut) {
  apptest::OpsOnSim s;
  TPageValues v = numbers(SERIAL, FM, JIB, PIB);
  std::string focus;
  // The serial check looks at the device's status, not at the fields.
  EXPECT_FALSE(fiscalize(s.ops, v, focus));
  EXPECT_EQ(s.dialogs.shown.back().text, "Set serial and FM numbers first.");
  EXPECT_EQ(focus, FISC_SERIAL);
  EXPECT_TRUE(s.inputsOf(72).empty());
  EXPECT_EQ(s.paramNamesSent().front(), "IDnumber") << "read although nothing was sent";

  v = numbers(SERIAL, FM, JIB, PIB);
  s.dialogs.answer(mrYes);
  ASSERT_TRUE(saveSerialAndFM(s.ops, v, focus));
  v = numbers(SERIAL, FM, JIB, PIB);
  s.dialogs.answer(mrYes);
  ASSERT_TRUE(saveTaxNumbers(s.ops, v, focus));
  ASSERT_TRUE(s.ops.command(83, "17.00\t0.00\t100.00\t100.00\t100.00\t"));

  // The tax check looks at the fields, even when the device has its numbers.
  v[FISC_JIB] = "";
  focus.clear();
  s.clearSent();
  EXPECT_FALSE(fiscalize(s.ops, v, focus));
  EXPECT_EQ(s.dialogs.shown.back().text, "Set JIB and PIB numbers first.");
  EXPECT_EQ(focus, FISC_JIB);
  EXPECT_EQ(v[FISC_JIB], JIB) << "the read after the refusal shows the device's JIB again";
  EXPECT_TRUE(s.inputsOf(72).empty());

  s.dialogs.answer(mrNo);
  EXPECT_FALSE(fiscalize(s.ops, v, focus));
  EXPECT_EQ(s.dialogs.shown.back().text, "Fiscalization is irreversible. Are you sure?");
  EXPECT_EQ(s.dialogs.shown.back().defaultButton, mrNo);
  EXPECT_TRUE(s.inputsOf(72).empty());

  s.dialogs.answer(mrYes);
  ASSERT_TRUE(fiscalize(s.ops, v, focus));
  EXPECT_EQ(s.inputsOf(72), (std::vector<std::string>{SERIAL + "\t" + JIB + "\t" + PIB + "\t"}));
  EXPECT_EQ(s.dialogs.shown.back().text, "Device fiscalized.");
  EXPECT_EQ(s.sent.back().input, "PrintTestReceipt\t\t\t") << "the page is read afterwards";
  EXPECT_TRUE(fiscalState(s.ops).fiscalMode);

  // Once fiscal, a second attempt is refused by the device and the page is still read.
  s.clearSent();
  s.dialogs.answer(mrYes);
  EXPECT_FALSE(fiscalize(s.ops, v, focus));
  EXPECT_EQ(s.sent.back().input, "PrintTestReceipt\t\t\t");
}

TEST(FiscalizationOps, IssueReceiptOptionAndTheReadOnlyConfigPage) {
  apptest::OpsOnSim s;
  ASSERT_TRUE(writeIssueReceipt(s.ops, false));
  EXPECT_EQ(s.sent.back().input, "PrintTestReceipt\t\t0\t");
  EXPECT_EQ(s.param("PrintTestReceipt"), "0");
  EXPECT_TRUE(s.dialogs.shown.empty());

  const TConfigPage* p = findConfigPage("fiscal");
  ASSERT_NE(p, nullptr);
  TPageValues v;
  ASSERT_TRUE(p->read(s.ops, v));
  const TKeyValues kv = p->show(v, 2);
  EXPECT_EQ(kv.front(), (std::pair<std::string, std::string>{"serial", ""}));
  EXPECT_EQ(kv.back(), (std::pair<std::string, std::string>{"fiscal_mode", "no"}));
  EXPECT_THROW(p->set(v, "serial", SERIAL, 2), std::invalid_argument);
}

}  // namespace
}  // namespace kestrel
