// Date, header & footer against the simulator: the lines' save and read (footer first,
// empty line as a blank, a refusal ending the save, a refused read going on), the device
// date-time texts and the summer-time rule, the header/footer file, and the page as
// `kestrel config` sees it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "app/logic/config_pages.h"
#include "app/logic/fbh_summer_time.h"
#include "app/logic/mem_table.h"
#include "app/logic/pages/cliche.h"
#include "app/ops_fixture.h"
#include "support/files.h"
#include "util/temp_path.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

// "Šđčćž": letters of code page 1250 that are not ASCII.
const std::string LETTERS_1250 = "\xC5\xA0\xC4\x91\xC4\x8D\xC4\x87\xC5\xBE";

struct Tables {
  Tables() {
    prepareLinesTable(header);
    prepareLinesTable(footer);
  }
  TMemTable header{"fdmt_Header"}, footer{"fdmt_Footer"};
  TClicheTables both() { return {header, footer}; }
  std::string h(int id) const { return header.value(id - 1, "Text"); }
  std::string f(int id) const { return footer.value(id - 1, "Text"); }
  void fill(const std::string& prefix) {
    for (int r = 0; r < 10; ++r) {
      header.setValue(r, "Text", prefix + "H" + std::to_string(r + 1));
      footer.setValue(r, "Text", prefix + "F" + std::to_string(r + 1));
    }
  }
};

using TempDir = test::TempFolder;

void writeBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Runs `f` with each command's input just before it is sent; the commands are still
// recorded.
void beforeSending(apptest::OpsOnSim& s, std::function<void(const std::string& input)> f) {
  auto record = s.ops.onCommand;
  s.ops.onCommand = [record, f](uint16_t c, const std::string& in) {
    record(c, in);
    f(in);
  };
}

using apptest::at;

// ------------------------------------------------------------------ texts and rules

TEST(ClicheTexts, DateTimeInputsAndBothReadingsOfTheDeviceText) {
  EXPECT_EQ(setDateTimeInput(at(2025, 3, 7, 9, 5, 3), false), "07-03-25 09:05:03\t");
  EXPECT_EQ(setDateTimeInput(at(2025, 7, 1, 10, 0, 0), true), "01-07-25 10:00:00 DST\t");
  EXPECT_EQ(deviceDateTimeText(at(2000, 1, 1, 0, 0, 0)), "01-01-00 00:00:00");
  // The two digits cannot hold these years: never sent.
  EXPECT_THROW(deviceDateTimeText(at(1999, 12, 31, 23, 59, 59)), std::range_error);
  EXPECT_THROW(deviceDateTimeText(at(2100, 1, 1, 0, 0, 0)), std::range_error);

  for (const std::string text : {"31-12-24 23:59:58 DST", "31-12-24 23:59:58"}) {
    EXPECT_EQ(clicheDateTimeOf(text), at(2024, 12, 31, 23, 59, 58)) << text;
    EXPECT_EQ(deviceDateTimeOf(text), at(2024, 12, 31, 23, 59, 58)) << text;
  }
  // Not the device's form, or no such day or time: both readings refuse.
  for (const std::string bad : {"", "31-12-24", "31/12/24 10:00:00", "32-12-24 10:00:00", "29-02-25 10:00:00",
                                "31-12-24 24:00:00", "3a-12-24 10:00:00", "31-12-24 10:00:0x", "garbage text"}) {
    EXPECT_ANY_THROW(clicheDateTimeOf(bad)) << bad;
    EXPECT_ANY_THROW(deviceDateTimeOf(bad)) << bad;
  }
}

TEST(ClicheTexts, FederationSummerTimeBoundaries) {
  struct Case {
    LocalDateTime moment;
    bool summer;
  };
  const Case cases[] = {
      {at(2025, 3, 30, 1, 59, 59), false}, {at(2025, 3, 30, 2, 0, 0), true},
      {at(2025, 10, 26, 2, 59, 59), true}, {at(2025, 10, 26, 3, 0, 0), false},
      {at(2024, 3, 31, 2, 0, 0), true},    {at(2024, 3, 30, 12, 0, 0), false},  // 2024: the 31st is the last Sunday
      {at(2025, 7, 1, 10, 0, 0), true},    {at(2025, 1, 15, 10, 0, 0), false},
      {at(2025, 2, 30, 10, 0, 0), false},  // no such day
  };
  for (const auto& c : cases)
    EXPECT_EQ(FBH_SummerDTFor(c.moment), c.summer)
        << c.moment.year << "-" << c.moment.month << "-" << c.moment.day << " " << c.moment.hour << ":"
        << c.moment.minute << ":" << c.moment.second;
}

// ------------------------------------------------------------------ lines on the device

TEST(ClicheOps, SaveWritesFooterFirstWithEmptyLinesAsBlanksAndReadsBack) {
  apptest::OpsOnSim s;
  Tables t;
  t.header.setValue(0, "Text", "MY SHOP");
  t.header.setValue(2, "Text", LETTERS_1250);
  t.footer.setValue(0, "Text", "BYE");
  ASSERT_TRUE(saveCliche(s.ops, t.both()));
  EXPECT_EQ(s.dialogs.shown.back().text, "The data was saved in the device.");

  const auto writes = s.inputsOf(255);
  ASSERT_EQ(writes.size(), 20u);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(writes[i].rfind("Footer\t" + std::to_string(i) + "\t", 0), 0u) << writes[i];
    EXPECT_EQ(writes[10 + i].rfind("Header\t" + std::to_string(i) + "\t", 0), 0u) << writes[10 + i];
  }
  EXPECT_EQ(writes[0], "Footer\t0\tBYE\t");
  EXPECT_EQ(writes[1], "Footer\t1\t \t");  // an empty line is one blank, never an empty value
  EXPECT_EQ(writes[11], "Header\t1\t \t");
  EXPECT_EQ(s.param("Header", 0), "MY SHOP");
  EXPECT_EQ(s.param("Footer", 0), "BYE");

  Tables back;
  back.fill("OLD");
  s.clearSent();
  LocalDateTime clock;
  ASSERT_TRUE(readCliche(s.ops, back.both(), clock));
  EXPECT_EQ(back.h(1), "MY SHOP");
  EXPECT_EQ(back.h(2), "");
  EXPECT_EQ(back.h(3), LETTERS_1250);
  EXPECT_EQ(back.f(1), "BYE");
  EXPECT_EQ(back.f(10), "");
  ASSERT_EQ(s.sent.size(), 21u);
  EXPECT_EQ(s.sent[0].input, "Header\t0\t\t");
  EXPECT_EQ(s.sent[10].input, "Footer\t0\t\t");
  EXPECT_EQ(s.sent[20].command, 62);
  EXPECT_EQ(s.sent[20].input, "");
  EXPECT_EQ(clock, at(2025, 7, 1, 10, 0, 0));  // the simulator's clock, " DST" on
}

TEST(ClicheOps, TheFirstRefusedLineEndsTheSave) {
  apptest::OpsOnSim s;
  Tables t;
  t.fill("NEW");
  // A receipt opens just before footer line 3 arrives: the device refuses the write.
  beforeSending(s, [&](const std::string& in) {
    if (in.rfind("Footer\t3\t", 0) == 0)
      s.device([](sim::DeviceModel& d) { d.mutableState().receipt.kind = sim::RK_NONFISCAL; });
  });
  EXPECT_FALSE(saveCliche(s.ops, t.both()));
  EXPECT_EQ(s.inputsOf(255).size(), 4u);
  EXPECT_EQ(s.param("Footer", 2), "NEWF3");  // written before the refusal
  EXPECT_EQ(s.param("Footer", 3), "");
  EXPECT_EQ(s.param("Header", 0), "KESTREL TEST DEVICE");
  ASSERT_EQ(s.dialogs.shown.size(), 1u);  // the device's error, no saved message
  EXPECT_NE(s.dialogs.shown[0].text, "The data was saved in the device.");
}

TEST(ClicheOps, ARefusedReadKeepsItsLineAndTheReadGoesOn) {
  apptest::OpsOnSim s;
  Tables t;
  t.fill("OLD");
  // The engine judges one answer failed: its status carries a bit counted as an error.
  beforeSending(s, [&](const std::string& in) {
    s.fd.dd()->LowLevel().set_sBytesChecking(5, 1, ccEndUser, in == "Header\t3\t\t");
  });
  LocalDateTime clock;
  EXPECT_FALSE(readCliche(s.ops, t.both(), clock));
  EXPECT_EQ(s.sent.size(), 21u);
  EXPECT_EQ(t.h(4), "OLDH4");
  EXPECT_EQ(t.h(1), "KESTREL TEST DEVICE");
  EXPECT_EQ(t.h(5), "");
  EXPECT_EQ(t.f(1), "THANK YOU");
  EXPECT_EQ(clock, at(2025, 7, 1, 10, 0, 0));
  EXPECT_EQ(s.dialogs.shown.size(), 1u);
}

TEST(ClicheOps, ALineWithATabIsRefusedBeforeAnythingIsSent) {
  apptest::OpsOnSim s;
  Tables t;
  t.header.setValue(9, "Text", "A\tB");
  EXPECT_THROW(saveCliche(s.ops, t.both()), std::runtime_error);
  EXPECT_TRUE(s.sent.empty());
}

// ------------------------------------------------------------------ clock

TEST(ClicheOps, SaveDatetimeAddsDstOnlyWithAutomaticSummerTimeAndInSummer) {
  struct Case {
    const char* minutes;  // "DaylightSavingMinutes" of the device
    LocalDateTime moment;
    std::string input;
  };
  const Case cases[] = {
      {"60", at(2025, 7, 1, 10, 0, 0), "01-07-25 10:00:00 DST\t"},
      {"60", at(2025, 3, 7, 9, 5, 3), "07-03-25 09:05:03\t"},
      {"0", at(2025, 7, 1, 10, 0, 0), "01-07-25 10:00:00\t"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    apptest::OpsOnSim s;
    s.device([&](sim::DeviceModel& d) { d.mutableState().params["DaylightSavingMinutes"][0] = c.minutes; });
    ASSERT_TRUE(saveDeviceDateTime(s.ops, c.moment));
    ASSERT_EQ(s.sent.size(), 2u);
    EXPECT_EQ(s.sent[0].command, 255);
    EXPECT_EQ(s.sent[0].input, "DaylightSavingMinutes\t\t\t");
    EXPECT_EQ(s.sent[1].command, 61);
    EXPECT_EQ(s.sent[1].input, c.input);
    EXPECT_EQ(s.dialogs.shown.back().text, "The data was saved in the device.");
    LocalDateTime back;
    ASSERT_TRUE(readDeviceDateTime(s.ops, back));
    EXPECT_EQ(back, c.moment);
  }

  apptest::OpsOnSim s;
  EXPECT_THROW(saveDeviceDateTime(s.ops, at(1999, 12, 31, 23, 0, 0)), std::range_error);
  EXPECT_TRUE(s.sent.empty());

  ASSERT_TRUE(printDiagnostic(s.ops));
  EXPECT_EQ(s.sent.back().command, 71);
  EXPECT_EQ(s.sent.back().input, "0\t");
}

// ------------------------------------------------------------------ file

TEST(ClicheFile, ExportWritesCodePage1250LinesAndImportRestoresThem) {
  TempDir dir;
  Tables t;
  t.fill("");
  t.header.setValue(1, "Text", LETTERS_1250);
  t.footer.setValue(9, "Text", "");
  exportClicheFile(dir.file("c.txt"), t.both());
  const std::string bytes = readWholeFile(dir.file("c.txt"));
  EXPECT_EQ(bytes.substr(0, 11), "H1\r\n\x8A\xF0\xE8\xE6\x9E\r\n");  // no mark, CR LF
  EXPECT_EQ(bytes.substr(bytes.size() - 6), "F9\r\n\r\n");

  Tables back;
  back.fill("OLD");
  importClicheFile(dir.file("c.txt"), back.both());
  for (int id = 1; id <= 10; ++id) {
    EXPECT_EQ(back.h(id), t.h(id)) << id;
    EXPECT_EQ(back.f(id), t.f(id)) << id;
  }
}

TEST(ClicheFile, ImportReadsByteOrderMarksAndCodePage1250AndFillsByLine) {
  TempDir dir;
  struct Case {
    const char* name;
    std::string bytes;
  };
  // Two lines, "Šđ" and "B", in each encoding; line ends vary.
  const Case cases[] = {
      {"1250", "\x8A\xF0\r\nB\r\n"},
      {"utf8", "\xEF\xBB\xBF\xC5\xA0\xC4\x91\nB"},
      {"utf16le", std::string("\xFF\xFE\x60\x01\x11\x01\r\0\n\0B\0", 12)},
      {"utf16be", std::string("\xFE\xFF\x01\x60\x01\x11\0\r\0B\0\r", 12)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    writeBytes(dir.file(c.name), c.bytes);
    Tables t;
    t.fill("OLD");
    importClicheFile(dir.file(c.name), t.both());
    EXPECT_EQ(t.h(1), "\xC5\xA0\xC4\x91");
    EXPECT_EQ(t.h(2), "B");
    EXPECT_EQ(t.h(3), "");
    EXPECT_EQ(t.f(1), "");
  }

  // 12 lines: header 1..10, footer 1 and 2, the rest empty; a 22nd line is ignored.
  std::string twelve;
  for (int i = 1; i <= 12; ++i) twelve += "L" + std::to_string(i) + "\r\n";
  writeBytes(dir.file("twelve.txt"), twelve);
  Tables t;
  t.fill("OLD");
  EXPECT_EQ(importClicheFile(dir.file("twelve.txt"), t.both()), 0);
  EXPECT_EQ(t.h(1), "L1");
  EXPECT_EQ(t.h(10), "L10");
  EXPECT_EQ(t.f(1), "L11");
  EXPECT_EQ(t.f(2), "L12");
  for (int id = 3; id <= 10; ++id) EXPECT_EQ(t.f(id), "") << id;
  std::string many;
  for (int i = 1; i <= 22; ++i) many += "M" + std::to_string(i) + "\n";
  writeBytes(dir.file("many.txt"), many);
  EXPECT_EQ(importClicheFile(dir.file("many.txt"), t.both()), 22);  // the lines left out are told
  EXPECT_EQ(t.f(10), "M20");
  EXPECT_EQ(clicheLinesLeftOutText(22),
            "Lines 21 to 22 of the file were not imported: the device holds 10 header and 10 footer lines.");
}

TEST(ClicheFile, AFileThatCannotBeReadOrDoesNotFitLeavesTheTables) {
  TempDir dir;
  writeBytes(dir.file("long.txt"), "ok\r\n" + std::string(65, 'x') + "\r\n");
  for (const std::string& path : {dir.file("missing.txt"), dir.path, dir.file("long.txt")}) {
    SCOPED_TRACE(path);
    Tables t;
    t.fill("OLD");
    EXPECT_ANY_THROW(importClicheFile(path, t.both()));
    EXPECT_EQ(t.h(1), "OLDH1");
    EXPECT_EQ(t.f(10), "OLDF10");
  }
}

TEST(ClicheFile, ImportOperationAsksAfterAFailureAndSavesOnYes) {
  TempDir dir;
  apptest::OpsOnSim s;
  Tables t;
  t.fill("OLD");

  // Unreadable: the failure is shown, the question still comes, No sends nothing.
  s.host.files = {dir.file("missing.txt")};
  s.dialogs.answer(mrOk);  // the alert
  s.dialogs.answer(mrNo);
  EXPECT_FALSE(importCliche(s.ops, t.both()));
  ASSERT_EQ(s.dialogs.shown.size(), 2u);
  EXPECT_EQ(s.dialogs.shown[0].text.rfind("Exception in method \"bbtnImportClicheClick\": ", 0), 0u)
      << s.dialogs.shown[0].text;
  EXPECT_EQ(s.dialogs.shown[1].text, "Do you want to save the header & footer to the device?");
  EXPECT_EQ(s.dialogs.shown[1].title, "Import");
  EXPECT_EQ(s.dialogs.shown[1].defaultButton, mrYes);
  EXPECT_EQ(t.h(1), "OLDH1");
  EXPECT_TRUE(s.sent.empty());
  EXPECT_EQ(s.host.filters.back(), "txt|*.txt");

  // Cancelled: nothing asked.
  s.dialogs.shown.clear();
  EXPECT_FALSE(importCliche(s.ops, t.both()));
  EXPECT_TRUE(s.dialogs.shown.empty());

  // Read and Yes: the save runs, footer first.
  writeBytes(dir.file("in.txt"), "TOP\r\n");
  s.host.files = {dir.file("in.txt")};
  s.dialogs.answer(mrYes);
  EXPECT_TRUE(importCliche(s.ops, t.both()));
  EXPECT_EQ(s.inputsOf(255).size(), 20u);
  EXPECT_EQ(s.param("Header", 0), "TOP");
  EXPECT_EQ(s.param("Footer", 0), "");
  EXPECT_EQ(s.dialogs.shown.back().text, "The data was saved in the device.");
}

TEST(ClicheFile, ExportOperationNamesTheFullFileOrStopsOnCancel) {
  TempDir dir;
  apptest::OpsOnSim s;
  Tables t;
  EXPECT_FALSE(exportCliche(s.ops, t.both()));  // cancelled
  EXPECT_TRUE(s.dialogs.shown.empty());
  s.host.files = {dir.file("out.txt")};
  ASSERT_TRUE(exportCliche(s.ops, t.both()));
  EXPECT_EQ(s.dialogs.shown.back().text, "Successful export to:\r\n" + dir.file("out.txt"));
  EXPECT_EQ(readWholeFile(dir.file("out.txt")).size(), 40u);  // twenty empty lines
  EXPECT_TRUE(s.sent.empty());
}

// ------------------------------------------------------------------ kestrel config

TEST(ClicheConfig, HeaderFooterAndDatetimePages) {
  apptest::OpsOnSim s;
  const TConfigPage* header = findConfigPage("header");
  const TConfigPage* footer = findConfigPage("footer");
  const TConfigPage* datetime = findConfigPage("datetime");
  ASSERT_TRUE(header && footer && datetime);

  TPageValues v;
  ASSERT_TRUE(header->read(s.ops, v));
  TKeyValues kv = header->show(v, s.ops.ecrModel);
  ASSERT_EQ(kv.size(), 10u);
  EXPECT_EQ(kv[0], (std::pair<std::string, std::string>{"1", "KESTREL TEST DEVICE"}));
  EXPECT_EQ(kv[9].first, "10");
  header->set(v, "2", "SECOND", 2);
  ASSERT_TRUE(header->save(s.ops, v));
  EXPECT_EQ(s.param("Header", 1), "SECOND");
  EXPECT_EQ(s.param("Header", 0), "KESTREL TEST DEVICE");
  for (const auto& [key, value] : std::vector<std::pair<std::string, std::string>>{
           {"0", "x"}, {"11", "x"}, {"01", "x"}, {"a", "x"}, {"3", std::string(65, 'x')}, {"3", "a\tb"}})
    EXPECT_THROW(footer->set(v, key, value, 2), std::invalid_argument) << key;

  TPageValues d;
  ASSERT_TRUE(datetime->read(s.ops, d));
  EXPECT_EQ(datetime->show(d, 2), (TKeyValues{{"device", "01-07-25 10:00:00 DST"}}));
  EXPECT_THROW(datetime->set(d, "device", "1999-01-01", 2), std::invalid_argument);
  EXPECT_THROW(datetime->set(d, "clock", "07-03-25 09:05:03", 2), std::invalid_argument);
  datetime->set(d, "device", "07-03-25 09:05:03", 2);
  s.clearSent();
  ASSERT_TRUE(datetime->save(s.ops, d));
  EXPECT_EQ(s.inputsOf(61), (std::vector<std::string>{"07-03-25 09:05:03\t"}));
}

}  // namespace
}  // namespace kestrel
