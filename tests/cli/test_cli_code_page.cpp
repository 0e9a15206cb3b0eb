// Values the device's code page cannot hold: items write, clients write, table set and
// header import name the row, the field and the characters (sent as "?"), and go on.
#include <gtest/gtest.h>

#include "support_cli.h"
#include "support_sim_server.h"
#include "util/temp_path.h"

namespace kestrel {
namespace {

using clitest::runCli;

constexpr const char* BOM = "\xEF\xBB\xBF";
constexpr const char* ITEMS_HEADER =
    "\"PLU\";\"Name\";\"VAT\";\"Department\";\"Group\";\"Price type\";\"Price\";\"Turnover\";\"Sold qty\";"
    "\"Stock qty\";\"Barcode1\";\"Barcode2\";\"Barcode3\";\"Barcode4\";\r\n";

std::string item(int plu, const std::string& name) {
  return "\"" + std::to_string(plu) + "\";\"" + name +
         "\";\"2\";\"1\";\"1\";\"0\";\"1.50\";\"0.00\";\"0.000\";\"4.000\";\"\";\"\";\"\";\"\";\r\n";
}

TEST(CliCodePage, EachWriteNamesTheValuesSentAsQuestionMarks) {
  clitest::SimServer server(clitest::registerModel());
  test::TempFolder dir;
  auto file = [&](const std::string& name, const std::string& text) {
    std::ofstream(dir.file(name), std::ios::binary) << BOM << text;
    return dir.file(name);
  };
  struct Case {
    std::vector<std::string> command;
    std::vector<std::string> warned;  // each on a warning line of its own
    size_t lines = warned.size();     // warning lines in all
  };
  std::string many = ITEMS_HEADER;
  for (int plu = 1; plu <= 25; ++plu) many += item(plu, "Ж");
  const std::vector<Case> cases = {
      {{"items", "write", file("items.csv", ITEMS_HEADER + item(1, "Čaj") + item(2, "Tea Ж") + item(3, "Ω and ∑"))},
       {"PLU 2, Name: the device's code page 1250 has no \"Ж\": it is sent as \"?\"",
        "PLU 3, Name: the device's code page 1250 has no \"Ω\", \"∑\": each is sent as \"?\""}},
      // Only the rows written are checked.
      {{"items", "write", dir.file("items.csv"), "--from", "1", "--to", "1"}, {}},
      {{"clients", "write",
        file("clients.csv",
             "\"Number\";\"Client name - first\";\"Client name - second\";\"TAX Number\";\"Address 1\";\"Address 2\";\r\n"
             "\"7\";\"Shop\";\"\";\"123\";\"Улица 1\";\"\";\r\n")},
       {"client 7, Address 1: the device's code page 1250 has no \"У\", \"л\", \"и\", \"ц\", \"а\""}},
      {{"table", "set", "departments", file("departments.csv", "\"Number\";\"Name\";\r\n\"1\";\"Ψ fresh\";\r\n")},
       {"row 1, Name: the device's code page 1250 has no \"Ψ\""}},
      // A long list stops at 20 values and counts the rest.
      {{"items", "write", file("many.csv", many)},
       {"PLU 20, Name: the device's code page 1250 has no \"Ж\"", "and 5 more value(s) the code page cannot hold"},
       21},
      {{"header", "import", file("header.txt", "SHOP Ž\nLINE ¤ Ж\n")}, {"header line 2, Text: the device's code page 1250 has no \"Ж\""}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"--tcp", server.tcp()};
    args.insert(args.end(), c.command.begin(), c.command.end());
    SCOPED_TRACE(c.command[0] + " " + c.command[1]);
    const clitest::CliRun r = runCli(args);
    EXPECT_EQ(r.status, 0) << r.err;
    size_t warnings = 0;
    for (size_t at = r.err.find("kestrel: warning: "); at != std::string::npos; at = r.err.find("kestrel: warning: ", at + 1))
      ++warnings;
    EXPECT_EQ(warnings, c.lines) << r.err;
    for (const std::string& w : c.warned) EXPECT_NE(r.err.find("kestrel: warning: " + w), std::string::npos) << r.err;
  }
}

}  // namespace
}  // namespace kestrel
