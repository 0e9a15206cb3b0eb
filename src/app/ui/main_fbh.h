#pragma once
// The main window: the page tree on the left, the active page on the right, a
// two-panel status bar; the shared operations every page uses (control enabling,
// command verdict, page refresh) and the connection, settings and custom command pages.
#include <QMainWindow>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "app/logic/settings_file.h"
#include "app/ui/qt_dialogs.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace kestrel {

class Tdm;
class TComPortsBox;

class TfmMainFBH : public QMainWindow {
  Q_OBJECT

 public:
  // The window uses `dm` for its whole life; `dialogs` and `files` replace the Qt
  // message boxes and file dialogs (tests script them); null keeps the Qt ones.
  explicit TfmMainFBH(Tdm& dm, Dialogs* dialogs = nullptr, FileChooser* files = nullptr, QWidget* parent = nullptr);
  ~TfmMainFBH() override;

  Tdm& dm() { return fDm; }
  FileChooser& files() { return *fFiles; }

  // --- window state ---
  bool Connected() const { return FConnected; }
  void SetConnected(bool Value);
  int MaxProgrammableKeys() const { return FMaxProgrammableKeys; }
  int MaxProgrammablePLU() const { return fMaxProgrammablePLU; }
  bool ShowErr() const { return FShowErr; }
  void set_ShowErr(bool value) { FShowErr = value; }
  bool DeleteItemsAFterZrep() const { return FDeleteItemsAFterZrep; }
  std::string msg_DataSavedToEcr;
  std::string msgAreUsure;
  int PopActionItems = 0;
  int ecrModel = 0;
  std::string APPDATA_FOLDER;
  std::string LOG_FOLDER;
  bool Working = false;
  bool Stop_read = false;
  bool Stop_read_klen = false;
  bool loadingSettings = false;
  // The test operator password of the recognised model (the Test receipts page's two
  // "Operator password:" fields take it).
  std::string testOperatorPassword;
  TSettingsFile* FIniSettingFile() const { return fIniSettingFile.get(); }

  // --- shared operations ---
  void OpraviControlite(bool Value);
  bool StatusUpdate();
  void data_Refresh();
  void set_BitBtns(bool Value);
  void set_ModelControls();
  void set_StatusBitCaptions();
  void set_errorBitsToFalse();
  void ArticlesControls();
  void ClientsControls();
  // Shows a page by objectName and selects its tree node (the first one that opens it).
  void showPage(const std::string& page);
  std::string activePage() const;
  // Registers the read a page runs when shown (data_Refresh).
  void set_PageRead(const std::string& page, std::function<void()> read) { fReads[page] = std::move(read); }
  // Text of status bar panel 1.
  QString statusMessage() const;
  void set_StatusMessage(const QString& text);

  // --- connection (Connect page) ---
  void btnConnectClick();
  void chbxTCPClick();
  bool connectFP();
  bool connectFPcmd90();
  void destroyFP();
  // Fills the Connect page for TCP/IP at address and port (the embedded simulator).
  void presetTCP(const std::string& address, uint16_t port);

  // --- settings ---
  void loadSettings();
  void saveSettings();

  // --- custom command ---
  void bbtnExecuteClick();

  // Start-up step of the first showing; runs once (also when called before show()).
  void FormShow();

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FormCreate();
  void buildUi();
  QWidget* buildConnectPage();
  QWidget* buildStatusPage();
  QWidget* buildCustomPage();
  QWidget* buildSettingsPage();
  QWidget* buildTitlePage(const char* page, const char* title);
  void onTreeItem(QTreeWidgetItem* item);
  void showStatusBits();
  void getFolders();
  void applyFormats();
  void alertException(const char* method, const std::string& message);
  // Every handler ends here: an exception becomes the alert text of the method.
  template <class F>
  void guarded(const char* method, F&& f);
  void chbxSettingDelItemsZClick();
  void edDelFromPLUChange();
  void edDelToPLUChange();
  void edDelServPassChange();

  Tdm& fDm;
  std::unique_ptr<QtDialogs> fQtDialogs;
  std::unique_ptr<QtFileChooser> fQtFiles;
  FileChooser* fFiles = nullptr;
  std::unique_ptr<TSettingsFile> fIniSettingFile;
  std::unique_ptr<TComPortsBox> fComPorts;
  std::map<std::string, std::function<void()>> fReads;
  bool FConnected = false;
  int FMaxProgrammableKeys = 0;
  int fMaxProgrammablePLU = 100000;
  bool FShowErr = true;
  bool FDeleteItemsAFterZrep = false;
  bool fShown = false;

  QTreeWidget* fTree = nullptr;
  QStackedWidget* fPages = nullptr;
  QLabel* fPanel0 = nullptr;
  QLabel* fPanel1 = nullptr;
  // Connect page
  QComboBox* cbxCOM = nullptr;
  QComboBox* cbxSPEED = nullptr;
  QCheckBox* chbxTCP = nullptr;
  QLineEdit* edIPaddr = nullptr;
  QLineEdit* edPort = nullptr;
  QPushButton* btnConnect = nullptr;
  // Status page
  QGroupBox* fByteBoxes[8] = {};
  QCheckBox* fBits[8][8] = {};
  // Custom command page
  QLineEdit* ed_CMD = nullptr;
  QLineEdit* ed_INP_STR = nullptr;
  QLineEdit* ed_HEXINPUT = nullptr;
  QLineEdit* ed_OUTPUT = nullptr;
  QLineEdit* ed_HEXOUTPUT = nullptr;
  QPushButton* bbtnExecute = nullptr;
  // Settings page
  QCheckBox* chbxSettingDelItemsZ = nullptr;
  QLineEdit* edDelFromPLU = nullptr;
  QLineEdit* edDelToPLU = nullptr;
  QLineEdit* edDelServPass = nullptr;
};

}  // namespace kestrel
