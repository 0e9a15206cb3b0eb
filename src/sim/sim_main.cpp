// Command line of kestrel-sim.
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "sim/simulator.h"
#include "support/console.h"

namespace kestrel::sim {

namespace {

constexpr const char* USAGE =
    "Usage: kestrel-sim [options]\n"
    "A simulated KT-family fiscal device behind the device link protocol.\n"
    "\n"
    "  --tcp [HOST:]PORT     serve over TCP, one client at a time (default 127.0.0.1:4999;\n"
    "                        port 0 picks a free port and prints it)\n"
    "  --pty [LINK]          serve over a pseudo-terminal and print its path; LINK also\n"
    "                        gets a symlink to it. Without --tcp only the terminal is served\n"
    "  --baud N              pace written bytes like an N-baud 8N1 serial line; on the\n"
    "                        pseudo-terminal answer only a client set to that speed\n"
    "  --model NAME          KT-11A, KT-22A, KT-33A (default), KT-44B, KT-55B, KT-66B, KT-77B,\n"
    "                        or any other name (an unsupported model)\n"
    "  --fault FAULT          inject faults, may be repeated:\n"
    "                          nak[:N]       NAK instead of every N-th frame\n"
    "                          checksum[:N]  corrupt the checksum of every N-th answer\n"
    "                          seq[:N]       wrong sequence number in every N-th answer\n"
    "                          drop[:N]      execute every N-th command but send no answer\n"
    "                          garbage[:N]   noise bytes before every N-th answer\n"
    "                          cut[:N]       cut the connection in the middle of every N-th answer\n"
    "                          silence[:N]   no answer at all from the N-th frame on\n"
    "                          status:B.b    set bit b of status byte B in every answer\n"
    "                          slow:MS       every command takes MS milliseconds (SYN meanwhile)\n"
    "                        N counts frames per connection from 1 (default 1: every frame)\n"
    "  --state FILE          keep the device's data in FILE between runs\n"
    "  --log FILE            append one line per exchange to FILE\n"
    "  --protocol 1|2        frame format (default 2)\n"
    "  --service-password P  the device's service password (default 1234)\n"
    "  --syn-interval MS     SYN interval while a command takes long (default 100)\n"
    "  --idle-drop-ms N      drop a TCP client silent for N ms while another waits to connect\n"
    "                        (default 30000; 0: never)\n"
    "  --help                this text\n";

bool parseNumber(std::string_view text, long lo, long hi, long& out) {
  if (text.empty() || text.size() > 9) return false;
  long v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (v < lo || v > hi) return false;
  out = v;
  return true;
}

}  // namespace

int runSimulatorMain(int argc, char** argv) {
  SimulatorOptions opt;
  bool tcpGiven = false, ptyGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    auto value = [&](const char* what) -> const char* {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "kestrel-sim: %s needs %s\n", argv[i], what);
        return nullptr;
      }
      return argv[++i];
    };
    long n = 0;
    // The number after the option, within its limits, into `n`; false after saying why.
    auto number = [&](const char* what, long lo, long hi, const char* bad) {
      const char* v = value(what);
      if (v && parseNumber(v, lo, hi, n)) return true;
      std::fprintf(stderr, "kestrel-sim: %s\n", bad);
      return false;
    };
    if (a == "--help" || a == "-h") {
      std::fputs(USAGE, stdout);
      return 0;
    } else if (a == "--tcp") {
      const char* v = value("[HOST:]PORT");
      if (!v) return 2;
      std::string_view text = v;
      if (const size_t colon = text.rfind(':'); colon != std::string_view::npos) {
        opt.host = std::string(text.substr(0, colon));
        text = text.substr(colon + 1);
      }
      if (!parseNumber(text, 0, 65535, n)) {
        std::fprintf(stderr, "kestrel-sim: bad port '%s'\n", v);
        return 2;
      }
      opt.port = static_cast<uint16_t>(n);
      tcpGiven = true;
    } else if (a == "--pty") {
      ptyGiven = true;
      if (i + 1 < argc && std::strncmp(argv[i + 1], "--", 2) != 0) opt.ptyLink = argv[++i];
    } else if (a == "--baud") {
      if (!number("a speed", 50, 4000000, "bad speed")) return 2;
      opt.baud = static_cast<int>(n);
    } else if (a == "--model") {
      const char* v = value("a model name");
      if (!v) return 2;
      opt.model = v;
      opt.modelGiven = true;
    } else if (a == "--fault") {
      const char* v = value("a fault");
      if (!v) return 2;
      std::string error;
      if (!parseFault(v, opt.faults, error)) {
        std::fprintf(stderr, "kestrel-sim: %s\n", error.c_str());
        return 2;
      }
    } else if (a == "--state") {
      const char* v = value("a file");
      if (!v) return 2;
      opt.stateFile = v;
    } else if (a == "--log") {
      const char* v = value("a file");
      if (!v) return 2;
      opt.logFile = v;
    } else if (a == "--protocol") {
      if (!number("1 or 2", 1, 2, "--protocol takes 1 or 2")) return 2;
      opt.protocol = n == 1 ? LinkProtocol::Type1 : LinkProtocol::Type2;
    } else if (a == "--service-password") {
      const char* v = value("a password");
      if (!v) return 2;
      opt.servicePassword = v;
    } else if (a == "--syn-interval") {
      if (!number("milliseconds", 1, 60000, "bad SYN interval")) return 2;
      opt.synIntervalMs = static_cast<int>(n);
    } else if (a == "--idle-drop-ms") {
      if (!number("milliseconds", 0, 86400000, "--idle-drop-ms takes milliseconds from 0 (never) to 86400000")) return 2;
      opt.idleDropMs = static_cast<int>(n);
    } else {
      std::fprintf(stderr, "kestrel-sim: unknown option '%s'\n%s", argv[i], USAGE);
      return 2;
    }
  }
  if (ptyGiven && !ptySupported()) {
    std::fprintf(stderr, "kestrel-sim: --pty: pseudo-terminals exist on Linux only; on Windows use --tcp\n");
    return 2;
  }
  opt.pty = ptyGiven;
  opt.tcp = tcpGiven || !ptyGiven;

  // Held before the serving thread starts, so that it inherits the held signals.
  StopRequests stopRequests;

  Simulator sim(opt);
  std::string error;
  if (!sim.start(error)) {
    std::fprintf(stderr, "kestrel-sim: %s\n", error.c_str());
    return 1;
  }
  if (!sim.stateWarning().empty()) std::fprintf(stderr, "kestrel-sim: %s\n", sim.stateWarning().c_str());
  const std::string model = sim.withDevice([](DeviceModel& d) { return d.model().name; });
  std::printf("kestrel-sim: %s%s\n", model.c_str(), modelInfo(model).index < 0 ? " (unsupported model)" : "");
  if (opt.tcp) std::printf("kestrel-sim: listening on %s:%u\n", opt.host.c_str(), sim.port());
  if (opt.pty) {
    std::printf("kestrel-sim: pseudo-terminal %s\n", sim.ptyPath().c_str());
    if (!opt.ptyLink.empty()) std::printf("kestrel-sim: link %s -> %s\n", opt.ptyLink.c_str(), sim.ptyPath().c_str());
  }
  std::fflush(stdout);
  stopRequests.wait();
  sim.stop();
  std::printf("kestrel-sim: stopped\n");
  // The device's last state is lost: a script that runs the simulator must see that.
  return sim.stateSaveFailed() ? 1 : 0;
}

}  // namespace kestrel::sim
