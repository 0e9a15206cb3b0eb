#pragma once
// The console a program runs in: whether a standard stream is a terminal, Ctrl-C while
// a command runs, and the requests that end a server program. POSIX: isatty and
// signals; Windows: the console API and SetConsoleCtrlHandler.
#ifndef _WIN32
#include <csignal>
#endif

namespace kestrel {

enum class StdStream { In, Out, Err };
// True when the stream is a terminal (Windows: a console), so that progress lines and
// questions make sense on it.
bool isTerminal(StdStream stream);

// Puts `handler` on Ctrl-C (on Windows also Ctrl-Break) for the scope's lifetime and the
// handling found before back on every way out. With Once only the first press reaches
// the handler and a second one ends the program the default way; with Every each press
// does. Interrupted system calls are restarted. The handler runs as a signal handler
// (Windows: on a thread of its own), so it only sets a flag.
class InterruptScope {
 public:
  enum Presses { Once, Every };
  InterruptScope(void (*handler)(int), Presses presses);
  ~InterruptScope();
  InterruptScope(const InterruptScope&) = delete;
  InterruptScope& operator=(const InterruptScope&) = delete;

 private:
#ifdef _WIN32
  void (*fOldHandler)(int) = nullptr;
  bool fOldOnce = false;
#else
  struct sigaction fOld {};
#endif
};

// The requests that end a server program: SIGINT, SIGTERM and SIGHUP (Windows: Ctrl-C,
// Ctrl-Break and closing the console window). Held from construction on, also for the
// threads started after it, so that no thread is interrupted; wait() returns at the
// first one. Further requests are ignored while the program ends. On Windows a closing
// console waits (at most a few seconds) for this object to be destroyed, so that the
// program can save what it holds.
class StopRequests {
 public:
  StopRequests();
  ~StopRequests();
  StopRequests(const StopRequests&) = delete;
  StopRequests& operator=(const StopRequests&) = delete;
  void wait();
};

}  // namespace kestrel
