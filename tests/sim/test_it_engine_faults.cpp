// The simulator's fault options as the engine sees them.
#include <gtest/gtest.h>

#include "support_engine.h"

using namespace kestrel;
using namespace kestrel::simtest;

namespace {

struct FaultCase {
  const char* text;
  int repeatCount;
  bool result;
  int code;
  int executed;  // how often the cash-in reached the device
};

class EngineFaults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(EngineFaults, CashInUnderFault) {
  const FaultCase& c = GetParam();
  sim::SimulatorOptions o;
  std::string error;
  ASSERT_TRUE(sim::parseFault(c.text, o.faults, error)) << error;
  // Fault counters run per connection: without the diagnostic read and the first
  // command 74, frame 1 is the command under test.
  EngineOnSim e(o, false, false);
  ASSERT_EQ(e.opened, 0);
  e.fd.firstCommand = false;
  e.fd.repeatCount = c.repeatCount;
  e.fd.TCPIP()->exitByTimeValue = 300;
  EXPECT_EQ(e.cmd(70, "0\t10.00\t"), c.result);
  EXPECT_EQ(e.code(), c.code);
  const int64_t cash = e.device([](sim::DeviceModel& d) { return d.state().cash; });
  EXPECT_EQ(cash, c.executed * 10 * sim::FIXED_ONE);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, EngineFaults,
    ::testing::Values(
        // A rejected answer makes the engine send the same frame again; the device
        // answers it again without booking the cash twice. NAK at every attempt and no
        // valid answer have codes of their own, a missing answer is a timeout (-6).
        FaultCase{"nak:1", 2, false, CODE_FRAME_REFUSED, 0},
        FaultCase{"checksum:1", 1, false, CODE_NO_VALID_ANSWER, 1},
        FaultCase{"checksum:1", 3, false, CODE_NO_VALID_ANSWER, 1},
        FaultCase{"seq:1", 1, false, CODE_NO_VALID_ANSWER, 1},
        FaultCase{"garbage:1", 1, true, 0, 1}, FaultCase{"drop:1", 1, false, -6, 1},
        FaultCase{"silence:1", 2, false, -6, 0}, FaultCase{"slow:700", 1, true, 0, 1},
        FaultCase{"status:4.4", 2, false, 0, 1}, FaultCase{"status:2.1", 1, true, 0, 1}),
    [](const auto& info) {
      std::string n = info.param.text;
      for (char& ch : n)
        if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return n + "_x" + std::to_string(info.param.repeatCount);
    });

TEST(EngineFaultsRetry, EveryOtherFrameRefusedSucceedsOnTheSecondAttempt) {
  sim::SimulatorOptions o;
  std::string error;
  ASSERT_TRUE(sim::parseFault("nak:2", o.faults, error));
  EngineOnSim e(o, false, false);
  e.fd.firstCommand = false;
  e.fd.repeatCount = 2;
  // Frames 1 and 3 are answered, 2 and 4 refused: each command needs its second attempt
  // at most once.
  EXPECT_TRUE(e.cmd(70, "0\t10.00\t"));
  EXPECT_TRUE(e.cmd(70, "0\t5.00\t"));
  EXPECT_EQ(e.device([](sim::DeviceModel& d) { return d.state().cash; }), 15 * sim::FIXED_ONE);
}

TEST(EngineFaultsRetry, ConnectionCutMidAnswerFailsTheCommand) {
  sim::SimulatorOptions o;
  std::string error;
  ASSERT_TRUE(sim::parseFault("cut:1", o.faults, error));
  EngineOnSim e(o, false, false);
  e.fd.firstCommand = false;
  e.fd.repeatCount = 1;
  e.fd.TCPIP()->exitByTimeValue = 300;
  EXPECT_FALSE(e.cmd(74));
  EXPECT_EQ(e.code(), CODE_CONNECTION_LOST);
  EXPECT_EQ(e.err.LastErrorMessage(), "Connection lost: " + e.fd.TCPIP()->target());
  EXPECT_TRUE(e.fd.connectionLost());
  // The next command is not sent on the lost link and says the same, not "Open error".
  EXPECT_FALSE(e.cmd(74));
  EXPECT_EQ(e.code(), CODE_CONNECTION_LOST);
  // A new connection clears the loss.
  ASSERT_EQ(e.fd.TCPIP()->openConnection(), 0);
  EXPECT_FALSE(e.fd.connectionLost());
}

}  // namespace
