// The test helpers that need POSIX descriptors: standard input swapped for /dev/null,
// and the program run on a pseudo-terminal.
#include <fcntl.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

#include "support_cli.h"

extern char** environ;

namespace kestrel::clitest {

StdinNotTerminal::StdinNotTerminal() : saved(::dup(STDIN_FILENO)) {
  const int null = ::open("/dev/null", O_RDONLY);
  ::dup2(null, STDIN_FILENO);
  ::close(null);
}

StdinNotTerminal::~StdinNotTerminal() {
  ::dup2(saved, STDIN_FILENO);
  ::close(saved);
}

std::string runOnTerminal(const std::string& program, std::vector<std::string> args, const std::string& typed,
                          int& status) {
  int master = -1, slave = -1;
  if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) throw std::runtime_error("openpty");
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, slave, 0);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&fa, slave, 2);
  posix_spawn_file_actions_addclose(&fa, master);
  args.insert(args.begin(), program);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, program.c_str(), &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  ::close(slave);
  if (rc != 0) throw std::runtime_error("spawn failed");
  // The terminal holds the typed line until the program reads it.
  if (!typed.empty() && ::write(master, typed.data(), typed.size()) != static_cast<ssize_t>(typed.size()))
    throw std::runtime_error("write to the terminal");
  std::string text;
  char buf[512];
  ssize_t n;
  // The master reads until the last holder of the terminal (the program) has gone.
  while ((n = ::read(master, buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
  ::close(master);
  int wstatus = 0;
  ::waitpid(pid, &wstatus, 0);
  status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  return text;
}

}  // namespace kestrel::clitest
