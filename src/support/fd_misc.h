#pragma once
// The helper component: text conversions for the device, the special-symbol notation,
// answer-field splitting and hexadecimal helpers. Further helper functions (dialogs,
// CSV, checksums, dates, files) are added to this class as they are built.
#include <cstdint>
#include <istream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/component.h"

namespace kestrel {

// Raised by HexToLongWord for a non-hexadecimal character ("No Hex-Number").
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TFDMisc : public TComponent {
 public:
  TFDMisc() = default;

  // --- conversions (text is UTF-8, "Ansi" strings are device bytes) ---
  std::string convert_WideString_ToAnsiString(const std::string& wStr, unsigned codePage) const;
  std::string convert_String_ToAnsiString(const std::string& sourceString, unsigned codePage) const;
  std::string convert_AnsiString_ToWideString(const std::string& aStr, unsigned codePage) const;
  // The *_ToPByteArray forms: on entry `targetPBLength` is the capacity of the caller's
  // array, on return the number of bytes of the converted text. A text that does not fit
  // (or a null array for a non-empty text) copies nothing and gives false.
  bool convert_String_ToPByteArray(const std::string& sourceString, uint8_t* targetPByteArray,
                                   uint32_t& targetPBLength, unsigned codePage) const;
  bool convert_WideString_ToPByteArray(const std::string& sourceString, uint8_t* targetPByteArray,
                                       uint32_t& targetPBLength, unsigned codePage) const;
  bool convert_AnsiString_ToPByteArray(const std::string& ansiSourceString, uint8_t* targetPByteArray,
                                       uint32_t& targetPBLength) const;
  std::string convert_PByteArray_ToAnsiString(const uint8_t* sourcePByteArray, uint32_t pbyteArraySize) const;
  std::string convert_PByteArray_ToString(const uint8_t* sourcePByteArray, uint32_t pbyteArraySize,
                                          unsigned codePage) const;
  std::string convert_Stream_ToString(std::istream& Stream, bool itisLowerCase) const;
  std::string convert_Stream_ToAnsiString(std::istream& Stream, unsigned codePage) const;

  // Georgian letters U+10D0..U+10F0 <-> Cyrillic from U+0430 (custom code page 16).
  std::string convert_GeorgianToCyrillic(const std::string& text) const;
  std::string convert_CyrillicToGeorgian(const std::string& text) const;

  // --- hexadecimal helpers ---
  std::string byteToHex(uint8_t B) const;                          // "ab"
  void putByteToHEX(uint8_t targetByte, std::string& targetString) const;  // appends "AB "
  int hexDigit(char c) const;
  uint8_t hexToByte(const std::string& S) const;
  uint32_t HexToLongWord(std::string& S) const;  // throws EConvertError("No Hex-Number")

  // --- special symbols ---
  std::string prepare_InputForSpecialSymbols(const std::string& targetText) const;
  std::string prepare_SpecialSymbol(const std::string& targetText) const;

  // --- answer fields ---
  // List form (used by the engine); null pointers give -1. The target's strings are
  // reused, so splitting many answers does not reallocate once capacity is there.
  int fillAnswerList(const std::string& sourceString, const std::vector<std::string>* delimiterList,
                     std::vector<std::string>* targetList) const;
  // Array form: case-insensitive delimiters; an empty array makes the whole source one field.
  int fillAnswerList(const std::string& sourceString, const std::vector<std::string>& delimiterArray,
                     std::vector<std::string>& targetList) const;
};

}  // namespace kestrel
