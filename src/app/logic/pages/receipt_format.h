#pragma once
// Receipt format: how the device prints receipts (duplicates, barcodes, logo, contrast,
// spacing, font, blank lines, paper cutting, characters per line), each a named
// parameter of command 255; and the logo upload over command 202.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/logic/loop_outcome.h"
#include "app/logic/param_bindings.h"

namespace kestrel {

class TDeviceOps;
struct TConfigPage;

extern const std::vector<std::string> FONT_TYPE_CHOICES;      // "Normal with small line spacing", ...
extern const std::vector<std::string> PAPER_CUTTING_CHOICES;  // "Partial", "Full"
extern const std::vector<std::string> PRINT_COLUMNS_CHOICES;  // "42 symbols - 57mm paper", "48 ..."

inline constexpr const char* PRINT_COLUMNS = "PrintColumns";

const TParamTable& receiptFormatTable();

// "Print size:" for the answer of "PrintColumns": the printer group shows 42 as entry 0
// and 48 as entry 1 (anything else: none); the register group always entry 0; a model
// not in the table none.
std::string printColumnsEntry(const std::string& deviceValue, int ecrModel);
// The "PrintColumns" value the save writes for the "Print size:" entry; empty when it
// writes none (the device in fiscal mode, a model not in the table). Only the wide-paper
// printers (KT-33A, KT-55B) may be set to 48.
std::string printColumnsToSave(const std::string& widgetValue, int ecrModel, bool fiscalMode);

// readBONFormat: the page's read order, stopping at the first refused parameter.
bool readBONFormat(TDeviceOps& ops, TPageValues& values);
// bbtnSetBonFormatClick: the page's save order and the saved message.
bool saveBONFormat(TDeviceOps& ops, const TPageValues& values);
// btn_CenterLogoClick: "HeaderMinLines" 0 and "FooterEmptyLines" 8; the two boxes take
// those values only when both writes succeed.
bool centerLogo(TDeviceOps& ops, TPageValues& values);

// ---- logo upload (command 202) ----

inline constexpr std::size_t LOGO_BLOCK_SIZE = 54;
// Larger than any device's logo memory: such a file cannot be a logo and is refused
// before anything is sent. Below it, what the device takes is the device's to say.
inline constexpr std::size_t LOGO_FILE_LIMIT = 4 * 1024 * 1024;
inline constexpr std::chrono::milliseconds LOGO_DEADLINE{900000};
inline constexpr const char* LOGO_FILE_FILTER = "bmp|*.bmp";
inline constexpr const char* LOGO_CHECKSUM_MESSAGE = "Invalid checksum! Read check sum: %d. Calc check sum: %d";

// The device's running checksum (answer field 1, hexadecimal); 0 for a field that is no
// hexadecimal number.
uint32_t logoDeviceChecksum(const std::string& field);
std::string logoChecksumMessage(uint32_t device, uint32_t calculated);
// The whole file as it is. Throws std::runtime_error with the reason when it cannot be a
// logo file: not readable, not a BMP image (no "BM" at its start), or over LOGO_FILE_LIMIT.
std::string loadLogoFile(const std::string& path);

// The upload of `data`: "START", blocks of 54 bytes in Base64 each checked against the
// device's running checksum, "STOPP" checked, "UPDATE", the saved message. Ends at the
// first refused command or checksum mismatch, or at a stop request (between blocks, or
// in a wait), with nothing more sent. After `deadline` the blocks stop and the data sent
// so far is committed (the outcome says so: it is no whole upload). The outcome counts
// blocks, numbered from 1. Progress and pending events go through the host.
TLoopOutcome uploadLogo(TDeviceOps& ops, const std::string& data, std::chrono::milliseconds deadline = LOGO_DEADLINE);
// bbtnLogoClick: the file from the host's file choice (cancel: none, nothing sent), then
// uploadLogo.
std::optional<TLoopOutcome> uploadLogoFromFile(TDeviceOps& ops);

TConfigPage receiptFormatConfigPage();

}  // namespace kestrel
