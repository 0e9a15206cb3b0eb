#include "support/md5.h"

#include <algorithm>
#include <cstring>
#include <istream>

namespace kestrel {

namespace {

constexpr uint32_t rotl(uint32_t x, int c) { return (x << c) | (x >> (32 - c)); }

// Per-round shift amounts and the sine-derived constants of RFC 1321.
constexpr int kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                            5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                            4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                            6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

constexpr uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

}  // namespace

Md5::Md5() { reset(); }

void Md5::reset() {
  fState[0] = 0x67452301;
  fState[1] = 0xefcdab89;
  fState[2] = 0x98badcfe;
  fState[3] = 0x10325476;
  fLength = 0;
}

void Md5::transform(const uint8_t block[64]) {
  uint32_t m[16];
  for (int i = 0; i < 16; ++i)
    m[i] = uint32_t(block[i * 4]) | uint32_t(block[i * 4 + 1]) << 8 | uint32_t(block[i * 4 + 2]) << 16 |
           uint32_t(block[i * 4 + 3]) << 24;
  uint32_t a = fState[0], b = fState[1], c = fState[2], d = fState[3];
  for (int i = 0; i < 64; ++i) {
    uint32_t f;
    int g;
    if (i < 16) {
      f = (b & c) | (~b & d);
      g = i;
    } else if (i < 32) {
      f = (d & b) | (~d & c);
      g = (5 * i + 1) % 16;
    } else if (i < 48) {
      f = b ^ c ^ d;
      g = (3 * i + 5) % 16;
    } else {
      f = c ^ (b | ~d);
      g = (7 * i) % 16;
    }
    const uint32_t next = b + rotl(a + f + kSine[i] + m[g], kShift[i]);
    a = d;
    d = c;
    c = b;
    b = next;
  }
  fState[0] += a;
  fState[1] += b;
  fState[2] += c;
  fState[3] += d;
}

void Md5::update(const void* data, std::size_t size) {
  auto bytes = static_cast<const uint8_t*>(data);
  std::size_t used = fLength % 64;
  fLength += size;
  if (used) {
    const std::size_t take = std::min<std::size_t>(64 - used, size);
    std::memcpy(fBuffer + used, bytes, take);
    used += take;
    bytes += take;
    size -= take;
    if (used < 64) return;
    transform(fBuffer);
  }
  for (; size >= 64; size -= 64, bytes += 64) transform(bytes);
  if (size) std::memcpy(fBuffer, bytes, size);
}

std::array<uint8_t, 16> Md5::finish() {
  const uint64_t bits = fLength * 8;
  static const uint8_t kPad[64] = {0x80};
  const std::size_t used = fLength % 64;
  update(kPad, used < 56 ? 56 - used : 120 - used);
  uint8_t length[8];
  for (int i = 0; i < 8; ++i) length[i] = static_cast<uint8_t>(bits >> (8 * i));
  update(length, 8);
  std::array<uint8_t, 16> digest;
  for (int i = 0; i < 16; ++i) digest[i] = static_cast<uint8_t>(fState[i / 4] >> (8 * (i % 4)));
  return digest;
}

std::string md5Hex(const std::array<uint8_t, 16>& digest, bool upperCase) {
  const char* digits = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string out;
  out.reserve(32);
  for (uint8_t b : digest) {
    out += digits[b >> 4];
    out += digits[b & 0x0F];
  }
  return out;
}

std::string md5Hex(std::string_view data, bool upperCase) {
  Md5 md5;
  md5.update(data);
  return md5Hex(md5.finish(), upperCase);
}

std::string md5HexOfStream(std::istream& in, bool upperCase) {
  Md5 md5;
  char buffer[65536];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) md5.update(buffer, static_cast<std::size_t>(in.gcount()));
  if (in.bad()) throw std::ios_base::failure("read error");
  return md5Hex(md5.finish(), upperCase);
}

}  // namespace kestrel
