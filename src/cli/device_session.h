#pragma once
// One connection of the tool to a device: a device session (the engine as the window
// runs it) on the transport chosen on the command line (or an in-process simulator),
// the identification of --identify, and the frames written and read, taken from the
// engine's trace events.
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "app/logic/session.h"
#include "cli/cli_args.h"
#include "engine/secrets.h"
#include "support/dialogs.h"

namespace kestrel::sim {
class Simulator;
}

namespace kestrel::cli {

class DeviceSession {
 public:
  // `err` takes the trace (when `trace` is set) and every message.
  DeviceSession(std::ostream& err, bool trace);
  ~DeviceSession();
  DeviceSession(const DeviceSession&) = delete;
  DeviceSession& operator=(const DeviceSession&) = delete;

  // Starts the simulator for --sim, opens the transport and, with identify, runs the
  // identification. On failure the reason is on `err` and the error container holds
  // the code; false.
  bool open(const ConnectionOptions& options);
  // Closes the transport and stops the simulator; failures are not reported.
  void close();

  TDeviceSession& session() { return fSession; }
  TFiscalDevice& engine() { return fSession.fd; }
  TErrContainer& errors() { return fSession.errContainer; }
  TFDMisc& misc() { return fSession.misc; }
  int code() const { return fSession.errContainer.LastErrorCode(); }
  // The command's data after the checks of prepareCommandData.
  const std::string& prepared() const { return fPrepared; }
  void set_prepared(std::string value) { fPrepared = std::move(value); }

  // Frames since the last clearFrames(), as upper-case hexadecimal bytes separated by
  // single spaces: every frame written (each retry again) and every answer read.
  const std::vector<std::string>& sent() const { return fSent; }
  const std::vector<std::string>& received() const { return fReceived; }
  // A run that failed on a link that never carried an answer: the hint says what to
  // check (the speed first, on a serial line). Empty when the device answered once.
  std::string neverAnsweredHint() const;
  void clearFrames() {
    fSent.clear();
    fReceived.clear();
  }

 private:
  void onFrame(const TCommunicationEventArgs& args, bool written);

  std::ostream& fErr;
  bool fTrace;
  TPasswordMask fMask;  // no password reaches the trace or the JSON frame lists
  StderrDialogs fDialogs;
  TDeviceSession fSession;
  std::unique_ptr<sim::Simulator> fSim;
  bool fOpened = false;
  std::string fPrepared;
  std::vector<std::string> fSent, fReceived;
  bool fEverAnswered = false;  // since open, whatever clearFrames dropped
  TLinkDescription fLink;
};

}  // namespace kestrel::cli
