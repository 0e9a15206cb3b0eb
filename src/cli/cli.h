#pragma once
// kestrel, the command-line tool: what the window's connection, status and custom
// command pages do, from a shell or a script, over the same engine.
#include <iosfwd>

namespace kestrel::cli {

// The whole program; tests call it in-process. Returns the exit status: 0 when the
// error container's code is 0 after the command, 1 otherwise, 2 for a usage error.
int run(int argc, char** argv, std::ostream& out, std::ostream& err);

class DeviceSession;
struct Invocation;
// One parsed command on `session`: opens it, runs the command, returns the exit status.
int runOnSession(const Invocation& inv, DeviceSession& session, std::ostream& out, std::ostream& err);

}  // namespace kestrel::cli
