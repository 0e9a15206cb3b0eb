// The item CSV file: the bytes written, the import's field clean-ups and defaults, a
// refused line named by its number, values with ";" and quotes coming back whole, and
// the buttons' dialogs and file checks.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include "app/items_fixture.h"
#include "app/logic/pages/items_csv.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;
using apptest::addItemRow;
using apptest::rowsPlu;
using apptest::tableRows;

struct Csv : ::testing::Test {
  void SetUp() override {
    dir = fs::temp_directory_path() / ("kestrel_items_csv_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    misc.set_Dialogs(&dialogs);
    prepareArticlesTable(table);
  }
  void TearDown() override {
    misc.set_Dialogs(nullptr);
    fs::remove_all(dir);
  }
  std::string path(const std::string& name) const { return (dir / name).string(); }
  std::string bytes(const std::string& name) const {
    std::ifstream in(path(name), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  void write(const std::string& name, const std::string& content) const {
    std::ofstream(path(name), std::ios::binary) << content;
  }
  std::vector<std::string> shown() const {
    std::vector<std::string> t;
    for (const auto& d : dialogs.shown) t.push_back(d.text);
    return t;
  }

  fs::path dir;
  ScriptedDialogs dialogs;
  TFDMisc misc;
  TErrContainer err;
  TFiscalDevice fd;
  apptest::RecordingHost host;
  TDeviceOps ops{fd, misc, err, host};
  TMemTable table{"fdmt_Articles"};
  TItemsOps items{ops, table, host};
};

const std::string HEADER =
    "\"PLU\";\"Name\";\"VAT\";\"Department\";\"Group\";\"Price type\";\"Price\";\"Turnover\";\"Sold qty\";\"Stock "
    "qty\";\"Barcode1\";\"Barcode2\";\"Barcode3\";\"Barcode4\";\r\n";

TEST_F(Csv, ExportWritesTheFormatByteForByte) {
  addItemRow(table, {{"PLU", "7"}, {"VAT", "2"}, {"Name", "Čaj"}, {"Dept", "4"}, {"Price", "1.5"},
                     {"StockQty", "2.25"}, {"Barcode2", "123"}});
  addItemRow(table, {{"PLU", "8"}, {"VAT", "1"}, {"Name", "Salt"}});
  ASSERT_TRUE(CreateCSV(items, path("a.csv"), true, 5, 9));  // 5 and 9 not found: first to last row
  EXPECT_EQ(bytes("a.csv"), HEADER +
                                "\"7\";\"\xC8" "aj\";\"2\";\"4\";\"1\";\"0\";\"1.50\";\"0.00\";\"\";\"2.250\";\"\";\"123\";\"\";\"\";\r\n"
                                "\"8\";\"Salt\";\"1\";\"0\";\"1\";\"0\";\"\";\"0.00\";\"\";\"0.000\";\"\";\"\";\"\";\"\";\r\n");
  EXPECT_EQ(shown(), (std::vector<std::string>{"Successful export to:\r\n" + path("a.csv")}));

  items.selected = {1};
  ASSERT_TRUE(CreateCSV(items, path("b.csv"), false));
  EXPECT_EQ(bytes("b.csv"), HEADER + "\"8\";\"Salt\";\"1\";\"0\";\"1\";\"0\";\"\";\"0.00\";\"\";\"0.000\";\"\";\"\";\"\";\"\";\r\n");
}

TEST_F(Csv, EveryValueRoundTripsIncludingSeparatorsAndQuotes) {
  addItemRow(table, {{"PLU", "1"}, {"VAT", "1"}, {"Name", "Tea; green \"special\""}, {"Price", "12.34"},
                     {"Turnover", "-5"}, {"SoldQty", "1.5"}, {"StockQty", "-2"}, {"PriceType", "2"}});
  addItemRow(table, {{"PLU", "100000"}, {"VAT", "5"}, {"Name", " \"quoted\" "}, {"Dept", "99"}, {"Stock", "99"},
                     {"Barcode1", "1234567890123"}, {"Barcode4", "9"}, {"Price", "0"}, {"SoldQty", "0"}});
  addItemRow(table, {{"PLU", "3"}, {"VAT", "3"}, {"Name", "\""}, {"Price", "1"}, {"SoldQty", "2"}});
  addItemRow(table, {{"PLU", "4"}, {"VAT", "3"}, {"Name", ";"}, {"Price", "1"}, {"SoldQty", "2"}});
  const auto before = tableRows(table);
  ASSERT_TRUE(CreateCSV(items, path("r.csv"), true, 1, 100000));
  ASSERT_TRUE(importFromCsv(items, path("r.csv")));
  // Exported in PLU order.
  EXPECT_EQ(rowsPlu(table), (std::vector<std::string>{"1", "3", "4", "100000"}));
  EXPECT_EQ(tableRows(table), (std::vector<std::string>{before[0], before[2], before[3], before[1]}));
}

TEST_F(Csv, ImportCleansFieldsAndTakesDefaults) {
  struct Case {
    const char* line;
    const char* row;  // the row as the grid shows it
  };
  const Case cases[] = {
      // Empty columns take their defaults: VAT, department and group 1, zero amounts.
      {"\"1\";\"A\";\"\";\"\";\"\";\"\";\"\";\"\";\"\";\"\";\"\";\"\";\"\";\"\";", "1|1|A|1|1|0|0.00|0.00|0.000|0.000||||"},
      // Plain format, blanks only, one space inside a number goes, names keep theirs.
      {"\"2\";\" B b \";\" \";\"1 2\";\"3\";\"1\";\"1 234.5\";\"0\";\"0\";\"1\";\"12 3\";\"\";\"\";\"\";",
       "2|1| B b |12|3|1|1234.50|0.00|1.000|0.000|123|||"},
      // No quotes at all, a line without its trailing fields.
      {"3;C;2;0;1;0;1.5;", "3|2|C|0|1|0|1.50|0.00|0.000|0.000||||"},
  };
  for (const auto& c : cases) {
    write("c.csv", HEADER + c.line + "\n");
    ASSERT_TRUE(importFromCsv(items, path("c.csv"))) << c.line << ": " << (shown().empty() ? "" : shown().back());
    ASSERT_EQ(tableRows(table), (std::vector<std::string>{c.row})) << c.line;
  }
  // Only a header, or nothing: an empty table. A byte-order mark and CR line ends.
  for (const char* content : {"\"PLU\";\r\n", ""}) {
    write("h.csv", content);
    ASSERT_TRUE(importFromCsv(items, path("h.csv")));
    EXPECT_EQ(table.RecordCount(), 0);
  }
  write("u.csv", "\xEF\xBB\xBFh\r\"5\";\"\xC4\x8C\";\"1\";\r\"6\";\"x\";\"1\";");
  ASSERT_TRUE(importFromCsv(items, path("u.csv")));
  EXPECT_EQ(rowsPlu(table), (std::vector<std::string>{"5", "6"}));
  EXPECT_EQ(table.value(0, "Name"), "Č");
}

TEST_F(Csv, ARefusedLineStopsTheImportAndNamesItsNumber) {
  const char* refused[] = {
      "\"9\";\"x\";\"1\";\"0\";\"1\";\"0\";\"1,50\";",    // decimal comma
      "\"9\";\"x\";\"1\";\"0\";\"1\";\"0\";\"1 2 3\";",   // a second space stays
      "\"9\";\"x\";\"6\";",                              // VAT out of range
      "\"0\";\"x\";",                                    // PLU out of range
      "\"9\";\"x\";\"1\";\"0\";\"1\";\"0\";\"922337203685477.5808\";",  // more than a price holds
  };
  for (const char* line : refused) {
    dialogs.shown.clear();
    write("bad.csv", HEADER + "\"1\";\"ok\";\r\n\"2\";\"ok\";\r\n" + line + "\r\n\"4\";\"after\";\r\n");
    EXPECT_FALSE(importFromCsv(items, path("bad.csv"))) << line;
    EXPECT_EQ(rowsPlu(table), (std::vector<std::string>{"1", "2"})) << line;
    ASSERT_EQ(shown().size(), 1u);
    EXPECT_EQ(shown()[0].rfind("Exception in method \"importFromCsv\": Line 4: '", 0), 0u) << shown()[0];
  }
}

TEST_F(Csv, APriceBelowZeroIsTakenAndWrittenBack) {
  write("neg.csv", HEADER + "\"1\";\"Deposit return\";\"1\";\"0\";\"1\";\"0\";\"-0.50\";\r\n");
  ASSERT_TRUE(importFromCsv(items, path("neg.csv"))) << (shown().empty() ? "" : shown()[0]);
  EXPECT_EQ(table.value(0, "Price"), "-0.5000");
  EXPECT_EQ(itemProgramInput(table, 0).rfind("P\t1\t1\t0\t1\t0\t-0.50\t", 0), 0u) << itemProgramInput(table, 0);
}

TEST_F(Csv, ButtonsAskCheckTheFileAndItsName) {
  addItemRow(table, {{"PLU", "1"}, {"VAT", "1"}});
  // The question; No keeps the table.
  dialogs.answer(mrNo);
  EXPECT_FALSE(bbtnImportClick(items));
  EXPECT_EQ(dialogs.shown[0].text, "Importing will clear the current table.");
  EXPECT_EQ(dialogs.shown[0].title, "Are you sure?");
  EXPECT_EQ(dialogs.shown[0].defaultButton, mrYes);
  EXPECT_EQ(table.RecordCount(), 1);
  dialogs.answer(mrYes);
  host.files = {path("none.csv")};
  EXPECT_FALSE(bbtnImportClick(items));
  EXPECT_EQ(shown().back(), "File does not exist.");
  EXPECT_EQ(host.filters.back(), "csv|*.csv");

  // Export: ".csv" is no name; "All items" writes every row; a folder that does not
  // exist is an error of CreateCSV and no success message.
  host.ranges = {TRangeChoice{}, TRangeChoice{"1", "1", true, false}, TRangeChoice{"1", "1", true, false}};
  host.files = {path(".csv"), path("all.csv"), path("no/such/dir.csv")};
  EXPECT_FALSE(bbtnExportClick(items));
  EXPECT_EQ(shown().back(), "Wrong file name.");
  EXPECT_FALSE(fs::exists(path(".csv")));
  EXPECT_TRUE(bbtnExportClick(items));
  EXPECT_EQ(host.rangeDialogs.back(), true);
  EXPECT_EQ(bytes("all.csv").substr(HEADER.size(), 4), "\"1\";");
  EXPECT_FALSE(bbtnExportClick(items));
  EXPECT_EQ(shown().back().rfind("Exception in method \"CreateCSV\": ", 0), 0u) << shown().back();

  // A failed write leaves the file that was there.
  write("keep.csv", "old");
  fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
  const bool canWrite = std::ofstream(path("probe")).good();  // root writes anyway
  if (!canWrite) {
    EXPECT_FALSE(CreateCSV(items, path("keep.csv"), true, 1, 1));
    EXPECT_EQ(bytes("keep.csv"), "old");
  }
  fs::permissions(dir, fs::perms::owner_all);
}

}  // namespace
}  // namespace kestrel
