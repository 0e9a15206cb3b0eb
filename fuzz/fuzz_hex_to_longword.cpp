// HexToLongWord on arbitrary text: a value or EConvertError, nothing else.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "support/fd_misc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const kestrel::TFDMisc misc;
  std::string text(reinterpret_cast<const char*>(data), size);
  const std::string original = text;
  try {
    const uint32_t value = misc.HexToLongWord(text);
    // What it accepted reads back as the same number.
    if (std::strtoull(original.c_str(), nullptr, 16) != value && original.find('\0') == std::string::npos)
      std::abort();
  } catch (const kestrel::EConvertError&) {
  }
  return 0;
}
