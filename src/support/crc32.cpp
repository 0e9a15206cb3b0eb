#include "support/crc32.h"

#include <algorithm>
#include <array>
#include <istream>

namespace kestrel {

namespace {

constexpr std::array<uint32_t, 256> makeTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

constexpr auto kTable = makeTable();

uint32_t runRegister(const uint32_t* table, uint32_t reg, const uint8_t* bytes, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) reg = table[(reg ^ bytes[i]) & 0xFF] ^ (reg >> 8);
  return reg;
}

}  // namespace

uint32_t crc32Update(uint32_t crc, const void* data, std::size_t size) {
  return runRegister(kTable.data(), crc ^ 0xFFFFFFFFu, static_cast<const uint8_t*>(data), size) ^ 0xFFFFFFFFu;
}

TCRC32::TCRC32() {
  for (std::size_t i = 0; i < 256; ++i) fTable[i] = kTable[i];
}

uint32_t TCRC32::CalcCRC32(std::istream& Stream) const {
  Stream.clear();
  const auto saved = Stream.tellg();
  if (saved == std::streampos(-1)) return 0;
  Stream.seekg(0, std::ios::end);
  const std::streamoff size = Stream.tellg();
  Stream.seekg(0, std::ios::beg);
  uint32_t reg = 0xFFFFFFFFu;
  char chunk[10240];
  std::streamoff left = size;
  while (left > 0 && Stream) {
    const auto want = static_cast<std::streamsize>(std::min<std::streamoff>(left, sizeof chunk));
    Stream.read(chunk, want);
    const std::streamsize got = Stream.gcount();
    if (got <= 0) break;
    reg = runRegister(fTable, reg, reinterpret_cast<const uint8_t*>(chunk), static_cast<std::size_t>(got));
    left -= got;
  }
  Stream.clear();
  Stream.seekg(saved);
  return reg ^ 0xFFFFFFFFu;
}

}  // namespace kestrel
