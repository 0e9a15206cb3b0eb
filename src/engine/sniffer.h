#pragma once
// The communication trace of one transport: the request and the answer of a command as
// hexadecimal text (header, data, footer), the data as text, a few values per packet,
// optional header texts, full rows, a log file and a settings file.
#include <cstdint>
#include <string>

#include "engine/engine_types.h"

namespace kestrel {

struct TSnifferValueRec {
  bool addToHeader = false;
  bool addDescriptionToHeader = false;
  std::string headerDescription;
  std::string toDeviceValue;
  std::string fromDeviceValue;
  uint32_t cColor = 0;
};

struct TSnifferValues {
  TSnifferValueRec cRepeatIndex, cCommand, cDateTime, cType, cHEX, cText;
};

struct TSnifferUIDRec {
  bool addToHeader = false;
  bool addDescriptionToHeader = false;
  std::string headerDescription;
  int64_t Value = 0;
  uint32_t cColor = 0;
};

struct TPacketValueRec {
  std::string toDeviceValue;
  std::string fromDevceValue;  // the name is spelled so
  uint32_t color = 0;
};

struct THexPacket {
  TPacketValueRec header, data, footer;
  uint32_t errorColor = 0, reqwestColor = 0, answerColor = 0;
};

struct TSnifferFull {
  std::string hex_ToDeviceRow, hex_FromDeviceRow, text_ToDeviceRow, text_FromDeviceRow;
};

struct TMyColors {
  uint32_t hexPacket_HeaderColor = 0, hexPacket_DataColor = 0, hexPacket_FooterColor = 0,
           hexPacket_ErrorColor = 0, hexPacket_ReqwestColor = 0, hexPacket_AnswerColor = 0,
           values_cTextColor = 0, values_cHEXColor = 0, values_cTypeColor = 0,
           values_cDateTimeColor = 0, values_cCommandColor = 0, values_cRepeatIndexColor = 0,
           unicID_Color = 0;
};

class TSniffer {
 public:
  TSniffer() = default;

  bool Active = false;
  bool calc_Header_ToDevice = false;
  bool calc_Header_FromDevice = false;
  bool calc_FullRows = false;

  bool saveToFile_isOn() const { return fSaveToFile_isOn; }
  void set_saveToFile_isOn(bool value);
  const std::string& logFileName() const { return fLogFileName; }
  void set_logFileName(const std::string& value);
  const std::string& logFolder() const { return fLogFolder; }
  void set_logFolder(const std::string& value);
  const std::string& settingsFolder() const { return fSettingsFolder; }
  void set_settingsFolder(const std::string& value);
  TSnifferFileFormats fileFormat = snif_TXT;
  std::string settingsFileName;

  std::string toDevice_HumanHexHeader, toDevice_HumanTextHeader;
  std::string fromDevice_HumanHexHeader, fromDevice_HumanTextHeader;

  TMyColors myColors;
  TSnifferUIDRec snifferUIDRec;
  TSnifferValues values;
  TSnifferFull full;
  THexPacket hexPacket;
  TSnifferByteCursor byteCursor = sbcHeader;

  void initSniffer();
  bool loadFromFile();
  bool saveToFile();
  void logThis(const std::string& targetText, bool withDateTime);
  // As logThis with date and time, stamped as snifferTimeStamp() writes them (the rows
  // the engine logs per packet carry milliseconds).
  void logRow(const std::string& targetText);
  void calculate_Headers(TDataDirection dataDirection);
  void calculate_FullRows(TDataDirection dataDirection);
  void setColorsFromMyColors();
  void saveColorsToMyColors();

  // Colours after an outcome: success restores the saved colours, failure puts the
  // error colour into the hex, text and data values.
  void markOutcome(bool success);

  // Copying from another trace copies Active only.
  void assign(const TSniffer& other) { Active = other.Active; }

 private:
  bool fSaveToFile_isOn = false;
  std::string fLogFileName;
  std::string fLogFolder;
  std::string fSettingsFolder;
};

// Date and time as the trace writes them: short date, a space, "hh:mm:ss:zzz".
std::string snifferTimeStamp();

}  // namespace kestrel
