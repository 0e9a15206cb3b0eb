// The simulated device's identity, status bits, named parameters, clock, VAT rates,
// fiscalization and service functions, driven without a transport.
#include <gtest/gtest.h>

#include <fmt/format.h>

#include "sim/device_codes.h"
#include "support/crc32.h"
#include "support_device.h"

using namespace kestrel::sim;
using namespace kestrel::simtest;

namespace {

class Setup : public DeviceTest {};

TEST(DeviceModels, EveryModelOfTheTableAndAnUnknownName) {
  struct Case {
    const char* asked;
    const char* name;
    int index, keys;
    const char* type;
    const char* password;
  };
  const Case cases[] = {{"KT-11A", "KT-11A", 0, 8, "ECR", "1"},     {"kt-22a", "KT-22A", 1, 0, "FP", "0000"},
                        {"KT-33A", "KT-33A", 2, 0, "FP", "0000"},   {"KT-44B", "KT-44B", 3, 8, "ECR", "1"},
                        {"KT-55B", "KT-55B", 4, 0, "FP", "0000"},   {"KT-66B", "KT-66B", 5, 6, "ECR", "1"},
                        {"KT-77B", "KT-77B", 6, 8, "ECR", "1"},     {"ZX-99", "ZX-99", -1, 0, "FP", "0000"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.asked);
    DeviceModel d(c.asked);
    d.hostClock = [] { return makeTime(2025, 1, 1, 0, 0, 0); };
    EXPECT_EQ(d.model().index, c.index);
    std::string out;
    d.execute(90, "#\t", out);
    const auto id = fieldsOf(out);
    ASSERT_EQ(id.size(), 11u);
    EXPECT_EQ(id[0], "0");
    EXPECT_EQ(id[1], c.type);
    EXPECT_EQ(id[3], c.name);
    d.execute(90, "\t", out);
    const auto info = fieldsOf(out);
    ASSERT_EQ(info.size(), 9u);
    EXPECT_EQ(info[1], c.name);
    // Direct keys exist as many as the model has.
    d.execute(255, "DPxx_PluCode\t" + std::to_string(c.keys - 1) + "\t\t", out);
    EXPECT_EQ(fieldsOf(out)[0], c.keys > 0 ? "0" : "-112201");
    d.execute(255, "DPxx_PluCode\t" + std::to_string(c.keys) + "\t\t", out);
    EXPECT_EQ(fieldsOf(out)[0], "-112201");
    // The factory operator password opens a receipt once VAT rates are set.
    d.execute(83, "17\t0\t100\t100\t100\t", out);
    d.execute(48, std::string("1\t") + c.password + "\t1\t1\t", out);
    EXPECT_EQ(fieldsOf(out)[0], "0");
  }
}

TEST_F(Setup, DiagnosticWithoutTabAnswersTheCommaFormWithoutCode) {
  ASSERT_EQ(code(91, "KT000001\t12345678\t"), 0);
  std::string out;
  d.execute(90, "", out);
  EXPECT_EQ(out, "KT-33A,1.04 15-01-25 12:00,5A3C,00000000,KT000001,12345678");
}

TEST_F(Setup, StatusBitsFollowTheDeviceState) {
  uint8_t s[8];
  d.statusBytes(s);
  EXPECT_EQ(std::vector<uint8_t>(s, s + 8), (std::vector<uint8_t>{0x80, 0x80, 0x80, 0x80, 0x80, 0x82, 0x80, 0x80}));
  EXPECT_FALSE(bit(5, 4));
  prepareSales();
  EXPECT_TRUE(bit(5, 4)) << "tax rates set";
  EXPECT_EQ(openReceipt(), 0);
  EXPECT_TRUE(bit(2, 3)) << "fiscal receipt open";
  EXPECT_EQ(code(53, "0\t\t"), 0);
  EXPECT_EQ(code(56, ""), 0);
  EXPECT_FALSE(bit(2, 3));
  EXPECT_EQ(code(38, "1\t0000\t"), 0);
  EXPECT_TRUE(bit(2, 5)) << "non-fiscal receipt open";
  EXPECT_EQ(code(39, ""), 0);
  EXPECT_FALSE(bit(2, 5));
  EXPECT_EQ(code(91, "KT000001\t12345678\t"), 0);
  EXPECT_TRUE(bit(4, 2));
  EXPECT_FALSE(bit(4, 1));
  EXPECT_EQ(code(98, "1234567890123\t123456789012\t"), 0);
  EXPECT_TRUE(bit(4, 1));
  EXPECT_EQ(code(69, "Z\t"), 0);
  EXPECT_FALSE(bit(5, 3));
  EXPECT_EQ(code(72, "KT000001\t1234567890123\t123456789012\t"), 0);
  EXPECT_TRUE(bit(5, 3)) << "fiscal mode";
  // Error bits describe the last answer only.
  EXPECT_EQ(code(999, ""), ERR_INVALID_COMMAND);
  EXPECT_TRUE(bit(0, 1));
  EXPECT_TRUE(bit(0, 5)) << "general error summarises byte 0 bit 1";
  EXPECT_EQ(code(61, "garbage\t"), -112101);
  EXPECT_TRUE(bit(0, 0));
  EXPECT_FALSE(bit(0, 1));
  EXPECT_EQ(code(74, ""), 0);
  EXPECT_FALSE(bit(0, 0));
  EXPECT_FALSE(bit(0, 5));
}

TEST_F(Setup, NamedParametersCheckIndexAndValue) {
  struct Case {
    const char* name;
    const char* index;
    const char* value;
    int code;
    const char* readBack;  // nullptr: not read back
  };
  const std::string longLine(65, 'x');
  const Case cases[] = {
      {"Header", "0", "MY SHOP", 0, "MY SHOP"},
      {"Header", "3", " ", 0, ""},  // a single blank clears the line
      {"Header", "10", "x", -112201, nullptr},
      {"Header", "", "x", -112101, nullptr},
      {"Header", "0", longLine.c_str(), -112202, nullptr},
      {"Footer", "9", "BYE", 0, "BYE"},
      {"DaylightSavingMinutes", "", "0", 0, "0"},
      {"DaylightSavingMinutes", "", "abc", -112202, nullptr},
      {"EcrNumberBarcode", "", "4", 0, "4"},
      {"EcrNumberBarcode", "", "5", -112202, nullptr},
      {"EcrScaleBarMask", "", " ", 0, ""},
      {"EcrAskForPassword", "", "2", -112202, nullptr},
      {"AutoPowerOff", "", "15", 0, "15"},
      {"AutoPowerOff", "", "16", -112202, nullptr},
      {"TimeZone", "", "+2", 0, "2"},
      {"TimeZone", "", "-3", 0, "-3"},
      {"PrintColumns", "", "48", 0, "48"},
      {"PrintColumns", "", "44", -112202, nullptr},
      {"FpComBaudRate", "", "3", 0, "3"},
      {"ComPortBaudRate", "1", "9600", 0, "9600"},
      {"ComPortBaudRate", "1", "9601", -112202, nullptr},
      {"LAN_IP", "", "127.0.0.5", 0, "127.0.0.5"},
      {"LAN_IP", "", "127.0.0.256", -112202, nullptr},
      {"LAN_IP", "", " ", 0, ""},
      {"LANport_fpCommands", "", "0", 0, "0"},
      {"KeyNDB_forbidden", "0", "1", 0, "1"},  // single-valued parameters take index 0 as well
      {"KeyOTS_percentage", "", "1250", 0, "1250"},
      {"KeyOTS_percentage", "", "10000", -112202, nullptr},
      {"Payment_forbidden", "3", "1", 0, "1"},
      {"Payment_forbidden", "4", "1", -112201, nullptr},
      {"Dept_name", "98", "Bakery", 0, "Bakery"},
      {"APN", "0", "internet", ERR_NEED_SERVICE, nullptr},
      {"DtUseServer", "", "1", ERR_NEED_SERVICE, nullptr},
      {"ServMessage", "0", "Call 123", ERR_NEED_SERVICE, nullptr},
      {"BthVersion", "", "9", ERR_FORBIDDEN, nullptr},
      {"IDnumber", "", "KT000001", ERR_FORBIDDEN, nullptr},
      {"NoSuchParameter", "", "1", ERR_NOT_FOUND, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + "[" + c.index + "] = " + c.value);
    EXPECT_EQ(code(255, std::string(c.name) + "\t" + c.index + "\t" + c.value + "\t"), c.code);
    if (c.readBack) {
      const auto f = run(255, std::string(c.name) + "\t" + c.index + "\t\t");
      ASSERT_EQ(f.size(), 2u);
      EXPECT_EQ(f[0], "0");
      EXPECT_EQ(f[1], c.readBack);
    }
  }
  EXPECT_EQ(run(255, "PayName\t0\t\t")[1], "Cash");
  EXPECT_EQ(run(255, "OperName\t29\t\t")[1], "Operator 30");
}

TEST_F(Setup, ProtectedParametersNeedServiceModeAndRefuseWhileAReceiptIsOpen) {
  EXPECT_EQ(code(253, "0\t9999\t"), ERR_WRONG_PASSWORD);
  EXPECT_EQ(code(255, "APN_User\t1\tuser\t"), ERR_NEED_SERVICE);
  ASSERT_EQ(code(253, "0\t1234\t"), 0);
  EXPECT_EQ(code(255, "APN_User\t1\tuser\t"), 0);
  EXPECT_EQ(code(255, "ServiceDate\t\t05-06-26 23:59:59\t"), 0);
  EXPECT_EQ(code(255, "ServiceDate\t\t31-06-26 23:59:59\t"), -112202);
  EXPECT_EQ(run(255, "ServiceDate\t\t\t")[1], "05-06-26 23:59:59");
  EXPECT_EQ(code(253, "0\t\t"), 0);  // an empty password leaves service mode
  EXPECT_EQ(code(255, "APN_User\t1\tother\t"), ERR_NEED_SERVICE);
  EXPECT_EQ(run(255, "APN_User\t1\t\t")[1], "user") << "reading needs no service mode";

  prepareSales();
  ASSERT_EQ(openReceipt(), 0);
  EXPECT_EQ(code(255, "Header\t0\tX\t"), ERR_RECEIPT_OPEN);
  EXPECT_EQ(code(83, "17\t0\t100\t25\t100\t"), ERR_RECEIPT_OPEN);
}

TEST_F(Setup, PrintColumnsFollowModelAndFiscalMode) {
  DeviceModel narrow("KT-22A");
  std::string out;
  narrow.execute(255, "PrintColumns\t\t48\t", out);
  EXPECT_EQ(out, "-112202\t");
  narrow.execute(255, "PrintColumns\t\t42\t", out);
  EXPECT_EQ(out, "0\t");
  d.mutableState().fiscal = true;
  EXPECT_EQ(code(255, "PrintColumns\t\t48\t"), ERR_FORBIDDEN);
}

TEST_F(Setup, ClockRunsFromTheHostClockWithSummerTimeSuffix) {
  EXPECT_EQ(run(62, "")[1], "01-07-25 10:00:00 DST");
  ASSERT_EQ(code(61, "31-12-24 23:59:58\t"), 0);
  EXPECT_EQ(run(62, "")[1], "31-12-24 23:59:58") << "winter: no suffix";
  clock += 5;
  EXPECT_EQ(run(62, "")[1], "01-01-25 00:00:03");
  ASSERT_EQ(code(61, "30-03-25 02:00:00 DST\t"), 0);
  EXPECT_EQ(run(62, "")[1], "30-03-25 02:00:00 DST");
  ASSERT_EQ(code(255, "DaylightSavingMinutes\t\t0\t"), 0);
  EXPECT_EQ(run(62, "")[1], "30-03-25 02:00:00") << "automatic summer time off";
  for (const char* bad : {"", "1-01-25 10:00:00", "32-01-25 10:00:00", "01-01-25 24:00:00", "01-01-25 10:00:00 XYZ"})
    EXPECT_EQ(code(61, std::string(bad) + "\t"), -112101) << bad;
}

TEST_F(Setup, VatRatesThroughCommand83AndValVat) {
  EXPECT_EQ(code(83, "17.00\t0.00\t100.00\t25\t100.00\t"), 0);
  const char* expected[] = {"1700", "0", "10000", "2500", "10000"};
  for (int g = 0; g < 5; ++g) EXPECT_EQ(run(255, "valVat\t" + std::to_string(g) + "\t\t")[1], expected[g]);
  EXPECT_EQ(code(83, "17.00\tabc\t100.00\t25\t100.00\t"), -112102);
  EXPECT_EQ(code(83, "17.00\t0\t100.01\t25\t100.00\t"), -112203);
  EXPECT_EQ(code(83, "17.00\t0\t"), -112103) << "all five groups are needed";
  EXPECT_EQ(run(255, "valVat\t1\t\t")[1], "0") << "a refused save changes no rate";
  EXPECT_EQ(code(255, "valVat\t2\t1000\t"), 0);
  EXPECT_EQ(run(255, "valVat\t2\t\t")[1], "1000");
  // After a sale in the day the rates wait for the Z report.
  ASSERT_EQ(code(107, "P\t1\t1\t1\t1\t0\t10.00\t\t0\t\t\t\t\tBread\t"), 0);
  ASSERT_EQ(openReceipt(), 0);
  ASSERT_EQ(code(58, "1\t1.000\t\t0\t0\t"), 0);
  ASSERT_EQ(code(53, "0\t\t"), 0);
  ASSERT_EQ(code(56, ""), 0);
  EXPECT_EQ(code(83, "18\t0\t100\t25\t100\t"), ERR_NEED_Z);
  ASSERT_EQ(code(69, "Z\t"), 0);
  EXPECT_EQ(code(83, "18\t0\t100\t25\t100\t"), 0);
}

TEST_F(Setup, FiscalizationStepsOnceEachInOrder) {
  EXPECT_EQ(code(72, "KT000001\t1234567890123\t123456789012\t"), ERR_FM_NUMBER_EMPTY);
  EXPECT_EQ(code(91, "KT00001\t12345678\t"), -112201);
  EXPECT_EQ(code(91, "KT000001\t1234567A\t"), -112202);
  EXPECT_EQ(code(91, "KT000001\t12345678\t"), 0);
  EXPECT_EQ(code(91, "KT000002\t12345679\t"), ERR_FORBIDDEN);
  EXPECT_EQ(run(255, "IDnumber\t\t\t")[1], "KT000001");
  EXPECT_EQ(run(255, "FMnumber\t\t\t")[1], "12345678");
  EXPECT_EQ(code(72, "KT000001\t1234567890123\t123456789012\t"), ERR_TAX_NUMBER_EMPTY);
  EXPECT_EQ(code(98, "1234567890123\t12345678901\t"), -112202);
  EXPECT_EQ(code(98, "1234567890123\t123456789012\t"), 0);
  EXPECT_EQ(code(98, "1234567890123\t123456789012\t"), ERR_FORBIDDEN);
  EXPECT_EQ(code(96, "1234567890123456\t"), 0);
  EXPECT_EQ(code(96, "1234567890123457\t"), ERR_FORBIDDEN);
  EXPECT_EQ(code(72, "KT000001\t1234567890123\t123456789012\t"), ERR_VAT_NOT_SET);
  ASSERT_EQ(code(83, "17\t0\t100\t100\t100\t"), 0);
  EXPECT_EQ(code(72, "KT000001\t9999999999999\t123456789012\t"), -112202);
  EXPECT_EQ(code(72, "KT000001\t1234567890123\t123456789012\t"), 0);
  EXPECT_EQ(code(72, "KT000001\t1234567890123\t123456789012\t"), ERR_FORBIDDEN);
  // "PrintTestReceipt" is on in a fresh device: test receipt, storno receipt and Z report follow.
  const auto& j = d.state().journal;
  ASSERT_GE(j.size(), 4u);
  EXPECT_EQ(j[j.size() - 3].type, DOC_FISCAL);
  EXPECT_EQ(j[j.size() - 2].type, DOC_STORNO);
  EXPECT_EQ(j.back().type, DOC_Z);
  EXPECT_EQ(d.state().zNumber, 1);
}

TEST_F(Setup, ServiceFunctionsRamResetAndServiceOperation) {
  prepareSales();
  EXPECT_EQ(code(253, "4\t\tP\t"), ERR_NEED_SERVICE);
  EXPECT_EQ(code(253, "5\t01-07-25 08:00:00\t01-07-25 09:00:00\tN\t"), ERR_NEED_SERVICE);
  ASSERT_EQ(code(253, "0\t1234\t"), 0);
  EXPECT_EQ(code(253, "4\t\tX\t"), -112202);
  EXPECT_EQ(code(253, "4\t\tP\t"), 0);
  EXPECT_EQ(code(107, "R\t1\t"), ERR_PLU_NOT_FOUND);
  EXPECT_TRUE(d.serviceMode()) << "RAM reset leaves the device in service mode";
  EXPECT_EQ(code(253, "5\t01-07-25 09:00:00\t01-07-25 08:00:00\tN\t"), -112202);
  EXPECT_EQ(code(253, "5\t01-07-25 08:00:00\t01-07-25 09:00:00 DST\tQ\t"), -112203);
  EXPECT_EQ(code(253, "5\t01-07-25 08:00:00 DST\t01-07-25 09:00:00 DST\tM\t"), 0);
  EXPECT_EQ(d.state().journal.back().lines[1], "SERVICE OPERATION");
  ASSERT_EQ(code(255, "Header\t0\tChanged\t"), 0);
  EXPECT_EQ(code(253, "4\t\tS\t"), 0);
  EXPECT_EQ(run(255, "Header\t0\t\t")[1], "KESTREL TEST DEVICE") << "settings back to factory values";
}

TEST_F(Setup, TerminalFunctionsInsideServiceMode) {
  EXPECT_EQ(code(144, "2\t"), ERR_NEED_SERVICE);
  ASSERT_EQ(code(253, "0\t1234\t"), 0);
  EXPECT_EQ(run(144, "2\t")[1], "1");
  ASSERT_EQ(code(69, "Z\t"), 0);
  EXPECT_EQ(run(144, "3\t")[1], "0");
  EXPECT_EQ(run(144, "4\t")[1], "1");
  EXPECT_EQ(code(144, "10\t"), 0);
  EXPECT_EQ(run(144, "3\t")[1], "1");
  EXPECT_EQ(run(144, "2\t")[1], "0");
  EXPECT_EQ(code(144, "1\t"), 0);
  const std::string file = run(144, "5\t")[1];
  EXPECT_NE(file.find("\\r\\n"), std::string::npos) << "line breaks as backslash r backslash n";
  EXPECT_EQ(code(144, "0\t"), 0);
  EXPECT_EQ(run(144, "5\t")[1], "");
  EXPECT_EQ(code(144, "7\t"), ERR_SYNTAX);
}

TEST_F(Setup, CertificateFilesBehindTheDateCode) {
  uint8_t bytes[4] = {0xE9, 0x07, 7, 1};  // 2025-07-01
  const std::string unlock = std::to_string(kestrel::crc32Update(0, bytes, 4) ^ FILE_UNLOCK_MASK);
  EXPECT_EQ(code(129, "0\tKEYSTORE/root.crt\t"), ERR_ACCESS_DENIED);
  EXPECT_EQ(code(129, "3\t12345\t"), ERR_WRONG_CERT_PASSWORD);
  ASSERT_EQ(code(129, "3\t" + unlock + "\t"), 0);
  for (const char* path : {"KEYSTORE/root.crt", "KEYSTORE/server.crt"}) {
    SCOPED_TRACE(path);
    ASSERT_EQ(code(129, std::string("0\t") + path + "\t"), 0);
    const auto first = run(129, "1\t");
    ASSERT_EQ(first.size(), 4u);
    EXPECT_EQ(first[1], "") << "the first read only tells whether the file exists";
    EXPECT_EQ(first[3], "1");
    std::string content;
    while (true) {
      const auto part = run(129, "1\t");
      if (part[0] != "0") {
        EXPECT_EQ(part[0], "-100003");
        break;
      }
      content += *base64Decode(part[1]);
    }
    EXPECT_EQ(content, d.files.at(path));
  }
  ASSERT_EQ(code(129, "0\tKEYSTORE/none.crt\t"), 0);
  EXPECT_EQ(run(129, "1\t")[3], "0");
}

TEST_F(Setup, LogoUploadWithRunningChecksum) {
  EXPECT_EQ(code(202, "QUJD\t"), ERR_NOT_POSSIBLE) << "a block before START";
  std::string file;
  for (int i = 0; i < 109; ++i) file.push_back(static_cast<char>(200 + i % 50));
  ASSERT_EQ(code(202, "START\t"), 0);
  uint32_t sum = 0;
  for (size_t at = 0; at < file.size(); at += 54) {
    const std::string block = file.substr(at, 54);
    for (unsigned char c : block) sum += c;
    const auto f = run(202, base64Encode(block) + "\t");
    ASSERT_EQ(f[0], "0");
    EXPECT_EQ(std::stoul(f[1], nullptr, 16), sum);
  }
  EXPECT_EQ(code(202, "not base64!\t"), -112101);
  EXPECT_EQ(code(202, "UPDATE\t"), ERR_NOT_POSSIBLE) << "UPDATE needs STOPP first";
  const auto stop = run(202, "STOPP\t");
  EXPECT_EQ(stop[1], fmt::format("{:X}", sum));
  EXPECT_EQ(code(202, "UPDATE\t"), 0);
  EXPECT_EQ(d.state().logo, file);
  EXPECT_EQ(code(202, "RESTART\t"), 0);
}

}  // namespace
