// The special-symbol notation of typed command data ("[tab]", "\t", "#[1B]"...) and
// the single-symbol form, fed arbitrary text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "support/fd_misc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const kestrel::TFDMisc misc;
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string prepared = misc.prepare_InputForSpecialSymbols(text);
  // Text without a bracket or a backslash has nothing to resolve.
  if (text.find_first_of("[\\") == std::string::npos && prepared != text) std::abort();
  const std::string symbol = misc.prepare_SpecialSymbol(text);
  (void)symbol;
  return 0;
}
