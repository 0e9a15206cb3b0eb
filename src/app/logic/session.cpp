#include "app/logic/session.h"

#include "app/logic/model_table.h"
#include "engine/rs232_connector.h"
#include "engine/tcpip_connector.h"

namespace kestrel {

namespace {

// Runs a transport operation; an exception it raises becomes part of the outcome.
template <class F>
void runGuarded(TLinkOutcome& out, F&& operation) {
  try {
    out.code = operation();
  } catch (const EConnectorError& e) {
    out.raised = out.connectorError = true;
    out.code = e.code();
    out.raisedText = e.what();
  } catch (const std::exception& e) {
    out.raised = true;
    out.code = codes::GENERAL;
    out.raisedText = e.what();
  }
}

}  // namespace

TEngineStack::TEngineStack(Setup setup) {
  fd.set_errContainer(&errContainer);
  fd.set_Misc(&misc);
  if (setup == Setup::Profiled) profile.set_fCore(&fd);
}

std::string TLinkDescription::label() const {
  if (tcp) return host + ":" + std::to_string(tcpPort);
  const std::string port = serialPath.empty() ? "/dev/ttyS" + std::to_string(serialPort - 1) : serialPath;
  return port + " at " + std::to_string(baud) + " baud";
}

std::string unansweredHint(const TLinkDescription& link, const std::string& search) {
  if (link.tcp) return "Check the address and the port, and that the device is on.";
  // Both ends must use the same speed; a serial line at another speed only carries noise.
  return "Check the speed (the device's is set in its menu), the port and the cable, and that the device is on, or use " +
         search + ".";
}

TLinkOutcome TDeviceSession::open(const TLinkDescription& link) {
  TLinkOutcome out;
  TFDConnector* conn = nullptr;
  if (link.tcp) {
    fd.set_CommunicationType(ct_TCPIP);
    TTCPIPConnector& tcp = *fd.TCPIP();
    tcp.set_Address(link.host);
    tcp.set_port(link.tcpPort);
    conn = &tcp;
  } else {
    fd.set_CommunicationType(ct_RS232);
    TRS232Connector& rs = *fd.RS232();
    rs.portName = link.serialPath;
    if (link.serialPath.empty()) rs.port = link.serialPort;
    rs.baudRate = link.baud;
    if (link.readLimitMs) {
      rs.commTimeouts.ReadTotalTimeoutMultiplier = 0;
      rs.commTimeouts.ReadTotalTimeoutConstant = *link.readLimitMs;
    }
    conn = &rs;
  }
  if (link.byteLimitMs) conn->exitByTimeValue = *link.byteLimitMs;
  if (link.repeat) fd.repeatCount = *link.repeat;
  if (link.trace) conn->Sniffer()->Active = true;
  fd.dd()->i90().getAfterConnect = link.diagnosticOnOpen;

  runGuarded(out, [&] { return conn->openConnection(); });
  out.cause = conn->lastOpenError();
  out.unanswered = out.cause.ends_with(DIAGNOSTIC_UNANSWERED);
  // After an exception the container stays as the transport left it (with its detail).
  if (!out.raised) errContainer.set_LastErrorCode(out.code);
  out.active = conn->Active();
  // The engine splits answers at TAB once connected: the diagnostic read of opening
  // sets that up, and a link opened without it must not differ.
  if (out.ok() && out.active) fd.add_DefaultDelimiters();
  return out;
}

TLinkOutcome TDeviceSession::identify() {
  TLinkOutcome out;
  std::string answer;
  const bool answered = fd.customCommand(DIAGNOSTIC_COMMAND, "\t", answer);
  out.code = errContainer.LastErrorCode();
  out.refusedByStatus = out.code == 0 && !answered;
  if (const TFDConnector* conn = connector()) out.active = conn->Active();
  out.model = fd.dd()->i90().shNNNNNN;
  if (out.model.empty() && fd.answerFieldsList.size() > 1) out.model = fd.answerFieldsList[1];
  out.modelKnown = findModel(out.model) != nullptr;
  return out;
}

TLinkOutcome TDeviceSession::close() {
  TLinkOutcome out;
  TFDConnector* conn = connector();
  if (!conn) return out;
  runGuarded(out, [&] { return conn->closeConnection(); });
  out.active = conn->Active();
  return out;
}

}  // namespace kestrel
