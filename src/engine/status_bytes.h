#pragma once
// The table of the 8 x 8 status bits an answer carries: use, state, descriptions and
// the error flags per check profile, with the read-only mirror objects the window shows.
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/engine_types.h"
#include "support/err_container.h"

namespace kestrel {

struct TBitStauts {
  bool currentState = false;
  bool inUse = true;
  bool itIsError_ForProduction = false;
  bool itIsError_ForDevelopmentAndTest = false;
  bool itIsError_ForService = false;
  bool itIsError_ForEndUser = false;
  std::string description_00, description_01, description_02;
};

using TStatuses = std::array<std::array<TBitStauts, 8>, 8>;

class TFPStatuses {
 public:
  TFPStatuses();

  const std::string& descriptionsFolder() const { return fDescriptionsFolder; }
  void set_descriptionsFolder(const std::string& folder);
  TStatusFileFormats fileFormat = sft_INI;
  int lastError = 0;
  int statusBytesCount() const { return fStatusBytesCount; }
  TStatuses statuses;
  TPacketFormat packetFormat() const { return fPacketFormat; }
  TTargetSize commandSize() const { return fCommandSize; }
  TTargetSize dataLengthSize() const { return fDataLengthSize; }
  TErrorChecking currentSBytesCase = ccEndUser;

  bool get_State(int byteIndex, int bitIndex) const;
  bool set_State(int byteIndex, int bitIndex, bool toValue);
  bool get_BitInUse(int byteIndex, int bitIndex) const;
  bool set_BitInUse(int byteIndex, int bitIndex, bool toValue);
  bool get_CheckingFor(int byteIndex, int bitIndex, TErrorChecking targetErrorCheckType) const;
  bool set_CheckingFor(int byteIndex, int bitIndex, TErrorChecking errorCheckType, bool toValue);
  bool get_Checking(int byteIndex, int bitIndex) const;  // flag of currentSBytesCase
  bool get_ByteInUse(int byteIndex) const;
  std::string get_Description(int byteIndex, int bitIndex) const;  // slot 1
  std::string get_Description(int byteIndex, int bitIndex, int languageIndex) const;
  bool set_Description(int byteIndex, int bitIndex, const std::string& toValue);  // all slots
  bool set_Description(int byteIndex, int bitIndex, int languageIndex, const std::string& toValue);
  void init_Statuses();
  bool set_StatusPacketFormat(TPacketFormat targetPacketFormat);
  bool loadFromFile(const std::string& targetFileName);
  bool saveToFile(const std::string& targetFileName);

 private:
  std::string fDescriptionsFolder;
  int fStatusBytesCount = 6;
  TPacketFormat fPacketFormat = protocol_Type1;
  TTargetSize fCommandSize = tsByte;
  TTargetSize fDataLengthSize = tsByte;
};

class TStatusBit {
 public:
  const std::string& TextDescription() const { return fTextDescription; }
  bool InUse() const { return fInUse; }
  bool CurrentState() const { return fCurrentState; }
  bool Error_ForProduction() const { return fError[ccProduction]; }
  bool Error_ForDevelopmentAndTest() const { return fError[ccDevelopmentAndTest]; }
  bool Error_ForService() const { return fError[ccService]; }
  bool Error_ForEndUser() const { return fError[ccEndUser]; }

 private:
  friend class TStatusBytes;
  std::string fTextDescription;
  bool fInUse = false;
  bool fCurrentState = false;
  std::array<bool, 4> fError{};
};

class TStatusByte {
 public:
  TStatusBit& Bit(int index) { return fBits[index]; }
  const TStatusBit& Bit(int index) const { return fBits[index]; }
  bool InUse = false;
  uint8_t Value = 0;  // raw status byte of the last answer

 private:
  std::array<TStatusBit, 8> fBits;
};

class TStatusBytes {
 public:
  TStatusBytes();
  int ByteCountInUse() const { return fStatuses.statusBytesCount(); }
  TErrorLanguages Language = TErrorLanguages::English;
  TStatusByte& Byte(int index) { return fBytes[index]; }
  const TStatusByte& Byte(int index) const { return fBytes[index]; }
  TFPStatuses& statuses() { return fStatuses; }
  const TFPStatuses& statuses() const { return fStatuses; }

  // Copies use, state, slot-1 description and flags from the table into the mirror.
  void refreshMirror();
  // Keeps the mirror bit's CurrentState in step with the table.
  void setMirrorState(int byteIndex, int bitIndex, bool value) { fBytes[byteIndex].Bit(bitIndex).fCurrentState = value; }

 private:
  TFPStatuses fStatuses;
  std::array<TStatusByte, 8> fBytes;
};

class TLowLevel {
 public:
  TLowLevel();
  TStatusBytes& statusBytes() { return fStatusBytes; }
  const TStatusBytes& statusBytes() const { return fStatusBytes; }
  TTargetSize commandSize() const { return fStatusBytes.statuses().commandSize(); }
  TTargetSize dataLengthSize() const { return fStatusBytes.statuses().dataLengthSize(); }
  TPacketFormat ProtocolType() const { return fStatusBytes.statuses().packetFormat(); }
  void set_ProtocolType(TPacketFormat value);  // sets the table's format and refreshes the mirror
  TErrorChecking errorCheckType() const { return fStatusBytes.statuses().currentSBytesCase; }
  void set_errorCheckType(TErrorChecking value) { fStatusBytes.statuses().currentSBytesCase = value; }
  const std::string& descriptionsFolder() const { return fStatusBytes.statuses().descriptionsFolder(); }
  void set_descriptionsFolder(const std::string& v) { fStatusBytes.statuses().set_descriptionsFolder(v); }
  TStatusFileFormats fileFormat() const { return fStatusBytes.statuses().fileFormat; }
  void set_fileFormat(TStatusFileFormats v) { fStatusBytes.statuses().fileFormat = v; }

  void init_Statuses();
  bool get_sBytesState(int byteIndex, int bitIndex) const;
  bool set_sBytesState(int byteIndex, int bitIndex, bool toValue);
  bool get_sBytesBitInUse(int byteIndex, int bitIndex) const;
  bool set_sBytesBitInUse(int byteIndex, int bitIndex, bool toValue);
  bool get_sBytesCheckingFor(int byteIndex, int bitIndex, TErrorChecking targetErrorCheckType) const;
  bool set_sBytesChecking(int byteIndex, int bitIndex, TErrorChecking errorCheckType, bool toValue);
  bool set_sBytesCheckingForAll(int byteIndex, int bitIndex, bool toValue);
  std::string get_sBytesDescription(int byteIndex, int bitIndex) const;
  std::string get_sBytesDescription(int byteIndex, int bitIndex, int languageIndex) const;
  bool set_sBytesDescription(int byteIndex, int bitIndex, const std::string& toValue);
  bool set_sBytesDescription(int byteIndex, int bitIndex, int languageIndex, const std::string& toValue);
  bool set_sBytesStatusPacketFormat(TPacketFormat targetPacketFormat);
  bool loadFromFile(const std::string& targetFileName);
  bool saveToFile(const std::string& targetFileName);

 private:
  TStatusBytes fStatusBytes;
};

// File helpers shared by the status description file and the trace's files.

// Text without the blanks and control characters at both ends.
std::string trimBlanks(const std::string& text);
// A working folder from a user value: the trimmed value with a trailing "/" when that
// folder exists or can be created, else empty. A blank value gives empty: the current
// directory is never used implicitly.
std::string prepareWorkFolder(const std::string& folder);
// A value for one INI line: CR and LF become blanks, so a value cannot start a new key.
std::string iniLineValue(std::string value);
// Writes the whole file through a temporary file (a failed write leaves the previous
// file intact); false on failure.
bool replaceFileContent(const std::string& path, const std::string& content);

}  // namespace kestrel
