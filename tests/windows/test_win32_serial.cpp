// The Win32 serial transport on a COM port whose other end is the simulator on a
// pseudo-terminal (Wine maps the port to the pty): open errors, the read time limit,
// purging, a whole command.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/rs232_connector.h"
#include "util/engine_parts.h"

namespace kestrel {
namespace {

using Clock = std::chrono::steady_clock;
using test::msSince;

// The port windows.sh mapped to the simulator's pty; 0 when none is.
int simulatorPort() {
  const char* v = std::getenv("KESTREL_TEST_COM");
  return v ? std::atoi(v) : 0;
}

class Win32Serial : public ::testing::Test, protected test::EngineParts {
 protected:
  void SetUp() override {
    port = simulatorPort();
    ASSERT_GT(port, 0) << "KESTREL_TEST_COM names no COM port: run these tests through scripts/windows.sh";
    engine.dd()->LowLevel().set_ProtocolType(protocol_Type2);  // the simulator's frames
    engine.dd()->CodePage = 1250;
    engine.set_CommunicationType(ct_RS232);
    conn().port = port;
  }
  TRS232Connector& conn() { return *engine.RS232(); }
  int port = 0;
};

TEST(Win32SerialPath, PortNumberMapsToTheComDevice) {
  TRS232Connector c(nullptr);
  c.port = 3;
  EXPECT_EQ(c.devicePath(), "\\\\.\\COM3");
  c.port = 12;
  EXPECT_EQ(c.devicePath(), "\\\\.\\COM12");
  c.portName = "\\\\.\\COM7";
  EXPECT_EQ(c.devicePath(), "\\\\.\\COM7");
}

// A port that another program holds is refused by Windows itself (no sharing); Wine
// does not refuse a second open of a COM device, so that case is not shown here.
TEST_F(Win32Serial, MissingPortFailsWithItsOwnTextAndTheMappedPortOpens) {
  TRS232Connector& c = conn();
  c.port = 199;  // no such device
  EXPECT_EQ(c.openConnection(), codes::NOT_OPEN);
  EXPECT_EQ(c.lastOpenError(), "\\\\.\\COM199: the port does not exist");
  EXPECT_FALSE(c.Active());

  c.port = port;
  ASSERT_EQ(c.openConnection(), 0) << c.lastOpenError();
  EXPECT_TRUE(c.Active());
  EXPECT_EQ(c.set_DTRState(true), 0) << "a pty has no modem lines; Wine's answer: " << ec.LastErrorMessage();
  EXPECT_EQ(c.closeConnection(), 0);
  EXPECT_FALSE(c.Active());
}

TEST_F(Win32Serial, SilentLineEndsTheReadAtItsTimeLimit) {
  ASSERT_EQ(conn().openConnection(), 0) << conn().lastOpenError();
  ASSERT_EQ(conn().set_TimeoutValues(0, 0, 300, 3000, 3000), 0);
  uint8_t b = 0;
  uint32_t n = 0;
  const auto t0 = Clock::now();
  EXPECT_FALSE(conn().readByte(b, n));  // the simulator says nothing unasked
  const int64_t took = msSince(t0);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(ec.LastErrorCode(), codes::IO);
  EXPECT_GE(took, 250);
  EXPECT_LT(took, 5000);
}

TEST_F(Win32Serial, CommandAnswersAndPurgeDropsAnAnswerNotYetRead) {
  std::string out;
  ASSERT_EQ(conn().openConnection(), 0) << conn().lastOpenError();
  // The trace keeps the bytes of the request as hex: sent again by hand below.
  conn().Sniffer()->values.cHEX.toDeviceValue.clear();
  conn().Sniffer()->Active = true;
  ASSERT_TRUE(engine.customCommand(90, "", out)) << ec.LastErrorMessage();
  conn().Sniffer()->Active = false;
  EXPECT_FALSE(out.empty());
  std::vector<uint8_t> request;
  std::istringstream hex(conn().Sniffer()->values.cHEX.toDeviceValue);
  for (std::string byte; hex >> byte;) request.push_back(static_cast<uint8_t>(std::stoi(byte, nullptr, 16)));
  ASSERT_FALSE(request.empty());

  // The answer to the repeated request starts to arrive; the purge drops what is left of
  // it (in our buffer and the driver's), so the line is silent after it.
  ASSERT_EQ(conn().set_TimeoutValues(0, 0, 2000, 3000, 3000), 0);
  ASSERT_EQ(conn().writeBuffer(request.data(), static_cast<uint32_t>(request.size())), request.size());
  uint8_t b = 0;
  uint32_t n = 0;
  ASSERT_TRUE(conn().readByte(b, n));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // lets the rest of the answer come in
  ASSERT_EQ(conn().clearIOBuffers(), 0);
  ASSERT_EQ(conn().set_TimeoutValues(0, 0, 300, 3000, 3000), 0);
  EXPECT_FALSE(conn().readByte(b, n));
  EXPECT_TRUE(engine.customCommand(90, "", out)) << "the link works after the purge: " << ec.LastErrorMessage();
}

}  // namespace
}  // namespace kestrel
