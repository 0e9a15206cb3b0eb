// The simulator over real loopback TCP with a raw frame client: answers, bad input,
// one client at a time, repeated frames, faults, line pacing, state file and log.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/frame_codec.h"
#include "sim/simulator.h"
#include "support_sim_client.h"

using namespace kestrel::sim;
using namespace kestrel::simtest;
namespace fs = std::filesystem;

namespace {

SimulatorOptions quickOptions() {
  SimulatorOptions o;
  o.port = 0;
  o.frameTimeoutMs = 150;
  return o;
}

struct Running {
  explicit Running(SimulatorOptions o = quickOptions()) : sim(std::move(o)) {
    std::string error;
    if (!sim.start(error)) throw std::runtime_error(error);
  }
  std::unique_ptr<RawClient> client() { return RawClient::tcp(sim.port()); }
  Simulator sim;
};

fs::path tempDir() {
  fs::path p = fs::temp_directory_path() / ("kestrel-sim-test-" + std::to_string(::getpid()));
  fs::create_directories(p);
  return p;
}

std::string readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(SimTcp, AnswersWithSequenceCommandFieldsAndStatus) {
  Running r;
  auto c = r.client();
  c->seq = 0xFF;
  const Answer a = c->call(90, "#\t");
  ASSERT_TRUE(a.valid);
  EXPECT_EQ(a.seq, 0xFF);
  EXPECT_EQ(a.cmd, 90);
  EXPECT_EQ(a.fields()[3], "KT-33A");
  for (uint8_t s : a.status) EXPECT_TRUE(s & 0x80);
  const Answer b = c->call(255, "Header\t0\t\t");
  EXPECT_EQ(b.seq, 0x20) << "the client's sequence wrapped from FFh to 20h";
  EXPECT_EQ(b.fields(), (std::vector<std::string>{"0", "KESTREL TEST DEVICE"}));
}

TEST(SimTcp, BadInputIsAnsweredWithNakOrSkipped) {
  Running r;
  auto c = r.client();
  // Noise alone gets no answer; the frame after it is served.
  c->sendRaw(std::string("\x7F\x33 hello \x02\x03", 11));
  Answer a = c->call(74, "");
  EXPECT_TRUE(a.valid);
  EXPECT_EQ(a.noise, 0);
  // A corrupted checksum: NAK, and the device stays usable.
  std::string bad = c->frame(74, "", 0x40);
  bad[bad.size() - 2] ^= 1;
  c->sendRaw(bad);
  EXPECT_TRUE(c->readAnswer(1000).nak);
  EXPECT_TRUE(c->call(74, "").valid);
  // A frame that stops in the middle is answered with NAK once its bytes stop coming.
  const std::string cut = c->frame(62, "", 0x41);
  c->sendRaw(cut.substr(0, 8));
  EXPECT_TRUE(c->readAnswer(2000).nak);
  EXPECT_TRUE(c->call(62, "").valid);
  // A length that announces far more bytes than come.
  c->sendRaw(std::string("\x01\x3F\x3F\x3F\x3F", 5) + "short");
  EXPECT_TRUE(c->readAnswer(2000).nak);
  EXPECT_TRUE(c->call(74, "").valid);
}

TEST(SimTcp, NextClientIsServedAfterADisconnectMidFrame) {
  Running r;
  auto first = r.client();
  ASSERT_TRUE(first->call(74, "").valid);
  auto second = r.client();  // waits while the first is connected
  second->sendRaw(second->frame(74, "", 0x20));
  EXPECT_TRUE(second->readAnswer(300).timedOut);
  first->sendRaw(first->frame(107, "P\t1\t1\t0\t1\t0\t1.00", 0x21).substr(0, 20));
  first->close();
  const Answer a = second->readAnswer(3000);
  ASSERT_TRUE(a.valid) << "the waiting client's frame is answered after the first one left";
  EXPECT_EQ(a.cmd, 74);
  EXPECT_EQ(second->call(107, "R\t1\t").code(), -111004) << "the half frame did nothing";
}

TEST(SimTcp, RepeatedFrameIsAnsweredAgainWithoutExecutingTwice) {
  Running r;
  auto c = r.client();
  ASSERT_EQ(c->call(107, "P\t1\t1\t0\t1\t0\t1.00\t\t10\t\t\t\t\tX\t").code(), 0);
  const std::string add = c->frame(107, "A\t1\t1\t", c->seq);
  c->sendRaw(add);
  const Answer first = c->readAnswer();
  c->sendRaw(add);
  const Answer again = c->readAnswer();
  EXPECT_EQ(first.data, again.data);
  EXPECT_EQ(again.fields()[1], "11.000");
  c->seq = kestrel::frame::nextSequence(c->seq, true);
  EXPECT_EQ(c->call(107, "A\t1\t1\t").fields()[1], "12.000") << "a new sequence number executes again";
}

TEST(SimTcp, FaultsAsTheClientSeesThem) {
  struct Case {
    const char* text;
    std::function<void(RawClient&, Simulator&)> check;
  };
  const Case cases[] = {
      {"nak:2",
       [](RawClient& c, Simulator&) {
         EXPECT_TRUE(c.call(74, "").valid);
         EXPECT_TRUE(c.call(74, "").nak);
         EXPECT_TRUE(c.call(74, "").valid);
       }},
      {"checksum:1",
       [](RawClient& c, Simulator&) {
         const Answer a = c.call(74, "");
         EXPECT_FALSE(a.timedOut);
         EXPECT_FALSE(a.valid);
       }},
      {"seq:1",
       [](RawClient& c, Simulator&) {
         const Answer a = c.call(74, "");
         EXPECT_TRUE(a.valid);
         EXPECT_EQ(a.seq, 0x21);
       }},
      {"drop:1",
       [](RawClient& c, Simulator& s) {
         EXPECT_TRUE(c.call(107, "P\t1\t1\t0\t1\t0\t1.00\t\t0\t\t\t\t\tX\t", 300).timedOut);
         EXPECT_EQ(s.withDevice([](DeviceModel& d) { return d.state().items.size(); }), 1u) << "executed";
       }},
      {"garbage:1",
       [](RawClient& c, Simulator&) {
         const Answer a = c.call(74, "");
         EXPECT_TRUE(a.valid);
         EXPECT_GT(a.noise, 0);
       }},
      {"cut:1",
       [](RawClient& c, Simulator&) {
         EXPECT_TRUE(c.call(74, "", 500).timedOut);
         EXPECT_TRUE(c.closedByPeer(1000));
       }},
      {"silence:2",
       [](RawClient& c, Simulator& s) {
         EXPECT_TRUE(c.call(74, "").valid);
         EXPECT_TRUE(c.call(107, "P\t1\t1\t0\t1\t0\t1.00\t\t0\t\t\t\t\tX\t", 300).timedOut);
         EXPECT_EQ(s.withDevice([](DeviceModel& d) { return d.state().items.size(); }), 0u) << "not executed";
       }},
      {"status:2.2",
       [](RawClient& c, Simulator&) {
         const Answer a = c.call(74, "");
         EXPECT_EQ(a.status[2], 0x84);
         EXPECT_EQ(a.status[0], 0x80);
       }},
      {"status:4.4",
       [](RawClient& c, Simulator&) {
         const Answer a = c.call(74, "");
         EXPECT_EQ(a.status[4], 0x80 | 0x10 | 0x20) << "fiscal memory full also sets its OR bit";
       }},
      {"slow:260",
       [](RawClient& c, Simulator&) {
         const Answer a = c.call(74, "");
         EXPECT_TRUE(a.valid);
         EXPECT_GE(a.syn, 3) << "SYN every 50 ms while the command takes 260 ms";
       }},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.text);
    SimulatorOptions o = quickOptions();
    o.synIntervalMs = 50;
    std::string error;
    ASSERT_TRUE(parseFault(k.text, o.faults, error)) << error;
    Running r(o);
    auto c = r.client();
    k.check(*c, r.sim);
  }
}

TEST(SimTcp, BaudPacesTheAnswerLikeASerialLine) {
  SimulatorOptions o = quickOptions();
  o.baud = 2400;  // 240 bytes per second
  Running r(o);
  auto c = r.client();
  const auto start = std::chrono::steady_clock::now();
  const Answer a = c->call(90, "#\t");
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  ASSERT_TRUE(a.valid);
  // The whole answer frame (data plus 25 bytes around it) cannot arrive sooner than
  // its last byte would over the line.
  const size_t frameBytes = a.data.size() + 25;
  EXPECT_GE(ms.count(), static_cast<long>(frameBytes * 1000 / 240)) << frameBytes << " bytes";
}

TEST(SimTcp, StateFileKeepsTheDeviceBetweenRunsAndLogRecordsExchanges) {
  const fs::path dir = tempDir();
  const fs::path state = dir / "device.state";
  const fs::path log = dir / "device.log";
  fs::remove(state);
  fs::remove(log);
  SimulatorOptions o = quickOptions();
  o.stateFile = state.string();
  o.logFile = log.string();
  o.model = "KT-11A";
  {
    Running r(o);
    auto c = r.client();
    ASSERT_EQ(c->call(107, "P\t42\t1\t0\t1\t0\t3.30\t\t0\t\t\t\t\tSaved\t").code(), 0);
    c->close();
    r.sim.stop();
  }
  ASSERT_TRUE(fs::exists(state));
  EXPECT_FALSE(fs::exists(state.string() + ".tmp"));
  const std::string logText = readFile(log);
  EXPECT_NE(logText.find("cmd 107  in \"P\\t42\\t1"), std::string::npos) << logText;
  EXPECT_NE(logText.find("code 0"), std::string::npos);
  o.model = "KT-33A";
  o.modelGiven = true;
  {
    Running r(o);
    EXPECT_NE(r.sim.stateWarning().find("KT-11A"), std::string::npos) << "another model asked for is reported";
    auto c = r.client();
    const Answer a = c->call(107, "R\t42\t");
    EXPECT_EQ(a.fields().back(), "Saved");
    EXPECT_EQ(c->call(90, "#\t").fields()[3], "KT-11A");
  }
  // A damaged file is kept aside, reported, and the device starts fresh.
  std::ofstream(state, std::ios::trunc) << "KESTREL-SIM-STATE\t1\nitem\t42\n";
  {
    Running r(o);
    EXPECT_NE(r.sim.stateWarning().find("damaged"), std::string::npos);
    EXPECT_TRUE(fs::exists(state.string() + ".broken"));
    auto c = r.client();
    EXPECT_EQ(c->call(107, "R\t42\t").code(), -111004);
  }
  EXPECT_EQ(readFile(state.string() + ".broken"), "KESTREL-SIM-STATE\t1\nitem\t42\n");
  fs::remove_all(dir);
}

// Starts a simulator on `stateFile` and returns start()'s error ("" when it started).
std::string startError(const fs::path& stateFile) {
  SimulatorOptions o = quickOptions();
  o.stateFile = stateFile.string();
  Simulator sim(o);
  std::string error;
  if (sim.start(error)) return "";
  return error;
}

TEST(SimTcp, AStateFileThatCannotBeReadIsLeftAloneAndTheStartRefused) {
  const fs::path dir = tempDir() / "unreadable";
  fs::create_directories(dir);
  const fs::path state = dir / "device.state";
  const std::string content = "KESTREL-SIM-STATE\t1\nsomebody else's device\n";
  std::ofstream(state, std::ios::trunc) << content;
  fs::permissions(state, fs::perms::owner_read | fs::perms::owner_write);

  if (::geteuid() == 0) {
    // Root reads every file: the start is tried by a child that has become nobody.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
      const std::string error = startError(state);
      ::_exit(error.find("cannot read state file " + state.string()) == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "3: could not become nobody, 1: the start was not refused";
  } else {
    fs::permissions(state, fs::perms::none);
    EXPECT_EQ(startError(state).find("cannot read state file " + state.string()), 0u);
    fs::permissions(state, fs::perms::owner_read | fs::perms::owner_write);
  }
  EXPECT_EQ(readFile(state), content) << "not replaced by factory defaults";

  // A FIFO would block the start, a folder cannot be a state: both are refused at once.
  const fs::path fifo = dir / "fifo.state";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(startError(fifo), "state file " + fifo.string() + " is not a regular file");
  EXPECT_EQ(startError(dir), "state file " + dir.string() + " is not a regular file");
  EXPECT_TRUE(fs::is_fifo(fifo));
  fs::remove_all(dir.parent_path());
}

// The log holds what clients send: readable by its owner only, and no password in it,
// neither sent (service mode, an operator's change) nor read back as a parameter.
TEST(SimTcp, TheLogIsPrivateAndHoldsNoPassword) {
  const fs::path dir = tempDir();
  const fs::path log = dir / "secrets.log";
  fs::remove(log);
  SimulatorOptions o = quickOptions();
  o.logFile = log.string();
  o.model = "KT-11A";
  {
    Running r(o);
    auto c = r.client();
    EXPECT_EQ(c->call(253, "0\t1234\t").code(), 0);
    EXPECT_EQ(c->call(101, "1\t1\t5678\t").code(), 0);
    EXPECT_EQ(c->call(255, "OperPasw\t0\t\t").fields().at(1), "5678");
  }
  struct stat st {};
  ASSERT_EQ(::stat(log.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  const std::string text = readFile(log);
  EXPECT_NE(text.find("cmd 253  in \"0\\t****\\t\""), std::string::npos) << text;
  EXPECT_EQ(text.find("1234"), std::string::npos) << text;
  EXPECT_EQ(text.find("5678"), std::string::npos) << text;

  // A log that is no regular file is refused at once (a FIFO would block the start).
  const fs::path fifo = dir / "log.fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  o.logFile = fifo.string();
  Simulator sim(o);
  std::string error;
  EXPECT_FALSE(sim.start(error));
  EXPECT_EQ(error, "log file " + fifo.string() + " is not a regular file");
  fs::remove_all(dir);
}

// One client at a time: a client that connects and stays silent gives way to the next.
TEST(SimTcp, ASilentClientGivesWayToAWaitingOne) {
  const fs::path dir = tempDir();
  const fs::path log = dir / "idle.log";
  SimulatorOptions o = quickOptions();
  o.idleDropMs = 300;
  o.logFile = log.string();
  {
    Running r(o);
    auto silent = r.client();
    auto waiting = r.client();
    const Answer a = waiting->call(74, "", 10000);
    EXPECT_TRUE(a.valid) << "the waiting client was not served";
    EXPECT_TRUE(silent->closedByPeer(1000));
  }
  EXPECT_NE(readFile(log).find("client dropped: it sent nothing"), std::string::npos) << readFile(log);
  fs::remove_all(dir);
}

TEST(SimTcp, StartFailsCleanlyOnABusyPort) {
  Running first;
  SimulatorOptions o = quickOptions();
  o.port = first.sim.port();
  Simulator second(o);
  std::string error;
  EXPECT_FALSE(second.start(error));
  EXPECT_NE(error.find("cannot listen"), std::string::npos);
  EXPECT_TRUE(first.client()->call(74, "").valid);
}

}  // namespace
