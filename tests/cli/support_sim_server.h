#pragma once
// A simulator started in-process on a free loopback port or a pseudo-terminal, for
// the tests that reach it through --tcp or --serial.
#include <memory>
#include <stdexcept>
#include <string>

#include "sim/simulator.h"

namespace kestrel::clitest {

struct SimServer {
  explicit SimServer(sim::SimulatorOptions o = {}, bool overPty = false) {
    o.port = 0;
    o.tcp = !overPty;
    o.pty = overPty;
    sim = std::make_unique<sim::Simulator>(o);
    std::string error;
    if (!sim->start(error)) throw std::runtime_error(error);
  }
  ~SimServer() { sim->stop(); }
  std::string tcp() const { return "127.0.0.1:" + std::to_string(sim->port()); }
  std::string pty() const { return sim->ptyPath(); }

  std::unique_ptr<sim::Simulator> sim;
};

// A simulator of `model`, chosen explicitly.
inline sim::SimulatorOptions modelOptions(const std::string& model) {
  sim::SimulatorOptions o;
  o.model = model;
  o.modelGiven = true;
  return o;
}

// A cash register: the model whose pages hold clients, departments and the rest.
inline sim::SimulatorOptions registerModel() { return modelOptions("KT-11A"); }

// Clients 1 to `count` ("C1", "C2", ...) in the device.
inline void addClients(SimServer& server, int count) {
  server.sim->withDevice([&](sim::DeviceModel& d) {
    for (int n = 1; n <= count; ++n) d.mutableState().clients[n] = {"C" + std::to_string(n), "", "", "", ""};
    return 0;
  });
}

inline sim::SimulatorOptions withFault(const std::string& fault) {
  sim::SimulatorOptions o;
  std::string error;
  if (!sim::parseFault(fault, o.faults, error)) throw std::runtime_error(error);
  return o;
}

}  // namespace kestrel::clitest
