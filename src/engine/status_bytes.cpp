#include "engine/status_bytes.h"

// Text stays UTF-8, so no wide-character converter; Debian ships the template bodies
// behind SI_IMPLEMENTATION.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <filesystem>
#include <system_error>

#include "support/caught.h"
#include "support/files.h"

namespace kestrel {

namespace fs = std::filesystem;

// ---------------------------------------------------------------- file helpers

std::string trimBlanks(const std::string& text) {
  std::size_t b = 0, e = text.size();
  while (b < e && static_cast<unsigned char>(text[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(text[e - 1]) <= ' ') --e;
  return text.substr(b, e - b);
}

std::string prepareWorkFolder(const std::string& folder) {
  const std::string value = trimBlanks(folder);
  if (value.empty()) return {};
  std::error_code ec;
  if (!fs::is_directory(value, ec)) {
    fs::create_directories(value, ec);
    if (!fs::is_directory(value, ec)) return {};
  }
  return value.back() == '/' ? value : value + '/';
}

std::string iniLineValue(std::string value) {
  for (char& c : value)
    if (c == '\r' || c == '\n') c = ' ';
  return value;
}

bool replaceFileContent(const std::string& path, const std::string& content) {
  try {
    writeFileAtomically(path, content);
    return true;
  } catch (const std::exception& e) {
    reportCaught("replaceFileContent", e);
    return false;
  }
}

// ---------------------------------------------------------------- TFPStatuses

namespace {

std::string bitName(int byteIndex, int bitIndex) {
  return "Bit[" + std::to_string(byteIndex) + "," + std::to_string(bitIndex) + "]";
}

// Description file path: the folder + the file name part with the extension ".ini".
// Empty when there is no folder to put it in.
std::string descriptionFilePath(const std::string& folder, const std::string& targetFileName) {
  if (folder.empty()) return {};
  fs::path name = fs::path(targetFileName).filename();
  if (name.empty() || name == "." || name == "..") return {};
  name.replace_extension(".ini");
  return folder + name.string();
}

}  // namespace

TFPStatuses::TFPStatuses() { init_Statuses(); }

void TFPStatuses::set_descriptionsFolder(const std::string& folder) {
  if (trimBlanks(folder).empty()) return;
  fDescriptionsFolder = prepareWorkFolder(folder);
}

bool TFPStatuses::get_State(int byteIndex, int bitIndex) const { return statuses[byteIndex][bitIndex].currentState; }

bool TFPStatuses::set_State(int byteIndex, int bitIndex, bool toValue) {
  statuses[byteIndex][bitIndex].currentState = toValue;
  return true;
}

bool TFPStatuses::get_BitInUse(int byteIndex, int bitIndex) const { return statuses[byteIndex][bitIndex].inUse; }

bool TFPStatuses::set_BitInUse(int byteIndex, int bitIndex, bool toValue) {
  statuses[byteIndex][bitIndex].inUse = toValue;
  return true;
}

namespace {
template <class Bit>
auto& errorFlag(Bit& bit, TErrorChecking profile) {
  switch (profile) {
    case ccProduction: return bit.itIsError_ForProduction;
    case ccDevelopmentAndTest: return bit.itIsError_ForDevelopmentAndTest;
    case ccService: return bit.itIsError_ForService;
    case ccEndUser: break;
  }
  return bit.itIsError_ForEndUser;
}

template <class Bit>
auto& descriptionSlot(Bit& bit, int languageIndex) {
  switch (languageIndex) {
    case 1: return bit.description_01;
    case 2: return bit.description_02;
    default: return bit.description_00;
  }
}
}  // namespace

bool TFPStatuses::get_CheckingFor(int byteIndex, int bitIndex, TErrorChecking targetErrorCheckType) const {
  return errorFlag(statuses[byteIndex][bitIndex], targetErrorCheckType);
}

bool TFPStatuses::set_CheckingFor(int byteIndex, int bitIndex, TErrorChecking errorCheckType, bool toValue) {
  errorFlag(statuses[byteIndex][bitIndex], errorCheckType) = toValue;
  return true;
}

bool TFPStatuses::get_Checking(int byteIndex, int bitIndex) const {
  return get_CheckingFor(byteIndex, bitIndex, currentSBytesCase);
}

bool TFPStatuses::get_ByteInUse(int byteIndex) const {
  if (byteIndex >= 0 && byteIndex <= 5) return true;
  if (byteIndex == 6 || byteIndex == 7) return fPacketFormat == protocol_Type2;
  return false;
}

std::string TFPStatuses::get_Description(int byteIndex, int bitIndex) const {
  return statuses[byteIndex][bitIndex].description_01;
}

std::string TFPStatuses::get_Description(int byteIndex, int bitIndex, int languageIndex) const {
  return descriptionSlot(statuses[byteIndex][bitIndex], languageIndex);
}

bool TFPStatuses::set_Description(int byteIndex, int bitIndex, const std::string& toValue) {
  TBitStauts& bit = statuses[byteIndex][bitIndex];
  bit.description_00 = bit.description_01 = bit.description_02 = toValue;
  return true;
}

bool TFPStatuses::set_Description(int byteIndex, int bitIndex, int languageIndex, const std::string& toValue) {
  descriptionSlot(statuses[byteIndex][bitIndex], languageIndex) = toValue;
  return true;
}

void TFPStatuses::init_Statuses() {
  for (int b = 0; b < 8; ++b)
    for (int i = 0; i < 8; ++i) {
      TBitStauts& bit = statuses[b][i];
      bit.inUse = true;
      bit.currentState = false;
      bit.itIsError_ForProduction = bit.itIsError_ForDevelopmentAndTest = false;
      bit.itIsError_ForService = bit.itIsError_ForEndUser = false;
      set_Description(b, i, "Status bit[" + std::to_string(b) + "," + std::to_string(i) + "]");
    }
}

bool TFPStatuses::set_StatusPacketFormat(TPacketFormat targetPacketFormat) {
  fPacketFormat = targetPacketFormat;
  const bool type2 = targetPacketFormat == protocol_Type2;
  fStatusBytesCount = type2 ? 8 : 6;
  fCommandSize = fDataLengthSize = type2 ? tsWord : tsByte;
  return true;
}

bool TFPStatuses::loadFromFile(const std::string& targetFileName) {
  lastError = 0;
  const std::string path = fileFormat == sft_INI ? descriptionFilePath(fDescriptionsFolder, targetFileName) : "";
  CSimpleIniA ini(true);
  ini.SetQuotes(true);
  std::error_code ec;
  // A missing or unreadable file must not overwrite the table with placeholder texts.
  if (path.empty() || !fs::is_regular_file(path, ec) || ini.LoadFile(path.c_str()) < 0) {
    lastError = codes::STATUS_FILE;
    return false;
  }
  for (int b = 0; b < fStatusBytesCount; ++b)
    for (int i = 0; i < 8; ++i) {
      const std::string name = bitName(b, i);
      set_CheckingFor(b, i, ccEndUser, ini.GetBoolValue("CheckForError", (name + ".Check").c_str(), false));
      set_Description(b, i, 0,
                      ini.GetValue("Descriptions", (name + ".Description").c_str(), ("Meaning of " + name).c_str()));
    }
  return true;
}

bool TFPStatuses::saveToFile(const std::string& targetFileName) {
  if (fileFormat != sft_INI) return false;
  const std::string path = descriptionFilePath(fDescriptionsFolder, targetFileName);
  if (path.empty()) return false;
  CSimpleIniA ini(true);
  ini.SetQuotes(true);
  ini.SetSpaces(false);
  std::error_code ec;
  // Other sections and keys of an existing file are kept.
  if (fs::exists(path, ec) && ini.LoadFile(path.c_str()) < 0) return false;
  for (int b = 0; b < fStatusBytesCount; ++b)
    for (int i = 0; i < 8; ++i) {
      const std::string name = bitName(b, i);
      // Each bit's own end-user flag, so that loading the file gives the same table back.
      ini.SetValue("CheckForError", (name + ".Check").c_str(), get_CheckingFor(b, i, ccEndUser) ? "1" : "0");
      ini.SetValue("Descriptions", (name + ".Description").c_str(), iniLineValue(get_Description(b, i)).c_str());
    }
  std::string content;
  if (ini.Save(content) < 0) return false;
  return replaceFileContent(path, content);
}

// ---------------------------------------------------------------- TStatusBytes

TStatusBytes::TStatusBytes() { refreshMirror(); }

void TStatusBytes::refreshMirror() {
  for (int b = 0; b < 8; ++b) {
    TStatusByte& byte = fBytes[b];
    byte.InUse = fStatuses.get_ByteInUse(b);
    for (int i = 0; i < 8; ++i) {
      TStatusBit& bit = byte.Bit(i);
      const TBitStauts& src = fStatuses.statuses[b][i];
      bit.fInUse = src.inUse;
      bit.fCurrentState = src.currentState;
      bit.fTextDescription = src.description_01;
      bit.fError = {src.itIsError_ForProduction, src.itIsError_ForDevelopmentAndTest, src.itIsError_ForService,
                    src.itIsError_ForEndUser};
    }
  }
}

// ---------------------------------------------------------------- TLowLevel

TLowLevel::TLowLevel() = default;

void TLowLevel::set_ProtocolType(TPacketFormat value) {
  fStatusBytes.statuses().set_StatusPacketFormat(value);
  fStatusBytes.refreshMirror();
}

void TLowLevel::init_Statuses() {
  fStatusBytes.statuses().init_Statuses();
  fStatusBytes.refreshMirror();
}

bool TLowLevel::get_sBytesState(int byteIndex, int bitIndex) const {
  return fStatusBytes.statuses().get_State(byteIndex, bitIndex);
}

bool TLowLevel::set_sBytesState(int byteIndex, int bitIndex, bool toValue) {
  fStatusBytes.statuses().set_State(byteIndex, bitIndex, toValue);
  fStatusBytes.setMirrorState(byteIndex, bitIndex, toValue);
  return true;
}

bool TLowLevel::get_sBytesBitInUse(int byteIndex, int bitIndex) const {
  return fStatusBytes.statuses().get_BitInUse(byteIndex, bitIndex);
}

bool TLowLevel::set_sBytesBitInUse(int byteIndex, int bitIndex, bool toValue) {
  return fStatusBytes.statuses().set_BitInUse(byteIndex, bitIndex, toValue);
}

bool TLowLevel::get_sBytesCheckingFor(int byteIndex, int bitIndex, TErrorChecking targetErrorCheckType) const {
  return fStatusBytes.statuses().get_CheckingFor(byteIndex, bitIndex, targetErrorCheckType);
}

bool TLowLevel::set_sBytesChecking(int byteIndex, int bitIndex, TErrorChecking errorCheckType, bool toValue) {
  return fStatusBytes.statuses().set_CheckingFor(byteIndex, bitIndex, errorCheckType, toValue);
}

bool TLowLevel::set_sBytesCheckingForAll(int byteIndex, int bitIndex, bool toValue) {
  for (TErrorChecking p : {ccProduction, ccDevelopmentAndTest, ccService, ccEndUser})
    fStatusBytes.statuses().set_CheckingFor(byteIndex, bitIndex, p, toValue);
  return true;
}

std::string TLowLevel::get_sBytesDescription(int byteIndex, int bitIndex) const {
  return fStatusBytes.statuses().get_Description(byteIndex, bitIndex);
}

std::string TLowLevel::get_sBytesDescription(int byteIndex, int bitIndex, int languageIndex) const {
  return fStatusBytes.statuses().get_Description(byteIndex, bitIndex, languageIndex);
}

bool TLowLevel::set_sBytesDescription(int byteIndex, int bitIndex, const std::string& toValue) {
  return fStatusBytes.statuses().set_Description(byteIndex, bitIndex, toValue);
}

bool TLowLevel::set_sBytesDescription(int byteIndex, int bitIndex, int languageIndex, const std::string& toValue) {
  return fStatusBytes.statuses().set_Description(byteIndex, bitIndex, languageIndex, toValue);
}

bool TLowLevel::set_sBytesStatusPacketFormat(TPacketFormat targetPacketFormat) {
  return fStatusBytes.statuses().set_StatusPacketFormat(targetPacketFormat);
}

bool TLowLevel::loadFromFile(const std::string& targetFileName) {
  return fStatusBytes.statuses().loadFromFile(targetFileName);
}

bool TLowLevel::saveToFile(const std::string& targetFileName) {
  return fStatusBytes.statuses().saveToFile(targetFileName);
}

}  // namespace kestrel
