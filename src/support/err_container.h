#pragma once
// The one place where the system keeps the last error: its code, its message in the
// current language, the working folders and the optional error log file.
#include <memory>
#include <string>

#include "support/component.h"
#include "support/error_catalogue.h"

namespace kestrel {

class TErrContainer;

enum class TLogFileFormats { txt = 0, csv = 1 };
enum TFolderTargetType { ftt_Unknown = 0, ftt_Log = 1, ftt_AppData = 2, ftt_RealApp = 3, ftt_Personal = 4 };

// The four working folders; every value ends in the path delimiter.
class TFolders {
 public:
  explicit TFolders(TErrContainer* owner);
  virtual ~TFolders() = default;
  TFolders(const TFolders&) = delete;
  TFolders& operator=(const TFolders&) = delete;

  virtual void Assign(const TFolders& source);
  virtual TErrContainer* GetOwner() const { return fOwner; }

  // `sourceFolder` with the path delimiter appended when it does not end in one.
  static std::string check_ForPathDelimiter(const std::string& sourceFolder);

  const std::string& Log() const { return fLog; }
  const std::string& AppData() const { return fAppData; }
  const std::string& RealApp() const { return fRealApp; }
  const std::string& Personal() const { return fPersonal; }
  void set_Log(const std::string& value) { fLog = check_ForPathDelimiter(value); }
  void set_AppData(const std::string& value) { fAppData = check_ForPathDelimiter(value); }
  void set_RealApp(const std::string& value) { fRealApp = check_ForPathDelimiter(value); }
  void set_Personal(const std::string& value) { fPersonal = check_ForPathDelimiter(value); }

 private:
  TErrContainer* fOwner;
  std::string fLog, fAppData, fRealApp, fPersonal;
};

// Results of the last access check of each folder.
class TAccessTo {
 public:
  explicit TAccessTo(TErrContainer* owner) : fOwner(owner) {}
  virtual ~TAccessTo() = default;
  TAccessTo(const TAccessTo&) = delete;
  TAccessTo& operator=(const TAccessTo&) = delete;
  virtual TErrContainer* GetOwner() const { return fOwner; }

  bool LogFolder() const { return fLogFolder; }
  bool AppDataFolder() const { return fAppDataFolder; }
  bool RealAppFolder() const { return fRealAppFolder; }
  bool PersonalFolder() const { return fPersonalFolder; }

  // Creates the folder when missing and proves it writable with a short-lived file.
  // Never throws.
  static bool check_AccessToFolder(const std::string& targetFolder);
  // Runs the check and stores the result in the flag that `folderTargetType` selects.
  bool check_AccessTo(const std::string& targetFolder, TFolderTargetType folderTargetType);

 private:
  TErrContainer* fOwner;
  bool fLogFolder = false, fAppDataFolder = false, fRealAppFolder = false, fPersonalFolder = false;
};

// Settings of the error log file.
class TLogFile {
 public:
  explicit TLogFile(TErrContainer* owner);
  virtual ~TLogFile() = default;
  TLogFile(const TLogFile&) = delete;
  TLogFile& operator=(const TLogFile&) = delete;

  virtual void Assign(const TLogFile& source);
  virtual TErrContainer* GetOwner() const { return fOwner; }

  std::string FileName;    // inside the log folder
  bool LogErrors = false;  // log every non-zero last error at once
  int CodePage = 1251;     // Windows code page the file is read and written in
  bool AppendFile = true;  // false: every entry starts a new file

  TLogFileFormats FileFormat() const { return fFileFormat; }
  // Renames FileName between ".txt" and ".csv".
  void set_FileFormat(TLogFileFormats value);
  int RowsCountLimitation() const { return fRowsCountLimitation; }
  // 0 means no cap; a negative value is stored as 0.
  void set_RowsCountLimitation(int value) { fRowsCountLimitation = value < 0 ? 0 : value; }

 private:
  TErrContainer* fOwner;
  TLogFileFormats fFileFormat = TLogFileFormats::txt;
  int fRowsCountLimitation = 2048;
};

class TErrContainer : public TComponent {
 public:
  TErrContainer();  // runs the creation steps
  ~TErrContainer() override;

  int LastErrorCode() const { return fLastErrorCode; }
  // Updates LastErrorMessage and, with LogErrors on, logs a non-zero code.
  void set_LastErrorCode(int code);
  // The same, with `detail` after the code's text ("Connection lost: 127.0.0.1:4999").
  // The detail stays with the message until the next code is set.
  void set_LastErrorCode(int code, const std::string& detail);
  const std::string& LastErrorMessage() const { return fLastErrorMessage; }
  TErrorLanguages Language() const { return fLanguage; }
  // Re-translates LastErrorMessage and picks the log file's code page.
  void set_Language(TErrorLanguages value);
  // Tells reporting components whether to raise (true) or return the code.
  bool RaiseMode = true;

  std::string get_ErrorMessageByCode(int errorCode) const;

  TFolders* Folders() { return fFolders.get(); }
  TAccessTo* AccessTo() { return fAccessTo.get(); }
  TLogFile* LogFile() { return fLogFile.get(); }
  const TFolders* Folders() const { return fFolders.get(); }
  const TAccessTo* AccessTo() const { return fAccessTo.get(); }
  const TLogFile* LogFile() const { return fLogFile.get(); }

  // These three never throw; false means a step failed.
  bool init_Folders();
  bool init_LogFile();
  bool check_FoldersForAccess();

  // Creates the log file, or empties it when it exists and `RewriteIfExist` is true.
  bool create_LogFile(bool RewriteIfExist);
  // Logging operations: false when the folder cannot be made or an old file cannot be
  // removed; an I/O failure throws, leaving the previous file in place.
  bool log_LastError();
  bool log_Message(const std::string& e_Message);
  bool log_MessageByCode(int errorCode);
  bool log_Exception_Ex(const std::string& target_Folder, const std::string& e_Message);

 private:
  // Appends one entry; `hasCode` selects the layout with the "ErrorCode:" piece.
  bool writeLogLine(const char* operation, const std::string& folder, bool hasCode, int code,
                    const std::string& message);

  std::unique_ptr<TFolders> fFolders;
  std::unique_ptr<TAccessTo> fAccessTo;
  std::unique_ptr<TLogFile> fLogFile;
  int fLastErrorCode = 0;
  std::string fLastErrorMessage;
  int fPreviousCode = 0;         // the code before the last change
  std::string fPreviousMessage;  // its message ("" when not known)
  std::string fDetail;           // the detail of the current message ("" for none)
  TErrorLanguages fLanguage = TErrorLanguages::English;
};

}  // namespace kestrel
