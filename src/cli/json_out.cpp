#include "cli/json_out.h"

#include "support/utf8.h"

namespace kestrel::cli {

namespace {

void appendEscape(std::string& out, unsigned value) {
  static const char hex[] = "0123456789abcdef";
  out += "\\u00";
  out += hex[(value >> 4) & 0xF];
  out += hex[value & 0xF];
}

}  // namespace

std::string jsonString(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '"';
  std::size_t pos = 0;
  while (pos < text.size()) {
    const auto b = static_cast<unsigned char>(text[pos]);
    if (b < 0x80) {
      switch (b) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
          if (b < 0x20 || b == 0x7F) appendEscape(out, b);
          else out += static_cast<char>(b);
      }
      ++pos;
      continue;
    }
    const std::size_t start = pos;
    char32_t cp = 0;
    if (decodeUtf8(text, pos, cp)) out.append(text.substr(start, pos - start));
    else appendEscape(out, b);
  }
  out += '"';
  return out;
}

void JsonObject::key(std::string_view k) {
  if (fText.size() > 1) fText += ", ";
  fText += jsonString(k);
  fText += ": ";
}

JsonObject& JsonObject::add(std::string_view k, std::string_view value) {
  key(k);
  fText += jsonString(value);
  return *this;
}

JsonObject& JsonObject::add(std::string_view k, bool value) {
  key(k);
  fText += value ? "true" : "false";
  return *this;
}

JsonObject& JsonObject::add(std::string_view k, int64_t value) {
  key(k);
  fText += std::to_string(value);
  return *this;
}

JsonObject& JsonObject::add(std::string_view k, const std::vector<std::string>& values) {
  key(k);
  fText += '[';
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i) fText += ", ";
    fText += jsonString(values[i]);
  }
  fText += ']';
  return *this;
}

JsonObject& JsonObject::add(std::string_view k, const std::vector<int>& values) {
  key(k);
  fText += '[';
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i) fText += ", ";
    fText += std::to_string(values[i]);
  }
  fText += ']';
  return *this;
}

JsonObject& JsonObject::addRaw(std::string_view k, std::string_view json) {
  key(k);
  fText += json;
  return *this;
}

}  // namespace kestrel::cli
