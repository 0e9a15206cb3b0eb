#include "app/ui/pages/fm_reports_page.h"

#include <QDateEdit>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTimeEdit>

#include "app/logic/pages/fm_reports.h"
#include "app/logic/pages/reports.h"
#include "app/ui/core/form_helpers.h"

namespace kestrel {

TMomentPicker::TMomentPicker(const char* dateName, const char* timeName, QWidget* parent, bool startOfToday)
    : date(new QDateEdit(QDate::currentDate(), parent)),
      time(new QTimeEdit(QTime::currentTime(), parent)),
      row(new QHBoxLayout),
      fStartOfToday(startOfToday) {
  date->setObjectName(dateName);
  date->setDisplayFormat("dd.MM.yyyy");
  date->setCalendarPopup(true);
  // The device writes the year with two digits from 2000.
  date->setDateRange(QDate(2000, 1, 1), QDate(2099, 12, 31));
  time->setObjectName(timeName);
  time->setDisplayFormat("HH:mm:ss");
  row->addWidget(date);
  row->addWidget(time);
  row->addStretch(1);
  followNow();
}

QDateTime TMomentPicker::moment() const { return QDateTime(date->date(), time->time()); }

void TMomentPicker::followNow() {
  if (fSet.isValid() && moment() != fSet) return;  // the user's own choice stays
  const QDateTime now = QDateTime::currentDateTime();
  fSet = fStartOfToday ? QDateTime(now.date(), QTime(0, 0, 0)) : QDateTime(now.date(), now.time().addMSecs(-now.time().msec()));
  date->setDate(fSet.date());
  time->setTime(fSet.time());
}

LocalDateTime TMomentPicker::value() const {
  const QDate d = date->date();
  const QTime t = time->time();
  LocalDateTime dt;
  dt.year = d.year();
  dt.month = d.month();
  dt.day = d.day();
  dt.hour = t.hour();
  dt.minute = t.minute();
  dt.second = t.second();
  return dt;
}

void TMomentPicker::setEnabled(bool on) {
  date->setEnabled(on);
  time->setEnabled(on);
}

void TMomentPicker::moveTo(QWidget* parent) {
  date->setParent(parent);
  time->setParent(parent);
}

TFMReportsPage::TFMReportsPage(TPageShell& shell, const TPageRow& pageRow)
    : TPage(shell, pageRow),
      fFrom("dtpFMfromDate", "dtpFMfromTime", this, true),
      fTo("dtpFMtoDate", "dtpFMtoTime", this) {
  QGroupBox* byDate = nullptr;
  QFormLayout* dateForm = formBox(this, "grpFMbyDate", "Fiscal report by date", &byDate);
  fFrom.moveTo(byDate);
  fTo.moveTo(byDate);
  dateForm->addRow("From:", fFrom.row);
  dateForm->addRow("To:", fTo.row);
  auto* bbtnFMrepDate = pushButton("bbtnFMrepDate", "Print", byDate);
  dateForm->addRow(buttonRow({bbtnFMrepDate}));

  QGroupBox* byNumber = nullptr;
  QFormLayout* numberForm = formBox(this, "grpFMbyNumber", "Fiscal report by number", &byNumber);
  edFMfromNum = textEdit("edFMfromNum", 0, byNumber);
  edFMtoNum = textEdit("edFMtoNum", 0, byNumber);
  for (QLineEdit* e : {edFMfromNum, edFMtoNum}) {
    e->setText("1");
    e->setFixedWidth(e->fontMetrics().horizontalAdvance(QString(12, '0')) + 16);
  }
  numberForm->addRow("From:", edFMfromNum);
  numberForm->addRow("To:", edFMtoNum);
  auto* bbtnFMbyNumber = pushButton("bbtnFMbyNumber", "Print", byNumber);
  numberForm->addRow(buttonRow({bbtnFMbyNumber}));

  auto* row = new QHBoxLayout;
  row->addWidget(byDate);
  row->addWidget(byNumber);
  row->addStretch(1);
  content()->addLayout(row);
  onClick(bbtnFMrepDate, "bbtnFMrepDateClick", [this] { bbtnFMrepDateClick(); });
  onClick(bbtnFMbyNumber, "bbtnFMbyNumberClick", [this] { bbtnFMbyNumberClick(); });
}

void TFMReportsPage::showEvent(QShowEvent* event) {
  fFrom.followNow();
  fTo.followNow();
  TPage::showEvent(event);
}

void TFMReportsPage::bbtnFMrepDateClick() {
  saySucceeded(MSG_REPORT_PRINTED, [&] { return printFMReportByDate(ops(), fFrom.value(), fTo.value()); });
}

void TFMReportsPage::bbtnFMbyNumberClick() {
  saySucceeded(MSG_REPORT_PRINTED,
               [&] { return printFMReportByNumber(ops(), ss(edFMfromNum->text()), ss(edFMtoNum->text())); });
}

}  // namespace kestrel
