// Descriptors, the profile's status flags and the raw pass-through against a device
// stand-in over real loopback TCP.
#include <gtest/gtest.h>

#include <functional>

#include "catalogue/engine_catalogue.h"
#include "catalogue/raw_passthrough.h"
#include "support_engine.h"
#include "util/device_peer.h"
#include "util/scripted_peer.h"

using namespace kestrel;
using namespace kestrel::test;
using O = TCheckParamOption;

namespace {

TParamAttribute integer(std::string low, std::string upper) {
  TParamAttribute r;
  r.ValueType = ptInteger;
  r.CheckOptions = {O::ParamType, O::LowLimit, O::UpperLimit};
  r.LowLimitValue = std::move(low);
  r.UpperLimitValue = std::move(upper);
  return r;
}

std::vector<std::string> outputs(const TCommandsItem& c) {
  std::vector<std::string> v;
  for (const auto& p : c.oParams()) v.push_back(p.Value);
  return v;
}

}  // namespace

TEST(DescriptorExecution, Read255SendsItsInputAndFillsItsOutputs) {
  auto peer = DevicePeer::tcp(true, DevicePeer::answerAll([](const Request& r) {
    return r.data.rfind("Timeout\t", 0) == 0 ? std::string("0\t123\t") : std::string("-111050\t");
  }));
  ProfiledEngine e;
  ASSERT_TRUE(e.connect(peer->port()));
  ASSERT_TRUE(add_Read_255_ErrCode(e.fd, "Timeout", 3, integer("0", "999")));
  ASSERT_TRUE(add_Read_255_ErrCode(e.fd, "Unknown", -1, integer("0", "999")));
  e.fd.delimitersList = {"\t", ";"};

  EXPECT_TRUE(findAndExecute(e.fd, "read_Timeout"));
  EXPECT_EQ(e.code(), 0);
  const TCommandsItem& read = cmds(*e.fd.dd()).Items(0);
  EXPECT_EQ(outputs(read), (std::vector<std::string>{"0", "123"}));
  EXPECT_EQ(e.fd.delimitersList, std::vector<std::string>{"\t"}) << "the protocol's delimiter is put back";
  EXPECT_FALSE(read.prepared());

  // The device refuses: its code lands in the first output, the others stay empty.
  EXPECT_TRUE(findAndExecute(e.fd, 255, 2, 0));
  EXPECT_EQ(e.code(), -111050);
  EXPECT_EQ(outputs(cmds(*e.fd.dd()).Items(1)), (std::vector<std::string>{"-111050", ""}));

  auto reqs = peer->requests();
  ASSERT_EQ(reqs.size(), 2u);
  EXPECT_EQ(reqs[0].cmd, 255);
  EXPECT_EQ(reqs[0].data, "Timeout\t3\t\t");
  EXPECT_EQ(reqs[1].data, "Unknown\t\t\t");
}

TEST(DescriptorExecution, AFailedInputCheckSendsNothing) {
  auto peer = DevicePeer::tcp(true, DevicePeer::answerAll());
  ProfiledEngine e;
  ASSERT_TRUE(e.connect(peer->port()));
  ASSERT_TRUE(add_Write_255_ErrCode_ex01(e.fd, "Print", "Contrast", 0, "12", integer("1", "9")));
  EXPECT_FALSE(findAndExecute(e.fd, "Print_Set_Contrast"));
  EXPECT_EQ(e.code(), -10511);
  EXPECT_EQ(e.fd.delimitersList, std::vector<std::string>{"\t"});

  cmds(*e.fd.dd()).Items(0).iParams().find("Value")->Value = "7";
  EXPECT_TRUE(findAndExecute(e.fd, "Set_Contrast"));
  auto reqs = peer->requests();
  ASSERT_EQ(reqs.size(), 1u);
  EXPECT_EQ(reqs[0].data, "Contrast\t0\t7\t");
}

namespace {

struct ParseCase {
  const char* what;
  bool type2;
  std::string answer;
  std::function<void(TCommandsItem&)> setUp;
  bool ok;
  int code;
  std::vector<std::string> outputs;
};

TIOItem& output(TCommandsItem& c, const std::string& name, const std::string& delimiter = "\t") {
  TIOItem& p = c.oParams().Add();
  p.Name = name;
  p.Delimiter.Value = delimiter;
  return p;
}

}  // namespace

TEST(DescriptorExecution, AnswerParsingCases) {
  const ParseCase cases[] = {
      {"standard delimiters with an additional one", true, "0\tx,y\t",
       [](TCommandsItem& c) {
         output(c, "ErrorCode");
         output(c, "a");
         output(c, "b");
         c.AdditionalDelimiters().Add().Value = ",";
       },
       true, 0, {"0", "x", "y"}},
      {"without parsing", true, "0\tA\tB\t",
       [](TCommandsItem& c) {
         c.ParsingCase = pct_WithoutParsing;
         output(c, "all");
         output(c, "none");
       },
       true, 0, {"0\tA\tB\t", ""}},
      {"indirect data: one symbol, then the rest", true, "0\tXrest\tmore\t",
       [](TCommandsItem& c) {
         output(c, "ErrorCode");
         output(c, "flag").Properties.PedalData = pedalDataAsFirstSymbol;
         output(c, "rest").Properties.PedalData = pedalDataAsRestData;
       },
       true, 0, {"0", "X", "rest\tmore\t"}},
      {"positions and lengths", true, "0\tABCDEF",
       [](TCommandsItem& c) {
         output(c, "ErrorCode");
         TIOItem& a = output(c, "a");
         a.Delimiter.DelimiterType = TDelimiterType::Position;
         a.Delimiter.Position = 2;
         a.Delimiter.Length = 3;
         TIOItem& b = output(c, "b");
         b.Delimiter.DelimiterType = TDelimiterType::Position;
         b.Delimiter.Length = 0;
       },
       true, 0, {"0", "ABC", "DEF"}},
      {"checked output missing", true, "0\tonly\t",
       [](TCommandsItem& c) {
         c.CheckOutput = true;
         output(c, "ErrorCode");
         output(c, "a");
         output(c, "b");
       },
       false, -10524, {"0", "only", ""}},
      {"checked output of the wrong type", true, "0\tabc\t",
       [](TCommandsItem& c) {
         c.CheckOutput = true;
         output(c, "ErrorCode");
         output(c, "n").Properties = integer("0", "10");
       },
       false, -10510, {"0", "abc"}},
      {"journal answer, two fields", false, "A,rest,more",
       [](TCommandsItem& c) {
         c.ParsingCase = pct_BGKLEN_02;
         output(c, "type");
         output(c, "text");
       },
       true, 0, {"A", "rest,more"}},
      {"journal answer, three fields", false, "A,12,rest,more",
       [](TCommandsItem& c) {
         c.ParsingCase = pct_BGKLEN_03;
         output(c, "type");
         output(c, "number");
         output(c, "text");
       },
       true, 0, {"A", "12", "rest,more"}},
      {"journal answer without its comma", false, "AB",
       [](TCommandsItem& c) {
         c.ParsingCase = pct_BGKLEN_02;
         output(c, "type");
         output(c, "text");
       },
       false, -33028, {"A", ""}},
      {"journal answer without its second comma", false, "A,12",
       [](TCommandsItem& c) {
         c.ParsingCase = pct_BGKLEN_03;
         output(c, "type");
         output(c, "number");
         output(c, "text");
       },
       false, -33028, {"A", "", ""}},
  };
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.what);
    auto peer = DevicePeer::tcp(tc.type2, DevicePeer::answerAll([&](const Request&) { return tc.answer; }));
    ProfiledEngine e(tc.type2);
    ASSERT_TRUE(e.connect(peer->port()));
    ASSERT_TRUE(add_DDCommand(e.fd, 110, 0, 0, "probe"));
    TCommandsItem& c = cmds(*e.fd.dd()).last();
    tc.setUp(c);
    EXPECT_EQ(c.Execute(), tc.ok);
    EXPECT_EQ(e.code(), tc.code);
    EXPECT_EQ(outputs(c), tc.outputs);
    EXPECT_EQ(c.lastOutputText(), tc.answer);
    EXPECT_EQ(e.fd.delimitersList, std::vector<std::string>{tc.type2 ? "\t" : ","});
  }
}

TEST(ProfileVerdicts, TheModelsFlagsDecideAnAnswersOutcome) {
  struct Case {
    int byte;
    uint8_t value;
    bool ok;
  };
  const Case cases[] = {
      {0, 0x80, true},   // no flag
      {2, 0x82, true},   // near paper end: information only
      {2, 0x84, false},  // EJ is full: an error for the end user
      {0, 0x84, true},   // the clock needs setting
      {4, 0xA0, false},  // OR of the fiscal memory errors
      {5, 0x88, true},   // in fiscal mode
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "byte " << c.byte << " = " << int(c.value));
    std::vector<uint8_t> status(8, 0x80);
    status[c.byte] = c.value;
    auto peer = DevicePeer::tcp(true, [&](PeerLink& l) {
      Request r;
      while (l.readRequest(r, 3000)) l.answer(r, "0\t", status);
    });
    ProfiledEngine e;
    ASSERT_TRUE(e.connect(peer->port()));
    std::string out;
    EXPECT_EQ(e.fd.customCommand(62, "", out), c.ok);
    EXPECT_EQ(e.fd.errorInStatuses, !c.ok);
    EXPECT_EQ(peer->requests().size(), c.ok ? 1u : 2u) << "an error status is sent again";
  }
}

TEST(RawPassThrough, UnframedExchanges) {
  auto peer = ScriptedPeer::tcp({
      expectBytes(4), sendBytes(std::string("\x12\x34\x00\x03" "AB\x00", 7)),  // length rule
      expectBytes(2), sendBytes(std::string("\xAA\xBB\x00\x00\xFF", 5)),       // zero length
      expectBytes(2),                                                          // text form, no answer
      expectBytes(1),                                                          // after two refusals
      expectBytes(1), sendBytes("\x01\x02"),                                   // too short: timeout
  });
  ProfiledEngine e;
  std::string out;
  EXPECT_FALSE(ba_KT99_JPN_04(e.fd, "41"));
  EXPECT_EQ(e.code(), -3) << "transport closed";

  ASSERT_TRUE(e.connect(peer->port(), 300));
  EXPECT_TRUE(ba_SumUp3G(e.fd, "0a 0B 00 03", out));
  EXPECT_EQ(e.code(), 0);
  EXPECT_EQ(out, std::string("12340003AB\0", 11));

  EXPECT_TRUE(ba_KT99_JPN_01(e.fd, "[\\20]C0[\\20]DE", out)) << "symbols resolve to blanks, which are dropped";
  EXPECT_EQ(out, "AABB0000");

  EXPECT_TRUE(ba_KT99_JPN_03(e.fd, "\xC4\x8C[LF]"));  // "Č" and LF in code page 1250

  EXPECT_FALSE(ba_KT99_JPN_04(e.fd, "414"));
  EXPECT_EQ(e.code(), -1);
  EXPECT_FALSE(ba_KT99_JPN_04(e.fd, "4G"));
  EXPECT_TRUE(ba_KT99_JPN_04(e.fd, "41"));

  EXPECT_FALSE(ba_KT99_JPN_02(e.fd, "99", out));
  EXPECT_EQ(e.code(), -6);
  EXPECT_EQ(out, "") << "fewer than three bytes give no text";

  EXPECT_TRUE(peer->waitDone()) << peer->error();
  EXPECT_EQ(peer->received(), std::string("\x0A\x0B\x00\x03\xC0\xDE\xC8\n" "A\x99", 10));
}

TEST(RawPassThrough, RefusedWhileACommandRuns) {
  auto peer = ScriptedPeer::tcp({expectFrame(), silence(400)});
  ProfiledEngine e;
  ASSERT_TRUE(e.connect(peer->port(), 200));
  e.fd.repeatCount = 1;
  int calls = 0;
  bool result = true;
  int code = 0;
  e.fd.OnIdle = [&](const TWaitState&) {
    if (calls++ > 0) return;
    result = ba_KT99_JPN_04(e.fd, "41");
    code = e.code();
  };
  std::string out;
  EXPECT_FALSE(e.fd.customCommand(74, "", out));  // never answered
  EXPECT_GT(calls, 0);
  EXPECT_FALSE(result);
  EXPECT_EQ(code, CODE_ENGINE_BUSY);
  EXPECT_TRUE(peer->waitDone()) << peer->error();
  EXPECT_EQ(peer->received().size(), 16u) << "the command's frame and not a byte more";
}
