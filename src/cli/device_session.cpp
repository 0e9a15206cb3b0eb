#include "cli/device_session.h"

#include <cstdlib>
#include <ostream>

#include "app/logic/loop_outcome.h"
#include "app/logic/model_table.h"
#include "sim/simulator.h"

namespace kestrel::cli {

namespace {

// The event gives the frame as header, data and footer hex, each byte "XX ".
std::string frameHex(const TCommunicationEventArgs& args, const std::string& data) {
  std::string hex = args.hexPacketHeader + data + args.hexPacketFooter;
  while (!hex.empty() && hex.back() == ' ') hex.pop_back();
  return hex;
}

}  // namespace

DeviceSession::DeviceSession(std::ostream& err, bool trace) : fErr(err), fTrace(trace), fDialogs(err) {
  misc().set_Dialogs(&fDialogs);
  misc().myMessagesCaption = "kestrel";
  engine().messageBox = [this](const std::string& text) { fErr << "kestrel: " << text << '\n'; };
  engine().OnSendCommand = [this](TFiscalDevice&, const TCommunicationEventArgs& a) { onFrame(a, true); };
  engine().OnReceiveAnswer = [this](TFiscalDevice&, const TCommunicationEventArgs& a) { onFrame(a, false); };
}

DeviceSession::~DeviceSession() { close(); }

std::string DeviceSession::neverAnsweredHint() const {
  if (!fOpened || fEverAnswered || !isLinkFailure(code())) return {};
  return unansweredHint(fLink, "\"kestrel detect\"");
}

void DeviceSession::onFrame(const TCommunicationEventArgs& args, bool written) {
  const std::string hex = frameHex(args, written ? fMask.request(static_cast<uint16_t>(std::atoi(args.command.c_str())),
                                                                  args.hexPacketData)
                                                : fMask.answer(args.hexPacketData));
  if (!hex.empty()) (written ? fSent : fReceived).push_back(hex);
  if (!written && !hex.empty()) fEverAnswered = true;
  if (fTrace) {
    fErr << (written ? ">> " : "<< ") << "cmd " << args.command << " try " << args.repeatIndex << ": "
         << (hex.empty() ? std::string("(no answer)") : hex) << '\n';
  }
}

bool DeviceSession::open(const ConnectionOptions& options) {
  uint16_t tcpPort = options.tcpPort;
  std::string host = options.host;
  if (options.kind == LinkKind::Sim) {
    sim::SimulatorOptions so;
    so.tcp = true;
    so.host = "127.0.0.1";
    so.port = 0;  // a free port
    so.model = options.model;
    so.modelGiven = options.modelGiven;
    fSim = std::make_unique<sim::Simulator>(so);
    std::string error;
    if (!fSim->start(error)) {
      fErr << "kestrel: the simulator does not start: " << error << '\n';
      fSim.reset();
      errors().set_LastErrorCode(codes::GENERAL);
      return false;
    }
    host = so.host;
    tcpPort = fSim->port();
  }

  TLinkDescription link;
  link.tcp = options.kind != LinkKind::Serial;
  link.host = host;
  link.tcpPort = tcpPort;
  link.serialPath = options.serialPath;
  link.serialPort = options.serialPort;
  link.baud = options.baud;
  // The same limit for a whole serial read, so the line is not waited for longer than asked.
  link.byteLimitMs = link.readLimitMs = options.timeoutMs;
  link.repeat = options.repeat;
  link.diagnosticOnOpen = options.identify;
  link.trace = true;

  fLink = link;
  fOpened = true;  // a serial port whose device does not answer the diagnostic read stays open
  const TLinkOutcome opened = fSession.open(link);
  if (opened.raised) {
    if (!opened.connectorError) fErr << "kestrel: " << opened.raisedText << '\n';
    errors().set_LastErrorCode(opened.code);
  }
  if (opened.code != 0) {
    fErr << "kestrel: error " << opened.code << ": " << errors().LastErrorMessage();
    if (!opened.cause.empty()) fErr << " (" << opened.cause << ")";
    fErr << '\n';
    if (opened.unanswered) fErr << "kestrel: " << unansweredHint(link, "\"kestrel detect\"") << '\n';
    return false;
  }
  if (!opened.active) {
    fErr << "kestrel: the connection did not open\n";
    return false;
  }

  if (options.identify) {
    const TLinkOutcome identified = fSession.identify();
    if (identified.code != 0) {
      fErr << "kestrel: error " << identified.code << ": " << errors().LastErrorMessage() << '\n';
      return false;
    }
    if (identified.refusedByStatus) {
      fErr << "kestrel: error: the identification failed; the device's status shows an error\n";
      return false;
    }
    // The window stays connected with a model it does not know; so does the tool.
    if (!identified.modelKnown) misc().show_MyAlert(UNSUPPORTED_MODEL_MESSAGE);
  }
  return true;
}

void DeviceSession::close() {
  if (fOpened) {
    fOpened = false;
    // Closing runs on the way out (also from the destructor): report, never throw.
    const bool raise = errors().RaiseMode;
    errors().RaiseMode = false;
    const TLinkOutcome closed = fSession.close();
    errors().RaiseMode = raise;
    if (closed.raised) fErr << "kestrel: closing the connection: " << closed.raisedText << '\n';
  }
  if (fSim) {
    fSim->stop();
    fSim.reset();
  }
}

}  // namespace kestrel::cli
