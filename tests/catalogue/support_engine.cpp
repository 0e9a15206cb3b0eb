#include "support_engine.h"

#include "engine/tcpip_connector.h"

namespace kestrel::test {

ProfiledEngine::ProfiledEngine(bool withProfile) {
  err.RaiseMode = false;
  fd.set_errContainer(&err);
  fd.set_Misc(&misc);
  fd.messageBox = [](const std::string&) {};
  if (withProfile) profile.set_fCore(&fd);
}

bool ProfiledEngine::connect(uint16_t port, uint32_t byteLimitMs) {
  fd.set_CommunicationType(ct_TCPIP);
  fd.TCPIP()->set_Address("127.0.0.1");
  fd.TCPIP()->set_port(port);
  fd.TCPIP()->exitByTimeValue = byteLimitMs;
  fd.firstCommand = false;
  return fd.TCPIP()->openConnection() == 0;
}

}  // namespace kestrel::test
