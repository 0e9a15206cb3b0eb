// The simulator's request reading: arbitrary bytes from a client go through the frame
// assembler in pieces, as reads from a socket bring them; every frame it accepts is
// executed by a fresh device model and answered, as the server loop does.
// First input byte: bit 0 selects the Type1 frame format, bits 1-7 the piece size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/frame_codec.h"
#include "sim/device_model.h"
#include "sim/link.h"

using namespace kestrel::sim;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const LinkProtocol protocol = (data[0] & 1) ? LinkProtocol::Type1 : LinkProtocol::Type2;
  const size_t piece = (data[0] >> 1) + 1;
  ++data;
  --size;

  // A fresh device each run, copied from one made once (making one costs more).
  static const DeviceModel fresh = [] {
    DeviceModel d;
    d.hostClock = [] { return makeTime(2025, 7, 1, 10, 0, 0); };
    return d;
  }();
  DeviceModel device = fresh;
  FrameAssembler assembler(protocol);
  std::string answer, frameOut;
  size_t frames = 0;
  for (size_t at = 0; at < size; at += piece) {
    assembler.feed(data + at, std::min(piece, size - at));
    RequestFrame frame;
    for (;;) {
      const auto r = assembler.next(frame);
      if (r == FrameAssembler::Result::NeedMore) break;
      if (r == FrameAssembler::Result::Reject) continue;
      // An accepted frame lies inside what was fed and ends with the terminator.
      if (frame.raw.empty() || static_cast<uint8_t>(frame.raw.back()) != kestrel::frame::TERMINATOR) std::abort();
      if (++frames > size) std::abort();
      device.execute(frame.cmd, frame.data, answer);
      uint8_t status[8];
      device.statusBytes(status);
      completeStatusBytes(status);
      buildAnswerFrame(protocol, frame.seq, frame.cmd, answer, status, frameOut);
    }
  }
  return 0;
}
