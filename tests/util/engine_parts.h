#pragma once
// An engine with its error container and helper component attached, as the data module
// sets it up, for tests that drive the engine or one of its transports. RaiseMode is off,
// so operations return their codes; tests that want the exceptions switch it on.
#include <chrono>
#include <cstdint>

#include "engine/fiscal_device.h"
#include "support/err_container.h"
#include "support/fd_misc.h"

namespace kestrel::test {

struct EngineParts {
  EngineParts() {
    engine.set_errContainer(&ec);
    engine.set_Misc(&misc);
    ec.RaiseMode = false;
  }
  // Declared in this order so the engine goes first.
  TErrContainer ec;
  TFDMisc misc;
  TFiscalDevice engine;
};

inline int64_t msSince(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t).count();
}

}  // namespace kestrel::test
