// The raw client's framing, the same over every transport.
#include "support_sim_client.h"

#include "engine/frame_codec.h"

namespace kestrel::simtest {

namespace f = kestrel::frame;

std::vector<std::string> fieldsOf(std::string_view data) {
  std::vector<std::string> out;
  size_t pos = 0;
  while (pos < data.size()) {
    const size_t tab = data.find('\t', pos);
    if (tab == std::string_view::npos) {
      out.emplace_back(data.substr(pos));
      break;
    }
    out.emplace_back(data.substr(pos, tab - pos));
    pos = tab + 1;
  }
  return out;
}

int Answer::code() const {
  const auto f = fields();
  return f.empty() ? 1 : std::stoi(f[0]);
}

std::string RawClient::frame(uint16_t cmd, std::string_view data, uint8_t s) const {
  std::string out;
  sim::buildRequestFrame(protocol, s, cmd, data, out);
  return out;
}

Answer RawClient::call(uint16_t cmd, std::string_view data, int timeoutMs) {
  sendRaw(frame(cmd, data, seq));
  seq = f::nextSequence(seq, protocol == sim::LinkProtocol::Type2);
  return readAnswer(timeoutMs);
}

Answer RawClient::readAnswer(int timeoutMs) {
  Answer a;
  const bool type2 = protocol == sim::LinkProtocol::Type2;
  uint8_t b = 0;
  while (true) {
    if (!readByte(b, timeoutMs)) {
      a.timedOut = true;
      return a;
    }
    if (b == f::SOH) break;
    if (b == f::NAK) {
      a.nak = true;
      return a;
    }
    if (b == f::SYN) ++a.syn;
    else ++a.noise;
  }
  std::string frame(1, static_cast<char>(b));
  auto take = [&](size_t n) {
    for (size_t i = 0; i < n; ++i) {
      if (!readByte(b, timeoutMs)) return false;
      frame.push_back(static_cast<char>(b));
    }
    return true;
  };
  if (!take(type2 ? 4 : 1)) {
    a.timedOut = true;
    return a;
  }
  const auto* p = reinterpret_cast<const uint8_t*>(frame.data());
  const size_t n = type2 ? f::getNibbles(p + 1) - f::ANS_LEN_OFFSET_TYPE2 : p[1] - f::ANS_LEN_OFFSET_TYPE1;
  const size_t statusBytes = type2 ? 8 : 6;
  const size_t rest = (type2 ? 5 : 2) + n + 1 + statusBytes + 1 + 4 + 1;
  if (!take(rest)) {
    a.timedOut = true;
    return a;
  }
  p = reinterpret_cast<const uint8_t*>(frame.data());
  const size_t dataAt = type2 ? 10 : 4;
  a.seq = p[type2 ? 5 : 2];
  a.cmd = type2 ? f::getNibbles(p + 6) : p[3];
  a.data = frame.substr(dataAt, n);
  const size_t sep = dataAt + n;
  for (size_t i = 0; i < statusBytes; ++i) a.status[i] = p[sep + 1 + i];
  const size_t post = sep + 1 + statusBytes;
  a.valid = p[sep] == f::SEPARATOR && p[post] == f::POSTAMBLE &&
            f::getNibbles(p + post + 1) == f::checksum(p + 1, post) && p[post + 5] == f::TERMINATOR;
  return a;
}

}  // namespace kestrel::simtest
