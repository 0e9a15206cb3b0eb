// Device side of the frames: worked frames byte for byte, and a request stream cut,
// corrupted or mixed with noise.
#include <gtest/gtest.h>

#include "sim/link.h"

using namespace kestrel::sim;

namespace {

std::string bytes(std::initializer_list<int> b) {
  std::string s;
  for (int v : b) s.push_back(static_cast<char>(v));
  return s;
}

FrameAssembler::Result feedAll(FrameAssembler& a, const std::string& s) {
  a.feed(reinterpret_cast<const uint8_t*>(s.data()), s.size());
  RequestFrame f;
  return a.next(f);
}

TEST(Link, WorkedFramesByteForByte) {
  std::string out;
  buildRequestFrame(LinkProtocol::Type2, 0x20, 74, "", out);
  EXPECT_EQ(out, bytes({0x01, 0x30, 0x30, 0x32, 0x3A, 0x20, 0x30, 0x30, 0x34, 0x3A, 0x05, 0x30, 0x31, 0x3B, 0x3F, 0x03}));
  buildRequestFrame(LinkProtocol::Type2, 0x21, 90, "\t", out);
  EXPECT_EQ(out, bytes({0x01, 0x30, 0x30, 0x32, 0x3B, 0x21, 0x30, 0x30, 0x35, 0x3A, 0x09, 0x05, 0x30, 0x31, 0x3C, 0x3B,
                        0x03}));
  buildRequestFrame(LinkProtocol::Type1, 0x20, 74, "", out);
  EXPECT_EQ(out, bytes({0x01, 0x24, 0x20, 0x4A, 0x05, 0x30, 0x30, 0x39, 0x33, 0x03}));
  const uint8_t status[8] = {0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80};
  buildAnswerFrame(LinkProtocol::Type2, 0x20, 74, "0\t", status, out);
  EXPECT_EQ(out, bytes({0x01, 0x30, 0x30, 0x33, 0x35, 0x20, 0x30, 0x30, 0x34, 0x3A, 0x30, 0x09, 0x04, 0x80, 0x80, 0x80,
                        0x80, 0x80, 0x80, 0x80, 0x80, 0x05, 0x30, 0x35, 0x3F, 0x38, 0x03}));
}

TEST(Link, AssemblesFramesFedByteByByteAndBackToBack) {
  for (LinkProtocol p : {LinkProtocol::Type1, LinkProtocol::Type2}) {
    FrameAssembler a(p);
    std::string one, two;
    buildRequestFrame(p, 0x7F, 107, "R\t1\t", one);
    buildRequestFrame(p, 0x20, 62, "", two);
    RequestFrame f;
    for (size_t i = 0; i + 1 < one.size(); ++i) {
      a.feed(reinterpret_cast<const uint8_t*>(&one[i]), 1);
      EXPECT_EQ(a.next(f), FrameAssembler::Result::NeedMore);
    }
    EXPECT_TRUE(a.partial());
    const std::string rest = one.substr(one.size() - 1) + "noise" + two;
    a.feed(reinterpret_cast<const uint8_t*>(rest.data()), rest.size());
    ASSERT_EQ(a.next(f), FrameAssembler::Result::Frame);
    EXPECT_EQ(f.seq, 0x7F);
    EXPECT_EQ(f.cmd, 107);
    EXPECT_EQ(f.data, "R\t1\t");
    EXPECT_EQ(f.raw, one);
    ASSERT_EQ(a.next(f), FrameAssembler::Result::Frame) << "noise between frames is skipped";
    EXPECT_EQ(f.cmd, 62);
    EXPECT_EQ(a.next(f), FrameAssembler::Result::NeedMore);
    EXPECT_FALSE(a.partial());
  }
}

TEST(Link, RejectsCorruptFramesAndResynchronises) {
  std::string good;
  buildRequestFrame(LinkProtocol::Type2, 0x21, 255, "Header\t0\t\t", good);
  struct Case {
    const char* what;
    size_t at;
    char value;
  };
  const Case cases[] = {{"length not a nibble field", 2, 'x'},
                        {"length below the minimum", 1, 0x30},
                        {"command not a nibble field", 7, 'x'},
                        {"postamble", good.size() - 6, 0x06},
                        {"checksum", good.size() - 2, 0x30},
                        {"terminator", good.size() - 1, 0x04}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bad = good;
    bad[c.at] = c.value;
    if (std::string(c.what) == "length below the minimum") bad.replace(1, 4, "0029");
    FrameAssembler a;
    a.feed(reinterpret_cast<const uint8_t*>(bad.data()), bad.size());
    a.feed(reinterpret_cast<const uint8_t*>(good.data()), good.size());
    RequestFrame f;
    EXPECT_EQ(a.next(f), FrameAssembler::Result::Reject);
    FrameAssembler::Result r;
    while ((r = a.next(f)) == FrameAssembler::Result::Reject) {
    }
    ASSERT_EQ(r, FrameAssembler::Result::Frame) << "the good frame after it is still read";
    EXPECT_EQ(f.cmd, 255);
  }
}

TEST(Link, LongestRequestIsAccepted) {
  FrameAssembler a;
  std::string frame;
  const std::string data(65493, 'A');
  buildRequestFrame(LinkProtocol::Type2, 0x22, 255, data, frame);
  EXPECT_EQ(feedAll(a, frame), FrameAssembler::Result::Frame);
}

TEST(Link, FaultTexts) {
  FaultOptions f;
  std::string error;
  for (const char* ok : {"nak", "nak:3", "checksum:2", "seq", "drop:5", "garbage", "cut:4", "silence:10", "status:2.2",
                         "slow:1500"})
    EXPECT_TRUE(parseFault(ok, f, error)) << ok;
  EXPECT_EQ(f.nakEvery, 3);
  EXPECT_EQ(f.silenceFrom, 10);
  EXPECT_EQ(f.workMs, 1500);
  EXPECT_EQ(f.statusBits, (std::vector<std::pair<int, int>>{{2, 2}}));
  for (const char* bad : {"nak:0", "nak:x", "status:8.1", "status:2.7", "status:2", "slow", "boom"}) {
    EXPECT_FALSE(parseFault(bad, f, error)) << bad;
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
