#pragma once
// The commands of kestrel that talk to a device: one command through customCommand
// and what came back, printed as text or as one JSON object.
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "cli/cli_args.h"
#include "cli/device_session.h"

namespace kestrel::cli {

struct StatusBitRow {
  int byte = 0;
  int bit = 0;
  std::string description;
  bool error = false;  // an error under the engine's check profile
};

// One customCommand and everything the tool reports about it.
struct CommandOutcome {
  uint16_t command = 0;
  bool ok = false;  // customCommand's result
  int code = 0;     // the error container's
  std::string message;
  std::string answer;
  std::vector<std::string> fields;
  std::vector<int> statusBytes;
  std::vector<StatusBitRow> statusBits;  // set bits, bit 7 (always set) left out
  std::vector<std::string> sent, received;
};

CommandOutcome runCommand(DeviceSession& session, uint16_t command, const std::string& input);
// The outcome of a command that was never sent because the connection failed.
CommandOutcome notSent(DeviceSession& session, uint16_t command);
// The set status bits of the engine's last answer, bit 7 left out.
std::vector<StatusBitRow> setStatusBits(const TFiscalDevice& engine);

std::string outcomeJson(const CommandOutcome& outcome);

// The DATA of cmd, checked and resolved before anything is sent (the session keeps the
// result); false, with the reason on `err`, for data that would be cut or lose a token.
bool prepareCommandData(const Invocation& inv, DeviceSession& session, std::ostream& err);

// Runs a device command of `inv` on an open session and prints its result; returns
// the exit status.
int runDeviceCommand(const Invocation& inv, DeviceSession& session, std::ostream& out, std::ostream& err);
// What --json prints when the connection could not be opened.
void printOpenFailure(const Invocation& inv, DeviceSession& session, std::ostream& out);

int runPorts(const Invocation& inv, std::ostream& out, std::ostream& err);
// detect (cli_detect.cpp)
int runDetect(const Invocation& inv, std::ostream& out, std::ostream& err);

}  // namespace kestrel::cli
