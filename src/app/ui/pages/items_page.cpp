#include "app/ui/pages/items_page.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTableView>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <set>

#include "app/logic/code_page_check.h"
#include "app/logic/device_ops.h"
#include "app/logic/mem_table.h"
#include "app/logic/pages/items_csv.h"
#include "app/logic/pages/then_always.h"
#include "app/ui/core/dm.h"
#include "app/ui/core/form_helpers.h"
#include "app/ui/core/progress_host.h"
#include "app/ui/dialogs/numbers_dialog.h"
#include "app/ui/dialogs/select_dialog.h"
#include "app/ui/tables/mem_table_model.h"

namespace kestrel {

// The page's progress bar without a repaint per row (the loops pace the events
// themselves), "Stop" through the window's stop request, and the item dialogs.
class TItemsHost : public TPageProgressHost {
 public:
  TItemsHost(TPageShell& shell, TItemsPage& page, QProgressBar* bar, QWidget* buttons)
      : TPageProgressHost(shell, bar), fMain(shell), fPage(page), fButtons(buttons) {}

  void progressShow(int minimum, int maximum) override {
    bar()->setRange(minimum, std::max(minimum, maximum));
    bar()->setValue(minimum);
  }
  void progressSet(int position) override { bar()->setValue(std::min(position, bar()->maximum())); }
  void processMessages() override {
    // Every 30 ms: the window repaints and "Stop" responds, and a loop over 100,000 rows
    // does not spend its time in the event loop.
    if (fClock.isValid() && fClock.elapsed() < 30) return;
    fMain.processMessages();
    fClock.restart();
  }
  bool stopRequested() override { return fMain.stopRequested(); }
  bool chooseRange(TRangeChoice& choice, bool withRadioButtons) override {
    TfmSelect dialog(fPage.window(), withRadioButtons, [this](const std::string& text, const std::string& title) {
      fMain.dm().misc.myAlert(text, title, inf_OkBtn);
    });
    if (dialog.exec() != QDialog::Accepted) return false;
    choice = dialog.choice();
    // The range is known here, just before the save sends it.
    if (fPage.PopActionItems == popSave) {
      try {
        const int64_t from = rangeNumber(choice.from), to = rangeNumber(choice.to);
        fPage.warnCodePage([&](int64_t plu) { return plu >= from && plu <= to; });
      } catch (const std::exception&) {
        // A range that is no number is refused by the save itself.
      }
    }
    return true;
  }
  bool enterNumber(std::string& text) override {
    TfmNumbers dialog(&fPage);
    dialog.edit()->setText(qs(text));
    dialog.adjustSize();
    dialog.move(fButtons->mapToGlobal(QPoint(3, -46)));
    if (dialog.exec() != QDialog::Accepted) return false;
    text = ss(dialog.edit()->text());
    return true;
  }

 private:
  TPageShell& fMain;
  TItemsPage& fPage;
  QWidget* fButtons;
  QElapsedTimer fClock;
};

TItemsPage::TItemsPage(TPageShell& shell, const TPageRow& pageRow)
    : TPage(shell, pageRow), fTable(shell.dm().fdmt_Articles) {
  prepareArticlesTable(fTable);
  fModel = new TMemTableModel(fTable, this);
  fModel->onRefused = [this](const std::string& message) { dm().misc.show_MyAlert(message); };
  fGrid = memTableGrid("dbg_Articles", fModel, this, QAbstractItemView::SelectRows,
                       QAbstractItemView::ExtendedSelection, 6);
  fGrid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  fGrid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  fGrid->setAlternatingRowColors(true);
  fGrid->installEventFilter(this);
  const int charWidth = fGrid->fontMetrics().averageCharWidth();
  const int widths[] = {8, 5, 28, 11, 7, 10, 11, 11, 11, 11, 15, 15, 15, 15};
  for (int c = 0; c < 14; ++c) fGrid->setColumnWidth(c, widths[c] * charWidth + 12);
  // A 13-digit EAN whole: digits are wider than the average character.
  const int ean = fGrid->fontMetrics().horizontalAdvance(QString(13, '8')) + 2 * fGrid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 16;
  for (int c = 10; c < 14; ++c) fGrid->setColumnWidth(c, std::max(fGrid->columnWidth(c), ean));

  fProgress = new QProgressBar(this);
  fProgress->setObjectName("pbItems");
  fProgress->setRange(1, 1);
  fProgress->setTextVisible(false);
  fProgress->setMaximumHeight(12);

  fButtons = new QWidget(this);
  fButtons->setObjectName("pnlItemsButtons");
  fRead = pushButton("bbtnReadItems", "Read...", fButtons);
  fSave = pushButton("bbtnSendItems", "Save...", fButtons);
  fDelete = pushButton("bbtnDelete", "Delete...", fButtons);
  fClear = pushButton("bbtnClear", "Clear", fButtons);
  fStop = pushButton("bbtnStopRead", "Stop", fButtons);
  fQty = pushButton("btnChangeQTY", "+ - Quantity...", fButtons);
  fImport = pushButton("bbtnImport", "Import...", fButtons);
  fExport = pushButton("bbtnExport", "Export...", fButtons);
  // Eight buttons in one row of the page area: each as wide as its caption needs.
  for (QPushButton* b : {fRead, fSave, fDelete, fClear, fStop, fQty, fImport, fExport})
    b->setMinimumWidth(b->sizeHint().width());
  auto* row = new QHBoxLayout(fButtons);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(4);
  for (QPushButton* b : {fRead, fSave, fDelete, fClear, fStop, fQty}) row->addWidget(b);
  row->addStretch(1);
  row->addWidget(fImport);
  row->addWidget(fExport);
  fStop->setEnabled(false);

  content()->addWidget(fGrid, 1);
  content()->addWidget(fProgress);
  content()->addWidget(fButtons);
  // The grid takes the page's height, not the page's closing stretch.
  auto* outer = static_cast<QVBoxLayout*>(layout());
  delete outer->takeAt(outer->count() - 1);
  outer->setStretchFactor(content(), 1);

  fMenu = new QMenu(this);
  fMenu->setObjectName("pmItems");
  QAction* all = fMenu->addAction("All");
  all->setObjectName("mniAllItems");
  QAction* range = fMenu->addAction("From... To...");
  range->setObjectName("mniRangeItems");
  fSelectedAction = fMenu->addAction("Selected in grid");
  fSelectedAction->setObjectName("mniSelectedItems");
  connect(all, &QAction::triggered, this, [this] { mniAllItemsClick(); });
  connect(range, &QAction::triggered, this, [this] { mniRangeItemsClick(); });
  connect(fSelectedAction, &QAction::triggered, this, [this] { mniSelectedItemsClick(); });

  fHost = std::make_unique<TItemsHost>(shell, *this, fProgress, fButtons);
  fItems = std::make_unique<TItemsOps>(ops(), fTable, *fHost);

  onClickDirect(fRead, [this] { bbtnReadItemsClick(); });
  onClickDirect(fSave, [this] { bbtnSendItemsClick(); });
  onClickDirect(fDelete, [this] { bbtnDeleteClick(); });
  onClickDirect(fClear, [this] { bbtnClearClick(); });
  // Not an operation: it is pressed while one runs.
  onClickDirect(fStop, [this] { bbtnStopReadClick(); }, TSwitching::Unswitched);
  shell.addStopControl(fStop);
  onClickDirect(fQty, [this] { btnChangeQTYClick(); });
  onClickDirect(fImport, [this] { bbtnImportClick(); });
  onClickDirect(fExport, [this] { bbtnExportClick(); });

  auto controls = [this](TMemTable&) {
    // While a loop runs the buttons are set once at its end.
    if (!Working) ArticlesControls();
  };
  fTable.AfterInsert = controls;
  fTable.AfterPost = controls;
  fTable.AfterDelete = controls;
  ArticlesControls();
}

TItemsPage::~TItemsPage() {
  fTable.AfterInsert = nullptr;
  fTable.AfterPost = nullptr;
  fTable.AfterDelete = nullptr;
}

void TItemsPage::ArticlesControls() {
  fStop->setEnabled(false);
  // Without a connection every button stays off.
  if (!shell().Connected()) return;
  const bool any = fTable.RecordCount() > 0 || editing();
  for (QPushButton* b : {fDelete, fSave, fExport, fClear, fQty}) b->setEnabled(any);
}

void TItemsPage::modelChanged(int) { fStop->setEnabled(false); }

bool TItemsPage::Stop_read() const { return shell().stopRequested(); }

void TItemsPage::showMenu(int popAction, QPushButton* button) {
  PopActionItems = popAction;
  fSelectedAction->setVisible(popAction != popRead);
  fSelectedAction->setEnabled(fGrid->selectionModel()->hasSelection());
  fMenu->popup(button->mapToGlobal(QPoint(0, button->height())));
}

void TItemsPage::bbtnReadItemsClick() { showMenu(popRead, fRead); }

void TItemsPage::bbtnSendItemsClick() {
  postEdit();
  showMenu(popSave, fSave);
}

void TItemsPage::bbtnDeleteClick() {
  postEdit();
  showMenu(popDelete, fDelete);
}

void TItemsPage::bbtnClearClick() {
  guarded("bbtnClearClick", [this] {
    TMemTableModel::Update detached(*fModel);
    fTable.clear();
  });
  ArticlesControls();
}

void TItemsPage::bbtnStopReadClick() {
  shell().requestStop();
  fStop->setEnabled(false);
}

bool TItemsPage::editing() const {
  QWidget* focus = QApplication::focusWidget();
  return focus && focus != fGrid && fGrid->isAncestorOf(focus);
}

void TItemsPage::postEdit() {
  // Taking the focus from the cell editor gives its text to the table.
  if (editing()) fGrid->setFocus();
}

void TItemsPage::toItems() {
  fItems->selected.clear();
  for (const QModelIndex& i : fGrid->selectionModel()->selectedRows()) fItems->selected.push_back(i.row());
  fItems->current = fGrid->currentIndex().isValid() ? fGrid->currentIndex().row() : -1;
}

void TItemsPage::fromItems() {
  const int row = fItems->current;
  if (row < 0 || row >= fTable.RecordCount()) return;
  const int column = std::max(0, fGrid->currentIndex().column());
  fGrid->selectionModel()->setCurrentIndex(fModel->index(row, column), QItemSelectionModel::NoUpdate);
}

void TItemsPage::withGridDetached(const std::function<void()>& f) {
  toItems();
  const auto back = always([this] { fromItems(); });
  TMemTableModel::Update detached(*fModel);
  f();
}

void TItemsPage::menuAction(TMenuEntry entry) {
  fMenu->hide();
  // Deleting every item cannot be undone: asked, No unless the technician says Yes.
  if (PopActionItems == popDelete && entry == TMenuEntry::All &&
      !ops().ask("Delete all items, are you sure?", "WARNING!", true))
    return;
  if (PopActionItems == popSave && entry == TMenuEntry::All) warnCodePage([](int64_t) { return true; });
  if (PopActionItems == popSave && entry == TMenuEntry::Selected) {
    std::set<int64_t> plus;
    for (const QModelIndex& i : fGrid->selectionModel()->selectedRows()) plus.insert(fItems->pluOf(i.row()));
    warnCodePage([&](int64_t plu) { return plus.count(plu) > 0; });
  }
  std::optional<TLoopOutcome> outcome;
  runOperation(menuHandlerName(entry), [&] {
    shell().set_TreeEnabled(false);
    const auto treeBack = always([this] { shell().set_TreeEnabled(true); });
    // "Delete..." "All" is one command: nothing to stop.
    fStop->setEnabled(!(entry == TMenuEntry::All && PopActionItems == popDelete));
    withGridDetached([&] { outcome = fItems->menuAction(PopActionItems, entry); });
  });
  fProgress->setValue(fProgress->minimum());
  ArticlesControls();
  // Shown over the grid as it now is, with every row the device answered.
  if (const TLoopWords* words = menuLoopWords(PopActionItems, entry); words && outcome)
    showLoopEnd(ops(), *outcome, *words);
}

void TItemsPage::warnCodePage(const std::function<bool(int64_t plu)>& sent) {
  warnCodePageMisses(
      ops(), fTable, [this](int row) { return "PLU " + fTable.displayText(row, 0); },
      [&](int row) { return sent(fItems->pluOf(row)); });
}

void TItemsPage::btnChangeQTYClick() {
  runOperation("btnChangeQTYClick", [this] {
    postEdit();
    toItems();
    if (fItems->btnChangeQTYClick()) fModel->refresh();
  });
  ArticlesControls();
}

void TItemsPage::bbtnImportClick() {
  runOperation("bbtnImportClick", [this] { withGridDetached([this] { kestrel::bbtnImportClick(*fItems); }); });
  fProgress->setValue(fProgress->minimum());
  ArticlesControls();
}

void TItemsPage::bbtnExportClick() {
  postEdit();
  runOperation("bbtnExportClick", [this] { withGridDetached([this] { kestrel::bbtnExportClick(*fItems); }); });
  fProgress->setValue(fProgress->minimum());
  ArticlesControls();
}

void TItemsPage::deleteCurrentRow() {
  const QModelIndex current = fGrid->currentIndex();
  if (!current.isValid() || !ops().ask("Delete record?", TITLE_KESTREL, false)) return;
  guarded("dbg_Articles", [&] {
    TMemTableModel::Update detached(*fModel);
    fTable.deleteRow(current.row());
  });
}

void TItemsPage::insertRow() {
  int row = -1;
  guarded("dbg_Articles", [&] {
    TMemTableModel::Update detached(*fModel);
    row = fTable.append();
  });
  if (row < 0) return;
  const QModelIndex first = fModel->index(row, 0);
  fGrid->setCurrentIndex(first);
  fGrid->edit(first);
}

bool TItemsPage::eventFilter(QObject* watched, QEvent* event) {
  // A cell editor has the keys while a cell is edited; these reach the grid itself.
  if (watched == fGrid && event->type() == QEvent::KeyPress) {
    auto* k = static_cast<QKeyEvent*>(event);
    if (k->key() == Qt::Key_Delete && k->modifiers() == Qt::ControlModifier) {
      deleteCurrentRow();
      return true;
    }
    if (k->key() == Qt::Key_Insert && k->modifiers() == Qt::NoModifier) {
      insertRow();
      return true;
    }
    // Ctrl alone with A: every row, from the first to the last.
    if (k->key() == Qt::Key_A && k->modifiers() == Qt::ControlModifier) {
      fGrid->clearSelection();
      fGrid->selectAll();
      return true;
    }
  }
  return TPage::eventFilter(watched, event);
}

}  // namespace kestrel
