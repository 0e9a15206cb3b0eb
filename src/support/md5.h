#pragma once
// MD5 message digest (RFC 1321).
#include <array>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

namespace kestrel {

class Md5 {
 public:
  Md5();
  void update(const void* data, std::size_t size);
  void update(std::string_view data) { update(data.data(), data.size()); }
  // Ends the message; the object must be reset() before it is used again.
  std::array<uint8_t, 16> finish();
  void reset();

 private:
  void transform(const uint8_t block[64]);
  uint32_t fState[4];
  uint64_t fLength;  // in bytes
  uint8_t fBuffer[64];
};

// 32 hexadecimal digits of a digest.
std::string md5Hex(const std::array<uint8_t, 16>& digest, bool upperCase);
std::string md5Hex(std::string_view data, bool upperCase);
// Digest of the rest of `in`; throws std::ios_base::failure when reading fails.
std::string md5HexOfStream(std::istream& in, bool upperCase);

}  // namespace kestrel
