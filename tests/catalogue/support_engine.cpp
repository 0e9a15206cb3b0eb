#include "support_engine.h"


namespace kestrel::test {

ProfiledEngine::ProfiledEngine(bool withProfile) : TDeviceSession(withProfile ? Setup::Profiled : Setup::Bare) {
  err.RaiseMode = false;
  fd.messageBox = [](const std::string&) {};
}

bool ProfiledEngine::connect(uint16_t port, uint32_t byteLimitMs) {
  TLinkDescription link;
  link.tcp = true;
  link.host = "127.0.0.1";
  link.tcpPort = port;
  link.byteLimitMs = byteLimitMs;
  fd.firstCommand = false;
  return open(link).ok();
}

}  // namespace kestrel::test
