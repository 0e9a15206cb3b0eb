#include "app/ui/shell/main_fbh.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTreeWidget>
#include <QWheelEvent>
#include <filesystem>
#include <stdexcept>

#include "app/logic/model_table.h"
#include "app/logic/page_table.h"
#include "app/ui/core/dm.h"
#include "app/ui/core/form_helpers.h"
#include "app/ui/pages/connect_page.h"
#include "app/ui/pages/page.h"
#include "app/ui/pages/settings_page.h"
#include "app/ui/pages/status_page.h"
#include "app/ui/shell/page_registry.h"
#include "engine/rs232_connector.h"
#include "engine/tcpip_connector.h"

namespace kestrel {

TfmMainFBH::TfmMainFBH(Tdm& dm, Dialogs* dialogs, FileChooser* files, QWidget* parent)
    : QMainWindow(parent), fDm(dm), fOps(dm.fd, dm.misc, dm.errContainer, *this) {
  if (!dialogs) {
    fQtDialogs = std::make_unique<QtDialogs>(this);
    dialogs = fQtDialogs.get();
  }
  if (!files) {
    fQtFiles = std::make_unique<QtFileChooser>(this);
    files = fQtFiles.get();
  }
  fFiles = files;
  fDm.misc.set_Dialogs(dialogs);
  // Long waits of the helper let the window repaint and its Stop controls respond.
  fDm.misc.OnProcessMessages = [] { QCoreApplication::processEvents(); };
  buildUi();
  qApp->installEventFilter(this);
  guarded("FormCreate", [this] { FormCreate(); });
}

TfmMainFBH::~TfmMainFBH() {
  qApp->removeEventFilter(this);
  fDm.sendCommandView = nullptr;
  fDm.receiveAnswerView = nullptr;
  fDm.statusView = nullptr;
  fDm.misc.OnProcessMessages = nullptr;
  fDm.misc.set_comPortsCombo(nullptr);
  fDm.misc.set_Dialogs(nullptr);
  fIniSettingFile.reset();
}

// ------------------------------------------------------------------ building

void TfmMainFBH::buildUi() {
  setObjectName("fmMainFBH");
  setWindowTitle("Kestrel FBH");
  setMinimumSize(1024, 768);

  auto* splitter = new QSplitter(this);
  splitter->setObjectName("splMain");
  splitter->setChildrenCollapsible(false);
  fTree = new QTreeWidget(splitter);
  fTree->setObjectName("tvPages");
  fTree->setHeaderHidden(true);
  fTree->setMinimumWidth(220);
  fTree->setMaximumWidth(300);
  QTreeWidgetItem* parentItem = nullptr;
  for (const auto& n : treeNodes()) {
    QTreeWidgetItem* item = n.level == 0 ? new QTreeWidgetItem(fTree) : new QTreeWidgetItem(parentItem);
    item->setText(0, n.text);
    item->setData(0, Qt::UserRole, QString(n.page));
    if (n.level == 0) parentItem = item;
  }
  fPages = new QStackedWidget(splitter);
  fPages->setObjectName("pcPages");
  splitter->addWidget(fTree);
  splitter->addWidget(fPages);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({240, 784});
  setCentralWidget(splitter);

  for (const auto& row : pageTable()) {
    TPage* p = createPage(row.page, *this);
    if (!p) p = new TPage(*this, row.page, row.title);
    fPageByName[row.page] = p;
    fPages->addWidget(p);
  }

  auto* bar = statusBar();
  bar->setObjectName("sbMessages");
  fPanel0 = new QLabel("Status: ", bar);
  fPanel0->setObjectName("sbPanel0");
  fPanel1 = new QLabel(bar);
  fPanel1->setObjectName("sbPanel1");
  bar->addWidget(fPanel0);
  bar->addWidget(fPanel1, 1);

  connect(fTree, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* cur, QTreeWidgetItem*) { onTreeItem(cur); });
}

TPage* TfmMainFBH::page(const std::string& objectName) const {
  auto it = fPageByName.find(objectName);
  return it == fPageByName.end() ? nullptr : it->second;
}

// ------------------------------------------------------------------ start-up

void TfmMainFBH::applyFormats() {
  fDm.misc.set_LocalShits('.', ':', '.', "dd.mm.yyyy", "hh:mm:ss", "dd.mm.yyyy", "hh:mm:ss");
  // Qt's own number widgets follow the same rule: a point whatever the user's locale.
  QLocale c(QLocale::C);
  c.setNumberOptions(QLocale::OmitGroupSeparator);
  QLocale::setDefault(c);
}

void TfmMainFBH::FormCreate() {
  fMaxProgrammablePLU = 100000;
  Working = false;
  Stop_read = false;
  showPage(PAGE_CONNECT);
  fOps.ecrModel = 0;
  fOps.set_ShowErr(true);
  msg_DataSavedToEcr = MSG_DATA_SAVED;
  msgAreUsure = MSG_ARE_YOU_SURE;
  FDeleteItemsAFterZrep = false;
  applyFormats();
  SetConnected(false);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect r(QPoint(), QSize(1024, 768));
    r.moveCenter(screen->availableGeometry().center());
    setGeometry(r);
  }
}

void TfmMainFBH::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  FormShow();
}

void TfmMainFBH::getFolders() {
  try {
    APPDATA_FOLDER = toolFolderIn(fDm.errContainer.Folders()->AppData());
    LOG_FOLDER = toolFolderIn(documentsBase());
    if (APPDATA_FOLDER.empty() || LOG_FOLDER.empty()) throw std::runtime_error("no per-user folder is known");
    std::filesystem::create_directories(APPDATA_FOLDER);
    std::filesystem::create_directories(LOG_FOLDER);
  } catch (const std::exception& e) {
    throw std::runtime_error(std::string("getFolders:") + e.what());
  }
}

void TfmMainFBH::FormShow() {
  if (fShown) return;
  fShown = true;
  guarded("FormShow", [this] {
    if (TPage* connectPage = page(PAGE_CONNECT)) connectPage->modelChanged(fOps.ecrModel);  // fills the port list
    getFolders();
    prepareLinesTable(fDm.fdmt_Header);
    prepareLinesTable(fDm.fdmt_Footer);
    FMaxProgrammableKeys = 0;
    fIniSettingFile = std::make_unique<TSettingsFile>(APPDATA_FOLDER + SETTINGS_FILE_NAME);
    fDm.fd.RS232()->exitByTime = true;
    fDm.fd.RS232()->exitByTimeValue = 10000;
    fDm.fd.TCPIP()->exitByTime = true;
    fDm.fd.TCPIP()->exitByTimeValue = 30000;
    fDm.fd.repeatCount = 1;
    set_StatusBitCaptions();
    set_errorBitsToFalse();
    ArticlesControls();
    ClientsControls();
    fTree->expandAll();
  });
}

// ------------------------------------------------------------------ shared operations

void TfmMainFBH::alertException(const char* method, const std::string& message) {
  try {
    fDm.misc.show_MyAlert(exceptionText(method, message));
  } catch (const std::exception& e) {
    set_StatusMessage(qs(exceptionText(method, message) + " (" + e.what() + ")"));
  }
}

void TfmMainFBH::guarded(const char* name, const std::function<void()>& f) {
  try {
    f();
  } catch (const std::exception& e) {
    alertException(name, e.what());
  } catch (...) {
    alertException(name, "unknown exception");
  }
}

void TfmMainFBH::runOperation(const char* name, const std::function<void()>& f) {
  // One operation at a time: a click that reaches a page while another operation
  // waits for the device starts nothing.
  if (fOperationDepth > 0) return;
  ++fOperationDepth;
  OpraviControlite(false);
  try {
    f();
  } catch (const std::exception& e) {
    try {
      fDm.misc.myAlert(exceptionText(name, e.what()), TITLE_KESTREL, inf_OkBtn);
    } catch (const std::exception& shown) {
      set_StatusMessage(qs(exceptionText(name, e.what()) + " (" + shown.what() + ")"));
    }
  }
  --fOperationDepth;
  OpraviControlite(true);
}

std::string TfmMainFBH::activePage() const {
  QWidget* w = fPages->currentWidget();
  return w ? ss(w->objectName()) : std::string();
}

QString TfmMainFBH::statusMessage() const { return fPanel1->text(); }

void TfmMainFBH::set_StatusMessage(const QString& text) {
  fPanel1->setText(text);
  fPanel1->repaint();
}

void TfmMainFBH::set_StatusText(const std::string& text) { set_StatusMessage(qs(text)); }

std::string TfmMainFBH::openFileName(const std::string& title, const std::string& filter) {
  return fFiles->openFile(title, filter);
}

std::string TfmMainFBH::saveFileName(const std::string& title, const std::string& filter,
                                     const std::string& suggestedName) {
  return fFiles->saveFile(title, filter, suggestedName);
}

void TfmMainFBH::processMessages() { QCoreApplication::processEvents(); }

void TfmMainFBH::showPage(const std::string& pageName) {
  TPage* w = page(pageName);
  if (!w) return;
  // Select the first node of the page without running the tree's handler again.
  {
    QSignalBlocker block(fTree);
    for (QTreeWidgetItemIterator it(fTree); *it; ++it)
      if ((*it)->data(0, Qt::UserRole).toString() == qs(pageName)) {
        fTree->setCurrentItem(*it);
        break;
      }
  }
  const bool changed = fPages->currentWidget() != w;
  fPages->setCurrentWidget(w);
  if (changed) data_Refresh();
}

void TfmMainFBH::selectTreeNode(int flatIndex) {
  QSignalBlocker block(fTree);
  int i = 0;
  for (QTreeWidgetItemIterator it(fTree); *it; ++it, ++i)
    if (i == flatIndex) {
      fTree->setCurrentItem(*it);
      return;
    }
}

void TfmMainFBH::onTreeItem(QTreeWidgetItem* item) {
  if (!item || operationRunning()) return;
  showPage(ss(item->data(0, Qt::UserRole).toString()));
}

void TfmMainFBH::data_Refresh() {
  if (operationRunning()) return;
  const std::string current = activePage();
  const std::string shown = pageToShow(current, fOps.ecrModel);
  if (shown != current) {
    fPages->setCurrentWidget(page(shown));
    return;
  }
  const TPageRow* row = findPage(current);
  if (!row || !*row->readOp) return;
  auto it = fReads.find(current);
  if (it != fReads.end()) {
    guarded(row->readOp, it->second);
    return;
  }
  if (TPage* p = page(current)) p->read();
}

void TfmMainFBH::OpraviControlite(bool Value) {
  QWidget* current = fPages->currentWidget();
  if (!current) return;
  TPageFacts facts;
  const TLowLevel& ll = fDm.fd.dd()->LowLevel();
  facts.serialAndFMSet = ll.get_sBytesState(4, 2);
  facts.taxNumberSet = ll.get_sBytesState(4, 1);
  facts.fiscalMode = ll.get_sBytesState(5, 3);
  if (auto* journal = current->findChild<QPlainTextEdit*>())
    facts.journalHasLines = journal->blockCount() > 0 && !journal->document()->isEmpty();
  const TControlPlan plan = controlPlan(activePage(), Value, facts);
  for (const auto& c : plan.controls)
    if (auto* w = current->findChild<QWidget*>(qs(c.name))) w->setEnabled(c.enabled);
  if (plan.changesWorking) Working = plan.working;
  repaint();
}

void TfmMainFBH::set_BitBtns(bool Value) {
  for (auto* b : fPages->findChildren<QPushButton*>()) b->setEnabled(Value);
}

void TfmMainFBH::set_ModelControls() {
  auto setEnabled = [this](const char* name, bool on) {
    if (auto* w = fPages->findChild<QWidget*>(name)) w->setEnabled(on);
  };
  setEnabled("bbtnStopRead", false);
  setEnabled("bbtnStopKLdate", false);
  // Each page shows or hides its own model-dependent widgets.
  for (auto& [name, p] : fPageByName) p->modelChanged(fOps.ecrModel);
}

void TfmMainFBH::set_StatusBitCaptions() {
  if (auto* p = dynamic_cast<TStatusPage*>(page(PAGE_STATUS))) p->set_StatusBitCaptions();
  repaint();
}

void TfmMainFBH::set_errorBitsToFalse() {
  TLowLevel& ll = fDm.fd.dd()->LowLevel();
  for (auto [b, i] : NON_ERROR_STATUS_BITS) ll.set_sBytesCheckingForAll(b, i, false);
}

// The Items and Clients pages bring their buttons; until they exist there is nothing to
// refresh.
void TfmMainFBH::ArticlesControls() {}
void TfmMainFBH::ClientsControls() {}

void TfmMainFBH::set_Model(const TModelRow* row) {
  fOps.ecrModel = -1;
  if (!row) return;
  fOps.ecrModel = row->index;
  setWindowTitle(row->caption);
  FMaxProgrammableKeys = row->MaxProgrammableKeys;
  testOperatorPassword = row->testOperatorPassword;
  for (const char* name : {"ledTestOperPassSale", "ledTestOperPassStorno"})
    if (auto* e = fPages->findChild<QLineEdit*>(name)) e->setText(row->testOperatorPassword);
}

bool TfmMainFBH::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    auto* k = static_cast<QKeyEvent*>(event);
    // One refresh per key press: the event passes the filter once per widget it
    // travels through, so take it at the widget it was sent to.
    if (k->key() == Qt::Key_F5 && !k->isAutoRepeat() && watched->isWidgetType() &&
        (watched == QApplication::focusWidget() || !QApplication::focusWidget())) {
      data_Refresh();
      return true;
    }
  } else if (event->type() == QEvent::Wheel && watched->isWidgetType()) {
    auto* w = static_cast<QWheelEvent*>(event);
    const int dy = w->angleDelta().y();
    if (dy != 0) {
      QKeyEvent key(QEvent::KeyPress, dy > 0 ? Qt::Key_Up : Qt::Key_Down, Qt::NoModifier);
      QObject* target = QApplication::focusWidget() ? static_cast<QObject*>(QApplication::focusWidget()) : watched;
      QCoreApplication::sendEvent(target, &key);
    }
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

// ------------------------------------------------------------------ connection state

void TfmMainFBH::SetConnected(bool Value) {
  auto* btnConnect = fPages->findChild<QPushButton*>("btnConnect");
  try {
    FConnected = Value;
    if (btnConnect) btnConnect->setText(Value ? "Disconnect" : "Connect");
    set_BitBtns(Value);
    set_ModelControls();
    if (btnConnect) btnConnect->setEnabled(true);
    fTree->setEnabled(Value);
  } catch (const std::exception& e) {
    alertException("SetConnected", e.what());
  }
  if (fTree->isVisible() && fTree->isEnabled()) fTree->setFocus();
}

void TfmMainFBH::presetTCP(const std::string& address, uint16_t port) {
  if (auto* p = dynamic_cast<TConnectPage*>(page(PAGE_CONNECT))) p->presetTCP(address, port);
}

void TfmMainFBH::loadSettings() {
  if (auto* p = dynamic_cast<TSettingsPage*>(page(PAGE_SETTINGS))) p->loadSettings();
}

}  // namespace kestrel
