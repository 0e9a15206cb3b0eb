#pragma once
// Raw pass-through for device families that speak an unframed protocol: the input
// becomes bytes (special symbols resolved; in the hexadecimal forms blanks removed and
// every two digits one byte), is written once without any frame and, where the
// operation has an answer, an unframed answer is read. Each operation holds the engine
// lock for its whole duration.
//
// The answer ends when four bytes are in and their 16-bit big-endian length (bytes 3
// and 4) is 0, when a 00h byte arrives once at least that length plus 4 bytes are in,
// when the 65,536-byte answer buffer is full, or when a byte does not arrive within the
// transport's per-byte time limit. `outputText` is the first four bytes as upper-case
// hexadecimal digits followed by the bytes from the fifth on as text in the device
// code page (empty when fewer than 3 bytes arrived).
//
// Results: true and 0 when the bytes were written and (for the forms with an answer)
// the answer ended by its length rule; a timeout gives -6 (what arrived is still
// returned); hexadecimal input with an odd number of digits or a non-digit is refused
// with -1 before anything is sent; a closed transport gives -3 unless ocoecModeOn.
#include <string>

namespace kestrel {

class TFiscalDevice;

bool ba_SumUp3G(TFiscalDevice& engine, const std::string& inputText, std::string& outputText);
bool ba_KT99_JPN_01(TFiscalDevice& engine, const std::string& inputText, std::string& outputText);
bool ba_KT99_JPN_02(TFiscalDevice& engine, const std::string& inputText, std::string& outputText);
// Text in the device code page; no answer is read.
bool ba_KT99_JPN_03(TFiscalDevice& engine, const std::string& inputText);
// Hexadecimal digits; no answer is read.
bool ba_KT99_JPN_04(TFiscalDevice& engine, const std::string& inputText);

}  // namespace kestrel
