#include "app/ui/shell/main_fbh.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>
#include <QStyle>
#include <QTreeWidget>
#include <QWheelEvent>
#include <QWindow>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <utility>

#include "app/logic/model_table.h"
#include "app/logic/page_table.h"
#include "app/ui/core/dm.h"
#include "app/ui/core/form_helpers.h"
#include "app/ui/pages/page.h"
#include "app/ui/shell/page_registry.h"
#include "app/ui/shell/window_geometry.h"
#include "app/ui/tables/mem_table_model.h"
#include "engine/rs232_connector.h"
#include "engine/tcpip_connector.h"

namespace kestrel {

namespace {

// The page stack asks for the room of the page it shows, not of the largest page, so
// that only a page that does not fit scrolls.
class TPageStack : public QStackedWidget {
 public:
  using QStackedWidget::QStackedWidget;
  QSize sizeHint() const override { return currentWidget() ? currentWidget()->sizeHint() : QSize(); }
  QSize minimumSizeHint() const override {
    return currentWidget() ? currentWidget()->minimumSizeHint() : QSize();
  }
};

}  // namespace

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
  // The pages go while the window is still whole: a page's destructor may still reach
  // the shell.
  for (auto& [name, p] : fPageByName) delete p;
  fPageByName.clear();
  fPageList.clear();
  fDm.fd.OnIdle = nullptr;
  fDm.misc.OnProcessMessages = nullptr;
  fDm.misc.set_comPortsCombo(nullptr);
  fDm.misc.set_Dialogs(nullptr);
  fIniSettingFile.reset();
}

// ------------------------------------------------------------------ building

void TfmMainFBH::buildUi() {
  setObjectName("fmMainFBH");
  setWindowTitle(WINDOW_CAPTION);

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
  // On a screen smaller than the window was laid out for, the page scrolls.
  fPageScroll = new QScrollArea(splitter);
  fPageScroll->setObjectName("sbxPages");
  fPageScroll->setWidgetResizable(true);
  fPageScroll->setFrameShape(QFrame::NoFrame);
  fPages = new TPageStack;
  fPages->setObjectName("pcPages");
  fPageScroll->setWidget(fPages);
  connect(fPages, &QStackedWidget::currentChanged, fPages, [this] { fPages->updateGeometry(); });
  splitter->addWidget(fTree);
  splitter->addWidget(fPageScroll);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({240, 784});
  setCentralWidget(splitter);

  for (const auto& [row, maker] : pageEntries()) {
    TPage* p = maker ? maker(*this, row) : new TPage(*this, row);
    fPageByName[row.page] = p;
    fPageList.push_back(p);
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
  fWaitLabel = new QLabel(bar);
  fWaitLabel->setObjectName("sbWait");
  fCancelWait = new QPushButton("Cancel", bar);
  fCancelWait->setObjectName("btnCancelWait");
  bar->addPermanentWidget(fWaitLabel);
  bar->addPermanentWidget(fCancelWait);
  fWaitLabel->hide();
  fCancelWait->hide();
  // Cancel ends the whole operation, not just the command it waits for.
  connect(fCancelWait, &QPushButton::clicked, this, [this] { requestStop(); });
  addStopControl(fCancelWait);
  // The idle hook runs at least every 50 ms while a wait lasts; when it stops coming,
  // the wait is over and its status goes.
  fWaitHide = new QTimer(this);
  fWaitHide->setSingleShot(true);
  fWaitHide->setInterval(200);
  connect(fWaitHide, &QTimer::timeout, this, [this] { hideWait(); });
  fDm.fd.OnIdle = [this](const TWaitState& state) { onEngineIdle(state); };

  connect(fTree, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* cur, QTreeWidgetItem* previous) { onTreeItem(cur, previous); });
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
  showPage(PAGE_CONNECT);
  fOps.ecrModel = 0;
  fOps.set_ShowErr(true);
  msg_DataSavedToEcr = MSG_DATA_SAVED;
  msgAreUsure = MSG_ARE_YOU_SURE;
  FDeleteItemsAFterZrep = false;
  applyFormats();
  SetConnected(false);
  if (QScreen* s = screen()) {
    applyScreenLimits(s);
    setGeometry(placedWindowGeometry(QRect(), s->availableGeometry(), minimumSize(), frameExtent()));
  }
}

QSize TfmMainFBH::frameExtent() const {
  const QSize known = frameGeometry().size() - geometry().size();
  if (isVisible() && (known.width() > 0 || known.height() > 0)) return known;
  return QSize(0, style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this));
}

void TfmMainFBH::applyScreenLimits(QScreen* s) {
  if (s) setMinimumSize(minimumWindowSize(s->availableGeometry(), frameExtent()));
}

void TfmMainFBH::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  const bool first = !fShown;
  FormShow();
  if (first && windowHandle())
    connect(windowHandle(), &QWindow::screenChanged, this, [this](QScreen* s) { applyScreenLimits(s); });
}

void TfmMainFBH::closeEvent(QCloseEvent* event) {
  if (fDm.fd.busy()) {
    // The command ends within a tenth of a second; the window closes after it.
    fDm.fd.cancelWait();
    event->ignore();
    QTimer::singleShot(100, this, [this] { close(); });
    return;
  }
  // Closing throws the page's edits away as surely as leaving it.
  if (!mayLeavePage()) return event->ignore();
  saveSession();
  QMainWindow::closeEvent(event);
}

void TfmMainFBH::restoreSession() {
  if (!fIniSettingFile) return;
  for (TPage* p : fPageList) p->restoreSession(*fIniSettingFile);
  const auto placement = fIniSettingFile->loadWindow();
  if (!placement) return;
  const QRect saved(placement->left, placement->top, placement->width, placement->height);
  // The screen it was on, if that is still there.
  QScreen* s = QGuiApplication::screenAt(saved.center());
  if (!s) s = screen();
  if (!s) return;
  applyScreenLimits(s);
  setGeometry(placedWindowGeometry(saved, s->availableGeometry(), minimumSize(), frameExtent()));
  if (placement->maximized) setWindowState(windowState() | Qt::WindowMaximized);
}

void TfmMainFBH::saveSession() {
  if (!fIniSettingFile) return;
  for (TPage* p : fPageList)
    if (!checkSettingsSaved(p->saveSession(*fIniSettingFile))) return;
  const QRect g = isMaximized() ? normalGeometry() : geometry();
  checkSettingsSaved(fIniSettingFile->saveWindow({g.x(), g.y(), g.width(), g.height(), isMaximized()}));
}

bool TfmMainFBH::checkSettingsSaved(bool saved) {
  if (!saved && fIniSettingFile)
    set_StatusText("The settings could not be saved to " + fIniSettingFile->path() + ": " +
                   fIniSettingFile->lastError());
  return saved;
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
    restoreSession();
    fDm.fd.RS232()->exitByTime = true;
    fDm.fd.RS232()->exitByTimeValue = 10000;
    fDm.fd.TCPIP()->exitByTime = true;
    fDm.fd.TCPIP()->exitByTimeValue = 30000;
    fDm.fd.repeatCount = 1;
    // The status page takes the bits' captions before the error bits are cleared.
    for (TPage* p : fPageList) p->startUp();
    set_errorBitsToFalse();
    fTree->expandAll();
  });
}

// ------------------------------------------------------------------ shared operations

void TfmMainFBH::alertException(const char* method, const std::string& message) {
  try {
    fDm.misc.show_MyAlert(exceptionText(method, message));
  } catch (const std::exception& e) {
    set_StatusMessage(qs(exceptionText(method, message) + " (" + e.what() + ")"));
  } catch (...) {
    set_StatusMessage(qs(exceptionText(method, message)));
  }
}

void TfmMainFBH::guarded(const char* name, const std::function<void()>& f) {
  if (readsActivePage(name)) fPageSettles = true;
  try {
    f();
  } catch (const std::exception& e) {
    alertException(name, e.what());
  } catch (...) {
    alertException(name, "unknown exception");
  }
  if (fOperationDepth == 0) settlePage();
}

bool TfmMainFBH::readsActivePage(const char* name) const {
  const TPageRow* row = findPage(activePage());
  return row && *row->readOp && std::string(name) == row->readOp;
}

void TfmMainFBH::settlePage() {
  // Taken when the operation is over: a grid shows its rows again only then.
  const bool read = std::exchange(fPageSettles, false), saved = std::exchange(fPageSaved, false);
  if (!read && !saved) return;
  if (TPage* p = page(activePage())) read ? p->markClean() : p->markSaved();
}

void TfmMainFBH::runOperation(const char* name, const std::function<void()>& f) {
  // One operation at a time: a click that reaches a page while another operation
  // waits for the device starts nothing.
  if (fOperationDepth > 0) return;
  if (readsActivePage(name)) fPageSettles = true;
  clearStopRequest();
  ++fOperationDepth;
  OpraviControlite(false);
  auto show = [this, name](const std::string& message) {
    try {
      fDm.misc.myAlert(exceptionText(name, message), TITLE_KESTREL, inf_OkBtn);
    } catch (const std::exception& shown) {
      set_StatusMessage(qs(exceptionText(name, message) + " (" + shown.what() + ")"));
    } catch (...) {
      set_StatusMessage(qs(exceptionText(name, message)));
    }
  };
  try {
    f();
  } catch (const std::exception& e) {
    show(e.what());
  } catch (...) {
    show("unknown exception");
  }
  --fOperationDepth;
  if (fOperationDepth == 0) settlePage();
  clearStopRequest();
  OpraviControlite(true);
  noticeLostConnection();
}

void TfmMainFBH::noticeLostConnection() {
  if (!FConnected || !fDm.fd.connectionLost()) return;
  const std::string message = fDm.errContainer.LastErrorMessage();
  // The technician is one click from reconnecting: the Connect page with "Connect" in
  // focus. The page they were on keeps what they typed and comes back after it.
  const std::string current = activePage();
  if (current != PAGE_CONNECT) fPageAtLoss = current;
  // The Connect page closes the link and shows itself ready to reconnect.
  for (TPage* p : fPageList) p->connectionLost();
  set_StatusMessage(qs(message));
}

bool TfmMainFBH::returnToPageAtLoss() {
  const std::string pageName = std::exchange(fPageAtLoss, std::string());
  TPage* w = page(pageName);
  if (!w) return false;
  // No read: it would overwrite what the technician typed before the link went.
  selectPageNode(pageName);
  fPages->setCurrentWidget(w);
  return true;
}

void TfmMainFBH::selectPageNode(const std::string& pageName) {
  // The first node of the page, without running the tree's handler again; a node
  // already selected for the page stays (a group and its first child share one page).
  QSignalBlocker block(fTree);
  if (fTree->currentItem() && fTree->currentItem()->data(0, Qt::UserRole).toString() == qs(pageName)) return;
  for (QTreeWidgetItemIterator it(fTree); *it; ++it)
    if ((*it)->data(0, Qt::UserRole).toString() == qs(pageName)) {
      fTree->setCurrentItem(*it);
      return;
    }
}

void TfmMainFBH::requestStop() {
  fStopRequest = true;
  if (fDm.fd.busy()) fDm.fd.cancelWait();
}

void TfmMainFBH::clearStopRequest() {
  fStopRequest = false;
}

namespace {

std::string waitText(const TWaitState& s) {
  std::string text = s.command == 0 ? "Connecting to " + s.target
                                    : "Waiting for the answer to command " + std::to_string(s.command) + " from " + s.target;
  if (s.limitMs > 0) {
    char limit[32];
    std::snprintf(limit, sizeof limit, " (time limit %.1f s)", s.limitMs / 1000.0);
    text += limit;
  }
  return text + " ...";
}

}  // namespace

void TfmMainFBH::onEngineIdle(const TWaitState& state) {
  if (fInIdle) return;  // events run below must not start another round
  fInIdle = true;
  const QString text = qs(waitText(state));
  if (!fWaitShown || fWaitLabel->text() != text) {
    fWaitLabel->setText(text);
    fWaitLabel->show();
    fCancelWait->show();
    fCancelWait->setEnabled(true);
    fWaitShown = true;
  }
  fWaitHide->start();
  TMemTableModel::showAllSoFar();
  QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  fInIdle = false;
}

void TfmMainFBH::hideWait() {
  if (fDm.fd.busy()) {
    fWaitHide->start();
    return;
  }
  fWaitShown = false;
  fWaitLabel->hide();
  fCancelWait->hide();
}

// While the engine waits, the keyboard, the mouse and the wheel reach only the stop
// controls ("Cancel" and the page's Stop): nothing else may start, and a click is not
// kept for later either.
bool TfmMainFBH::isHeldOffInput(QObject* watched, QEvent* event) const {
  // Judged at the widget: the window system's event reaches the top-level window
  // first and must pass on, or the Cancel button would never get its click.
  if (!fInIdle || !watched->isWidgetType()) return false;
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
      return !isStopControl(watched);
    default:
      return false;
  }
}

bool TfmMainFBH::isStopControl(QObject* watched) const {
  for (QWidget* c : fStopControls)
    if (watched == c) return c->isVisible() && c->isEnabled();
  return false;
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

std::string TfmMainFBH::fieldCaption(const std::string& widget) {
  return fieldCaptionOf(findChild<QWidget*>(qs(widget)));
}

std::string TfmMainFBH::openFileName(const std::string& title, const std::string& filter) {
  return fFiles->openFile(title, filter);
}

std::string TfmMainFBH::saveFileName(const std::string& title, const std::string& filter,
                                     const std::string& suggestedName) {
  return fFiles->saveFile(title, filter, suggestedName);
}

void TfmMainFBH::processMessages() {
  TMemTableModel::showAllSoFar();
  QCoreApplication::processEvents();
}

void TfmMainFBH::showPage(const std::string& pageName) {
  TPage* w = page(pageName);
  if (!w) return;
  if (fPages->currentWidget() == w) return selectPageNode(pageName);
  if (!mayLeavePage()) return;
  // The tree names the page during its read, which may take a while on a slow line.
  selectPageNode(pageName);
  enterPage(w);
}

void TfmMainFBH::enterPage(TPage* w) {
  fPages->setCurrentWidget(w);
  data_Refresh();
}

bool TfmMainFBH::mayLeavePage() {
  // A lost connection takes the technician to the Connect page without asking: the
  // page comes back as typed after the reconnect.
  TPage* current = page(activePage());
  if (!FConnected || !current || !current->hasUnsavedEdits()) return true;
  const TPageRow* row = findPage(activePage());
  const std::string title = row ? QString(row->title).trimmed().toStdString() : activePage();
  bool leave = false;
  guarded("mayLeavePage", [&] { leave = fOps.ask(unsavedEditsQuestion(title), TITLE_KESTREL, true); });
  return leave;
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

void TfmMainFBH::set_TreeEnabled(bool on) { fTree->setEnabled(on); }

void TfmMainFBH::onTreeItem(QTreeWidgetItem* item, QTreeWidgetItem* previous) {
  if (!item || operationRunning()) return;
  TPage* w = page(ss(item->data(0, Qt::UserRole).toString()));
  if (!w || fPages->currentWidget() == w) return;
  if (mayLeavePage()) {
    // The click selects the node only once this handler returns: the tree names the
    // page already during its read.
    QSignalBlocker block(fTree);
    fTree->setCurrentItem(item);
    block.unblock();
    enterPage(w);
    return;
  }
  // The technician keeps the page: its node is selected again, once the click that
  // is still on its way through the tree has selected the other one.
  QMetaObject::invokeMethod(
      fTree,
      [this, previous] {
        QSignalBlocker block(fTree);
        fTree->setCurrentItem(previous);
      },
      Qt::QueuedConnection);
}

void TfmMainFBH::data_Refresh() {
  if (operationRunning()) return;
  const std::string current = activePage();
  const TPageRow* row = findPage(current);
  const std::string shown = row ? pageToShow(*row, fOps.ecrModel) : current;
  if (shown != current) {
    if (shown == PAGE_NONE) explainBlankPage(current);
    fPages->setCurrentWidget(page(shown));
    return;
  }
  if (!row || !*row->readOp) return;
  auto it = fReads.find(current);
  TPage* p = page(current);
  if (it != fReads.end()) guarded(row->readOp, it->second);
  else if (p) p->read();
  // What the read left on the page is the device's, also where it stopped early.
  if (p) p->markClean();
}

void TfmMainFBH::explainBlankPage(const std::string& wanted) {
  TPage* blank = page(PAGE_NONE);
  const TPageRow* row = findPage(wanted);
  if (!blank || !row) return;
  auto* why = blank->findChild<QLabel*>("lblBlankPage");
  if (!why) {
    why = new QLabel(blank);
    why->setObjectName("lblBlankPage");
    why->setWordWrap(true);
    blank->layout()->addWidget(why);
  }
  why->setText(QString("\"%1\" is empty for this device: fiscal printers have no programmable keys, "
                       "discount or surcharge keys and no clients. It is for cash registers.")
                   .arg(qs(row->title)));
}

void TfmMainFBH::OpraviControlite(bool Value) {
  TPage* current = page(activePage());
  if (!current) return;
  TPageFacts facts;
  const TLowLevel& ll = fDm.fd.dd()->LowLevel();
  facts.serialAndFMSet = ll.get_sBytesState(4, 2);
  facts.taxNumberSet = ll.get_sBytesState(4, 1);
  facts.fiscalMode = ll.get_sBytesState(5, 3);
  current->pageFacts(facts);
  const TControlPlan plan = controlPlan(findPage(activePage()), current->switchedButtons(), Value, facts);
  for (const auto& c : plan.controls)
    if (auto* w = current->findChild<QWidget*>(qs(c.name))) w->setEnabled(c.enabled);
  current->controlsEnabled(Value);
  repaint();
}

void TfmMainFBH::set_BitBtns(bool Value) {
  for (auto* b : fPages->findChildren<QPushButton*>()) b->setEnabled(Value);
}

void TfmMainFBH::set_ModelControls() {
  // Each page shows or hides its own model-dependent widgets.
  for (TPage* p : fPageList) p->modelChanged(fOps.ecrModel);
}

void TfmMainFBH::set_errorBitsToFalse() {
  TLowLevel& ll = fDm.fd.dd()->LowLevel();
  for (auto [b, i] : NON_ERROR_STATUS_BITS) ll.set_sBytesCheckingForAll(b, i, false);
}

void TfmMainFBH::connectionOpened() {
  for (TPage* p : fPageList) p->connectionOpened();
}

void TfmMainFBH::set_Model(const TModelRow* row) {
  fOps.ecrModel = -1;
  if (!row) {
    // The caption names a model only while connected to it.
    setWindowTitle(WINDOW_CAPTION);
    return;
  }
  fOps.ecrModel = row->index;
  setWindowTitle(row->caption);
  FMaxProgrammableKeys = row->MaxProgrammableKeys;
  testOperatorPassword = row->testOperatorPassword;
  for (TPage* p : fPageList) p->modelRecognised(*row);
}

bool TfmMainFBH::eventFilter(QObject* watched, QEvent* event) {
  // Escape stops the running operation, during a wait too; a dialog the operation
  // opened keeps its own Escape.
  if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape &&
      (operationRunning() || fDm.fd.busy()) && watched->isWidgetType() && !QApplication::activeModalWidget() &&
      static_cast<QWidget*>(watched)->window() == this) {
    requestStop();
    return true;
  }
  if (isHeldOffInput(watched, event)) return true;
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
    const int dy = static_cast<QWheelEvent*>(event)->angleDelta().y();
    if (dy != 0 && wheelToKeys(static_cast<QWidget*>(watched), dy)) return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

namespace {

// The choice list or number field the wheel turns over, if any: `w` itself or the box
// around its inner editor. Grids, lists, text areas and scroll areas keep their own
// scrolling, as does everything in another window (a combo box's open list, a file
// dialog).
QWidget* steppedByWheel(QWidget* w) {
  for (; w && !w->isWindow(); w = w->parentWidget()) {
    if (qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractSpinBox*>(w)) return w;
    if (qobject_cast<QAbstractScrollArea*>(w)) return nullptr;
  }
  return nullptr;
}

}  // namespace

bool TfmMainFBH::wheelToKeys(QWidget* watched, int delta) {
  QWidget* target = steppedByWheel(watched);
  // A disabled box takes no input; the wheel goes on to the page around it.
  if (!target || !target->isEnabled()) return false;
  if (target != fWheelTarget) {
    fWheelTarget = target;
    fWheelRest = 0;
  }
  // One step per notch (120), turned away from the user Up, towards the user Down.
  fWheelRest += delta;
  const int steps = fWheelRest / 120;
  fWheelRest -= steps * 120;
  for (int i = 0; i < std::abs(steps); ++i) {
    QKeyEvent key(QEvent::KeyPress, steps > 0 ? Qt::Key_Up : Qt::Key_Down, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &key);
  }
  return true;
}

// ------------------------------------------------------------------ connection state

void TfmMainFBH::SetConnected(bool Value) {
  try {
    FConnected = Value;
    if (!Value) setWindowTitle(WINDOW_CAPTION);
    set_BitBtns(Value);
    set_ModelControls();
    for (TPage* p : fPageList) p->connectionChanged(Value);
    fTree->setEnabled(Value);
  } catch (const std::exception& e) {
    alertException("SetConnected", e.what());
  }
  if (fTree->isVisible() && fTree->isEnabled()) fTree->setFocus();
}

}  // namespace kestrel
