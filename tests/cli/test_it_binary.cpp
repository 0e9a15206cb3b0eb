// The kestrel program itself, run as a process: exit statuses, stdout and stderr kept
// apart, and `kestrel sim` serving another kestrel over TCP.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

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

// `kestrel sim ARGS` as a process, its stdout read until it listens.
struct SimProcess {
  explicit SimProcess(std::vector<std::string> args) {
    int pipeFd[2];
    if (::pipe(pipeFd) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, pipeFd[1], 1);
    posix_spawn_file_actions_addclose(&fa, pipeFd[0]);
    std::vector<std::string> words{KESTREL_BIN, "sim", "--tcp", "127.0.0.1:0"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv = argvOf(words);
    const int rc = posix_spawn(&pid, KESTREL_BIN, &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(pipeFd[1]);
    out = pipeFd[0];
    if (rc != 0) throw std::runtime_error("spawn failed");
    // Wait for "listening on 127.0.0.1:PORT".
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (port.empty() && std::chrono::steady_clock::now() < deadline) {
      pollfd p{out, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      char buf[256];
      const ssize_t n = ::read(out, buf, sizeof buf);
      if (n <= 0) break;
      printed.append(buf, static_cast<size_t>(n));
      const std::string key = "listening on 127.0.0.1:";
      if (const size_t at = printed.find(key); at != std::string::npos && printed.find('\n', at) != std::string::npos)
        port = printed.substr(at + key.size(), printed.find('\n', at) - at - key.size());
    }
  }
  ~SimProcess() {
    if (pid > 0) stop();
    ::close(out);
  }
  // SIGTERM, then the exit status; what it printed is in `printed`.
  int stop() {
    ::kill(pid, SIGTERM);
    int wstatus = 0;
    ::waitpid(pid, &wstatus, 0);
    pid = -1;
    char buf[256];
    ssize_t n;
    while ((n = ::read(out, buf, sizeof buf)) > 0) printed.append(buf, static_cast<size_t>(n));
    return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  }
  std::string target() const { return "127.0.0.1:" + port; }

  pid_t pid = -1;
  int out = -1;
  std::string port, printed;
};

TEST(KestrelProgram, SimSubcommandServesAnotherKestrel) {
  SimProcess sim({});
  ASSERT_FALSE(sim.port.empty()) << sim.printed;
  EXPECT_EQ(runKestrel({"--tcp", sim.target(), "param", "set", "Header", "3", "FROM A SCRIPT"}).status, 0);
  const ProcessRun get = runKestrel({"--tcp", sim.target(), "param", "get", "Header", "3"});
  EXPECT_EQ(get.status, 0);
  EXPECT_EQ(get.out, "FROM A SCRIPT\n");
  EXPECT_EQ(sim.stop(), 0);
  EXPECT_NE(sim.printed.find("kestrel-sim: stopped"), std::string::npos) << sim.printed;
}

// The device's state is lost when its file cannot be written: the exit status says so.
// A log that is no regular file ends the start at once instead of blocking in open().
TEST(KestrelProgram, SimExitStatusTellsOfALostStateAndARefusedLog) {
  char dir[] = "/tmp/kestrel-sim-state-XXXXXX";
  ASSERT_TRUE(::mkdtemp(dir));
  const std::string folder = std::string(dir) + "/gone";
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  SimProcess sim({"--state", folder + "/device.state"});
  ASSERT_FALSE(sim.port.empty()) << sim.printed;
  ASSERT_EQ(::rmdir(folder.c_str()), 0);
  EXPECT_EQ(runKestrel({"--tcp", sim.target(), "param", "set", "Header", "3", "LOST"}).status, 0);
  EXPECT_NE(sim.stop(), 0) << "the state was not written";

  const std::string fifo = std::string(dir) + "/log.fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const ProcessRun log = runKestrel({"sim", "--tcp", "127.0.0.1:0", "--log", fifo});
  EXPECT_EQ(log.status, 1);
  EXPECT_NE(log.err.find("is not a regular file"), std::string::npos) << log.err;
  ::unlink(fifo.c_str());
  ::rmdir(dir);
}


// --idle-drop-ms: a client that connects and says nothing gives way to a waiting kestrel
// after that long (the log says so); a value that is no number of milliseconds is refused.
TEST(KestrelProgram, SimIdleDropMsLetsAWaitingClientIn) {
  char dir[] = "/tmp/kestrel-sim-idle-XXXXXX";
  ASSERT_TRUE(::mkdtemp(dir));
  const std::string log = std::string(dir) + "/sim.log";
  {
    SimProcess sim({"--idle-drop-ms", "200", "--log", log});
    ASSERT_FALSE(sim.port.empty()) << sim.printed;
    const int silent = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(static_cast<uint16_t>(std::stoi(sim.port)));
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(silent, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
    const ProcessRun r = runKestrel({"--tcp", sim.target(), "param", "get", "Header", "0"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "KESTREL TEST DEVICE\n");
    ::close(silent);
    EXPECT_EQ(sim.stop(), 0);
  }
  EXPECT_NE(readFile(log).find("client dropped: it sent nothing for 200 ms while another client waited"),
            std::string::npos)
      << readFile(log);
  ::unlink(log.c_str());
  ::rmdir(dir);

  for (const char* bad : {"-1", "x", "", "86400001", "1.5"}) {
    const ProcessRun r = runKestrel({"sim", "--tcp", "127.0.0.1:0", "--idle-drop-ms", bad});
    EXPECT_EQ(r.status, 2) << bad;
    EXPECT_NE(r.err.find("--idle-drop-ms"), std::string::npos) << r.err;
  }
}

}  // namespace
}  // namespace kestrel::cli
