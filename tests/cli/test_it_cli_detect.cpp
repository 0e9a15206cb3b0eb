// kestrel detect against simulators on pseudo-terminals that answer only at their own
// line speed, a port another program holds, a port that does not exist, and TCP.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "support_cli.h"
#include "support_sim_server.h"

using namespace kestrel::clitest;

namespace {

SimServer ptySim(const std::string& model, int baud) {
  kestrel::sim::SimulatorOptions o;
  o.model = model;
  o.baud = baud;
  return SimServer(o, true);
}

const Json* entryFor(const Json& list, const std::string& port) {
  for (const Json& e : list.items)
    if (e["port"].text == port) return &e;
  return nullptr;
}

TEST(CliDetect, FindsEachDeviceAtItsOwnSpeedAndNamesThePortsItCannotUse) {
  SimServer slow = ptySim("KT-11A", 9600), fast = ptySim("KT-44B", 57600), held = ptySim("KT-33A", 115200);
  SimServer tcp;
  // Another program has this port open and locked.
  const int holder = ::open(held.pty().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  const std::string missing = "/dev/kestrel-no-such-port";

  const CliRun r = runCli({"detect", "--port", slow.pty(), "--port", fast.pty(), "--port", held.pty(), "--port",
                           missing, "--tcp-host", tcp.tcp(), "--timeout-ms", "300", "--json"});
  ::close(holder);
  ASSERT_EQ(r.status, 0) << r.err;
  const Json j = parseJson(r.out);
  const Json& devices = j["devices"];
  ASSERT_EQ(devices.items.size(), 3u) << r.out;
  const Json* a = entryFor(devices, slow.pty());
  const Json* b = entryFor(devices, fast.pty());
  const Json* c = entryFor(devices, "127.0.0.1");
  ASSERT_TRUE(a && b && c) << r.out;
  EXPECT_EQ(a->operator[]("baud").number, 9600);
  EXPECT_EQ(a->operator[]("model").text, "KT-11A");
  EXPECT_TRUE(a->has("serial"));
  EXPECT_EQ(b->operator[]("baud").number, 57600);
  EXPECT_EQ(b->operator[]("model").text, "KT-44B");
  EXPECT_EQ(c->operator[]("model").text, "KT-33A");

  const Json& problems = j["problems"];
  const Json* busy = entryFor(problems, held.pty());
  const Json* gone = entryFor(problems, missing);
  ASSERT_TRUE(busy && gone) << r.out;
  EXPECT_EQ(busy->operator[]("problem").text, "busy");
  EXPECT_EQ(gone->operator[]("problem").text, "missing");
}

TEST(CliDetect, NothingFoundExitsOneAndSaysWhy) {
  SimServer quiet(withFault("silence:1"), true);
  const CliRun r = runCli({"detect", "--port", quiet.pty(), "--timeout-ms", "100"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("no device found"), std::string::npos) << r.err;
  EXPECT_EQ(runCli({"detect", "--port"}).status, 2);
  EXPECT_EQ(runCli({"--sim", "detect"}).status, 2);
}

}  // namespace
