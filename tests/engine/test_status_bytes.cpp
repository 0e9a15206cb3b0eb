#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include "engine/status_bytes.h"
#include "support/files.h"

using namespace kestrel;
namespace fs = std::filesystem;

namespace {

void writeFile(const fs::path& p, const std::string& text) { std::ofstream(p) << text; }

class StatusFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("kestrel_status_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    table.set_descriptionsFolder(dir.string());
  }
  void TearDown() override { fs::remove_all(dir); }

  fs::path dir;
  TFPStatuses table;
};

}  // namespace

TEST(StatusTable, FreshTableIsInUseWithoutErrorsAndNamedByPosition) {
  TLowLevel ll;
  EXPECT_EQ(ll.ProtocolType(), protocol_Type1);
  EXPECT_EQ(ll.statusBytes().ByteCountInUse(), 6);
  EXPECT_EQ(ll.commandSize(), tsByte);
  EXPECT_EQ(ll.dataLengthSize(), tsByte);
  EXPECT_EQ(ll.errorCheckType(), ccEndUser);
  EXPECT_EQ(ll.fileFormat(), sft_INI);
  for (int slot : {0, 1, 2}) EXPECT_EQ(ll.get_sBytesDescription(2, 3, slot), "Status bit[2,3]");
  for (int b = 0; b < 8; ++b)
    for (int i = 0; i < 8; ++i) {
      EXPECT_TRUE(ll.get_sBytesBitInUse(b, i));
      EXPECT_FALSE(ll.get_sBytesState(b, i));
      for (auto p : {ccProduction, ccDevelopmentAndTest, ccService, ccEndUser})
        EXPECT_FALSE(ll.get_sBytesCheckingFor(b, i, p));
    }
  EXPECT_EQ(ll.statusBytes().Byte(7).Bit(6).TextDescription(), "Status bit[7,6]");
  EXPECT_TRUE(ll.statusBytes().Byte(5).InUse);
  EXPECT_FALSE(ll.statusBytes().Byte(6).InUse);
}

TEST(StatusTable, PacketFormatSetsByteCountSizesAndBytesInUse) {
  TFPStatuses t;
  struct Case {
    TPacketFormat format;
    int count;
    TTargetSize size;
    bool byte6;
  } cases[] = {{protocol_Type2, 8, tsWord, true}, {protocol_Type1, 6, tsByte, false}};
  for (const Case& c : cases) {
    t.set_StatusPacketFormat(c.format);
    EXPECT_EQ(t.statusBytesCount(), c.count);
    EXPECT_EQ(t.commandSize(), c.size);
    EXPECT_EQ(t.dataLengthSize(), c.size);
    EXPECT_TRUE(t.get_ByteInUse(0));
    EXPECT_TRUE(t.get_ByteInUse(5));
    EXPECT_EQ(t.get_ByteInUse(6), c.byte6);
    EXPECT_EQ(t.get_ByteInUse(7), c.byte6);
    EXPECT_FALSE(t.get_ByteInUse(8));
    EXPECT_FALSE(t.get_ByteInUse(-1));
  }
}

TEST(StatusTable, DescriptionSlotsAndOutOfRangeLanguageUsesSlotZero) {
  TLowLevel ll;
  ll.set_sBytesDescription(0, 0, "all");
  ll.set_sBytesDescription(0, 0, 1, "english");
  ll.set_sBytesDescription(0, 0, 2, "russian");
  ll.set_sBytesDescription(0, 0, 7, "bulgarian");  // unknown index writes slot 0
  EXPECT_EQ(ll.get_sBytesDescription(0, 0), "english");
  EXPECT_EQ(ll.get_sBytesDescription(0, 0, 0), "bulgarian");
  EXPECT_EQ(ll.get_sBytesDescription(0, 0, 2), "russian");
  EXPECT_EQ(ll.get_sBytesDescription(0, 0, -1), "bulgarian");
}

TEST(StatusTable, ErrorFlagsPerProfileAndActiveProfile) {
  TLowLevel ll;
  // "EJ is full.": error under the end-user profile only.
  ll.set_sBytesChecking(2, 2, ccEndUser, true);
  ll.set_sBytesCheckingForAll(0, 0, true);
  auto& t = ll.statusBytes().statuses();
  EXPECT_TRUE(t.get_Checking(2, 2));
  ll.set_errorCheckType(ccService);
  EXPECT_FALSE(t.get_Checking(2, 2));
  EXPECT_TRUE(t.get_Checking(0, 0));
  ll.set_sBytesChecking(0, 0, ccService, false);
  EXPECT_FALSE(ll.get_sBytesCheckingFor(0, 0, ccService));
  EXPECT_TRUE(ll.get_sBytesCheckingFor(0, 0, ccProduction));
  EXPECT_TRUE(ll.get_sBytesCheckingFor(0, 0, ccDevelopmentAndTest));
  EXPECT_TRUE(ll.get_sBytesCheckingFor(0, 0, ccEndUser));
}

// The mirror is copied on init and on a protocol change; afterwards only the state follows.
TEST(StatusTable, MirrorFollowsStatesButKeepsDescriptionsUntilRefresh) {
  TLowLevel ll;
  ll.set_sBytesDescription(5, 3, "The device is in fiscal mode");
  ll.set_sBytesChecking(5, 3, ccEndUser, true);
  ll.set_sBytesBitInUse(5, 3, false);
  const TStatusBit& bit = ll.statusBytes().Byte(5).Bit(3);
  EXPECT_EQ(bit.TextDescription(), "Status bit[5,3]");
  EXPECT_FALSE(bit.Error_ForEndUser());

  ll.set_sBytesState(5, 3, true);
  EXPECT_TRUE(ll.get_sBytesState(5, 3));
  EXPECT_TRUE(bit.CurrentState());
  ll.set_sBytesState(5, 3, false);
  EXPECT_FALSE(bit.CurrentState());

  ll.set_ProtocolType(protocol_Type2);
  EXPECT_EQ(bit.TextDescription(), "The device is in fiscal mode");
  EXPECT_TRUE(bit.Error_ForEndUser());
  EXPECT_FALSE(bit.Error_ForService());
  EXPECT_FALSE(bit.InUse());
  EXPECT_TRUE(ll.statusBytes().Byte(7).InUse);
  EXPECT_EQ(ll.statusBytes().ByteCountInUse(), 8);

  ll.set_sBytesState(1, 1, true);
  ll.init_Statuses();
  EXPECT_FALSE(ll.statusBytes().Byte(1).Bit(1).CurrentState());
  EXPECT_EQ(bit.TextDescription(), "Status bit[5,3]");
  EXPECT_TRUE(bit.InUse());
  EXPECT_EQ(ll.ProtocolType(), protocol_Type2);  // init keeps the packet format
}

TEST_F(StatusFileTest, DescriptionsFolderBlankKeepsItMissingIsCreatedUncreatableIsEmpty) {
  const std::string set = dir.string() + "/";
  EXPECT_EQ(table.descriptionsFolder(), set);
  table.set_descriptionsFolder("   ");
  EXPECT_EQ(table.descriptionsFolder(), set);

  const fs::path sub = dir / "a" / "b";
  table.set_descriptionsFolder(" " + sub.string() + " ");
  EXPECT_EQ(table.descriptionsFolder(), sub.string() + "/");
  EXPECT_TRUE(fs::is_directory(sub));

  writeFile(dir / "plain", "x");
  table.set_descriptionsFolder((dir / "plain" / "sub").string());
  EXPECT_EQ(table.descriptionsFolder(), "");
  EXPECT_FALSE(table.saveToFile("status"));  // no folder: the current directory is not used
  EXPECT_FALSE(table.loadFromFile("status"));
  EXPECT_EQ(table.lastError, -33000);
}

TEST_F(StatusFileTest, SaveThenLoadGivesFlagsAndSlotOneTextsBack) {
  table.set_StatusPacketFormat(protocol_Type2);
  table.set_Description(0, 0, 1, "# Incoming data has syntax error.");
  table.set_CheckingFor(0, 0, ccEndUser, true);
  table.set_CheckingFor(4, 6, ccEndUser, true);
  table.set_Description(4, 6, 1, "  padded  ");
  table.set_Description(7, 7, 1, "two\nlines");
  ASSERT_TRUE(table.saveToFile("/elsewhere/kt33a.dat"));
  ASSERT_TRUE(fs::exists(dir / "kt33a.ini"));  // folder + file name part, extension .ini

  TFPStatuses loaded;
  loaded.set_descriptionsFolder(dir.string());
  loaded.set_StatusPacketFormat(protocol_Type2);
  ASSERT_TRUE(loaded.loadFromFile("kt33a"));
  EXPECT_EQ(loaded.lastError, 0);
  for (int b = 0; b < 8; ++b)
    for (int i = 0; i < 8; ++i) {
      EXPECT_EQ(loaded.get_CheckingFor(b, i, ccEndUser), table.get_CheckingFor(b, i, ccEndUser)) << b << "," << i;
      EXPECT_FALSE(loaded.get_CheckingFor(b, i, ccService));
    }
  // Texts come back into slot 0; slot 1 keeps its own text.
  EXPECT_EQ(loaded.get_Description(0, 0, 0), "# Incoming data has syntax error.");
  EXPECT_EQ(loaded.get_Description(0, 0, 1), "Status bit[0,0]");
  EXPECT_EQ(loaded.get_Description(4, 6, 0), "  padded  ");
  EXPECT_EQ(loaded.get_Description(7, 7, 0), "two lines");
  EXPECT_EQ(loaded.get_Description(3, 3, 0), "Status bit[3,3]");
}

TEST_F(StatusFileTest, LoadCoversOnlyBytesInUseAndFillsMissingKeysWithDefaults) {
  writeFile(dir / "dev.ini",
            "; written by hand\n[CheckForError]\nBit[0,1].Check=1\nBit[6,0].Check=1\n"
            "[Descriptions]\nBit[0,1].Description=Code of incoming command is invalid.\n");
  table.set_CheckingFor(0, 2, ccEndUser, true);
  ASSERT_TRUE(table.loadFromFile("dev.txt"));
  EXPECT_TRUE(table.get_CheckingFor(0, 1, ccEndUser));
  EXPECT_FALSE(table.get_CheckingFor(0, 2, ccEndUser));  // missing key: False
  EXPECT_FALSE(table.get_CheckingFor(6, 0, ccEndUser));  // byte 6 is not in use with six bytes
  EXPECT_EQ(table.get_Description(0, 1, 0), "Code of incoming command is invalid.");
  EXPECT_EQ(table.get_Description(5, 7, 0), "Meaning of Bit[5,7]");
  EXPECT_EQ(table.get_Description(6, 0, 0), "Status bit[6,0]");

  // Saving keeps what else the file holds.
  ASSERT_TRUE(table.saveToFile("dev"));
  const std::string text = readWholeFile((dir / "dev.ini").string());
  EXPECT_NE(text.find("written by hand"), std::string::npos);
  EXPECT_NE(text.find("Bit[6,0].Check=1"), std::string::npos);
  EXPECT_EQ(text.find("Bit[6,1].Check"), std::string::npos);
}

TEST_F(StatusFileTest, MissingFileOrOtherFormatFailsAndLeavesTheTable) {
  table.set_Description(1, 1, "kept");
  table.set_CheckingFor(1, 1, ccEndUser, true);
  EXPECT_FALSE(table.loadFromFile("absent"));
  EXPECT_EQ(table.lastError, -33000);
  EXPECT_EQ(table.get_Description(1, 1, 0), "kept");
  EXPECT_TRUE(table.get_CheckingFor(1, 1, ccEndUser));

  ASSERT_TRUE(table.saveToFile("present"));
  table.lastError = 0;
  for (auto f : {sft_XML, sft_JSN}) {
    table.fileFormat = f;
    EXPECT_FALSE(table.saveToFile("present"));
    EXPECT_FALSE(table.loadFromFile("present"));
    EXPECT_EQ(table.lastError, -33000);
  }
}

TEST_F(StatusFileTest, FailedWriteLeavesThePreviousFile) {
  ASSERT_TRUE(table.saveToFile("keep"));
  const std::string before = readWholeFile((dir / "keep.ini").string());
  // A file size limit makes the write fail even with root rights.
  rlimit old{};
  ::getrlimit(RLIMIT_FSIZE, &old);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 64;
  ::setrlimit(RLIMIT_FSIZE, &small);
  table.set_Description(0, 0, 1, "changed");
  const bool saved = table.saveToFile("keep");
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(saved);
  EXPECT_EQ(readWholeFile((dir / "keep.ini").string()), before);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);  // no temp file left
}
