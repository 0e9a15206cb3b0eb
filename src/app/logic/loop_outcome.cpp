#include "app/logic/loop_outcome.h"

#include "app/logic/device_ops.h"
#include "engine/engine_types.h"
#include "engine/fiscal_device.h"
#include "support/err_container.h"
#include "support/fd_misc.h"

namespace kestrel {

namespace {

constexpr size_t NAMED_AT_MOST = 20;

std::string trimmedCause(std::string cause) {
  while (!cause.empty() && (cause.back() == '.' || cause.back() == ' ')) cause.pop_back();
  return cause;
}

}  // namespace

std::string groupedNumber(int64_t n) {
  std::string digits = std::to_string(n < 0 ? -n : n), s;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) s += ',';
    s += digits[i];
  }
  return n < 0 ? "-" + s : s;
}

std::string TLoopOutcome::failedList(const TLoopWords& words) const {
  std::string s = words.number;
  for (size_t i = 0; i < failedNumbers.size() && i < NAMED_AT_MOST; ++i)
    s += (i ? ", " : " ") + std::to_string(failedNumbers[i]);
  if (failedNumbers.size() > NAMED_AT_MOST) s += " and " + std::to_string(failedNumbers.size() - NAMED_AT_MOST) + " more";
  return s;
}

std::string TLoopOutcome::closingMessage(const TLoopWords& w, const char* between) const {
  std::string s;
  if (end != TLoopEnd::Done) {
    s += w.action;
    s += end == TLoopEnd::Stopped ? " stopped" : " ended";
    if (total > 0) {
      s += " after " + groupedNumber(handled()) + " of " + groupedNumber(total) + " " + w.many;
    } else {
      if (reached > 0) s += std::string(" at ") + w.number + " " + std::to_string(reached);
      s += " after " + groupedNumber(handled()) + " " + (handled() == 1 ? w.one : w.many);
    }
    if (end == TLoopEnd::Failed && !cause.empty()) s += ": " + trimmedCause(cause);
    s += ".";
    if (abandoned > 0 && w.changesDevice)
      s += std::string(" ") + w.number + " " + std::to_string(abandoned) +
           " was sent, but its answer was not waited for: the device may have done it.";
  }
  if (failed > 0) {
    if (!s.empty()) s += between;
    s += groupedNumber(failed) + " " + (failed == 1 ? w.one : w.many) + " could not be " + w.done + ": " +
         failedList(w);
    if (failed == 1 && !failure.empty()) s += " (" + trimmedCause(failure) + ")";
    s += ".";
  }
  return s;
}

void showLoopEnd(TDeviceOps& ops, const TLoopOutcome& r, const TLoopWords& words) {
  if (r.ok()) {
    ops.host().set_StatusText(groupedNumber(r.answered) + " " + (r.answered == 1 ? words.one : words.many) + " " +
                              words.done + ".");
    return;
  }
  ops.misc.myAlert(r.closingMessage(words), TITLE_KESTREL, inf_OkBtn);
}

bool isLinkFailure(int code) {
  return code == codes::TIMEOUT || code == CODE_CONNECTION_LOST || code == CODE_NO_VALID_ANSWER ||
         code == codes::NOT_OPEN || code == codes::IO || code == codes::TCP_CONNECT || code == codes::TCP_DISCONNECT;
}

TRecordLoop::TRecordLoop(TDeviceOps& ops, int64_t total) : TRecordLoop(ops, ops.host(), total) {}

TRecordLoop::TRecordLoop(TDeviceOps& ops, PageHost& host, int64_t total)
    : fOps(ops), fHost(host), fSavedIdle(ops.fd.OnIdle) {
  fOutcome.total = total;
  // A stop request seen during a wait ends that wait at once; the command then fails with
  // CODE_CANCELLED, which ends the loop as stopped.
  fOps.fd.OnIdle = [this](const TWaitState& state) {
    if (fSavedIdle) fSavedIdle(state);
    if (fOutcome.end == TLoopEnd::Stopped || fHost.stopRequested()) {
      fOutcome.end = TLoopEnd::Stopped;
      fOps.fd.cancelWait();
    }
  };
}

TRecordLoop::~TRecordLoop() { fOps.fd.OnIdle = fSavedIdle; }

bool TRecordLoop::stopRequested() {
  if (fOutcome.end == TLoopEnd::Stopped) return true;
  if (!fHost.stopRequested()) return false;
  fOutcome.end = TLoopEnd::Stopped;
  return true;
}

bool TRecordLoop::waitCancelled() {
  if (fOps.lastCancelled()) fOutcome.end = TLoopEnd::Stopped;
  return fOutcome.end == TLoopEnd::Stopped;
}

void TRecordLoop::asking(int64_t number) {
  ++fOutcome.asked;
  fOutcome.reached = number;
}

void TRecordLoop::answered(int64_t number) {
  ++fOutcome.answered;
  fOutcome.reached = number;
  fLinkFailures = 0;
}

void TRecordLoop::noRecord(int64_t number) {
  fOutcome.reached = number;
  fLinkFailures = 0;
}

bool TRecordLoop::commandFailed(int64_t number) {
  fOutcome.reached = number;
  const int code = fOps.err.LastErrorCode();
  if (code == CODE_CANCELLED || fOutcome.end == TLoopEnd::Stopped) {
    // The record was abandoned, not refused: it is neither counted nor named.
    if (code == CODE_CANCELLED) fOutcome.abandoned = number;
    fOutcome.end = TLoopEnd::Stopped;
    return false;
  }
  ++fOutcome.failed;
  fOutcome.failedNumbers.push_back(number);
  const std::string message = fOps.err.LastErrorMessage();
  fOutcome.failure = message;
  if (!isLinkFailure(code)) {
    // The device answered: it refused this record; the next one is tried.
    fLinkFailures = 0;
    return true;
  }
  if (++fLinkFailures < MAX_LINK_FAILURES) return true;
  fail("the device did not answer " + std::to_string(fLinkFailures) + " times in a row (" + trimmedCause(message) + ")");
  return false;
}

void TRecordLoop::refused(int64_t number, const std::string& why) {
  ++fOutcome.failed;
  fOutcome.failedNumbers.push_back(number);
  fOutcome.reached = number;
  fOutcome.failure = why;
  fLinkFailures = 0;
}

void TRecordLoop::fail(const std::string& cause) {
  fOutcome.end = TLoopEnd::Failed;
  fOutcome.cause = cause;
}

}  // namespace kestrel
