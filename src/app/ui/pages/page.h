#pragma once
// A page of the window: one room with its heading and its own widgets. The page only
// binds widgets to values and buttons to the page's device operations (app/logic);
// the shell gives it the device, the verdict and the shared operations.
#include <QStringList>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "app/logic/param_bindings.h"
#include "app/ui/core/widget_values.h"
#include "app/ui/pages/page_shell.h"

class QPushButton;
class QVBoxLayout;

namespace kestrel {

class TDeviceOps;
class TPageShell;
class TSettingsFile;
class Tdm;
struct TModelRow;
struct TPageFacts;
struct TPageRow;

class TPage : public QWidget {
  Q_OBJECT

 public:
  // The page's objectName, heading and read come from its row of the page table.
  TPage(TPageShell& shell, const TPageRow& row);

  // The page's read when it is shown and on F5; the pages with a read override it.
  virtual void read() {}

  // --- hooks: how the shell tells a page what happened, without knowing the page ---
  // The connection opened or closed, or the model changed.
  virtual void modelChanged(int ecrModel) { (void)ecrModel; }
  // SetConnected ran: the page's own controls that follow the connection.
  virtual void connectionChanged(bool connected) { (void)connected; }
  // Connected and identified, the page shown: what the page catches up on.
  virtual void connectionOpened() {}
  // A command found the link gone.
  virtual void connectionLost() {}
  // The identification recognised `row`.
  virtual void modelRecognised(const TModelRow& row) { (void)row; }
  // The window's first showing, after the settings file is known.
  virtual void startUp() {}
  // The window's settings file: what the page keeps there, read at start-up and
  // written on close. False: the save failed.
  virtual void restoreSession(TSettingsFile& file) { (void)file; }
  virtual bool saveSession(TSettingsFile& file) {
    (void)file;
    return true;
  }
  // The control enabling ran (`enabled` false: an operation of this page starts).
  virtual void controlsEnabled(bool enabled) { (void)enabled; }
  // What the control enabling needs to know of this page's widgets.
  virtual void pageFacts(TPageFacts& facts) const { (void)facts; }
  // The objectNames of the buttons the control enabling switches, in the order they
  // were registered.
  const std::vector<std::string>& switchedButtons() const { return fSwitched; }

  // --- unsaved edits: what the technician changed since the page's read or save ---
  // The values shown now are the device's (a read just ran).
  void markClean();
  // A save just ran: the values of the part of the page its button belongs to (the group
  // box around the clicked button; the whole page for a button outside any) are the
  // device's now. A page with two saves keeps the other part's edits as unsaved.
  void markSaved();
  // A page with a read shows values changed since then: showing it again would read
  // them away.
  bool hasUnsavedEdits() const;
  // The last read ended before it had every value (stopped, refused, timed out): the
  // values it did not reach are the page's own, not the device's.
  bool readIncomplete() const { return fReadIncomplete; }

  // An operation whose outcome shows nowhere else (a printout, a device function):
  // `text` in the status bar when it succeeded.
  void saySucceeded(const char* text, const std::function<bool()>& operation);

 protected:
  TPageShell& shell() const { return fShell; }
  // The name the page's read runs under (its row's read operation).
  const char* readOperation() const;
  TDeviceOps& ops() const;
  Tdm& dm() const;
  // Where the page puts its content, below the heading.
  QVBoxLayout* content() const { return fContent; }

  // The operation pattern: controls of the page off, `f`, an exception shown as
  // "Exception in method "name": ..." in a message box, controls on again on every way
  // out. Refused (nothing runs) while another operation runs.
  void runOperation(const char* name, const std::function<void()>& f);
  // The same without the control switching, for reads and small steps.
  void guarded(const char* name, const std::function<void()>& f);
  // The page's buttons are registered here, each once with what its click runs; the
  // registered buttons are the ones the control enabling switches while an operation of
  // the page runs (switchedButtons), except those registered Unswitched (file helpers,
  // validation, a stop control the page's rule sets).
  enum class TSwitching { Switched, Unswitched };
  // The click runs runOperation(name, f).
  void onClick(QPushButton* button, const char* name, std::function<void()> f,
               TSwitching switching = TSwitching::Switched);
  // The click runs guarded(name, f): the page's controls stay as they are.
  void onClickGuarded(QPushButton* button, const char* name, std::function<void()> f,
                      TSwitching switching = TSwitching::Switched);
  // The click runs `f`, which asks its questions or opens its menu and then runs its
  // operations itself.
  void onClickDirect(QPushButton* button, std::function<void()> f, TSwitching switching = TSwitching::Switched);

  // Moves values to and from this page's widgets. A page with values that are not one
  // widget each (lines of a list) places them itself.
  virtual void apply(const TPageValues& values);
  TPageValues collect(const TParamTable& table);
  // Runs a read that fills values as it goes and shows what it filled, also when it
  // stops at a refused command or throws. Returns the read's result.
  bool readAndApply(const std::function<bool(TPageValues&)>& read);
  // For a page that reads without readAndApply: whether its last read had every value.
  void set_ReadIncomplete(bool value) { fReadIncomplete = value; }
  // Before a save writes every value the page shows: true when the last read had them
  // all, or the technician answers Yes to writing the values shown anyway.
  bool mayWriteShownValues();

 private:
  TPageShell& fShell;
  const TPageRow& fRow;
  QVBoxLayout* fContent = nullptr;
  std::vector<std::string> fSwitched;
  void registerButton(QPushButton* button, TSwitching switching);
  TShownValues fCleanValues;
  bool fCleanKnown = false;
  bool fReadIncomplete = false;
  // The button whose click runs now (for the part of the page a save settles).
  QPushButton* fClicked = nullptr;
  std::function<void()> clicked(QPushButton* button, std::function<void()> f);
};

}  // namespace kestrel
