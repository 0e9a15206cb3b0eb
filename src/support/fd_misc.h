#pragma once
// The helper component: text conversions for the device, the special-symbol notation,
// answer-field splitting and hexadecimal helpers; message dialogs, value, character
// and CSV helpers, the serial-port list; checksums, summer time, date texts, folders,
// the helper's log, files, processes and version information.
#include <cstdint>
#include <functional>
#include <istream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/com_ports.h"
#include "support/component.h"
#include "support/date_time.h"
#include "support/dialogs.h"
#include "support/dst.h"
#include "support/files.h"
#include "support/processes.h"

namespace kestrel {

// Raised by HexToLongWord for a non-hexadecimal character ("No Hex-Number").
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum TMiscDialogTypes { qstn_YesNo_FBtn = 0, qstn_YesNo_SBtn = 1, inf_OkBtn = 2 };
enum TPadCase { pcLeft = 0, pcRight = 1, pcCenter = 2 };
enum TPasswordScore { ps_Blank = 0, ps_VeryWeak = 1, ps_Weak = 2, ps_Medium = 3, ps_Strong = 4, ps_VeryStrong = 5 };
enum TSeekOrigin { soBeginning = 0, soCurrent = 1, soEnd = 2 };

// Codes of the CSV helpers.
inline constexpr int kErrCsvNotInFormat = -10529;  // "The CSV file is not in format ("";"";"";)"
inline constexpr int kErrCsvHeaderRow = -10530;    // "This is a header row."

// Text a user typed for the device, made ready to send: the special symbols resolved,
// or why it must not be sent.
struct TPreparedInput {
  std::string text;   // what to give customCommand ("" when refused)
  std::string error;  // "" when the text may be sent
  bool ok() const { return error.empty(); }
};

class TFDMisc : public TComponent {
 public:
  TFDMisc();
  ~TFDMisc() override;

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
  // For text the user typed: prepare_InputForSpecialSymbols, but an incomplete escape
  // sequence ("[1B!]"), a token that stands for no character ("[EUR]", "[\\41]") and data
  // longer than `maxBytes` in `codePage` (TFiscalDevice::maxDataBytes()) are refused with
  // a message instead of being dropped, cut or sent empty. Characters the code page
  // lacks are no error: codePageWarning (support/code_pages.h) names them.
  TPreparedInput prepareTypedInput(const std::string& typed, unsigned codePage, std::size_t maxBytes) const;
  std::string prepare_SpecialSymbol(const std::string& targetText) const;

  // --- answer fields ---
  // List form (used by the engine); null pointers give -1. The target's strings are
  // reused, so splitting many answers does not reallocate once capacity is there.
  int fillAnswerList(const std::string& sourceString, const std::vector<std::string>* delimiterList,
                     std::vector<std::string>* targetList) const;
  // Array form: case-insensitive delimiters; an empty array makes the whole source one field.
  int fillAnswerList(const std::string& sourceString, const std::vector<std::string>& delimiterArray,
                     std::vector<std::string>& targetList) const;

  // --- properties ---
  std::string Version() const { return "1.0.0.0"; }
  // Title of the dialogs called with an empty title.
  std::string myMessagesCaption;
  // Progress of sleep_ForMSec: sender and elapsed milliseconds.
  std::function<void(TFDMisc* sender, int64_t elapsedMSec)> OnWaitSleepFor;
  // Lets pending window events run during long waits (sleep_ForMSec, GetCRC32, a waited
  // myShellExecute); the window sets it, elsewhere it stays empty.
  std::function<void()> OnProcessMessages;
  // The dialogs shown by the dialog functions; defaultDialogs() (stderr) when none is set.
  Dialogs* dialogs() const { return fDialogs; }
  void set_Dialogs(Dialogs* value) { fDialogs = value; }
  // Owner window of the dialogs (0: the main window); changes how myInformation titles.
  void SetOwner_HWND(uintptr_t handle) { fOwnerHandle = handle; }
  uintptr_t OwnerHandle() const { return fOwnerHandle; }
  ComPortsCombo* comPortsCombo() const { return fComPortsCombo; }
  void set_comPortsCombo(ComPortsCombo* value);
  TComPortsUsage& comPortsUsage() { return *fComPortsUsage; }
  // Points the serial-port list at another sysfs tty folder and folder of stable
  // device names (tests).
  void set_ComPortsSysfsRoot(const std::string& sysClassTty, const std::string& serialById = "/dev/serial/by-id");

  // --- dialogs ---
  int myQuestion(const std::string& messageText, const std::string& messageCaption,
                 TMiscDialogTypes messageType) const;  // 6 Yes, 7 No
  bool myQuestion_Boolean(const std::string& messageText, const std::string& messageCaption,
                          TMiscDialogTypes messageType) const;
  void myAlert(const std::string& messageText, const std::string& messageCaption, TMiscDialogTypes messageType) const;
  void myInformation(const std::string& messageText, const std::string& messageCaption,
                     TMiscDialogTypes messageType) const;
  void show_MyAlert(const std::string& target_Message) const;
  void show_MyInfo(const std::string& target_Message) const;
  bool show_MyQuestion_Def_Yes(const std::string& target_Message) const;
  bool show_MyQuestion_Def_No(const std::string& target_Message) const;

  // --- selection ---
  int StrToCase_FullMatch(const std::string& Selector, const std::vector<std::string>& CaseList) const;
  int StrToCase_PosMatch(const std::string& Selector, const std::vector<std::string>& CaseList) const;

  // --- value splitting ---
  std::string get_Value_Before(std::string& source_String, const std::string& target_Delimiter,
                               bool delete_BeforeDelimiter) const;
  std::u16string get_Value_Before(std::u16string& source_String, const std::u16string& target_Delimiter,
                                  bool delete_BeforeDelimiter) const;
  std::string get_Value_Before(std::string& source_String, const std::string& target_Delimiter,
                               bool delete_BeforeDelimiter, const std::string& charactersForDelete) const;
  std::string get_Value_BetweenDelimiters(std::string& source_String, bool delete_Delimiter,
                                          bool delete_DataAfterDelimiter, const std::string& delimiter_Value1,
                                          const std::string& delimiter_Value2) const;
  bool it_IsDelimiter(const std::string& targetText, const std::vector<std::string>* delimiters) const;
  std::string get_FirstValue_AfterDelimiter(std::string& source_String, bool first_DelimiterIsEmpty,
                                            bool delete_Delimiter, bool delete_DataAfterDelimiter,
                                            const std::vector<std::string>* delimiters) const;
  int get_Values_AfterDelimiters(const std::string& source_String, bool first_DelimiterIsEmpty,
                                 const std::vector<std::string>* delimiters, std::vector<std::string>* values) const;

  // --- characters and numbers ---
  bool remove_NotDigitSymbols(std::string& Value) const;
  bool remove_SubString(const std::string& subString, std::string& Value) const;
  bool replace_Symbol(char32_t target_Symbol, char32_t replace_Symbol, std::string& Value) const;
  std::string replace_Symbol(const std::string& inputValue, char32_t target_Symbol, char32_t replace_Symbol) const;
  bool check_ForDot(const std::string& target_Value) const;
  bool check_ForDotPosition(const std::string& target_Value, int target_DigitsCount) const;
  bool set_DotPosition(std::string& target_Value, int target_DigitsCount) const;
  void setBitIntoInt(int index, int targetBitValue, int32_t& targetValue) const;
  std::string padString(const std::string& src_Value, const std::string& pad_Value, int pad_Count,
                        TPadCase pad_Case) const;
  bool check_For_DigitSymbols(const std::string& text) const;
  bool check_For_LowerSymbols(const std::string& text) const;
  bool check_For_UpperSymbols(const std::string& text) const;
  bool check_For_SpecialSymbols(const std::string& text) const;
  bool check_All_SymbolsAreDigits(const std::string& text) const;
  TPasswordScore check_PasswordStrength(const std::string& password) const;

  // --- CSV values ---
  std::string csv_This(const std::string& inputValue) const;
  int check_For_CSVStandart(const std::string& tmpSource, int len) const;
  std::string get_CSV_Value(std::string& sourceString, bool deleteSource) const;
  int fill_CSV_ToList(const std::string& sourceString, std::vector<std::string>* targetList) const;
  int fill_CSV_ToList(const std::string& sourceString, bool check_ForHeader, const std::string& first_HeaderValue,
                      const std::string& alt_HeaderValue, std::vector<std::string>* targetList) const;

  // --- serial ports ---
  bool fill_ComPortsCombo();

  // --- checksums and identifiers ---
  // Throws EFileError when the file cannot be opened; empty when reading it fails.
  std::string md5File(const std::string& fileName) const;
  std::string md5Bytes(std::istream* fs, int64_t Offset, TSeekOrigin Origin) const;
  std::string md5_UpperCase(const std::string& targetString) const;  // of the UTF-8 bytes
  std::string md5_LowerCase(const std::string& targetString) const;
  // "$" and 8 upper-case digits; throws EFileError when the file cannot be read.
  std::string GetCRC32(const std::string& fileName) const;
  std::string crc32_UpperCase(const std::string& fileName) const;  // empty on failure
  std::string crc32_LowerCase(const std::string& fileName) const;
  std::string get_UnicByMD5() const;
  std::string get_UnicByMD5(int sleep_MaxValue) const;
  std::string get_UnicByMD5_UP(bool toRandomize, int maxRandomValue) const;

  // --- summer time and date texts ---
  bool itIs_SummerDTFor(const LocalDateTime& targetDT) const;
  bool itIs_SummerDT() const;
  TDSTPeriod askWindowsForDST() const;
  std::string DateAndTimeToFilename() const;
  std::string Date_ToLogHeader(const LocalDateTime& DT) const;
  std::string Time_ToLogHeader(const LocalDateTime& DT) const;
  std::string get_YearFor_FName() const;
  std::string get_MonthFor_FName() const;
  std::string get_DayFor_FName() const;
  std::string get_HourFor_FName() const;
  std::string get_MinFor_FName() const;
  std::string get_SecFor_FName() const;
  bool set_LocalShits(char tDateSeparator, char tTimeSeparator, char tDecimalSeparator,
                      const std::string& tShortDateFormat, const std::string& tShortTimeFormat,
                      const std::string& tLongDateFormat, const std::string& tLongTimeFormat) const;

  // --- folders and log (paths use the platform separator "/") ---
  std::string checkForPathDelimiter(const std::string& targetPath) const;
  bool force_ThisFolder(const std::string& targetDir) const;
  bool set_LogFolder(const std::string& targetFolder, const std::string& specificSubFolder);
  bool set_PersonalFolder(const std::string& targetFolder, const std::string& specificSubFolder);
  bool set_SettingsFolder(const std::string& targetFolder, const std::string& specificSubFolder);
  std::string ApplicationFolder();  // the program file's folder; also stored
  const std::string& PersonalFolder() const { return fPersonalFolder; }
  const std::string& SettingsFolder() const { return fSettingsFolder; }
  const std::string& LogFolder() const { return fLogFolder; }
  const std::string& LogFile() const { return fLogFile; }
  bool set_LogFile();
  std::string get_LogFile() const;
  void log_Text(const std::string& targetText) const;  // throws EFileError
  void log_TextToFolder(const std::string& targetFolder, const std::string& targetFileName,
                        const std::string& targetText) const;  // throws EFileError

  // --- files and processes ---
  bool copy_AllFromTo(const std::string& sourcePath, const std::string& destinationPath,
                      const std::string& FileMask) const;
  bool delete_FilesFromDir(const std::string& Directory, const std::string& FileMask, bool DeleteSubDirs,
                           bool SilentOperation) const;
  bool startNewProcess(const std::string& targetApplication, const std::string& inputParameters,
                       const std::string& targetDir, ProcessInfo& processInfo) const;
  bool terminateProcess(ProcessInfo& targetProcess) const;
  bool myShellExecute(uintptr_t targetHandle, const std::string& targetOperation, const std::string& targetFileName,
                      const std::string& inputParameters, const std::string& targetDir, int showType,
                      bool bgErrorAnswer, bool waitTheExecutoin) const;
  bool connected_ToInternet() const;
  void sleep_ForMSec(int64_t targetMsec);

  // --- version information ---
  std::string get_AppVersionInfo(std::string& Major, std::string& Minor, std::string& Revision,
                                 std::string& Build) const;
  std::string get_VersionInfo_ForFile(const std::string& AFileName) const;
  std::string get_VersionInfo_ForFile(const std::string& AFileName, int& AMajor, int& AMinor, int& ARelease,
                                      int& ABuild, std::string& AFileDescription, std::string& md5Sum) const;

 protected:
  void Notification(TComponent* component) override;

 private:
  Dialogs& dialogsToUse() const { return fDialogs ? *fDialogs : defaultDialogs(); }
  bool setFolder(std::string& folder, const std::string& targetFolder, const std::string& specificSubFolder);

  Dialogs* fDialogs = nullptr;
  uintptr_t fOwnerHandle = 0;
  ComPortsCombo* fComPortsCombo = nullptr;
  std::unique_ptr<TComPortsUsage> fComPortsUsage;
  std::string fApplicationFolder = "./";
  std::string fPersonalFolder = "./";
  std::string fSettingsFolder = "./";
  std::string fLogFolder = "./";
  std::string fLogFile;
};

}  // namespace kestrel
