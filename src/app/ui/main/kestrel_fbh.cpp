// kestrel-fbh: the desktop window. With --simulator it starts a simulated device
// in-process on a free loopback port and fills the Connect page with its address.
#include <QApplication>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include "app/ui/core/dm.h"
#include "app/ui/pages/connect_page.h"
#include "app/ui/shell/main_fbh.h"
#include "sim/simulator.h"

namespace {

void usage(std::ostream& out) {
  out << "Usage: kestrel-fbh [--simulator [--model NAME]]\n"
         "  --simulator    start a simulated KT device on a free loopback port and fill\n"
         "                 the Connect page with its address; press \"Connect\"\n"
         "  --model NAME   model of the simulated device (default KT-33A)\n";
}

bool haveDisplay() {
  for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
    if (const char* s = std::getenv(v); s && *s) return true;
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  bool simulator = false;
  std::string model;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--simulator") {
      simulator = true;
    } else if (a == "--model" && i + 1 < argc) {
      model = argv[++i];
    } else if (a.rfind("--model=", 0) == 0) {
      model = a.substr(8);
    } else if (a == "--help" || a == "-h") {
      usage(std::cout);
      return 0;
    } else {
      std::cerr << "kestrel-fbh: unknown option " << a << "\n";
      usage(std::cerr);
      return 2;
    }
  }
  if (!model.empty() && !simulator) {
    std::cerr << "kestrel-fbh: --model needs --simulator\n";
    return 2;
  }
  if (!haveDisplay()) {
    std::cerr << "kestrel-fbh: no display (DISPLAY or WAYLAND_DISPLAY is not set); the window cannot open\n";
    return 3;
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName("Kestrel FBH");

  std::unique_ptr<kestrel::sim::Simulator> sim;
  if (simulator) {
    kestrel::sim::SimulatorOptions options;
    options.port = 0;
    if (!model.empty()) {
      options.model = model;
      options.modelGiven = true;
    }
    sim = std::make_unique<kestrel::sim::Simulator>(options);
    std::string error;
    if (!sim->start(error)) {
      std::cerr << "kestrel-fbh: the simulator cannot start: " << error << "\n";
      return 1;
    }
  }

  int rc = 0;
  {
    kestrel::Tdm dm;
    kestrel::TfmMainFBH window(dm);
    if (sim) kestrel::presetTCP(window, "127.0.0.1", sim->port());
    window.show();
    rc = app.exec();
  }
  if (sim) sim->stop();
  return rc;
}
