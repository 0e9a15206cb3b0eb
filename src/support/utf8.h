#pragma once
// Small UTF-8 helpers: text is UTF-8 in std::string, limits count characters.
#include <cstddef>
#include <string>
#include <string_view>

namespace kestrel {

// Reads one character at `pos` and advances `pos` past it. An invalid or truncated
// sequence consumes one byte and returns false (`cp` is then that byte's value).
bool decodeUtf8(std::string_view text, std::size_t& pos, char32_t& cp);

// Appends `cp` encoded as UTF-8; values that are no valid scalar become U+FFFD.
void appendUtf8(std::string& out, char32_t cp);

// Number of characters (an invalid byte counts as one).
std::size_t utf8Length(std::string_view text);

// A piece of outside text (a file's field, a key) fit to quote in a message: control
// characters and bytes that are no UTF-8 as \xNN (no terminal escape, no NUL that cuts
// the message), at most `maxChars` characters of the text followed by "..." when longer.
std::string excerpt(std::string_view text, std::size_t maxChars = 40);

std::u32string utf8ToU32(std::string_view text);
std::string u32ToUtf8(std::u32string_view text);

}  // namespace kestrel
