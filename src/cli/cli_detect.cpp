// kestrel detect: the device search of the Connect page's "Find device" on the terminal.

#include <ostream>

#include "app/logic/device_search.h"
#include "cli/cli_commands.h"
#include "cli/json_out.h"
#include "support/console.h"

namespace kestrel::cli {

namespace {

const char* outcomeWord(TSearchOutcome o) {
  switch (o) {
    case TSearchOutcome::Found: return "found";
    case TSearchOutcome::NoAnswer: return "no answer";
    case TSearchOutcome::Busy: return "busy";
    case TSearchOutcome::NotPermitted: return "not permitted";
    case TSearchOutcome::Missing: return "missing";
    case TSearchOutcome::Failed: return "failed";
  }
  return "failed";
}

}  // namespace

int runDetect(const Invocation& inv, std::ostream& out, std::ostream& err) {
  TSearchOptions o;
  o.ports = inv.detectPorts;
  o.tcpHost = inv.detectHost;
  if (inv.detectTcpPort) o.tcpPort = inv.detectTcpPort;
  if (inv.connection.timeoutMs) o.timeoutMs = static_cast<int>(*inv.connection.timeoutMs);
  const bool terminal = isTerminal(StdStream::Err);
  if (o.ports.empty()) {
    o.ports = machineSerialPorts();
    if (o.ports.empty()) err << "kestrel: no serial ports found on this machine\n";
  }
  o.onAttempt = [&](const TSearchTarget& t, int index, int total) {
    if (terminal) err << "\r\033[Ktrying " << t.label() << " (" << index << " / " << total << ")" << std::flush;
  };
  const TSearchResult result = searchDevices(o);
  if (terminal) err << "\r\033[K" << std::flush;

  std::string devices, problems;
  for (const TSearchFinding& f : result.findings) {
    const bool found = f.outcome == TSearchOutcome::Found;
    JsonObject j;
    j.add("port", f.target.tcp ? f.target.host : f.target.port);
    if (f.target.tcp) j.add("tcp_port", static_cast<int>(f.target.tcpPort));
    else j.add("baud", f.target.baud);
    if (found) {
      j.add("model", f.model).add("serial", f.serial).add("fiscal_memory", f.fiscalMemory);
      (devices.empty() ? devices : devices += ",") += j.text();
    } else {
      j.add("problem", outcomeWord(f.outcome)).add("message", f.message);
      (problems.empty() ? problems : problems += ",") += j.text();
    }
    if (inv.json) continue;
    if (found) {
      out << f.target.label() << ": " << (f.model.empty() ? "a KT device" : f.model) << ", "
          << (f.serial.empty() ? std::string("no serial number set yet") : "serial " + f.serial) << '\n';
    } else {
      const std::string where = f.target.tcp ? f.target.label() : f.target.port;
      err << "kestrel: " << where << ": " << outcomeWord(f.outcome) << (f.message.empty() ? "" : " (" + f.message + ")")
          << '\n';
    }
  }
  if (inv.json) {
    out << JsonObject().addRaw("devices", "[" + devices + "]").addRaw("problems", "[" + problems + "]").add("found", result.device() != nullptr).text()
        << '\n';
  } else if (!result.device()) {
    err << "kestrel: " << result.outcome.cause << '\n';
  }
  return result.outcome.ok() ? 0 : 1;
}

}  // namespace kestrel::cli
