// The device state as text: everything survives a round trip, and a damaged text
// is refused without touching the device.
#include <gtest/gtest.h>

#include "sim/device_codes.h"
#include "support_device.h"

using namespace kestrel::sim;
using namespace kestrel::simtest;

namespace {

class State : public DeviceTest {
 protected:
  State() : DeviceTest("KT-66B") {}
  void SetUp() override {
    prepareSales();
    ASSERT_EQ(code(255, "Header\t1\tTab\\and \x8A special\t"), 0);
    ASSERT_EQ(code(140, "P\t7\tFirm\t4200000000001\tSecond\tStreet\tTown\t"), 0);
    ASSERT_EQ(code(91, "KT000001\t12345678\t"), 0);
    ASSERT_EQ(code(70, "0\t30\t"), 0);
    ASSERT_EQ(openReceipt(), 0);
    ASSERT_EQ(code(58, "1\t1\t\t0\t0\t"), 0);
    ASSERT_EQ(code(53, "0\t\t"), 0);
    ASSERT_EQ(code(56, ""), 0);
    ASSERT_EQ(code(69, "Z\t"), 0);
    ASSERT_EQ(code(202, "START\t"), 0);
    ASSERT_EQ(code(202, "AAEC/w==\t"), 0);
    ASSERT_EQ(code(202, "STOPP\t"), 0);
    ASSERT_EQ(code(202, "UPDATE\t"), 0);
    ASSERT_EQ(code(61, "01-08-25 12:00:00\t"), 0);
    ASSERT_EQ(openReceipt(), 0);  // left open on purpose
    ASSERT_EQ(code(58, "2\t1.5\t2\t1\t10\t"), 0);
  }
};

TEST_F(State, RoundTripKeepsEverything) {
  const std::string text = d.serialize();
  DeviceModel other("KT-11A");
  other.hostClock = d.hostClock;
  std::string error;
  ASSERT_TRUE(other.deserialize(text, error)) << error;
  EXPECT_EQ(other.model().name, "KT-66B") << "the state's model wins";
  EXPECT_EQ(other.serialize(), text);
  EXPECT_FALSE(other.dirty);
  std::string out;
  other.execute(76, "", out);
  EXPECT_EQ(fieldsOf(out)[1], "1") << "the open receipt is still open";
  other.execute(62, "", out);
  EXPECT_EQ(fieldsOf(out)[1], "01-08-25 12:00:00 DST");
  other.execute(255, "Header\t1\t\t", out);
  EXPECT_EQ(fieldsOf(out)[1], "Tab\\and \x8A special");
  other.execute(140, "F\t\t", out);
  EXPECT_EQ(fieldsOf(out)[4], "Second");
  EXPECT_EQ(other.state().journal.size(), d.state().journal.size());
  EXPECT_EQ(other.state().journal.back().lines, d.state().journal.back().lines);
  EXPECT_EQ(other.state().logo, std::string("\x00\x01\x02\xFF", 4));
}

TEST_F(State, DamagedTextIsRefusedAndChangesNothing) {
  const std::string text = d.serialize();
  const std::string before = d.serialize();
  std::string lastLineCut = text.substr(0, text.size() - 1);
  lastLineCut = lastLineCut.substr(0, lastLineCut.rfind('\n') + 1);
  std::string wrongCount = text;
  wrongCount.replace(wrongCount.rfind("end\t") + 4, 1, "9");
  std::string badNumber = text;
  badNumber.replace(badNumber.find("item\t1\t") + 7, 1, "x");
  std::string missingDocLine = text;
  const size_t line = missingDocLine.find("\nline\t");
  missingDocLine.erase(line, missingDocLine.find('\n', line + 1) - line);
  const std::pair<const char*, std::string> cases[] = {
      {"empty", ""},
      {"cut in the middle", text.substr(0, text.size() / 2)},
      {"end record missing", lastLineCut},
      {"record count wrong", wrongCount},
      {"not a number", badNumber},
      {"document line missing", missingDocLine},
      {"another file", "[SETTINGS]\nDelItemsOnZ=1\n"},
      {"data after the end", text + "item\t5\t1\t0\t1\t0\t0\t0\t0\t0\t\t\t\t\tX\n"},
  };
  for (const auto& [what, damaged] : cases) {
    SCOPED_TRACE(what);
    std::string error;
    EXPECT_FALSE(d.deserialize(damaged, error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(d.serialize(), before);
  }
}

}  // namespace
