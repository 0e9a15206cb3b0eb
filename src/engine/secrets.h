#pragma once
// Passwords in the data of a command, for traces and logs: the service password (253),
// operator passwords (101 changes one, 38 and 48 open a receipt with one) and an
// operator password written or read as the parameter "OperPasw" (255). A trace shows
// each of their bytes as '*', so the frame keeps its length and the reader sees that a
// password was sent, but not which.
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrel {

// `input` (fields separated by TAB) with the bytes of its password fields as '*'.
std::string maskedPasswords(uint16_t command, std::string_view input);
// Whether the answer to this input holds a password (a read of "OperPasw").
bool answerHoldsPassword(uint16_t command, std::string_view input);
// An answer's data with every byte but the TABs as '*'.
std::string maskedAnswer(std::string_view answer);
// The same for the answer's data as hex text ("30 09 31 " or "300931").
std::string maskedAnswerHex(const std::string& hexData);

// `bytes` as a trace writes them: "XX " each.
std::string traceHex(std::string_view bytes);
// `text` with every occurrence of the hex of `input` replaced by the hex of its masked
// form (a trace's rows hold whole frames, and earlier attempts of the same one).
void maskPasswordsInHex(uint16_t command, std::string_view input, std::string& text);

// The same for a trace that sees frames as hex text ("30 09 31 "), one request and then
// its answers: the answer is masked when its request asked for a password.
class TPasswordMask {
 public:
  std::string request(uint16_t command, const std::string& hexData);
  std::string answer(const std::string& hexData) const;

 private:
  bool fAnswerSecret = false;
};

}  // namespace kestrel
