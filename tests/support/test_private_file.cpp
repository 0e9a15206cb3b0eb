// Files that hold a secret: read only when no one but their owner can read them (POSIX:
// the mode bits; Windows: the access list), first line only, without a byte-order mark
// or line end.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#include <aclapi.h>
#endif

#include <filesystem>
#include <string>

#include "support/files.h"
#include "util/temp_path.h"

using namespace kestrel;

namespace {

std::string refusal(const std::string& path, std::size_t maxBytes = 4096) {
  try {
    readPrivateFirstLine(path, maxBytes, 100, "password");
  } catch (const EFileError& e) {
    return e.what();
  }
  return "(read)";
}

// A file the other users of the machine may read: mode 0644, or on Windows an access
// list that lets Everyone read.
void writeOpenFile(const std::string& path, const std::string& content) {
  writeFileAtomically(path, content, 0644);
#ifdef _WIN32
  EXPLICIT_ACCESSW access{};
  access.grfAccessPermissions = GENERIC_READ;
  access.grfAccessMode = GRANT_ACCESS;
  access.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
  access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
  wchar_t everyone[] = L"EVERYONE";
  access.Trustee.ptstrName = everyone;
  PACL acl = nullptr;
  ASSERT_EQ(::SetEntriesInAclW(1, &access, nullptr, &acl), ERROR_SUCCESS);
  std::wstring wide(path.begin(), path.end());
  const DWORD rc = ::SetNamedSecurityInfoW(wide.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                           acl, nullptr);
  ::LocalFree(acl);
  ASSERT_EQ(rc, ERROR_SUCCESS);
#endif
}

TEST(PrivateFile, FirstLineOfAFileOnlyItsOwnerReads) {
  const struct {
    const char* content;
    const char* line;
  } cases[] = {
      {"s3cret\n", "s3cret"},
      {"\xEF\xBB\xBFs3cret\r\nsecond line\n", "s3cret"},  // Notepad's UTF-8: a mark and CR LF
      {"no line end", "no line end"},
      {"with blank \n", "with blank "},
  };
  for (const auto& c : cases) {
    test::TempPath file(".txt");
    writePrivateFileAtomically(file.path, c.content);
    EXPECT_EQ(readPrivateFirstLine(file.path, 4096, 100, "password"), c.line) << c.content;
  }
}

TEST(PrivateFile, RefusedWithTheReason) {
  test::TempPath open(".txt"), blank(".txt"), endless(".txt"), missing(".txt");
  writeOpenFile(open.path, "s3cret\n");
  writePrivateFileAtomically(blank.path, "\r\ns3cret\n");
  writePrivateFileAtomically(endless.path, std::string(100, 'x'));
#ifdef _WIN32
  EXPECT_EQ(refusal(open.path).rfind("can be read by Everyone; make it private first: icacls \"" + open.path, 0), 0u)
      << refusal(open.path);
  const std::string notRegular = "is not a regular file";
#else
  EXPECT_EQ(refusal(open.path),
            "can be read by others (mode 0644); make it private first: chmod 600 '" + open.path + "'");
  const std::string notRegular = "is neither a regular file nor a pipe";
#endif
  EXPECT_EQ(refusal(blank.path), "holds no password on its first line");
  EXPECT_EQ(refusal(endless.path, 50), "holds no line end within 50 bytes, more than any password file holds");
  EXPECT_EQ(refusal(missing.path).rfind("cannot be read: ", 0), 0u) << refusal(missing.path);
  EXPECT_EQ(refusal(std::filesystem::temp_directory_path().string()), notRegular);
}

}  // namespace
