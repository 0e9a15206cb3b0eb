#pragma once
// The dialogs of the helper component as Qt message boxes, and the file choice
// behind a small interface so that tests can choose files.
#include <QString>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "support/dialogs.h"

class QDialog;
class QMessageBox;
class QWidget;

namespace kestrel {

class QtDialogs : public Dialogs {
 public:
  explicit QtDialogs(QWidget* parent = nullptr) : fParent(parent) {}
  void set_Parent(QWidget* parent) { fParent = parent; }
  DialogResult show(const DialogRequest& request) override;
  // Sets up `box` for `request`: title, text, buttons, and the icon of its kind (an
  // alert, the OK box without an icon of its own, is an error: the critical icon); the
  // box is wide enough for its whole title.
  static void prepare(QMessageBox& box, const DialogRequest& request);
  // The width a box needs so that the window manager does not cut `title`.
  static int titleWidth(const QString& title);
  // A text too long for a message box on a small screen (a list of changes or
  // messages): its first line above a scrolling area with the rest, a question's last
  // line below it, the buttons always in view. Null for a text that fits a message box.
  static std::unique_ptr<QDialog> longTextDialog(const DialogRequest& request, QWidget* parent);

 private:
  QWidget* fParent;
};

// File choice: an empty result means the user cancelled. `filter` is the platform form
// "Text files (*.txt)".
class FileChooser {
 public:
  virtual ~FileChooser() = default;
  virtual std::string openFile(const std::string& title, const std::string& filter) = 0;
  virtual std::string saveFile(const std::string& title, const std::string& filter,
                               const std::string& suggestedName) = 0;
};

// The Qt file dialogs; each opens in the folder of the file chosen last.
class QtFileChooser : public FileChooser {
 public:
  explicit QtFileChooser(QWidget* parent = nullptr) : fParent(parent) {}
  std::string openFile(const std::string& title, const std::string& filter) override;
  std::string saveFile(const std::string& title, const std::string& filter, const std::string& suggestedName) override;
  // Where a dialog starts: `folder` (empty: the current one) with the suggested name, a
  // name that is only an extension (".csv") left out.
  static QString startPath(const QString& folder, const std::string& suggestedName);

 private:
  std::string remember(const QString& chosen);
  QWidget* fParent;
  QString fFolder;
};

// Answers from a queue (an empty queue cancels) and records what was asked.
class ScriptedFileChooser : public FileChooser {
 public:
  std::string openFile(const std::string& title, const std::string& filter) override;
  std::string saveFile(const std::string& title, const std::string& filter, const std::string& suggestedName) override;
  std::deque<std::string> answers;
  std::vector<std::string> asked;  // titles, in order

 private:
  std::string next(const std::string& title);
};

}  // namespace kestrel
