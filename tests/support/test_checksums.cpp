// MD5 and CRC-32 against their reference values, over texts, streams and files.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <fmt/format.h>

#include "support/crc32.h"
#include "support/fd_misc.h"
#include "support/md5.h"

using namespace kestrel;

namespace {

std::string tempFile(const std::string& content) {
  static int n = 0;
  const auto path = std::filesystem::temp_directory_path() /
                    ("kestrel_checksum_" + std::to_string(::getpid()) + "_" + std::to_string(n++));
  std::ofstream(path, std::ios::binary) << content;
  return path.string();
}

TEST(Md5, Rfc1321TestSuite) {
  struct Case {
    std::string text, digest;
  };
  const Case cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  TFDMisc misc;
  for (const Case& c : cases) {
    EXPECT_EQ(misc.md5_LowerCase(c.text), c.digest) << c.text;
    std::string upper = c.digest;
    for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    EXPECT_EQ(misc.md5_UpperCase(c.text), upper);
  }
}

TEST(Md5, PiecewiseUpdatesEqualOneShot) {
  std::string data;
  for (int i = 0; i < 1000; ++i) data += static_cast<char>(i * 7);
  Md5 md5;
  for (std::size_t pos = 0, step = 1; pos < data.size(); pos += step, step = step % 67 + 13)
    md5.update(std::string_view(data).substr(pos, step));
  EXPECT_EQ(md5Hex(md5.finish(), false), md5Hex(data, false));
}

TEST(Md5, FilesAndStreams) {
  TFDMisc misc;
  const std::string path = tempFile("message digest");
  EXPECT_EQ(misc.md5File(path), "F96B697D7CB7938D525A2F31AAF161D0");
  std::filesystem::remove(path);
  EXPECT_THROW(misc.md5File(path), EFileError);

  std::istringstream stream("xxabc");
  EXPECT_EQ(misc.md5Bytes(&stream, 2, soBeginning), "900150983CD24FB0D6963F7D28E17F72");
  stream.clear();
  stream.seekg(1);
  EXPECT_EQ(misc.md5Bytes(&stream, 1, soCurrent), "900150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(misc.md5Bytes(&stream, -3, soEnd), "900150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(misc.md5Bytes(nullptr, 0, soBeginning), "");
}

TEST(Crc32, CheckValueOfFilesAndStreams) {
  TFDMisc misc;
  const std::string path = tempFile("123456789");
  EXPECT_EQ(misc.GetCRC32(path), "$CBF43926");
  EXPECT_EQ(misc.crc32_UpperCase(path), "CBF43926");
  EXPECT_EQ(misc.crc32_LowerCase(path), "cbf43926");
  std::filesystem::remove(path);
  EXPECT_THROW(misc.GetCRC32(path), EFileError);
  EXPECT_EQ(misc.crc32_LowerCase(path), "");

  EXPECT_EQ(crc32Update(0, "", 0), 0u);
  EXPECT_EQ(crc32Update(crc32Update(0, "1234", 4), "56789", 5), 0xCBF43926u);

  // More than one 10240-byte chunk; the stream position comes back.
  std::string big(25000, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 31 + 7);
  std::istringstream stream(big);
  stream.seekg(100);
  TCRC32 crc;
  EXPECT_EQ(crc.CalcCRC32(stream), crc32Update(0, big.data(), big.size()));
  EXPECT_EQ(stream.tellg(), 100);
  const std::string bigPath = tempFile(big);
  int notified = 0;
  misc.OnProcessMessages = [&] { ++notified; };
  EXPECT_EQ(misc.GetCRC32(bigPath), fmt::format("${:08X}", crc32Update(0, big.data(), big.size())));
  EXPECT_GE(notified, 25000 / 256);
  std::filesystem::remove(bigPath);
}

TEST(UniqueIds, DifferAndHaveMd5Shape) {
  TFDMisc misc;
  const std::string a = misc.get_UnicByMD5(0);
  const std::string b = misc.get_UnicByMD5_UP(true, 0);
  const std::string c = misc.get_UnicByMD5_UP(false, 0);
  for (const std::string& id : {a, b, c}) {
    EXPECT_EQ(id.size(), 32u);
    EXPECT_EQ(id.find_first_not_of("0123456789ABCDEF"), std::string::npos) << id;
  }
  EXPECT_NE(b, c);
}

}  // namespace
