#include "support/base64.h"

#include <cstdint>

namespace kestrel {

namespace {
constexpr char B64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int valueOf(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}
}  // namespace

std::string base64Encode(std::string_view data) {
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4);
  size_t i = 0;
  const auto* p = reinterpret_cast<const uint8_t*>(data.data());
  for (; i + 3 <= data.size(); i += 3) {
    const uint32_t v = uint32_t(p[i]) << 16 | uint32_t(p[i + 1]) << 8 | p[i + 2];
    out.push_back(B64[v >> 18]);
    out.push_back(B64[(v >> 12) & 63]);
    out.push_back(B64[(v >> 6) & 63]);
    out.push_back(B64[v & 63]);
  }
  if (i < data.size()) {
    uint32_t v = uint32_t(p[i]) << 16;
    if (i + 1 < data.size()) v |= uint32_t(p[i + 1]) << 8;
    out.push_back(B64[v >> 18]);
    out.push_back(B64[(v >> 12) & 63]);
    out.push_back(i + 1 < data.size() ? B64[(v >> 6) & 63] : '=');
    out.push_back('=');
  }
  return out;
}

std::optional<std::string> base64Decode(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::string out;
  out.reserve(text.size() / 4 * 3);
  for (size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    int v[4];
    int pad = 0;
    for (int k = 0; k < 4; ++k) {
      const char c = text[i + k];
      if (c == '=' && last && k >= 2) {
        v[k] = 0;
        ++pad;
        continue;
      }
      if (pad > 0) return std::nullopt;  // data after padding
      v[k] = valueOf(c);
      if (v[k] < 0) return std::nullopt;
    }
    const uint32_t n = uint32_t(v[0]) << 18 | uint32_t(v[1]) << 12 | uint32_t(v[2]) << 6 | uint32_t(v[3]);
    out.push_back(static_cast<char>(n >> 16));
    if (pad < 2) out.push_back(static_cast<char>((n >> 8) & 0xFF));
    if (pad < 1) out.push_back(static_cast<char>(n & 0xFF));
  }
  return out;
}

}  // namespace kestrel
