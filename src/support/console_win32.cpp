#include <windows.h>
#include <io.h>

#include <atomic>
#include <csignal>
#include <cstdio>

#include "support/console.h"

namespace kestrel {

namespace {

// The handling of the innermost InterruptScope: one console routine, registered once,
// calls it, as one signal disposition does on POSIX.
std::atomic<void (*)(int)> gInterruptHandler{nullptr};
std::atomic<bool> gInterruptOnce{false};

BOOL WINAPI onConsoleInterrupt(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
  void (*handler)(int) = gInterruptHandler.load();
  // Once: the first press takes the handler away; the next one finds none and the
  // default routine ends the process.
  if (handler && gInterruptOnce.load() && !gInterruptHandler.compare_exchange_strong(handler, nullptr)) handler = nullptr;
  if (!handler) return FALSE;
  handler(SIGINT);
  return TRUE;
}

HANDLE gStopRequested = nullptr;  // manual-reset events, made by the first StopRequests
HANDLE gStopDone = nullptr;

BOOL WINAPI onConsoleStop(DWORD type) {
  ::SetEvent(gStopRequested);
  // Closing the console, logging off and shutting down end the process when this routine
  // returns: give the program a few seconds to stop and save first.
  if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT)
    ::WaitForSingleObject(gStopDone, 4000);
  return TRUE;
}

}  // namespace

bool isTerminal(StdStream stream) {
  const DWORD id = stream == StdStream::In    ? STD_INPUT_HANDLE
                   : stream == StdStream::Out ? STD_OUTPUT_HANDLE
                                              : STD_ERROR_HANDLE;
  // A console answers GetConsoleMode; the C runtime's _isatty also says yes for NUL.
  const HANDLE h = ::GetStdHandle(id);
  DWORD mode = 0;
  return h && h != INVALID_HANDLE_VALUE && ::GetFileType(h) == FILE_TYPE_CHAR && ::GetConsoleMode(h, &mode) != 0;
}

InterruptScope::InterruptScope(void (*handler)(int), Presses presses) {
  static const bool registered = ::SetConsoleCtrlHandler(onConsoleInterrupt, TRUE) != 0;
  (void)registered;
  fOldHandler = gInterruptHandler.load();
  fOldOnce = gInterruptOnce.load();
  gInterruptOnce = presses == Once;
  gInterruptHandler = handler;
}

InterruptScope::~InterruptScope() {
  gInterruptOnce = fOldOnce;
  gInterruptHandler = fOldHandler;
}

StopRequests::StopRequests() {
  if (!gStopRequested) {
    gStopRequested = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    gStopDone = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  }
  ::ResetEvent(gStopRequested);
  ::ResetEvent(gStopDone);
  ::SetConsoleCtrlHandler(onConsoleStop, TRUE);
}

StopRequests::~StopRequests() {
  ::SetEvent(gStopDone);
  ::SetConsoleCtrlHandler(onConsoleStop, FALSE);
}

void StopRequests::wait() { ::WaitForSingleObject(gStopRequested, INFINITE); }

}  // namespace kestrel
