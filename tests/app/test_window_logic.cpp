// The window's decisions kept as data: the tree from the page rows, control enabling,
// the command verdict, the settings file, the PLU range rule and the date formats.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <tuple>

#include "app/logic/page_table.h"
#include "app/logic/settings_file.h"
#include "engine/engine_types.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

// The tree is made from the rows: a group's node before its first page, opening it;
// top pages on their own; the blank page without a node.
TEST(PageTable, TreeNodesComeFromTheRows) {
  const std::vector<TPageRow> rows = {
      {"a", "A", "G1", "", {}}, {"b", "B", "G1", "", {}}, {"c", "C", "", "", {}},
      {"d", "D", "G2", "", {}}, {"e", "E", "", "", {}},  {PAGE_NONE, "", "", "", {}},
  };
  std::vector<std::tuple<std::string, int, std::string>> got;
  for (const auto& n : treeNodes(rows)) got.emplace_back(n.text, n.level, n.page);
  EXPECT_EQ(got, (std::vector<std::tuple<std::string, int, std::string>>{
                     {"G1", 0, "a"}, {"A", 1, "a"}, {"B", 1, "b"}, {"C", 0, "c"}, {"G2", 0, "d"}, {"D", 1, "d"},
                     {"E", 0, "e"}}));
}

TEST(CommandVerdict, SilentCodesAndShowErr) {
  EXPECT_TRUE(commandVerdict(0, true, true).ok);
  for (bool showErr : {true, false}) {
    for (int silent : {-111004, -106000}) {
      const TVerdict v = commandVerdict(silent, true, showErr);
      EXPECT_FALSE(v.ok);
      EXPECT_EQ(v.show, TVerdictShow::Nothing);
    }
    const TVerdict v = commandVerdict(-23, true, showErr);
    EXPECT_FALSE(v.ok);
    EXPECT_EQ(v.show, showErr ? TVerdictShow::Alert : TVerdictShow::StatusBar);
    // The engine said no yet left code 0: still a failure, and it is shown.
    const TVerdict noCode = commandVerdict(0, false, showErr);
    EXPECT_FALSE(noCode.ok);
    EXPECT_EQ(noCode.show, showErr ? TVerdictShow::Alert : TVerdictShow::StatusBar);
    // The technician's own stop goes to the status bar, never into an error dialog.
    const TVerdict stopped = commandVerdict(CODE_CANCELLED, false, showErr);
    EXPECT_FALSE(stopped.ok);
    EXPECT_EQ(stopped.show, TVerdictShow::StatusBar);
  }
  EXPECT_EQ(exceptionText("btnConnectClick", "boom"), "Exception in method \"btnConnectClick\": boom");
}

TEST(Formats, DatesAndTimesWithPointAndColon) {
  LocalDateTime dt;
  dt.year = 2024;
  dt.month = 1;
  dt.day = 2;
  dt.hour = 3;
  dt.minute = 4;
  dt.second = 5;
  EXPECT_EQ(formatDate(dt), "02.01.2024");
  EXPECT_EQ(formatTime(dt), "03:04:05");
}

class SettingsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = fs::temp_directory_path() / ("kestrel_settings_" + std::to_string(::getpid()));
    fs::remove_all(folder);
    path = (folder / "sub" / SETTINGS_FILE_NAME).string();
  }
  void TearDown() override { fs::remove_all(folder); }
  void write(const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
  }
  std::string read() {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  fs::path folder;
  std::string path;
};

TEST_F(SettingsFileTest, MissingFileOrSectionGivesDefaults) {
  TSettingsFile file(path);
  for (int round = 0; round < 2; ++round) {
    const TFBHSettings s = file.load();
    EXPECT_FALSE(s.DelItemsOnZ);
    EXPECT_EQ(s.delete_FromPLU, "1");
    EXPECT_EQ(s.delete_ToPLU, "99999");
    EXPECT_EQ(s.delete_ServicePass, "");
    write("[OTHER]\nDelItemsOnZ=1\n");
  }
}

TEST_F(SettingsFileTest, WritesTheFourKeysKeepsOtherContentAndReadsThemBack) {
  write("[OTHER]\nkey with blanks=value\n");
  TSettingsFile file(path);
  TFBHSettings s;
  s.DelItemsOnZ = true;
  s.delete_FromPLU = "10";
  s.delete_ToPLU = "20";
  s.delete_ServicePass = "1234";
  ASSERT_TRUE(file.save(s));
  const std::string text = read();
  EXPECT_NE(text.find("key with blanks=value"), std::string::npos) << text;
  EXPECT_NE(text.find("[SETTINGS]\nDelItemsOnZ=1\ndelete_FromPLU=10\ndelete_ToPLU=20\ndelete_ServicePass=1234\n"),
            std::string::npos)
      << text;
  const TFBHSettings back = file.load();
  EXPECT_TRUE(back.DelItemsOnZ);
  EXPECT_EQ(back.delete_FromPLU, "10");
  EXPECT_EQ(back.delete_ToPLU, "20");
  EXPECT_EQ(back.delete_ServicePass, "1234");
  // No temporary file is left behind.
  int files = 0;
  for (const auto& e : fs::directory_iterator(fs::path(path).parent_path())) files += e.is_regular_file();
  EXPECT_EQ(files, 1);
}

TEST_F(SettingsFileTest, AnyNonZeroIntegerIsTrue) {
  TSettingsFile file(path);
  for (auto [text, expected] : std::vector<std::pair<const char*, bool>>{
           {"1", true}, {"-3", true}, {"42", true}, {"0", false}, {"yes", false}, {"", false}}) {
    write(std::string("[SETTINGS]\nDelItemsOnZ=") + text + "\n");
    EXPECT_EQ(file.load().DelItemsOnZ, expected) << text;
  }
}

TEST_F(SettingsFileTest, ConnectionAndWindowInSectionsOfTheirOwnOwnerOnly) {
  const std::string settings = "[SETTINGS]\nDelItemsOnZ=1\ndelete_FromPLU=10\ndelete_ToPLU=20\ndelete_ServicePass=1234\n";
  write(settings);
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
  TSettingsFile file(path);
  EXPECT_FALSE(file.loadConnection());
  EXPECT_FALSE(file.loadWindow());

  TConnectionSettings c;
  c.tcp = true;
  c.comPort = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0 (/dev/ttyUSB0)";
  c.speed = "9600";
  c.address = "127.0.2.7";
  c.port = "4999";
  ASSERT_TRUE(file.saveConnection(c));
  ASSERT_TRUE(file.saveWindow({-20, 35, 1100, 700, true}));
  const auto back = file.loadConnection();
  ASSERT_TRUE(back);
  EXPECT_TRUE(back->tcp);
  EXPECT_EQ(back->comPort, c.comPort);
  EXPECT_EQ(back->speed, "9600");
  EXPECT_EQ(back->address, "127.0.2.7");
  EXPECT_EQ(back->port, "4999");
  const auto place = file.loadWindow();
  ASSERT_TRUE(place);
  EXPECT_EQ(std::make_tuple(place->left, place->top, place->width, place->height, place->maximized),
            std::make_tuple(-20, 35, 1100, 700, true));
  // The section of the four settings stays as it was, byte for byte.
  EXPECT_EQ(read().rfind(settings, 0), 0u) << read();
  // The file holds the service password: its owner alone reads it, also when an older
  // file was readable by all.
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);

  // A window section without a size is no place.
  write("[WINDOW]\nLeft=5\nWidth=x\n");
  EXPECT_FALSE(file.loadWindow());
}

TEST(SettingsRules, PluTextOutsideTheRangeTakesTheFallback) {
  for (auto [text, expected] : std::vector<std::pair<const char*, const char*>>{
           {"0", "0"}, {"100000", "100000"}, {"100001", "F"}, {"", "F"}, {"-1", "F"}, {"1a", "F"}, {"42", "42"}})
    EXPECT_EQ(checkedPLUText(text, "F"), expected) << text;
  EXPECT_EQ(toolFolderIn("/home/u/.config"), "/home/u/.config/Kestrel/FBH/");
  EXPECT_EQ(toolFolderIn("/x/"), "/x/Kestrel/FBH/");
  EXPECT_EQ(toolFolderIn(""), "");
}

}  // namespace
}  // namespace kestrel
