// JSON strings written for device texts: whatever bytes come in, the result is valid
// JSON that reads back to the text (bytes that are no UTF-8 read back as the
// characters with the bytes' values).
#include <gtest/gtest.h>

#include "cli/json_out.h"
#include "support_cli.h"

namespace kestrel::cli {
namespace {

using clitest::parseJson;

struct EscapeCase {
  const char* name;
  std::string input;
  std::string written;  // exact JSON text
  std::string readBack;
};

TEST(JsonString, EscapesAndReadsBack) {
  const std::vector<EscapeCase> cases = {
      {"plain", "KT-33A 1.04", "\"KT-33A 1.04\"", "KT-33A 1.04"},
      {"quote and backslash", "a\"b\\c", "\"a\\\"b\\\\c\"", "a\"b\\c"},
      {"named controls", "\b\f\n\r\t", "\"\\b\\f\\n\\r\\t\"", "\b\f\n\r\t"},
      {"other controls", std::string("\x00\x01\x1f\x7f", 4), "\"\\u0000\\u0001\\u001f\\u007f\"",
       std::string("\x00\x01\x1f\x7f", 4)},
      {"UTF-8 kept", "\xC5\xA0\xC4\x90\xC4\x8C \xF0\x9F\x99\x82", "\"\xC5\xA0\xC4\x90\xC4\x8C \xF0\x9F\x99\x82\"",
       "\xC5\xA0\xC4\x90\xC4\x8C \xF0\x9F\x99\x82"},
      {"stray byte", "a\xFF" "b", "\"a\\u00ffb\"", "a\xC3\xBF" "b"},
      {"lone continuation", "\x80", "\"\\u0080\"", "\xC2\x80"},
      {"truncated sequence", "\xC4", "\"\\u00c4\"", "\xC3\x84"},
      {"overlong NUL", "\xC0\x80", "\"\\u00c0\\u0080\"", "\xC3\x80\xC2\x80"},
      {"surrogate", "\xED\xA0\x80", "\"\\u00ed\\u00a0\\u0080\"", "\xC3\xAD\xC2\xA0\xC2\x80"},
  };
  for (const EscapeCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string j = jsonString(c.input);
    EXPECT_EQ(j, c.written);
    const clitest::Json back = parseJson(j);
    ASSERT_EQ(back.type, clitest::Json::String);
    EXPECT_EQ(back.text, c.readBack);
  }
}

TEST(JsonString, EveryByteGivesValidJson) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_NO_THROW(parseJson(jsonString(all)));
  EXPECT_NO_THROW(parseJson(jsonString(all + all.substr(0xC0) + all.substr(0x80, 0x40))));
}

TEST(JsonObject, MembersInOrderWithTheirTypes) {
  const std::string text = JsonObject()
                               .add("command", 90)
                               .add("ok", false)
                               .add("error_code", -112202)
                               .add("error_message", "Bad \"value\"")
                               .add("fields", std::vector<std::string>{"0", "a\tb", ""})
                               .add("status_bytes", std::vector<int>{128, 130})
                               .addRaw("status_bits", "[]")
                               .text();
  const clitest::Json j = parseJson(text);
  EXPECT_EQ(j.keys(), (std::vector<std::string>{"command", "ok", "error_code", "error_message", "fields",
                                                "status_bytes", "status_bits"}));
  EXPECT_EQ(j["command"].number, 90);
  EXPECT_EQ(j["ok"].type, clitest::Json::Bool);
  EXPECT_FALSE(j["ok"].boolean);
  EXPECT_EQ(j["error_code"].number, -112202);
  EXPECT_EQ(j["error_message"].text, "Bad \"value\"");
  EXPECT_EQ(j["fields"].strings(), (std::vector<std::string>{"0", "a\tb", ""}));
  EXPECT_EQ(j["status_bytes"][1].number, 130);
  EXPECT_TRUE(j["status_bits"].items.empty());
  EXPECT_EQ(JsonObject().text(), "{}");
}

}  // namespace
}  // namespace kestrel::cli
