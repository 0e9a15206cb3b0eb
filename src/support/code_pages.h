#pragma once
// The device's single-byte Windows code pages (1250, 1251, 1252) as built-in tables.
#include <string>
#include <string_view>
#include <vector>

namespace kestrel {

// True for the code pages that have a table here.
bool isSupportedCodePage(unsigned codePage);

// UTF-8 text -> bytes in `codePage`; a character without a mapping (or an unsupported
// code page's non-ASCII character) becomes '?'. Combining sequences are composed first
// where the result exists precomposed. Invalid UTF-8 bytes become '?'.
std::string utf8ToCodePage(const std::string& text, unsigned codePage);
// The same, appended to `out` (a long file converted piece by piece).
void appendInCodePage(std::string& out, std::string_view text, unsigned codePage);

// The characters of `text` that utf8ToCodePage turns into '?', each once, in the order
// they first appear (a letter with a mark it cannot compose counts as one).
std::vector<std::string> charactersOutsideCodePage(const std::string& text, unsigned codePage);

// For the user: `the device's code page 1250 has no "Ж", "ћ": each is sent as "?"`;
// empty when every character fits. Invisible characters are named by code point.
std::string codePageWarning(const std::string& text, unsigned codePage);

// Bytes in `codePage` -> UTF-8. Bytes the code page leaves undefined map to the C1
// control of the same value, so every byte round-trips. With a code page that has no
// table here, bytes from 80h on become '?'.
std::string codePageToUtf8(const std::string& bytes, unsigned codePage);
// The same, appended to `out` (a file read in pieces converts without a string per piece).
void appendCodePageAsUtf8(std::string& out, std::string_view bytes, unsigned codePage);

}  // namespace kestrel
