// The engine against the simulator: connecting and identifying, date and time,
// named parameters, VAT rates, fiscalization and service mode, over TCP and a pty.
#include <gtest/gtest.h>

#include "support_engine.h"

using namespace kestrel;
using namespace kestrel::simtest;

namespace {

class EngineSetup : public ::testing::TestWithParam<bool> {};

TEST_P(EngineSetup, ConnectIdentifyAndSetTheDevice) {
  sim::SimulatorOptions o;
  o.model = "KT-77B";
  EngineOnSim e(o, GetParam());
  ASSERT_EQ(e.opened, 0) << "opening runs 74 and the diagnostic read";
  EXPECT_EQ(e.fd.dd()->i90().shNNNNNN, "KT-77B");
  EXPECT_EQ(e.fd.dd()->i90().DeviceName, "KT-77B");
  ASSERT_TRUE(e.cmd(90, "\t"));
  EXPECT_EQ(e.code(), 0);

  // Date and time, with the summer-time suffix.
  ASSERT_TRUE(e.cmd(62));
  EXPECT_EQ(e.field(1), "01-07-25 10:00:00 DST");
  ASSERT_TRUE(e.cmd(61, "07-03-25 09:05:03\t"));
  ASSERT_TRUE(e.cmd(62));
  EXPECT_EQ(e.field(1), "07-03-25 09:05:03");

  // Header lines in the device code page.
  ASSERT_TRUE(e.cmd(255, "Header\t1\tČevapi kod Željka\t"));
  ASSERT_TRUE(e.cmd(255, "Header\t1\t\t"));
  EXPECT_EQ(e.field(1), "Čevapi kod Željka");
  EXPECT_EQ(e.device([](sim::DeviceModel& d) { return d.state().params.at("Header")[1]; }),
            "\xC8" "evapi kod \x8E" "eljka")
      << "the device keeps Windows-1250 bytes";

  // The device's own code for a value it cannot take; the engine reports it.
  e.cmd(255, "EcrNumberBarcode\t\t7\t");
  EXPECT_EQ(e.code(), -112202);
  e.cmd(255, "Header\t12\t\t");
  EXPECT_EQ(e.code(), -112201);
  e.cmd(255, "APN\t0\tinternet\t");
  EXPECT_EQ(e.code(), -104002);
  ASSERT_TRUE(e.cmd(253, "0\t1234\t"));
  ASSERT_TRUE(e.cmd(255, "APN\t0\tinternet\t"));
  ASSERT_TRUE(e.cmd(253, "0\t\t"));

  // VAT rates, read back as valVat.
  ASSERT_TRUE(e.cmd(83, "17.00\t0.00\t100.00\t25.00\t100.00\t"));
  EXPECT_EQ(e.code(), 0);
  EXPECT_TRUE(e.bit(5, 4));
  const char* rates[] = {"1700", "0", "10000", "2500", "10000"};
  for (int g = 0; g < 5; ++g) {
    ASSERT_TRUE(e.cmd(255, "valVat\t" + std::to_string(g) + "\t\t"));
    EXPECT_EQ(e.field(1), rates[g]);
  }
}

TEST_P(EngineSetup, FiscalizationWithItsStatusBits) {
  EngineOnSim e({}, GetParam());
  ASSERT_EQ(e.opened, 0);
  ASSERT_TRUE(e.cmd(255, "IDnumber\t\t\t"));
  EXPECT_EQ(e.field(1), "");
  EXPECT_FALSE(e.bit(4, 2));
  ASSERT_TRUE(e.cmd(91, "KT000123\t44556677\t"));
  EXPECT_TRUE(e.bit(4, 2));
  e.cmd(91, "KT000124\t44556678\t");
  EXPECT_EQ(e.code(), -104003) << "only once";
  ASSERT_TRUE(e.cmd(98, "4200000000001\t420000000001\t"));
  EXPECT_TRUE(e.bit(4, 1));
  ASSERT_TRUE(e.cmd(83, "17\t0\t100\t100\t100\t"));
  ASSERT_TRUE(e.cmd(255, "PrintTestReceipt\t\t0\t"));
  ASSERT_TRUE(e.cmd(72, "KT000123\t4200000000001\t420000000001\t"));
  EXPECT_EQ(e.code(), 0);
  EXPECT_TRUE(e.bit(5, 3));
  ASSERT_TRUE(e.cmd(90, "#\t"));
  EXPECT_EQ(e.field(8), "KT000123");
  ASSERT_TRUE(e.cmd(90, "\t"));
  EXPECT_EQ(e.field(8), "44556677");
  e.cmd(255, "PrintColumns\t\t48\t");
  EXPECT_EQ(e.code(), -104003) << "fixed once fiscalized";
}

// The simulator serves a pseudo-terminal on Linux only.
#ifdef _WIN32
INSTANTIATE_TEST_SUITE_P(TcpAndPty, EngineSetup, ::testing::Values(false),
#else
INSTANTIATE_TEST_SUITE_P(TcpAndPty, EngineSetup, ::testing::Values(false, true),
#endif
                         [](const auto& info) { return info.param ? "Pty" : "Tcp"; });

}  // namespace
