#pragma once
// A session whose engine is left as created (no profile), for tests that drive the
// engine or one of its transports directly. RaiseMode is off, so operations return their
// codes; tests that want the exceptions switch it on.
#include <chrono>
#include <cstdint>

#include "app/logic/session.h"

namespace kestrel::test {

struct EngineParts : TDeviceSession {
  EngineParts() : TDeviceSession(Setup::Bare) { ec.RaiseMode = false; }
  TErrContainer& ec = errContainer;
  TFiscalDevice& engine = fd;
};

inline int64_t msSince(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t).count();
}

}  // namespace kestrel::test
