#include "engine/fd_connector.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "engine/fiscal_device.h"
#include "engine/socket_io.h"
#include "support/err_container.h"
#include "support/fd_misc.h"

namespace kestrel {

TFDConnector::TFDConnector(TFiscalDevice* owner, uint32_t defaultExitByTimeValue)
    : exitByTimeValue(defaultExitByTimeValue), fOwner(owner), fSniffer(std::make_unique<TSniffer>()) {}

TFDConnector::~TFDConnector() = default;

TErrContainer* TFDConnector::errContainer() const { return fOwner ? fOwner->errContainer() : nullptr; }

TFDMisc* TFDConnector::misc() const { return fOwner ? fOwner->Misc() : nullptr; }

void TFDConnector::setCode(int code) const {
  if (TErrContainer* ec = errContainer()) ec->set_LastErrorCode(code);
}

int TFDConnector::lastCode() const {
  const TErrContainer* ec = errContainer();
  return ec ? ec->LastErrorCode() : codes::NO_ERR_CONTAINER;
}

void TFDConnector::raiseIfNeeded() const {
  const TErrContainer* ec = errContainer();
  if (ec && ec->RaiseMode && ec->LastErrorCode() != 0)
    throw EConnectorError(ec->LastErrorMessage(), ec->LastErrorCode());
}

void TFDConnector::traceLastMessage(const std::string& where) const {
  const TErrContainer* ec = errContainer();
  if (!ec) return;
  fSniffer->logThis(where.empty() ? ec->LastErrorMessage() : where + ": " + ec->LastErrorMessage(), true);
}

bool TFDConnector::wantsDiagnosticRead() const { return fOwner && fOwner->dd() && fOwner->dd()->i90().getAfterConnect; }

bool TFDConnector::runDiagnosticRead() const { return fOwner && fOwner->dd() && fOwner->dd()->i90().getFromDevice(); }

int TFDConnector::diagnosticFailure(std::string& cause) const {
  if (waitCancelled()) {
    cause = target() + ": cancelled by the user";
    setCode(CODE_CANCELLED);
    return CODE_CANCELLED;
  }
  if (linkLost()) {
    cause = target() + ": the connection was lost during the diagnostic read";
    if (TErrContainer* ec = errContainer()) ec->set_LastErrorCode(CODE_CONNECTION_LOST, target());
    return CODE_CONNECTION_LOST;
  }
  cause = target() + ": " + DIAGNOSTIC_UNANSWERED;
  setCode(codes::NOT_OPEN);
  return codes::NOT_OPEN;
}

void TFDConnector::showMessage(const std::string& text) const {
  if (fOwner && fOwner->messageBox) fOwner->messageBox(text);
}

int TFDConnector::missingComponent(bool showMessages) const {
  if (!errContainer()) {
    if (showMessages) showMessage("Error container component not assigned. Please assign this component!");
    return codes::NO_ERR_CONTAINER;
  }
  if (!misc()) {
    setCode(codes::NO_MISC);
    if (showMessages) showMessage(errContainer()->LastErrorMessage());
    return codes::NO_MISC;
  }
  return 0;
}

void TFDConnector::traceHex(const uint8_t* bytes, uint32_t count, TDataDirection direction) const {
  if (!fSniffer->Active) return;  // checked first: it is off for almost every byte
  const TFDMisc* m = misc();
  if (!m) return;
  std::string& target =
      direction == toDevice ? fSniffer->values.cHEX.toDeviceValue : fSniffer->values.cHEX.fromDeviceValue;
  for (uint32_t i = 0; i < count; ++i) m->putByteToHEX(bytes[i], target);
}

uint8_t TFDConnector::readByte() {
  uint8_t b = 0;
  uint32_t count = 0;
  return readByte(b, count) ? b : 0;
}

int TFDConnector::failWith(int code, const std::string& where) const {
  setCode(code);
  if (!where.empty()) traceLastMessage(where);
  raiseIfNeeded();
  return code;
}

uint32_t TFDConnector::finishRead(const uint8_t* buffer, uint32_t got, uint32_t wanted) const {
  if (got < wanted) {
    setCode(codes::IO);
    raiseIfNeeded();
    return got;
  }
  setCode(0);
  traceHex(buffer, got, fromDevice);
  return got;
}

uint32_t TFDConnector::takeInput(uint8_t* target, uint32_t count) {
  const uint32_t n = std::min(count, fInLen - fInPos);
  std::memcpy(target, fInput.data() + fInPos, n);
  fInPos += n;
  return n;
}

int64_t TFDConnector::nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int64_t TFDConnector::deadlineIn(uint64_t timeoutMs) {
  return timeoutMs >= UINT32_MAX ? -1 : nowMs() + static_cast<int64_t>(timeoutMs);
}

bool TFDConnector::waitCancelled() const { return fOwner && fOwner->fCancel.load(); }

int TFDConnector::waitFor(std::intptr_t fd, short events, int64_t deadline, uint32_t limitMs) const {
  for (;;) {
    if (idleCancelled(limitMs)) return kWaitCancelled;
    int wait = TFiscalDevice::IDLE_INTERVAL_MS;
    if (deadline >= 0) {
      const int64_t left = deadline - nowMs();
      if (left <= 0) return 0;
      wait = static_cast<int>(std::min<int64_t>(left, wait));
    }
    short revents = 0;
    const int rc = pollDescriptor(fd, events, wait, revents);
    if (rc > 0) return revents;
    if (rc < 0) return -1;
    // A slice ended, or poll woke a little early: re-check the clock.
  }
}

bool TFDConnector::idleCancelled(uint32_t limitMs) const {
  return fOwner && fOwner->idleWhileWaiting(*this, limitMs);
}

bool TFDConnector::pauseFor(uint32_t ms, uint32_t limitMs) const {
  const int64_t deadline = deadlineIn(ms);
  for (;;) {
    if (idleCancelled(limitMs)) return false;
    const int64_t left = deadline - nowMs();
    if (left <= 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min<int64_t>(left, TFiscalDevice::IDLE_INTERVAL_MS)));
  }
}

bool TFDConnector::pauseForMicros(int64_t us, uint32_t limitMs) const {
  if (idleCancelled(limitMs)) return false;
  std::this_thread::sleep_for(std::chrono::microseconds(us));
  return true;
}

TFDConnector::OpeningScope::OpeningScope(const TFDConnector& c) : fEngine(c.fOwner) {
  if (fEngine) fEngine->beginOperation();
}

TFDConnector::OpeningScope::~OpeningScope() {
  if (fEngine) fEngine->endOperation();
}

}  // namespace kestrel
