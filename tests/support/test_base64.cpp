// Base64: the reference vectors, every byte value through a round trip, and the texts
// a decoder must refuse.
#include <gtest/gtest.h>

#include "support/base64.h"

using namespace kestrel;

namespace {

TEST(Base64, ReferenceVectorsBothWays) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {"\xFB\xFF\xBF", "+/+/"},
  };
  for (const auto& [data, text] : cases) {
    EXPECT_EQ(base64Encode(data), text) << text;
    EXPECT_EQ(base64Decode(text), data) << text;
  }
}

TEST(Base64, EveryByteRoundTripsWithoutLineBreaks) {
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  const std::string text = base64Encode(all);
  EXPECT_EQ(text.size(), 344u);
  EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
  EXPECT_EQ(base64Decode(text), all);
}

TEST(Base64, RefusesWhatIsNotWholeBase64) {
  for (const char* bad : {"Zg=", "Zg", "Z===", "Zm9v\n", "Zm-v", "Zg==Zm9v", "=Zm9", "Zm=v"})
    EXPECT_FALSE(base64Decode(bad).has_value()) << bad;
}

}  // namespace
