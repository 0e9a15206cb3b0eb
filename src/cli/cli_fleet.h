#pragma once
// kestrel --hosts FILE [--jobs N] COMMAND ...: one command on many devices at once, each
// on a session of its own, its output kept apart and printed under the device's name,
// then a summary (or one JSON line per device).
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace kestrel::cli {

// One line of the hosts file.
struct FleetDevice {
  std::string name;
  std::string link;                   // as written: "tcp:HOST[:PORT]" or "serial:PATH[@BAUD]"
  std::vector<std::string> linkArgs;  // the same as connection options of one device
  int line = 0;
};

// The devices of a hosts file: "NAME  tcp:HOST[:PORT]" or "NAME  serial:PATH[@BAUD]" one a
// line, blank lines and lines beginning with '#' skipped. Throws UsageError naming the
// line of a malformed entry or a name given twice.
std::vector<FleetDevice> parseHostsFile(const std::string& text);

// `args` with every "{name}" and "{serial}" replaced.
std::vector<std::string> withPlaceholders(std::vector<std::string> args, const std::string& name,
                                          const std::string& serial);

// Runs the fleet when `args` hold --hosts; empty otherwise (the single-device program
// goes on). Returns the exit status: 0 every device succeeded, 1 any failed, 2 usage.
std::optional<int> runFleet(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace kestrel::cli
