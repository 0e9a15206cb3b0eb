#include "cli/device_session.h"

#include <cstdlib>
#include <ostream>

#include "app/logic/model_table.h"
#include "engine/rs232_connector.h"
#include "engine/tcpip_connector.h"
#include "sim/simulator.h"

namespace kestrel::cli {

namespace {

constexpr uint16_t DIAGNOSTIC_COMMAND = 90;

// The event gives the frame as header, data and footer hex, each byte "XX ".
std::string frameHex(const TCommunicationEventArgs& args, const std::string& data) {
  std::string hex = args.hexPacketHeader + data + args.hexPacketFooter;
  while (!hex.empty() && hex.back() == ' ') hex.pop_back();
  return hex;
}

}  // namespace

DeviceSession::DeviceSession(std::ostream& err, bool trace) : fErr(err), fTrace(trace), fDialogs(err) {
  fMisc.set_Dialogs(&fDialogs);
  fMisc.myMessagesCaption = "kestrel";
  fEngine.set_errContainer(&fErrors);
  fEngine.set_Misc(&fMisc);
  fEngine.messageBox = [this](const std::string& text) { fErr << "kestrel: " << text << '\n'; };
  fProfile.set_fCore(&fEngine);
  fEngine.OnSendCommand = [this](TFiscalDevice&, const TCommunicationEventArgs& a) { onFrame(a, true); };
  fEngine.OnReceiveAnswer = [this](TFiscalDevice&, const TCommunicationEventArgs& a) { onFrame(a, false); };
}

DeviceSession::~DeviceSession() { close(); }

void DeviceSession::onFrame(const TCommunicationEventArgs& args, bool written) {
  const std::string hex = frameHex(args, written ? fMask.request(static_cast<uint16_t>(std::atoi(args.command.c_str())),
                                                                  args.hexPacketData)
                                                : fMask.answer(args.hexPacketData));
  if (!hex.empty()) (written ? fSent : fReceived).push_back(hex);
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
      fErrors.set_LastErrorCode(codes::GENERAL);
      return false;
    }
    host = so.host;
    tcpPort = fSim->port();
  }

  TFDConnector* conn = nullptr;
  if (options.kind == LinkKind::Serial) {
    fEngine.set_CommunicationType(ct_RS232);
    TRS232Connector& rs = *fEngine.RS232();
    rs.portName = options.serialPath;
    if (options.serialPath.empty()) rs.port = options.serialPort;
    rs.baudRate = options.baud;
    conn = &rs;
  } else {
    fEngine.set_CommunicationType(ct_TCPIP);
    TTCPIPConnector& tcp = *fEngine.TCPIP();
    tcp.set_Address(host);
    tcp.set_port(tcpPort);
    conn = &tcp;
  }
  if (options.timeoutMs) {
    conn->exitByTimeValue = *options.timeoutMs;
    // One serial read waits its own total limit before the engine looks at the clock:
    // the same limit there, so the line is not waited for longer than asked.
    if (options.kind == LinkKind::Serial) {
      TCommTimeouts& t = fEngine.RS232()->commTimeouts;
      t.ReadTotalTimeoutMultiplier = 0;
      t.ReadTotalTimeoutConstant = *options.timeoutMs;
    }
  }
  fEngine.repeatCount = options.repeat;
  fEngine.dd()->i90().getAfterConnect = options.identify;
  conn->Sniffer()->Active = true;

  int code = codes::GENERAL;
  fOpened = true;  // a serial port whose device does not answer the diagnostic read stays open
  try {
    code = conn->openConnection();
  } catch (const EConnectorError& e) {
    code = e.code();
  } catch (const std::exception& e) {
    fErr << "kestrel: " << e.what() << '\n';
  }
  fErrors.set_LastErrorCode(code);
  if (code != 0) {
    const std::string& cause = options.kind == LinkKind::Serial ? fEngine.RS232()->lastOpenError()
                                                                 : fEngine.TCPIP()->lastOpenError();
    fErr << "kestrel: error " << code << ": " << fErrors.LastErrorMessage();
    if (!cause.empty()) fErr << " (" << cause << ")";
    fErr << '\n';
    return false;
  }
  if (!conn->Active()) {
    fErr << "kestrel: the connection did not open\n";
    return false;
  }

  // The window's engine always splits answers at TAB once connected, because its
  // connection runs the diagnostic read; without --identify that read is skipped.
  fEngine.add_DefaultDelimiters();

  if (options.identify) {
    std::string answer;
    const bool ok = fEngine.customCommand(DIAGNOSTIC_COMMAND, "\t", answer);
    if (fErrors.LastErrorCode() != 0) {
      fErr << "kestrel: error " << fErrors.LastErrorCode() << ": " << fErrors.LastErrorMessage() << '\n';
      return false;
    }
    if (!ok) {
      fErr << "kestrel: error: the identification failed; the device's status shows an error\n";
      return false;
    }
    // The window stays connected with a model it does not know; so does the tool.
    if (!findModel(fEngine.dd()->i90().shNNNNNN)) fMisc.show_MyAlert(UNSUPPORTED_MODEL_MESSAGE);
  }
  return true;
}

void DeviceSession::close() {
  if (fOpened) {
    fOpened = false;
    try {
      if (TFDConnector* conn = fEngine.activeConnector()) {
        const bool raise = fErrors.RaiseMode;
        fErrors.RaiseMode = false;
        conn->closeConnection();
        fErrors.RaiseMode = raise;
      }
    } catch (const std::exception& e) {
      // Closing runs on the way out (also from the destructor): report, never throw.
      fErr << "kestrel: closing the connection: " << e.what() << '\n';
    } catch (...) {
      fErr << "kestrel: closing the connection failed\n";
    }
  }
  if (fSim) {
    fSim->stop();
    fSim.reset();
  }
}

}  // namespace kestrel::cli
