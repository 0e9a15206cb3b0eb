#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <unistd.h>

#include "engine/sniffer.h"
#include "support/files.h"

using namespace kestrel;
namespace fs = std::filesystem;

namespace {

const char* kStamp = R"(\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d)";

class SnifferFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("kestrel_sniffer_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    s.initSniffer();
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string folder() const { return dir.string() + "/"; }

  fs::path dir;
  TSniffer s;
};

}  // namespace

TEST(Sniffer, NewTraceIsOffAndEmptyAndInitSetsTheDefaults) {
  TSniffer s;
  EXPECT_FALSE(s.Active || s.calc_Header_ToDevice || s.calc_Header_FromDevice || s.calc_FullRows ||
               s.saveToFile_isOn());
  EXPECT_EQ(s.snifferUIDRec.Value, 0);  // the engine's first increment gives packet 1
  EXPECT_EQ(s.settingsFileName, "");
  EXPECT_EQ(s.values.cType.toDeviceValue, "");
  EXPECT_EQ(s.hexPacket.errorColor, 0u);

  s.snifferUIDRec.addDescriptionToHeader = true;
  s.Active = true;
  s.hexPacket.data.toDeviceValue = "09 ";
  s.initSniffer();
  EXPECT_FALSE(s.Active);
  EXPECT_EQ(s.fileFormat, snif_INI);
  EXPECT_EQ(s.settingsFileName, "SnifferSettings.ini");
  EXPECT_EQ(s.logFileName(), "");
  EXPECT_EQ(s.snifferUIDRec.Value, -1);
  EXPECT_TRUE(s.snifferUIDRec.addToHeader);
  EXPECT_TRUE(s.snifferUIDRec.addDescriptionToHeader);  // left as it was
  EXPECT_EQ(s.snifferUIDRec.headerDescription, "UnicID = ");
  EXPECT_EQ(s.values.cType.fromDeviceValue, "Answer ");
  EXPECT_EQ(s.values.cRepeatIndex.toDeviceValue, "0");
  EXPECT_TRUE(std::regex_match(s.values.cDateTime.toDeviceValue, std::regex(kStamp)));
  EXPECT_EQ(s.values.cHEX.headerDescription, "hex ");
  EXPECT_EQ(s.values.cHEX.cColor, 1572747u);
  EXPECT_EQ(s.hexPacket.header.color, 16756834u);
  EXPECT_EQ(s.hexPacket.errorColor, 987135u);
  EXPECT_EQ(s.hexPacket.data.toDeviceValue, "");
  EXPECT_EQ(s.myColors.values_cHEXColor, 1572747u);
  EXPECT_EQ(s.myColors.hexPacket_ReqwestColor, 16756834u);
  EXPECT_EQ(s.myColors.unicID_Color, 38144u);
}

TEST(Sniffer, HeaderTextsFromTheInitValues) {
  TSniffer s;
  s.initSniffer();
  s.snifferUIDRec.Value = 5;
  s.values.cRepeatIndex.toDeviceValue = "1";
  s.values.cCommand.toDeviceValue = "90";
  s.values.cDateTime.toDeviceValue = "d";
  s.values.cDateTime.fromDeviceValue = "e";
  s.values.cHEX.toDeviceValue = "01 30 ";
  s.values.cText.toDeviceValue = "#\t";

  s.calculate_Headers(toDevice);
  s.calculate_FullRows(toDevice);
  EXPECT_EQ(s.toDevice_HumanHexHeader, "");  // header flag off
  EXPECT_EQ(s.full.hex_ToDeviceRow, "");

  s.calc_Header_ToDevice = true;
  s.calculate_Headers(toDevice);
  EXPECT_EQ(s.toDevice_HumanHexHeader, "[5][Repeat count = 1][Command = 90][Date time = d][Type = Request][hex ]");
  EXPECT_EQ(s.toDevice_HumanTextHeader, "[5][Repeat count = 1][Command = 90][Date time = d][Type = Request][text]");
  EXPECT_EQ(s.fromDevice_HumanHexHeader, "");

  s.calc_FullRows = true;
  s.calculate_FullRows(toDevice);
  EXPECT_EQ(s.full.hex_ToDeviceRow, s.toDevice_HumanHexHeader + "01 30 ");
  EXPECT_EQ(s.full.text_ToDeviceRow, s.toDevice_HumanTextHeader + "#\t");

  // Item switches: no description, left out, and the packet number with its description.
  s.calc_Header_FromDevice = true;
  s.values.cCommand.addDescriptionToHeader = false;
  s.values.cDateTime.addToHeader = false;
  s.values.cHEX.addDescriptionToHeader = false;
  s.snifferUIDRec.addDescriptionToHeader = true;
  s.calculate_Headers(fromDevice);
  EXPECT_EQ(s.fromDevice_HumanHexHeader, "[UnicID = 5][Repeat count = 0][0][Type = Answer ][]");
  EXPECT_EQ(s.fromDevice_HumanTextHeader, "[UnicID = 5][Repeat count = 0][0][Type = Answer ][text]");

  // Switching off clears what an earlier packet left.
  s.calc_Header_ToDevice = false;
  s.calc_FullRows = false;
  s.calculate_Headers(toDevice);
  s.calculate_FullRows(toDevice);
  EXPECT_EQ(s.toDevice_HumanTextHeader, "");
  EXPECT_EQ(s.full.text_ToDeviceRow, "");
}

TEST(Sniffer, ColoursOfAnOutcomeAndCopy) {
  TSniffer s;
  s.initSniffer();
  s.markOutcome(false);
  EXPECT_EQ(s.values.cHEX.cColor, 987135u);
  EXPECT_EQ(s.values.cText.cColor, 987135u);
  EXPECT_EQ(s.hexPacket.data.color, 987135u);
  EXPECT_EQ(s.hexPacket.header.color, 16756834u);
  s.markOutcome(true);
  EXPECT_EQ(s.values.cHEX.cColor, 1572747u);
  EXPECT_EQ(s.values.cText.cColor, 38144u);
  EXPECT_EQ(s.hexPacket.data.color, 38144u);

  TSniffer other;
  other.Active = true;
  other.calc_FullRows = true;
  s.assign(other);
  EXPECT_TRUE(s.Active);
  EXPECT_FALSE(s.calc_FullRows);
}

TEST(Sniffer, TimeStampHasMilliseconds) {
  EXPECT_TRUE(std::regex_match(snifferTimeStamp(), std::regex(std::string(kStamp) + R"(:\d{3})")));
}

TEST(Sniffer, LogFileNameRules) {
  const std::pair<const char*, const char*> cases[] = {
      {"trace", "trace.txt"},       {"", "connector_log.txt"}, {"  \t", "connector_log.txt"},
      {" my log.txt ", "my log.txt"}, {"UPPER.TXT", "UPPER.TXT"}, {"data.csv", "data.csv.txt"}};
  TSniffer s;
  for (auto [in, out] : cases) {
    s.set_logFileName(in);
    EXPECT_EQ(s.logFileName(), out) << '"' << in << '"';
  }
}

TEST_F(SnifferFiles, FoldersAreCreatedGetASeparatorAndBlankRules) {
  const fs::path sub = dir / "logs" / "deep";
  s.set_logFolder(" " + sub.string());
  EXPECT_EQ(s.logFolder(), sub.string() + "/");
  EXPECT_TRUE(fs::is_directory(sub));
  s.set_logFolder(folder());
  EXPECT_EQ(s.logFolder(), folder());  // no second separator
  s.set_logFolder("  ");
  EXPECT_EQ(s.logFolder(), "");  // blank empties the log folder

  s.set_settingsFolder(folder());
  s.set_settingsFolder(" ");
  EXPECT_EQ(s.settingsFolder(), folder());  // blank changes nothing
  std::ofstream(dir / "file") << "x";
  s.set_settingsFolder((dir / "file" / "sub").string());
  EXPECT_EQ(s.settingsFolder(), "");  // cannot be created
}

TEST_F(SnifferFiles, SaveToFileSwitchNeedsAnExistingLogFolder) {
  s.set_saveToFile_isOn(true);  // no folder at all: the current directory is not used
  EXPECT_FALSE(s.saveToFile_isOn());
  s.set_logFolder((dir / "gone").string());
  fs::remove_all(dir / "gone");
  s.set_saveToFile_isOn(true);
  EXPECT_FALSE(s.saveToFile_isOn());
  EXPECT_FALSE(s.calc_Header_ToDevice || s.calc_Header_FromDevice || s.calc_FullRows);

  s.set_logFolder(folder());
  s.set_saveToFile_isOn(true);
  EXPECT_TRUE(s.saveToFile_isOn());
  EXPECT_TRUE(s.calc_Header_ToDevice && s.calc_Header_FromDevice && s.calc_FullRows);
  s.set_saveToFile_isOn(false);
  EXPECT_FALSE(s.saveToFile_isOn());
  EXPECT_TRUE(s.calc_FullRows);
}

TEST_F(SnifferFiles, LogThisAppendsLinesOnlyWhileSwitchedOn) {
  s.set_logFolder(folder());
  s.set_logFileName("trace");
  s.logThis("ignored", false);
  EXPECT_FALSE(fs::exists(dir / "trace.txt"));

  s.set_saveToFile_isOn(true);
  s.logThis("plain", false);
  s.logThis("dated", true);
  s.logRow("row");
  std::istringstream lines(readWholeFile((dir / "trace.txt").string()));
  std::string l1, l2, l3, rest;
  std::getline(lines, l1);
  std::getline(lines, l2);
  std::getline(lines, l3);
  EXPECT_EQ(l1, "plain");
  EXPECT_TRUE(std::regex_match(l2, std::regex(std::string(kStamp) + ":dated"))) << l2;
  EXPECT_TRUE(std::regex_match(l3, std::regex(std::string(kStamp) + R"(:\d{3}:row)"))) << l3;
  EXPECT_FALSE(std::getline(lines, rest));

  // A trace whose file name was never set logs under the default name.
  TSniffer fresh;
  fresh.set_logFolder(folder());
  fresh.set_saveToFile_isOn(true);
  fresh.logThis("x", false);
  EXPECT_EQ(readWholeFile((dir / "connector_log.txt").string()), "x\n");
}

TEST_F(SnifferFiles, SettingsRoundTripKeepsValuesAndBlanks) {
  s.set_settingsFolder(folder());
  s.snifferUIDRec.addToHeader = false;
  s.values.cCommand.headerDescription = "  Cmd = ";
  s.values.cType.toDeviceValue = "Req";
  s.values.cText.addDescriptionToHeader = false;
  s.values.cDateTime.cColor = 0xFF000005u;  // a system colour, negative as a signed value
  s.hexPacket.answerColor = 7;
  ASSERT_TRUE(s.saveToFile());
  const std::string text = readWholeFile((dir / "SnifferSettings.ini").string());
  EXPECT_NE(text.find("[HeaderSettings]"), std::string::npos);
  EXPECT_NE(text.find("[DebugMode]"), std::string::npos);

  TSniffer t;
  t.initSniffer();
  t.set_settingsFolder(folder());
  t.hexPacket.answerColor = 1;
  ASSERT_TRUE(t.loadFromFile());
  EXPECT_FALSE(t.snifferUIDRec.addToHeader);
  EXPECT_EQ(t.snifferUIDRec.headerDescription, "UnicID = ");
  EXPECT_EQ(t.values.cRepeatIndex.headerDescription, "Repeat count = ");
  EXPECT_EQ(t.values.cCommand.headerDescription, "  Cmd = ");
  EXPECT_EQ(t.values.cType.toDeviceValue, "Req");
  EXPECT_EQ(t.values.cType.fromDeviceValue, "Answer ");
  EXPECT_FALSE(t.values.cText.addDescriptionToHeader);
  EXPECT_EQ(t.values.cHEX.headerDescription, "hex ");
  EXPECT_EQ(t.values.cHEX.cColor, 1572747u);
  EXPECT_EQ(t.values.cDateTime.cColor, 0xFF000005u);
  EXPECT_EQ(t.hexPacket.answerColor, 7u);
  EXPECT_EQ(t.myColors.hexPacket_AnswerColor, 7u);  // loading saves the colours
}

TEST_F(SnifferFiles, LoadPadsTrimmedValuesAndFillsDefaults) {
  std::ofstream(dir / "SnifferSettings.ini")
      << "[HeaderSettings]\ncType.fromDeviceValue=Answer\ncHEX.headerDescription=hex\n"
         "cCommand.addToHeader=0\n[DebugMode]\nsaveToFileIsOn=1\nLogFileName=x.txt\n";
  s.set_settingsFolder(folder());
  s.values.cHEX.cColor = 1;
  ASSERT_TRUE(s.loadFromFile());
  EXPECT_EQ(s.values.cType.fromDeviceValue, "Answer ");
  EXPECT_EQ(s.values.cHEX.headerDescription, "hex ");
  EXPECT_FALSE(s.values.cCommand.addToHeader);
  EXPECT_TRUE(s.values.cCommand.addDescriptionToHeader);
  EXPECT_EQ(s.values.cHEX.cColor, 38144u);  // the load default, not the init colour
  EXPECT_EQ(s.hexPacket.errorColor, 987135u);
  EXPECT_FALSE(s.saveToFile_isOn());  // the debug section is not read back
  EXPECT_EQ(s.logFileName(), "");
}

TEST_F(SnifferFiles, SettingsFileNeedsIniFormatAndAFolder) {
  EXPECT_FALSE(s.saveToFile());  // no settings folder
  EXPECT_FALSE(s.loadFromFile());
  s.set_settingsFolder(folder());
  ASSERT_TRUE(s.loadFromFile());  // no file yet: the defaults
  EXPECT_TRUE(s.snifferUIDRec.addDescriptionToHeader);
  for (auto f : {snif_TXT, snif_CSV}) {
    s.fileFormat = f;
    EXPECT_FALSE(s.saveToFile());
    EXPECT_FALSE(s.loadFromFile());
  }
  EXPECT_FALSE(fs::exists(dir / "SnifferSettings.ini"));

  // Saving keeps foreign keys of the file.
  std::ofstream(dir / "SnifferSettings.ini") << "[Other]\nkeep=1\n";
  s.fileFormat = snif_INI;
  ASSERT_TRUE(s.saveToFile());
  EXPECT_NE(readWholeFile((dir / "SnifferSettings.ini").string()).find("keep=1"), std::string::npos);
}
