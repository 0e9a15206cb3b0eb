#pragma once
// The main window: the page tree on the left, the page stack on the right, a two-panel
// status bar, and the operations every page shares (control enabling, command verdict,
// page refresh, connection state, the operation pattern). The pages live in their own
// classes (app/ui/pages).
#include <QMainWindow>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/logic/device_ops.h"
#include "app/logic/page_host.h"
#include "app/logic/settings_file.h"
#include "engine/fiscal_device.h"
#include "app/ui/core/qt_dialogs.h"
#include "app/ui/pages/page_shell.h"

class QLabel;
class QPushButton;
class QTimer;
class QScreen;
class QScrollArea;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace kestrel {

class Tdm;
class TPage;
struct TModelRow;

class TfmMainFBH : public QMainWindow, public TPageShell {
  Q_OBJECT

 public:
  // The window uses `dm` for its whole life; `dialogs` and `files` replace the Qt
  // message boxes and file dialogs (tests script them); null keeps the Qt ones.
  explicit TfmMainFBH(Tdm& dm, Dialogs* dialogs = nullptr, FileChooser* files = nullptr, QWidget* parent = nullptr);
  ~TfmMainFBH() override;

  Tdm& dm() override { return fDm; }
  TDeviceOps& ops() override { return fOps; }
  FileChooser& files() { return *fFiles; }

  // --- window state ---
  bool Connected() const override { return FConnected; }
  void SetConnected(bool Value) override;
  int MaxProgrammableKeys() const override { return FMaxProgrammableKeys; }
  int MaxProgrammablePLU() const { return fMaxProgrammablePLU; }
  bool ShowErr() const { return fOps.ShowErr(); }
  void set_ShowErr(bool value) { fOps.set_ShowErr(value); }
  bool DeleteItemsAFterZrep() const override { return FDeleteItemsAFterZrep; }
  void set_DeleteItemsAFterZrep(bool value) override { FDeleteItemsAFterZrep = value; }
  std::string msg_DataSavedToEcr;
  std::string msgAreUsure;
  int ecrModel() const { return fOps.ecrModel; }
  std::string APPDATA_FOLDER;
  std::string LOG_FOLDER;
  const std::string& logFolder() const override { return LOG_FOLDER; }
  // The test operator password of the recognised model (the Test receipts page's two
  // "Operator password:" fields take it).
  std::string testOperatorPassword;
  TSettingsFile* FIniSettingFile() const override { return fIniSettingFile.get(); }

  // --- shared operations ---
  void OpraviControlite(bool Value);
  bool StatusUpdate() { return fOps.StatusUpdate(); }
  void data_Refresh();
  void set_BitBtns(bool Value);
  void set_ModelControls();
  void set_errorBitsToFalse();
  void set_Model(const TModelRow* row) override;
  void connectionOpened() override;
  void runOperation(const char* name, const std::function<void()>& f) override;
  void guarded(const char* name, const std::function<void()>& f) override;
  // A page operation runs now (its controls are off; input is held off).
  bool operationRunning() const override { return fOperationDepth > 0; }
  // The engine waits for the device now: the status bar shows for what, and only its
  // "Cancel" button takes input.
  bool waiting() const { return fWaitShown; }
  // After a command that found the link gone: the window goes to its disconnected
  // state and says which connection was lost.
  void noticeLostConnection() override;
  // After a reconnect: back to the page shown when the link was lost, as it was (no
  // read). False when no link was lost since the last connection.
  bool returnToPageAtLoss() override;
  // One stop request for the running operation: the page's Stop, Escape and the wait's
  // "Cancel" all come here. The current command is abandoned and the loop ends before
  // its next command. Cleared when the next operation starts.
  void requestStop() override;
  void clearStopRequest();
  void addStopControl(QWidget* control) override { fStopControls.push_back(control); }

  // Shows a page by objectName and selects its tree node (the first one that opens it).
  void showPage(const std::string& page) override;
  std::string activePage() const override;
  // Selects node `flatIndex` of the tree (counted from 0 in flat order) without
  // running the page change.
  void selectTreeNode(int flatIndex) override;
  void set_TreeEnabled(bool on) override;
  TPage* page(const std::string& objectName) const override;
  // Replaces the read a page runs when shown (tests).
  void set_PageRead(const std::string& page, std::function<void()> read) { fReads[page] = std::move(read); }
  // Text of status bar panel 1.
  QString statusMessage() const override;
  void set_StatusMessage(const QString& text) override;

  bool checkSettingsSaved(bool saved) override;
  // Writes what the pages keep in the settings file and the window's place there.
  void saveSession();

  // --- PageHost ---
  void set_StatusText(const std::string& text) override;
  std::string openFileName(const std::string& title, const std::string& filter) override;
  std::string saveFileName(const std::string& title, const std::string& filter,
                           const std::string& suggestedName) override;
  void processMessages() override;
  bool stopRequested() override { return fStopRequest; }
  void dataSaved() override { fPageSaved = true; }
  std::string fieldCaption(const std::string& widget) override;

  // Start-up step of the first showing; runs once (also when called before show()).
  void FormShow();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FormCreate();
  void buildUi();
  void onTreeItem(QTreeWidgetItem* item, QTreeWidgetItem* previous);
  // Shows `w` and reads it (the current page may go: mayLeavePage).
  void enterPage(TPage* w);
  // The current page may go: it has no unsaved edits, or the technician lets them go.
  bool mayLeavePage();
  // After an operation that read or saved the page's values: they are the device's now.
  void settlePage();
  // `name` is the read of the page shown.
  bool readsActivePage(const char* name) const;
  void selectPageNode(const std::string& pageName);
  // The blank page shown instead of a register-only page says why.
  void explainBlankPage(const std::string& wanted);
  void getFolders();
  void applyFormats();
  void alertException(const char* method, const std::string& message);
  // What the frame adds to the inner size (a guess until the window is shown).
  QSize frameExtent() const;
  void applyScreenLimits(QScreen* screen);
  void restoreSession();
  // The wheel over a choice list or a number field steps it as the arrow keys would.
  bool wheelToKeys(QWidget* watched, int delta);

  Tdm& fDm;
  std::unique_ptr<QtDialogs> fQtDialogs;
  std::unique_ptr<QtFileChooser> fQtFiles;
  FileChooser* fFiles = nullptr;
  TDeviceOps fOps;
  std::unique_ptr<TSettingsFile> fIniSettingFile;
  std::map<std::string, std::function<void()>> fReads;
  std::map<std::string, TPage*> fPageByName;
  // In the order of the page table: the order the hooks run in.
  std::vector<TPage*> fPageList;
  bool FConnected = false;
  int FMaxProgrammableKeys = 0;
  int fMaxProgrammablePLU = 100000;
  bool FDeleteItemsAFterZrep = false;
  bool fShown = false;
  int fOperationDepth = 0;
  // Wheel turns not yet worth a step (touchpads send fractions of a notch).
  QWidget* fWheelTarget = nullptr;
  int fWheelRest = 0;

  QTreeWidget* fTree = nullptr;
  QStackedWidget* fPages = nullptr;
  QScrollArea* fPageScroll = nullptr;
  QLabel* fPanel0 = nullptr;
  QLabel* fPanel1 = nullptr;
  // The waiting model: the engine's idle hook lets events run; input other than the
  // Cancel button is held off meanwhile.
  void onEngineIdle(const TWaitState& state);
  void hideWait();
  bool isHeldOffInput(QObject* watched, QEvent* event) const;
  bool isStopControl(QObject* watched) const;
  QLabel* fWaitLabel = nullptr;
  QPushButton* fCancelWait = nullptr;
  QTimer* fWaitHide = nullptr;
  bool fWaitShown = false;
  bool fInIdle = false;
  bool fStopRequest = false;
  std::vector<QWidget*> fStopControls;
  // The running operation reads the page or said its data was saved: the page counts
  // as clean when the operation ends.
  bool fPageSettles = false;  // the operation read the page
  bool fPageSaved = false;    // it saved (a part of) the page
  // The page shown when the link was lost: the technician comes back to it, as typed.
  std::string fPageAtLoss;
};

}  // namespace kestrel
