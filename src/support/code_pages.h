#pragma once
// The device's single-byte Windows code pages (1250, 1251, 1252) as built-in tables.
#include <string>

namespace kestrel {

// True for the code pages that have a table here.
bool isSupportedCodePage(unsigned codePage);

// UTF-8 text -> bytes in `codePage`; a character without a mapping (or an unsupported
// code page's non-ASCII character) becomes '?'. Combining sequences are composed first
// where the result exists precomposed. Invalid UTF-8 bytes become '?'.
std::string utf8ToCodePage(const std::string& text, unsigned codePage);

// Bytes in `codePage` -> UTF-8. Bytes the code page leaves undefined map to the C1
// control of the same value, so every byte round-trips. With a code page that has no
// table here, bytes from 80h on become '?'.
std::string codePageToUtf8(const std::string& bytes, unsigned codePage);

}  // namespace kestrel
