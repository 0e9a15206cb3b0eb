// The TCP/IP transport against a real loopback listener (the scripted peer).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <utility>
#include <thread>

#include "engine/fiscal_device.h"
#include "engine/tcpip_connector.h"
#include "support/err_container.h"
#include "support/fd_misc.h"
#include "util/closed_port.h"
#include "util/engine_parts.h"
#include "util/scripted_peer.h"

namespace kestrel {
namespace {

using test::ScriptedPeer;
using Clock = std::chrono::steady_clock;
using test::msSince;

using test::closedPort;

class TcpTransport : public ::testing::Test, protected test::EngineParts {
 protected:
  TTCPIPConnector& conn() { return *engine.TCPIP(); }
  void connectTo(const ScriptedPeer& peer) {
    conn().set_port(peer.port());
    ASSERT_EQ(conn().openConnection(), 0) << conn().lastOpenError();
    ASSERT_TRUE(conn().Active());
  }
};

TEST_F(TcpTransport, OpenCloseReopenTakesAddressAndPortOnlyWhileClosed) {
  auto peer = ScriptedPeer::tcp({});
  connectTo(*peer);
  EXPECT_EQ(conn().openConnection(), 0);  // already connected: no second connection

  conn().set_Address("127.0.0.2");
  conn().set_port(1);
  EXPECT_EQ(conn().Address(), "127.0.0.1");
  EXPECT_EQ(conn().port(), peer->port());

  EXPECT_EQ(conn().closeConnection(), 0);
  EXPECT_FALSE(conn().Active());
  ec.set_LastErrorCode(-1);
  EXPECT_EQ(conn().closeConnection(), -1);
  EXPECT_EQ(ec.LastErrorCode(), 0);

  conn().set_port(1);
  EXPECT_EQ(conn().port(), 1);
  connectTo(*peer);
  for (int i = 0; i < 100 && peer->connections() < 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(peer->connections(), 2);
}

TEST_F(TcpTransport, MovesBytesBothWaysAndTracesThemAsHex) {
  auto peer = ScriptedPeer::tcp({test::expectBytes(3), test::sendBytes(std::string("\x01\x16\xFF", 3))});
  connectTo(*peer);
  conn().Sniffer()->Active = true;

  const uint8_t out[] = {'A', 'B', 0x0C};
  EXPECT_EQ(conn().writeBuffer(out, 3), 3u);
  std::string got;
  for (int i = 0; i < 3; ++i) {
    uint8_t b = 0;
    uint32_t n = 0;
    ASSERT_TRUE(conn().readByte(b, n));
    EXPECT_EQ(n, 1u);
    got += static_cast<char>(b);
  }
  EXPECT_EQ(got, std::string("\x01\x16\xFF", 3));
  EXPECT_EQ(ec.LastErrorCode(), 0);
  EXPECT_EQ(peer->received(), "AB\x0C");
  EXPECT_EQ(conn().Sniffer()->values.cHEX.toDeviceValue, "41 42 0C ");
  EXPECT_EQ(conn().Sniffer()->values.cHEX.fromDeviceValue, "01 16 FF ");
  EXPECT_TRUE(peer->waitDone());
}

TEST_F(TcpTransport, ReadsAStreamOfSynThenAnAnswerMadeFromTheRequest) {
  // The request's sequence byte comes back after the SYN bytes, as a device would do.
  auto peer = ScriptedPeer::tcp({test::expectFrame(), test::sendSyn(50, 300),
                                 test::sendComputed([](const std::string& f) { return f.substr(5, 1); })});
  connectTo(*peer);
  const std::string request("\x01\x30\x30\x32\x3A\x20\x30\x30\x34\x3A\x05\x30\x31\x3B\x3F\x03");
  ASSERT_EQ(conn().writeBuffer(reinterpret_cast<const uint8_t*>(request.data()), 16), 16u);
  int syn = 0;
  uint8_t b = 0;
  uint32_t n = 0;
  while (conn().readByte(b, n) && b == 0x16) ++syn;
  EXPECT_EQ(b, 0x20);
  EXPECT_GE(syn, 3);
  EXPECT_TRUE(peer->waitDone());
  EXPECT_EQ(peer->frames(), std::vector<std::string>{request});
}

TEST_F(TcpTransport, ReadOfOneByteOnASilentConnectionGivesUp) {
  auto peer = ScriptedPeer::tcp({});
  connectTo(*peer);
  uint8_t b = 0;
  uint32_t n = 7;
  const auto t0 = Clock::now();
  EXPECT_FALSE(conn().readByte(b, n));
  const int64_t took = msSince(t0);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(ec.LastErrorCode(), codes::IO);
  EXPECT_LT(took, 3000);  // one read waits 1 s
  EXPECT_TRUE(conn().Active());  // silence is not a broken connection

  ec.RaiseMode = true;
  try {
    conn().readByte(b, n);
    FAIL() << "no exception";
  } catch (const EConnectorError& e) {
    EXPECT_EQ(e.code(), codes::IO);
    EXPECT_EQ(e.what(), ec.LastErrorMessage());
  }
}

TEST_F(TcpTransport, BytesSentBeforeThePeerDroppedAreReadThenActiveTurnsFalse) {
  auto peer = ScriptedPeer::tcp({test::sendBytes("AB"), test::closeConnection()});
  connectTo(*peer);
  ASSERT_TRUE(peer->waitDone());
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(conn().Active());  // the last bytes still wait
  EXPECT_EQ(conn().readByte(), 'A');
  EXPECT_EQ(conn().readByte(), 'B');

  uint8_t b;
  uint32_t n;
  const auto t0 = Clock::now();
  EXPECT_FALSE(conn().readByte(b, n));
  EXPECT_LT(msSince(t0), 900);  // a closed connection is not waited for
  EXPECT_EQ(ec.LastErrorCode(), codes::IO);
  EXPECT_FALSE(conn().Active());
  EXPECT_TRUE(conn().linkLost());
  EXPECT_EQ(conn().closeConnection(), -1);
}

TEST_F(TcpTransport, ActiveIsFalseAfterTheDropEvenBeforeAnyRead) {
  // The peer hangs up only once it has a byte: hanging up at once could beat the
  // connect's own check and fail the open instead.
  auto peer = ScriptedPeer::tcp({test::expectBytes(1), test::closeConnection()});
  connectTo(*peer);
  const uint8_t go = '!';
  ASSERT_EQ(conn().writeBuffer(&go, 1), 1u);
  ASSERT_TRUE(peer->waitDone());
  bool active = true;
  for (int i = 0; i < 100 && active; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    active = conn().Active();
  }
  EXPECT_FALSE(active);
  EXPECT_TRUE(conn().linkLost());
  // Writing to the dropped connection neither kills the process (SIGPIPE) nor succeeds.
  const uint8_t out[] = {1, 2, 3};
  EXPECT_EQ(conn().writeBuffer(out, 3), 0u);
  // And it can be opened again, to a device that is listening; that ends the loss.
  auto second = ScriptedPeer::tcp({});
  connectTo(*second);
  EXPECT_FALSE(conn().linkLost());
}

TEST_F(TcpTransport, ClearIOBuffersDropsBufferedAndWaitingBytes) {
  auto peer = ScriptedPeer::tcp({test::sendBytes("xyz"), test::expectBytes(1), test::sendBytes("late")});
  connectTo(*peer);
  EXPECT_EQ(conn().readByte(), 'x');  // "yz" now wait in the transport's own buffer
  EXPECT_EQ(conn().clearIOBuffers(), 0);
  const uint8_t go = '!';
  ASSERT_EQ(conn().writeBuffer(&go, 1), 1u);
  ASSERT_TRUE(peer->waitDone());
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // "late" waits in the socket
  EXPECT_EQ(conn().clearIOBuffers(), 0);
  EXPECT_FALSE(conn().check_Readable());
  uint8_t b;
  uint32_t n;
  EXPECT_FALSE(conn().readByte(b, n));
}

TEST_F(TcpTransport, CheckReadableAndReadBuffer) {
  auto peer = ScriptedPeer::tcp({test::silence(200), test::sendSlowly("hello", 20)});
  connectTo(*peer);
  EXPECT_TRUE(conn().check_Readable());
  uint8_t buf[5] = {};
  EXPECT_EQ(conn().readBuffer(buf, 5), 5u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 5), "hello");
  EXPECT_EQ(ec.LastErrorCode(), 0);
  EXPECT_EQ(conn().readBuffer(buf, 1), 0u);
  EXPECT_EQ(ec.LastErrorCode(), codes::IO);
}

// The guard every test run sets (KESTREL_LOOPBACK_ONLY): which addresses a connect may
// try. Texts are only parsed here, nothing is opened or looked up; a connect tries
// nothing but this list (a loopback connect under the guard: the closed-port case).
TEST(LoopbackGuard, OnlyLoopbackAddressesAreEverTargets) {
  const std::pair<const char*, bool> cases[] = {
      {"127.0.0.1", true}, {"127.255.255.254", true}, {"::1", true}, {"::ffff:127.0.0.2", true},
      {"126.255.255.255", false}, {"128.0.0.1", false}, {"0.0.0.0", false}, {"::", false},
      {"::ffff:128.0.0.1", false}, {"::2", false}, {"localhost", false}, {"fiscal-printer", false},
  };
  for (const auto& [text, loopback] : cases) {
    std::string cause;
    const auto targets = connectTargets(text, 4999, true, cause);
    if (!loopback) {
      EXPECT_TRUE(targets.empty()) << text;
      EXPECT_EQ(cause, "not a numeric loopback address, and KESTREL_LOOPBACK_ONLY is set") << text;
      continue;
    }
    ASSERT_FALSE(targets.empty()) << text << ": " << cause;
    for (const TConnectTarget& t : targets) {
      const auto& a = reinterpret_cast<const sockaddr&>(t.address);
      const uint16_t port = a.sa_family == AF_INET ? reinterpret_cast<const sockaddr_in&>(a).sin_port
                                                   : reinterpret_cast<const sockaddr_in6&>(a).sin6_port;
      EXPECT_EQ(ntohs(port), 4999) << text;
    }
  }
}

TEST_F(TcpTransport, ConnectToAClosedPortFailsQuicklyWithTheCause) {
  conn().set_port(closedPort());
  const auto t0 = Clock::now();
  EXPECT_EQ(conn().openConnection(), codes::TCP_CONNECT);
  EXPECT_LT(msSince(t0), 2000);
  EXPECT_EQ(ec.LastErrorCode(), codes::TCP_CONNECT);
  EXPECT_NE(conn().lastOpenError().find("refused"), std::string::npos) << conn().lastOpenError();
  EXPECT_FALSE(conn().Active());

  ec.RaiseMode = true;
  try {
    conn().openConnection();
    FAIL() << "no exception";
  } catch (const EConnectorError& e) {
    EXPECT_EQ(e.code(), codes::TCP_CONNECT);
    EXPECT_EQ(e.what(), ec.LastErrorMessage());
  }
}

// A loopback listener that never accepts, its queue full: further handshakes get no
// answer at all, as with an address where nobody is.
class UnansweredListener {
 public:
  UnansweredListener() {
    fListener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(fListener, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fListener, 0);
    ::getsockname(fListener, reinterpret_cast<sockaddr*>(&a), &len);
    fPort = ntohs(a.sin_port);
    for (int i = 0; i < 4; ++i) {
      fFillers.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
      ::connect(fFillers.back(), reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ~UnansweredListener() {
    for (int fd : fFillers) ::close(fd);
    ::close(fListener);
  }
  uint16_t port() const { return fPort; }

 private:
  int fListener = -1;
  uint16_t fPort = 0;
  std::vector<int> fFillers;
};

TEST_F(TcpTransport, AConnectNobodyAnswersIsGivenUpWithinTheConnectLimit) {
  UnansweredListener nobody;
  conn().set_port(nobody.port());
  conn().connectTimeoutMs = 700;
  const auto t0 = Clock::now();
  EXPECT_EQ(conn().openConnection(), codes::TCP_CONNECT);
  EXPECT_LT(msSince(t0), 3000);
  EXPECT_NE(conn().lastOpenError().find("no answer within 700 ms"), std::string::npos) << conn().lastOpenError();
}

TEST_F(TcpTransport, AConnectRunsTheIdleHookAndEndsOnCancel) {
  UnansweredListener nobody;
  conn().set_port(nobody.port());
  conn().connectTimeoutMs = 10000;
  std::vector<TWaitState> states;
  engine.OnIdle = [&](const TWaitState& s) {
    states.push_back(s);
    if (states.size() == 3) engine.cancelWait();
  };
  const auto t0 = Clock::now();
  EXPECT_EQ(conn().openConnection(), CODE_CANCELLED);
  EXPECT_LT(msSince(t0), 5000);  // the connect's own limit is 10 s
  EXPECT_EQ(ec.LastErrorMessage(), "Cancelled by the user.");
  EXPECT_FALSE(conn().Active());
  EXPECT_NE(conn().lastOpenError().find("cancelled by the user"), std::string::npos) << conn().lastOpenError();
  ASSERT_EQ(states.size(), 3u);
  for (const TWaitState& s : states) {
    EXPECT_EQ(s.command, 0) << "no command runs while a connection is made";
    EXPECT_EQ(s.target, "127.0.0.1:" + std::to_string(nobody.port()));
    EXPECT_EQ(s.limitMs, 10000u);
  }
  // A cancel pending from before does not stop the next connect.
  engine.OnIdle = nullptr;
  engine.cancelWait();
  auto peer = ScriptedPeer::tcp({});
  connectTo(*peer);
}

TEST_F(TcpTransport, OperationsWithoutAConnection) {
  uint8_t b;
  uint32_t n;
  EXPECT_FALSE(conn().readByte(b, n));
  EXPECT_EQ(ec.LastErrorCode(), codes::GENERAL);
  const uint8_t out[] = {1};
  EXPECT_EQ(conn().writeBuffer(out, 1), 0u);
  EXPECT_FALSE(conn().writeByte(1));

  ec.RaiseMode = true;
  try {
    conn().writeBuffer(out, 1);
    FAIL() << "no exception";
  } catch (const EConnectorError& e) {
    EXPECT_STREQ(e.what(), "TTCPIPConnector.writeBuffer: not connected");
  }
}

TEST(TcpTransportComponents, WithoutTheEnginesComponentsOperationsGiveMinusOne) {
  TTCPIPConnector alone(nullptr);
  EXPECT_EQ(alone.openConnection(), codes::GENERAL);
  EXPECT_EQ(alone.clearIOBuffers(), codes::GENERAL);
  uint8_t b;
  uint32_t n;
  EXPECT_FALSE(alone.readByte(b, n));
  const uint8_t out[] = {1};
  EXPECT_EQ(alone.writeBuffer(out, 1), 0u);

  TErrContainer ec;
  ec.RaiseMode = false;
  TFiscalDevice engine;  // container but no helper component
  engine.set_errContainer(&ec);
  EXPECT_EQ(engine.TCPIP()->openConnection(), codes::GENERAL);
  EXPECT_EQ(ec.LastErrorCode(), codes::GENERAL);
}

TEST_F(TcpTransport, DiagnosticReadAfterConnectOnASilentDeviceGivesMinusThreeAndStaysConnected) {
  auto peer = ScriptedPeer::tcp({test::expectFrame()});
  engine.set_CommunicationType(ct_TCPIP);
  engine.repeatCount = 1;
  engine.dd()->LowLevel().set_ProtocolType(protocol_Type2);
  engine.dd()->i90().getAfterConnect = true;
  conn().exitByTimeValue = 500;
  conn().set_port(peer->port());
  // The device is given its pause first: the idle hook shows it before the first command.
  std::vector<TWaitState> states;
  engine.OnIdle = [&](const TWaitState& s) { states.push_back(s); };
  EXPECT_EQ(conn().openConnection(), codes::NOT_OPEN);
  ASSERT_FALSE(states.empty());
  EXPECT_EQ(states.front().command, 0);
  EXPECT_EQ(states.front().limitMs, TTCPIPConnector::DIAGNOSTIC_PAUSE_MS);
  EXPECT_EQ(states.back().command, 74);
  EXPECT_EQ(ec.LastErrorCode(), codes::NOT_OPEN);
  EXPECT_TRUE(conn().Active());
  ASSERT_TRUE(peer->waitDone());
  // The first command of a fresh engine: 74, sequence 20h.
  EXPECT_EQ(peer->frames().at(0), std::string("\x01\x30\x30\x32\x3A\x20\x30\x30\x34\x3A\x05\x30\x31\x3B\x3F\x03"));
}

}  // namespace
}  // namespace kestrel
