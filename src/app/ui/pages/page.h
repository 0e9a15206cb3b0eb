#pragma once
// A page of the window: one room with its heading and its own widgets. The page only
// binds widgets to values and buttons to the page's device operations (app/logic);
// the shell gives it the device, the verdict and the shared operations.
#include <QWidget>
#include <functional>
#include <string>

#include "app/logic/param_bindings.h"

class QPushButton;
class QVBoxLayout;

namespace kestrel {

class TfmMainFBH;
class TDeviceOps;
class Tdm;

class TPage : public QWidget {
  Q_OBJECT

 public:
  TPage(TfmMainFBH& main, const char* objectName, const QString& title);

  // The page's read when it is shown and on F5; the pages with a read override it.
  virtual void read() {}
  // The connection opened or closed, or the model changed.
  virtual void modelChanged(int ecrModel) { (void)ecrModel; }

 protected:
  TfmMainFBH& main() const { return fMain; }
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
  // Connects `button` to runOperation(name, f).
  void onClick(QPushButton* button, const char* name, std::function<void()> f);

  // Moves values to and from this page's widgets. A page with values that are not one
  // widget each (lines of a list) places them itself.
  virtual void apply(const TPageValues& values);
  TPageValues collect(const TParamTable& table);
  // Runs a read that fills values as it goes and shows what it filled, also when it
  // stops at a refused command or throws. Returns the read's result.
  bool readAndApply(const std::function<bool(TPageValues&)>& read);

 private:
  TfmMainFBH& fMain;
  QVBoxLayout* fContent = nullptr;
};

}  // namespace kestrel
