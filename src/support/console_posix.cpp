#include <pthread.h>
#include <unistd.h>

#include "support/console.h"

namespace kestrel {

namespace {

sigset_t stopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  return set;
}

}  // namespace

bool isTerminal(StdStream stream) {
  const int fd = stream == StdStream::In ? STDIN_FILENO : stream == StdStream::Out ? STDOUT_FILENO : STDERR_FILENO;
  return ::isatty(fd) == 1;
}

InterruptScope::InterruptScope(void (*handler)(int), Presses presses) {
  struct sigaction sa {};
  sa.sa_handler = handler;
  // SA_RESETHAND: the first press puts the default back, so the second one ends the program.
  sa.sa_flags = SA_RESTART | (presses == Once ? SA_RESETHAND : 0);
  sigemptyset(&sa.sa_mask);
  ::sigaction(SIGINT, &sa, &fOld);
}

InterruptScope::~InterruptScope() { ::sigaction(SIGINT, &fOld, nullptr); }

StopRequests::StopRequests() {
  const sigset_t set = stopSignals();
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

StopRequests::~StopRequests() = default;

void StopRequests::wait() {
  const sigset_t set = stopSignals();
  int sig = 0;
  ::sigwait(&set, &sig);
}

}  // namespace kestrel
