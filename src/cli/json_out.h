#pragma once
// JSON text written by hand: the tool prints one object per run and needs no library
// for it. Device texts may hold control characters or bytes that are no UTF-8; both
// still give valid JSON.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::cli {

// `text` as a JSON string literal with its quotes. Quotes, backslash and control
// characters are escaped; a byte that does not start a valid UTF-8 character is written
// as \u00XX, the character with the byte's value, so nothing is lost or left invalid.
std::string jsonString(std::string_view text);

// Builds one object member by member, keeping the order the members are added in.
class JsonObject {
 public:
  JsonObject& add(std::string_view key, std::string_view value);
  JsonObject& add(std::string_view key, const char* value) { return add(key, std::string_view(value)); }
  JsonObject& add(std::string_view key, bool value);
  JsonObject& add(std::string_view key, int64_t value);
  JsonObject& add(std::string_view key, int value) { return add(key, static_cast<int64_t>(value)); }
  JsonObject& add(std::string_view key, const std::vector<std::string>& values);
  JsonObject& add(std::string_view key, const std::vector<int>& values);
  // A value that is already JSON text (an array of objects, a nested object).
  JsonObject& addRaw(std::string_view key, std::string_view json);

  std::string text() const { return fText + "}"; }

 private:
  void key(std::string_view k);
  std::string fText = "{";
};

}  // namespace kestrel::cli
