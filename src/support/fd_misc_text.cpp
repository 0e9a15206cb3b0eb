// TFDMisc: text conversions for the device, hexadecimal helpers, the special-symbol
// notation and the splitting of answers into fields.
#include <array>
#include <cctype>
#include <cstring>
#include <iterator>

#include "support/caught.h"
#include "support/code_pages.h"
#include "support/fd_misc.h"
#include "support/utf8.h"

namespace kestrel {

namespace {

constexpr char kEsc = '\x1B';

char asciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string asciiUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = asciiUpper(c);
  return out;
}

// "\t", "\n" and "\r" (either case) become TAB, LF and CR.
void replaceEscapedControls(std::string& text) {
  std::string::size_type w = 0;
  for (std::string::size_type r = 0; r < text.size(); ++r) {
    if (text[r] == '\\' && r + 1 < text.size()) {
      const char next = asciiUpper(text[r + 1]);
      const char control = next == 'T' ? '\t' : next == 'N' ? '\n' : next == 'R' ? '\r' : 0;
      if (control) {
        text[w++] = control;
        ++r;
        continue;
      }
    }
    text[w++] = text[r];
  }
  text.resize(w);
}

// The control-character names shared by both notations; empty when `upper` is none.
// "\LF" is the form the custom command page's hint shows.
std::string_view controlForName(std::string_view upper) {
  if (upper == "LF" || upper == "\\N" || upper == "\\LF") return "\n";
  if (upper == "TAB" || upper == "HT" || upper == "\\T") return "\t";
  if (upper == "CR" || upper == "\\R") return "\r";
  if (upper == "NEW LINE" || upper == "LINE BREAK") return "\r\n";
  return {};
}

// A character standing for a byte value. Values from 80h on are the Latin-1 characters
// of the same value; the code page conversion then takes them like any other character.
void appendByteChar(std::string& out, uint8_t value) { appendUtf8(out, value); }

enum class Arg { None, Byte, Decimal, ByteOrZero, TwoBytes };

struct EscapeForm {
  std::string_view entry;  // what the token must contain
  char command;            // the character after ESC
  Arg arg;
};

// Checked in this order; the first entry found anywhere in the token wins.
constexpr std::array<EscapeForm, 14> kEscapeForms{{
    {"1B!", '!', Arg::Byte},
    {"1B ", ' ', Arg::Decimal},
    {"1B3", '3', Arg::Decimal},
    {"1BE", 'E', Arg::Decimal},
    {"1BG", 'G', Arg::Decimal},
    {"1BI", 'I', Arg::ByteOrZero},
    {"1BA", 'a', Arg::ByteOrZero},
    {"1BU", 'u', Arg::Decimal},
    {"1BB", 'B', Arg::Decimal},
    {"1BJ", 'J', Arg::Byte},
    {"1BD", 'd', Arg::Byte},
    {"1B$", '$', Arg::TwoBytes},
    {"1B\\", '\\', Arg::TwoBytes},
    {"1BM", 'm', Arg::None},
}};

bool isHexDigit(char32_t c) { return (c >= U'0' && c <= U'9') || (c >= U'A' && c <= U'F') || (c >= U'a' && c <= U'f'); }

// `count` hexadecimal digits from index `index` of the token.
bool hexDigitsAt(const std::u32string& chars, std::size_t index, std::size_t count) {
  if (index + count > chars.size()) return false;
  for (std::size_t i = index; i < index + count; ++i)
    if (!isHexDigit(chars[i])) return false;
  return true;
}

// Walks the notation: `text` gets the runs between tokens, `token` each bracketed token
// without its brackets. A "[" that is never closed starts no token: the rest stays as typed.
template <class Text, class Token>
void walkNotation(const std::string& typed, Text&& text, Token&& token) {
  std::size_t pos = 0;
  while (pos < typed.size()) {
    const std::size_t open = typed.find('[', pos);
    if (open == std::string::npos) {
      text(std::string_view(typed).substr(pos));
      return;
    }
    text(std::string_view(typed).substr(pos, open - pos));
    const std::size_t close = typed.find(']', open + 1);
    if (close == std::string::npos) {
      text(std::string_view(typed).substr(open));
      return;
    }
    token(typed.substr(open + 1, close - open - 1));
    pos = close + 1;
  }
}

class SpecialSymbols {
 public:
  explicit SpecialSymbols(const TFDMisc& misc) : fMisc(misc) {}

  // Why the token would be dropped or garbled without a word; "" when it stands for a
  // character or is plain text.
  static std::string problem(const std::string& token) {
    const std::string upper = asciiUpper(token);
    if (!controlForName(upper).empty()) return {};
    const std::string shown = "\"[" + token + "]\"";
    const std::u32string chars = utf8ToU32(upper);
    for (const EscapeForm& form : kEscapeForms) {
      if (upper.find(form.entry) == std::string::npos) continue;
      const std::size_t digits = form.arg == Arg::None ? 0 : form.arg == Arg::TwoBytes ? 4 : 2;
      if (hexDigitsAt(chars, 3, digits)) return {};
      const std::string entry(form.entry);
      return "incomplete escape sequence " + shown + ": \"" + entry + "\" needs " + std::to_string(digits) +
             " hexadecimal digits after it, for example \"[" + entry + (digits == 4 ? "0102" : "08") + "]\"";
    }
    if (chars.size() == 3) {
      if (chars[0] == U'\\' && hexDigitsAt(chars, 1, 2)) {
        const int value = std::stoi(u32ToUtf8(chars.substr(1, 2)), nullptr, 16);
        if (value >= 0x01 && value <= 0x20) return {};
      }
      return shown + " stands for no character: a token of three characters is \"\\\" and a control code from 01 to 20, for example \"[\\0A]\"";
    }
    if (chars.empty()) return shown + " stands for no character";
    return {};
  }

  void appendToken(std::string& out, const std::string& token) const {
    const std::string upper = asciiUpper(token);
    if (auto control = controlForName(upper); !control.empty()) {
      out += control;
      return;
    }
    const std::u32string chars = utf8ToU32(upper);
    for (const EscapeForm& form : kEscapeForms) {
      if (upper.find(form.entry) == std::string::npos) continue;
      out += kEsc;
      out += form.command;
      appendArgument(out, form.arg, chars);
      return;
    }
    if (chars.size() == 3) {
      // "\hh": a control character (or a blank) by its code; any other three-character
      // token stands for nothing.
      if (chars[0] == U'\\') {
        const uint8_t value = byteAt(chars, 1);
        if (value >= 0x01 && value <= 0x20) out += static_cast<char>(value);
      }
      return;
    }
    out += token;
  }

 private:
  // The two hexadecimal digits at index `index` (from 0) of the token.
  uint8_t byteAt(const std::u32string& chars, std::size_t index) const {
    if (index + 2 > chars.size()) throw EConvertError("No Hex-Number");
    std::string digits;
    for (std::size_t i = index; i < index + 2; ++i)
      digits += chars[i] < 0x80 ? static_cast<char>(chars[i]) : '\xFF';
    return fMisc.hexToByte(digits);
  }

  void appendArgument(std::string& out, Arg arg, const std::u32string& chars) const {
    // Token positions 4-5 and 6-7, counted from 1.
    switch (arg) {
      case Arg::None:
        return;
      case Arg::Byte:
        appendByteChar(out, byteAt(chars, 3));
        return;
      case Arg::Decimal:
        out += std::to_string(byteAt(chars, 3));
        return;
      case Arg::ByteOrZero: {
        const uint8_t value = byteAt(chars, 3);
        if (value == 0)
          out += '0';
        else
          appendByteChar(out, value);
        return;
      }
      case Arg::TwoBytes:
        appendByteChar(out, byteAt(chars, 3));
        appendByteChar(out, byteAt(chars, 5));
        return;
    }
  }

  const TFDMisc& fMisc;
};

constexpr char32_t kGeorgianFirst = 0x10D0;
constexpr char32_t kGeorgianLast = 0x10F0;
constexpr char32_t kCyrillicFirst = 0x0430;  // а
constexpr char32_t kCyrillicLast = 0x044F;   // я
// The 33rd letter goes to ё: U+0450, the next code after я, is not in code page 1251,
// which carries these letters to the device.
constexpr char32_t kCyrillicExtra = 0x0451;

template <typename Map>
std::string mapChars(const std::string& text, Map map) {
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t start = pos;
    char32_t cp;
    if (!decodeUtf8(text, pos, cp)) {
      out.append(text, start, pos - start);  // keep bytes that are no character
      continue;
    }
    appendUtf8(out, map(cp));
  }
  return out;
}

// Which characters end a field. Delimiters are single characters; a delimiter of more
// than one character can never equal one character, so it is ignored.
class DelimiterSet {
 public:
  template <typename Range>
  DelimiterSet(const Range& delimiters, bool ignoreCase) {
    for (const std::string& d : delimiters) {
      if (d.size() == 1) {
        const auto b = static_cast<unsigned char>(d[0]);
        fAscii[b] = true;
        if (ignoreCase && std::isalpha(b)) {
          fAscii[static_cast<unsigned char>(std::tolower(b))] = true;
          fAscii[static_cast<unsigned char>(std::toupper(b))] = true;
        }
      } else if (!d.empty() && utf8Length(d) == 1) {
        fWide.push_back(d);
      }
    }
  }

  // Length in bytes of the delimiter at `pos`, 0 when the character there is none.
  std::size_t at(const std::string& text, std::size_t pos) const {
    const auto b = static_cast<unsigned char>(text[pos]);
    if (b < 0x80 || fWide.empty()) return fAscii[b] ? 1 : 0;
    for (const std::string& d : fWide)
      if (text.compare(pos, d.size(), d) == 0) return d.size();
    return 0;
  }

 private:
  std::array<bool, 256> fAscii{};
  std::vector<std::string> fWide;
};

// Splits into `target`, reusing its strings: this runs on every device answer.
int splitFields(const std::string& source, const DelimiterSet& delimiters, std::vector<std::string>& target) {
  std::size_t count = 0;
  auto put = [&](std::size_t from, std::size_t to) {
    if (count < target.size())
      target[count].assign(source, from, to - from);
    else
      target.emplace_back(source, from, to - from);
    ++count;
  };
  std::size_t fieldStart = 0;
  std::size_t pos = 0;
  while (pos < source.size()) {
    if (const std::size_t len = delimiters.at(source, pos)) {
      put(fieldStart, pos);
      pos += len;
      fieldStart = pos;
    } else {
      ++pos;
    }
  }
  if (fieldStart < source.size()) put(fieldStart, source.size());
  target.resize(count);
  return static_cast<int>(count);
}

}  // namespace

// --- conversions ---

std::string TFDMisc::convert_WideString_ToAnsiString(const std::string& wStr, unsigned codePage) const {
  return utf8ToCodePage(wStr, codePage);
}

std::string TFDMisc::convert_String_ToAnsiString(const std::string& sourceString, unsigned codePage) const {
  return utf8ToCodePage(sourceString, codePage);
}

std::string TFDMisc::convert_AnsiString_ToWideString(const std::string& aStr, unsigned codePage) const {
  return codePageToUtf8(aStr, codePage);
}

bool TFDMisc::convert_String_ToPByteArray(const std::string& sourceString, uint8_t* targetPByteArray,
                                          uint32_t& targetPBLength, unsigned codePage) const {
  return convert_AnsiString_ToPByteArray(utf8ToCodePage(sourceString, codePage), targetPByteArray,
                                         targetPBLength);
}

bool TFDMisc::convert_WideString_ToPByteArray(const std::string& sourceString, uint8_t* targetPByteArray,
                                              uint32_t& targetPBLength, unsigned codePage) const {
  return convert_String_ToPByteArray(sourceString, targetPByteArray, targetPBLength, codePage);
}

bool TFDMisc::convert_AnsiString_ToPByteArray(const std::string& ansiSourceString, uint8_t* targetPByteArray,
                                              uint32_t& targetPBLength) const {
  // The caller's array holds targetPBLength bytes; never write past it.
  const uint32_t capacity = targetPBLength;
  targetPBLength = static_cast<uint32_t>(ansiSourceString.size());
  if (ansiSourceString.size() > capacity || (!targetPByteArray && !ansiSourceString.empty())) return false;
  if (!ansiSourceString.empty()) std::memcpy(targetPByteArray, ansiSourceString.data(), ansiSourceString.size());
  return true;
}

std::string TFDMisc::convert_PByteArray_ToAnsiString(const uint8_t* sourcePByteArray, uint32_t pbyteArraySize) const {
  if (!sourcePByteArray) return {};
  return std::string(reinterpret_cast<const char*>(sourcePByteArray), pbyteArraySize);
}

std::string TFDMisc::convert_PByteArray_ToString(const uint8_t* sourcePByteArray, uint32_t pbyteArraySize,
                                                 unsigned codePage) const {
  return codePageToUtf8(convert_PByteArray_ToAnsiString(sourcePByteArray, pbyteArraySize), codePage);
}

std::string TFDMisc::convert_Stream_ToString(std::istream& Stream, bool itisLowerCase) const {
  static constexpr char kUpper[] = "0123456789ABCDEF";
  static constexpr char kLower[] = "0123456789abcdef";
  const char* digits = itisLowerCase ? kLower : kUpper;
  std::string out;
  char buffer[4096];
  while (Stream.read(buffer, sizeof buffer) || Stream.gcount() > 0) {
    const auto n = static_cast<std::size_t>(Stream.gcount());
    for (std::size_t i = 0; i < n; ++i) {
      const auto b = static_cast<unsigned char>(buffer[i]);
      out += digits[b >> 4];
      out += digits[b & 0x0F];
    }
  }
  return out;
}

std::string TFDMisc::convert_Stream_ToAnsiString(std::istream& Stream, unsigned codePage) const {
  return utf8ToCodePage(convert_Stream_ToString(Stream, false), codePage);
}

std::string TFDMisc::convert_GeorgianToCyrillic(const std::string& text) const {
  return mapChars(text, [](char32_t c) -> char32_t {
    if (c < kGeorgianFirst || c > kGeorgianLast) return c;
    return c == kGeorgianLast ? kCyrillicExtra : kCyrillicFirst + (c - kGeorgianFirst);
  });
}

std::string TFDMisc::convert_CyrillicToGeorgian(const std::string& text) const {
  return mapChars(text, [](char32_t c) -> char32_t {
    if (c == kCyrillicExtra) return kGeorgianLast;
    if (c < kCyrillicFirst || c > kCyrillicLast) return c;
    return kGeorgianFirst + (c - kCyrillicFirst);
  });
}

// --- hexadecimal helpers ---

std::string TFDMisc::byteToHex(uint8_t B) const {
  static constexpr char kDigits[] = "0123456789abcdef";
  return {kDigits[B >> 4], kDigits[B & 0x0F]};
}

void TFDMisc::putByteToHEX(uint8_t targetByte, std::string& targetString) const {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  // One append: the engine calls this for every byte of every request.
  const char hex[3] = {kDigits[targetByte >> 4], kDigits[targetByte & 0x0F], ' '};
  targetString.append(hex, 3);
}

int TFDMisc::hexDigit(char c) const {
  const int v = static_cast<unsigned char>(c);
  if (c >= '0' && c <= '9') return v - '0';
  if (c >= 'a' && c <= 'z') return v - 87;
  return v - 55;
}

uint8_t TFDMisc::hexToByte(const std::string& S) const {
  // Two digits are needed; reading past a shorter text would read garbage.
  if (S.size() < 2) throw EConvertError("No Hex-Number");
  return static_cast<uint8_t>(16 * hexDigit(S[0]) + hexDigit(S[1]));
}

uint32_t TFDMisc::HexToLongWord(std::string& S) const {
  for (char& c : S) c = asciiUpper(c);
  uint32_t value = 0;
  for (char c : S) {
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      throw EConvertError("No Hex-Number");
    // A value that does not fit 32 bits is as wrong as a bad digit.
    if (value > 0x0FFFFFFFu) throw EConvertError("No Hex-Number");
    value = value * 16 + static_cast<uint32_t>(digit);
  }
  return value;
}

// --- special symbols ---

std::string TFDMisc::prepare_InputForSpecialSymbols(const std::string& targetText) const {
  try {
    const SpecialSymbols symbols(*this);
    std::string out;
    out.reserve(targetText.size());
    walkNotation(
        targetText, [&](std::string_view text) { out += text; },
        [&](const std::string& token) { symbols.appendToken(out, token); });
    replaceEscapedControls(out);
    return out;
  } catch (const std::exception& e) {
    // The notation's rule: a text that cannot be resolved gives nothing. Typed text is
    // checked by prepareTypedInput first, which says why.
    reportCaught("TFDMisc.prepare_InputForSpecialSymbols", e);
    return {};
  }
}

TPreparedInput TFDMisc::prepareTypedInput(const std::string& typed, unsigned codePage, std::size_t maxBytes) const {
  TPreparedInput result;
  walkNotation(
      typed, [](std::string_view) {},
      [&](const std::string& token) {
        if (result.error.empty()) result.error = SpecialSymbols::problem(token);
      });
  if (!result.error.empty()) return result;
  std::string text = prepare_InputForSpecialSymbols(typed);
  const std::size_t bytes = utf8ToCodePage(text, codePage).size();
  if (bytes > maxBytes) {
    result.error = "the data are " + std::to_string(bytes) + " bytes long; one frame carries at most " +
                   std::to_string(maxBytes);
    return result;
  }
  result.text = std::move(text);
  return result;
}

std::string TFDMisc::prepare_SpecialSymbol(const std::string& targetText) const {
  try {
    std::string upper = asciiUpper(targetText);
    if (upper.size() >= 2 && upper.front() == '[' && upper.back() == ']') {
      const std::string inner = upper.substr(1, upper.size() - 2);
      // The bracketed forms exist for the names only, not for the "#nn" codes.
      if (inner.empty() || inner[0] != '#') upper = inner;
    }
    std::string out;
    if (auto control = controlForName(upper); !control.empty())
      out = control;
    else if (upper == "#10")
      out = "\n";
    else if (upper == "#9")
      out = "\t";
    else if (upper == "#13")
      out = "\r";
    else
      out = targetText;
    replaceEscapedControls(out);
    return out;
  } catch (...) {
    reportCaught("TFDMisc.prepare_SpecialSymbol");
    return {};
  }
}

// --- answer fields ---

int TFDMisc::fillAnswerList(const std::string& sourceString, const std::vector<std::string>* delimiterList,
                            std::vector<std::string>* targetList) const {
  if (!targetList || !delimiterList) return -1;
  try {
    if (sourceString.empty()) {
      targetList->clear();
      return 0;
    }
    if (delimiterList->empty()) {
      targetList->resize(1);
      targetList->front().assign(sourceString);
      return 1;
    }
    return splitFields(sourceString, DelimiterSet(*delimiterList, false), *targetList);
  } catch (...) {
    reportCaught("TFDMisc.fillAnswerList");
    return -1;
  }
}

int TFDMisc::fillAnswerList(const std::string& sourceString, const std::vector<std::string>& delimiterArray,
                            std::vector<std::string>& targetList) const {
  try {
    if (delimiterArray.empty()) {
      targetList.resize(1);
      targetList.front().assign(sourceString);
      return 1;
    }
    if (sourceString.empty()) {
      targetList.clear();
      return 0;
    }
    return splitFields(sourceString, DelimiterSet(delimiterArray, true), targetList);
  } catch (...) {
    reportCaught("TFDMisc.fillAnswerList");
    targetList.clear();
    return -1;
  }
}

}  // namespace kestrel
