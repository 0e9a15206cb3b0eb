// kestrel against a simulator reached like a real device: over loopback TCP and over a
// pseudo-terminal, with faults; the device's own refusals, the identification, and
// ports that cannot be opened.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "engine/engine_types.h"
#include "support/err_container.h"
#include "support_cli.h"
#include "support_sim_server.h"

namespace kestrel::cli {
namespace {

using clitest::Json;
using clitest::parseJson;
using clitest::runCli;
using clitest::SimServer;
using clitest::withFault;

std::string messageOf(int code) { return TErrContainer().get_ErrorMessageByCode(code); }

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(CliOverTcp, ParameterRoundTripKeepsEveryCharacter) {
  SimServer server;
  // Letters of code page 1250, quote, backslash: they travel converted and come back.
  const std::string value = "\xC5\xA0\xC4\x90\xC4\x8C\xC4\x86\xC5\xBD \"q\" \\ end";
  const clitest::CliRun set = runCli({"--tcp", server.tcp(), "param", "set", "Header", "1", value});
  EXPECT_EQ(set.status, 0) << set.err;
  EXPECT_EQ(set.out, "The data was saved in the device.\n");
  EXPECT_EQ(set.err, "");

  const clitest::CliRun get = runCli({"--tcp", server.tcp(), "param", "get", "Header", "1"});
  EXPECT_EQ(get.status, 0);
  EXPECT_EQ(get.out, value + "\n");
  const clitest::CliRun json = runCli({"--tcp", server.tcp(), "--json", "param", "get", "Header", "1"});
  EXPECT_EQ(parseJson(json.out)["fields"][1].text, value);

  // A single-valued parameter (empty index), written through cmd with special symbols.
  EXPECT_EQ(runCli({"--tcp", server.tcp(), "cmd", "255", "AutoPowerOff[tab][tab]7[tab]"}).status, 0);
  EXPECT_EQ(runCli({"--tcp", server.tcp(), "param", "get", "AutoPowerOff"}).out, "7\n");
  EXPECT_EQ(runCli({"--tcp", server.tcp(), "param", "set", "TimeZone", "-5"}).status, 0);
  EXPECT_EQ(runCli({"--tcp", server.tcp(), "param", "get", "TimeZone"}).out, "-5\n");
}

TEST(CliOverTcp, DeviceRefusalsExitWithOneAndTheDevicesCode) {
  SimServer server;
  struct Case {
    std::vector<std::string> command;
    int code;
  };
  const std::vector<Case> cases = {
      {{"param", "set", "AutoPowerOff", "99"}, -112202},  // value out of range
      {{"param", "set", "NoSuchParameter", "1"}, -100004},
      {{"param", "get", "NoSuchParameter"}, -100004},
      {{"param", "set", "IDnumber", "X"}, -104003},  // read-only
      {{"cmd", "199"}, -112000},                      // unknown command
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command[0] + " " + c.command[1]);
    std::vector<std::string> args{"--tcp", server.tcp()};
    args.insert(args.end(), c.command.begin(), c.command.end());
    const clitest::CliRun text = runCli(args);
    EXPECT_EQ(text.status, 1);
    EXPECT_EQ(text.err, "kestrel: error " + std::to_string(c.code) + ": " + messageOf(c.code) + "\n");
    if (c.command[0] == "param") {
      EXPECT_EQ(text.out, "");
    }

    args.insert(args.begin(), "--json");
    const clitest::CliRun json = runCli(args);
    EXPECT_EQ(json.status, 1);
    EXPECT_EQ(json.err, "");
    const Json j = parseJson(json.out);
    EXPECT_EQ(j["error_code"].number, c.code);
    EXPECT_EQ(j["error_message"].text, messageOf(c.code));
    ASSERT_FALSE(j["fields"].items.empty());
    EXPECT_EQ(j["fields"][0].text, std::to_string(c.code));
  }
  // The refused value did not change the parameter.
  EXPECT_EQ(runCli({"--tcp", server.tcp(), "param", "get", "AutoPowerOff"}).out, "0\n");
}

TEST(CliOverTcp, StatusBitsAndTheirVerdict) {
  // Near paper end is no error; EJ full is one under the profile.
  SimServer server(withFault("status:2.1"));
  const clitest::CliRun near = runCli({"--tcp", server.tcp(), "--json", "status"});
  EXPECT_EQ(near.status, 0);
  const Json j = parseJson(near.out);
  EXPECT_EQ(j["command"].number, 74);
  EXPECT_EQ(j["status_bytes"][2].number, 0x82);
  ASSERT_EQ(j["status_bits"].items.size(), 2u);
  EXPECT_EQ(j["status_bits"][0]["byte"].number, 2);
  EXPECT_EQ(j["status_bits"][0]["bit"].number, 1);
  EXPECT_EQ(j["status_bits"][0]["description"].text, "Near paper end.");
  EXPECT_FALSE(j["status_bits"][0]["error"].boolean);
  // The engine's first command and the status command: 74 twice.
  ASSERT_EQ(j["sent"].items.size(), 2u);
  EXPECT_EQ(j["sent"][0].text.substr(18, 11), "30 30 34 3A");
  EXPECT_EQ(j["sent"][1].text.substr(18, 11), "30 30 34 3A");

  SimServer full(withFault("status:2.2"));
  // Command 74 itself is never judged by its status bits, so status still succeeds.
  const clitest::CliRun status = runCli({"--tcp", full.tcp(), "status"});
  EXPECT_EQ(status.status, 0);
  EXPECT_TRUE(contains(status.out, "   2    2  yes    EJ is full.\n")) << status.out;
  // Any other command fails on it; the device's code 0 replaces the engine's -23, so
  // the result tells the failure and the status bits say why.
  const clitest::CliRun cmd = runCli({"--tcp", full.tcp(), "--json", "cmd", "90", "[tab]"});
  EXPECT_EQ(cmd.status, 1);
  const Json c = parseJson(cmd.out);
  EXPECT_FALSE(c["ok"].boolean);
  EXPECT_EQ(c["error_code"].number, 0);
  EXPECT_TRUE(c["status_bits"][0]["error"].boolean);
  const clitest::CliRun failed = runCli({"--tcp", full.tcp(), "param", "set", "Header", "1", "X"});
  EXPECT_EQ(failed.status, 1);
  EXPECT_EQ(failed.out, "") << "not reported as saved";
  EXPECT_EQ(failed.err, "kestrel: error: the command failed; the device's status shows an error: EJ is full.\n");
}

TEST(CliOverTcp, LinkFailuresExitWithOneAndSayWhatHappened) {
  struct Case {
    const char* fault;
    int code;
  };
  // NAK, a wrong sequence number or checksum at every attempt, and an answer cut by a
  // closed connection: the first command 74 already fails.
  const std::vector<Case> cases = {
      {"nak", CODE_FRAME_REFUSED},
      {"seq", CODE_NO_VALID_ANSWER},
      {"checksum", CODE_NO_VALID_ANSWER},
      {"cut", CODE_CONNECTION_LOST},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    SimServer server(withFault(c.fault));
    const clitest::CliRun r = runCli({"--tcp", server.tcp(), "--timeout-ms", "300", "param", "set", "Header", "0", "X"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    const std::string detail = c.code == CODE_CONNECTION_LOST ? ": " + server.tcp() : "";
    EXPECT_EQ(r.err, "kestrel: error " + std::to_string(c.code) + ": " + messageOf(c.code) + detail + "\n");
    const Json j = parseJson(runCli({"--tcp", server.tcp(), "--json", "status"}).out);
    EXPECT_FALSE(j["ok"].boolean);
    EXPECT_EQ(j["error_code"].number, c.code);
  }
  // The device itself never saw a complete write.
  SimServer nak(withFault("nak"));
  runCli({"--tcp", nak.tcp(), "param", "set", "Header", "0", "CHANGED"});
  EXPECT_EQ(nak.sim->withDevice([](sim::DeviceModel& d) { return d.state().params.at("Header")[0]; }),
            "KESTREL TEST DEVICE");
}

TEST(CliOverTcp, TypedDataIsSentAsTypedOrNotAtAll) {
  SimServer server;
  // Refused before anything is sent: no frame in the trace, nothing on stdout.
  const std::string tooLong(65494, 'A');
  struct Refused {
    std::string data;
    std::string reason;
  };
  for (const Refused& c : std::vector<Refused>{{"#[tab][1B!]", "incomplete escape sequence \"[1B!]\""},
                                               {"Price [EUR]", "\"[EUR]\" stands for no character"},
                                               {tooLong, "65494 bytes long; one frame carries at most 65493"}}) {
    SCOPED_TRACE(c.reason);
    const clitest::CliRun r = runCli({"--tcp", server.tcp(), "--trace", "--json", "cmd", "255", c.data});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(contains(r.err, c.reason)) << r.err;
    EXPECT_TRUE(contains(r.err, "nothing was sent")) << r.err;
    EXPECT_FALSE(contains(r.err, ">>")) << r.err;
  }
  // At the limit the whole text goes, its last TAB included.
  const std::string longest = std::string(65492, 'A') + "\t";
  const Json j = parseJson(runCli({"--tcp", server.tcp(), "--json", "cmd", "255", longest}).out);
  ASSERT_EQ(j["sent"].items.size(), 2u);
  const std::string frame = j["sent"][1].text;
  EXPECT_EQ((frame.size() + 1) / 3, 65493u + 16u);
  EXPECT_EQ(frame.substr(frame.size() - 3 * 7 + 1, 2), "09") << "the TAB before the footer";

  // "[\lf]" is a line feed, as the custom command page's hint says.
  const Json lf = parseJson(runCli({"--tcp", server.tcp(), "--json", "cmd", "90", "[\\lf]"}).out);
  EXPECT_EQ(lf["sent"][1].text.substr(30, 2), "0A");

  // A letter code page 1250 lacks is sent as "?", and the warning names it.
  const clitest::CliRun set = runCli({"--tcp", server.tcp(), "param", "set", "Header", "1", "A\xD0\x96"});
  EXPECT_EQ(set.status, 0);
  EXPECT_EQ(set.err, "kestrel: warning: the device's code page 1250 has no \"\xD0\x96\": it is sent as \"?\"\n");
  EXPECT_EQ(runCli({"--tcp", server.tcp(), "param", "get", "Header", "1"}).out, "A?\n");
}

TEST(CliOverTcp, RetriesAndTimeLimit) {
  // The second frame of each connection is refused with NAK: the retry sends the same
  // frame again and gets the answer.
  SimServer nak(withFault("nak:2"));
  const clitest::CliRun twice = runCli({"--tcp", nak.tcp(), "--json", "cmd", "90", "[tab]"});
  EXPECT_EQ(twice.status, 0) << twice.err;
  const Json j = parseJson(twice.out);
  ASSERT_EQ(j["sent"].items.size(), 3u);
  EXPECT_EQ(j["sent"][1].text, j["sent"][2].text);
  EXPECT_EQ(j["received"].items.size(), 2u);
  const clitest::CliRun once = runCli({"--tcp", nak.tcp(), "--repeat", "1", "--json", "cmd", "90", "[tab]"});
  EXPECT_EQ(once.status, 1);
  EXPECT_EQ(parseJson(once.out)["sent"].items.size(), 2u);

  // No answer after the first command: the per-byte limit ends the wait.
  SimServer silent(withFault("silence:2"));
  const clitest::CliRun timeout = runCli({"--tcp", silent.tcp(), "--timeout-ms", "200", "--repeat", "1", "status"});
  EXPECT_EQ(timeout.status, 1);
  EXPECT_EQ(timeout.out, "");
  EXPECT_EQ(timeout.err, "kestrel: error -6: " + messageOf(-6) + "\n");
}

TEST(CliOverPty, CommandsAndIdentification) {
  SimServer server({}, true);
  const clitest::CliRun status = runCli({"--serial", server.pty(), "--json", "status"});
  EXPECT_EQ(status.status, 0) << status.err;
  EXPECT_EQ(parseJson(status.out)["status_bytes"][5].number, 0x82);

  EXPECT_EQ(runCli({"--serial", server.pty(), "--baud", "9600", "param", "set", "Header", "2", "PTY"}).status, 0);
  EXPECT_EQ(runCli({"--serial", server.pty(), "param", "get", "Header", "2"}).out, "PTY\n");

  // --identify: 74, 90 "#", 90 TAB while opening, then 90 TAB; the command's own
  // frames are only its own.
  const clitest::CliRun known = runCli({"--serial", server.pty(), "--identify", "--trace", "--json", "status"});
  EXPECT_EQ(known.status, 0);
  EXPECT_EQ(parseJson(known.out)["sent"].items.size(), 1u);
  EXPECT_EQ(std::count(known.err.begin(), known.err.end(), '\n'), 10) << known.err;
  EXPECT_FALSE(contains(known.err, "Unsuported model!"));
}

TEST(CliOverPty, AWrongLineSpeedSaysWhatToCheck) {
  kestrel::sim::SimulatorOptions o;
  o.baud = 9600;
  SimServer server(o, true);
  const std::string hint =
      "kestrel: Check the speed (the device's is set in its menu), the port and the cable, and that the device is on, "
      "or use \"kestrel detect\".\n";
  const clitest::CliRun r =
      runCli({"--serial", server.pty(), "--baud", "19200", "--identify", "--timeout-ms", "300", "status"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(contains(r.err, server.pty() + ": the device does not answer the diagnostic command)\n" + hint)) << r.err;
  // Without the identification the first command finds the silence: the same hint after its error.
  const clitest::CliRun plain =
      runCli({"--serial", server.pty(), "--baud", "19200", "--timeout-ms", "300", "--repeat", "1", "status"});
  EXPECT_EQ(plain.status, 1);
  EXPECT_EQ(plain.err, "kestrel: error -6: " + messageOf(-6) + "\n" + hint);
}

TEST(CliOverPty, TimeoutShortensTheWaitOnTheLine) {
  // Silent after the first frame. A serial read waits 3.2 s by itself; --timeout-ms
  // bounds it too (the bound below is generous, the default would pass it twice over).
  SimServer server(withFault("silence:2"), true);
  const auto t0 = std::chrono::steady_clock::now();
  const clitest::CliRun r = runCli({"--serial", server.pty(), "--timeout-ms", "200", "--repeat", "1", "status"});
  const auto took = std::chrono::steady_clock::now() - t0;
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "kestrel: error -6: " + messageOf(-6) + "\n");
  EXPECT_LT(took, std::chrono::milliseconds(2500));
}

TEST(CliOverPty, UnknownModelIsReportedAndTheCommandRuns) {
  sim::SimulatorOptions o;
  o.model = "KT-99Z";
  o.modelGiven = true;
  SimServer server(o, true);
  const clitest::CliRun r = runCli({"--serial", server.pty(), "--identify", "status"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "kestrel: Unsuported model!\n");
  EXPECT_TRUE(contains(r.out, "Status bytes:"));
  EXPECT_EQ(runCli({"--serial", server.pty(), "status"}).err, "");
}

TEST(CliOpenFailure, MessageAndCauseOnStderr) {
  const std::string missing = "/nonexistent/ttyKT";
  const clitest::CliRun text = runCli({"--serial", missing, "status"});
  EXPECT_EQ(text.status, 1);
  EXPECT_EQ(text.out, "");
  EXPECT_TRUE(contains(text.err, "kestrel: error -3: " + messageOf(-3) + " (" + missing + ": ")) << text.err;

  const clitest::CliRun json = runCli({"--serial", missing, "--json", "param", "get", "Header", "0"});
  EXPECT_EQ(json.status, 1);
  EXPECT_TRUE(contains(json.err, missing));
  const Json j = parseJson(json.out);
  EXPECT_EQ(j["command"].number, 255);
  EXPECT_FALSE(j["ok"].boolean);
  EXPECT_EQ(j["error_code"].number, -3);
  EXPECT_TRUE(j["sent"].items.empty());

  // A port number maps to /dev/ttyS<n-1>.
  EXPECT_TRUE(contains(runCli({"--serial", "COM 200", "status"}).err, "/dev/ttyS199"));

  // A TCP port nobody listens on.
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len), 0);
  ::close(s);
  const std::string target = "127.0.0.1:" + std::to_string(ntohs(a.sin_port));
  const clitest::CliRun tcp = runCli({"--tcp", target, "--json", "info"});
  EXPECT_EQ(tcp.status, 1);
  EXPECT_TRUE(contains(tcp.err, messageOf(-23001) + " (" + target + ": ")) << tcp.err;
  const Json info = parseJson(tcp.out);
  EXPECT_FALSE(info["ok"].boolean);
  EXPECT_EQ(info["error_code"].number, -23001);
  EXPECT_EQ(info["shNNNNNN"].text, "");
}

TEST(CliPorts, ListsTheSerialPorts) {
  const clitest::CliRun json = runCli({"--json", "ports"});
  EXPECT_EQ(json.status, 0);
  const Json j = parseJson(json.out);
  EXPECT_EQ(j.keys(), std::vector<std::string>{"ports"});
  const std::vector<std::string> ports = j["ports"].strings();
  const clitest::CliRun text = runCli({"ports"});
  EXPECT_EQ(text.status, 0);
  std::string expected;
  for (const std::string& p : ports) expected += p + "\n";
  EXPECT_EQ(text.out, expected);
}

}  // namespace
}  // namespace kestrel::cli
