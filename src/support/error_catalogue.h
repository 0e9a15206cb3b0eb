#pragma once
// Catalogue of error codes: every code the engine, its transports and the device report,
// with its message in each language the code's family was written for.
#include <cstddef>
#include <string>

namespace kestrel {

enum class TErrorLanguages { Bulgarian = 0, English = 1, Russian = 2, Romanian = 3, Poland = 4 };

inline constexpr int kErrorLanguageCount = 5;

// One code of a family and its text per language (index = TErrorLanguages);
// nullptr where that language's table does not list the code.
struct TErrorEntry {
  int code;
  const char* text[kErrorLanguageCount];
};

// The language sets of the families (bit n = TErrorLanguages n).
inline constexpr unsigned kAllLanguages = 0x1F;
inline constexpr unsigned kNoPolish = 0x0F;
inline constexpr unsigned kNoRomanianNoPolish = 0x07;

// A range of codes (`first` is the one nearer to zero, both included), the languages it
// supports (bit n = TErrorLanguages n) and its entries, ordered from `first` to `last`.
// Codes of the range without an entry have no text.
struct TErrorFamily {
  int first;
  int last;
  unsigned languages;
  const TErrorEntry* entries;
  std::size_t count;
  const char* domain;

  bool contains(int code) const {
    return first <= last ? (code >= first && code <= last) : (code <= first && code >= last);
  }
  bool supports(TErrorLanguages language) const {
    const auto index = static_cast<unsigned>(language);
    return index < kErrorLanguageCount && ((languages >> index) & 1u);
  }
  // The entry of `code`, or nullptr for a gap in the range.
  const TErrorEntry* find(int code) const;
};

// The family whose range holds `code`, or nullptr.
const TErrorFamily* get_ErrorFamily(int code);

// All families, ordered by their ranges.
std::size_t errorFamilyCount();
const TErrorFamily& errorFamilyAt(std::size_t index);

// "No error" for 0; the family's text for a covered code in a supported language (empty
// for a gap inside the range); "General error/Unknown error. [<code>]" otherwise.
std::string get_ErrorText(int code, TErrorLanguages language);

}  // namespace kestrel
