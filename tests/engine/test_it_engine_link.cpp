// The engine against a scripted device over real loopback TCP and a real pseudo-terminal:
// exact request bytes, answer checks, retries and every outcome code.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "engine/fiscal_device.h"
#include "engine/frame_codec.h"
#include "engine/rs232_connector.h"
#include "engine/tcpip_connector.h"
#include "support/err_container.h"
#include "support/fd_misc.h"
#include "util/device_peer.h"
#include "util/engine_parts.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

struct Engine {
  TErrContainer err;
  TFDMisc misc;
  TFiscalDevice fd;

  explicit Engine(bool type2 = true) {
    fd.set_errContainer(&err);
    fd.set_Misc(&misc);
    fd.dd()->LowLevel().set_ProtocolType(type2 ? protocol_Type2 : protocol_Type1);
    // The model's error bits of byte 0 (syntax error, invalid command) under ccEndUser.
    fd.dd()->LowLevel().set_sBytesChecking(0, 0, ccEndUser, true);
    fd.dd()->LowLevel().set_sBytesChecking(0, 1, ccEndUser, true);
    fd.dd()->CodePage = 1250;
    fd.add_DefaultDelimiters();
    err.RaiseMode = false;
    fd.messageBox = [this](const std::string& m) { messages.push_back(m); };
  }
  void connectTcp(uint16_t port, uint32_t byteLimitMs = 400) {
    fd.set_CommunicationType(ct_TCPIP);
    fd.TCPIP()->set_Address("127.0.0.1");
    fd.TCPIP()->set_port(port);
    fd.TCPIP()->exitByTimeValue = byteLimitMs;
    ASSERT_EQ(fd.TCPIP()->openConnection(), 0);
  }
  bool cmd(uint16_t c, const std::string& in = "") { return fd.customCommand(c, in, out); }
  int code() const { return err.LastErrorCode(); }
  std::string out;
  std::vector<std::string> messages;
};

// Reads the first-command 74 and answers it, so a script can start at the real command.
void answerFirst(PeerLink& l) {
  Request r;
  if (l.readRequest(r)) l.answer(r, "0\t");
}

}  // namespace

TEST(EngineFrames, WorkedFramesByteForByte) {
  auto peer = DevicePeer::tcp(true, [](PeerLink& l) {
    Request r;
    ASSERT_TRUE(l.readRequest(r));
    // The worked answer of command 74, sequence 20h, data "0" TAB.
    l.send(Bytes{0x01, 0x30, 0x30, 0x33, 0x35, 0x20, 0x30, 0x30, 0x34, 0x3A, 0x30, 0x09, 0x04, 0x80, 0x80, 0x80,
                 0x80, 0x80, 0x80, 0x80, 0x80, 0x05, 0x30, 0x35, 0x3F, 0x38, 0x03});
    ASSERT_TRUE(l.readRequest(r));
    l.answer(r, "0\tKT-33A\t");
  });
  Engine e;
  e.connectTcp(peer->port());
  EXPECT_TRUE(e.cmd(90, "\t"));
  peer->join();
  auto reqs = peer->requests();
  ASSERT_EQ(reqs.size(), 2u);
  EXPECT_EQ(hexOf(reqs[0].raw), "01 30 30 32 3A 20 30 30 34 3A 05 30 31 3B 3F 03");
  EXPECT_EQ(hexOf(reqs[1].raw), "01 30 30 32 3B 21 30 30 35 3A 09 05 30 31 3C 3B 03");
  EXPECT_EQ(e.code(), 0);
  EXPECT_EQ(e.out, "0\tKT-33A\t");
  EXPECT_EQ(e.fd.answerFieldsList, (std::vector<std::string>{"0", "KT-33A"}));
  EXPECT_FALSE(e.fd.firstCommand);
}

TEST(EngineFrames, Type1WorkedRequestAndSequenceWrap) {
  auto peer = DevicePeer::tcp(false, DevicePeer::answerAll([](const Request&) { return std::string("0,A"); }));
  Engine e(false);
  e.connectTcp(peer->port());
  // 96 frames carry 20h..7Fh, the 97th starts again at 20h.
  for (int i = 0; i < 96; ++i) ASSERT_TRUE(e.cmd(74)) << i;
  peer->join();
  auto reqs = peer->requests();
  ASSERT_EQ(reqs.size(), 97u);
  EXPECT_EQ(hexOf(reqs[0].raw), "01 24 20 4A 05 30 30 39 33 03");
  EXPECT_EQ(reqs[95].seq, 0x7F);
  EXPECT_EQ(reqs[96].seq, 0x20);
  EXPECT_EQ(e.fd.answerFieldsList, (std::vector<std::string>{"0", "A"}));
}

TEST(EngineFrames, Type2SequenceWrapsFromFFTo20) {
  auto peer = DevicePeer::tcp(true, DevicePeer::answerAll());
  Engine e;
  e.connectTcp(peer->port());
  e.fd.firstCommand = false;
  e.fd.set_seqNumber(0xFF);
  ASSERT_TRUE(e.cmd(74));
  ASSERT_TRUE(e.cmd(74));
  e.fd.TCPIP()->closeConnection();
  peer->join();
  auto reqs = peer->requests();
  ASSERT_EQ(reqs.size(), 2u);
  EXPECT_EQ(reqs[0].seq, 0xFF);
  EXPECT_EQ(reqs[1].seq, 0x20);
}

// One bad answer per case; with repeatCount 2 the same frame goes out again and the
// second answer is silence, so every case ends in the code the bad answer leaves.
struct BadAnswer {
  const char* name;
  std::function<Bytes(const Request&)> make;
};

TEST(EngineAnswers, RejectedAnswersAreRetriedWithTheSameFrame) {
  auto corrupt = [](const Request& r, size_t fromEnd, uint8_t value) {
    Bytes f = answerFrame(true, r.seq, r.cmd, "0\t");
    f[f.size() - fromEnd] = value;
    return f;
  };
  const std::vector<BadAnswer> cases = {
      {"nak", [](const Request&) { return Bytes{0x15}; }},
      {"wrong sequence", [](const Request& r) { return answerFrame(true, r.seq + 1, r.cmd, "0\t"); }},
      {"wrong command", [](const Request& r) { return answerFrame(true, r.seq, r.cmd + 1, "0\t"); }},
      {"wrong checksum", [&](const Request& r) { return corrupt(r, 2, 0x30); }},
      {"wrong terminator", [&](const Request& r) { return corrupt(r, 1, 0x02); }},
      {"wrong postamble", [&](const Request& r) { return corrupt(r, 6, 0x06); }},
      {"wrong separator", [&](const Request& r) { return corrupt(r, 15, 0x07); }},
      {"truncated", [](const Request& r) {
         Bytes f = answerFrame(true, r.seq, r.cmd, "0\t");
         f.resize(f.size() - 3);
         return f;
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto peer = DevicePeer::tcp(true, [&](PeerLink& l) {
      answerFirst(l);
      Request r;
      if (l.readRequest(r)) l.send(c.make(r));
      Request again;
      l.readRequest(again, 2000);  // the retry, left unanswered
      l.sleepMs(600);
    });
    Engine e;
    e.connectTcp(peer->port(), 300);
    EXPECT_FALSE(e.cmd(255, "Header\t1\t\t"));
    EXPECT_EQ(e.code(), codes::TIMEOUT) << "the retry times out";
    peer->join();
    auto reqs = peer->requests();
    ASSERT_EQ(reqs.size(), 3u);
    EXPECT_EQ(reqs[1].raw, reqs[2].raw) << "a retry re-sends the same frame";
  }
}

// One answer per case, one attempt: the result, the final code and the field list.
struct OutcomeCase {
  const char* name;
  std::function<void(PeerLink&, const Request&)> reply;
  bool result;
  int code;
  std::vector<std::string> fields;
};

const std::vector<OutcomeCase>& outcomeCases() {
  static const std::vector<OutcomeCase> cases = {
      {"success", [](PeerLink& l, const Request& r) { l.answer(r, "0\t"); }, true, 0, {"0"}},
      {"device code", [](PeerLink& l, const Request& r) { l.answer(r, "-111004\tx\t"); }, true, -111004, {"-111004", "x"}},
      {"field 0 not a number", [](PeerLink& l, const Request& r) { l.answer(r, "abc\t"); }, true, codes::FIELD0_NOT_INT, {"abc"}},
      {"empty answer", [](PeerLink& l, const Request& r) { l.answer(r, ""); }, true, codes::NO_FIELDS, {}},
      {"nak", [](PeerLink& l, const Request&) { l.send(Bytes{0x15}); }, false, CODE_FRAME_REFUSED, {}},
      {"silence", [](PeerLink& l, const Request&) { l.sleepMs(700); }, false, codes::TIMEOUT, {"previous"}},
      {"wrong checksum",
       [](PeerLink& l, const Request& r) {
         Bytes f = answerFrame(true, r.seq, r.cmd, "0\t");
         f[f.size() - 2] ^= 1;
         l.send(f);
       },
       false, CODE_NO_VALID_ANSWER, {}},
      {"error status, device says 0",
       [](PeerLink& l, const Request& r) { l.answer(r, "0\t", {0x83, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80}); },
       false, 0, {"0"}},
      {"syn, then the answer",
       [](PeerLink& l, const Request& r) {
         for (int i = 0; i < 3; ++i) {
           l.send(Bytes{0x16});
           l.sleepMs(100);
         }
         l.answer(r, "-100003\t");
       },
       true, -100003, {"-100003"}},
      {"garbage before the frame",
       [](PeerLink& l, const Request& r) {
         Bytes junk(100, 'x');
         l.send(junk);
         l.answer(r, "0\t");
       },
       true, 0, {"0"}},
      {"28000 bytes of garbage",
       [](PeerLink& l, const Request&) {
         Bytes junk(28000, 'x');
         l.send(junk);
       },
       false, codes::NO_FIELDS, {}},
      {"connection dropped mid-answer",
       [](PeerLink& l, const Request& r) {
         Bytes f = answerFrame(true, r.seq, r.cmd, "0\t");
         f.resize(8);
         l.send(f);
         l.close();
       },
       false, CODE_CONNECTION_LOST, {}},
  };
  return cases;
}

void runOutcomeCases(bool overPty) {
  for (const auto& c : outcomeCases()) {
    SCOPED_TRACE(c.name);
    auto script = [&](PeerLink& l) {
      answerFirst(l);
      Request r;
      if (l.readRequest(r)) c.reply(l, r);
      l.sleepMs(100);
    };
    auto peer = overPty ? DevicePeer::pty(true, script) : DevicePeer::tcp(true, script);
    Engine e;
    e.fd.repeatCount = 1;
    if (overPty) {
      e.fd.set_CommunicationType(ct_RS232);
      e.fd.RS232()->portName = peer->slavePath();
      // One read waits at most 50 ms, the engine gives a byte up after 300 ms.
      e.fd.RS232()->init_TimeoutValues(50, 0, 50, 100, 1000);
      e.fd.RS232()->exitByTimeValue = 300;
      ASSERT_EQ(e.fd.RS232()->openConnection(), 0);
    } else {
      e.connectTcp(peer->port(), 300);
    }
    e.fd.answerFieldsList = {"previous"};
    EXPECT_EQ(e.cmd(255, "Header\t1\t\t"), c.result);
    EXPECT_EQ(e.code(), c.code);
    EXPECT_EQ(e.fd.answerFieldsList, c.fields);
    if (c.code == CODE_CONNECTION_LOST) {
      EXPECT_TRUE(e.fd.connectionLost());
      const std::string target = overPty ? peer->slavePath() : "127.0.0.1:" + std::to_string(peer->port());
      EXPECT_EQ(e.err.LastErrorMessage(), "Connection lost: " + target);
    }
    if (overPty) e.fd.RS232()->closeConnection();
    peer->join();
    EXPECT_EQ(peer->requests().size(), 2u);
  }
}

TEST(EngineAnswers, SingleAttemptOutcomeCodesOverTcp) { runOutcomeCases(false); }

TEST(EngineSerial, SingleAttemptOutcomeCodesOverAPseudoTerminal) { runOutcomeCases(true); }

TEST(EngineAnswers, ErrorStatusIsRetriedOnlyWithRepeatCountTwo) {
  for (int repeat : {1, 2}) {
    auto peer = DevicePeer::tcp(true, [](PeerLink& l) {
      answerFirst(l);
      Request r;
      while (l.readRequest(r, 500)) l.answer(r, "0\t", {0x80, 0x80, 0x84, 0x80, 0x80, 0x80, 0x80, 0x80});
    });
    Engine e;
    e.fd.dd()->LowLevel().set_sBytesChecking(2, 2, ccEndUser, true);  // "EJ is full."
    e.fd.repeatCount = repeat;
    e.connectTcp(peer->port());
    EXPECT_FALSE(e.cmd(255, "Header\t1\t\t"));
    EXPECT_TRUE(e.fd.errorInStatuses);
    EXPECT_TRUE(e.fd.dd()->LowLevel().get_sBytesState(2, 2));
    // The answer's own code replaces -23.
    EXPECT_EQ(e.code(), 0);
    // Under another profile the same answer is no error.
    e.fd.dd()->LowLevel().set_errorCheckType(ccService);
    EXPECT_TRUE(e.cmd(255, "Header\t1\t\t"));
    e.fd.TCPIP()->closeConnection();
    peer->join();
    EXPECT_EQ(peer->requests().size(), static_cast<size_t>(1 + repeat + 1));
  }
}

TEST(EngineAnswers, SynKeepsTheEngineWaiting) {
  auto peer = DevicePeer::tcp(true, [](PeerLink& l) {
    answerFirst(l);
    Request r;
    if (!l.readRequest(r)) return;
    for (int i = 0; i < 6; ++i) {
      l.send(Bytes{0x16});
      l.sleepMs(150);
    }
    l.answer(r, "0\tdone\t");
  });
  Engine e;
  e.connectTcp(peer->port(), 400);  // shorter than the whole wait, longer than one SYN gap
  int syn = 0;
  e.fd.OnWait = [&](TFiscalDevice&, uint8_t b) { syn += b == 0x16; };
  EXPECT_TRUE(e.cmd(255, "x\t"));
  EXPECT_EQ(syn, 6);
  EXPECT_EQ(e.fd.answerFieldsList.back(), "done");
  peer->join();
}

TEST(EngineCommand, FirstCommandFailureBlocksTheRequestedCommand) {
  auto peer = DevicePeer::tcp(true, [](PeerLink& l) {
    Request r;
    l.readRequest(r);  // first 74: no answer
    l.sleepMs(500);
    if (l.readRequest(r)) l.answer(r, "0\t");  // second try of 74
    if (l.readRequest(r)) l.answer(r, "0\tok\t");
  });
  Engine e;
  e.fd.repeatCount = 1;
  e.connectTcp(peer->port(), 300);
  EXPECT_FALSE(e.cmd(90, "\t"));
  EXPECT_EQ(e.code(), codes::TIMEOUT);
  EXPECT_TRUE(e.fd.firstCommand);
  EXPECT_TRUE(e.cmd(90, "\t"));
  EXPECT_FALSE(e.fd.firstCommand);
  peer->join();
  auto reqs = peer->requests();
  ASSERT_EQ(reqs.size(), 3u);
  EXPECT_EQ(reqs[0].cmd, 74);
  EXPECT_EQ(reqs[1].cmd, 74);
  EXPECT_EQ(reqs[2].cmd, 90);
}

TEST(EngineCommand, NothingToSendOrNoTransport) {
  Engine e;
  e.fd.firstCommand = false;
  // Transport closed, open-on-demand off: -3 from the loop, then no answer field.
  e.fd.set_CommunicationType(ct_TCPIP);
  EXPECT_FALSE(e.cmd(255, "x\t"));
  EXPECT_EQ(e.code(), codes::NO_FIELDS);
  // A communication type without a transport.
  e.fd.set_CommunicationType(ct_Bluetooth);
  EXPECT_EQ(e.fd.CommunicationType(), ct_Unknown);
  EXPECT_FALSE(e.cmd(255, "x\t"));
  EXPECT_EQ(e.code(), codes::NO_FIELDS);

  Engine t1(false);
  t1.fd.firstCommand = false;
  t1.fd.set_CommunicationType(ct_Bluetooth);
  EXPECT_FALSE(t1.cmd(74));
  EXPECT_EQ(t1.code(), codes::GENERAL);

  // repeatCount 0 sends nothing.
  auto peer = DevicePeer::tcp(true, DevicePeer::answerAll());
  Engine z;
  z.connectTcp(peer->port());
  z.fd.firstCommand = false;
  z.fd.repeatCount = 0;
  EXPECT_FALSE(z.cmd(255, "x\t"));
  z.fd.TCPIP()->closeConnection();
  peer->join();
  EXPECT_TRUE(peer->requests().empty());
}

TEST(EngineCommand, MissingComponents) {
  TFiscalDevice fd;
  std::vector<std::string> shown;
  fd.messageBox = [&](const std::string& m) { shown.push_back(m); };
  std::string out;
  EXPECT_FALSE(fd.customCommand(90, "", out));
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], "Error container component not assigned. Please assign this component!");
  {
    TErrContainer err;
    fd.set_errContainer(&err);
    EXPECT_FALSE(fd.customCommand(90, "", out));
    EXPECT_EQ(err.LastErrorCode(), codes::NO_MISC);
    EXPECT_EQ(shown.back(), err.LastErrorMessage());
  }
  // The container's destruction cleared the engine's reference.
  EXPECT_EQ(fd.errContainer(), nullptr);
}

TEST(EngineCommand, OpenOnDemandOpensAndClosesPerCommand) {
  // Command 74 and the command each come on a connection of their own.
  auto peer = DevicePeer::tcp(true, DevicePeer::answerAll(), 2);
  Engine e;
  e.fd.set_CommunicationType(ct_TCPIP);
  e.fd.TCPIP()->set_Address("127.0.0.1");
  e.fd.TCPIP()->set_port(peer->port());
  e.fd.ocoecModeOn = true;
  EXPECT_TRUE(e.cmd(255, "x\t"));
  EXPECT_EQ(e.code(), 0);
  EXPECT_FALSE(e.fd.TCPIP()->Active());
  peer->join();
  EXPECT_EQ(peer->requests().size(), 2u);
}

TEST(EngineCommand, Command90WithoutTabSplitsAtCommaAndBlank) {
  auto peer = DevicePeer::tcp(true, [](PeerLink& l) {
    answerFirst(l);
    Request r;
    if (l.readRequest(r)) l.answer(r, "KT-33A,1.00 01.01.2026\tx");
  });
  Engine e;
  e.connectTcp(peer->port());
  e.err.set_LastErrorCode(0);
  EXPECT_TRUE(e.cmd(90, ""));
  EXPECT_EQ(e.fd.answerFieldsList, (std::vector<std::string>{"KT-33A", "1.00", "01.01.2026", "x"}));
  EXPECT_EQ(e.code(), 0) << "not taken from field 0";
  EXPECT_EQ(e.fd.delimitersList, (std::vector<std::string>{"\t"}));
  peer->join();
}

TEST(EngineCommand, EmptyDelimiterListMakesTheWholeAnswerFieldZero) {
  auto peer = DevicePeer::tcp(true, DevicePeer::answerAll([](const Request&) { return std::string("0\tA\t"); }));
  Engine e;
  e.fd.delimitersList.clear();
  e.connectTcp(peer->port());
  EXPECT_TRUE(e.cmd(255, "x\t"));
  EXPECT_EQ(e.code(), codes::FIELD0_NOT_INT);
  EXPECT_EQ(e.fd.answerFieldsList, (std::vector<std::string>{"0\tA\t"}));
  e.fd.TCPIP()->closeConnection();
  peer->join();
}

TEST(EngineTrace, EventsCarryTheFrameInHex) {
  auto peer = DevicePeer::tcp(true, DevicePeer::answerAll([](const Request&) { return std::string("0\tKT-33A\t"); }));
  Engine e;
  e.connectTcp(peer->port());
  e.fd.firstCommand = false;
  e.fd.set_seqNumber(0x21);
  std::vector<TCommunicationEventArgs> sent, received;
  e.fd.OnSendCommand = [&](TFiscalDevice&, const TCommunicationEventArgs& a) { sent.push_back(a); };
  e.fd.OnReceiveAnswer = [&](TFiscalDevice&, const TCommunicationEventArgs& a) { received.push_back(a); };
  int statusChanges = 0;
  e.fd.OnStatusChange = [&](TFiscalDevice&) { ++statusChanges; };

  // Inactive trace: no communication events, but the status event fires.
  EXPECT_TRUE(e.cmd(90, "\t"));
  EXPECT_TRUE(sent.empty());
  EXPECT_EQ(statusChanges, 1);

  e.fd.set_seqNumber(0x21);
  e.fd.TCPIP()->Sniffer()->Active = true;
  EXPECT_TRUE(e.cmd(90, "\t"));
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].hexPacketHeader, "01 30 30 32 3B 21 30 30 35 3A ");
  EXPECT_EQ(sent[0].hexPacketData, "09 ");
  EXPECT_EQ(sent[0].hexPacketFooter, "05 30 31 3C 3B 03 ");
  EXPECT_EQ(sent[0].repeatIndex, "1");
  EXPECT_EQ(sent[0].command, "90");
  EXPECT_EQ(sent[0].ID, 1);
  EXPECT_TRUE(sent[0].success);
  ASSERT_EQ(received.size(), 1u);
  EXPECT_TRUE(received[0].success);
  EXPECT_EQ(received[0].textValue, "0\tKT-33A\t");
  EXPECT_EQ(received[0].hexPacketData, "30 09 4B 54 2D 33 33 41 09 ");
  EXPECT_EQ(received[0].hexPacketHeader.substr(0, 3), "01 ");

  // A password shows as '*' (2A) in the events; the device gets it as it is.
  sent.clear();
  EXPECT_TRUE(e.cmd(253, "0\t1234\t"));
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].hexPacketData, "30 09 2A 2A 2A 2A 09 ");
  EXPECT_EQ(sent[0].textValue, "0\t****\t");
  e.fd.TCPIP()->closeConnection();
  peer->join();
}

TEST(EngineDiagnostic, ReadsBothCommand90Answers) {
  auto peer = DevicePeer::tcp(true, [](PeerLink& l) {
    answerFirst(l);
    Request r;
    if (l.readRequest(r)) l.answer(r, "0\ta\tb\tKT-33A\td\te\tf\tg\th\ti\tj\t");
    if (l.readRequest(r)) l.answer(r, "0\tKT-33A\t1.00\t01.01.2026\t12:00\tABCD\t0000\tKT000001\t12345678\t");
  });
  Engine e;
  e.fd.delimitersList = {"\t", ";"};
  e.connectTcp(peer->port());
  EXPECT_TRUE(e.fd.dd()->i90().getFromDevice());
  const TI90& i = e.fd.dd()->i90();
  EXPECT_EQ(i.shDTP, "a");
  EXPECT_EQ(i.shNNNNNN, "KT-33A");
  EXPECT_EQ(i.shBLV, "j");
  EXPECT_EQ(i.DeviceName, "KT-33A");
  EXPECT_EQ(i.FiscalMemoryNumber, "12345678");
  EXPECT_EQ(e.fd.delimitersList, (std::vector<std::string>{"\t"}));
  peer->join();
  auto reqs = peer->requests();
  ASSERT_EQ(reqs.size(), 3u);
  EXPECT_EQ(reqs[1].data, "#\t");
  EXPECT_EQ(reqs[2].data, "\t");
}

TEST(EngineDiagnostic, TooFewFieldsStopsAfterTheFirstRequest) {
  auto peer = DevicePeer::tcp(true, [](PeerLink& l) {
    answerFirst(l);
    Request r;
    if (l.readRequest(r)) l.answer(r, "0\ta\tb\tc\td\te\tf\tg\th\ti\t");
    l.readRequest(r, 300);
  });
  Engine e;
  e.connectTcp(peer->port());
  EXPECT_FALSE(e.fd.dd()->i90().getFromDevice());
  EXPECT_EQ(e.fd.dd()->i90().shHV, "i");
  EXPECT_EQ(e.fd.dd()->i90().shBLV, "");
  peer->join();
  EXPECT_EQ(peer->requests().size(), 2u);
}

TEST(EngineDiagnostic, Type1CutsTheSecondAnswer) {
  auto peer = DevicePeer::tcp(false, [](PeerLink& l) {
    answerFirst(l);
    Request r;
    if (l.readRequest(r)) l.answer(r, "a,b,c,d,e,f,g,h,i,j");
    if (l.readRequest(r)) l.answer(r, "name,rev date time,chk,sw,serial,fm");
  });
  Engine e(false);
  e.connectTcp(peer->port());
  EXPECT_TRUE(e.fd.dd()->i90().getFromDevice());
  const TI90& i = e.fd.dd()->i90();
  EXPECT_EQ(i.shDTP, "a");
  EXPECT_EQ(i.shBLV, "j");
  EXPECT_EQ(i.DeviceName, "name");
  EXPECT_EQ(i.FirmwareRevision, "rev");
  EXPECT_EQ(i.FirmwareDate, "date");
  EXPECT_EQ(i.FirmwareTime, "time");
  EXPECT_EQ(i.CheckSum, "chk");
  EXPECT_EQ(i.SoftwareSwitches, "sw");
  EXPECT_EQ(i.SerialNumber, "serial");
  EXPECT_EQ(i.FiscalMemoryNumber, "fm");
  peer->join();
}

TEST(EngineSerial, CommandOverAPseudoTerminal) {
  auto peer = DevicePeer::pty(true, DevicePeer::answerAll([](const Request& r) {
    return r.cmd == 255 ? std::string("0\tHello\t") : std::string("0\t");
  }));
  Engine e;
  e.fd.set_CommunicationType(ct_RS232);
  e.fd.RS232()->portName = peer->slavePath();
  e.fd.RS232()->exitByTimeValue = 500;
  ASSERT_EQ(e.fd.RS232()->openConnection(), 0);
  EXPECT_TRUE(e.cmd(255, "Header\t0\t\t"));
  EXPECT_EQ(e.fd.answerFieldsList, (std::vector<std::string>{"0", "Hello"}));
  EXPECT_EQ(e.code(), 0);
  e.fd.RS232()->closeConnection();
  peer->join();
  ASSERT_EQ(peer->requests().size(), 2u);
  EXPECT_EQ(peer->requests()[1].data, "Header\t0\t\t");
}

TEST(EngineText, CodePageConversionBothWays) {
  auto peer = DevicePeer::tcp(true, DevicePeer::answerAll([](const Request& r) { return "0\t" + r.data; }));
  Engine e;
  e.connectTcp(peer->port());
  // "Šđ" is in 1250; a Cyrillic letter is not and reaches the device as "?".
  EXPECT_TRUE(e.cmd(255, "\xC5\xA0\xC4\x91\xD0\x96\t"));
  EXPECT_EQ(e.fd.answerFieldsList[1], "\xC5\xA0\xC4\x91?");
  e.fd.TCPIP()->closeConnection();
  peer->join();
  EXPECT_EQ(peer->requests()[1].data, "\x8A\xF0?\t");
}

TEST(EngineCommand, TwoThreadsHoldingTheLockEachReadTheirOwnAnswer) {
  auto peer = DevicePeer::tcp(true, DevicePeer::answerAll([](const Request& r) { return "0\t" + r.data; }));
  Engine e;
  e.connectTcp(peer->port());
  std::atomic<int> ok{0};
  auto worker = [&](char tag) {
    for (int i = 0; i < 20; ++i) {
      std::string out;
      const std::string in = std::string(1, tag) + std::to_string(i) + "\t";
      // The code and the fields are read after the command: only the lock held across
      // both keeps the other thread's command from replacing them.
      std::lock_guard<std::recursive_mutex> hold(e.fd.lock());
      if (e.fd.customCommand(255, in, out) && out == "0\t" + in && e.code() == 0 &&
          e.fd.answerFieldsList == std::vector<std::string>{"0", in.substr(0, in.size() - 1)})
        ++ok;
    }
  };
  std::thread a(worker, 'a'), b(worker, 'b');
  a.join();
  b.join();
  EXPECT_EQ(ok.load(), 40);
  e.fd.TCPIP()->closeConnection();
  peer->join();
  EXPECT_EQ(peer->requests().size(), 41u);
}

// The waiting hook: what it is told, how a cancel ends the wait, and that nothing nests.
TEST(EngineWait, IdleHookRunsWhileWaitingAndACancelEndsTheCommand) {
  struct Variant {
    const char* name;
    bool overPty;
    bool fromThread;  // cancelled by another thread instead of from the hook
  };
  for (const Variant& v : {Variant{"tcp, cancel from the hook", false, false}, Variant{"pty, cancel from a thread", true, true}}) {
    SCOPED_TRACE(v.name);
    auto script = [](PeerLink& l) {
      Request r;
      l.readRequest(r);  // never answered
      Request retry;
      l.readRequest(retry, 1500);
    };
    auto peer = v.overPty ? DevicePeer::pty(true, script) : DevicePeer::tcp(true, script);
    Engine e;
    e.fd.firstCommand = false;  // every wait is the command's own
    std::string target;
    if (v.overPty) {
      e.fd.set_CommunicationType(ct_RS232);
      e.fd.RS232()->portName = target = peer->slavePath();
      e.fd.RS232()->exitByTimeValue = 10000;
      ASSERT_EQ(e.fd.RS232()->openConnection(), 0);
    } else {
      e.connectTcp(peer->port(), 10000);
      target = "127.0.0.1:" + std::to_string(peer->port());
    }
    std::vector<TWaitState> states;
    e.fd.OnIdle = [&](const TWaitState& s) {
      states.push_back(s);
      if (!v.fromThread && states.size() == 5) e.fd.cancelWait();
    };
    std::thread canceller;
    if (v.fromThread)
      canceller = std::thread([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        e.fd.cancelWait();
      });
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(e.cmd(255, "Header\t1\t\t"));
    const int64_t took = msSince(t0);
    if (canceller.joinable()) canceller.join();
    // The wait's own limit is 10 s; the cancel ends it long before.
    EXPECT_LT(took, 5000);
    EXPECT_EQ(e.code(), CODE_CANCELLED);
    EXPECT_EQ(e.err.LastErrorMessage(), "Cancelled by the user.");
    EXPECT_FALSE(e.fd.busy());
    if (!v.fromThread) {
      EXPECT_EQ(states.size(), 5u) << "the hook ends with the wait";
    }
    ASSERT_FALSE(states.empty());
    for (const TWaitState& s : states) {
      EXPECT_EQ(s.command, 255);
      EXPECT_EQ(s.target, target);
      EXPECT_EQ(s.limitMs, 10000u);
    }
    if (v.overPty) e.fd.RS232()->closeConnection();
    peer->join();
    EXPECT_EQ(peer->requests().size(), 1u) << "a cancelled command is not tried again";
  }
}

TEST(EngineWait, ACommandFromTheIdleHookIsRefusedAndSendsNothing) {
  auto peer = DevicePeer::tcp(true, [](PeerLink& l) {
    answerFirst(l);
    Request r;
    if (!l.readRequest(r)) return;
    l.sleepMs(200);
    l.answer(r, "0\tok\t");
    l.readRequest(r, 500);  // anything the refused command would have sent
  });
  Engine e;
  e.connectTcp(peer->port(), 2000);
  int calls = 0;
  bool busyInside = false, nestedResult = true;
  int nestedCode = 0;
  e.fd.OnIdle = [&](const TWaitState&) {
    if (calls++ > 0) return;
    busyInside = e.fd.busy();
    std::string out = "untouched";
    nestedResult = e.fd.customCommand(74, "", out);
    nestedCode = e.code();
  };
  EXPECT_TRUE(e.cmd(255, "x\t"));
  EXPECT_GT(calls, 0);
  EXPECT_TRUE(busyInside);
  EXPECT_FALSE(nestedResult);
  EXPECT_EQ(nestedCode, CODE_ENGINE_BUSY);
  // The running command ends as if nothing had been asked in between.
  EXPECT_EQ(e.code(), 0);
  EXPECT_EQ(e.fd.answerFieldsList, (std::vector<std::string>{"0", "ok"}));
  EXPECT_FALSE(e.fd.busy());
  peer->join();
  EXPECT_EQ(peer->requests().size(), 2u);
}

TEST(EngineCommand, DataLongerThanAFrameIsRefusedAndNothingIsSent) {
  for (bool type2 : {true, false}) {
    SCOPED_TRACE(type2 ? "protocol_Type2" : "protocol_Type1");
    auto peer = DevicePeer::tcp(type2, DevicePeer::answerAll([](const Request&) { return std::string("0\t"); }));
    Engine e(type2);
    e.connectTcp(peer->port(), 5000);  // the peer reads the long frame a byte at a time
    const uint32_t max = e.fd.maxDataBytes();
    EXPECT_EQ(max, type2 ? 65493u : 219u);
    EXPECT_FALSE(e.cmd(255, std::string(max + 1, 'A')));
    EXPECT_EQ(e.code(), CODE_DATA_TOO_LONG);
    EXPECT_EQ(e.err.LastErrorMessage(), "The data are too long for one frame, nothing was sent: " +
                                            std::to_string(max + 1) + " bytes, at most " + std::to_string(max));
    EXPECT_TRUE(e.fd.firstCommand) << "not even the first command went out";
    // At the limit the whole text goes, its last TAB included.
    const std::string longest = std::string(max - 1, 'A') + "\t";
    EXPECT_TRUE(e.cmd(255, longest));
    e.fd.TCPIP()->closeConnection();
    peer->join();
    const auto reqs = peer->requests();
    ASSERT_EQ(reqs.size(), 2u);
    EXPECT_EQ(reqs[1].data, longest);
  }
}

// The look before each write and answers that come after their wait ended, over both
// transports.
namespace {

void connectEither(Engine& e, DevicePeer& peer, bool overPty, uint32_t byteLimitMs) {
  if (!overPty) {
    e.connectTcp(peer.port(), byteLimitMs);
    return;
  }
  e.fd.set_CommunicationType(ct_RS232);
  e.fd.RS232()->portName = peer.slavePath();
  e.fd.RS232()->exitByTimeValue = byteLimitMs;
  ASSERT_EQ(e.fd.RS232()->openConnection(), 0);
}

std::unique_ptr<DevicePeer> peerOver(bool overPty, DevicePeer::Script script) {
  return overPty ? DevicePeer::pty(true, std::move(script)) : DevicePeer::tcp(true, std::move(script));
}

}  // namespace

TEST(EngineLook, StaleBytesAreDroppedAndALostLinkIsReportedBeforeWriting) {
  for (bool overPty : {false, true}) {
    SCOPED_TRACE(overPty ? "pty" : "tcp");
    // After the first answer the device sends a whole frame that would pass as the next
    // command's answer, and noise: none of it may count.
    auto peer = peerOver(overPty, [](PeerLink& l) {
      answerFirst(l);
      Request r;
      if (!l.readRequest(r)) return;
      l.answer(r, "0\tfirst\t");
      l.send(answerFrame(true, static_cast<uint8_t>(r.seq + 1), r.cmd, "0\tstale\t"));
      l.send(std::string("\x16noise"));
      if (!l.readRequest(r)) return;
      l.answer(r, "0\tfresh\t");
      l.readRequest(r, 300);  // a retry would show here
    });
    Engine e;
    connectEither(e, *peer, overPty, 1000);
    EXPECT_TRUE(e.cmd(255, "a\t"));
    EXPECT_EQ(e.fd.answerFieldsList, (std::vector<std::string>{"0", "first"}));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the stale bytes arrive
    EXPECT_TRUE(e.cmd(255, "b\t"));
    EXPECT_EQ(e.fd.answerFieldsList, (std::vector<std::string>{"0", "fresh"}));
    if (overPty) e.fd.RS232()->closeConnection();
    peer->join();
    EXPECT_EQ(peer->requests().size(), 3u);
  }
  for (bool overPty : {false, true}) {
    SCOPED_TRACE(overPty ? "pty, hang-up" : "tcp, hang-up");
    auto peer = peerOver(overPty, [](PeerLink& l) {
      answerFirst(l);
      Request r;
      if (l.readRequest(r)) l.answer(r, "0\t");
      l.sleepMs(200);  // a pty's hang-up would take the unread answer with it
      l.close();
    });
    Engine e;
    connectEither(e, *peer, overPty, 1000);
    EXPECT_TRUE(e.cmd(255, "a\t"));
    peer->join();
    int sends = 0;
    e.fd.activeConnector()->Sniffer()->Active = true;
    e.fd.OnSendCommand = [&](TFiscalDevice&, const TCommunicationEventArgs&) { ++sends; };
    EXPECT_FALSE(e.cmd(255, "b\t"));
    EXPECT_EQ(e.code(), CODE_CONNECTION_LOST);
    EXPECT_EQ(sends, 0) << "nothing is written to a link that has ended";
  }
}

// A command whose wait ended (cancelled, or out of time) may still be answered, during
// the next command's wait: that answer is skipped, the next command takes its own, and
// no frame is sent twice.
TEST(EngineLook, AnAnswerArrivingAfterItsWaitEndedIsNotTakenForTheNext) {
  struct Case {
    const char* name;
    bool overPty;
    bool cancel;       // else the byte limit runs out
    size_t sentEarly;  // bytes of the first answer sent before its wait ends
  };
  const Case cases[] = {
      {"tcp, cancelled before the answer", false, true, 0},
      {"tcp, cancelled in the middle of the answer", false, true, 12},
      {"tcp, timed out", false, false, 0},
      {"pty, cancelled before the answer", true, true, 0},
      {"pty, cancelled in the middle of the answer", true, true, 12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::atomic<bool> waitEnded{false};
    auto peer = peerOver(c.overPty, [&](PeerLink& l) {
      Request a;
      if (!l.readRequest(a)) return;
      const Bytes late = answerFrame(true, a.seq, a.cmd, "0\tfor a\t");
      l.send(Bytes(late.begin(), late.begin() + static_cast<long>(c.sentEarly)));
      for (int i = 0; i < 200 && !waitEnded; ++i) l.sleepMs(10);
      Request b;
      if (!l.readRequest(b)) return;
      l.send(Bytes(late.begin() + static_cast<long>(c.sentEarly), late.end()));  // now, after b went out
      l.sleepMs(50);
      l.answer(b, "0\tfor b\t");
      Request next;
      if (!l.readRequest(next, 1000)) return;
      l.answer(next, "0\tfor c\t");
      l.readRequest(next, 300);  // a retry would show here
    });
    Engine e;
    connectEither(e, *peer, c.overPty, c.cancel ? 5000 : 300);
    e.fd.firstCommand = false;
    e.fd.repeatCount = 1;
    int hooks = 0;
    if (c.cancel)
      e.fd.OnIdle = [&](const TWaitState&) {
        if (++hooks == 4) e.fd.cancelWait();
      };
    EXPECT_FALSE(e.cmd(255, "a\t"));
    EXPECT_EQ(e.code(), c.cancel ? CODE_CANCELLED : codes::TIMEOUT);
    waitEnded = true;
    e.fd.OnIdle = nullptr;
    // Taking the late answer for b's would fail b's first attempt and send b again.
    e.fd.repeatCount = 2;
    EXPECT_TRUE(e.cmd(255, "b\t")) << e.err.LastErrorMessage();
    EXPECT_EQ(e.fd.answerFieldsList, (std::vector<std::string>{"0", "for b"}));
    EXPECT_TRUE(e.cmd(255, "c\t")) << e.err.LastErrorMessage();
    EXPECT_EQ(e.fd.answerFieldsList, (std::vector<std::string>{"0", "for c"}));
    if (c.overPty) e.fd.RS232()->closeConnection();
    peer->join();
    const auto reqs = peer->requests();
    std::vector<std::string> sent;
    for (const Request& r : reqs) sent.push_back(r.data);
    EXPECT_EQ(sent, (std::vector<std::string>{"a\t", "b\t", "c\t"})) << "each once";
  }
}
