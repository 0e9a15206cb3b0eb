#pragma once
// A device session (the engine as the product configures it through the KT-33A
// profile) connected to an in-process simulator.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/logic/session.h"
#include "engine/rs232_connector.h"
#include "engine/tcpip_connector.h"
#include "sim/simulator.h"

namespace kestrel::simtest {

struct EngineOnSim : TDeviceSession {
  // identify: run the diagnostic read after opening, as connecting does.
  explicit EngineOnSim(sim::SimulatorOptions o = {}, bool overPty = false, bool identify = true) {
    o.port = 0;
    o.tcp = !overPty;
    o.pty = overPty;
    if (!o.hostClock) o.hostClock = [] { return sim::makeTime(2025, 7, 1, 10, 0, 0); };
    sim = std::make_unique<sim::Simulator>(o);
    std::string error;
    if (!sim->start(error)) throw std::runtime_error(error);
    err.RaiseMode = false;
    fd.messageBox = [](const std::string&) {};
    fd.add_DefaultDelimiters();
    TLinkDescription link;
    link.byteLimitMs = 1000;
    if (overPty) {
      link.serialPath = sim->ptyPath();
      link.diagnosticOnOpen = identify;
      opened = open(link).code;
    } else {
      link.tcp = true;
      link.host = "127.0.0.1";
      link.tcpPort = sim->port();
      // The diagnostic read runs here rather than inside the open, which waits 1.8 s
      // for a real device to get ready.
      opened = open(link).code;
      if (opened == 0 && identify && !fd.dd()->i90().getFromDevice()) opened = -3;
    }
  }
  ~EngineOnSim() {
    close();
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
  TErrContainer& err = errContainer;
  int opened = -1;
  std::vector<std::string> fields;
};

}  // namespace kestrel::simtest
