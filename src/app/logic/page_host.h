#pragma once
// What a page's device operation needs from its surroundings. The window implements it
// with widgets, the command-line tool with the terminal, tests with a script. Dialogs
// (questions, information, alerts) go through the helper component's Dialogs.
#include <string>

namespace kestrel {

// What the range dialog (TfmSelect) gives back: its two edits as typed and, for an
// export, which of its radio buttons is checked.
struct TRangeChoice {
  std::string from = "1", to = "1";
  bool allItems = false, selectedInGrid = false;
};

class PageHost {
 public:
  virtual ~PageHost() = default;
  // Status bar panel 1 (the command verdict writes errors here while ShowErr is off).
  virtual void set_StatusText(const std::string& text) = 0;
  // A file to read or to write; empty when the user cancelled. `filter` is "txt|*.txt".
  virtual std::string openFileName(const std::string& title, const std::string& filter) = 0;
  virtual std::string saveFileName(const std::string& title, const std::string& filter,
                                   const std::string& suggestedName) = 0;
  // Progress of a long operation: shown with its range, moved, hidden again.
  virtual void progressShow(int minimum, int maximum) { (void)minimum, (void)maximum; }
  virtual void progressSet(int position) { (void)position; }
  virtual void progressHide() {}
  // Lets pending window events run between two commands of a long loop.
  virtual void processMessages() {}
  // The operation saved what the page shows in the device ("The data was saved in the
  // device." follows): the page has no unsaved edits any more.
  virtual void dataSaved() {}
  // The user asked a running loop to stop.
  virtual bool stopRequested() { return false; }
  // The caption the technician sees for the widget of this objectName (its form label or
  // its check box text); empty where there is none (the command line names keys).
  virtual std::string fieldCaption(const std::string& widget) {
    (void)widget;
    return {};
  }
  // The range dialog ("From:", "To:"; `withRadioButtons` shows "All items" and "Selected
  // in grid"). False: cancelled.
  virtual bool chooseRange(TRangeChoice& choice, bool withRadioButtons) {
    (void)choice, (void)withRadioButtons;
    return false;
  }
  // The number dialog: `text` comes in as the edit's first text and goes out as entered.
  // False: cancelled.
  virtual bool enterNumber(std::string& text) {
    (void)text;
    return false;
  }
};

// Shows the host's progress and hides it on every way out.
class ProgressScope {
 public:
  ProgressScope(PageHost& host, int minimum, int maximum) : fHost(host) { fHost.progressShow(minimum, maximum); }
  ~ProgressScope() { fHost.progressHide(); }
  ProgressScope(const ProgressScope&) = delete;
  ProgressScope& operator=(const ProgressScope&) = delete;

 private:
  PageHost& fHost;
};

// A host that shows nothing and chooses no files: for operations run without a window.
class NullPageHost : public PageHost {
 public:
  void set_StatusText(const std::string& text) override { statusText = text; }
  std::string openFileName(const std::string&, const std::string&) override { return {}; }
  std::string saveFileName(const std::string&, const std::string&, const std::string&) override { return {}; }
  std::string statusText;
};

}  // namespace kestrel
