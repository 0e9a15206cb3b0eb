// Folders, the helper's log, safe file writing, copying and deleting, processes, the
// shell and version information.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "support/fd_misc.h"

using namespace kestrel;
namespace fs = std::filesystem;

namespace {

class TempDir : public testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("kestrel_files_" + std::to_string(::getpid()) + "_" +
           testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    misc.set_Dialogs(&dialogs);
  }
  void TearDown() override { fs::remove_all(dir); }

  std::string path(const std::string& name) const { return (dir / name).string(); }
  static std::string read(const fs::path& p) { return readWholeFile(p.string()); }
  static void write(const fs::path& p, const std::string& text) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
  }

  fs::path dir;
  ScriptedDialogs dialogs;
  TFDMisc misc;
};

TEST_F(TempDir, FailedWriteLeavesTheOldFileIntact) {
  const std::string file = path("settings.ini");
  writeFileAtomically(file, "old content\n");
  // A file-size limit makes the write fail half way (also for root).
  struct rlimit saved {};
  getrlimit(RLIMIT_FSIZE, &saved);
  auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 16;
  setrlimit(RLIMIT_FSIZE, &small);
  EXPECT_THROW(writeFileAtomically(file, std::string(1000, 'x')), EFileError);
  EXPECT_THROW(appendFileAtomically(file, std::string(1000, 'y')), EFileError);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(read(file), "old content\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1) << "no temporary file left";

  appendFileAtomically(file, "more\n");
  EXPECT_EQ(read(file), "old content\nmore\n");
  EXPECT_THROW(writeFileAtomically(path("missing/x.txt"), "x"), EFileError);
}

// Special files are never replaced by a write nor read (a FIFO would block, a device
// never end); a link to a regular file is written through, and stays a link.
TEST_F(TempDir, OnlyRegularFilesAreWrittenOrRead) {
  ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
  fs::create_symlink("/dev/null", path("null"));
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);  // what /proc/self/fd/1 is when the output is piped
  fs::create_symlink("/proc/self/fd/" + std::to_string(pipeFds[1]), path("stdout"));
  fs::create_symlink(path("nothing"), path("dangling"));
  fs::create_directory(path("folder"));
  for (const char* name : {"fifo", "null", "stdout", "dangling", "folder"}) {
    SCOPED_TRACE(name);
    struct stat before {};
    ::lstat(path(name).c_str(), &before);
    EXPECT_THROW(writeFileAtomically(path(name), "x"), EFileError);
    EXPECT_THROW(TAtomicFile{path(name)}, EFileError);
    struct stat after {};
    ::lstat(path(name).c_str(), &after);
    EXPECT_EQ(after.st_mode, before.st_mode) << "the node was replaced";
    EXPECT_EQ(after.st_ino, before.st_ino);
    if (std::string(name) != "dangling") {
      EXPECT_THROW(readWholeFile(path(name)), EFileError);
      EXPECT_THROW(checkRegularFile(path(name)), EFileError);
    }
  }
  EXPECT_THROW(readWholeFile("/dev/zero"), EFileError);
  ::close(pipeFds[0]);
  ::close(pipeFds[1]);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 5) << "no temporary file left";

  write(path("real/target.csv"), "old");
  fs::create_symlink(path("real/target.csv"), path("link.csv"));
  writeFileAtomically(path("link.csv"), "new");
  EXPECT_TRUE(fs::is_symlink(path("link.csv")));
  EXPECT_EQ(read(path("real/target.csv")), "new");
  EXPECT_NO_THROW(checkRegularFile(path("missing")));
  EXPECT_THROW(checkRegularFile(path("missing"), true), EFileError);

  // A size limit names the kind of file that is never that large.
  write(path("big.csv"), std::string(2000, 'x'));
  try {
    readWholeFile(path("big.csv"), 1000, "items CSV file");
    ADD_FAILURE() << "a file above the limit was read";
  } catch (const EFileError& e) {
    EXPECT_NE(std::string(e.what()).find("more than any items CSV file holds"), std::string::npos) << e.what();
  }
  EXPECT_EQ(readWholeFile(path("big.csv"), 2000, "items CSV file").size(), 2000u);
}

TEST_F(TempDir, FoldersAndLog) {
  EXPECT_EQ(misc.checkForPathDelimiter(""), "./");
  EXPECT_EQ(misc.checkForPathDelimiter("/a"), "/a/");
  EXPECT_EQ(misc.checkForPathDelimiter("/a/"), "/a/");
  EXPECT_EQ(misc.LogFolder(), "./");
  EXPECT_EQ(misc.LogFile(), "");

  EXPECT_TRUE(misc.set_LogFolder(dir.string(), "logs"));
  EXPECT_EQ(misc.LogFolder(), dir.string() + "/logs/");
  EXPECT_TRUE(misc.set_PersonalFolder(dir.string() + "/", ""));
  EXPECT_EQ(misc.PersonalFolder(), dir.string() + "/");
  write(dir / "blocker", "x");
  EXPECT_FALSE(misc.set_SettingsFolder(path("blocker"), "sub"));  // a file stands in the way
  EXPECT_EQ(misc.SettingsFolder(), "./");

  misc.log_Text("lost");  // no log file yet: nothing happens
  EXPECT_TRUE(misc.set_LogFile());
  const fs::path log = misc.LogFile();
  EXPECT_EQ(log.parent_path().string() + "/", misc.LogFolder());
  EXPECT_EQ(log.filename().string(), fs::path(programFilePath()).stem().string() + "_Log.txt");
  misc.log_Text("first entry");
  const std::string content = misc.get_LogFile();
  EXPECT_NE(content.find(":Log file creation\n"), std::string::npos);
  EXPECT_NE(content.find("]: first entry\n"), std::string::npos);
  EXPECT_EQ(content[content.find("]: first") - 20], '[');
  EXPECT_TRUE(misc.set_LogFile());  // an existing log stays
  EXPECT_EQ(misc.get_LogFile(), content);

  misc.log_TextToFolder(path("other/deeper"), "x.log", "one");
  misc.log_TextToFolder(path("other/deeper"), "x.log", "two");
  EXPECT_EQ(read(dir / "other/deeper/x.log"), "one\ntwo\n");
  EXPECT_THROW(misc.log_TextToFolder(path("blocker"), "x.log", "t"), EFileError);
  EXPECT_EQ(misc.ApplicationFolder(), fs::path(programFilePath()).parent_path().string() + "/");
}

TEST_F(TempDir, CopyAllAndDelete) {
  write(dir / "src/a.csv", "a");
  write(dir / "src/b.txt", "b");
  write(dir / "src/sub/c.csv", "c");
  write(dir / "dst/a.csv", "old");
  EXPECT_TRUE(misc.copy_AllFromTo(path("src"), path("dst"), "*.csv"));
  EXPECT_EQ(read(dir / "dst/a.csv"), "a");
  EXPECT_EQ(read(dir / "dst/c.csv"), "c");  // subfolders land in the destination itself
  EXPECT_FALSE(fs::exists(dir / "dst/b.txt"));
  EXPECT_TRUE(misc.copy_AllFromTo(path("src"), path("all"), " "));
  EXPECT_TRUE(fs::exists(dir / "all/b.txt"));
  EXPECT_FALSE(misc.copy_AllFromTo(path("none"), path("dst"), ""));

  EXPECT_TRUE(misc.delete_FilesFromDir(path("src"), "*.csv", false, true));
  EXPECT_FALSE(fs::exists(dir / "src/a.csv"));
  EXPECT_TRUE(fs::exists(dir / "src/b.txt"));
  EXPECT_TRUE(fs::exists(dir / "src/sub/c.csv"));
  EXPECT_TRUE(misc.delete_FilesFromDir(path("src"), "*.*", true, true));
  EXPECT_TRUE(fs::is_empty(dir / "src"));
  EXPECT_FALSE(misc.delete_FilesFromDir(path("none"), "*.*", true, true));
}

// Processes of group `pgid` that still run (a zombie waiting for its parent runs no more).
std::vector<pid_t> runningInGroup(pid_t pgid) {
  std::vector<pid_t> found;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    // pid (comm) state ppid pgrp ...; comm may hold blanks and brackets.
    std::istringstream rest(line.substr(line.rfind(')') + 1));
    char state = 0;
    pid_t ppid = 0, pgrp = 0;
    rest >> state >> ppid >> pgrp;
    if (pgrp == pgid && state != 'Z' && state != 'X') found.push_back(std::stoi(name));
  }
  return found;
}

TEST_F(TempDir, ProcessesAndShell) {
  ProcessInfo info;
  // The shell starts sleep as a child of its own: ending the shell alone would leave it.
  ASSERT_TRUE(misc.startNewProcess("sh", "-c \"echo started > marker; sleep 30; true\"", dir.string(), info));
  const pid_t group = info.pid;
  EXPECT_GT(group, 0);
  EXPECT_EQ(getpgid(group), group) << "own process group";
  // The redirection makes the file before echo writes into it: wait for the text.
  auto marker = [&] { return fs::exists(dir / "marker") ? read(dir / "marker") : std::string(); };
  for (int i = 0; i < 200 && marker() != "started\n"; ++i) usleep(10000);
  EXPECT_EQ(read(dir / "marker"), "started\n");  // ran in the given folder
  for (int i = 0; i < 200 && runningInGroup(group).size() < 2; ++i) usleep(10000);
  EXPECT_EQ(runningInGroup(group).size(), 2u) << "the shell and its sleep";
  EXPECT_TRUE(misc.terminateProcess(info));
  EXPECT_FALSE(misc.terminateProcess(info));
  // The kill reaches the whole group; init reaps the orphaned sleep on its own time.
  for (int i = 0; i < 500 && !runningInGroup(group).empty(); ++i) usleep(10000);
  EXPECT_TRUE(runningInGroup(group).empty()) << "nothing of the group is left running";
  EXPECT_FALSE(misc.startNewProcess(path("no-such-program"), "", "", info));

  write(dir / "run.sh", "#!/bin/sh\necho \"$1\" > out.txt\n");
  fs::permissions(dir / "run.sh", fs::perms::owner_all);
  int idle = 0;
  misc.OnProcessMessages = [&] { ++idle; };
  EXPECT_TRUE(misc.myShellExecute(0, "open", path("run.sh"), "\"a b\"", dir.string(), 1, false, true));
  EXPECT_EQ(read(dir / "out.txt"), "a b\n");
  EXPECT_TRUE(dialogs.shown.empty());

  EXPECT_FALSE(misc.myShellExecute(0, "open", path("missing.pdf"), "", "", 1, false, false));
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].text, "The specified file was not found.");
  EXPECT_FALSE(misc.myShellExecute(0, "open", path("run.sh"), "", path("nodir"), 1, false, false));
  EXPECT_EQ(dialogs.shown.back().text, "The specified path was not found.");
  EXPECT_FALSE(misc.myShellExecute(0, "print", path("run.sh"), "", "", 1, false, false));
  EXPECT_EQ(dialogs.shown.back().text.rfind("There is no application associated", 0), 0u);
}

TEST_F(TempDir, SleepStepsAndProgress) {
  int steps = 0;
  std::vector<int64_t> progress;
  misc.OnProcessMessages = [&] { ++steps; };
  misc.OnWaitSleepFor = [&](TFDMisc* sender, int64_t elapsed) {
    EXPECT_EQ(sender, &misc);
    progress.push_back(elapsed);
  };
  misc.sleep_ForMSec(0);
  EXPECT_EQ(steps, 1);  // still one step
  steps = 0;
  misc.sleep_ForMSec(1000);
  EXPECT_GE(steps, 1);
  // Progress after every tenth step, counting up.
  ASSERT_EQ(progress.size(), static_cast<std::size_t>(steps / 10));
  for (std::size_t i = 1; i < progress.size(); ++i) EXPECT_GT(progress[i], progress[i - 1]);
}

TEST_F(TempDir, VersionInformation) {
  std::string major, minor, revision, build;
  EXPECT_EQ(misc.get_AppVersionInfo(major, minor, revision, build), std::string(KESTREL_VERSION) + ".0");
  EXPECT_EQ(major + "." + minor + "." + revision, KESTREL_VERSION);
  EXPECT_EQ(build, "0");

  write(dir / "plain.bin", "abc");
  EXPECT_EQ(misc.get_VersionInfo_ForFile(path("plain.bin")), "0.0.0.0");
  EXPECT_EQ(misc.get_VersionInfo_ForFile(path("missing.bin")), "");
  int a, b, c, d;
  std::string description, md5;
  EXPECT_EQ(misc.get_VersionInfo_ForFile(path("plain.bin"), a, b, c, d, description, md5), "0.0.0.0");
  EXPECT_EQ(md5, "900150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(misc.get_VersionInfo_ForFile(programFilePath(), a, b, c, d, description, md5),
            std::string(KESTREL_VERSION) + ".0");
  EXPECT_EQ(description, "Kestrel FBH");
  EXPECT_EQ(misc.Version(), "1.0.0.0");
}

}  // namespace
