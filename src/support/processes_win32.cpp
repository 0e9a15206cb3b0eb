// Starting and ending processes on Windows (CreateProcessW, TerminateProcess) and
// handing files to the shell with ShellExecuteExW, whose answer codes are the ones the
// helper reports everywhere.
#include "support/processes.h"
#include "support/win32_text.h"

#include <shellapi.h>

namespace kestrel {

namespace {

// One argument as CreateProcessW's parser reads it back: quoted when it holds blanks
// or quotes, backslashes doubled before a quote.
std::wstring quoteArgument(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  std::size_t slashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++slashes;
      continue;
    }
    out.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
    slashes = 0;
    out += c;
  }
  out.append(slashes * 2, L'\\');
  return out + L"\"";
}

bool blank(const std::string& text) { return text.find_first_not_of(' ') == std::string::npos; }

// Waits for `process` in 50 ms steps with `idle` between; its exit code or -1.
int waitHandle(HANDLE process, const std::function<void()>& idle) {
  for (;;) {
    const DWORD rc = ::WaitForSingleObject(process, 50);
    if (rc == WAIT_OBJECT_0) {
      DWORD code = 0;
      return ::GetExitCodeProcess(process, &code) ? static_cast<int>(code) : -1;
    }
    if (rc != WAIT_TIMEOUT) return -1;
    if (idle) idle();
  }
}

}  // namespace

int spawnProcess(const std::string& program, const std::vector<std::string>& arguments,
                 const std::string& workingDir, ProcessInfo& info) {
  std::wstring commandLine = quoteArgument(widen(program));
  for (const std::string& a : arguments) commandLine += L" " + quoteArgument(widen(a));
  const std::wstring dir = widen(workingDir);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NEW_PROCESS_GROUP, nullptr,
                        blank(workingDir) ? nullptr : dir.c_str(), &startup, &pi))
    return static_cast<int>(::GetLastError());
  ::CloseHandle(pi.hThread);
  info.handle = pi.hProcess;
  info.pid = pi.dwProcessId;
  return 0;
}

bool killProcess(ProcessInfo& info) {
  if (!info.handle) return false;
  HANDLE process = static_cast<HANDLE>(info.handle);
  const bool killed = ::TerminateProcess(process, 1) != 0;
  const bool reaped = ::WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0;
  ::CloseHandle(process);
  info = {};
  return killed && reaped;
}

int waitProcess(ProcessInfo& info, const std::function<void()>& idle) {
  if (!info.handle) return -1;
  HANDLE process = static_cast<HANDLE>(info.handle);
  const int code = waitHandle(process, idle);
  ::CloseHandle(process);
  info = {};
  return code;
}

int shellExecute(const std::string& operation, const std::string& fileName, const std::string& parameters,
                 const std::string& workingDir, bool wait, const std::function<void()>& idle) {
  const std::wstring verb = widen(operation), file = widen(fileName), params = widen(parameters),
                     dir = widen(workingDir);
  SHELLEXECUTEINFOW sei{};
  sei.cbSize = sizeof sei;
  sei.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  sei.lpVerb = blank(operation) ? nullptr : verb.c_str();
  sei.lpFile = file.c_str();
  sei.lpParameters = parameters.empty() ? nullptr : params.c_str();
  sei.lpDirectory = blank(workingDir) ? nullptr : dir.c_str();
  sei.nShow = SW_SHOWNORMAL;
  const BOOL ok = ::ShellExecuteExW(&sei);
  const auto answer = static_cast<int>(reinterpret_cast<intptr_t>(sei.hInstApp));
  if (!ok) return answer > 0 && answer <= 32 ? answer : 31;
  if (sei.hProcess) {
    if (wait) waitHandle(sei.hProcess, idle);
    ::CloseHandle(sei.hProcess);
  }
  return kShellSuccess;
}

}  // namespace kestrel
