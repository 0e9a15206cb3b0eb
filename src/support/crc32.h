#pragma once
// CRC-32 of IEEE 802.3 / ISO-HDLC (reflected polynomial EDB88320h).
#include <cstddef>
#include <cstdint>
#include <iosfwd>

namespace kestrel {

// Continues a CRC: start with crc32Update(0, ...) and feed the result back for the next
// block; the value returned is the finished CRC of everything so far.
uint32_t crc32Update(uint32_t crc, const void* data, std::size_t size);

// The application's CRC-32 calculator over streams.
class TCRC32 {
 public:
  TCRC32();
  // CRC of the whole stream from position 0; the stream's position is restored.
  // A stream that cannot seek or read gives 0.
  uint32_t CalcCRC32(std::istream& Stream) const;

 private:
  uint32_t fTable[256];
};

}  // namespace kestrel
