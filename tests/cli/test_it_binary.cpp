// The kestrel program itself, run as a process: exit statuses, stdout and stderr kept
// apart, and `kestrel sim` serving another kestrel over TCP.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>

#include "support_cli.h"

extern char** environ;

namespace kestrel::cli {
namespace {

struct ProcessRun {
  int status = -1;
  std::string out, err;
};

std::string readFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

std::vector<char*> argvOf(std::vector<std::string>& words) {
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  return argv;
}

// Runs kestrel with `args`, stdout and stderr into files, and waits for it.
ProcessRun runKestrel(std::vector<std::string> args) {
  char dir[] = "/tmp/kestrel-cli-XXXXXX";
  if (!::mkdtemp(dir)) throw std::runtime_error("mkdtemp");
  const std::string out = std::string(dir) + "/out", err = std::string(dir) + "/err";
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  args.insert(args.begin(), KESTREL_BIN);
  std::vector<char*> argv = argvOf(args);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, KESTREL_BIN, &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  if (rc != 0) throw std::runtime_error("spawn failed");
  int wstatus = 0;
  ::waitpid(pid, &wstatus, 0);
  ProcessRun r;
  r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  r.out = readFile(out);
  r.err = readFile(err);
  ::unlink(out.c_str());
  ::unlink(err.c_str());
  ::rmdir(dir);
  return r;
}

TEST(KestrelProgram, ExitStatusesAndStreams) {
  const ProcessRun ok = runKestrel({"--sim", "--json", "status"});
  EXPECT_EQ(ok.status, 0);
  EXPECT_EQ(ok.err, "");
  EXPECT_EQ(clitest::parseJson(ok.out)["command"].number, 74);

  const ProcessRun refused = runKestrel({"--sim", "param", "set", "AutoPowerOff", "99"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.out, "");
  EXPECT_NE(refused.err.find("-112202"), std::string::npos) << refused.err;

  const ProcessRun usage = runKestrel({"--sim", "cmd"});
  EXPECT_EQ(usage.status, 2);
  EXPECT_EQ(usage.out, "");
  EXPECT_NE(usage.err.find("--help"), std::string::npos);
}

TEST(KestrelProgram, SimSubcommandServesAnotherKestrel) {
  int pipeFd[2];
  ASSERT_EQ(::pipe(pipeFd), 0);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, pipeFd[1], 1);
  posix_spawn_file_actions_addclose(&fa, pipeFd[0]);
  std::vector<std::string> words{KESTREL_BIN, "sim", "--tcp", "127.0.0.1:0"};
  std::vector<char*> argv = argvOf(words);
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, KESTREL_BIN, &fa, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&fa);
  ::close(pipeFd[1]);

  // Wait for "listening on 127.0.0.1:PORT".
  std::string printed;
  std::string port;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (port.empty() && std::chrono::steady_clock::now() < deadline) {
    pollfd p{pipeFd[0], POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    char buf[256];
    const ssize_t n = ::read(pipeFd[0], buf, sizeof buf);
    if (n <= 0) break;
    printed.append(buf, static_cast<size_t>(n));
    const std::string key = "listening on 127.0.0.1:";
    if (const size_t at = printed.find(key); at != std::string::npos && printed.find('\n', at) != std::string::npos)
      port = printed.substr(at + key.size(), printed.find('\n', at) - at - key.size());
  }
  ASSERT_FALSE(port.empty()) << printed;
  const std::string target = "127.0.0.1:" + port;

  EXPECT_EQ(runKestrel({"--tcp", target, "param", "set", "Header", "3", "FROM A SCRIPT"}).status, 0);
  const ProcessRun get = runKestrel({"--tcp", target, "param", "get", "Header", "3"});
  EXPECT_EQ(get.status, 0);
  EXPECT_EQ(get.out, "FROM A SCRIPT\n");

  ::kill(pid, SIGTERM);
  int wstatus = 0;
  ::waitpid(pid, &wstatus, 0);
  EXPECT_TRUE(WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0);
  char buf[256];
  ssize_t n;
  while ((n = ::read(pipeFd[0], buf, sizeof buf)) > 0) printed.append(buf, static_cast<size_t>(n));
  ::close(pipeFd[0]);
  EXPECT_NE(printed.find("kestrel-sim: stopped"), std::string::npos) << printed;
}

}  // namespace
}  // namespace kestrel::cli
