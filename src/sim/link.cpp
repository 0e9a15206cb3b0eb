#include "sim/link.h"

#include "engine/frame_codec.h"
#include "sim/sim_util.h"

namespace kestrel::sim {

namespace f = kestrel::frame;

FrameAssembler::FrameAssembler(LinkProtocol protocol) : fProtocol(protocol) {
  fBuf.reserve(1 << 17);
  fFrame.reserve(1 << 17);
}

void FrameAssembler::reset() {
  fBuf.clear();
  fStart = 0;
}

void FrameAssembler::feed(const uint8_t* data, size_t len) {
  // Compact only when the consumed prefix is large, so a stream of frames costs no copying.
  if (fStart > 0 && (fStart == fBuf.size() || fStart > 65536)) {
    fBuf.erase(0, fStart);
    fStart = 0;
  }
  fBuf.append(reinterpret_cast<const char*>(data), len);
}

void FrameAssembler::consume(size_t n) { fStart += n; }

FrameAssembler::Result FrameAssembler::next(RequestFrame& frame) {
  while (fStart < fBuf.size() && static_cast<uint8_t>(fBuf[fStart]) != f::SOH) ++fStart;
  const size_t avail = fBuf.size() - fStart;
  if (avail == 0) return Result::NeedMore;
  const auto* p = reinterpret_cast<const uint8_t*>(fBuf.data() + fStart);
  const bool type2 = fProtocol == LinkProtocol::Type2;
  const size_t headerLen = type2 ? 5 : 2;
  if (avail < headerLen) return Result::NeedMore;

  size_t n;
  if (type2) {
    if (!f::isNibbleField(p + 1) || f::getNibbles(p + 1) < f::REQ_LEN_OFFSET_TYPE2) {
      consume(1);
      return Result::Reject;
    }
    n = f::getNibbles(p + 1) - f::REQ_LEN_OFFSET_TYPE2;
  } else {
    if (p[1] < f::REQ_LEN_OFFSET_TYPE1) {
      consume(1);
      return Result::Reject;
    }
    n = p[1] - f::REQ_LEN_OFFSET_TYPE1;
  }
  const size_t total = n + (type2 ? 16 : 10);
  if (avail < total) return Result::NeedMore;

  const size_t dataAt = type2 ? 10 : 4;
  const size_t post = dataAt + n;
  const bool shapeOk = p[total - 1] == f::TERMINATOR;
  bool ok = shapeOk && p[post] == f::POSTAMBLE && f::isNibbleField(p + post + 1) &&
            f::getNibbles(p + post + 1) == f::checksum(p + 1, post);
  if (ok && type2) ok = f::isNibbleField(p + 6);
  if (!ok) {
    // A frame of the right shape is dropped whole; otherwise resynchronise at the next SOH.
    consume(shapeOk ? total : 1);
    return Result::Reject;
  }
  fFrame.assign(reinterpret_cast<const char*>(p), total);
  frame.seq = p[type2 ? 5 : 2];
  frame.cmd = type2 ? f::getNibbles(p + 6) : p[3];
  frame.raw = fFrame;
  frame.data = std::string_view(fFrame).substr(dataAt, n);
  consume(total);
  return Result::Frame;
}

namespace {

void frameHead(bool type2, uint16_t length, uint8_t seq, uint16_t cmd, std::string& out) {
  out.clear();
  out.push_back(static_cast<char>(f::SOH));
  uint8_t nib[4];
  if (type2) {
    f::putNibbles(nib, length);
    out.append(reinterpret_cast<char*>(nib), 4);
    out.push_back(static_cast<char>(seq));
    f::putNibbles(nib, cmd);
    out.append(reinterpret_cast<char*>(nib), 4);
  } else {
    out.push_back(static_cast<char>(length));
    out.push_back(static_cast<char>(seq));
    out.push_back(static_cast<char>(cmd & 0xFF));
  }
}

// Postamble, checksum over everything after SOH, terminator.
void frameTail(std::string& out) {
  out.push_back(static_cast<char>(f::POSTAMBLE));
  uint8_t nib[4];
  f::putNibbles(nib, f::checksum(reinterpret_cast<const uint8_t*>(out.data()) + 1, out.size() - 1));
  out.append(reinterpret_cast<char*>(nib), 4);
  out.push_back(static_cast<char>(f::TERMINATOR));
}

}  // namespace

void buildAnswerFrame(LinkProtocol protocol, uint8_t seq, uint16_t cmd, std::string_view data,
                      const uint8_t* status, std::string& out) {
  const bool type2 = protocol == LinkProtocol::Type2;
  // The length fields cannot describe more; a longer answer is cut.
  const size_t maxData = type2 ? 65484 : 212;
  if (data.size() > maxData) data = data.substr(0, maxData);
  frameHead(type2, static_cast<uint16_t>(data.size() + (type2 ? f::ANS_LEN_OFFSET_TYPE2 : f::ANS_LEN_OFFSET_TYPE1)),
            seq, cmd, out);
  out.append(data);
  out.push_back(static_cast<char>(f::SEPARATOR));
  out.append(reinterpret_cast<const char*>(status), type2 ? f::STATUS_BYTES_TYPE2 : f::STATUS_BYTES_TYPE1);
  frameTail(out);
}

void buildRequestFrame(LinkProtocol protocol, uint8_t seq, uint16_t cmd, std::string_view data, std::string& out) {
  const bool type2 = protocol == LinkProtocol::Type2;
  frameHead(type2, static_cast<uint16_t>(data.size() + (type2 ? f::REQ_LEN_OFFSET_TYPE2 : f::REQ_LEN_OFFSET_TYPE1)),
            seq, cmd, out);
  out.append(data);
  frameTail(out);
}

bool FaultOptions::any() const {
  return nakEvery || badChecksumEvery || badSeqEvery || dropEvery || garbageEvery || cutEvery || silenceFrom ||
         workMs || !statusBits.empty();
}

bool parseFault(std::string_view text, FaultOptions& faults, std::string& error) {
  const size_t colon = text.find(':');
  const std::string_view kind = text.substr(0, colon);
  const std::string_view arg = colon == std::string_view::npos ? std::string_view{} : text.substr(colon + 1);
  auto count = [&](int& target) {
    if (arg.empty()) {
      target = 1;
      return true;
    }
    const auto v = parseInt(arg);
    if (!v || *v < 1 || *v > 1000000) {
      error = "bad count in fault '" + std::string(text) + "'";
      return false;
    }
    target = static_cast<int>(*v);
    return true;
  };
  if (kind == "nak") return count(faults.nakEvery);
  if (kind == "checksum") return count(faults.badChecksumEvery);
  if (kind == "seq") return count(faults.badSeqEvery);
  if (kind == "drop") return count(faults.dropEvery);
  if (kind == "garbage") return count(faults.garbageEvery);
  if (kind == "cut") return count(faults.cutEvery);
  if (kind == "silence") return count(faults.silenceFrom);
  if (kind == "slow") {
    const auto v = parseInt(arg);
    if (!v || *v < 0 || *v > 600000) {
      error = "fault 'slow' needs milliseconds, e.g. slow:1500";
      return false;
    }
    faults.workMs = static_cast<int>(*v);
    return true;
  }
  if (kind == "status") {
    const size_t dot = arg.find('.');
    const auto byte = parseInt(arg.substr(0, dot));
    const auto bit = dot == std::string_view::npos ? std::nullopt : parseInt(arg.substr(dot + 1));
    if (!byte || !bit || *byte < 0 || *byte > 7 || *bit < 0 || *bit > 6) {
      error = "fault 'status' needs BYTE.BIT with byte 0-7 and bit 0-6, e.g. status:2.2";
      return false;
    }
    faults.statusBits.emplace_back(static_cast<int>(*byte), static_cast<int>(*bit));
    return true;
  }
  error = "unknown fault '" + std::string(text) +
          "' (nak, checksum, seq, drop, garbage, cut, silence, status, slow)";
  return false;
}

}  // namespace kestrel::sim
