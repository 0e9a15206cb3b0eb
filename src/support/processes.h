#pragma once
// Starting programs and asking the desktop to open files (POSIX: posix_spawn and
// xdg-open; Windows: CreateProcessW and ShellExecuteExW).
#ifndef _WIN32
#include <sys/types.h>
#endif

#include <functional>
#include <string>
#include <vector>

namespace kestrel {

struct ProcessInfo {
#ifdef _WIN32
  void* handle = nullptr;  // the process handle, closed when the process is reaped
  unsigned long pid = 0;
#else
  pid_t pid = 0;
#endif
};

// Splits a command line at blanks; double quotes group blanks into one argument and are
// removed.
std::vector<std::string> splitCommandLine(const std::string& commandLine);

// Starts `program` with `arguments` in its own process group, in `workingDir` (the
// current folder when blank). The program is searched on PATH when it holds no "/".
// Returns 0 or the errno of the failure (on Windows the GetLastError code). On Windows
// the program gets a process group of its own too; a bare name is searched as
// CreateProcessW searches it.
int spawnProcess(const std::string& program, const std::vector<std::string>& arguments,
                 const std::string& workingDir, ProcessInfo& info);

// Ends the process and every process of its group (SIGKILL; on Windows the process
// alone, TerminateProcess) and reaps it. True when
// both steps succeeded.
bool killProcess(ProcessInfo& info);

// Waits for the process to end, calling `idle` about every 50 ms while it runs; the
// exit status (128 + signal for a killed process), or -1 when it cannot be waited for.
int waitProcess(ProcessInfo& info, const std::function<void()>& idle);

// Answer of a successful shell call (the original shell answers above 32 for success).
inline constexpr int kShellSuccess = 42;

// Asks the desktop to perform `operation` on a file, answering with the codes of the
// original shell call: kShellSuccess, or 2 (file not found), 3 (path not found), 5
// (access denied), 8 (not enough memory), 11 (invalid program), 31 (no association).
// "open" (also a blank operation) runs a program file (or a bare program name on PATH)
// with `parameters` and hands any other file or URL to xdg-open; "edit" and "explore"
// always go to xdg-open; "print" and other verbs have no desktop equivalent (31).
// With `wait` the call returns when the started process ends, calling `idle` about
// every 50 ms meanwhile. On Windows the call is ShellExecuteExW itself, with its own
// answer codes.
int shellExecute(const std::string& operation, const std::string& fileName, const std::string& parameters,
                 const std::string& workingDir, bool wait, const std::function<void()>& idle);

// The text of a shell answer code, empty for the codes that are no failure.
std::string shellErrorMessage(int code);

}  // namespace kestrel
