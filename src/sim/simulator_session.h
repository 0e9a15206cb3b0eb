#pragma once
// What the simulator's platform-independent part and its POSIX and Windows sides share.
#include <chrono>
#include <cstdint>
#include <string>

#include "sim/link.h"
#include "sim/simulator.h"

namespace kestrel::sim {

using Clock = std::chrono::steady_clock;

constexpr int WRITE_STALL_MS = 2000;  // a peer that takes no bytes for this long is dropped

// One client of the simulator: a TCP connection or the pseudo-terminal.
struct Simulator::Session {
  explicit Session(LinkProtocol p, bool isTcp) : assembler(p), tcp(isTcp) { out.reserve(70000); }
  void reset() {
    assembler.reset();
    count = 0;
    lastRaw.clear();
    cut = false;
  }
  FrameAssembler assembler;
  bool tcp;
  std::intptr_t fd = -1;  // a descriptor (POSIX) or a socket (Windows); -1 when closed
  Clock::time_point lastByte{};
  uint64_t count = 0;
  std::string lastRaw, lastData, out;
  uint8_t lastStatus[8] = {};
  bool cut = false;
};

}  // namespace kestrel::sim
