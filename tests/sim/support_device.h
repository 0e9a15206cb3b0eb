#pragma once
// A device model on a fixed clock, driven command by command without a transport.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "sim/device_model.h"
#include "support_sim_client.h"

namespace kestrel::simtest {

class DeviceTest : public ::testing::Test {
 protected:
  explicit DeviceTest(const char* model = "KT-33A") : d(model) {
    d.hostClock = [this] { return clock; };
  }

  std::vector<std::string> run(uint16_t cmd, std::string_view input) {
    std::string out;
    d.execute(cmd, input, out);
    return fieldsOf(out);
  }
  int code(uint16_t cmd, std::string_view input) {
    const auto f = run(cmd, input);
    EXPECT_EQ(f.empty() ? "" : f[0], std::to_string(d.lastCode())) << "field 0 carries the code";
    return d.lastCode();
  }
  bool bit(int byte, int b) {
    uint8_t s[8];
    d.statusBytes(s);
    return (s[byte] >> b) & 1;
  }
  // VAT A 17 %, E 0 %, J disabled, K 25 %, M disabled; items 1 (10.00, A) and 2 (5.50, E, free price).
  void prepareSales() {
    ASSERT_EQ(code(83, "17.00\t0.00\t100.00\t25\t100.00\t"), 0);
    ASSERT_EQ(code(107, "P\t1\t1\t1\t1\t0\t10.00\t\t100.000\t\t\t\t\tBread\t"), 0);
    ASSERT_EQ(code(107, "P\t2\t2\t2\t3\t1\t5.50\t\t0\t\t\t\t\tMilk\t"), 0);
  }
  std::string pw() const { return d.model().operatorPassword; }
  int openReceipt(int op = 1) { return code(48, std::to_string(op) + "\t" + pw() + "\t1234567890123456\t1\t"); }

  sim::DeviceTime clock = sim::makeTime(2025, 7, 1, 10, 0, 0);
  sim::DeviceModel d;
};

}  // namespace kestrel::simtest
