#include <gtest/gtest.h>

#include "engine/device_dependent.h"

using namespace kestrel;

TEST(DeviceDependent, CreationValues) {
  TDeviceDependent dd;
  EXPECT_EQ(dd.CodePage, 1252u);
  EXPECT_FALSE(dd.CustomCodePage);
  EXPECT_EQ(dd.CustomCodePageCode, 0);
  EXPECT_EQ(dd.Country(), TSCountries::Unknown);
  EXPECT_EQ(dd.LowLevel().ProtocolType(), protocol_Type1);
  EXPECT_EQ(dd.LowLevel().errorCheckType(), ccEndUser);
  EXPECT_TRUE(dd.TransportSupport.RS232);
  EXPECT_FALSE(dd.TransportSupport.TCPIP);
  EXPECT_EQ(dd.SalesLimitations.maxNumberOfSaleRowsPerSale, 380);
  EXPECT_EQ(dd.i90().specialParam, "#");
  EXPECT_FALSE(dd.i90().getAfterConnect);
  EXPECT_EQ(dd.engine(), nullptr);
}

// Each case starts from code page 1250, custom code page 22 (the application's values).
TEST(DeviceDependent, CountrySetsTheCodePageOnlyForItsOwnCountries) {
  struct Case {
    TSCountries country;
    uint32_t codePage;
    bool custom;
    int customCode;
  } cases[] = {
      {TSCountries::Unknown, 1252, false, 22},
      {TSCountries::Bulgaria, 1251, false, 22},
      {TSCountries::Georgia, 1251, true, 16},
      {TSCountries::Poland, 1250, false, 22},
      {TSCountries::FederationBosniaAndHerzegovina, 1250, false, 22},
      {TSCountries::Russia, 1250, false, 22},
  };
  for (const Case& c : cases) {
    TDeviceDependent dd;
    dd.CodePage = 1250;
    dd.CustomCodePageCode = 22;
    dd.set_Country(c.country);
    EXPECT_EQ(dd.Country(), c.country);
    EXPECT_EQ(dd.CodePage, c.codePage) << static_cast<int>(c.country);
    EXPECT_EQ(dd.CustomCodePage, c.custom) << static_cast<int>(c.country);
    EXPECT_EQ(dd.CustomCodePageCode, c.customCode) << static_cast<int>(c.country);
  }
}

TEST(DeviceDependent, ClearEmptiesAllDiagnosticTextsButKeepsSettings) {
  TI90 i90;
  std::string* texts[] = {&i90.shDTP, &i90.shCCC, &i90.shNNNNNN, &i90.shDD, &i90.shOMV, &i90.shOBV,
                                &i90.shIBV, &i90.shSN, &i90.shHV, &i90.shBLV, &i90.DeviceName,
                                &i90.FirmwareRevision, &i90.FirmwareDate, &i90.FirmwareTime, &i90.CheckSum,
                                &i90.SoftwareSwitches, &i90.SerialNumber, &i90.FiscalMemoryNumber};
  for (std::string* s : texts) *s = "x";
  i90.specialParam = "@";
  i90.getAfterConnect = true;
  i90.clear();
  for (const std::string* s : texts) EXPECT_EQ(*s, "");
  EXPECT_EQ(i90.specialParam, "@");
  EXPECT_TRUE(i90.getAfterConnect);
  EXPECT_TRUE(i90.set_FiscalMemoryNumber("FM1"));
  EXPECT_EQ(i90.FiscalMemoryNumber, "FM1");
}
