#pragma once
// The dialogs of the helper component as Qt message boxes, and the file choice
// behind a small interface so that tests can choose files.
#include <QString>
#include <deque>
#include <string>
#include <vector>

#include "support/dialogs.h"

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

class QtFileChooser : public FileChooser {
 public:
  explicit QtFileChooser(QWidget* parent = nullptr) : fParent(parent) {}
  std::string openFile(const std::string& title, const std::string& filter) override;
  std::string saveFile(const std::string& title, const std::string& filter, const std::string& suggestedName) override;

 private:
  QWidget* fParent;
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
