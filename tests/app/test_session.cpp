// The device session: several at once, each on its own engine; open failures reported
// the same way whatever the transport.
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "app/logic/session.h"
#include "sim/simulator.h"
#include "util/closed_port.h"

namespace kestrel {
namespace {

std::unique_ptr<sim::Simulator> simulator(const std::string& model) {
  sim::SimulatorOptions o;
  o.tcp = true;
  o.port = 0;
  o.model = model;
  o.modelGiven = true;
  auto s = std::make_unique<sim::Simulator>(o);
  std::string error;
  if (!s->start(error)) ADD_FAILURE() << error;
  return s;
}

TLinkDescription tcpTo(uint16_t port) {
  TLinkDescription link;
  link.tcp = true;
  link.host = "127.0.0.1";
  link.tcpPort = port;
  link.byteLimitMs = 2000;
  return link;
}

TEST(DeviceSession, SessionsOnTwoDevicesRunSideBySideOnTheirOwnEngines) {
  auto printer = simulator("KT-33A");
  auto reg = simulator("KT-77B");
  TDeviceSession a, b;
  a.errContainer.RaiseMode = b.errContainer.RaiseMode = false;
  ASSERT_TRUE(a.open(tcpTo(printer->port())).ok());
  ASSERT_TRUE(b.open(tcpTo(reg->port())).ok());

  // Both identify at the same moment, each from its own thread.
  TLinkOutcome ida, idb;
  std::thread ta([&] { ida = a.identify(); });
  std::thread tb([&] { idb = b.identify(); });
  ta.join();
  tb.join();
  EXPECT_TRUE(ida.ok()) << ida.code;
  EXPECT_TRUE(idb.ok()) << idb.code;
  EXPECT_TRUE(ida.modelKnown && idb.modelKnown);
  EXPECT_EQ(ida.model, "KT-33A");
  EXPECT_EQ(idb.model, "KT-77B");

  // Closing one leaves the other at work.
  a.close();
  EXPECT_FALSE(a.connector()->Active());
  EXPECT_TRUE(b.identify().ok());
  EXPECT_EQ(b.errContainer.LastErrorCode(), 0);
}

TEST(DeviceSession, OpenFailuresGiveCodeAndCauseForEitherTransport) {
  struct Case {
    const char* what;
    TLinkDescription link;
    bool raise;
  };
  TLinkDescription tcp = tcpTo(test::closedPort());
  TLinkDescription serial;
  serial.serialPath = "/dev/kestrel-no-such-port";
  serial.byteLimitMs = serial.readLimitMs = 300;
  for (const Case& c : {Case{"tcp", tcp, false}, Case{"tcp raised", tcp, true}, Case{"serial", serial, false},
                        Case{"serial raised", serial, true}}) {
    SCOPED_TRACE(c.what);
    TDeviceSession s;
    s.errContainer.RaiseMode = c.raise;
    const TLinkOutcome o = s.open(c.link);
    EXPECT_FALSE(o.ok());
    EXPECT_FALSE(o.active);
    EXPECT_NE(o.code, 0);
    EXPECT_FALSE(o.cause.empty());
    EXPECT_EQ(o.raised, c.raise);
    EXPECT_EQ(o.connectorError, c.raise);
    EXPECT_EQ(s.errContainer.LastErrorCode(), o.code);
    if (!c.link.tcp) {
      EXPECT_NE(o.cause.find("does not exist"), std::string::npos) << o.cause;
    }
  }
}

}  // namespace
}  // namespace kestrel
