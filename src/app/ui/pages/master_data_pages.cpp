#include "app/ui/pages/master_data_pages.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>
#include <set>

#include "app/logic/pages/master_data.h"
#include "app/logic/pages/then_always.h"
#include "app/ui/core/dm.h"
#include "app/ui/core/form_helpers.h"
#include "app/ui/core/widget_values.h"
#include "app/ui/tables/mem_table_model.h"

namespace kestrel {

TGridPage::TGridPage(TPageShell& shell, const TPageRow& pageRow, const TGridPageLayout& layout)
    : TPage(shell, pageRow), fLayout(layout), fDef(*findMasterTable(layout.cliName)), fTable(fDef.tableName) {
  fDef.prepare(fTable);
  fModel = new TMemTableModel(fTable, this);
  fModel->onRefused = [this](const std::string& message) { dm().misc.show_MyAlert(message); };
  fTable.AfterPost = [this](TMemTable&) { fModel->refresh(); };
  fTable.AfterDelete = [this](TMemTable&) { fModel->reset(); };

  fGrid = memTableGrid(layout.grid, fModel, this, QAbstractItemView::SelectRows,
                       layout.multiSelect ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection, 8);
  fGrid->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  fGrid->verticalHeader()->hide();  // every table has its number column
  fGrid->installEventFilter(this);

  auto* readButton = pushButton(layout.readButton, "Read", this);
  auto* saveButton = pushButton(layout.saveButton, "Save", this);
  auto* column = new QVBoxLayout;
  column->addWidget(fGrid);
  if (layout.hint) {
    auto* hint = new QLabel(layout.hint, this);
    hint->setObjectName(QString(layout.grid) + "_hint");
    column->addWidget(hint);
  }
  column->addLayout(buttonRow({readButton, saveButton}));
  auto* row = new QHBoxLayout;
  row->addLayout(column);
  row->addStretch(1);
  content()->addLayout(row);
  fitColumns();

  onClick(readButton, layout.readClick, [this] { readTable(); });
  if (layout.saveKeepsControls)
    onClickGuarded(saveButton, layout.saveClick, [this] { saveTable(); });
  else
    onClick(saveButton, layout.saveClick, [this] { saveTable(); });
}

void TGridPage::read() { runOperation(readOperation(), [this] { readTable(); }); }

void TGridPage::readTable() {
  // The grid holds the device's rows now, also after a read that stopped early.
  const auto read = always([this] { markClean(); });
  {
    TMemTableModel::Update detached(*fModel);
    fDef.read(ops(), fTable, shell().MaxProgrammableKeys());
  }
  fitColumns();
  if (fTable.RecordCount() > 0) fGrid->setCurrentIndex(fModel->index(0, 0));
}

void TGridPage::saveTable() {
  TMemTableModel::Update detached(*fModel);
  fDef.save(ops(), fTable);
}

void TGridPage::fitColumns() {
  fGrid->resizeColumnsToContents();
  int width = 2 * fGrid->frameWidth() + fGrid->verticalScrollBar()->sizeHint().width();
  const int charWidth = fGrid->fontMetrics().averageCharWidth();
  for (int c = 0; c < fModel->columnCount(); ++c) {
    // Short numbers under a short title still get room to be typed into; a name column
    // room for most of its characters.
    const TFieldDef& f = fTable.field(c);
    const int typed = f.kind == TFieldKind::Text ? charWidth * std::min(f.size, 28) : 64;
    fGrid->setColumnWidth(c, std::max(fGrid->columnWidth(c) + 12, typed));
    width += fGrid->columnWidth(c);
  }
  fGrid->setMaximumWidth(width);
  fGrid->setMinimumWidth(std::min(width, 740));
  // A short list gets a grid of its own height, a long one most of the page.
  int height = 2 * fGrid->frameWidth() + fGrid->horizontalHeader()->sizeHint().height() +
               std::max(fTable.RecordCount(), 4) * fGrid->verticalHeader()->defaultSectionSize();
  if (width > 740) height += fGrid->horizontalScrollBar()->sizeHint().height();
  fGrid->setFixedHeight(std::min(height, 580));
}

void TGridPage::deleteSelectedRows() {
  std::set<int, std::greater<>> rows;
  for (const QModelIndex& i : fGrid->selectionModel()->selectedIndexes()) rows.insert(i.row());
  if (rows.empty() && fGrid->currentIndex().isValid()) rows.insert(fGrid->currentIndex().row());
  TMemTableModel::Update detached(*fModel);
  for (int r : rows) fTable.deleteRow(r);
}

// Ctrl+Delete removes the selected rows from the grid (the device is changed only by
// "Save").
bool TGridPage::eventFilter(QObject* watched, QEvent* event) {
  if (watched == fGrid && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Delete && (key->modifiers() & Qt::ControlModifier)) {
      guarded("DeleteRows", [this] { deleteSelectedRows(); });
      return true;
    }
  }
  return TPage::eventFilter(watched, event);
}

TStockGroupsPage::TStockGroupsPage(TPageShell& shell, const TPageRow& pageRow)
    : TGridPage(shell, pageRow,
                {"stock-groups", "dbgStockGrps", "btnReadStock", "btnSaveStock", "btnReadStockClick", "btnSaveStockClick"}) {}

TDepartmentsPage::TDepartmentsPage(TPageShell& shell, const TPageRow& pageRow)
    : TGridPage(shell, pageRow,
                {"departments", "dbgDepartments", "btnReadDept", "bbtnSetDept", "btnReadDeptClick", "bbtnSetDeptClick", true}) {}

TPaymentsPage::TPaymentsPage(TPageShell& shell, const TPageRow& pageRow)
    : TGridPage(shell, pageRow,
                {"payments", "dbgPayments", "bbtnReadPayment", "bbtnSavePayment", "bbtnReadPaymentClick", "bbtnSavePaymentClick", true, nullptr, true}) {}

TOperatorsPage::TOperatorsPage(TPageShell& shell, const TPageRow& pageRow)
    : TGridPage(shell, pageRow,
                {"operators", "dbgOperators", "bbtnReadOper", "bbtnSaveOper", "bbtnReadOperClick", "bbtnSaveOperClick"}) {}

TKeysPage::TKeysPage(TPageShell& shell, const TPageRow& pageRow)
    : TGridPage(shell, pageRow,
                {"keys", "dbgDKeys", "bbtnReadDkeys", "bbtnSaveDkeys", "bbtnReadDkeysClick",
                 "bbtnSaveDkeysClick", true, "To multi-select, use \"Ctrl\" and left click"}) {}

// ---- Discount / Surcharge keys ----

TCorrectionsPage::TCorrectionsPage(TPageShell& shell, const TPageRow& pageRow)
    : TPage(shell, pageRow) {
  auto edit = [](const char* name, QWidget* parent) {
    QLineEdit* e = textEdit(name, 9, parent);
    e->setMaximumWidth(110);
    return e;
  };
  QGroupBox* surchargeBox = nullptr;
  QFormLayout* surcharge = formBox(this, "grpSurcharge", "Surcharge key", &surchargeBox);
  auto* disableSurcharge = checkBox(WIDGET_DISABLE_SURCHARGE, "Disable surcharge key", surchargeBox);
  surcharge->addRow(disableSurcharge);
  surcharge->addRow("Surcharge %:", edit(WIDGET_SURCHARGE_PERCENT, surchargeBox));
  surcharge->addRow("Surcharge sum:", edit(WIDGET_SURCHARGE_SUM, surchargeBox));

  QGroupBox* discountBox = nullptr;
  QFormLayout* discount = formBox(this, "grpDiscount", "Discount key", &discountBox);
  auto* disableDiscount = checkBox(WIDGET_DISABLE_DISCOUNT, "Disable discount key", discountBox);
  discount->addRow(disableDiscount);
  discount->addRow("Discount %:", edit(WIDGET_DISCOUNT_PERCENT, discountBox));
  discount->addRow("Discount sum:", edit(WIDGET_DISCOUNT_SUM, discountBox));

  auto* btnReadCorrections = pushButton("btnReadCorrections", "Read", this);
  auto* btnSaveCorrections = pushButton("btnSaveCorrections", "Save", this);
  content()->addLayout(twoColumns(surchargeBox, discountBox, {btnReadCorrections, btnSaveCorrections}));

  for (QCheckBox* box : {disableSurcharge, disableDiscount})
    connect(box, &QCheckBox::toggled, this, [this] { enableEdits(); });
  // Both operations leave the page's controls as they are.
  onClickGuarded(btnReadCorrections, "btnReadCorrectionsClick", [this] { readCorrections(); });
  onClickGuarded(btnSaveCorrections, "btnSaveCorrectionsClick", [this] { btnSaveCorrectionsClick(); });
}

void TCorrectionsPage::read() { guarded("readCorrections", [this] { readCorrections(); }); }

void TCorrectionsPage::readCorrections() {
  readAndApply([this](TPageValues& v) { return kestrel::readCorrections(ops(), v); });
}

void TCorrectionsPage::btnSaveCorrectionsClick() {
  if (mayWriteShownValues()) saveCorrections(ops(), collect(correctionsTable()));
}

void TCorrectionsPage::apply(const TPageValues& values) {
  TPage::apply(values);
  enableEdits();
}

void TCorrectionsPage::enableEdits() {
  const bool surcharge = !findChild<QCheckBox*>(WIDGET_DISABLE_SURCHARGE)->isChecked();
  const bool discount = !findChild<QCheckBox*>(WIDGET_DISABLE_DISCOUNT)->isChecked();
  findChild<QLineEdit*>(WIDGET_SURCHARGE_PERCENT)->setEnabled(surcharge);
  findChild<QLineEdit*>(WIDGET_SURCHARGE_SUM)->setEnabled(surcharge);
  findChild<QLineEdit*>(WIDGET_DISCOUNT_PERCENT)->setEnabled(discount);
  findChild<QLineEdit*>(WIDGET_DISCOUNT_SUM)->setEnabled(discount);
}

}  // namespace kestrel
