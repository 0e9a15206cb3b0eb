#pragma once
// Service data and service mode: the service text and date (named parameters written in
// service mode), entering and leaving service mode, RAM reset, the record of a service
// operation (all command 253), and the check of the device's certificates (62, 129).
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/date_time.h"

namespace kestrel {

class TDeviceOps;

inline constexpr int SERVICE_TEXT_LINES = 10;
inline constexpr const char* SERVICE_PASSWORD_FIELD = "ed_ServicePassword";
inline constexpr const char* MSG_ENTER_SERVICE_PASSWORD = "Enter service password";
inline constexpr const char* MSG_SERVICE_ACTIVE = "Service mode active.";
inline constexpr const char* MSG_SERVICE_INACTIVE = "Service mode is not active.";
inline constexpr const char* SERVICE_OP_TYPES = "NTBPFOKMI";
inline constexpr const char* RAM_RESET_TYPES = "CPBDSF";

// The 253 inputs: enter service mode with the password, leave it.
std::string serviceModeInput(const std::string& password);
// The device's answer to a wrong password, the service password's too.
inline constexpr int CODE_WRONG_PASSWORD = -102002;
inline constexpr const char* MSG_WRONG_SERVICE_PASSWORD = "Wrong service password";
// Enters service mode with `password`, judged; a wrong password is reported as the
// service password's, not the operator's the device's message speaks of.
bool enterServiceMode(TDeviceOps& ops, const std::string& password);

// "ServiceDate" as written: "DD-MM-YY 23:59:59". Throws for a year the device cannot hold.
std::string serviceDateText(const LocalDateTime& date);
// The service date the device reports: day, month and two-digit year up to their
// separators; `today` when the text is of another form or no valid date.
LocalDateTime serviceDateOf(const std::string& deviceText, const LocalDateTime& today);

// What readServiceTab filled: the date once it was read, the text once its read began
// (it is emptied first).
struct TServiceRead {
  std::optional<LocalDateTime> date;
  std::optional<std::vector<std::string>> lines;
};
// Empty device lines are skipped. False at the first refused read.
bool readServiceTab(TDeviceOps& ops, TServiceRead& read);

// btnSaveServiceClick: in service mode the ten lines (a missing or empty one as a single
// blank) and the date; service mode is left at the end whatever happened before. An
// empty password names its field in `focus` and sends only the closing command.
bool saveService(TDeviceOps& ops, const std::string& password, const std::vector<std::string>& lines,
                 const LocalDateTime& date, std::string& focus);

// An empty password would make the device leave service mode: it is asked for instead
// (its field named in `focus`), so "Service mode active." is never said of a device
// that is not.
bool activateServiceMode(TDeviceOps& ops, const std::string& password, std::string& focus);
// "Service mode is not active." once the device has left it; a refusal shows its error
// instead, since the device may still be in service mode.
bool deactivateServiceMode(TDeviceOps& ops);
// Password, "Are you sure?" (No the default), service mode, then the reset of `type`
// (one of RAM_RESET_TYPES). The device stays in service mode.
bool ramReset(TDeviceOps& ops, const std::string& password, char type, std::string& focus);

// "Are you sure?" before a service operation is recorded; true for Yes.
bool confirmServiceOperation(TDeviceOps& ops);
// A service operation moment: the date-time text, " DST" when `dst`.
std::string serviceMomentText(const LocalDateTime& moment, bool dst);
// Records the operation from start to end; each moment gets " DST" when the device's
// automatic summer time is on and its picked date is in summer time at 00:00:00.
bool setServiceOperation(TDeviceOps& ops, const LocalDateTime& start, const LocalDateTime& end, char type);

// --- certificates ---

inline constexpr const char* MSG_CERT_NOT_LOADED = "The certificates are NOT LOADED!!!";
inline constexpr const char* MSG_CERT_INVALID = "The certificates of the device are INVALID!!!";
inline constexpr const char* MSG_CERT_VALID = "The certificates of the device are VALID.";
inline constexpr const char* ROOT_CERT_MD5 = "DCAB0A8D4B33D69A4C9B58A9C6CEF520";
inline constexpr const char* SERVER_CERT_MD5 = "DB6771348CA5A5BD8BC8468F6B793762";

// The four bytes the unlock code is made of (year low byte first, month, day), from the
// device's date text; nullopt for a text of another form.
std::optional<std::array<uint8_t, 4>> certificateDateBytes(const std::string& deviceDate);
// The date-derived unlock code of command 129; empty when the date cannot be read.
std::string certificateCode(const std::string& deviceDate);
// The bytes of one part of a device file (field 1 of 129 "1"): Base64, decoded leniently
// (characters outside the alphabet skipped, the first "=" ends it, padding optional).
std::string certificatePartBytes(const std::string& text);

struct TCertificateResult {
  std::string label;   // empty: the label keeps its text
  bool valid = false;  // green; otherwise dark red
};
// btnCheckCertificatesClick: unlocks the files, downloads both certificates and compares
// their MD5s. Errors after the first part of a file go to the status bar.
TCertificateResult checkCertificates(TDeviceOps& ops);
// The decision on the two downloaded files' MD5s (upper-case hex): valid only when both
// are the maker's.
TCertificateResult certificateVerdict(const std::string& rootMd5, const std::string& serverMd5);

}  // namespace kestrel
