#include "cli/cli.h"

#include <exception>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/cli_args.h"
#include "cli/cli_fleet.h"
#include "cli/cli_commands.h"
#include "cli/cli_pages.h"
#include "cli/device_session.h"
#include "sim/simulator.h"
#include "support/files.h"

namespace kestrel::cli {

namespace {

int runSimulator(const Invocation& inv) {
  std::vector<std::string> words{"kestrel sim"};
  words.insert(words.end(), inv.simArgs.begin(), inv.simArgs.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  return sim::runSimulatorMain(static_cast<int>(words.size()), argv.data());
}

}  // namespace

int runOnSession(const Invocation& inv, DeviceSession& session, std::ostream& out, std::ostream& err) {
  if (!prepareCommandData(inv, session, err)) return 2;
  if (inv.command == CommandKind::Page && inv.offline) return runPageCommand(inv, session, out, err);
  if (!session.open(inv.connection)) {
    printOpenFailure(inv, session, out);
    return 1;
  }
  if (inv.command == CommandKind::Page) return runPageCommand(inv, session, out, err);
  return runDeviceCommand(inv, session, out, err);
}

int run(int argc, char** argv, std::ostream& out, std::ostream& err) {
  Invocation inv;
  forgetPasswordFiles();
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  if (const std::optional<int> fleet = runFleet(args, out, err)) return *fleet;
  try {
    inv = parseCommandLine(args);
  } catch (const UsageError& e) {
    err << "kestrel: " << e.what() << "\nRun with --help for more information.\n";
    return 2;
  } catch (const EFileError& e) {
    // A file named on the command line that is refused before anything is connected.
    err << "kestrel: " << e.what() << '\n';
    return 1;
  }
  if (inv.help) {
    out << inv.helpText;
    return 0;
  }
  try {
    if (inv.command == CommandKind::Ports) return runPorts(inv, out, err);
    if (inv.command == CommandKind::Detect) return runDetect(inv, out, err);
    if (inv.command == CommandKind::Sim) return runSimulator(inv);

    DeviceSession session(err, inv.trace);
    return runOnSession(inv, session, out, err);
  } catch (const std::exception& e) {
    err << "kestrel: " << e.what() << '\n';
    return 1;
  }
}

}  // namespace kestrel::cli
