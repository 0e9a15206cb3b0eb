// The TCP transport on Winsock against the Linux simulator on loopback (windows.sh
// starts it; KESTREL_TEST_TCP_PORT holds its port): a whole command, and a refused
// connect with the same text as on Linux.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "engine/tcpip_connector.h"
#include "util/engine_parts.h"

namespace kestrel {
namespace {

class WinsockTcp : public ::testing::Test, protected test::EngineParts {
 protected:
  void SetUp() override {
    const char* v = std::getenv("KESTREL_TEST_TCP_PORT");
    port = v ? std::atoi(v) : 0;
    ASSERT_GT(port, 0) << "KESTREL_TEST_TCP_PORT names no port: run these tests through scripts/windows.sh";
    engine.dd()->LowLevel().set_ProtocolType(protocol_Type2);  // the simulator's frames
    engine.dd()->CodePage = 1250;
    engine.set_CommunicationType(ct_TCPIP);
    tcp().set_Address("127.0.0.1");
  }
  TTCPIPConnector& tcp() { return *engine.TCPIP(); }
  int port = 0;
};

TEST_F(WinsockTcp, CommandOverLoopbackAndCleanClose) {
  tcp().set_port(static_cast<uint16_t>(port));
  ASSERT_EQ(tcp().openConnection(), 0) << tcp().lastOpenError();
  EXPECT_TRUE(tcp().Active());
  std::string out;
  ASSERT_TRUE(engine.customCommand(90, "", out)) << ec.LastErrorMessage();
  EXPECT_FALSE(out.empty());
  EXPECT_EQ(tcp().closeConnection(), 0);
  EXPECT_FALSE(tcp().Active());
}

TEST_F(WinsockTcp, RefusedConnectSaysSoAsOnLinux) {
  tcp().set_port(1);  // a privileged port nothing on this machine serves
  tcp().connectTimeoutMs = 3000;
  EXPECT_EQ(tcp().openConnection(), codes::TCP_CONNECT);
  EXPECT_EQ(tcp().lastOpenError(), "127.0.0.1:1: Connection refused");
  EXPECT_FALSE(tcp().Active());
}

}  // namespace
}  // namespace kestrel
