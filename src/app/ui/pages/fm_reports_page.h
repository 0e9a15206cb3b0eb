#pragma once
// Fiscal memory reports: by date and time, by record number. The device prints.
#include "app/ui/pages/page.h"
#include "support/date_time.h"

class QDateEdit;
class QHBoxLayout;
class QLineEdit;
class QTimeEdit;

namespace kestrel {

// A date picker and a time picker (both at the current moment) side by side, as one
// form row; the journal page picks its period the same way.
struct TMomentPicker {
  TMomentPicker(const char* dateName, const char* timeName, QWidget* parent);
  LocalDateTime value() const;
  void setEnabled(bool on);
  // Moves both pickers into the group box that shows them.
  void moveTo(QWidget* parent);
  QDateEdit* date;
  QTimeEdit* time;
  QHBoxLayout* row;
};

class TFMReportsPage : public TPage {
  Q_OBJECT

 public:
  explicit TFMReportsPage(TfmMainFBH& main);
  void bbtnFMrepDateClick();
  void bbtnFMbyNumberClick();

 private:
  TMomentPicker fFrom, fTo;
  QLineEdit* edFMfromNum = nullptr;
  QLineEdit* edFMtoNum = nullptr;
};

}  // namespace kestrel
