#pragma once
// Byte-level pieces of the device link frames, shared by the engine (request side)
// and the simulator (device side), so both agree on every byte.
#include <cstddef>
#include <cstdint>

namespace kestrel::frame {

inline constexpr uint8_t SOH = 0x01;
inline constexpr uint8_t TERMINATOR = 0x03;
inline constexpr uint8_t SEPARATOR = 0x04;
inline constexpr uint8_t POSTAMBLE = 0x05;
inline constexpr uint8_t NAK = 0x15;
inline constexpr uint8_t SYN = 0x16;

inline constexpr uint8_t SEQ_FIRST = 0x20;
inline constexpr uint8_t SEQ_LAST_TYPE1 = 0x7F;
inline constexpr uint8_t SEQ_LAST_TYPE2 = 0xFF;

// Length-field offsets: 20h plus the bytes the length counts besides the data.
inline constexpr uint16_t REQ_LEN_OFFSET_TYPE1 = 0x24;
inline constexpr uint16_t REQ_LEN_OFFSET_TYPE2 = 0x2A;
inline constexpr uint16_t ANS_LEN_OFFSET_TYPE1 = 0x2B;
inline constexpr uint16_t ANS_LEN_OFFSET_TYPE2 = 0x33;

inline constexpr size_t STATUS_BYTES_TYPE1 = 6;
inline constexpr size_t STATUS_BYTES_TYPE2 = 8;

// A 16-bit value as four bytes 30h + nibble, most significant nibble first.
inline void putNibbles(uint8_t* out, uint16_t value) {
  out[0] = static_cast<uint8_t>(0x30 + ((value >> 12) & 0xF));
  out[1] = static_cast<uint8_t>(0x30 + ((value >> 8) & 0xF));
  out[2] = static_cast<uint8_t>(0x30 + ((value >> 4) & 0xF));
  out[3] = static_cast<uint8_t>(0x30 + (value & 0xF));
}

// Reads a nibble field; each byte minus 30h is taken as one nibble (its low 4 bits).
inline uint16_t getNibbles(const uint8_t* in) {
  return static_cast<uint16_t>((((in[0] - 0x30) & 0xF) << 12) | (((in[1] - 0x30) & 0xF) << 8) |
                               (((in[2] - 0x30) & 0xF) << 4) | ((in[3] - 0x30) & 0xF));
}

// True when all four bytes lie in 30h..3Fh.
inline bool isNibbleField(const uint8_t* in) {
  for (int i = 0; i < 4; ++i)
    if (in[i] < 0x30 || in[i] > 0x3F) return false;
  return true;
}

// 16-bit additive checksum (modulo 10000h) of a byte range.
inline uint16_t checksum(const uint8_t* data, size_t len, uint16_t start = 0) {
  uint32_t sum = start;
  for (size_t i = 0; i < len; ++i) sum += data[i];
  return static_cast<uint16_t>(sum & 0xFFFF);
}

// The sequence number after `seq` for the given protocol (false: Type1, true: Type2).
inline uint8_t nextSequence(uint8_t seq, bool type2) {
  const uint8_t last = type2 ? SEQ_LAST_TYPE2 : SEQ_LAST_TYPE1;
  return (seq >= last || seq < SEQ_FIRST) ? SEQ_FIRST : static_cast<uint8_t>(seq + 1);
}

}  // namespace kestrel::frame
