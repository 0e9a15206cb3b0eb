#include "app/ui/pages/cliche_page.h"

#include <QDateEdit>
#include <QDateTime>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "app/logic/device_ops.h"
#include "app/ui/core/dm.h"
#include "app/ui/core/form_helpers.h"
#include "app/ui/tables/mem_table_model.h"

namespace kestrel {

TClichePage::TClichePage(TPageShell& shell, const TPageRow& pageRow) : TPage(shell, pageRow) {
  fHeaderModel = new TMemTableModel(dm().fdmt_Header, this);
  fFooterModel = new TMemTableModel(dm().fdmt_Footer, this);
  for (TMemTableModel* m : {fHeaderModel, fFooterModel}) {
    m->setColumnTitle(0, "ID");
    m->onRefused = [this](const std::string& message) { dm().misc.show_MyAlert(message); };
    // The operations fill the tables; the grids follow every change.
    m->table().AfterPost = [m](TMemTable&) { m->refresh(); };
  }

  // Header and footer lines.
  auto* lines = new QGroupBox("Header and footer", this);
  lines->setObjectName("grpCliche");
  auto* linesBox = new QVBoxLayout(lines);
  pgcCliche = new QTabWidget(lines);
  pgcCliche->setObjectName("pgcCliche");
  dbgHeader = linesGrid("dbgHeader", fHeaderModel);
  dbgFooter = linesGrid("dbgFooter", fFooterModel);
  pgcCliche->addTab(dbgHeader, "Header");
  pgcCliche->addTab(dbgFooter, "Footer");
  pgcCliche->setCurrentIndex(0);
  auto* btnReadClishe = pushButton("btnReadClishe", "Read", lines);
  auto* bbtnSetCliche = pushButton("bbtnSetCliche", "Save", lines);
  auto* bbtnExportCliche = pushButton("bbtnExportCliche", "Export...", lines);
  auto* bbtnImportCliche = pushButton("bbtnImportCliche", "Import...", lines);
  linesBox->addWidget(pgcCliche);
  linesBox->addLayout(buttonRow({btnReadClishe, bbtnSetCliche, bbtnExportCliche, bbtnImportCliche}));
  content()->addWidget(lines);

  // Device clock.
  QGroupBox* clock = nullptr;
  QFormLayout* clockForm = formBox(this, "grpDateTime", "Date and time", &clock);
  dtpDate = new QDateEdit(clock);
  dtpDate->setObjectName("dtpDate");
  dtpDate->setDisplayFormat("dd.MM.yyyy");
  dtpDate->setCalendarPopup(true);
  dtpTime = new QTimeEdit(clock);
  dtpTime->setObjectName("dtpTime");
  dtpTime->setDisplayFormat("HH:mm:ss");
  auto* bbtnGetDatePC = pushButton("bbtnGetDatePC", "Datetime from PC", clock);
  auto* bbtnGetDateECR = pushButton("bbtnGetDateECR", "Datetime from device", clock);
  auto* bbtnSetDateECR = pushButton("bbtnSetDateECR", "Save datetime", clock);
  clockForm->addRow("Date:", dtpDate);
  clockForm->addRow("Time:", dtpTime);
  QHBoxLayout* clockButtons = buttonRow({bbtnGetDatePC, bbtnGetDateECR, bbtnSetDateECR});
  clockButtons->setSpacing(8);
  clockForm->addRow(clockButtons);
  showDateTime(LocalDateTime::now());

  QGroupBox* diagnostic = nullptr;
  QFormLayout* diagnosticForm = formBox(this, "grpDiagnostic", "Device", &diagnostic);
  auto* bbtnPrintDiag1 = pushButton("bbtnPrintDiag1", "Print diagnostic", diagnostic);
  diagnosticForm->addRow(bbtnPrintDiag1);

  auto* row = new QHBoxLayout;
  row->addWidget(clock, 0, Qt::AlignTop);
  row->addWidget(diagnostic, 0, Qt::AlignTop);
  row->addStretch(1);
  content()->addLayout(row);

  onClick(btnReadClishe, "readCliche", [this] { readCliche(); });
  onClick(bbtnSetCliche, "bbtnSetClicheClick", [this] { bbtnSetClicheClick(); });
  onClick(bbtnGetDatePC, "bbtnGetDatePCClick", [this] { bbtnGetDatePCClick(); });
  onClick(bbtnGetDateECR, "bbtnGetDateECRClick", [this] { bbtnGetDateECRClick(); });
  onClick(bbtnSetDateECR, "bbtnSetDateECRClick", [this] { bbtnSetDateECRClick(); });
  onClick(bbtnExportCliche, "bbtnExportClicheClick", [this] { bbtnExportClicheClick(); });
  onClick(bbtnImportCliche, "bbtnImportClicheClick", [this] { bbtnImportClicheClick(); });
  onClick(bbtnPrintDiag1, "bbtnPrintDiag2Click", [this] { bbtnPrintDiag2Click(); });
}

TClichePage::~TClichePage() {
  // The data module outlives the window: its tables must not call into this page.
  dm().fdmt_Header.AfterPost = nullptr;
  dm().fdmt_Footer.AfterPost = nullptr;
}

QTableView* TClichePage::linesGrid(const char* name, TMemTableModel* model) {
  auto* grid = memTableGrid(name, model, pgcCliche, QAbstractItemView::SelectItems,
                            QAbstractItemView::SingleSelection, 8);
  grid->verticalHeader()->hide();
  grid->horizontalHeader()->setStretchLastSection(true);
  // All ten lines in view, below a title row of about the same height (the header has
  // no sections yet to measure).
  const int rowHeight = grid->fontMetrics().height() + 8;
  grid->setMinimumHeight((CLICHE_LINES + 1) * rowHeight + 2 * grid->frameWidth() + 8);
  return grid;
}

void TClichePage::showEvent(QShowEvent* event) {
  TPage::showEvent(event);
  // The tables get their fields and rows after the page is built (the window's first
  // showing).
  for (QTableView* g : {dbgHeader, dbgFooter}) {
    auto* m = static_cast<TMemTableModel*>(g->model());
    if (g->horizontalHeader()->count() == m->table().fieldCount() &&
        g->verticalHeader()->count() == m->table().RecordCount())
      continue;
    m->reset();
    g->setColumnWidth(0, 56);
  }
}

void TClichePage::read() { runOperation(readOperation(), [this] { readCliche(); }); }

TClicheTables TClichePage::tables() const { return {dm().fdmt_Header, dm().fdmt_Footer}; }

LocalDateTime TClichePage::pickedDateTime() const {
  const QDate d = dtpDate->date();
  const QTime t = dtpTime->time();
  return LocalDateTime{d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), 0};
}

void TClichePage::showDateTime(const LocalDateTime& dt) {
  dtpDate->setDate(QDate(dt.year, dt.month, dt.day));
  dtpTime->setTime(QTime(dt.hour, dt.minute, dt.second));
}

void TClichePage::readCliche() {
  LocalDateTime clock = pickedDateTime();  // kept when the clock cannot be read
  set_ReadIncomplete(true);  // also when the read throws
  set_ReadIncomplete(!kestrel::readCliche(ops(), tables(), clock));
  showDateTime(clock);
}

void TClichePage::bbtnSetClicheClick() {
  if (mayWriteShownValues()) saveCliche(ops(), tables());
}

void TClichePage::bbtnGetDatePCClick() { showDateTime(LocalDateTime::now()); }

void TClichePage::bbtnGetDateECRClick() {
  LocalDateTime clock;
  if (readDeviceDateTime(ops(), clock)) showDateTime(clock);
}

void TClichePage::bbtnSetDateECRClick() { saveDeviceDateTime(ops(), pickedDateTime()); }

void TClichePage::bbtnExportClicheClick() { exportCliche(ops(), tables()); }

void TClichePage::bbtnImportClicheClick() { importCliche(ops(), tables()); }

void TClichePage::bbtnPrintDiag2Click() { printDiagnostic(ops()); }

}  // namespace kestrel
