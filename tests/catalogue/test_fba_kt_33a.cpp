// The KT-33A profile: what it writes into an engine, that re-running it does not
// double anything, and how it follows the engine's lifetime.
#include <gtest/gtest.h>

#include <memory>
#include <set>

#include "catalogue/engine_catalogue.h"
#include "support_engine.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

using Bits = std::set<std::pair<int, int>>;

Bits flaggedBits(TLowLevel& ll, TErrorChecking profile) {
  Bits out;
  for (int byte = 0; byte < 8; ++byte)
    for (int bit = 0; bit < 8; ++bit)
      if (ll.get_sBytesCheckingFor(byte, bit, profile)) out.insert({byte, bit});
  return out;
}

const TOPItem* findOpos(const TProps& p, const std::string& name) {
  for (const auto& i : p.iValues)
    if (i.Name == name) return &i;
  for (const auto& i : p.sValues)
    if (i.Name == name) return &i;
  for (const auto& i : p.bValues)
    if (i.Name == name) return &i;
  return nullptr;
}

}  // namespace

TEST(ProfileKT33A, ModelSettingsAndCodePage) {
  ProfiledEngine e;
  e.fd.set_CommunicationType(ct_TCPIP);
  e.fd.set_ErrorStyle(pfStyle);
  ASSERT_TRUE(e.profile.init_fCore());
  TDeviceDependent& dd = *e.fd.dd();
  EXPECT_EQ(e.fd.CommunicationType(), ct_RS232);
  EXPECT_EQ(e.fd.ModelName, "KT-33 A");
  EXPECT_EQ(e.fd.ErrorStyle(), errorCode);
  EXPECT_EQ(dd.Country(), TSCountries::FederationBosniaAndHerzegovina);
  EXPECT_EQ(dd.CodePage, 1250u);
  EXPECT_FALSE(dd.CustomCodePage);
  EXPECT_EQ(dd.CustomCodePageCode, 22);
  EXPECT_EQ(dd.DeviceType, TFiscalDeviceType::FiscalPrinter);
  EXPECT_EQ(dd.LowLevel().ProtocolType(), protocol_Type2);
  EXPECT_EQ(dd.LowLevel().errorCheckType(), ccEndUser);
  EXPECT_EQ(dd.LowLevel().statusBytes().ByteCountInUse(), 8);
}

TEST(ProfileKT33A, StatusTableFlagsUseAndDescriptions) {
  ProfiledEngine e;
  TLowLevel& ll = e.fd.dd()->LowLevel();
  EXPECT_EQ(flaggedBits(ll, ccEndUser), (Bits{{0, 0}, {0, 1}, {0, 4}, {0, 5}, {0, 6}, {1, 0}, {1, 1},
                                               {2, 0}, {2, 2}, {4, 0}, {4, 4}, {4, 5}, {4, 6}}));
  EXPECT_EQ(flaggedBits(ll, ccDevelopmentAndTest), (Bits{{0, 0}, {0, 1}, {0, 4}, {0, 5}, {0, 6}, {1, 0}, {1, 1},
                                                          {2, 0}, {4, 0}, {4, 4}, {4, 5}, {4, 6}}));
  EXPECT_EQ(flaggedBits(ll, ccProduction),
            (Bits{{0, 0}, {0, 1}, {0, 4}, {1, 0}, {1, 1}, {4, 0}, {4, 4}, {4, 5}, {4, 6}}));
  EXPECT_EQ(flaggedBits(ll, ccService), (Bits{{0, 0}, {0, 1}}));

  const uint8_t inUse[8] = {0x7F, 0x07, 0x3F, 0x00, 0x7F, 0x1A, 0x00, 0x00};
  for (int byte = 0; byte < 8; ++byte)
    for (int bit = 0; bit < 8; ++bit)
      EXPECT_EQ(ll.get_sBytesBitInUse(byte, bit), ((inUse[byte] >> bit) & 1) != 0) << byte << "," << bit;

  struct Text {
    int byte, bit;
    const char* text;
  };
  const Text texts[] = {
      {0, 0, "# Incoming data has syntax error."},
      {0, 5, "General error - this is OR of all errors marked with #."},
      {1, 2, "More than 24 hours after day opening."},
      {2, 2, "EJ is full."},
      {3, 6, "Reserved - always 0."},
      {4, 3, "There is space for less then 60 reports in Fiscal memory."},
      {4, 5, "OR of all errors marked with \xE2\x80\x98*\xE2\x80\x99 from Bytes 4 \xD0\xB8 5."},
      {5, 3, "The device is in fiscal mode"},
      {5, 4, "Tax rates have been set at least once."},
      {7, 7, "Reserved - always 1."},
  };
  for (const auto& t : texts) EXPECT_EQ(ll.get_sBytesDescription(t.byte, t.bit), t.text) << t.byte << "," << t.bit;
  for (int byte = 0; byte < 8; ++byte)
    for (int bit = 0; bit < 8; ++bit)
      EXPECT_EQ(ll.get_sBytesDescription(byte, bit), TFBA_KT_33A::statusDescription(byte, bit));
}

TEST(ProfileKT33A, CataloguesAndRerunGiveTheSameLists) {
  ProfiledEngine e;
  ASSERT_TRUE(add_DDCommand(e.fd, 90, 0, 0));
  ASSERT_TRUE(add_Read_255_ErrCode(e.fd, "x", 0, TParamAttribute{}));
  for (int run = 0; run < 2; ++run) {
    ASSERT_TRUE(e.profile.init_fCore());
    EXPECT_EQ(cmds(*e.fd.dd()).Count(), 0);
    EXPECT_EQ(cmds(*e.fd.dd()).index_Read255(), 0);
    const TPCR& relations = pcrs(*e.fd.dd());
    ASSERT_EQ(relations.Count(), 132);
    const TProps& p = OPOS(e.fd).Props();
    EXPECT_EQ(p.iValues.Count(), 32);
    EXPECT_EQ(p.sValues.Count(), 12);
    EXPECT_EQ(p.bValues.Count(), 78);
  }

  const TPCR& relations = pcrs(*e.fd.dd());
  const TPCRItem& first = relations.Items(0);
  EXPECT_EQ(first.CodeTxt, "000010001");
  EXPECT_EQ(first.CodeInt, 10001);
  EXPECT_EQ(first.Name, "last_ErrorCode");
  EXPECT_EQ(first.Version, "1.0.0");
  EXPECT_EQ(first.ValueForTrue, "1");
  EXPECT_EQ(first.Value, "");
  EXPECT_EQ(first.SourceIndex_1, -1);
  EXPECT_EQ(first.SourceIndex_2, -1);
  EXPECT_EQ(first.ValueType, pvt_String);
  EXPECT_EQ(first.rwType, rwt_ReadOnly);
  EXPECT_EQ(first.MayUseAfter, mua_OpenClaimEnable);
  EXPECT_EQ(first.ItIs, st_Constant);
  EXPECT_EQ(relations.Items(5).Name, "eSBit_Command_InvalidCode");
  EXPECT_EQ(relations.Items(5).CodeTxt, "000021003");
  EXPECT_EQ(relations.Items(131).CodeInt, 92003);
  EXPECT_EQ(relations.Items(131).Name, "logValue_FileName");

  const TProps& p = OPOS(e.fd).Props();
  EXPECT_EQ(p.iValues.Items(0).Name, "DataCount");
  EXPECT_EQ(p.iValues.Items(31).Name, "CapPowerReporting");
  EXPECT_EQ(p.sValues.Items(11).Name, "ReservedWord");
  EXPECT_EQ(p.bValues.Items(77).Name, "CapXReport");
  struct Attr {
    const char* name;
    TMayUseAfter useAfter;
    TRWType rw;
    const char* version;
  };
  const Attr attrs[] = {
      {"DataCount", mua_NotSupported, rwt_ReadOnly, "1.3"},
      {"AutoDisable", mua_NotSupported, rwt_ReadWrite, "1.3"},
      {"State", mua_Always, rwt_ReadOnly, "1.3"},
      {"DeviceEnabled", mua_OpenClaim, rwt_ReadWrite, "1.3"},
      {"CapAmountNotPaid", mua_Deprecated, rwt_ReadOnly, "1.3"},
      {"PowerNotify", mua_Open, rwt_ReadWrite, "1.3"},
      {"ChangeDue", mua_Open, rwt_ReadWrite, "1.6"},
      {"Claimed", mua_Open, rwt_ReadOnly, "1.3"},
      {"FlagWhenIdle", mua_Open, rwt_ReadWrite, "1.3"},
      {"ContractorId", mua_OpenClaimEnable, rwt_ReadWrite, "1.6"},
      {"PreLine", mua_OpenClaimEnable, rwt_ReadWrite, "1.6"},
      {"PrinterState", mua_OpenClaimEnable, rwt_ReadOnly, "1.3"},
      {"CoverOpen", mua_OpenClaimEnable, rwt_ReadOnly, "1.3"},
      {"CapXReport", mua_Open, rwt_ReadOnly, "1.3"},
      {"CapUpdateStatistics", mua_Open, rwt_ReadOnly, "1.8"},
      {"CapUpdateFirmware", mua_Open, rwt_ReadOnly, "1.9"},
      {"CapPositiveSubtotalAdjustment", mua_Open, rwt_ReadOnly, "1.11"},
  };
  for (const auto& a : attrs) {
    const TOPItem* item = findOpos(p, a.name);
    ASSERT_NE(item, nullptr) << a.name;
    EXPECT_EQ(item->UseAfter, a.useAfter) << a.name;
    EXPECT_EQ(item->Mutability, a.rw) << a.name;
    EXPECT_EQ(item->Version, a.version) << a.name;
    EXPECT_EQ(item->dCode, 1) << a.name;
  }
  int trueValues = 0;
  for (const auto& b : p.bValues) trueValues += b.Value;
  EXPECT_EQ(trueValues, 1);
  EXPECT_TRUE(static_cast<const TBItem*>(findOpos(p, "CapCompareFirmwareVersion"))->Value);
  for (const auto& i : p.iValues) EXPECT_EQ(i.Value, 0) << i.Name;
}

TEST(ProfileKT33A, FollowsTheEngineLifetime) {
  TFBA_KT_33A profile;
  EXPECT_FALSE(profile.init_fCore());
  EXPECT_FALSE(profile.add_PCRs());
  profile.clear_PCRs();  // no engine: nothing happens

  TErrContainer err;
  TFDMisc misc;
  {
    auto first = std::make_unique<TFiscalDevice>();
    profile.set_fCore(first.get());
    EXPECT_EQ(profile.fCore(), first.get());
    TFiscalDevice second;
    profile.set_fCore(&second);
    EXPECT_EQ(second.dd()->LowLevel().ProtocolType(), protocol_Type2);
    EXPECT_EQ(pcrs(*second.dd()).Count(), 132);
    first.reset();  // no longer watched: the profile keeps the second engine
    EXPECT_EQ(profile.fCore(), &second);
  }
  EXPECT_EQ(profile.fCore(), nullptr);
  EXPECT_FALSE(profile.oposProperties_Add());

  // A profile that goes first leaves its engine working.
  TFiscalDevice engine;
  {
    TFBA_KT_33A shortLived;
    shortLived.set_fCore(&engine);
  }
  EXPECT_EQ(OPOS(engine).Props().bValues.Count(), 78);
}
