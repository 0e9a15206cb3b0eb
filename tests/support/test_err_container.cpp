#include "support/err_container.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <vector>

#include "support/code_pages.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

// The program file is the test binary itself.
const std::string kProgram = fs::read_symlink("/proc/self/exe").filename().string();
const std::string kStamp = R"([0-9]{2}\.[0-9]{2}\.[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2})";

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::vector<std::string> lines(const fs::path& p) {
  std::vector<std::string> out;
  std::ifstream in(p, std::ios::binary);
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

void writeLines(const fs::path& p, int count) {
  std::ofstream out(p, std::ios::binary);
  for (int i = 1; i <= count; ++i) out << "old " << i << "\n";
}

// Sets an environment variable for the life of the object (nullopt unsets it).
class EnvVar {
 public:
  EnvVar(const char* name, std::optional<std::string> value) : fName(name) {
    if (const char* old = std::getenv(name)) fOld = old;
    if (value) ::setenv(name, value->c_str(), 1); else ::unsetenv(name);
  }
  ~EnvVar() {
    if (fOld) ::setenv(fName, fOld->c_str(), 1); else ::unsetenv(fName);
  }

 private:
  const char* fName;
  std::optional<std::string> fOld;
};

// A container whose application-data and profile folders live in a fresh temporary folder.
class ErrContainerTest : public ::testing::Test {
 protected:
  ErrContainerTest()
      : fRoot(makeRoot()),
        fAppData("APPDATA", (fRoot / "appdata").string()),
        fProfile("USERPROFILE", (fRoot / "home").string()) {
    fs::create_directories(fRoot / "home");
  }
  ~ErrContainerTest() override { fs::remove_all(fRoot); }

  static fs::path makeRoot() {
    std::string tmpl = (fs::temp_directory_path() / "kestrel_errc_XXXXXX").string();
    return fs::path(::mkdtemp(tmpl.data()));
  }
  fs::path logPath(TErrContainer& c) { return fs::path(c.Folders()->Log() + c.LogFile()->FileName); }

  fs::path fRoot;
  EnvVar fAppData, fProfile;
};

TEST_F(ErrContainerTest, CreationComputesFoldersChecksThemAndStartsWithNoError) {
  TErrContainer c;
  EXPECT_EQ(c.LastErrorCode(), 0);
  EXPECT_EQ(c.LastErrorMessage(), "No error");
  EXPECT_EQ(c.Language(), TErrorLanguages::English);
  EXPECT_TRUE(c.RaiseMode);

  const std::string appData = (fRoot / "appdata").string() + "/";
  EXPECT_EQ(c.Folders()->AppData(), appData);
  EXPECT_EQ(c.Folders()->Personal(), (fRoot / "home").string() + "/");
  EXPECT_EQ(c.Folders()->Log(), appData + "Log/" + kProgram + "/");
  EXPECT_EQ(c.Folders()->RealApp(), fs::read_symlink("/proc/self/exe").parent_path().string() + "/");
  EXPECT_EQ(c.LogFile()->FileName, kProgram + "_log.txt");

  EXPECT_TRUE(fs::is_directory(c.Folders()->Log()));
  EXPECT_TRUE(c.AccessTo()->LogFolder());
  EXPECT_TRUE(c.AccessTo()->AppDataFolder());
  EXPECT_TRUE(c.AccessTo()->PersonalFolder());
  EXPECT_FALSE(fs::exists(c.Folders()->Log() + "test.txt"));
  EXPECT_FALSE(fs::exists(c.Folders()->Personal() + "test.txt"));
  EXPECT_EQ(c.Folders()->GetOwner(), &c);
  EXPECT_EQ(c.AccessTo()->GetOwner(), &c);
  EXPECT_EQ(c.LogFile()->GetOwner(), &c);
}

TEST_F(ErrContainerTest, AccessCheckLeavesAnExistingTestFileAlone) {
  {
    std::ofstream out(fRoot / "home" / "test.txt");
    out << "my notes\n";
  }
  TErrContainer c;
  EXPECT_TRUE(c.AccessTo()->PersonalFolder());
  EXPECT_EQ(slurp(fRoot / "home" / "test.txt"), "my notes\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(fRoot / "home"), fs::directory_iterator()), 1);
}

TEST_F(ErrContainerTest, EnvironmentFallbacks) {
  struct Case {
    std::optional<std::string> appData, xdg, profile, home;
    bool ok;
    std::string wantAppData, wantPersonal;
  };
  const std::string tmp = fRoot.string();
  const Case cases[] = {
      {tmp + "/a", tmp + "/x", tmp + "/p", tmp + "/h", true, tmp + "/a/", tmp + "/p/"},
      {std::nullopt, tmp + "/x", std::nullopt, tmp + "/h", true, tmp + "/x/", tmp + "/h/"},
      {std::nullopt, std::nullopt, std::nullopt, tmp + "/h", true, tmp + "/h/.config/", tmp + "/h/"},
      {std::nullopt, std::nullopt, std::nullopt, std::nullopt, false, "", ""},
  };
  EnvVar tmpDir("TMPDIR", tmp);  // where the built-in folders lie
  for (const Case& k : cases) {
    EnvVar a("APPDATA", k.appData), x("XDG_CONFIG_HOME", k.xdg), p("USERPROFILE", k.profile), h("HOME", k.home);
    TErrContainer c;
    EXPECT_EQ(c.init_Folders(), k.ok);
    if (k.ok) {
      EXPECT_EQ(c.Folders()->AppData(), k.wantAppData);
      EXPECT_EQ(c.Folders()->Personal(), k.wantPersonal);
    }
  }
}

TEST_F(ErrContainerTest, PathDelimiterIsAppendedOnce) {
  TErrContainer c;
  const std::pair<std::string, std::string> cases[] = {
      {"/data/Logs", "/data/Logs/"}, {"/data/Logs/", "/data/Logs/"}, {"", "/"}, {"rel", "rel/"}};
  for (const auto& [in, want] : cases) {
    EXPECT_EQ(TFolders::check_ForPathDelimiter(in), want);
    c.Folders()->set_Log(in);
    c.Folders()->set_Personal(in);
    EXPECT_EQ(c.Folders()->Log(), want);
    EXPECT_EQ(c.Folders()->Personal(), want);
  }
  TFolders copy(nullptr);
  copy.Assign(*c.Folders());
  EXPECT_EQ(copy.Log(), "rel/");
}

TEST_F(ErrContainerTest, LastErrorCodeAndLanguage) {
  TErrContainer c;
  c.set_LastErrorCode(-6);
  EXPECT_EQ(c.LastErrorMessage(), "Timeout expired.");
  c.set_LastErrorCode(-999);
  EXPECT_EQ(c.LastErrorMessage(), "General error/Unknown error. [-999]");
  EXPECT_EQ(c.get_ErrorMessageByCode(-3), "Open error");
  EXPECT_EQ(c.LastErrorCode(), -999);

  c.set_LastErrorCode(-6);
  c.set_Language(TErrorLanguages::Romanian);
  EXPECT_EQ(c.LastErrorMessage(), get_ErrorText(-6, TErrorLanguages::Romanian));
  EXPECT_NE(c.LastErrorMessage(), "Timeout expired.");
  EXPECT_EQ(c.LogFile()->CodePage, 1250);
  EXPECT_EQ(c.get_ErrorMessageByCode(-6), c.LastErrorMessage());
  c.set_Language(TErrorLanguages::Poland);
  EXPECT_EQ(c.LogFile()->CodePage, 1250);
  c.set_Language(TErrorLanguages::English);
  EXPECT_EQ(c.LastErrorMessage(), "Timeout expired.");
  EXPECT_EQ(c.LogFile()->CodePage, 1251);

  // Going back to the code before gives its text in the language now in force.
  ASSERT_NE(get_ErrorText(-3, TErrorLanguages::Romanian), "Open error");
  c.set_Language(TErrorLanguages::Romanian);
  c.set_LastErrorCode(-3);
  c.set_LastErrorCode(-6);
  c.set_Language(TErrorLanguages::English);
  c.set_LastErrorCode(-3);
  EXPECT_EQ(c.LastErrorMessage(), "Open error");
  c.set_LastErrorCode(-6);
  EXPECT_EQ(c.LastErrorMessage(), "Timeout expired.");

  // A detail follows the text, survives a change of language and goes with the next code,
  // even when that code is the same one or the code before.
  c.set_LastErrorCode(-33101, "127.0.0.1:4999");
  EXPECT_EQ(c.LastErrorMessage(), "Connection lost: 127.0.0.1:4999");
  c.set_Language(TErrorLanguages::Poland);
  EXPECT_EQ(c.LastErrorMessage(), "Utracono połączenie: 127.0.0.1:4999");
  c.set_Language(TErrorLanguages::English);
  c.set_LastErrorCode(-33101);
  EXPECT_EQ(c.LastErrorMessage(), "Connection lost");
  c.set_LastErrorCode(-6, "/dev/ttyS0");
  c.set_LastErrorCode(-33101);
  c.set_LastErrorCode(-6);
  EXPECT_EQ(c.LastErrorMessage(), "Timeout expired.");
  EXPECT_EQ(c.get_ErrorMessageByCode(-33100), "Cancelled by the user.");
}

TEST_F(ErrContainerTest, LogErrorsWritesEveryNonZeroCodeOnly) {
  TErrContainer c;
  c.LogFile()->LogErrors = true;
  c.set_LastErrorCode(0);
  EXPECT_FALSE(fs::exists(logPath(c)));
  EXPECT_TRUE(c.log_LastError());  // code 0: nothing to log
  EXPECT_FALSE(fs::exists(logPath(c)));

  c.set_LastErrorCode(-6);
  c.set_LastErrorCode(-3);
  auto l = lines(logPath(c));
  ASSERT_EQ(l.size(), 2u);
  EXPECT_THAT(l[0], ::testing::MatchesRegex(R"(\[)" + kStamp + R"(\]\[ErrorCode:-6\]: Timeout expired\.)"));
  EXPECT_THAT(l[1], ::testing::MatchesRegex(R"(\[)" + kStamp + R"(\]\[ErrorCode:-3\]: Open error)"));
}

TEST_F(ErrContainerTest, LineLayouts) {
  struct Case {
    TLogFileFormats format;
    int op;  // 0 log_LastError, 1 log_MessageByCode(-6), 2 log_Message, 3 log_Exception_Ex
    std::string pattern;
  };
  const Case cases[] = {
      {TLogFileFormats::txt, 0, R"(\[)" + kStamp + R"(\]\[ErrorCode:-3\]: Open error)"},
      {TLogFileFormats::txt, 1, R"(\[)" + kStamp + R"(\]\[ErrorCode:-6\]: Open error)"},
      {TLogFileFormats::txt, 2, R"(\[)" + kStamp + R"(\]: say "hi")"},
      {TLogFileFormats::txt, 3, R"(\[)" + kStamp + R"(\]: say "hi")"},
      {TLogFileFormats::csv, 0, "\"" + kStamp + R"(";"ErrorCode:-3";"Open error";)"},
      {TLogFileFormats::csv, 1, "\"" + kStamp + R"(";"ErrorCode:-6";"Open error";)"},
      {TLogFileFormats::csv, 2, "\"" + kStamp + R"(";"say "hi"";)"},
  };
  for (const Case& k : cases) {
    TErrContainer c;
    c.LogFile()->set_FileFormat(k.format);
    c.set_LastErrorCode(-3);
    const fs::path other = fRoot / "other";
    fs::path file = logPath(c);
    switch (k.op) {
      case 0: EXPECT_TRUE(c.log_LastError()); break;
      case 1: EXPECT_TRUE(c.log_MessageByCode(-6)); break;
      case 2: EXPECT_TRUE(c.log_Message("say \"hi\"")); break;
      case 3:
        EXPECT_TRUE(c.log_Exception_Ex(other.string(), "say \"hi\""));
        file = other / c.LogFile()->FileName;
        break;
    }
    auto l = lines(file);
    ASSERT_EQ(l.size(), 1u) << file;
    EXPECT_THAT(l[0], ::testing::MatchesRegex(k.pattern));
    fs::remove(file);
  }
}

TEST_F(ErrContainerTest, RowsLimitKeepsOneFewerThanTheLimitAndNeverDropsTheNewEntry) {
  struct Case {
    int limit, existing;
    std::size_t after;
  };
  const Case cases[] = {{3, 3, 2}, {3, 1, 2}, {2, 5, 1}, {0, 5, 6}, {1, 1, 1}, {1, 0, 1}};
  for (const Case& k : cases) {
    TErrContainer c;
    c.LogFile()->set_RowsCountLimitation(k.limit);
    writeLines(logPath(c), k.existing);
    ASSERT_TRUE(c.log_Message("newest"));
    auto l = lines(logPath(c));
    ASSERT_EQ(l.size(), k.after) << "limit " << k.limit << ", existing " << k.existing;
    EXPECT_THAT(l.back(), ::testing::EndsWith("]: newest"));
    if (k.after > 1) {
      EXPECT_EQ(l[k.after - 2], "old " + std::to_string(k.existing));
    }
  }
  TErrContainer c;
  c.LogFile()->set_RowsCountLimitation(-5);
  EXPECT_EQ(c.LogFile()->RowsCountLimitation(), 0);
}

TEST_F(ErrContainerTest, AppendFalseStartsANewFileForEveryEntry) {
  TErrContainer c;
  c.LogFile()->AppendFile = false;
  writeLines(logPath(c), 4);
  EXPECT_TRUE(c.log_Message("one"));
  EXPECT_TRUE(c.log_Message("two"));
  auto l = lines(logPath(c));
  ASSERT_EQ(l.size(), 1u);
  EXPECT_THAT(l[0], ::testing::EndsWith("]: two"));
}

TEST(ErrContainerLogFile, FileFormatRenamesTheFileName) {
  struct Case {
    std::string name;
    TLogFileFormats format;
    std::string want;
  };
  const Case cases[] = {
      {"KESTREL_FBH_log.txt", TLogFileFormats::csv, "KESTREL_FBH_log.csv"},
      {"KESTREL_FBH_log.csv", TLogFileFormats::txt, "KESTREL_FBH_log.txt"},
      {"KESTREL_FBH_log.TXT", TLogFileFormats::csv, "KESTREL_FBH_log.TXT"},  // not in exactly that case
      {"a.TXT.txt", TLogFileFormats::csv, "a.csv.csv"},
      {"errors.log", TLogFileFormats::csv, "errors.log"},
      {"errors.log", TLogFileFormats::txt, "errors.log"},
  };
  for (const Case& k : cases) {
    TLogFile f(nullptr);
    f.FileName = k.name;
    f.set_FileFormat(k.format);
    EXPECT_EQ(f.FileName, k.want) << k.name;
    EXPECT_EQ(f.FileFormat(), k.format);
  }
  TLogFile a(nullptr), b(nullptr);
  a.FileName = "x.txt";
  a.set_FileFormat(TLogFileFormats::csv);
  a.set_RowsCountLimitation(7);
  a.CodePage = 1250;
  a.AppendFile = false;
  a.LogErrors = true;
  b.Assign(a);
  EXPECT_EQ(b.FileName, "x.csv");
  EXPECT_EQ(b.FileFormat(), TLogFileFormats::csv);
  EXPECT_EQ(b.RowsCountLimitation(), 7);
  EXPECT_EQ(b.CodePage, 1250);
  EXPECT_FALSE(b.AppendFile);
  EXPECT_TRUE(b.LogErrors);
}

TEST_F(ErrContainerTest, LogFileIsWrittenInItsCodePage) {
  TErrContainer c;
  c.set_Language(TErrorLanguages::Russian);  // code page 1251
  ASSERT_TRUE(c.log_Message("Грешка"));
  ASSERT_TRUE(c.log_Message("второ"));
  const std::string bytes = slurp(logPath(c));
  EXPECT_NE(bytes.find(utf8ToCodePage("Грешка", 1251)), std::string::npos);
  EXPECT_EQ(bytes.find("Грешка"), std::string::npos);
  auto l = lines(logPath(c));
  ASSERT_EQ(l.size(), 2u);
  EXPECT_THAT(codePageToUtf8(l[0], 1251), ::testing::EndsWith("]: Грешка"));  // survived the re-read
}

TEST_F(ErrContainerTest, CreateLogFile) {
  TErrContainer c;
  writeLines(logPath(c), 2);
  EXPECT_TRUE(c.create_LogFile(false));
  EXPECT_EQ(lines(logPath(c)).size(), 2u);
  EXPECT_TRUE(c.create_LogFile(true));
  EXPECT_EQ(fs::file_size(logPath(c)), 0u);
  fs::remove(logPath(c));
  EXPECT_TRUE(c.create_LogFile(false));
  EXPECT_TRUE(fs::exists(logPath(c)));
}

TEST_F(ErrContainerTest, UnwritableLogFolderFailsWithoutWriting) {
  {
    std::ofstream out(fRoot / "blocker");
  }
  // The application data folder lies below a plain file, so no folder can be created.
  EnvVar appData("APPDATA", (fRoot / "blocker" / "appdata").string());
  TErrContainer c;
  EXPECT_FALSE(c.AccessTo()->LogFolder());
  EXPECT_FALSE(c.AccessTo()->AppDataFolder());
  EXPECT_FALSE(c.create_LogFile(true));
  EXPECT_FALSE(c.log_Message("lost"));
  EXPECT_FALSE(c.log_Exception_Ex((fRoot / "blocker" / "x").string(), "lost"));
  EXPECT_FALSE(c.log_Exception_Ex("", "lost"));  // not the file-system root
  EXPECT_EQ(fs::file_size(fRoot / "blocker"), 0u);
}

TEST_F(ErrContainerTest, IoFailuresRaiseOrReturnFalse) {
  TErrContainer c;
  // The log file's name is taken by a folder: it cannot be read...
  fs::create_directories(logPath(c));
  try {
    c.log_Message("x");
    ADD_FAILURE() << "no exception";
  } catch (const std::exception& e) {
    EXPECT_THAT(e.what(), ::testing::StartsWith("Exception in \"TErrContainer.log_Message\" metod: "));
  }
  c.LogFile()->LogErrors = true;
  EXPECT_THROW(c.set_LastErrorCode(-6), std::runtime_error);
  EXPECT_EQ(c.LastErrorCode(), -6);
  c.LogFile()->LogErrors = false;
  // ...and, holding a file, it cannot be deleted to start anew.
  std::ofstream(logPath(c) / "inner").put('x');
  c.LogFile()->AppendFile = false;
  EXPECT_FALSE(c.log_Message("x"));
  EXPECT_TRUE(fs::exists(logPath(c) / "inner"));
}

}  // namespace
}  // namespace kestrel
