// The Windows side of the file helpers: the temporary file of an atomic write is
// replaced over the target with MoveFileExW, file masks match as the shell's do
// (without regard to case), the program's path comes from GetModuleFileNameW.
#include "support/files.h"
#include "support/files_platform.h"
#include "support/win32_text.h"

#include <aclapi.h>
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <cerrno>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>

namespace kestrel {

namespace {

[[noreturn]] void failWin32(const std::string& what, const std::string& path, DWORD err) {
  throw EFileError(what + " \"" + path + "\": " + win32ErrorText(err));
}

// Only the user who runs the program (and the system's own accounts, through no entry
// at all: a protected list with the owner alone) may open the file. The counterpart of
// mode 0600: used for a mode without group and other bits. The file is created with it,
// so it never exists with other permissions; 0 or the error.
struct OwnerOnly {
  SECURITY_DESCRIPTOR sd{};
  PACL acl = nullptr;
  ~OwnerOnly() {
    if (acl) ::LocalFree(acl);
  }
  DWORD make() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return ::GetLastError();
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    auto buffer = std::make_unique<unsigned char[]>(size ? size : 1);
    const bool got = ::GetTokenInformation(token, TokenUser, buffer.get(), size, &size);
    const DWORD tokenErr = ::GetLastError();
    ::CloseHandle(token);
    if (!got) return tokenErr;
    EXPLICIT_ACCESSW access{};
    access.grfAccessPermissions = GENERIC_ALL;
    access.grfAccessMode = SET_ACCESS;
    access.grfInheritance = NO_INHERITANCE;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_USER;
    access.Trustee.ptstrName = static_cast<LPWSTR>(reinterpret_cast<TOKEN_USER*>(buffer.get())->User.Sid);
    if (const DWORD rc = ::SetEntriesInAclW(1, &access, nullptr, &acl); rc != ERROR_SUCCESS) return rc;
    if (!::InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE) ||
        !::SetSecurityDescriptorControl(&sd, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
      return ::GetLastError();
    return 0;
  }
};

// The entries of an access list that let a group of users read: Everyone, Users and
// Authenticated Users. A file without a list at all is open to everybody.
std::string groupThatReads(PACL acl) {
  if (!acl) return "Everyone (the file has no access list)";
  const struct {
    WELL_KNOWN_SID_TYPE type;
    const char* name;
  } groups[] = {{WinWorldSid, "Everyone"}, {WinBuiltinUsersSid, "Users"}, {WinAuthenticatedUserSid, "Authenticated Users"}};
  for (DWORD i = 0; i < acl->AceCount; ++i) {
    void* entry = nullptr;
    if (!::GetAce(acl, i, &entry)) continue;
    const auto* header = static_cast<ACE_HEADER*>(entry);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE)) continue;
    const auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(entry);
    if (!(ace->Mask & (FILE_READ_DATA | GENERIC_READ | GENERIC_ALL))) continue;
    for (const auto& g : groups) {
      BYTE sid[SECURITY_MAX_SID_SIZE];
      DWORD size = sizeof sid;
      if (::CreateWellKnownSid(g.type, nullptr, sid, &size) &&
          ::EqualSid(const_cast<DWORD*>(&ace->SidStart), sid))
        return g.name;
    }
  }
  return {};
}

bool wildcardMatch(const wchar_t* mask, const wchar_t* name) {
  for (; *mask; ++mask, ++name) {
    if (*mask == L'*') {
      for (const wchar_t* rest = name;; ++rest) {
        if (wildcardMatch(mask + 1, rest)) return true;
        if (!*rest) return false;
      }
    }
    if (!*name) return false;
    if (*mask != L'?' && std::towlower(*mask) != std::towlower(*name)) return false;
  }
  return !*name;
}

}  // namespace

std::string readWholeFile(const std::string& path, std::size_t maxBytes, const std::string& kind) {
  checkRegularFile(path, true, maxBytes, kind);
  std::ifstream in(std::filesystem::path(widen(path)), std::ios::binary);
  if (!in) failFile("Cannot open file", path, errno ? errno : ENOENT);
  std::string content;
  char buffer[65536];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    content.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (content.size() > maxBytes) failTooLarge(path, maxBytes, kind);  // it grew while read
  }
  if (in.bad()) failFile("Cannot read file", path, EIO);
  return content;
}

TAtomicFile::TAtomicFile(std::string path, int mode) : fPath(outputTarget(path)), fMode(mode) {
  SECURITY_ATTRIBUTES security{sizeof security, nullptr, FALSE};
  OwnerOnly owner;
  if (fMode >= 0 && (fMode & 077) == 0) {
    if (const DWORD err = owner.make()) failWin32("Cannot set the permissions of file", fPath, err);
    security.lpSecurityDescriptor = &owner.sd;
  }
  std::random_device random;
  for (int attempt = 0; attempt < 100 && fFd < 0; ++attempt) {
    fTemp = fPath + "." + std::to_string(random() % 1000000u) + ".tmp";
    const HANDLE h = ::CreateFileW(widen(fTemp).c_str(), GENERIC_WRITE, 0, &security, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      const DWORD err = ::GetLastError();
      if (err == ERROR_FILE_EXISTS) continue;
      failWin32("Cannot create file", fPath, err);
    }
    fFd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
    if (fFd < 0) {
      ::CloseHandle(h);
      ::DeleteFileW(widen(fTemp).c_str());
      failFile("Cannot create file", fPath, EMFILE);
    }
  }
  if (fFd < 0) failFile("Cannot create file", fPath, EEXIST);
}

TAtomicFile::~TAtomicFile() {
  if (fFd < 0) return;
  ::_close(fFd);
  ::_wunlink(widen(fTemp).c_str());
}

void TAtomicFile::write(std::string_view data) {
  if (fFd < 0) throw EFileError("Cannot write file \"" + fPath + "\": already closed");
  const char* p = data.data();
  std::size_t left = data.size();
  while (left > 0) {
    const unsigned chunk = left > (1u << 30) ? (1u << 30) : static_cast<unsigned>(left);
    const int n = ::_write(fFd, p, chunk);
    if (n <= 0) failFile("Cannot write file", fPath, n < 0 ? errno : ENOSPC);
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

void TAtomicFile::commit() {
  if (fFd < 0) throw EFileError("Cannot write file \"" + fPath + "\": already closed");
  if (::_commit(fFd) != 0) failFile("Cannot write file", fPath, errno);
  const int fd = fFd;
  fFd = -1;
  if (::_close(fd) != 0) {
    const int err = errno;
    ::_wunlink(widen(fTemp).c_str());
    failFile("Cannot write file", fPath, err);
  }
  if (!::MoveFileExW(widen(fTemp).c_str(), widen(fPath).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD err = ::GetLastError();
    ::_wunlink(widen(fTemp).c_str());
    failWin32("Cannot write file", fPath, err);
  }
}

bool createNewFile(const std::string& path, const std::string& content) {
  HANDLE file = ::CreateFileW(widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = ::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
                  written == content.size();
  return ::CloseHandle(file) && ok;
}

bool matchesFileMask(const std::string& mask, const std::string& fileName) {
  const std::string m = mask.find_first_not_of(' ') == std::string::npos ? "*" : mask;
  // "*.*" also matches names without an extension.
  if (m == "*.*" || m == "*") return true;
  return wildcardMatch(widen(m).c_str(), widen(fileName).c_str());
}

std::string programFilePath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return narrow(buffer.substr(0, n));
    buffer.resize(buffer.size() * 2);
  }
}

std::string readPrivateHead(const std::string& path, std::size_t maxBytes, int, const std::string& what) {
  // Windows gives a command no pipe by a file name, so only a disk file is taken.
  HANDLE h = ::CreateFileW(widen(path).c_str(), GENERIC_READ | READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);  // a folder opens, to be refused below
  if (h == INVALID_HANDLE_VALUE) throw EFileError("cannot be read: " + win32ErrorText(::GetLastError()));
  struct Closer {
    HANDLE h;
    ~Closer() { ::CloseHandle(h); }
  } closer{h};
  BY_HANDLE_FILE_INFORMATION info{};
  if (::GetFileType(h) != FILE_TYPE_DISK || !::GetFileInformationByHandle(h, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    throw EFileError("is not a regular file");
  PACL acl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  const DWORD rc = ::GetSecurityInfo(h, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &acl, nullptr, &sd);
  if (rc != ERROR_SUCCESS) throw EFileError("cannot be read: its access list: " + win32ErrorText(rc));
  const std::string group = groupThatReads(acl);
  ::LocalFree(sd);
  if (!group.empty())
    throw EFileError("can be read by " + group + "; make it private first: icacls \"" + path +
                     "\" /inheritance:r /grant:r \"%USERNAME%:F\"");
  std::string text;
  char buffer[512];
  while (text.find('\n') == std::string::npos) {
    if (text.size() > maxBytes)
      throw EFileError("holds no line end within " + std::to_string(maxBytes) + " bytes, more than any " + what +
                       " file holds");
    DWORD n = 0;
    if (!::ReadFile(h, buffer, sizeof buffer, &n, nullptr))
      throw EFileError("cannot be read: " + win32ErrorText(::GetLastError()));
    if (n == 0) break;
    text.append(buffer, n);
  }
  return text;
}

}  // namespace kestrel
