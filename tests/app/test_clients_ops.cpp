// The Clients operations against the simulator: the read's walk of the numbers up to
// 1000, its stop and its end on a device whose "N" does not advance, saving all and
// saving selected with a refusal, the two deletes, and the client CSV file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "app/logic/mem_table.h"
#include "app/logic/pages/clients.h"
#include "app/ops_fixture.h"
#include "util/temp_path.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;
using test::fileBytes;
using test::TempPath;
using apptest::OpsOnSim;

struct ClientRow {
  int id;
  std::string name, name2, address1, address2, taxn;
  bool operator==(const ClientRow&) const = default;
};

std::vector<ClientRow> rowsOf(const TMemTable& t) {
  std::vector<ClientRow> rows;
  for (int r = 0; r < t.RecordCount(); ++r)
    rows.push_back({std::stoi(t.value(r, "ID")), t.value(r, "Client"), t.value(r, "Client_2"), t.value(r, "Address1"),
                    t.value(r, "Address2"), t.value(r, "TAXN")});
  return rows;
}

void fill(TMemTable& t, const std::vector<ClientRow>& rows) {
  prepareClientTable(t);
  for (const auto& c : rows) {
    const int r = appendClientRow(t);
    t.setValue(r, "ID", std::to_string(c.id));
    t.setValue(r, "Client", c.name);
    t.setValue(r, "Client_2", c.name2);
    t.setValue(r, "Address1", c.address1);
    t.setValue(r, "Address2", c.address2);
    t.setValue(r, "TAXN", c.taxn);
  }
}

void putClients(OpsOnSim& s, const std::vector<ClientRow>& rows) {
  s.device([&](sim::DeviceModel& d) {
    for (const auto& c : rows) d.mutableState().clients[c.id] = {c.name, c.taxn, c.name2, c.address1, c.address2};
    return 0;
  });
}

std::vector<int> deviceNumbers(OpsOnSim& s) {
  return s.device([](sim::DeviceModel& d) {
    std::vector<int> n;
    for (const auto& [id, c] : d.state().clients) n.push_back(id);
    return n;
  });
}

std::vector<std::string> texts(const ScriptedDialogs& d) {
  std::vector<std::string> t;
  for (const auto& r : d.shown) t.push_back(r.text);
  return t;
}

const ClientRow SHOP{1, "Shop d.o.o.", "", "Ferhadija 1", "71000 Sarajevo", "4200000000001"};

TEST(ClientsOps, ReadWalksTheNumbersUpToOneThousand) {
  struct Case {
    std::vector<ClientRow> device;
    size_t nextCommands;  // "N" after the "F"
    std::vector<std::string> statusTexts;
  };
  const ClientRow two{2, "B", "B2", "", "", "2"}, five{5, "C", "", "x", "y", ""};
  const Case cases[] = {
      {{}, 0, {}},
      // 1 and 2 answered, 5 answered, then 6 to 1000 counted through refused "N".
      {{SHOP, two, five}, 2 + 995,
       {"Reading client...1", "Reading client...2", "Reading client...5"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.device.size());
    OpsOnSim s("KT-11A");
    putClients(s, c.device);
    TMemTable table(CLIENTS_TABLE_NAME);
    prepareClientTable(table);
    const TLoopOutcome r = readClientInfo(s.ops, table);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.answered, static_cast<int64_t>(c.device.size()));
    EXPECT_EQ(rowsOf(table), c.device);
    const auto in = s.inputsOf(140);
    ASSERT_EQ(in.size(), 1 + c.nextCommands);
    EXPECT_EQ(in[0], "F\t\t");
    for (size_t i = 1; i < in.size(); ++i) EXPECT_EQ(in[i], "N\t");
    EXPECT_TRUE(s.dialogs.shown.empty()) << "-106000 is silent";
    EXPECT_EQ(s.host.statusHistory, c.statusTexts);
    EXPECT_EQ(s.host.statusText, "");
    EXPECT_FALSE(s.host.progressVisible);
    if (!c.device.empty()) {
      EXPECT_EQ(r.reached, 1000);
      EXPECT_EQ(s.host.progress.back(), 1000);
      EXPECT_EQ(s.host.messagesRun, static_cast<int>(c.nextCommands));
    }
  }
}

TEST(ClientsOps, ReadEndsOnTheStopRequestAProtocolErrorAndANumberThatDoesNotAdvance) {
  struct Case {
    const char* what;
    std::function<void(OpsOnSim&)> prepare;
    TLoopEnd end;
    size_t commands;
    std::string alert;  // the beginning of the one alert shown; empty: none
  };
  const Case cases[] = {
      {"stop", [](OpsOnSim& s) { s.host.stop = true; }, TLoopEnd::Stopped, 1, ""},
      {"number not numeric",
       [](OpsOnSim& s) { s.device([](sim::DeviceModel& d) { return d.clientNumberGarbled = true; }); },
       TLoopEnd::Failed, 2, "Error in protocol!"},
      // "N" answers the same client again: the walk would never reach 1000.
      {"number repeated",
       [](OpsOnSim& s) { s.device([](sim::DeviceModel& d) { return d.clientCursorStuck = true; }); },
       TLoopEnd::Failed, 2,
       "Error in protocol! The device answered client 1 after client 1; the reading ends here."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OpsOnSim s("KT-11A");
    putClients(s, {SHOP, {2, "B", "", "", "", ""}});
    c.prepare(s);
    TMemTable table(CLIENTS_TABLE_NAME);
    prepareClientTable(table);
    EXPECT_EQ(readClientInfo(s.ops, table).end, c.end);
    EXPECT_EQ(rowsOf(table), std::vector<ClientRow>{SHOP});
    EXPECT_EQ(s.inputsOf(140).size(), c.commands);
    EXPECT_EQ(texts(s.dialogs), c.alert.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.alert});
    EXPECT_FALSE(s.host.progressVisible);
  }
}

TEST(ClientsOps, SaveAllReportsARefusalAndGoesOnSaveSelectedStopsAtIt) {
  const std::vector<ClientRow> rows = {SHOP, {12, "Twelve", "", "", "", ""}, {3, "Three", "3b", "a", "b", "33"}};
  {
    OpsOnSim s("KT-11A");
    s.device([](sim::DeviceModel& d) { return d.refusedClientNumbers.insert(12).second; });
    TMemTable table(CLIENTS_TABLE_NAME);
    fill(table, rows);
    const TLoopOutcome r = SaveAllClientInfo(s.ops, table);
    EXPECT_EQ(r.end, TLoopEnd::Done);
    EXPECT_EQ(r.answered, 2);
    EXPECT_EQ(r.closingMessage(CLIENTS_SAVE), "1 client could not be saved: client 12 (Bad value of parameter 1).");
    // The tax number follows the name; no second name leaves its field empty.
    EXPECT_EQ(s.inputsOf(140), (std::vector<std::string>{"P\t1\tShop d.o.o.\t4200000000001\t\tFerhadija 1\t71000 Sarajevo\t",
                                                         "P\t12\tTwelve\t\t\t\t\t", "P\t3\tThree\t33\t3b\ta\tb\t"}));
    EXPECT_EQ(deviceNumbers(s), (std::vector<int>{1, 3}));
    // The refusal's alert, and no "saved" for a client that was not.
    const auto shown = texts(s.dialogs);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0], "The data was saved in the device.");
    EXPECT_EQ(s.host.statusHistory,
              (std::vector<std::string>{"Saving client...000000001", "Saving client...000000012",
                                        "Saving client...000000003"}));
    EXPECT_EQ(s.host.statusText, "");
    EXPECT_FALSE(s.host.progressVisible);
  }
  OpsOnSim s("KT-11A");
  s.device([](sim::DeviceModel& d) { return d.refusedClientNumbers.insert(12).second; });
  TMemTable table(CLIENTS_TABLE_NAME);
  fill(table, rows);
  EXPECT_EQ(saveSelectedClients(s.ops, table, {3, 12, 1}).failedNumbers, std::vector<int64_t>{12});
  EXPECT_EQ(s.inputsOf(140), (std::vector<std::string>{"P\t3\tThree\t33\t3b\ta\tb\t", "P\t12\tTwelve\t\t\t\t\t"}));
  EXPECT_EQ(texts(s.dialogs).size(), 1u);  // the refusal, no saved message
  // A number no row holds sends nothing.
  s.clearSent();
  EXPECT_FALSE(SaveClient(s.ops, table, 999));
  EXPECT_TRUE(s.sent.empty());
}

TEST(ClientsOps, DeleteAllAsksWithNoByDefaultDeleteSelectedStopsAtTheFirstRefusal) {
  OpsOnSim s("KT-11A");
  const std::vector<ClientRow> rows = {SHOP, {2, "B", "", "", "", ""}, {5, "C", "", "", "", ""}};
  putClients(s, rows);
  TMemTable table(CLIENTS_TABLE_NAME);
  fill(table, rows);

  EXPECT_FALSE(DellAllClients(s.ops, table));  // the default button: No
  ASSERT_EQ(s.dialogs.shown.size(), 1u);
  EXPECT_EQ(s.dialogs.shown[0].text, "Delete all clients, are you sure?");
  EXPECT_EQ(s.dialogs.shown[0].title, "WARNING!");
  EXPECT_EQ(s.dialogs.shown[0].defaultButton, mrNo);
  EXPECT_TRUE(s.sent.empty());
  EXPECT_EQ(table.RecordCount(), 3);

  // 7 is not in the device: 2 goes, 7 is refused, 5 stays.
  EXPECT_EQ(delSelectedClients(s.ops, table, {2, 7, 5}).end, TLoopEnd::Failed);
  EXPECT_EQ(s.inputsOf(140), (std::vector<std::string>{"D\t2\t\t", "D\t7\t\t"}));
  EXPECT_EQ(deviceNumbers(s), (std::vector<int>{1, 5}));
  EXPECT_EQ(rowsOf(table), (std::vector<ClientRow>{rows[0], rows[2]}));
  EXPECT_TRUE(delSelectedClients(s.ops, table, {5}).ok());
  EXPECT_EQ(texts(s.dialogs).back(), "Selected clients deleted.");

  s.clearSent();
  s.dialogs.answer(mrYes);
  EXPECT_TRUE(DellAllClients(s.ops, table));
  EXPECT_EQ(s.inputsOf(140), std::vector<std::string>{"D\tA\t\t"});
  EXPECT_EQ(table.RecordCount(), 0);
  EXPECT_TRUE(deviceNumbers(s).empty());
  EXPECT_EQ(texts(s.dialogs).back(), "Clients deleted!");
}

TEST(ClientsCsv, ExportImportsAgainEqualAlsoWithSeparatorsAndQuotes) {
  OpsOnSim s("KT-11A");
  TMemTable table(CLIENTS_TABLE_NAME);
  fill(table, {SHOP, {7, "Kuća \"Dom\"; Mostar", "a;b", "\"", ";", "12.5"}});
  TempPath file;
  s.host.files = {file.path};
  ASSERT_TRUE(btnExportClientsClick(s.ops, table));
  EXPECT_EQ(texts(s.dialogs).back(), "Successful export to:\r\n" + file.path);
  const std::string bytes = fileBytes(file.path);
  EXPECT_EQ(bytes.substr(0, bytes.find("\r\n") + 2),
            "\"Number\";\"Client name - first\";\"Client name - second\";\"TAX Number\";\"Address 1\";\"Address 2\";\r\n");
  EXPECT_NE(bytes.find("\r\n\"1\";\"Shop d.o.o.\";\"\";\"4200000000001\";\"Ferhadija 1\";\"71000 Sarajevo\";\r\n"),
            std::string::npos)
      << bytes;

  TMemTable back(CLIENTS_TABLE_NAME);
  prepareClientTable(back);
  EXPECT_TRUE(importFromCsv_clients(s.host, back, file.path));
  EXPECT_EQ(rowsOf(back), rowsOf(table));
}

TEST(ClientsCsv, PlainFilesImportAndRefusedValuesStopTheImport) {
  OpsOnSim s("KT-11A");
  struct Case {
    std::string lines;  // after the header
    std::vector<ClientRow> rows;
    std::string error;  // of the refused line; empty: the whole file imports
  };
  const Case cases[] = {
      // A comma in the tax number becomes a point and its first blank goes; an empty one is "0";
      // blank lines are skipped.
      {"\"7\";\"Shop\";\"\";\"12,3 4\";\"Street 1\";\"\";\r\n   \r\n\"8\";\"B\";\"B2\";\"\";\"\";\"\";\r\n",
       {{7, "Shop", "", "Street 1", "", "12.34"}, {8, "B", "B2", "", "", "0"}},
       ""},
      // An empty number becomes 0, which the table refuses: the rows before stay.
      {"\"7\";\"Shop\";\"\";\"\";\"\";\"\";\r\n\"\";\"X\";\"\";\"\";\"\";\"\";\r\n\"9\";\"Y\";\"\";\"\";\"\";\"\";\r\n",
       {{7, "Shop", "", "", "", "0"}},
       "'0'"},
      // A tax number too long for the table is stored as "0".
      {"\"3\";\"A\";\"\";\"12345678901234\";\"\";\"\";\r\n", {{3, "A", "", "", "", "0"}}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines);
    TempPath file;
    std::ofstream(file.path, std::ios::binary) << CLIENTS_CSV_HEADER << "\r\n" << c.lines;
    TMemTable table(CLIENTS_TABLE_NAME);
    prepareClientTable(table);
    if (c.error.empty()) {
      EXPECT_TRUE(importFromCsv_clients(s.host, table, file.path));
    } else {
      try {
        importFromCsv_clients(s.host, table, file.path);
        ADD_FAILURE() << "the refused line was taken";
      } catch (const EFieldValueError& e) {
        EXPECT_NE(std::string(e.what()).find(c.error), std::string::npos) << e.what();
      }
    }
    EXPECT_EQ(rowsOf(table), c.rows);
    EXPECT_FALSE(s.host.progressVisible);
  }

  // The 1001st client is refused with the table's message.
  TempPath big;
  {
    std::ofstream out(big.path, std::ios::binary);
    out << CLIENTS_CSV_HEADER << "\r\n";
    for (int i = 1; i <= 1001; ++i) out << "\"" << (i <= 1000 ? i : 1) << "\";\"N\";\"\";\"\";\"\";\"\";\r\n";
  }
  TMemTable table(CLIENTS_TABLE_NAME);
  prepareClientTable(table);
  EXPECT_THROW(importFromCsv_clients(s.host, table, big.path), EFieldValueError);
  EXPECT_EQ(table.RecordCount(), 1000);
}

TEST(ClientsCsv, ButtonsRefuseANameWithoutBaseAndAMissingFile) {
  OpsOnSim s("KT-11A");
  TMemTable table(CLIENTS_TABLE_NAME);
  fill(table, {SHOP});
  const std::string dir = fs::temp_directory_path().string();
  s.host.files = {dir + "/.csv"};
  EXPECT_FALSE(btnExportClientsClick(s.ops, table));
  EXPECT_EQ(texts(s.dialogs).back(), "Wrong file name.");
  EXPECT_FALSE(fs::exists(dir + "/.csv"));

  // The table has rows: the question first (Yes), then the missing file.
  s.host.files = {dir + "/kestrel_no_such_clients.csv"};
  EXPECT_FALSE(btnImportClientsClick(s.ops, table));
  const auto shown = texts(s.dialogs);
  ASSERT_GE(shown.size(), 2u);
  EXPECT_EQ(shown[shown.size() - 2], "Importing will clear the table.");
  EXPECT_EQ(shown.back(), "File does not exist.");
  EXPECT_EQ(table.RecordCount(), 1);
}

}  // namespace
}  // namespace kestrel
