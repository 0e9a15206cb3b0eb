#pragma once
// Modal message dialogs behind one small interface: the window shows Qt message boxes,
// the CLI writes to stderr, tests script the answers and inspect what was shown.
#include <deque>
#include <iosfwd>
#include <string>
#include <vector>

namespace kestrel {

enum class DialogButtons { Ok, YesNo };
enum class DialogIcon { None, Information, Question };

// Modal results, with the platform's values.
enum DialogResult : int { mrNone = 0, mrOk = 1, mrYes = 6, mrNo = 7 };

struct DialogRequest {
  std::string text;
  std::string title;
  DialogButtons buttons = DialogButtons::Ok;
  DialogResult defaultButton = mrOk;
  DialogIcon icon = DialogIcon::None;
  // The platform's standard information box: it carries its own title and `title` is
  // not shown.
  bool standardInformation = false;
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // Shows the dialog modally and returns the button pressed. May throw when the
  // platform fails to show it.
  virtual DialogResult show(const DialogRequest& request) = 0;
};

// Records every dialog and answers from a queue; with the queue empty it presses the
// default button, or throws when `strict` is set.
class ScriptedDialogs : public Dialogs {
 public:
  DialogResult show(const DialogRequest& request) override;

  void answer(DialogResult result) { answers.push_back(result); }

  std::deque<DialogResult> answers;
  std::vector<DialogRequest> shown;
  bool strict = false;
};

// Writes every dialog to a stream (stderr by default). Questions read a line from
// `input` when one is given ("y"/"yes" or "n"/"no", anything else is the default
// button), else they take the default button.
class StderrDialogs : public Dialogs {
 public:
  StderrDialogs();
  explicit StderrDialogs(std::ostream& output, std::istream* input = nullptr);
  DialogResult show(const DialogRequest& request) override;

 private:
  std::ostream* fOutput;
  std::istream* fInput;
};

// The dialogs used by helpers that were given none: a process-wide StderrDialogs.
Dialogs& defaultDialogs();

}  // namespace kestrel
