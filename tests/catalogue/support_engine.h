#pragma once
// A session (engine, error container, helper component, by default configured by the
// KT-33A profile) that the catalogue tests connect to a loopback peer.
#include <cstdint>
#include <string>

#include "app/logic/session.h"

namespace kestrel::test {

struct ProfiledEngine : TDeviceSession {
  TErrContainer& err = errContainer;

  // `withProfile` false leaves the engine as created (protocol_Type1).
  explicit ProfiledEngine(bool withProfile = true);
  // Opens TCP to 127.0.0.1:port with a short per-byte limit; the first-command
  // exchange is skipped so a peer's script starts at the command under test.
  bool connect(uint16_t port, uint32_t byteLimitMs = 400);
  int code() const { return err.LastErrorCode(); }
};

}  // namespace kestrel::test
