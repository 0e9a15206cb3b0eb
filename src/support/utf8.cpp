#include "support/utf8.h"

namespace kestrel {

bool decodeUtf8(std::string_view text, std::size_t& pos, char32_t& cp) {
  const auto b0 = static_cast<unsigned char>(text[pos]);
  if (b0 < 0x80) {
    cp = b0;
    ++pos;
    return true;
  }
  std::size_t len = 0;
  char32_t value = 0;
  char32_t minimum = 0;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2, value = b0 & 0x1F, minimum = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, value = b0 & 0x0F, minimum = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, value = b0 & 0x07, minimum = 0x10000;
  }
  if (len == 0 || pos + len > text.size()) {
    cp = b0;
    ++pos;
    return false;
  }
  for (std::size_t i = 1; i < len; ++i) {
    const auto b = static_cast<unsigned char>(text[pos + i]);
    if ((b & 0xC0) != 0x80) {
      cp = b0;
      ++pos;
      return false;
    }
    value = (value << 6) | (b & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not characters.
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    cp = b0;
    ++pos;
    return false;
  }
  cp = value;
  pos += len;
  return true;
}

void appendUtf8(std::string& out, char32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::size_t utf8Length(std::string_view text) {
  std::size_t count = 0;
  char32_t cp;
  for (std::size_t pos = 0; pos < text.size(); ++count) decodeUtf8(text, pos, cp);
  return count;
}

std::u32string utf8ToU32(std::string_view text) {
  std::u32string out;
  out.reserve(text.size());
  char32_t cp;
  for (std::size_t pos = 0; pos < text.size();) {
    decodeUtf8(text, pos, cp);
    out += cp;
  }
  return out;
}

std::string u32ToUtf8(std::u32string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char32_t cp : text) appendUtf8(out, cp);
  return out;
}

std::string excerpt(std::string_view text, std::size_t maxChars) {
  static const char HEX[] = "0123456789ABCDEF";
  std::string out;
  std::size_t pos = 0, chars = 0;
  while (pos < text.size()) {
    if (chars == maxChars) return out + "...";
    const std::size_t start = pos;
    char32_t cp = 0;
    const bool valid = decodeUtf8(text, pos, cp);
    if (!valid || cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp < 0xA0)) {
      for (std::size_t i = start; i < pos; ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        out += "\\x";
        out += HEX[b >> 4];
        out += HEX[b & 15];
      }
    } else {
      out.append(text.substr(start, pos - start));
    }
    ++chars;
  }
  return out;
}

}  // namespace kestrel
