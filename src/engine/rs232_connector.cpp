// The serial transport's parts both platforms share: settings, timeouts and how a read
// of n bytes is bounded by them, the trace of a failed settings write.
#include "engine/rs232_connector.h"

#include "support/com_ports.h"
#include "support/err_container.h"

namespace kestrel {

TRS232Connector::TRS232Connector(TFiscalDevice* owner) : TFDConnector(owner, 1000) {}

std::string TRS232Connector::devicePath() const {
  if (!portName.empty()) return portName;
  return devicePathOfPort(port);
}

int TRS232Connector::failOpen(const std::string& cause) {
  fLastOpenError = cause;
  setCode(codes::NOT_OPEN);
  fSniffer->logThis("TRS232Connector.openConnection: " + cause, true);
  raiseIfNeeded();
  return codes::NOT_OPEN;
}

int TRS232Connector::openConnection() {
  if (const int missing = missingComponent(true)) return missing;
  if (Active()) {
    setCode(0);
    return 0;
  }
  const OpeningScope opening(*this);
  setCode(codes::NOT_OPEN);
  const std::string path = devicePath();
  try {
    if (const std::string problem = settingsProblem(false); !problem.empty()) return failOpen(path + ": " + problem);

    if (const int code = openPort(path)) return code;
    dropInput();
    clearLinkLost();

    if (setDCBInOpenMethod) writeSettings();
    fApplied = commTimeouts;
    if (setDTRToFalseInOpenComPort && !driveLine(true, false))
      return failOpen(path + ": DTR cannot be lowered (" + lastSystemError() + ")");
    if (setRTSToFalseInOpenComPort && !driveLine(false, false))
      return failOpen(path + ": RTS cannot be lowered (" + lastSystemError() + ")");

    if (wantsDiagnosticRead()) {
      // The port stays open (unless the line was lost): the user may retry the command
      // without reopening.
      if (!runDiagnosticRead()) {
        const int code = diagnosticFailure(fLastOpenError);
        fSniffer->logThis("TRS232Connector.openConnection: " + fLastOpenError, true);
        raiseIfNeeded();
        return code;
      }
    }
    setCode(0);
    fLastOpenError.clear();
  } catch (const EConnectorError&) {
    throw;
  } catch (const std::exception& e) {
    return failOpen(path + ": " + e.what());
  }
  return 0;
}

int TRS232Connector::setLineState(bool dtr, bool level, const char* where) {
  if (missingComponent(true)) return codes::NO_TRANSPORT;
  if (!Active()) return failWith(codes::NOT_OPEN, where);
  if (!driveLine(dtr, level)) return failWith(codes::NOT_OPEN, std::string(where) + ": " + lastSystemError());
  setCode(0);
  return 0;
}

int TRS232Connector::set_DTRState(bool newStateValue) {
  return setLineState(true, newStateValue, "TRS232Connector.set_DTRState");
}

int TRS232Connector::set_RTSState(bool newStateValue) {
  return setLineState(false, newStateValue, "TRS232Connector.set_RTSState");
}

int TRS232Connector::closeConnection() {
  if (!Active()) {
    setCode(0);
    return -1;
  }
  if (!closeHandle()) {
    failWith(codes::CLOSE_FAILED, "TRS232Connector.closeConnection: " + lastSystemError());
    return -1;
  }
  setCode(0);
  return 0;
}

void TRS232Connector::logSettingsFailure(int err) {
  // The same record a port-settings write on the original platform would report.
  auto ch = [](uint8_t c) { return c ? std::string(1, static_cast<char>(c)) : std::string(); };
  const std::string lines[] = {
      "SetCommState[GetLastError] = " + std::to_string(err),
      "TBaseCommPort.Open : error setting DCB.",
      "DCB.DCBlength = 28",
      "DCB.BaudRate = " + std::to_string(baudRate),
      "DCB.Flags = 129",  // binary mode and continue-after-XOFF
      "DCB.wReserved = 0",
      "DCB.XonLim = 2048",
      "DCB.XoffLim = 2048",
      "DCB.ByteSize = " + std::to_string(byteSize),
      "DCB.Parity = " + std::to_string(parity),
      "DCB.StopBits = " + std::to_string(stopBits),
      "DCB.XonChar = " + ch(0x11),
      "DCB.XoffChar = " + ch(0x13),
      "DCB.ErrorChar = ",
      "DCB.EofChar = ",
      "DCB.EvtChar = ",
      "DCB.wReserved1 = 0",
  };
  for (const std::string& line : lines) fSniffer->logThis(line, true);
}

void TRS232Connector::init_TimeoutValues(uint32_t new_ReadIntervalTimeout, uint32_t new_ReadTotalTimeoutMultiplier,
                                         uint32_t new_ReadTotalTimeoutConstant,
                                         uint32_t new_WriteTotalTimeoutMultiplier,
                                         uint32_t new_WriteTotalTimeoutConstant) {
  commTimeouts = {new_ReadIntervalTimeout, new_ReadTotalTimeoutMultiplier, new_ReadTotalTimeoutConstant,
                  new_WriteTotalTimeoutMultiplier, new_WriteTotalTimeoutConstant};
}

int TRS232Connector::set_TimeoutValues(uint32_t new_ReadIntervalTimeout, uint32_t new_ReadTotalTimeoutMultiplier,
                                       uint32_t new_ReadTotalTimeoutConstant, uint32_t new_WriteTotalTimeoutMultiplier,
                                       uint32_t new_WriteTotalTimeoutConstant) {
  if (missingComponent(true)) return codes::NO_TRANSPORT;
  if (!Active()) return failWith(codes::NOT_OPEN, "TRS232Connector.set_TimeoutValues");
  init_TimeoutValues(new_ReadIntervalTimeout, new_ReadTotalTimeoutMultiplier, new_ReadTotalTimeoutConstant,
                     new_WriteTotalTimeoutMultiplier, new_WriteTotalTimeoutConstant);
  fApplied = commTimeouts;
  setCode(0);
  return 0;
}

void TRS232Connector::loseLine(const std::string& cause) {
  closeHandle();
  markLinkLost();
  fSniffer->logThis("TRS232Connector: connection lost: " + devicePath() + " (" + cause + ")", true);
}

uint64_t TRS232Connector::readLimit(uint32_t count) const {
  const uint64_t total =
      static_cast<uint64_t>(fApplied.ReadTotalTimeoutMultiplier) * count + fApplied.ReadTotalTimeoutConstant;
  if (total != 0) return total;
  // Without total limits: MAXDWORD interval returns at once, any other waits for data.
  return fApplied.ReadIntervalTimeout == UINT32_MAX ? 0 : UINT32_MAX;
}

bool TRS232Connector::readByte(uint8_t& b, uint32_t& bytesCount) {
  bytesCount = 0;
  if (missingComponent(true)) return false;
  if (hasInput()) return deliverBuffered(b, bytesCount);
  if (!Active()) {
    failWith(codes::IO, "TRS232Connector.readByte");
    return false;
  }
  if (!fillInput(deadlineIn(readLimit(1)))) {
    failWith(codes::IO, "");
    return false;
  }
  return deliverBuffered(b, bytesCount);
}

uint32_t TRS232Connector::readBuffer(uint8_t* buffer, uint32_t buffLength) {
  if (missingComponent(true)) return 0;
  if (!Active()) {
    failWith(codes::IO, "TRS232Connector.readBuffer");
    return 0;
  }
  const int64_t deadline = deadlineIn(readLimit(buffLength));
  const uint32_t interval = fApplied.ReadIntervalTimeout;
  uint32_t got = takeInput(buffer, buffLength);
  while (got < buffLength) {
    int64_t until = deadline;
    if (got > 0 && interval != 0) {
      const int64_t gapEnd = interval == UINT32_MAX ? nowMs() : nowMs() + interval;
      if (until < 0 || gapEnd < until) until = gapEnd;
    }
    if (!fillInput(until)) break;
    got += takeInput(buffer + got, buffLength - got);
  }
  return finishRead(buffer, got, buffLength);
}

void TRS232Connector::assign(const TRS232Connector& source) {
  baudRate = source.baudRate;
  port = source.port;
  portName = source.portName;
  byteSize = source.byteSize;
  parity = source.parity;
  stopBits = source.stopBits;
  exitByTime = source.exitByTime;
  exitByTimeValue = source.exitByTimeValue;
  fSniffer->assign(*source.fSniffer);
}

bool TRS232Connector::writeByte(uint8_t byteValue) { return writeBuffer(&byteValue, 1) == 1; }

}  // namespace kestrel
