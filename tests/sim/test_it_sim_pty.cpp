// The simulator over a real pseudo-terminal: the printed path and the symlink, clients
// that come and go, and a client that never reads.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "sim/simulator.h"
#include "support_sim_client.h"

using namespace kestrel::sim;
using namespace kestrel::simtest;
namespace fs = std::filesystem;

namespace {

TEST(SimPty, ServesThroughTheLinkAndAgainAfterTheClientReopens) {
  const fs::path link = fs::temp_directory_path() / ("kestrel-sim-pty-" + std::to_string(::getpid()));
  fs::remove(link);
  SimulatorOptions o;
  o.tcp = false;
  o.pty = true;
  o.ptyLink = link.string();
  o.model = "KT-44B";
  o.frameTimeoutMs = 150;
  {
    Simulator sim(o);
    std::string error;
    ASSERT_TRUE(sim.start(error)) << error;
    ASSERT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link).string(), sim.ptyPath());
    EXPECT_EQ(sim.port(), 0) << "no TCP server was asked for";
    {
      auto c = RawClient::terminal(link.string());
      const Answer a = c->call(90, "#\t");
      ASSERT_TRUE(a.valid);
      EXPECT_EQ(a.fields()[3], "KT-44B");
      // A frame cut short on the line is answered with NAK.
      c->sendRaw(c->frame(62, "", 0x30).substr(0, 6));
      EXPECT_TRUE(c->readAnswer(2000).nak);
      ASSERT_EQ(c->call(255, "Header\t0\tOver the line\t").code(), 0);
    }
    {
      auto c = RawClient::terminal(sim.ptyPath());
      EXPECT_EQ(c->call(255, "Header\t0\t\t").fields()[1], "Over the line");
    }
    // A client that sends and never reads does not block the line for the next one.
    {
      auto c = RawClient::terminal(sim.ptyPath());
      for (int i = 0; i < 300; ++i) c->sendRaw(c->frame(90, "#\t", static_cast<uint8_t>(0x20 + i % 200)));
    }
    auto c = RawClient::terminal(sim.ptyPath());
    EXPECT_TRUE(c->call(74, "", 6000).valid);
    sim.stop();
  }
  EXPECT_FALSE(fs::exists(fs::symlink_status(link))) << "the link goes with the simulator";
}

TEST(SimPty, Type1FramesOverTheTerminal) {
  SimulatorOptions o;
  o.tcp = false;
  o.pty = true;
  o.protocol = LinkProtocol::Type1;
  Simulator sim(o);
  std::string error;
  ASSERT_TRUE(sim.start(error)) << error;
  auto c = RawClient::terminal(sim.ptyPath());
  c->protocol = LinkProtocol::Type1;
  const Answer a = c->call(90, "#");
  ASSERT_TRUE(a.valid);
  EXPECT_EQ(a.data, "FP,BA,KT-33A,01,1.04,1.04,1.04,,2.0,1.1");
  EXPECT_EQ(c->call(62, "").fields().size(), 2u);
}

}  // namespace
