#include "app/logic/device_search.h"

#include <cerrno>
#include <memory>

#include "app/logic/session.h"
#include "support/com_ports.h"
#include "support/dialogs.h"

namespace kestrel {

namespace {

// A search asks no questions: whatever the engine would show goes nowhere.
class SilentDialogs : public Dialogs {
 public:
  DialogResult show(const DialogRequest& request) override { return request.defaultButton; }
};

// One session per attempt, so a port left in a bad state by one attempt does not spoil
// the next.
struct Probe : TDeviceSession {
  Probe() {
    misc.set_Dialogs(&dialogs);
    fd.messageBox = [](const std::string&) {};
  }
  SilentDialogs dialogs;
};

TLinkDescription linkOf(const TSearchTarget& target) {
  TLinkDescription link;
  link.tcp = target.tcp;
  link.host = target.host;
  link.tcpPort = target.tcpPort;
  link.serialPath = target.port;
  link.baud = target.baud;
  return link;
}

TSearchOutcome openOutcome(const std::string& cause) {
  if (cause.find("busy") != std::string::npos) return TSearchOutcome::Busy;
  if (cause.find("permission denied") != std::string::npos) return TSearchOutcome::NotPermitted;
  if (cause.find("does not exist") != std::string::npos) return TSearchOutcome::Missing;
  return TSearchOutcome::Failed;
}

// Opens the target, runs the diagnostic read and closes again. An open failure gives
// its outcome and message; an open port that stays silent gives NoAnswer.
TSearchFinding attempt(const TSearchTarget& target, int timeoutMs) {
  TSearchFinding f;
  f.target = target;
  Probe p;
  TLinkDescription link = linkOf(target);
  link.byteLimitMs = link.readLimitMs = static_cast<uint32_t>(timeoutMs);
  link.repeat = 1;
  const TLinkOutcome opened = p.open(link);
  if (!opened.ok() || !opened.active) {
    f.outcome = target.tcp ? TSearchOutcome::NoAnswer : openOutcome(opened.cause);
    f.message = !opened.cause.empty() ? opened.cause : opened.raised ? opened.raisedText : p.errContainer.LastErrorMessage();
    return f;
  }
  TI90& i90 = p.fd.dd()->i90();
  bool answered = false;
  try {
    answered = i90.getFromDevice() || !i90.DeviceName.empty();
  } catch (const std::exception&) {
    answered = false;
  }
  if (answered) {
    f.outcome = TSearchOutcome::Found;
    f.model = i90.DeviceName;
    f.serial = i90.SerialNumber;
    f.fiscalMemory = i90.FiscalMemoryNumber;
  } else {
    f.outcome = TSearchOutcome::NoAnswer;
  }
  p.close();
  return f;
}

}  // namespace

std::string TSearchTarget::label() const { return linkOf(*this).label(); }

const std::vector<int>& searchSpeeds() {
  static const std::vector<int> speeds = {115200, 9600, 57600, 38400, 19200, 4800, 2400, 1200};
  return speeds;
}

std::vector<std::string> machineSerialPorts() {
  TComPortsUsage usage;
  std::vector<std::string> entries, paths;
  usage.fill_List(&entries);
  for (const std::string& e : entries) {
    const std::string path = usage.deviceOf(e);
    if (path.empty()) continue;
    bool seen = false;
    for (const std::string& p : paths) seen = seen || p == path;
    if (!seen) paths.push_back(path);
  }
  return paths;
}

const TSearchFinding* TSearchResult::device() const {
  for (const TSearchFinding& f : findings)
    if (f.outcome == TSearchOutcome::Found) return &f;
  return nullptr;
}

TSearchResult searchDevices(const TSearchOptions& options) {
  const std::vector<std::string> ports = options.ports.empty() ? machineSerialPorts() : options.ports;
  const std::vector<int>& speeds = options.speeds.empty() ? searchSpeeds() : options.speeds;
  const int total = static_cast<int>(ports.size() * speeds.size()) + (options.tcpHost.empty() ? 0 : 1);
  TSearchResult result;
  std::vector<TSearchFinding>& findings = result.findings;
  TLoopOutcome& o = result.outcome;
  o.total = total;
  int index = 0;
  auto stop = [&] {
    if (!options.host) return false;
    options.host->processMessages();
    if (options.host->stopRequested()) o.end = TLoopEnd::Stopped;
    return o.stopped();
  };
  auto found = [&] {
    return options.stopAtFirst && !findings.empty() && findings.back().outcome == TSearchOutcome::Found;
  };
  auto tried = [&](const TSearchTarget& t) {
    ++index;
    if (options.onAttempt) options.onAttempt(t, index, total);
    ++o.asked;
    TSearchFinding f = attempt(t, options.timeoutMs);
    ++o.answered;
    o.reached = index;
    return f;
  };
  auto ended = [&] {
    if (!o.stopped() && !result.device()) {
      o.end = TLoopEnd::Failed;
      o.cause = "no device found";
    }
    return result;
  };

  for (const std::string& port : ports) {
    for (std::size_t s = 0; s < speeds.size(); ++s) {
      if (stop() || found()) return ended();
      TSearchTarget t;
      t.port = port;
      t.baud = speeds[s];
      TSearchFinding f = tried(t);
      if (f.outcome == TSearchOutcome::NoAnswer) continue;
      findings.push_back(std::move(f));
      // A port that does not open will not open at another speed, and a device answers
      // at one speed only: either way the port is done.
      const int rest = static_cast<int>(speeds.size() - s - 1);
      index += rest;
      o.total -= rest;
      break;
    }
  }
  if (!options.tcpHost.empty() && !stop() && !found()) {
    TSearchTarget t;
    t.tcp = true;
    t.host = options.tcpHost;
    t.tcpPort = options.tcpPort;
    // The one TCP attempt is always reported, with the reason when nothing answered.
    findings.push_back(tried(t));
  }
  return ended();
}

}  // namespace kestrel
