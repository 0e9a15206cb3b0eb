// Every command of the device against malformed input: always an answer with a
// numeric code in field 0, never a crash, and the device keeps working afterwards.
#include <gtest/gtest.h>

#include "support_device.h"

using namespace kestrel::sim;
using namespace kestrel::simtest;

namespace {

class Hostile : public DeviceTest {};

TEST_F(Hostile, EveryCommandAnswersMalformedInputWithACode) {
  const uint16_t commands[] = {38, 39, 42, 43, 48, 52, 53, 56, 58, 61, 62, 69, 70, 71, 72, 74, 76, 83, 90, 91,
                               94, 95, 96, 98, 101, 105, 107, 111, 112, 124, 125, 129, 140, 144, 202, 253, 255, 999};
  const std::string huge(70000, '9');
  const std::string inputs[] = {"", "\t", "\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t", "X", "-", "+", ".", "-.5\t-0\t",
                                "99999999999999999999\t-99999999999999999999\t", "2147483648\t-2147483649\t",
                                "R\t-1\t", "P\t0\t", "D\tA", "0\t\x01\x03\x05\x15\x16\t", "3\t4294967295\t",
                                "A\t1\t1e10\t", "P\t1\t1\t1\t1\t1\t1.999\t", "1\t1.0000001\t", huge,
                                "Header\t-1\t\t", "Header\t99999999999\t\t", "valVat\t0\t-1\t", "START\t",
                                "5\t01-01-25 00:00:00\t", "1\t"};
  for (uint16_t cmd : commands) {
    for (const std::string& in : inputs) {
      SCOPED_TRACE(std::to_string(cmd) + " <" + in.substr(0, 40) + ">");
      std::string out;
      d.execute(cmd, in, out);
      if (cmd == 90 && in.find('\t') == std::string::npos) continue;  // the comma form has no code
      const auto f = fieldsOf(out);
      ASSERT_FALSE(f.empty());
      EXPECT_EQ(f[0], std::to_string(d.lastCode()));
      uint8_t s[8];
      d.statusBytes(s);
      for (uint8_t b : s) EXPECT_TRUE(b & 0x80);
    }
  }
  // Still a working device, and its state still saves and loads.
  EXPECT_EQ(code(74, ""), 0);
  DeviceModel copy;
  std::string error;
  EXPECT_TRUE(copy.deserialize(d.serialize(), error)) << error;
}

}  // namespace
