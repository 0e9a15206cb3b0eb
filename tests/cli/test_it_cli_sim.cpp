// kestrel against the simulator it starts itself (--sim): the diagnostic information,
// the JSON object of a command byte for byte, the trace, and named parameters written,
// read back and refused.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "support_cli.h"

namespace kestrel::cli {
namespace {

using clitest::Json;
using clitest::parseJson;
using clitest::runCli;

const std::vector<std::string> I90_NAMES = {
    "shDTP",      "shCCC",    "shNNNNNN",         "shDD",         "shOMV",        "shOBV",
    "shIBV",      "shSN",     "shHV",             "shBLV",        "DeviceName",   "FirmwareRevision",
    "FirmwareDate", "FirmwareTime", "CheckSum", "SoftwareSwitches", "SerialNumber", "FiscalMemoryNumber"};

// The first frame of a new engine: command 74 with sequence 20h.
const std::string FIRST_74 = "01 30 30 32 3A 20 30 30 34 3A 05 30 31 3B 3F 03";

bool isFrameHex(const std::string& hex) {
  static const std::regex form("([0-9A-F]{2} )*[0-9A-F]{2}");
  return std::regex_match(hex, form);
}

TEST(CliOnSim, InfoPrintsBothDiagnosticRequests) {
  const clitest::CliRun text = runCli({"--sim", "info"});
  EXPECT_EQ(text.status, 0);
  EXPECT_EQ(text.err, "");
  // One aligned line per text, in the order of the two requests.
  std::istringstream lines(text.out);
  std::string line;
  size_t n = 0, valueColumn = 0;
  while (std::getline(lines, line)) {
    ASSERT_LT(n, I90_NAMES.size());
    EXPECT_EQ(line.rfind(I90_NAMES[n], 0), 0u) << line;
    if (n == 2) {
      valueColumn = line.find("KT-33A");
      EXPECT_NE(valueColumn, std::string::npos);
    }
    if (n == 10) {
      EXPECT_EQ(line.find("KT-33A"), valueColumn) << "DeviceName not aligned";
    }
    ++n;
  }
  EXPECT_EQ(n, I90_NAMES.size());

  const clitest::CliRun json = runCli({"--sim", "--model", "KT-11A", "--json", "info"});
  EXPECT_EQ(json.status, 0);
  const Json j = parseJson(json.out);
  std::vector<std::string> keys = I90_NAMES;
  keys.insert(keys.end(), {"ok", "error_code", "error_message"});
  EXPECT_EQ(j.keys(), keys);
  EXPECT_EQ(j["shDTP"].text, "ECR");
  EXPECT_EQ(j["shNNNNNN"].text, "KT-11A");
  EXPECT_EQ(j["DeviceName"].text, "KT-11A");
  EXPECT_EQ(j["CheckSum"].text, "5A3C");
  EXPECT_TRUE(j["ok"].boolean);
  EXPECT_EQ(j["error_code"].number, 0);
  EXPECT_EQ(j["error_message"].text, "No error");
}

TEST(CliOnSim, CommandObjectCarriesAnswerStatusAndFrames) {
  const clitest::CliRun r = runCli({"--sim", "--json", "cmd", "90", "[tab]"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const Json j = parseJson(r.out);
  EXPECT_EQ(j.keys(), (std::vector<std::string>{"command", "ok", "error_code", "error_message", "answer", "fields",
                                                "status_bytes", "status_bits", "sent", "received"}));
  EXPECT_EQ(j["command"].number, 90);
  EXPECT_TRUE(j["ok"].boolean);
  EXPECT_EQ(j["error_code"].number, 0);
  EXPECT_EQ(j["error_message"].text, "No error");
  EXPECT_EQ(j["answer"].text, "0\tKT-33A\t1.04\t15-01-25\t12:00\t5A3C\t00000000\t\t\t");
  EXPECT_EQ(j["fields"].strings(),
            (std::vector<std::string>{"0", "KT-33A", "1.04", "15-01-25", "12:00", "5A3C", "00000000", "", ""}));

  // Command 74 first (the engine's first command), then 90 with one TAB and sequence 21h.
  EXPECT_EQ(j["sent"].strings(),
            (std::vector<std::string>{FIRST_74, "01 30 30 32 3B 21 30 30 35 3A 09 05 30 31 3C 3B 03"}));
  const std::vector<std::string> received = j["received"].strings();
  ASSERT_EQ(received.size(), 2u);
  for (const std::string& hex : received) EXPECT_TRUE(isFrameHex(hex)) << hex;
  EXPECT_EQ(received[1].substr(0, 27), "01 30 30 36 30 21 30 30 35 ");

  // The status bytes are the eight bytes between 04 and 05 of the answer frame.
  const std::string& answer = received[1];
  const size_t sep = answer.find(" 04 ");
  ASSERT_NE(sep, std::string::npos);
  const Json& bytes = j["status_bytes"];
  ASSERT_EQ(bytes.items.size(), 8u);
  for (size_t i = 0; i < 8; ++i) {
    const int fromFrame = std::stoi(answer.substr(sep + 4 + 3 * i, 2), nullptr, 16);
    EXPECT_EQ(bytes[i].number, fromFrame) << i;
    EXPECT_TRUE(fromFrame & 0x80);
  }
  // A fresh simulator reports only a formatted fiscal memory (byte 5 bit 1), no bit 7.
  const Json& bits = j["status_bits"];
  ASSERT_EQ(bits.items.size(), 1u);
  EXPECT_EQ(bits[0].keys(), (std::vector<std::string>{"byte", "bit", "description", "error"}));
  EXPECT_EQ(bits[0]["byte"].number, 5);
  EXPECT_EQ(bits[0]["bit"].number, 1);
  EXPECT_EQ(bits[0]["description"].text, "The fiscal memory is formatted.");
  EXPECT_FALSE(bits[0]["error"].boolean);
}

TEST(CliOnSim, TextOutputOfCommandAndStatus) {
  const clitest::CliRun cmd = runCli({"--sim", "cmd", "90", "#\\t"});
  EXPECT_EQ(cmd.status, 0);
  EXPECT_NE(cmd.out.find("field  0: 0\n"), std::string::npos) << cmd.out;
  EXPECT_NE(cmd.out.find("field  3: KT-33A\n"), std::string::npos) << cmd.out;
  EXPECT_NE(cmd.out.find("field 10: 1.1\n"), std::string::npos) << cmd.out;

  const clitest::CliRun status = runCli({"--sim", "status"});
  EXPECT_EQ(status.status, 0);
  EXPECT_EQ(status.out,
            "Status bytes: 80 80 80 80 80 82 80 80\n"
            "Byte  Bit  Error  Description\n"
            "   5    1  no     The fiscal memory is formatted.\n");
}

TEST(CliOnSim, TraceShowsEveryFrameOnStderr) {
  const clitest::CliRun r = runCli({"--sim", "--trace", "--json", "param", "get", "Header", "0"});
  ASSERT_EQ(r.status, 0) << r.err;
  const Json j = parseJson(r.out);
  const std::vector<std::string> sent = j["sent"].strings(), received = j["received"].strings();
  ASSERT_EQ(sent.size(), 2u);
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(r.err, ">> cmd 74 try 1: " + sent[0] + "\n<< cmd 74 try 1: " + received[0] + "\n>> cmd 255 try 1: " +
                       sent[1] + "\n<< cmd 255 try 1: " + received[1] + "\n");
  // Header TAB 0 TAB TAB as data of the request.
  EXPECT_NE(sent[1].find(" 48 65 61 64 65 72 09 30 09 09 05 "), std::string::npos) << sent[1];

  const clitest::CliRun quiet = runCli({"--sim", "param", "get", "Header", "0"});
  EXPECT_EQ(quiet.err, "");
  EXPECT_EQ(quiet.out, "KESTREL TEST DEVICE\n");
}

}  // namespace
}  // namespace kestrel::cli
