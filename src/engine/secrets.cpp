#include "engine/secrets.h"

#include <cctype>
#include <cstdlib>

namespace kestrel {

namespace {

constexpr char FIELD_TAB = '\t';
constexpr const char* OPERATOR_PASSWORD_PARAM = "OperPasw";

std::string_view fieldOf(std::string_view input, int index) {
  size_t start = 0;
  for (int i = 0; i < index; ++i) {
    const size_t tab = input.find(FIELD_TAB, start);
    if (tab == std::string_view::npos) return {};
    start = tab + 1;
  }
  const size_t end = input.find(FIELD_TAB, start);
  return input.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

// Bit i set: field i holds a password.
unsigned passwordFields(uint16_t command, std::string_view input) {
  switch (command) {
    case 253: return fieldOf(input, 0) == "0" ? 1u << 1 : 0;  // enter service mode
    case 101: return 1u << 1 | 1u << 2;                        // operator, old, new password
    case 38:
    case 48: return 1u << 1;                                   // operator and password
    case 255: return fieldOf(input, 0) == OPERATOR_PASSWORD_PARAM ? 1u << 2 : 0;  // name, index, value
    default: return 0;
  }
}

std::string hexToBytes(const std::string& hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size();) {
    if (!std::isxdigit(static_cast<unsigned char>(hex[i]))) {
      ++i;
      continue;
    }
    bytes += static_cast<char>(std::strtol(hex.substr(i, 2).c_str(), nullptr, 16));
    i += 2;
  }
  return bytes;
}

// The bytes in the form of `like`: "XX " each, or without the blanks.
std::string bytesToHex(const std::string& bytes, const std::string& like) {
  static const char DIGITS[] = "0123456789ABCDEF";
  const bool blanks = like.find(' ') != std::string::npos;
  std::string hex;
  for (unsigned char b : bytes) {
    hex += DIGITS[b >> 4];
    hex += DIGITS[b & 15];
    if (blanks) hex += ' ';
  }
  return hex;
}

}  // namespace

std::string maskedPasswords(uint16_t command, std::string_view input) {
  std::string out(input);
  const unsigned fields = passwordFields(command, input);
  if (!fields) return out;
  int field = 0;
  for (char& c : out) {
    if (c == FIELD_TAB) ++field;
    else if (field < 32 && (fields >> field & 1u)) c = '*';
  }
  return out;
}

bool answerHoldsPassword(uint16_t command, std::string_view input) {
  return command == 255 && fieldOf(input, 0) == OPERATOR_PASSWORD_PARAM && fieldOf(input, 2).empty();
}

std::string maskedAnswer(std::string_view answer) {
  std::string out(answer);
  for (char& c : out)
    if (c != FIELD_TAB) c = '*';
  return out;
}

std::string traceHex(std::string_view bytes) { return bytesToHex(std::string(bytes), " "); }

void maskPasswordsInHex(uint16_t command, std::string_view input, std::string& text) {
  const std::string masked = maskedPasswords(command, input);
  if (masked == input || input.empty()) return;
  const std::string plainHex = traceHex(input), maskedHex = traceHex(masked);
  for (size_t at = text.find(plainHex); at != std::string::npos; at = text.find(plainHex, at + maskedHex.size()))
    text.replace(at, plainHex.size(), maskedHex);
}

std::string TPasswordMask::request(uint16_t command, const std::string& hexData) {
  const std::string input = hexToBytes(hexData);
  fAnswerSecret = answerHoldsPassword(command, input);
  const std::string masked = maskedPasswords(command, input);
  return masked == input ? hexData : bytesToHex(masked, hexData);
}

std::string maskedAnswerHex(const std::string& hexData) {
  return bytesToHex(maskedAnswer(hexToBytes(hexData)), hexData);
}

std::string TPasswordMask::answer(const std::string& hexData) const {
  return fAnswerSecret ? maskedAnswerHex(hexData) : hexData;
}

}  // namespace kestrel
