// The backup file and the restore against the simulator: values come back byte for
// byte, a damaged file is refused before anything is sent, a dry run writes nothing,
// service-mode values need the password, and a refusal does not end the restore.
#include <gtest/gtest.h>

#include <string>

#include "app/logic/backup.h"
#include "app/ops_fixture.h"

namespace kestrel {
namespace {

TBackup sample() {
  TBackup b;
  b.model = "KT-11A";
  b.created = "2026-12-10 10:00:00";
  b.pages = {{"header", {{"Header.0", "plain"}}}};
  b.tables = {{"payments", {"\"Number\";\"Name\";\"Forbidden\";", "\"1\";\"Cash\";\"0\";"}}};
  return b;
}

TEST(BackupFile, ValuesRoundTripExactly) {
  const std::string values[] = {"",      "  leading",  "trailing  ", "\"quoted\"", " \" both \" ", "a\\b\\n",
                                "x;y=z", "line\nnext", "cr\rhere",   "#hash",      ";semicolon", "[section]"};
  TBackup b = sample();
  for (size_t i = 0; i < std::size(values); ++i) b.pages[0].second.emplace_back("k" + std::to_string(i), values[i]);
  b.withClients = true;
  b.clients = {"header", "\"1\";\" A \"\"x\"\" \";\"\";\"0\";\"\";\"\";"};
  const TBackup back = parseBackup(backupText(b));
  EXPECT_EQ(back.model, "KT-11A");
  ASSERT_EQ(back.pages.size(), 1u);
  EXPECT_EQ(back.pages[0].second, b.pages[0].second);
  EXPECT_EQ(back.tables, b.tables);
  EXPECT_EQ(back.clients, b.clients);
  EXPECT_FALSE(back.withItems);
}

TEST(BackupFile, DamagedFilesAreRefusedWithTheReason) {
  // Written with the platform's line ends (CR LF on Windows, as SimpleIni writes there);
  // the damage below is written with LF, which the reader takes as well.
  std::string whole = backupText(sample());
  std::erase(whole, '\r');
  const auto cut = [&](const std::string& what) { return whole.substr(0, whole.find(what)); };
  const auto replaced = [&](const std::string& what, const std::string& by) {
    return std::string(whole).replace(whole.find(what), what.size(), by);
  };
  struct Case {
    std::string text, reason;
  };
  const Case cases[] = {
      {"", "no backup"},
      {"just some text\n", "no backup"},
      {cut("[config.header]"), "[config.header] holds 0 of 1"},
      {cut("line2"), "line2 is missing"},
      {std::string(whole).replace(whole.find("\"plain\""), 7, "plain"), "not quoted"},
      {std::string(whole).replace(whole.find("format=2"), 8, "format=9"), "format 9"},
      {std::string(whole).replace(whole.find("\"Name\""), 6, "\"Nom\""), "[table.payments] line 1"},
      // The parts must fit together: counts, sections, keys and the end key.
      {replaced("table.payments=2\n", ""), "[table.payments] has no count in [backup]"},
      {replaced("table.payments=2", "table.payments=1"), "[table.payments] holds 2 values, [backup] counts 1"},
      {whole + "[table.payments]\nline1=\"x\"\n", "[table.payments] appears twice"},
      {replaced("[config.header]\n", "[config.header]\nHeader.0=\"other\"\n"), "[config.header] Header.0 appears twice"},
      {replaced("end=1", "end=1\ntable.payments=2"), "table.payments appears twice"},
      {replaced("end=1", "end=1\nformat2=1"), "\"end=1\" is not its last key"},
      {replaced("end=1", "end=2"), "\"end=1\" is not its last key"},
      {replaced("model=", "surprise=1\nmodel="), "[backup] surprise is not a key of a backup"},
      // Outside text in a message is quoted short and escaped.
      {replaced("format=2", "format=\x1B[2J" + std::string(500, 'x')), "format \\x1B[2Jxxx"},
  };
  for (const auto& c : cases) {
    try {
      parseBackup(c.text);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
      EXPECT_LT(std::string(e.what()).size(), 200u) << e.what();
      EXPECT_EQ(std::string(e.what()).find('\x1B'), std::string::npos);
    }
  }
}

TEST(BackupRestore, DryRunWritesNothingAndRestoreWritesOnlyDifferences) {
  apptest::OpsOnSim source("KT-11A"), target("KT-11A");
  source.device([](sim::DeviceModel& d) {
    d.mutableState().params["Dept_name"][2] = " Bakery \"fresh\" ";
    d.mutableState().params["APN"][0] = "internet.example";
    return 0;
  });
  TBackup b;
  const TLoopOutcome read = readBackup(source.ops, false, false, b);
  ASSERT_TRUE(read.ok()) << read.cause;
  EXPECT_EQ(source.host.progress.size(), source.host.progressMax) << "one step per page and table";
  b = parseBackup(backupText(b));

  target.clearSent();
  const TRestoreReport dry = restoreBackup(target.ops, b, {true, ""});
  for (const auto& s : target.sent) EXPECT_NE(s.command, 253) << "no service mode in a dry run";
  EXPECT_NE(target.param("Dept_name", 2), source.param("Dept_name", 2));
  EXPECT_EQ(dry.changes, (std::vector<std::string>{"departments row 3: \"3\";\"Department 3\"; -> \"3\";\" Bakery "
                                                   "\"\"fresh\"\" \";"}));
  ASSERT_EQ(dry.skipped.size(), 1u);
  EXPECT_NE(dry.skipped[0].find("communication.APN.0: needs the service password"), std::string::npos);
  EXPECT_TRUE(dry.written.empty());

  // Without the password the access point stays; with it, it is written in service mode.
  const TRestoreReport plain = restoreBackup(target.ops, b, {false, ""});
  EXPECT_TRUE(plain.ok()) << plain.summary(false);
  EXPECT_FALSE(plain.complete()) << "a skipped value is not written";
  EXPECT_NE(plain.summary(false).find("Skipped (not written):\n  communication.APN.0: needs the service password"),
            std::string::npos)
      << plain.summary(false);
  EXPECT_EQ(plain.written, (std::vector<std::string>{"departments"}));
  for (const auto& d : target.dialogs.shown) EXPECT_NE(d.text, MSG_DATA_SAVED) << "one summary, not a message per save";
  EXPECT_EQ(target.param("Dept_name", 2), " Bakery \"fresh\" ");
  EXPECT_EQ(target.param("APN", 0), "");
  const TRestoreReport service = restoreBackup(target.ops, b, {false, "1234"});
  EXPECT_TRUE(service.complete()) << service.summary(false);
  EXPECT_EQ(service.written, (std::vector<std::string>{"communication"}));
  EXPECT_EQ(target.param("APN", 0), "internet.example");
  EXPECT_FALSE(target.device([](sim::DeviceModel& d) { return d.serviceMode(); })) << "service mode left";

  // A wrong password: the page is reported and the rest goes on.
  target.device([](sim::DeviceModel& d) {
    d.mutableState().params["APN"][0] = "";
    d.mutableState().params["Dept_name"][2] = "x";
    return 0;
  });
  const TRestoreReport wrong = restoreBackup(target.ops, b, {false, "9999"});
  EXPECT_FALSE(wrong.ok());
  EXPECT_EQ(wrong.written, (std::vector<std::string>{"departments"}));
  ASSERT_EQ(wrong.notWritten.size(), 1u);
  EXPECT_EQ(wrong.notWritten[0].rfind("communication: the save stopped", 0), 0u) << wrong.notWritten[0];
  EXPECT_NE(wrong.summary(false).find("Not written:\n  communication"), std::string::npos);
}

// A key named after a device parameter holds the device's value (an inverted box,
// minutes); a format 1 file, which held the window's states, still restores as it meant.
TEST(BackupRestore, ParameterKeysHoldTheDeviceValuesAndFormatOneStillRestores) {
  apptest::OpsOnSim source("KT-33A"), target("KT-33A");
  auto setParams = [](apptest::OpsOnSim& s, const char* disable, const char* minutes) {
    s.device([&](sim::DeviceModel& d) {
      d.mutableState().params["DateFromNAPServDisable"][0] = disable;
      d.mutableState().params["DaylightSavingMinutes"][0] = minutes;
      return 0;
    });
  };
  setParams(source, "1", "60");
  TBackup b;
  ASSERT_TRUE(readBackup(source.ops, false, false, b).ok());
  const std::string text = backupText(b);
  for (const char* line : {"DateFromNAPServDisable=\"1\"", "DaylightSavingMinutes=\"60\""})
    EXPECT_NE(text.find(line), std::string::npos) << line;

  struct Case {
    const char* what;
    std::string file;
  };
  // What format 1 held: the pages as the window shows them.
  TBackup widgets = b;
  widgets.format = 1;
  for (auto& [name, values] : widgets.pages) {
    const TConfigPage* p = findConfigPage(name);
    TPageValues v;
    ASSERT_TRUE(p->read(source.ops, v)) << name;
    values = p->show(v, source.ops.ecrModel);
  }
  const std::string old = backupText(widgets);
  EXPECT_NE(old.find("DaylightSavingMinutes=\"1\""), std::string::npos) << "a box, checked";
  for (const Case& c : {Case{"format 2", text}, Case{"format 1", old}}) {
    setParams(target, "0", "0");
    const TRestoreReport r = restoreBackup(target.ops, parseBackup(c.file), {false, ""});
    EXPECT_TRUE(r.ok()) << c.what << ": " << r.summary(false);
    EXPECT_EQ(target.param("DateFromNAPServDisable"), "1") << c.what;
    EXPECT_EQ(target.param("DaylightSavingMinutes"), "60") << c.what;
  }
}

TEST(BackupRestore, AFileOfAnotherModelRestoresWhatApplies) {
  apptest::OpsOnSim source("KT-11A"), target("KT-33A");
  source.device([](sim::DeviceModel& d) { return d.mutableState().params["Dept_name"][0] = "Bread"; });
  TBackup b;
  const TLoopOutcome read = readBackup(source.ops, false, false, b);
  ASSERT_TRUE(read.ok()) << read.cause;
  const TRestoreReport r = restoreBackup(target.ops, b, {false, ""});
  EXPECT_TRUE(r.ok()) << r.summary(false);
  ASSERT_FALSE(r.notes.empty());
  EXPECT_EQ(r.notes[0].rfind("The file is of model KT-11A, the device is KT-33A", 0), 0u) << r.notes[0];
  EXPECT_EQ(target.param("Dept_name", 0), "Bread");
}

}  // namespace
}  // namespace kestrel
