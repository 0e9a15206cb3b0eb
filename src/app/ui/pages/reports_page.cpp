#include "app/ui/pages/reports_page.h"

#include <QComboBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <iterator>

#include "app/logic/pages/reports.h"
#include "app/ui/core/form_helpers.h"

namespace kestrel {

namespace {

QLineEdit* rangeEdit(const char* name, int maxLength, QWidget* parent) {
  QLineEdit* e = textEdit(name, maxLength, parent);
  e->setText("1");
  e->setFixedWidth(e->fontMetrics().horizontalAdvance(QString(maxLength + 2, '0')) + 12);
  return e;
}

LocalDateTime dateOf(const QDateEdit* d) {
  const QDate date = d->date();
  return LocalDateTime{date.year(), date.month(), date.day(), 0, 0, 0, 0};
}

}  // namespace

TReportsPage::TReportsPage(TPageShell& shell, const TPageRow& pageRow) : TPage(shell, pageRow) {
  QGroupBox* dept = nullptr;
  QFormLayout* deptForm = formBox(this, "grpDeptReport", "Departments report", &dept);
  auto* btnDeptReport = pushButton("btnDeptReport", "Print", dept);
  deptForm->addRow(buttonRow({btnDeptReport}));

  QGroupBox* oper = nullptr;
  QFormLayout* operForm = formBox(this, "grpOperReport", "Operators report", &oper);
  edOperFrom = rangeEdit("edOperFrom", 2, oper);
  edOperTo = rangeEdit("edOperTo", 2, oper);
  chbxClearOperRegs = checkBox("chbxClearOperRegs", "Clear operators registers", oper);
  auto* btnPrintOperReport = pushButton("btnPrintOperReport", "Print", oper);
  operForm->addRow("From:", edOperFrom);
  operForm->addRow("To:", edOperTo);
  operForm->addRow(chbxClearOperRegs);
  operForm->addRow(buttonRow({btnPrintOperReport}));

  QGroupBox* plu = nullptr;
  QFormLayout* pluForm = formBox(this, "grpPLUReport", "Items report", &plu);
  edPLUFrom = rangeEdit("edPLUFrom", 4, plu);
  edPLUTo = rangeEdit("edPLUTo", 6, plu);
  cbxPLUReportType = choiceBox("cbxPLUReportType", entries(PLU_REPORT_KINDS), 0, plu);
  auto* btnPLUreport = pushButton("btnPLUreport", "Print", plu);
  pluForm->addRow("From PLU:", edPLUFrom);
  pluForm->addRow("To PLU:", edPLUTo);
  pluForm->addRow(cbxPLUReportType);
  pluForm->addRow(buttonRow({btnPLUreport}));

  QGroupBox* periodic = nullptr;
  fPeriodicForm = formBox(this, "grpPeriodicReport", "Periodic report", &periodic);
  cbxPeriodicRepType = choiceBox("cbxPeriodicRepType", entries(PERIODIC_REPORT_KINDS), 0, periodic);
  dtpPeriodicFrom = datePicker("dtpPeriodicFrom", periodic);
  dtpPeriodicTo = datePicker("dtpPeriodicTo", periodic);
  cbxPeriodicPLUType = choiceBox("cbxPeriodicPLUType", entries(PERIODIC_PLU_KINDS), 0, periodic);
  edPeriodicPLUFrom = rangeEdit("edPeriodicPLUFrom", 4, periodic);
  edPeriodicPLUTo = rangeEdit("edPeriodicPLUTo", 6, periodic);
  auto* btnPrintPeriodicRep = pushButton("btnPrintPeriodicRep", "Print", periodic);
  fPeriodicForm->addRow(cbxPeriodicRepType);
  fPeriodicForm->addRow("From date:", dtpPeriodicFrom);
  fPeriodicForm->addRow("To date:", dtpPeriodicTo);
  fPeriodicForm->addRow(cbxPeriodicPLUType);
  fPeriodicForm->addRow("From:", edPeriodicPLUFrom);
  fPeriodicForm->addRow("To:", edPeriodicPLUTo);
  fPeriodicForm->addRow(buttonRow({btnPrintPeriodicRep}));

  QGroupBox* groups = nullptr;
  QFormLayout* groupsForm = formBox(this, "grpItemGrpsReport", "Items group report", &groups);
  auto* btnItemGrpsReport = pushButton("btnItemGrpsReport", "Print", groups);
  groupsForm->addRow(buttonRow({btnItemGrpsReport}));

  // Two columns: the short groups left, the items and periodic reports right.
  content()->addLayout(sideBySide({column({dept, oper, groups}, this), column({plu, periodic}, this)}));

  cbxPeriodicRepTypeChange();
  connect(cbxPeriodicRepType, &QComboBox::currentIndexChanged, this, [this] {
    guarded("cbxPeriodicRepTypeChange", [this] { cbxPeriodicRepTypeChange(); });
  });
  onClick(btnDeptReport, "btnDeptReportClick", [this] { btnDeptReportClick(); });
  onClick(btnPrintOperReport, "btnPrintOperReportClick", [this] { btnPrintOperReportClick(); });
  onClick(btnPLUreport, "btnPLUreportClick", [this] { btnPLUreportClick(); });
  onClick(btnPrintPeriodicRep, "btnPrintPeriodicRepClick", [this] { btnPrintPeriodicRepClick(); });
  onClick(btnItemGrpsReport, "btnItemGrpsReportClick", [this] { btnItemGrpsReportClick(); });
}

void TReportsPage::cbxPeriodicRepTypeChange() {
  const bool pluItems = cbxPeriodicRepType->currentIndex() + 1 == PERIODIC_PLU_ITEMS;
  for (QWidget* w : std::initializer_list<QWidget*>{cbxPeriodicPLUType, edPeriodicPLUFrom, edPeriodicPLUTo})
    fPeriodicForm->setRowVisible(w, pluItems);
}

void TReportsPage::btnDeptReportClick() {
  saySucceeded(MSG_REPORT_PRINTED, [&] { return printDeptReport(ops()); });
}

void TReportsPage::btnItemGrpsReportClick() {
  saySucceeded(MSG_REPORT_PRINTED, [&] { return printItemGroupsReport(ops()); });
}

void TReportsPage::btnPrintOperReportClick() {
  saySucceeded(MSG_REPORT_PRINTED, [&] {
    return printOperReport(ops(), ss(edOperFrom->text()), ss(edOperTo->text()), chbxClearOperRegs->isChecked());
  });
}

void TReportsPage::btnPLUreportClick() {
  saySucceeded(MSG_REPORT_PRINTED, [&] {
    return printPLUReport(ops(), cbxPLUReportType->currentIndex(), ss(edPLUFrom->text()), ss(edPLUTo->text()));
  });
}

void TReportsPage::btnPrintPeriodicRepClick() {
  TPeriodicReport r;
  r.kind = cbxPeriodicRepType->currentIndex() + 1;
  r.from = dateOf(dtpPeriodicFrom);
  r.to = dateOf(dtpPeriodicTo);
  r.pluKind = cbxPeriodicPLUType->currentIndex() + 1;
  r.pluFrom = ss(edPeriodicPLUFrom->text());
  r.pluTo = ss(edPeriodicPLUTo->text());
  saySucceeded(MSG_REPORT_PRINTED, [&] { return printPeriodicReport(ops(), r); });
}

}  // namespace kestrel
