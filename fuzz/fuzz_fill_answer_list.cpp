// Both forms of fillAnswerList. The input is "delimiters NUL source": the part before
// the first NUL byte holds the delimiters, separated by 01h bytes (an input without
// NUL is all source, with TAB as the delimiter).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "support/fd_misc.h"

namespace {

std::vector<std::string> splitDelimiters(std::string_view text) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find('\x01', start);
    out.emplace_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return out;
    start = end + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const kestrel::TFDMisc misc;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t nul = input.find('\0');
  std::vector<std::string> delimiters{"\t"};
  std::string source(input);
  if (nul != std::string_view::npos) {
    delimiters = nul == 0 ? std::vector<std::string>{} : splitDelimiters(input.substr(0, nul));
    source = std::string(input.substr(nul + 1));
  }

  // The engine's form reuses the target's strings: start from a list with leftovers.
  std::vector<std::string> fields{"left", "over", "strings"};
  const int n = misc.fillAnswerList(source, &delimiters, &fields);
  if (n < 0 || static_cast<size_t>(n) != fields.size()) std::abort();
  size_t fieldBytes = 0;
  for (const auto& f : fields) fieldBytes += f.size();
  // Fields are pieces of the source: never more bytes than it has.
  if (fieldBytes > source.size()) std::abort();
  if (misc.fillAnswerList(source, nullptr, &fields) != -1) std::abort();

  std::vector<std::string> array{"x"};
  const int m = misc.fillAnswerList(source, delimiters, array);
  if (m >= 0 && static_cast<size_t>(m) != array.size()) std::abort();
  return 0;
}
