#include "app/ui/pages/clients_page.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <optional>
#include <set>

#include "app/logic/code_page_check.h"
#include "app/logic/device_ops.h"
#include "app/logic/mem_table.h"
#include "app/logic/pages/clients.h"
#include "app/ui/core/dm.h"
#include "app/ui/core/form_helpers.h"
#include "app/ui/core/widget_values.h"
#include "app/ui/core/progress_host.h"
#include "app/ui/tables/mem_table_model.h"

namespace kestrel {

namespace {

constexpr int POP_SAVE = 2;
constexpr int POP_DELETE = 4;

}  // namespace

TClientsPage::TClientsPage(TPageShell& shell, const TPageRow& pageRow) : TPage(shell, pageRow) {
  prepareClientTable(table());
  fModel = new TMemTableModel(table(), this);
  fModel->onRefused = [this](const std::string& message) { dm().misc.show_MyAlert(message); };
  // While an operation runs (Working) the buttons are set once at its end.
  table().AfterPost = [this](TMemTable&) {
    fModel->refresh();
    if (!Working) ClientsControls();
  };
  table().AfterDelete = [this](TMemTable&) {
    if (!Working) ClientsControls();
  };
  table().AfterInsert = [this](TMemTable& t) {
    if (!Working) ClientsControls();
    if (t.RecordCount() > MAX_CLIENTS) t.cancel();
  };

  auto* box = new QGroupBox("Clients", this);
  box->setObjectName("grpClients");
  auto* v = new QVBoxLayout(box);
  dbgClientInfo = memTableGrid("dbgClientInfo", fModel, box, QAbstractItemView::SelectRows,
                               QAbstractItemView::ExtendedSelection, 8);
  dbgClientInfo->verticalHeader()->hide();
  dbgClientInfo->horizontalHeader()->setStretchLastSection(true);
  dbgClientInfo->setMinimumHeight(540);
  // Number, two names, two addresses, tax number: all six in the page's width at 1024 by
  // 768, the names widest.
  const int widths[] = {56, 150, 150, 115, 110, 110};
  for (int c = 0; c < 6; ++c) dbgClientInfo->setColumnWidth(c, widths[c]);
  dbgClientInfo->installEventFilter(this);
  v->addWidget(dbgClientInfo, 1);

  chbx_StopClients = checkBox("chbx_StopClients", "Stop operation", box);
  chbx_StopClients->setEnabled(false);
  markOperationInput(chbx_StopClients);
  connect(chbx_StopClients, &QCheckBox::toggled, this, [this](bool on) {
    if (on) this->shell().requestStop();
  });
  shell.addStopControl(chbx_StopClients);
  pbClients = new QProgressBar(box);
  pbClients->setObjectName("pbClients");
  pbClients->setMinimum(1);
  pbClients->hide();
  auto* btnReadClientInfo = pushButton("btnReadClientInfo", "Read", box);
  auto* btnWriteClientInfo = pushButton("btnWriteClientInfo", "Save", box);
  auto* btnDelClients = pushButton("btnDelClients", "Delete", box);
  auto* btnExportClients = pushButton("btnExportClients", "Export...", box);
  auto* btnImportClients = pushButton("btnImportClients", "Import...", box);
  auto* btnClearClient = pushButton("btnClearClient", "Clear table", box);
  auto* status = new QHBoxLayout;
  status->addWidget(chbx_StopClients);
  status->addWidget(pbClients, 1);
  v->addLayout(status);
  v->addLayout(buttonRow(
      {btnReadClientInfo, btnWriteClientInfo, btnDelClients, btnExportClients, btnImportClients, btnClearClient}));
  content()->addWidget(box, 1);

  fPopup = new QMenu(this);
  fPopup->setObjectName("pmClients");
  mniAllClients = fPopup->addAction("All");
  mniAllClients->setObjectName("mniAllClients");
  mniSelectedClients = fPopup->addAction("Selected in grid");
  mniSelectedClients->setObjectName("mniSelectedClients");
  connect(mniAllClients, &QAction::triggered, this, [this] { mniAllClientsClick(); });
  connect(mniSelectedClients, &QAction::triggered, this, [this] { mniSelectedClientsClick(); });

  onClickDirect(btnReadClientInfo, [this] { btnReadClientInfoClick(); });
  onClickDirect(btnWriteClientInfo, [this] { btnWriteClientInfoClick(); });
  onClickDirect(btnDelClients, [this] { btnDelClientsClick(); });
  onClickDirect(btnExportClients, [this] { btnExportClientsClick(); });
  onClickDirect(btnImportClients, [this] { btnImportClientsClick(); });
  onClickDirect(btnClearClient, [this] { btnClearClientClick(); });
}

TClientsPage::~TClientsPage() {
  // The data module outlives the window: its table must not call into this page.
  table().AfterPost = nullptr;
  table().AfterDelete = nullptr;
  table().AfterInsert = nullptr;
}

TMemTable& TClientsPage::table() const { return dm().fdmt_ClientInfo; }

void TClientsPage::clientsOperation(const char* name, const std::function<void()>& f) {
  runOperation(name, [&] {
    chbx_StopClients->setChecked(false);
    TPageProgressScope progress(ops(), pbClients, chbx_StopClients);
    f();
  });
  ClientsControls();
}

void TClientsPage::read() { btnReadClientInfoClick(); }

void TClientsPage::btnReadClientInfoClick() {
  std::optional<TLoopOutcome> r;
  clientsOperation("readClientInfo", [&] {
    TMemTableModel::Update detached(*fModel);
    r = readClientInfo(ops(), table());
  });
  if (table().RecordCount() > 0) dbgClientInfo->setCurrentIndex(fModel->index(0, 0));
  if (r) showLoopEnd(ops(), *r, CLIENTS_READ);
}

void TClientsPage::postEdit() {
  QWidget* editor = QApplication::focusWidget();
  if (editor && dbgClientInfo->viewport()->isAncestorOf(editor))
    QMetaObject::invokeMethod(dbgClientInfo, "commitData", Q_ARG(QWidget*, editor));
}

void TClientsPage::openPopup(int action, QWidget* button) {
  postEdit();
  PopActionItems = action;
  mniSelectedClients->setEnabled(dbgClientInfo->selectionModel()->hasSelection());
  fPopup->popup(button->mapToGlobal(QPoint(0, button->height())));
}

void TClientsPage::btnWriteClientInfoClick() { openPopup(POP_SAVE, findChild<QWidget*>("btnWriteClientInfo")); }

void TClientsPage::btnDelClientsClick() { openPopup(POP_DELETE, findChild<QWidget*>("btnDelClients")); }

std::vector<int> TClientsPage::selectedNumbers() const {
  std::vector<int> numbers;
  std::set<int> rows;
  for (const QModelIndex& i : dbgClientInfo->selectionModel()->selectedIndexes()) {
    if (!rows.insert(i.row()).second) continue;
    // A row without a number is not in the device.
    if (const int n = clientNumberOf(table(), i.row()); n > 0) numbers.push_back(n);
  }
  return numbers;
}

void TClientsPage::mniAllClientsClick() {
  // The menu goes before the work starts: an open menu would take the Escape that stops it.
  fPopup->hide();
  if (PopActionItems == POP_SAVE) {
    warnCodePageMisses(ops(), table(), [this](int row) { return "client " + std::to_string(clientNumberOf(table(), row)); });
    std::optional<TLoopOutcome> r;
    clientsOperation("mniAllClientsClick", [&] {
      TMemTableModel::Update detached(*fModel);
      r = SaveAllClientInfo(ops(), table());
    });
    if (r) showLoopEnd(ops(), *r, CLIENTS_SAVE);
  } else if (PopActionItems == POP_DELETE)
    clientsOperation("mniAllClientsClick", [this] {
      TMemTableModel::Update detached(*fModel);
      DellAllClients(ops(), table());
    });
}

void TClientsPage::mniSelectedClientsClick() {
  fPopup->hide();
  const std::vector<int> numbers = selectedNumbers();
  const QModelIndex current = dbgClientInfo->currentIndex();
  if (PopActionItems == POP_SAVE) {
    // The table does not change: the grid keeps its rows and selection.
    const std::set<int> chosen(numbers.begin(), numbers.end());
    warnCodePageMisses(
        ops(), table(), [this](int row) { return "client " + std::to_string(clientNumberOf(table(), row)); },
        [&](int row) { return chosen.count(clientNumberOf(table(), row)) > 0; });
    std::optional<TLoopOutcome> r;
    clientsOperation("mniSelectedClientsClick", [&] { r = saveSelectedClients(ops(), table(), numbers); });
    dbgClientInfo->setCurrentIndex(current);
    if (r) showLoopEnd(ops(), *r, CLIENTS_SAVE);
  } else if (PopActionItems == POP_DELETE) {
    const int currentNumber = current.isValid() ? clientNumberOf(table(), current.row()) : -1;
    std::optional<TLoopOutcome> r;
    clientsOperation("mniSelectedClientsClick", [&] {
      TMemTableModel::Update detached(*fModel);
      r = delSelectedClients(ops(), table(), numbers);
    });
    dbgClientInfo->clearSelection();
    if (const int row = currentNumber > 0 ? findClientRow(table(), currentNumber) : -1; row >= 0)
      dbgClientInfo->setCurrentIndex(fModel->index(row, std::max(current.column(), 0)));
    if (r) showLoopEnd(ops(), *r, CLIENTS_DELETE);
  }
}

void TClientsPage::btnExportClientsClick() {
  clientsOperation("btnExportClientsClick", [this] {
    TMemTableModel::Update detached(*fModel);
    kestrel::btnExportClientsClick(ops(), table());
  });
}

void TClientsPage::btnImportClientsClick() {
  clientsOperation("btnImportClientsClick", [this] {
    TMemTableModel::Update detached(*fModel);
    kestrel::btnImportClientsClick(ops(), table());
  });
}

void TClientsPage::btnClearClientClick() {
  guarded("btnClearClientClick", [this] {
    table().clear();
    fModel->reset();
  });
  ClientsControls();
}

void TClientsPage::ClientsControls() {
  const bool rows = table().RecordCount() > 0;
  for (const char* name : {"btnWriteClientInfo", "btnClearClient", "btnExportClients"})
    if (auto* b = findChild<QPushButton*>(name)) b->setEnabled(rows);
  chbx_StopClients->setChecked(false);
  repaint();
}

void TClientsPage::insertClientRow() {
  int row = -1;
  {
    TMemTableModel::Update detached(*fModel);
    row = table().append();
  }
  if (row < 0) return;  // the table is full
  const QModelIndex cell = fModel->index(row, 0);
  dbgClientInfo->setCurrentIndex(cell);
  dbgClientInfo->edit(cell);
}

bool TClientsPage::eventFilter(QObject* watched, QEvent* event) {
  if (watched == dbgClientInfo && event->type() == QEvent::KeyPress && !shell().operationRunning()) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    const QModelIndex current = dbgClientInfo->currentIndex();
    const bool onLastRow = fModel->rowCount() == 0 || (current.isValid() && current.row() == fModel->rowCount() - 1);
    if (key == Qt::Key_Insert || (key == Qt::Key_Down && onLastRow)) {
      insertClientRow();
      return true;
    }
  }
  return TPage::eventFilter(watched, event);
}

}  // namespace kestrel
