#pragma once
// The engine connected to an in-process simulator, configured as the application does
// (protocol_Type2, code page 1250, the model's error bits under ccEndUser).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/fiscal_device.h"
#include "engine/rs232_connector.h"
#include "engine/tcpip_connector.h"
#include "sim/simulator.h"
#include "support/err_container.h"
#include "support/fd_misc.h"

namespace kestrel::simtest {

struct EngineOnSim {
  // identify: run the diagnostic read after opening, as connecting does.
  explicit EngineOnSim(sim::SimulatorOptions o = {}, bool overPty = false, bool identify = true) {
    o.port = 0;
    o.tcp = !overPty;
    o.pty = overPty;
    if (!o.hostClock) o.hostClock = [] { return sim::makeTime(2025, 7, 1, 10, 0, 0); };
    sim = std::make_unique<sim::Simulator>(o);
    std::string error;
    if (!sim->start(error)) throw std::runtime_error(error);
    fd.set_errContainer(&err);
    fd.set_Misc(&misc);
    err.RaiseMode = false;
    fd.messageBox = [](const std::string&) {};
    auto& ll = fd.dd()->LowLevel();
    ll.set_ProtocolType(protocol_Type2);
    for (auto [byte, bit] : std::vector<std::pair<int, int>>{
             {0, 0}, {0, 1}, {0, 4}, {0, 5}, {0, 6}, {1, 0}, {1, 1}, {2, 0}, {2, 2}, {4, 0}, {4, 4}, {4, 5}, {4, 6}})
      ll.set_sBytesChecking(byte, bit, ccEndUser, true);
    fd.dd()->CodePage = 1250;
    fd.add_DefaultDelimiters();
    if (overPty) {
      fd.dd()->i90().getAfterConnect = identify;
      fd.set_CommunicationType(ct_RS232);
      fd.RS232()->portName = sim->ptyPath();
      fd.RS232()->exitByTimeValue = 1000;
      opened = fd.RS232()->openConnection();
    } else {
      fd.set_CommunicationType(ct_TCPIP);
      fd.TCPIP()->set_Address("127.0.0.1");
      fd.TCPIP()->set_port(sim->port());
      fd.TCPIP()->exitByTimeValue = 1000;
      // The diagnostic read runs here rather than inside the open, which waits 1.8 s
      // for a real device to get ready.
      opened = fd.TCPIP()->openConnection();
      if (opened == 0 && identify && !fd.dd()->i90().getFromDevice()) opened = -3;
    }
  }
  ~EngineOnSim() {
    if (fd.CommunicationType() == ct_RS232) fd.RS232()->closeConnection();
    else fd.TCPIP()->closeConnection();
    sim->stop();
  }
  // One command as the pages send it; the answer fields stay in `fields`.
  bool cmd(uint16_t c, const std::string& in = "") {
    std::string out;
    const bool ok = fd.customCommand(c, in, out);
    fields = fd.answerFieldsList;
    return ok;
  }
  int code() const { return err.LastErrorCode(); }
  std::string field(size_t i) const { return i < fields.size() ? fields[i] : std::string("<missing>"); }
  bool bit(int byte, int b) const { return fd.dd()->LowLevel().get_sBytesState(byte, b); }
  template <class F>
  decltype(auto) device(F&& f) {
    return sim->withDevice(std::forward<F>(f));
  }

  std::unique_ptr<sim::Simulator> sim;
  TErrContainer err;
  TFDMisc misc;
  TFiscalDevice fd;
  int opened = -1;
  std::vector<std::string> fields;
};

}  // namespace kestrel::simtest
