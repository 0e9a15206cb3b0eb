#pragma once
// What a page sees of the window around it. The main window implements it; a page never
// includes the window, so pages and shell each change on their own, and the shell
// reaches a page only through TPage's hooks.
#include <QString>
#include <functional>
#include <string>

#include "app/logic/page_host.h"

class QWidget;

namespace kestrel {

class TDeviceOps;
class TPage;
class TSettingsFile;
class Tdm;
struct TModelRow;


class TPageShell : public PageHost {
 public:
  virtual Tdm& dm() = 0;
  virtual TDeviceOps& ops() = 0;

  // --- the operation pattern ---
  // Controls of the current page off, `f`, an exception shown as "Exception in method
  // "name": ...", controls on again on every way out. Nothing runs while another
  // operation runs.
  virtual void runOperation(const char* name, const std::function<void()>& f) = 0;
  // Runs `f`; an exception becomes the alert "Exception in method "name": ...".
  virtual void guarded(const char* name, const std::function<void()>& f) = 0;
  virtual bool operationRunning() const = 0;
  // The one stop request of the running operation (stopRequested() reads it).
  virtual void requestStop() = 0;
  // A control that stops the running operation: it takes input also while the engine
  // waits, when everything else is held off.
  virtual void addStopControl(QWidget* control) = 0;
  // After a command that found the link gone: the window goes to its disconnected state.
  virtual void noticeLostConnection() = 0;

  // --- the connection ---
  virtual bool Connected() const = 0;
  virtual void SetConnected(bool Value) = 0;
  // The model recognised by the identification (null: a model not in the table).
  virtual void set_Model(const TModelRow* row) = 0;
  // The link is open and the model known: the pages that follow a connection catch up.
  virtual void connectionOpened() = 0;
  // Back to the page shown when the link was lost; false when none was.
  virtual bool returnToPageAtLoss() = 0;

  // --- pages and the status bar ---
  virtual void showPage(const std::string& objectName) = 0;
  virtual std::string activePage() const = 0;
  // Selects node `flatIndex` of the tree without running the page change.
  virtual void selectTreeNode(int flatIndex) = 0;
  // The page tree takes clicks (a long loop turns it off while it runs).
  virtual void set_TreeEnabled(bool on) = 0;
  virtual TPage* page(const std::string& objectName) const = 0;
  virtual QString statusMessage() const = 0;
  virtual void set_StatusMessage(const QString& text) = 0;

  // --- what the window keeps for all pages ---
  virtual TSettingsFile* FIniSettingFile() const = 0;
  // Reports a failed save of the settings file in the status bar; returns `saved`.
  virtual bool checkSettingsSaved(bool saved) = 0;
  virtual const std::string& logFolder() const = 0;
  virtual int MaxProgrammableKeys() const = 0;
  virtual bool DeleteItemsAFterZrep() const = 0;
  virtual void set_DeleteItemsAFterZrep(bool value) = 0;
};

}  // namespace kestrel
