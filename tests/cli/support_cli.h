#pragma once
// Running kestrel in-process, and a small strict JSON reader to check what it prints.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kestrel::clitest {

struct CliRun {
  int status = -1;
  std::string out, err;
};

// kestrel::cli::run with `args` after the program name.
CliRun runCli(const std::vector<std::string>& args);

// Standard input that is no terminal, also when the tests themselves run on one. POSIX
// only, as runOnTerminal.
struct StdinNotTerminal {
  StdinNotTerminal();
  ~StdinNotTerminal();
  int saved;
};

// `program` with `args` as a process whose stdin and stderr are one pseudo-terminal
// (stdout goes to /dev/null); `typed` is typed on it first. Returns what the program
// wrote on the terminal. POSIX only (support_cli_posix.cpp).
std::string runOnTerminal(const std::string& program, std::vector<std::string> args, const std::string& typed,
                          int& status);

// A parsed JSON value; parseJson throws std::runtime_error on anything that is not
// exactly one valid JSON value (trailing text included).
struct Json {
  enum Type { Null, Bool, Number, String, Array, Object } type = Null;
  bool boolean = false;
  double number = 0;
  std::string text;  // String: the decoded UTF-8 text
  std::vector<Json> items;
  std::vector<std::pair<std::string, Json>> members;  // in the order written

  bool has(const std::string& key) const;
  const Json& operator[](const std::string& key) const;  // throws when missing
  const Json& operator[](size_t i) const { return items.at(i); }
  std::vector<std::string> keys() const;
  std::vector<std::string> strings() const;  // an array of strings
};

Json parseJson(const std::string& text);

}  // namespace kestrel::clitest
