// Starting and ending processes on POSIX (posix_spawn, process groups, waitpid) and
// handing files to the desktop with xdg-open.
#include "support/processes.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <thread>

extern char** environ;

namespace kestrel {

int spawnProcess(const std::string& program, const std::vector<std::string>& arguments,
                 const std::string& workingDir, ProcessInfo& info) {
  std::vector<std::string> argvText;
  argvText.push_back(program);
  argvText.insert(argvText.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& a : argvText) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attr);
  if (workingDir.find_first_not_of(' ') != std::string::npos)
    posix_spawn_file_actions_addchdir_np(&actions, workingDir.c_str());
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attr, 0);
  pid_t pid = 0;
  const int rc = program.find('/') == std::string::npos
                     ? posix_spawnp(&pid, program.c_str(), &actions, &attr, argv.data(), environ)
                     : posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) return rc;
  info.pid = pid;
  return 0;
}

bool killProcess(ProcessInfo& info) {
  if (info.pid <= 0) return false;
  // The program leads its own group (spawnProcess): its children end with it, so none
  // keeps running, or keeps our pipes open, after it.
  bool killed = ::kill(-info.pid, SIGKILL) == 0;
  if (!killed) killed = ::kill(info.pid, SIGKILL) == 0;
  int status = 0;
  pid_t reaped;
  do {
    reaped = ::waitpid(info.pid, &status, 0);
  } while (reaped < 0 && errno == EINTR);
  info.pid = 0;
  return killed && reaped > 0;
}

int waitProcess(ProcessInfo& info, const std::function<void()>& idle) {
  if (info.pid <= 0) return -1;
  for (;;) {
    int status = 0;
    const pid_t r = ::waitpid(info.pid, &status, WNOHANG);
    if (r == info.pid) {
      info.pid = 0;
      if (WIFEXITED(status)) return WEXITSTATUS(status);
      if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
      return -1;
    }
    if (r < 0 && errno != EINTR) return -1;
    if (idle) idle();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

namespace {

int codeForErrno(int err) {
  switch (err) {
    case ENOENT: return 2;
    case ENOTDIR: return 3;
    case EACCES:
    case EPERM: return 5;
    case ENOMEM:
    case EAGAIN: return 8;
    case ENOEXEC: return 11;
    default: return 31;
  }
}

bool isProgramFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

bool isUrl(const std::string& text) { return text.find("://") != std::string::npos || text.rfind("mailto:", 0) == 0; }

// Exit codes of xdg-open: 2 the file does not exist, 3 no tool, 4 the action failed.
int codeForOpenerStatus(int status) {
  if (status == 0) return kShellSuccess;
  return status == 2 ? 2 : 31;
}

// Processes started without waiting; reaped on a later call so none stays a zombie.
std::vector<pid_t>& leftovers() {
  static std::vector<pid_t> pids;
  return pids;
}

void reapLeftovers() {
  auto& pids = leftovers();
  std::erase_if(pids, [](pid_t pid) {
    int status = 0;
    const pid_t r = ::waitpid(pid, &status, WNOHANG);
    return r == pid || r < 0;
  });
}

}  // namespace

int shellExecute(const std::string& operation, const std::string& fileName, const std::string& parameters,
                 const std::string& workingDir, bool wait, const std::function<void()>& idle) {
  reapLeftovers();
  std::string op;
  for (char c : operation) op += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  // The desktop has no generic print verb for a file.
  if (!op.empty() && op != "open" && op != "edit" && op != "explore") return 31;

  if (workingDir.find_first_not_of(' ') != std::string::npos) {
    struct stat st {};
    if (::stat(workingDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return 3;
  }
  const bool url = isUrl(fileName);
  const bool bareName = fileName.find('/') == std::string::npos;
  if (!url) {
    struct stat st {};
    // A bare name that is no file here may still be a program on PATH.
    if (::stat(fileName.c_str(), &st) != 0 && !bareName) return errno == ENOTDIR ? 3 : 2;
  }

  ProcessInfo info;
  const bool runDirectly = !url && op != "edit" && op != "explore" && (isProgramFile(fileName) || bareName);
  const int rc = runDirectly ? spawnProcess(fileName, splitCommandLine(parameters), workingDir, info)
                             : spawnProcess("xdg-open", {fileName}, workingDir, info);
  if (rc != 0) return rc == ENOENT && !runDirectly ? 31 : codeForErrno(rc);

  if (wait) {
    const int status = waitProcess(info, idle);
    return runDirectly ? kShellSuccess : codeForOpenerStatus(status);
  }
  if (runDirectly) {
    leftovers().push_back(info.pid);
    return kShellSuccess;
  }
  // xdg-open hands the file to the desktop and ends; its answer tells whether that
  // worked. An opener that keeps running is left alone and reaped later.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    const pid_t r = ::waitpid(info.pid, &status, WNOHANG);
    if (r == info.pid) return codeForOpenerStatus(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    if (r < 0 && errno != EINTR) return kShellSuccess;
    if (idle) idle();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  leftovers().push_back(info.pid);
  return kShellSuccess;
}

}  // namespace kestrel
