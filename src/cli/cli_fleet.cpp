#include "cli/cli_fleet.h"


#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstring>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <thread>

#include "cli/cli.h"
#include "cli/cli_args.h"
#include "cli/cli_pages.h"
#include "cli/device_session.h"
#include "cli/json_out.h"
#include "support/console.h"

namespace kestrel::cli {

namespace {

constexpr int MAX_JOBS = 64;

std::vector<std::string> words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> w;
  for (std::string s; in >> s;) w.push_back(s);
  return w;
}

bool digits(const std::string& s) {
  return !s.empty() && s.size() <= 9 && std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c); });
}

// The connection options of one device; throws UsageError for a link that is none.
std::vector<std::string> linkArgsOf(const std::string& link) {
  if (link.rfind("tcp:", 0) == 0) {
    const std::string target = link.substr(4);
    std::string host;
    uint16_t port = 0;
    parseTcpTarget(target, host, port);
    return {"--tcp", target};
  }
  if (link.rfind("serial:", 0) == 0) {
    std::string path = link.substr(7);
    std::string baud;
    if (const size_t at = path.rfind('@'); at != std::string::npos) {
      baud = path.substr(at + 1);
      path.resize(at);
      if (!digits(baud) || std::stol(baud) == 0) throw UsageError("line speed '" + baud + "' is not a number");
    }
    if (path.empty()) throw UsageError("no serial port in '" + link + "'");
    std::vector<std::string> a{"--serial", path};
    if (!baud.empty()) a.insert(a.end(), {"--baud", baud});
    return a;
  }
  throw UsageError("'" + link + "' is no link: give tcp:HOST[:PORT] or serial:PATH[@BAUD]");
}

// A name goes into file names through {name}: it may not leave the folder it is put in.
bool safeName(const std::string& name) {
  return name != "." && name != ".." && name.find('/') == std::string::npos && name.find('{') == std::string::npos;
}

bool hasPlaceholder(const std::string& s) {
  return s.find("{name}") != std::string::npos || s.find("{serial}") != std::string::npos;
}

std::atomic<bool> gFleetStop{false};
void onFleetInterrupt(int) { gFleetStop = true; }

bool stopRequested() {
  std::ostringstream none;
  return gFleetStop || CliPageHost(none).stopRequested();
}

struct DeviceResult {
  bool ran = false;
  int exit = 1;
  std::string model, out, err;
};

std::string lastLine(const std::string& text) {
  std::string t = text;
  while (!t.empty() && (t.back() == '\n' || t.back() == '\r')) t.pop_back();
  std::string line = t.substr(t.rfind('\n') == std::string::npos ? 0 : t.rfind('\n') + 1);
  if (line.rfind("kestrel: ", 0) == 0) line.erase(0, 9);
  return line;
}

// Serial numbers become parts of file names: only characters that are safe there.
std::string fileSafe(std::string s) {
  for (char& c : s)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.') c = '_';
  return s;
}

// The serial number from the diagnostic read, on a session of its own.
std::string readSerial(const Invocation& inv, std::ostream& err) {
  DeviceSession probe(err, false);
  ConnectionOptions c = inv.connection;
  c.identify = false;
  if (!probe.open(c)) return {};
  TI90& i90 = probe.engine().dd()->i90();
  if (!i90.getFromDevice()) return {};
  return fileSafe(i90.SerialNumber);
}

void runDevice(const FleetDevice& d, const std::vector<std::string>& command, bool needsSerial, DeviceResult& r) {
  std::ostringstream out, err;
  r.ran = true;
  try {
    std::string serial;
    if (needsSerial) {
      std::vector<std::string> probeArgs = d.linkArgs;
      const auto named = withPlaceholders(command, d.name, "serial");
      probeArgs.insert(probeArgs.end(), named.begin(), named.end());
      serial = readSerial(parseCommandLine(probeArgs), err);
      if (serial.empty()) throw std::runtime_error("the serial number for {serial} could not be read");
    }
    std::vector<std::string> args = d.linkArgs;
    const auto named = withPlaceholders(command, d.name, serial);
    args.insert(args.end(), named.begin(), named.end());
    const Invocation inv = parseCommandLine(args);
    DeviceSession session(err, inv.trace);
    r.exit = runOnSession(inv, session, out, err);
    TI90& i90 = session.engine().dd()->i90();
    r.model = !i90.DeviceName.empty() ? i90.DeviceName : i90.shNNNNNN;
  } catch (const UsageError& e) {
    err << "kestrel: " << e.what() << '\n';
    r.exit = 2;
  } catch (const std::exception& e) {
    err << "kestrel: " << e.what() << '\n';
    r.exit = 1;
  }
  r.out = out.str();
  r.err = err.str();
}

// The command's own JSON as one value: its one line, several lines as an array, null
// for none.
std::string resultJson(const std::string& out) {
  std::vector<std::string> lines;
  std::istringstream in(out);
  for (std::string l; std::getline(in, l);)
    if (!l.empty()) lines.push_back(l);
  if (lines.empty()) return "null";
  // A line that is no JSON object or array is kept as a string.
  for (std::string& l : lines)
    if (l[0] != '{' && l[0] != '[') l = jsonString(l);
  if (lines.size() == 1) return lines[0];
  std::string a = "[";
  for (size_t i = 0; i < lines.size(); ++i) a += (i ? "," : "") + lines[i];
  return a + "]";
}

std::string resultWord(const DeviceResult& r) {
  if (!r.ran) return "not run";
  return r.exit == 0 ? "ok" : "failed";
}

// With --json a command reports its failure in its own object ("error_message" or
// "message") and writes nothing on stderr: the text of that member.
std::string jsonMessage(const std::string& out) {
  for (const char* key : {"\"error_message\": \"", "\"message\": \""}) {
    const size_t at = out.find(key);
    if (at == std::string::npos) continue;
    std::string text;
    for (size_t i = at + std::strlen(key); i < out.size() && out[i] != '"'; ++i) {
      if (out[i] == '\\' && i + 1 < out.size()) ++i;
      text += out[i];
    }
    if (!text.empty()) return text;
  }
  return {};
}

// A health check that could be read sums up as its verdict: the lines after the clock's
// ("OK", or one line per problem), so that the table is the fleet's health at a glance.
std::string healthVerdict(const std::string& out) {
  const size_t clock = out.find("clock difference: ");
  const size_t from = clock == std::string::npos ? std::string::npos : out.find('\n', clock);
  if (from == std::string::npos) return {};
  std::istringstream lines(out.substr(from + 1));
  std::string verdict;
  for (std::string l; std::getline(lines, l);)
    if (!l.empty()) verdict += (verdict.empty() ? "" : "; ") + l;
  return verdict;
}

std::string messageOf(const DeviceResult& r, bool health = false) {
  if (!r.ran) return "interrupted before it started";
  if (r.exit == 0) return health ? healthVerdict(r.out) : std::string();
  const std::string text = lastLine(r.err);
  return text.empty() ? jsonMessage(r.out) : text;
}

void printSummary(const std::vector<FleetDevice>& devices, const std::vector<DeviceResult>& results, bool health,
                  std::ostream& out) {
  std::vector<size_t> order(devices.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  // Failures last, so they are what the technician sees at the end of the output.
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return (results[a].exit == 0) > (results[b].exit == 0); });
  std::vector<std::vector<std::string>> rows{{"DEVICE", "MODEL", "RESULT", "MESSAGE"}};
  for (size_t i : order) rows.push_back({devices[i].name, results[i].model, resultWord(results[i]), messageOf(results[i], health)});
  std::vector<size_t> width(4, 0);
  for (const auto& row : rows)
    for (size_t c = 0; c < 3; ++c) width[c] = std::max(width[c], row[c].size());
  for (const auto& row : rows) {
    std::string line;
    for (size_t c = 0; c < 4; ++c) line += c < 3 ? row[c] + std::string(width[c] - row[c].size() + 2, ' ') : row[c];
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out << line << '\n';
  }
  size_t failed = 0;
  for (const DeviceResult& r : results) failed += r.exit != 0;
  out << devices.size() - failed << " of " << devices.size() << " devices ok\n";
}

// Splits --hosts and --jobs from the rest; false when there is no --hosts.
bool takeFleetOptions(const std::vector<std::string>& args, std::string& hosts, int& jobs,
                      std::vector<std::string>& rest) {
  bool fleet = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](const char* name) -> std::optional<std::string> {
      const std::string n(name);
      if (a == n) {
        if (i + 1 >= args.size()) throw UsageError(n + " needs a value");
        return args[++i];
      }
      if (a.rfind(n + "=", 0) == 0) return a.substr(n.size() + 1);
      return std::nullopt;
    };
    if (auto h = value("--hosts")) {
      hosts = *h;
      fleet = true;
    } else if (auto j = value("--jobs")) {
      if (!digits(*j) || std::stol(*j) < 1) throw UsageError("--jobs: '" + *j + "' is not a number from 1");
      jobs = static_cast<int>(std::min<long>(std::stol(*j), MAX_JOBS));
    } else {
      rest.push_back(a);
    }
  }
  if (!fleet && jobs > 0) throw UsageError("--jobs needs --hosts");
  return fleet;
}

bool askOnce(const std::vector<FleetDevice>& devices, std::ostream& err) {
  err << "This cannot be undone. It runs on " << devices.size() << " devices:\n";
  for (const FleetDevice& d : devices) err << "  " << d.name << "  " << d.link << '\n';
  err << "Are you sure? [y/N] " << std::flush;
  std::string answer;
  if (!std::getline(std::cin, answer)) answer.clear();
  if (!answer.empty() && answer.back() == '\r') answer.pop_back();
  return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
}

}  // namespace

std::vector<FleetDevice> parseHostsFile(const std::string& text) {
  std::vector<FleetDevice> devices;
  std::istringstream in(text);
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::vector<std::string> w = words(line);
    if (w.empty() || w[0][0] == '#') continue;
    const std::string where = "hosts file line " + std::to_string(number) + ": ";
    if (w.size() != 2) throw UsageError(where + "expected NAME tcp:HOST[:PORT] or NAME serial:PATH[@BAUD]");
    if (!safeName(w[0])) throw UsageError(where + "the name '" + w[0] + "' may not hold '/' or '{' or be . or ..");
    for (const FleetDevice& d : devices)
      if (d.name == w[0])
        throw UsageError(where + "the name '" + w[0] + "' is given twice (first on line " + std::to_string(d.line) + ")");
    FleetDevice d;
    d.name = w[0];
    d.link = w[1];
    d.line = number;
    try {
      d.linkArgs = linkArgsOf(w[1]);
    } catch (const UsageError& e) {
      throw UsageError(where + e.what());
    }
    devices.push_back(std::move(d));
  }
  return devices;
}

std::vector<std::string> withPlaceholders(std::vector<std::string> args, const std::string& name,
                                          const std::string& serial) {
  for (std::string& a : args) {
    for (const auto& [key, value] : {std::pair<std::string, std::string>{"{name}", name}, {"{serial}", serial}}) {
      for (size_t at = a.find(key); at != std::string::npos; at = a.find(key, at + value.size()))
        a.replace(at, key.size(), value);
    }
  }
  return args;
}

std::optional<int> runFleet(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string hostsPath;
  int jobs = 0;
  std::vector<std::string> command;
  std::vector<FleetDevice> devices;
  bool json = false;
  bool health = false;  // the summary then carries each device's verdict
  try {
    if (!takeFleetOptions(args, hostsPath, jobs, command)) return std::nullopt;
    for (const std::string& a : command)
      if (a == "--tcp" || a == "--serial" || a == "--sim" || a.rfind("--tcp=", 0) == 0 || a.rfind("--serial=", 0) == 0)
        throw UsageError("--hosts takes the links from its file: no --tcp, --serial or --sim");
    std::ifstream in(hostsPath, std::ios::binary);
    if (!in) throw UsageError("--hosts: cannot read '" + hostsPath + "'");
    std::stringstream text;
    text << in.rdbuf();
    devices = parseHostsFile(text.str());
    if (devices.empty()) throw UsageError("--hosts: '" + hostsPath + "' lists no device");
    // The command is checked once for every device, before any device is touched.
    Invocation first;
    for (const FleetDevice& d : devices) {
      std::vector<std::string> check = d.linkArgs;
      const auto named = withPlaceholders(command, d.name, "serial");
      check.insert(check.end(), named.begin(), named.end());
      const Invocation inv = parseCommandLine(check);
      if (inv.help) throw UsageError("--hosts runs a command; see kestrel --help");
      if (!inv.needsDevice()) throw UsageError("--hosts runs commands on devices; this one needs none");
      json = inv.json;
      if (&d == &devices.front()) {
        std::vector<std::string> raw = d.linkArgs;
        raw.insert(raw.end(), command.begin(), command.end());
        first = parseCommandLine(raw);
        health = first.pageCommand == "health";
      }
    }
    for (const std::string& f : first.outputFiles) {
      if (f == "-") throw UsageError("--hosts: '-' (standard output) takes one device's file; give a file with {name}");
      if (devices.size() > 1 && !hasPlaceholder(f))
        throw UsageError("the file '" + f + "' would be written by every device: put {name} or {serial} into it");
    }
    if (first.irreversible && !first.yes) {
      if (!isTerminal(StdStream::In))
        throw UsageError(first.pageCommand + " cannot be undone; without a terminal to ask on, add --yes to run it on " +
                         std::to_string(devices.size()) + " device(s)");
      if (!askOnce(devices, err)) {
        err << "kestrel: cancelled; nothing was sent\n";
        return 1;
      }
      command.push_back("--yes");
    }
  } catch (const UsageError& e) {
    err << "kestrel: " << e.what() << "\nRun with --help for more information.\n";
    return 2;
  }

  bool needsSerial = false;
  for (const std::string& a : command) needsSerial = needsSerial || a.find("{serial}") != std::string::npos;
  const size_t workers = std::min<size_t>(devices.size(), jobs > 0 ? static_cast<size_t>(jobs) : MAX_JOBS);
  std::vector<DeviceResult> results(devices.size());
  std::atomic<size_t> next{0};
  std::mutex printing;
  // Ctrl-C for the fleet's run: no device starts after it. A page command that runs
  // meanwhile catches it itself and ends its loop.
  gFleetStop = false;
  InterruptScope interrupt(onFleetInterrupt, InterruptScope::Every);
  auto print = [&](size_t i) {
    const FleetDevice& d = devices[i];
    const DeviceResult& r = results[i];
    std::lock_guard lock(printing);
    if (json) {
      out << JsonObject()
                 .add("device", d.name)
                 .add("link", d.link)
                 .add("ok", r.exit == 0)
                 .add("exit", r.exit)
                 .addRaw("result", resultJson(r.out))
                 .add("error", messageOf(r))
                 .text()
          << '\n'
          << std::flush;
      std::istringstream lines(r.err);
      for (std::string l; std::getline(lines, l);) err << d.name << ": " << l << '\n';
    } else {
      out << "== " << d.name << " (" << d.link << ") ==\n" << r.out << r.err << std::flush;
    }
  };
  auto work = [&] {
    for (size_t i = next++; i < devices.size(); i = next++) {
      if (stopRequested()) continue;
      runDevice(devices[i], command, needsSerial, results[i]);
      print(i);
    }
  };
  std::vector<std::thread> threads;
  for (size_t t = 0; t < workers; ++t) threads.emplace_back(work);
  for (std::thread& t : threads) t.join();
  // Devices an interruption kept from starting still get their line.
  for (size_t i = 0; i < devices.size(); ++i)
    if (!results[i].ran && json) print(i);

  if (!json) printSummary(devices, results, health, out);
  return std::any_of(results.begin(), results.end(), [](const DeviceResult& r) { return r.exit != 0; }) ? 1 : 0;
}

}  // namespace kestrel::cli
