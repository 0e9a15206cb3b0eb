// Files named on the command line: special files are refused before a device is
// connected, whether named as an output (a FIFO or a device node is never replaced) or
// as an input (a FIFO would block, /dev/zero never ends); inputs have a size limit; the
// password file is read once; no password reaches a trace or a JSON frame list.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "support_cli.h"
#include "support_sim_server.h"
#include "util/temp_path.h"

namespace kestrel {
namespace {

using clitest::runCli;
namespace fs = std::filesystem;

using clitest::registerModel;

TEST(CliFiles, SpecialFilesAreRefusedBeforeTheDeviceIsConnected) {
  clitest::SimServer server(registerModel());
  test::TempFolder dir;
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
  fs::create_symlink("/dev/null", dir.file("null"));
  fs::create_symlink("/dev/zero", dir.file("zero"));
  for (const char* special : {"fifo", "null", "zero"}) {
    const std::string f = dir.file(special);
    const std::vector<std::vector<std::string>> commands = {
        // outputs
        {"items", "read", "--csv", f},
        {"clients", "read", "--csv", f},
        {"table", "get", "departments", "--csv", f},
        {"header", "export", f},
        {"backup", f},
        {"ej", "read", "--type", "all", "--first", "1", "--last", "2", "-o", f},
        // inputs
        {"items", "write", f},
        {"items", "csv-check", f},
        {"clients", "write", f},
        {"table", "set", "departments", f},
        {"header", "import", f},
        {"restore", f},
        {"ej", "validate", f},
    };
    for (std::vector<std::string> args : commands) {
      SCOPED_TRACE(std::string(special) + ": " + args[0] + " " + args[1]);
      args.insert(args.begin(), {"--tcp", server.tcp()});
      const clitest::CliRun r = runCli(args);
      EXPECT_EQ(r.status, 1) << r.err;
      EXPECT_NE(r.err.find("not a regular file"), std::string::npos) << r.err;
    }
  }
  EXPECT_EQ(server.sim->framesServed(), 0u) << "nothing was sent";
  struct stat st {};
  ASSERT_EQ(::stat(dir.file("fifo").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the FIFO was replaced";
  ASSERT_EQ(::stat("/dev/null", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
  EXPECT_TRUE(fs::is_symlink(dir.file("null")));
}

TEST(CliFiles, AnInputLargerThanAnyOfItsKindIsRefused) {
  test::TempFolder dir;
  const std::string big = dir.file("clients.csv");
  std::ofstream(big, std::ios::binary).close();
  fs::resize_file(big, 5u << 20);  // sparse: takes no disk space
  clitest::SimServer server(registerModel());
  const clitest::CliRun r = runCli({"--tcp", server.tcp(), "clients", "write", big});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("more than any clients CSV file holds"), std::string::npos) << r.err;
  EXPECT_EQ(server.sim->framesServed(), 0u);
}

// The checks before connecting and the command both want the password: a pipe gives it
// only once. A FIFO that nobody writes ends at once instead of blocking.
TEST(CliFiles, ThePasswordFileIsReadOnce) {
  clitest::SimServer server(registerModel());
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  ASSERT_EQ(::write(pipeFds[1], "1234\n", 5), 5);
  ::close(pipeFds[1]);
  const clitest::CliRun on = runCli({"--tcp", server.tcp(), "service", "mode", "on", "--password-file",
                                     "/dev/fd/" + std::to_string(pipeFds[0])});
  ::close(pipeFds[0]);
  EXPECT_EQ(on.status, 0) << on.err;
  EXPECT_TRUE(server.sim->withDevice([](sim::DeviceModel& d) { return d.serviceMode(); }));

  test::TempFolder dir;
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
  const clitest::CliRun fifo =
      runCli({"--tcp", server.tcp(), "service", "mode", "on", "--password-file", dir.file("fifo")});
  EXPECT_EQ(fifo.status, 2);
  EXPECT_NE(fifo.err.find("holds no password"), std::string::npos) << fifo.err;
  const clitest::CliRun device =
      runCli({"--tcp", server.tcp(), "service", "mode", "on", "--password-file", "/dev/zero"});
  EXPECT_EQ(device.status, 2);
  EXPECT_NE(device.err.find("neither a regular file nor a pipe"), std::string::npos) << device.err;
}

// A refused value is quoted short and escaped: no terminal escape, no NUL that cuts the
// message, not a megabyte of stderr.
TEST(CliFiles, AMessageQuotesAShortEscapedExcerptOfTheFile) {
  test::TempPath csv;
  std::string field = "\x1B[2J";
  field += '\0';
  field += std::string(1 << 20, '7') + "x";
  std::ofstream(csv.path, std::ios::binary) << "header\r\n\"" << field << "\";\"Name\";\r\n";
  const clitest::CliRun r = runCli({"items", "csv-check", csv.path});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("'\\x1B[2J\\x00777"), std::string::npos) << r.err.substr(0, 300);
  EXPECT_EQ(r.err.find('\x1B'), std::string::npos);
  EXPECT_LT(r.err.size(), 400u);
}

// "1234" is 31 32 33 34; masked, each byte is 2A.
TEST(CliFiles, NoPasswordInTracesOrFrameLists) {
  clitest::SimServer server(registerModel());
  test::TempPath password(".txt");
  std::ofstream(password.path) << "1234\n";
  fs::permissions(password.path, fs::perms::owner_read | fs::perms::owner_write);
  const clitest::CliRun traced =
      runCli({"--tcp", server.tcp(), "--trace", "service", "mode", "on", "--password-file", password.path});
  ASSERT_EQ(traced.status, 0) << traced.err;
  EXPECT_EQ(traced.err.find("31 32 33 34"), std::string::npos) << traced.err;
  EXPECT_NE(traced.err.find("30 09 2A 2A 2A 2A"), std::string::npos) << traced.err;

  // An operator password written and read back as a parameter.
  for (const std::vector<std::string>& args : {std::vector<std::string>{"cmd", "101", "1\t1\t5678\t"},
                                               {"cmd", "255", "OperPasw\t0\t\t"}}) {
    std::vector<std::string> full{"--tcp", server.tcp(), "--json"};
    full.insert(full.end(), args.begin(), args.end());
    const clitest::CliRun r = runCli(full);
    const clitest::Json j = clitest::parseJson(r.out);
    std::string frames;
    for (const auto& s : j["sent"].strings()) frames += s + "\n";
    for (const auto& s : j["received"].strings()) frames += s + "\n";
    EXPECT_EQ(frames.find("35 36 37 38"), std::string::npos) << frames;
    EXPECT_EQ(frames.find("09 31 09"), std::string::npos) << "the old password 1: " << frames;
  }
}


// "-" as an output: the bytes the file would hold, on stdout alone, messages naming
// "standard output"; nothing on stdout when the result is not whole.
TEST(CliFiles, DashWritesTheWholeOutputToStandardOutput) {
  clitest::SimServer server(registerModel());
  server.sim->withDevice([](sim::DeviceModel& d) {
    std::string answer;
    for (const char* in : {"X\t", "X\t"}) d.execute(69, in, answer);  // journal documents 1 and 2
  });
  test::TempFolder dir;
  const std::vector<std::vector<std::string>> commands = {
      {"items", "read", "--csv", "@"},
      {"clients", "read", "--csv", "@"},
      {"table", "get", "departments", "--csv", "@"},
      {"header", "export", "@"},
      {"backup", "@"},
      {"ej", "read", "--type", "x", "--first", "1", "--last", "2", "-o", "@"},
  };
  for (const auto& command : commands) {
    SCOPED_TRACE(command[0] + " " + command[1]);
    auto with = [&](const std::string& target) {
      std::vector<std::string> args{"--tcp", server.tcp()};
      for (const std::string& w : command) args.push_back(w == "@" ? target : w);
      return runCli(args);
    };
    const std::string file = dir.file(command[0] + ".out");
    const clitest::CliRun toFile = with(file);
    ASSERT_EQ(toFile.status, 0) << toFile.err;
    const clitest::CliRun toStdout = with("-");
    EXPECT_EQ(toStdout.status, 0) << toStdout.err;
    EXPECT_FALSE(toStdout.out.empty());
    // The two backups may be taken on either side of a second: their moments differ.
    auto withoutMoment = [](std::string text) {
      const size_t at = text.find("\ncreated=");
      if (at != std::string::npos) text.erase(at + 1, text.find('\n', at + 1) - at);
      return text;
    };
    EXPECT_EQ(withoutMoment(toStdout.out), withoutMoment(test::fileBytes(file)));
    EXPECT_EQ(toStdout.err.find("kestrel-stdout-"), std::string::npos) << toStdout.err;
    EXPECT_FALSE(fs::exists("-"));
    if (command[0] == "backup") {
      EXPECT_NE(toStdout.err.find("written to standard output"), std::string::npos) << toStdout.err;
    }
  }

  // A read that fails half-way gives no part of a list.
  sim::SimulatorOptions cutting = registerModel();
  cutting.faults.cutEvery = 8;
  clitest::SimServer cut(cutting);
  clitest::addClients(cut, 20);
  const clitest::CliRun partial = runCli({"--tcp", cut.tcp(), "--repeat", "1", "clients", "read", "--csv", "-"});
  EXPECT_EQ(partial.status, 1);
  EXPECT_EQ(partial.out, "");
}

// "-" where a file is read, or where every device of a fleet would write, is refused
// before anything is sent.
TEST(CliFiles, DashIsRefusedWhereItMeansNoOutput) {
  clitest::SimServer server(registerModel());
  test::TempFolder dir;
  std::ofstream(dir.file("hosts")) << "a tcp:" << server.tcp() << "\nb tcp:" << server.tcp() << "\n";
  const std::vector<std::vector<std::string>> cases = {
      {"items", "write", "-"},     {"items", "csv-check", "-"}, {"clients", "write", "-"},
      {"table", "set", "departments", "-"}, {"header", "import", "-"}, {"restore", "-"},
      {"ej", "validate", "-"},     {"logo", "-"},               {"restore", "x.ini", "--password-file", "-"},
      {"--hosts", dir.file("hosts"), "backup", "-"},
  };
  for (std::vector<std::string> args : cases) {
    SCOPED_TRACE(args[0] + " " + args[1]);
    if (args[0] != "--hosts") args.insert(args.begin(), {"--tcp", server.tcp()});
    const clitest::CliRun r = runCli(args);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("'-'"), std::string::npos) << r.err;
  }
  EXPECT_EQ(server.sim->framesServed(), 0u);
}

}  // namespace
}  // namespace kestrel
