#pragma once
#include <QDateTime>
// Fiscal memory reports: by date and time, by record number. The device prints.
#include "app/ui/pages/page.h"
#include "support/date_time.h"

class QDateEdit;
class QHBoxLayout;
class QLineEdit;
class QTimeEdit;

namespace kestrel {

// A date picker and a time picker side by side, as one form row; the journal page picks
// its period the same way. A period starts at the beginning of today and ends now: the
// pickers follow the clock (followNow, when the page is shown) until the user sets them.
struct TMomentPicker {
  TMomentPicker(const char* dateName, const char* timeName, QWidget* parent, bool startOfToday = false);
  void followNow();
  LocalDateTime value() const;
  void setEnabled(bool on);
  // Moves both pickers into the group box that shows them.
  void moveTo(QWidget* parent);
  QDateEdit* date;
  QTimeEdit* time;
  QHBoxLayout* row;

 private:
  QDateTime moment() const;
  bool fStartOfToday;
  QDateTime fSet;  // what followNow set last
};

class TFMReportsPage : public TPage {
  Q_OBJECT

 public:
  TFMReportsPage(TPageShell& shell, const TPageRow& row);
  void bbtnFMrepDateClick();
  void bbtnFMbyNumberClick();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  TMomentPicker fFrom, fTo;
  QLineEdit* edFMfromNum = nullptr;
  QLineEdit* edFMtoNum = nullptr;
};

}  // namespace kestrel
