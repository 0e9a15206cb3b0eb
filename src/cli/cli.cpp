#include "cli/cli.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <random>
#include <streambuf>
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

// A stream that passes its text on line by line with one text replaced: messages that
// name the temporary file of "-" say "standard output" instead.
class ReplacingBuf : public std::streambuf {
 public:
  ReplacingBuf(std::ostream& target, std::string from, std::string to)
      : fTarget(target), fFrom(std::move(from)), fTo(std::move(to)) {}
  ~ReplacingBuf() override { sync(); }

 protected:
  int overflow(int c) override {
    if (c == traits_type::eof()) return 0;
    fLine.push_back(static_cast<char>(c));
    if (c == '\n') sync();
    return c;
  }
  int sync() override {
    for (size_t at = fLine.find(fFrom); !fFrom.empty() && at != std::string::npos; at = fLine.find(fFrom, at + fTo.size()))
      fLine.replace(at, fFrom.size(), fTo);
    fTarget << fLine << std::flush;
    fLine.clear();
    return 0;
  }

 private:
  std::ostream& fTarget;
  std::string fFrom, fTo, fLine;
};

// "-" as an output: the command writes a private temporary file the way it writes any
// file (only a whole result, only on success), which then goes to standard output.
// Whatever else the command prints goes to stderr, so that stdout holds the file alone.
int runToStdout(Invocation inv, std::ostream& out, std::ostream& err) {
  // A folder of our own (created, not found), readable by its owner only; plain
  // std::filesystem so that the Windows build has it too.
  namespace fs = std::filesystem;
  std::error_code ec;
  std::string dir;
  std::random_device random;
  for (int attempt = 0; attempt < 100 && dir.empty(); ++attempt) {
    const fs::path p = fs::temp_directory_path(ec) / ("kestrel-stdout-" + std::to_string(random()));
    if (!ec && fs::create_directory(p, ec)) dir = p.string();
  }
  if (dir.empty()) {
    err << "kestrel: cannot create a temporary folder for standard output: " << ec.message() << '\n';
    return 1;
  }
  fs::permissions(dir, fs::perms::owner_all, fs::perm_options::replace, ec);
  struct Remove {
    std::string dir;
    ~Remove() {
      std::error_code ec;
      std::filesystem::remove_all(dir, ec);
    }
  } remove{dir};
  const std::string file = dir + "/output";
  inv.redirectOutput(file);
  int status = 1;
  {
    ReplacingBuf messages(err, file, "standard output");
    std::ostream shown(&messages);
    DeviceSession session(shown, inv.trace);
    status = runOnSession(inv, session, shown, shown);
  }
  if (status != 0 || !fs::exists(file, ec)) return status;
  out << readWholeFile(file, SIZE_MAX) << std::flush;
  return out ? 0 : 1;
}

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
  const int status = inv.command == CommandKind::Page ? runPageCommand(inv, session, out, err)
                                                     : runDeviceCommand(inv, session, out, err);
  if (status != 0)
    if (const std::string hint = session.neverAnsweredHint(); !hint.empty()) err << "kestrel: " << hint << '\n';
  return status;
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

    if (std::find(inv.outputFiles.begin(), inv.outputFiles.end(), STDOUT_NAME) != inv.outputFiles.end())
      return runToStdout(inv, out, err);
    DeviceSession session(err, inv.trace);
    return runOnSession(inv, session, out, err);
  } catch (const std::exception& e) {
    err << "kestrel: " << e.what() << '\n';
    return 1;
  }
}

}  // namespace kestrel::cli
