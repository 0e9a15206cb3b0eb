// The logo upload of command 202: the exact inputs for files of 108, 109 and 0 bytes
// against the simulator, the device's hexadecimal checksum against ours (a scripted
// device that reports what a test wants), the deadline, and files that must send
// nothing at all.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/logic/pages/receipt_format.h"
#include "app/ops_fixture.h"
#include "engine/tcpip_connector.h"
#include "support/base64.h"
#include "util/device_peer.h"
#include "util/engine_parts.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

std::string bytes(size_t n, int start = 1) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>((start + i * 7) & 0xFF));
  return s;
}

// A file of this test run, removed at the end.
struct TempFile {
  explicit TempFile(const std::string& content) {
    static int n = 0;
    path = (fs::temp_directory_path() / ("kestrel_logo_" + std::to_string(::getpid()) + "_" + std::to_string(n++) +
                                         ".bmp"))
               .string();
    std::ofstream(path, std::ios::binary) << content;
  }
  ~TempFile() { fs::remove(path); }
  std::string path;
};

TEST(LogoUpload, BlocksOfFiftyFourBytesInBase64AgainstTheDevice) {
  struct Case {
    size_t size;
    std::vector<size_t> blocks;  // Base64 lengths
  };
  for (const Case& c : {Case{108, {72, 72}}, Case{109, {72, 72, 4}}, Case{0, {}}}) {
    SCOPED_TRACE(c.size);
    apptest::OpsOnSim s("KT-33A");
    const std::string data = bytes(c.size);
    const TLoopOutcome r = uploadLogo(s.ops, data);
    ASSERT_TRUE(r.ok()) << r.closingMessage(LOGO_UPLOAD);
    EXPECT_EQ(r.answered, static_cast<int64_t>(c.blocks.size()));
    const auto in = s.inputsOf(202);
    ASSERT_EQ(in.size(), c.blocks.size() + 3);
    EXPECT_EQ(in.front(), "START\t");
    for (size_t i = 0; i < c.blocks.size(); ++i) {
      EXPECT_EQ(in[i + 1].size(), c.blocks[i] + 1);
      EXPECT_EQ(in[i + 1], base64Encode(data.substr(i * 54, 54)) + "\t");
    }
    EXPECT_EQ(in[in.size() - 2], "STOPP\t");
    EXPECT_EQ(in.back(), "UPDATE\t");
    EXPECT_EQ(s.device([](sim::DeviceModel& d) { return d.state().logo; }), data);
    EXPECT_EQ(s.dialogs.shown.back().text, "The data was saved in the device.");
    // Progress from 1 to the file size, moved and let run after every block, hidden at the end.
    EXPECT_EQ(s.host.progressMin, 1);
    EXPECT_EQ(s.host.progressMax, static_cast<int>(c.size));
    EXPECT_EQ(s.host.progress.size(), c.blocks.size());
    if (!c.blocks.empty()) {
      EXPECT_EQ(s.host.progress.back(), static_cast<int>(c.size));
    }
    EXPECT_EQ(s.host.messagesRun, static_cast<int>(c.blocks.size()));
    EXPECT_FALSE(s.host.progressVisible);
  }
  EXPECT_EQ(bytes(109).substr(108), std::string(1, static_cast<char>((1 + 108 * 7) & 0xFF)));
  EXPECT_EQ(base64Encode(bytes(109).substr(108)).substr(2), "==");
}

TEST(LogoUpload, PassedDeadlineCommitsWhatWasSent) {
  apptest::OpsOnSim s("KT-33A");
  const std::string data = bytes(109);
  const TLoopOutcome r = uploadLogo(s.ops, data, std::chrono::milliseconds(0));
  EXPECT_EQ(s.inputsOf(202).size(), 4u);  // START, one block, STOPP, UPDATE
  // Committed, but no whole logo: that is said, not passed over.
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(r.closingMessage(LOGO_UPLOAD),
            "Upload ended after 1 of 3 blocks: the time limit passed; the device took the blocks sent so far as its logo.");
  EXPECT_EQ(s.device([](sim::DeviceModel& d) { return d.state().logo; }), data.substr(0, 54));
}

TEST(LogoUpload, FilesThatCannotBeALogoSendNothing) {
  TempFile tooLarge("BM" + std::string(LOGO_FILE_LIMIT - 1, 'x'));
  TempFile notBmp("GIF89a" + bytes(100));
  TempFile empty("");
  const std::string folder = fs::temp_directory_path().string();
  const std::string missing = folder + "/kestrel_no_such_logo.bmp";
  for (const std::string& path : {tooLarge.path, notBmp.path, empty.path, missing, folder}) {
    SCOPED_TRACE(path);
    apptest::OpsOnSim s("KT-33A");
    s.host.files.push_back(path);
    try {
      uploadLogoFromFile(s.ops);
      ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    }
    EXPECT_TRUE(s.sent.empty());
  }
  apptest::OpsOnSim cancelled("KT-33A");
  EXPECT_FALSE(uploadLogoFromFile(cancelled.ops));
  EXPECT_EQ(cancelled.host.filters, std::vector<std::string>{"bmp|*.bmp"});
  EXPECT_TRUE(cancelled.sent.empty());
}

// What the device's logo memory takes is the device's to say: a BMP larger than the
// simulator's memory goes out, and the device's refusal ends the upload without UPDATE.
TEST(LogoUpload, TheDeviceDecidesTheSize) {
  TempFile larger("BM" + bytes(sim::MAX_LOGO));
  EXPECT_EQ(loadLogoFile(larger.path).size(), sim::MAX_LOGO + 2);
  apptest::OpsOnSim s("KT-33A");
  s.host.files.push_back(larger.path);
  const auto r = uploadLogoFromFile(s.ops);
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->end, TLoopEnd::Failed);
  const auto in = s.inputsOf(202);
  ASSERT_FALSE(in.empty());
  EXPECT_EQ(in.front(), "START\t");
  EXPECT_NE(in.back(), "UPDATE\t");
  EXPECT_EQ(s.device([](sim::DeviceModel& d) { return d.state().logo; }), "");
}

TEST(LogoUpload, DeviceChecksumIsHexadecimal) {
  const std::pair<std::string, uint32_t> cases[] = {{"1A2B", 6699}, {"1a2b", 6699}, {"0", 0},       {"FFFFFFFF", 0xFFFFFFFF},
                                                    {"", 0},        {"12G4", 0},    {"-1A", 0},     {"123456789", 0},
                                                    {" 1A", 0}};
  for (const auto& [field, value] : cases) EXPECT_EQ(logoDeviceChecksum(field), value) << field;
  EXPECT_EQ(logoChecksumMessage(6700, 6699), "Invalid checksum! Read check sum: 6700. Calc check sum: 6699");
}

// TDeviceOps over a scripted device on loopback: it answers command 202 with the sum of
// the bytes it got (plus `skew` at the block or "STOPP" a test names), refuses what a
// test names, and accepts everything else.
struct OpsOnPeer {
  struct Script {
    int skewAt = -1;            // 202 request number (START is 0) whose sum is off by one
    int refuseAt = -1;          // 202 request number answered with an error code
    std::string refuseParam;    // 255 parameter answered with an error code
  };
  explicit OpsOnPeer(Script script) : fScript(script) {
    peer = test::DevicePeer::tcp(true, test::DevicePeer::answerAll([this](const test::Request& r) { return reply(r); }));
    auto& fd = parts.engine;
    fd.dd()->LowLevel().set_ProtocolType(protocol_Type2);
    fd.dd()->CodePage = 1250;
    fd.add_DefaultDelimiters();
    fd.messageBox = [](const std::string&) {};
    fd.set_CommunicationType(ct_TCPIP);
    fd.TCPIP()->set_Address("127.0.0.1");
    fd.TCPIP()->set_port(peer->port());
    fd.TCPIP()->exitByTimeValue = 1000;
    EXPECT_EQ(fd.TCPIP()->openConnection(), 0);
    parts.misc.set_Dialogs(&dialogs);
    ops.ecrModel = 2;
    ops.onCommand = [this](uint16_t c, const std::string& in) { sent.push_back({c, in}); };
  }
  ~OpsOnPeer() {
    parts.engine.TCPIP()->closeConnection();  // ends the script
    peer.reset();
  }
  std::vector<std::string> inputsOf(int command) const {
    std::vector<std::string> r;
    for (const auto& s : sent)
      if (s.command == command) r.push_back(s.input);
    return r;
  }

  test::EngineParts parts;
  ScriptedDialogs dialogs;
  apptest::RecordingHost host;
  TDeviceOps ops{parts.engine, parts.misc, parts.ec, host};
  std::vector<apptest::SentCommand> sent;
  std::unique_ptr<test::DevicePeer> peer;

 private:
  std::string reply(const test::Request& r) {
    const std::string first = r.data.substr(0, r.data.find('\t'));
    if (r.cmd == 255) return first == fScript.refuseParam ? "-112202\t" : "0\t";
    if (r.cmd != 202) return "0\t";
    const int n = f202++;
    if (n == fScript.refuseAt) return "-112101\t";
    if (first != "START" && first != "STOPP" && first != "UPDATE")
      for (unsigned char c : base64Decode(first).value_or("")) fSum += c;
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X", fSum + (n == fScript.skewAt ? 1u : 0u));
    return std::string("0\t") + hex + "\t";
  }
  Script fScript;
  int f202 = 0;
  uint32_t fSum = 0;
};

// 26 bytes of FFh and one of 45h: 6699, which the device reports as 1A2B.
const std::string SUM_6699 = std::string(26, '\xFF') + "\x45";

TEST(LogoUpload, DeviceSumOf1A2BMatches6699) {
  OpsOnPeer p({});
  ASSERT_TRUE(uploadLogo(p.ops, SUM_6699).ok());
  EXPECT_EQ(p.inputsOf(202).back(), "UPDATE\t");
  EXPECT_EQ(p.dialogs.shown.back().text, "The data was saved in the device.");
}

TEST(LogoUpload, MismatchOrRefusalEndsWithNothingMoreSent) {
  struct Case {
    OpsOnPeer::Script script;
    std::string data;
    std::vector<std::string> lastSent;  // the 202 inputs from the end of the upload
    std::string shown;                  // "" for the refusal's alert
    std::string closing;                // how the closing message begins
  };
  const std::string twoBlocks = SUM_6699 + std::string(54, '\x01');
  const Case cases[] = {
      // "STOPP" reports one more than was sent.
      {{2, -1, ""}, SUM_6699, {"STOPP\t"}, "Invalid checksum! Read check sum: 6700. Calc check sum: 6699",
       "Upload ended after 1 of 1 blocks: Invalid checksum! Read check sum: 6700. Calc check sum: 6699."},
      // The first of two blocks is counted wrong: no second block, no "STOPP".
      {{1, -1, ""}, std::string(54, '\x01'), {base64Encode(std::string(54, '\x01')) + "\t"},
       "Invalid checksum! Read check sum: 55. Calc check sum: 54",
       "Upload ended after 1 of 1 blocks.\n1 block could not be sent: block 1 (Invalid checksum! Read check sum: 55. "
       "Calc check sum: 54)."},
      // A refused block, "START" or "STOPP".
      {{-1, 2, ""}, twoBlocks, {base64Encode(twoBlocks.substr(54)) + "\t"}, "",
       "Upload ended after 2 of 2 blocks.\n1 block could not be sent: block 2 ("},
      {{-1, 0, ""}, twoBlocks, {"START\t"}, "", "Upload ended after 0 of 2 blocks: the device refused \"START\"."},
      {{-1, 2, ""}, SUM_6699, {"STOPP\t"}, "", "Upload ended after 1 of 1 blocks: the device refused \"STOPP\"."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lastSent.back());
    OpsOnPeer p(c.script);
    const TLoopOutcome r = uploadLogo(p.ops, c.data);
    EXPECT_EQ(r.end, TLoopEnd::Failed);
    EXPECT_EQ(r.closingMessage(LOGO_UPLOAD).rfind(c.closing, 0), 0u) << r.closingMessage(LOGO_UPLOAD);
    const auto in = p.inputsOf(202);
    ASSERT_GE(in.size(), c.lastSent.size());
    EXPECT_EQ(std::vector<std::string>(in.end() - static_cast<long>(c.lastSent.size()), in.end()), c.lastSent);
    ASSERT_FALSE(p.dialogs.shown.empty());
    if (!c.shown.empty()) {
      EXPECT_EQ(p.dialogs.shown.back().text, c.shown);
    }
    EXPECT_NE(p.dialogs.shown.back().text, "The data was saved in the device.");
    EXPECT_FALSE(p.host.progressVisible);
  }
}

TEST(CenterLogo, BoxesStayWhenTheSecondWriteIsRefused) {
  OpsOnPeer p({-1, -1, "FooterEmptyLines"});
  TPageValues v;
  EXPECT_FALSE(centerLogo(p.ops, v));
  EXPECT_EQ(p.inputsOf(255).size(), 2u);
  EXPECT_TRUE(v.empty());
}

}  // namespace
}  // namespace kestrel
