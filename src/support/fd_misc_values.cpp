// TFDMisc: selection, value-splitting, character, number, padding, password and CSV
// helpers.
#include <algorithm>
#include <cmath>

#include "support/caught.h"
#include "support/fd_misc.h"
#include "support/utf8.h"

namespace kestrel {

namespace {

bool isBlankText(const std::string& text) { return text.find_first_not_of(' ') == std::string::npos; }

bool equalsIgnoreCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// Characters up to U+0020 count as blanks, as in the original platform's Trim.
std::string trimControls(const std::string& text) {
  std::size_t b = 0, e = text.size();
  while (b < e && static_cast<unsigned char>(text[b]) <= 0x20) ++b;
  while (e > b && static_cast<unsigned char>(text[e - 1]) <= 0x20) --e;
  return text.substr(b, e - b);
}

bool isDigitChar(char32_t c) { return c >= U'0' && c <= U'9'; }

// Letter case for the scripts the devices' code pages carry: ASCII, Latin-1,
// Latin Extended-A and Cyrillic.
bool isUpperChar(char32_t c) {
  if (c >= U'A' && c <= U'Z') return true;
  if (c >= 0xC0 && c <= 0xDE) return c != 0xD7;
  if (c >= 0x0100 && c <= 0x0137) return c % 2 == 0;
  if (c >= 0x0139 && c <= 0x0148) return c % 2 == 1;
  if (c >= 0x014A && c <= 0x0177) return c % 2 == 0;
  if (c == 0x0178) return true;
  if (c >= 0x0179 && c <= 0x017E) return c % 2 == 1;
  return c >= 0x0400 && c <= 0x042F;
}

bool isLowerChar(char32_t c) {
  if (c >= U'a' && c <= U'z') return true;
  if (c >= 0xDF && c <= 0xFF) return c != 0xF7;
  if (c == 0xB5) return true;
  if (c >= 0x0100 && c <= 0x0137) return c % 2 == 1;
  if (c == 0x0138) return true;
  if (c >= 0x0139 && c <= 0x0148) return c % 2 == 0;
  if (c == 0x0149) return true;
  if (c >= 0x014A && c <= 0x0177) return c % 2 == 1;
  if (c >= 0x0179 && c <= 0x017E) return c % 2 == 0;
  if (c == 0x017F) return true;
  return c >= 0x0430 && c <= 0x045F;
}

// The characters that count as special in passwords and in check_For_SpecialSymbols.
bool isSpecialChar(char32_t c) {
  static constexpr std::u32string_view kSpecial =
      U"`\u0412\u00AC!\"\u0408$%^&*()_-=+{}[]#~@;:\\|,<>./?V\u00A7\u0432\u201E\u2013";
  return kSpecial.find(c) != std::u32string_view::npos;
}

template <typename Pred>
bool anyChar(const std::string& text, Pred pred) {
  std::size_t pos = 0;
  char32_t c;
  while (pos < text.size()) {
    decodeUtf8(text, pos, c);
    if (pred(c)) return true;
  }
  return false;
}

// Rounds half to even, as the original platform's Round does.
int roundHalfEven(double value) { return static_cast<int>(std::nearbyint(value)); }

template <typename Str>
Str valueBefore(Str& source, const Str& delimiter, bool deleteBefore) {
  const auto pos = delimiter.empty() ? Str::npos : source.find(delimiter);
  if (pos == Str::npos) {
    Str result = source;
    if (deleteBefore) source.clear();
    return result;
  }
  Str result = source.substr(0, pos);
  if (deleteBefore) source.erase(0, pos + delimiter.size());
  return result;
}

// Length of the longest delimiter of `delimiters` that starts `text` at `pos`, trying
// lengths `longest` down to 1; 0 when none does.
std::size_t delimiterAt(const TFDMisc& misc, const std::string& text, std::size_t pos, std::size_t longest,
                        const std::vector<std::string>* delimiters) {
  for (std::size_t len = std::min(longest, text.size() - pos); len >= 1; --len)
    if (misc.it_IsDelimiter(text.substr(pos, len), delimiters)) return len;
  return 0;
}

}  // namespace

// --- selection ---

int TFDMisc::StrToCase_FullMatch(const std::string& Selector, const std::vector<std::string>& CaseList) const {
  for (std::size_t i = 0; i < CaseList.size(); ++i)
    if (equalsIgnoreCase(Selector, CaseList[i])) return static_cast<int>(i);
  return -1;
}

int TFDMisc::StrToCase_PosMatch(const std::string& Selector, const std::vector<std::string>& CaseList) const {
  for (std::size_t i = 0; i < CaseList.size(); ++i)
    if (!CaseList[i].empty() && Selector.find(CaseList[i]) != std::string::npos) return static_cast<int>(i);
  return -1;
}

// --- value splitting ---

std::string TFDMisc::get_Value_Before(std::string& source_String, const std::string& target_Delimiter,
                                      bool delete_BeforeDelimiter) const {
  try {
    return valueBefore(source_String, target_Delimiter, delete_BeforeDelimiter);
  } catch (...) {
    reportCaught("TFDMisc.get_Value_Before");
    return {};
  }
}

std::u16string TFDMisc::get_Value_Before(std::u16string& source_String, const std::u16string& target_Delimiter,
                                         bool delete_BeforeDelimiter) const {
  try {
    return valueBefore(source_String, target_Delimiter, delete_BeforeDelimiter);
  } catch (...) {
    reportCaught("TFDMisc.get_Value_Before");
    return {};
  }
}

std::string TFDMisc::get_Value_Before(std::string& source_String, const std::string& target_Delimiter,
                                      bool delete_BeforeDelimiter, const std::string& charactersForDelete) const {
  std::string result = get_Value_Before(source_String, target_Delimiter, delete_BeforeDelimiter);
  std::size_t pos = 0;
  while (pos < charactersForDelete.size()) {
    const std::size_t start = pos;
    char32_t c;
    decodeUtf8(charactersForDelete, pos, c);
    if (!remove_SubString(charactersForDelete.substr(start, pos - start), result)) break;
  }
  return result;
}

std::string TFDMisc::get_Value_BetweenDelimiters(std::string& source_String, bool delete_Delimiter,
                                                 bool delete_DataAfterDelimiter, const std::string& delimiter_Value1,
                                                 const std::string& delimiter_Value2) const {
  try {
    if (source_String.empty()) return {};
    if (!delimiter_Value1.empty() && delete_Delimiter && source_String.rfind(delimiter_Value1, 0) == 0)
      source_String.erase(0, delimiter_Value1.size());
    const auto pos = delimiter_Value2.empty() ? std::string::npos : source_String.find(delimiter_Value2);
    if (pos == std::string::npos || pos == 0) return source_String;
    std::string result = source_String.substr(0, pos);
    if (delete_DataAfterDelimiter) source_String.erase(0, pos);
    return result;
  } catch (...) {
    reportCaught("TFDMisc.get_Value_BetweenDelimiters");
    return {};
  }
}

bool TFDMisc::it_IsDelimiter(const std::string& targetText, const std::vector<std::string>* delimiters) const {
  if (!delimiters || delimiters->empty()) return false;
  return std::find(delimiters->begin(), delimiters->end(), targetText) != delimiters->end();
}

std::string TFDMisc::get_FirstValue_AfterDelimiter(std::string& source_String, bool first_DelimiterIsEmpty,
                                                   bool delete_Delimiter, bool delete_DataAfterDelimiter,
                                                   const std::vector<std::string>* delimiters) const {
  try {
    if (!delimiters) return {};
    std::size_t longest = 0;
    for (const std::string& d : *delimiters) longest = std::max(longest, d.size());
    if (longest == 0) return source_String;
    if (!first_DelimiterIsEmpty && delete_Delimiter && !source_String.empty())
      source_String.erase(0, delimiterAt(*this, source_String, 0, longest, delimiters));
    // The value ends where the first delimiter starts.
    for (std::size_t pos = 0; pos < source_String.size(); ++pos) {
      if (delimiterAt(*this, source_String, pos, longest, delimiters) == 0) continue;
      std::string result = source_String.substr(0, pos);
      if (delete_DataAfterDelimiter) source_String.erase(0, pos);
      return result;
    }
    // No delimiter: the whole rest is the value and, when data is consumed, it is gone.
    std::string result = source_String;
    if (delete_DataAfterDelimiter) source_String.clear();
    return result;
  } catch (...) {
    reportCaught("TFDMisc.get_FirstValue_AfterDelimiter");
    return {};
  }
}

int TFDMisc::get_Values_AfterDelimiters(const std::string& source_String, bool first_DelimiterIsEmpty,
                                        const std::vector<std::string>* delimiters,
                                        std::vector<std::string>* values) const {
  if (!delimiters || !values) return -18;
  try {
    values->clear();
    std::string rest = source_String;
    bool first = true;
    while (!rest.empty()) {
      const std::size_t before = rest.size();
      // After the first value the rest starts with the delimiter that ended it.
      values->push_back(get_FirstValue_AfterDelimiter(rest, first ? first_DelimiterIsEmpty : false, true, true,
                                                      delimiters));
      // Only a leading empty value may leave the rest as it was; never loop for ever.
      if (!first && rest.size() >= before) throw std::runtime_error("no progress");
      first = false;
    }
    return 0;
  } catch (...) {
    reportCaught("TFDMisc.get_Values_AfterDelimiters");
    values->clear();
    return -1;
  }
}

// --- characters and numbers ---

bool TFDMisc::remove_NotDigitSymbols(std::string& Value) const {
  std::erase_if(Value, [](char c) { return c < '0' || c > '9'; });
  return true;
}

bool TFDMisc::remove_SubString(const std::string& subString, std::string& Value) const {
  try {
    if (subString.empty()) {
      Value.clear();
      return true;
    }
    // Repeated search and delete: pieces joined by a deletion are found again.
    std::size_t from = 0;
    for (std::size_t pos; (pos = Value.find(subString, from)) != std::string::npos;) {
      Value.erase(pos, subString.size());
      from = pos >= subString.size() ? pos - subString.size() + 1 : 0;
    }
    return true;
  } catch (...) {
    reportCaught("TFDMisc.remove_SubString");
    return false;
  }
}

bool TFDMisc::replace_Symbol(char32_t target_Symbol, char32_t replace_Symbol, std::string& Value) const {
  std::string out;
  out.reserve(Value.size());
  std::size_t pos = 0;
  while (pos < Value.size()) {
    const std::size_t start = pos;
    char32_t c;
    if (decodeUtf8(Value, pos, c) && c == target_Symbol)
      appendUtf8(out, replace_Symbol);
    else
      out.append(Value, start, pos - start);
  }
  Value = std::move(out);
  return true;
}

std::string TFDMisc::replace_Symbol(const std::string& inputValue, char32_t target_Symbol,
                                    char32_t replace_Symbol) const {
  std::string value = inputValue;
  this->replace_Symbol(target_Symbol, replace_Symbol, value);
  return value;
}

bool TFDMisc::check_ForDot(const std::string& target_Value) const {
  return target_Value.find_first_of(".,") != std::string::npos;
}

bool TFDMisc::check_ForDotPosition(const std::string& target_Value, int target_DigitsCount) const {
  auto pos = target_Value.find('.');
  if (pos == std::string::npos) pos = target_Value.find(',');
  if (pos == std::string::npos) return false;
  return utf8Length(std::string_view(target_Value).substr(pos + 1)) == static_cast<std::size_t>(target_DigitsCount);
}

bool TFDMisc::set_DotPosition(std::string& target_Value, int target_DigitsCount) const {
  try {
    if (target_DigitsCount < 0) return false;
    const auto digits = static_cast<std::size_t>(target_DigitsCount);
    if (target_Value.size() <= digits)
      target_Value = "0." + std::string(digits - target_Value.size(), '0') + target_Value;
    else
      target_Value.insert(target_Value.size() - digits, ".");
    return true;
  } catch (...) {
    reportCaught("TFDMisc.set_DotPosition");
    return false;
  }
}

void TFDMisc::setBitIntoInt(int index, int targetBitValue, int32_t& targetValue) const {
  if (index < 0 || index > 31) return;
  auto bits = static_cast<uint32_t>(targetValue);
  const uint32_t mask = uint32_t{1} << index;
  bits = targetBitValue > 0 ? (bits | mask) : (bits & ~mask);
  targetValue = static_cast<int32_t>(bits);
}

std::string TFDMisc::padString(const std::string& src_Value, const std::string& pad_Value, int pad_Count,
                               TPadCase pad_Case) const {
  const std::size_t srcLen = utf8Length(src_Value);
  const std::size_t padLen = utf8Length(pad_Value);
  if (pad_Count <= 0 || srcLen >= static_cast<std::size_t>(pad_Count) || padLen == 0) return src_Value;
  const auto count = static_cast<std::size_t>(pad_Count);
  if (pad_Case == pcCenter) {
    const std::u32string chars = utf8ToU32(src_Value);
    const auto half = static_cast<std::size_t>(roundHalfEven(chars.size() / 2.0));
    const int halfCount = roundHalfEven(pad_Count / 2.0);
    return padString(u32ToUtf8(chars.substr(0, half)), pad_Value, halfCount, pcLeft) +
           padString(u32ToUtf8(chars.substr(half)), pad_Value, halfCount, pcRight);
  }
  const std::size_t copies = (count - srcLen) / padLen;
  std::string padding;
  for (std::size_t i = 0; i < copies; ++i) padding += pad_Value;
  return pad_Case == pcLeft ? padding + src_Value : src_Value + padding;
}

bool TFDMisc::check_For_DigitSymbols(const std::string& text) const { return anyChar(text, isDigitChar); }
bool TFDMisc::check_For_LowerSymbols(const std::string& text) const { return anyChar(text, isLowerChar); }
bool TFDMisc::check_For_UpperSymbols(const std::string& text) const { return anyChar(text, isUpperChar); }
bool TFDMisc::check_For_SpecialSymbols(const std::string& text) const { return anyChar(text, isSpecialChar); }

bool TFDMisc::check_All_SymbolsAreDigits(const std::string& text) const {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

TPasswordScore TFDMisc::check_PasswordStrength(const std::string& password) const {
  const std::string text = trimControls(password);
  if (text.empty()) return ps_Blank;
  const std::size_t length = utf8Length(text);
  int points = 1;
  if (length < 6) return ps_VeryWeak;
  if (length >= 8) ++points;
  if (length >= 12) ++points;
  if (check_For_DigitSymbols(text)) ++points;
  if (check_For_UpperSymbols(text) && check_For_LowerSymbols(text)) ++points;
  if (check_For_SpecialSymbols(text)) ++points;
  return static_cast<TPasswordScore>(std::min(points, static_cast<int>(ps_VeryStrong)));
}

// --- CSV values ---

std::string TFDMisc::csv_This(const std::string& inputValue) const {
  try {
    std::string value = inputValue;
    if (!isBlankText(value)) value.erase(0, value.find_first_not_of(' '));
    return "\"" + value + "\";";
  } catch (...) {
    reportCaught("TFDMisc.csv_This");
    return inputValue;
  }
}

int TFDMisc::check_For_CSVStandart(const std::string& tmpSource, int len) const {
  const bool endsInQuote = !tmpSource.empty() && tmpSource.back() == '"';
  const bool endsInQuoteSemicolon = tmpSource.size() >= 2 && tmpSource.compare(tmpSource.size() - 2, 2, "\";") == 0;
  if (len > 1 && !tmpSource.empty() && tmpSource.front() == '"' && (endsInQuote || endsInQuoteSemicolon)) return 0;
  return kErrCsvNotInFormat;
}

std::string TFDMisc::get_CSV_Value(std::string& sourceString, bool deleteSource) const {
  std::string value = get_Value_Before(sourceString, ";", deleteSource);
  if (!value.empty() && value.front() == '"') value.erase(0, 1);
  if (!value.empty() && value.back() == '"') value.pop_back();
  return value;
}

int TFDMisc::fill_CSV_ToList(const std::string& sourceString, std::vector<std::string>* targetList) const {
  return fill_CSV_ToList(sourceString, false, {}, {}, targetList);
}

int TFDMisc::fill_CSV_ToList(const std::string& sourceString, bool check_ForHeader,
                             const std::string& first_HeaderValue, const std::string& alt_HeaderValue,
                             std::vector<std::string>* targetList) const {
  if (!targetList) return -1;
  try {
    targetList->clear();
    std::string rest = trimControls(sourceString);
    if (const int rc = check_For_CSVStandart(rest, static_cast<int>(rest.size())); rc != 0) return rc;
    bool first = true;
    do {
      std::string value = get_CSV_Value(rest, true);
      if (first && check_ForHeader && (value == first_HeaderValue || value == alt_HeaderValue)) {
        targetList->clear();
        return kErrCsvHeaderRow;
      }
      first = false;
      targetList->push_back(std::move(value));
    } while (!rest.empty() && rest != ";");
    return 0;
  } catch (...) {
    reportCaught("TFDMisc.fill_CSV_ToList");
    targetList->clear();
    return -1;
  }
}

}  // namespace kestrel
