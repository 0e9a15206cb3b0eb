#include "app/ui/main_fbh.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QScrollArea>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTextEdit>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <charconv>
#include <filesystem>
#include <stdexcept>

#include "app/logic/model_table.h"
#include "app/logic/page_table.h"
#include "app/ui/dm.h"
#include "engine/rs232_connector.h"
#include "engine/tcpip_connector.h"
#include "support/com_ports.h"

namespace kestrel {

// The Connect page's port box as the helper component fills it.
class TComPortsBox : public ComPortsCombo {
 public:
  explicit TComPortsBox(QComboBox* box) : fBox(box) {}
  void set_Items(const std::vector<std::string>& items) override {
    fBox->clear();
    for (const auto& i : items) fBox->addItem(QString::fromStdString(i));
  }

 private:
  QComboBox* fBox;
};

namespace {

// A status bit: shows the device's state and takes no input, yet stays readable (a
// disabled box would grey its caption out).
class TStatusBitBox : public QCheckBox {
 public:
  using QCheckBox::QCheckBox;

 protected:
  bool hitButton(const QPoint&) const override { return false; }
  void nextCheckState() override {}
};

constexpr const char* TITLE = "Kestrel";
constexpr const char* TREE_PAGE_ROLE = "page";

QString qs(const std::string& s) { return QString::fromStdString(s); }
std::string ss(const QString& s) { return s.toStdString(); }

// A whole decimal number in [minValue, maxValue]; anything else fails the way a
// conversion of the platform does.
long long toInteger(const std::string& text, long long minValue, long long maxValue) {
  long long v = 0;
  const char* b = text.data();
  const char* e = b + text.size();
  auto [p, ec] = std::from_chars(b, e, v);
  if (text.empty() || ec != std::errc() || p != e) throw std::runtime_error("'" + text + "' is not a valid integer value");
  if (v < minValue || v > maxValue)
    throw std::runtime_error("'" + text + "' is out of range (" + std::to_string(minValue) + " to " +
                             std::to_string(maxValue) + ")");
  return v;
}

QLineEdit* digitsEdit(const char* name, int maxLength, QWidget* parent) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(name);
  e->setMaxLength(maxLength);
  e->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), e));
  return e;
}

QFormLayout* formLayout(QWidget* parent) {
  auto* form = new QFormLayout(parent);
  form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
  form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
  form->setHorizontalSpacing(12);
  form->setVerticalSpacing(8);
  return form;
}

QLineEdit* outputEdit(const char* name, QWidget* parent) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(name);
  e->setReadOnly(true);
  return e;
}

// A page's content sits at the top left with a heading, as on every page.
QWidget* pageFrame(const char* page, const char* title, QWidget*& body) {
  auto* w = new QWidget;
  w->setObjectName(page);
  auto* v = new QVBoxLayout(w);
  v->setContentsMargins(16, 12, 16, 12);
  v->setSpacing(10);
  auto* heading = new QLabel(title, w);
  QFont f = heading->font();
  f.setBold(true);
  f.setPointSizeF(f.pointSizeF() * 1.3);
  heading->setFont(f);
  v->addWidget(heading);
  body = new QWidget(w);
  v->addWidget(body);
  v->addStretch(1);
  return w;
}

// A titled group at the left of `body` holding a form with right-aligned labels.
QFormLayout* formGroup(QWidget* body, const char* name, const char* title) {
  auto* h = new QHBoxLayout(body);
  h->setContentsMargins(0, 0, 0, 0);
  auto* box = new QGroupBox(title, body);
  box->setObjectName(name);
  box->setMinimumWidth(360);
  h->addWidget(box);
  h->addStretch(1);
  return formLayout(box);
}

}  // namespace

template <class F>
void TfmMainFBH::guarded(const char* method, F&& f) {
  try {
    f();
  } catch (const std::exception& e) {
    alertException(method, e.what());
  } catch (...) {
    alertException(method, "unknown exception");
  }
}

TfmMainFBH::TfmMainFBH(Tdm& dm, Dialogs* dialogs, FileChooser* files, QWidget* parent)
    : QMainWindow(parent), fDm(dm) {
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
  // Long packets show from their start; the rest scrolls into view.
  auto show = [](QLineEdit* e, const std::string& text) {
    e->setText(qs(text));
    e->setCursorPosition(0);
  };
  fDm.sendCommandView = [this, show](const TCommunicationEventArgs& a) { show(ed_HEXINPUT, Tdm::packetText(a)); };
  fDm.receiveAnswerView = [this, show](const TCommunicationEventArgs& a) {
    show(ed_OUTPUT, a.textValue);
    show(ed_HEXOUTPUT, Tdm::packetText(a));
  };
  fDm.statusView = [this] { showStatusBits(); };
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
    const std::string page = row.page;
    QWidget* w = nullptr;
    if (page == PAGE_CONNECT) w = buildConnectPage();
    else if (page == PAGE_STATUS) w = buildStatusPage();
    else if (page == PAGE_CUSTOM) w = buildCustomPage();
    else if (page == PAGE_SETTINGS) w = buildSettingsPage();
    else w = buildTitlePage(row.page, row.title);
    fPages->addWidget(w);
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

QWidget* TfmMainFBH::buildTitlePage(const char* page, const char* title) {
  QWidget* body = nullptr;
  QWidget* w = pageFrame(page, title, body);
  return w;
}

QWidget* TfmMainFBH::buildConnectPage() {
  QWidget* body = nullptr;
  QWidget* w = pageFrame(PAGE_CONNECT, "Connect/Disconnect", body);
  QFormLayout* form = formGroup(body, "grpConnection", "Connection");
  QWidget* box = form->parentWidget();

  cbxCOM = new QComboBox(box);
  cbxCOM->setObjectName("cbxCOM");
  // A pseudo-terminal or another device path can be typed in.
  cbxCOM->setEditable(true);
  cbxCOM->setInsertPolicy(QComboBox::NoInsert);
  for (int i = 1; i <= 20; ++i) cbxCOM->addItem(QString("COM %1").arg(i));
  cbxCOM->setCurrentIndex(1);
  cbxSPEED = new QComboBox(box);
  cbxSPEED->setObjectName("cbxSPEED");
  cbxSPEED->addItems({"1200", "2400", "4800", "9600", "14400", "19200", "38400", "56000", "57600", "115200"});
  cbxSPEED->setCurrentText("115200");
  chbxTCP = new QCheckBox("TCP/IP", box);
  chbxTCP->setObjectName("chbxTCP");
  edIPaddr = new QLineEdit(box);
  edIPaddr->setObjectName("edIPaddr");
  edIPaddr->setMaxLength(15);
  edIPaddr->setEnabled(false);
  edPort = new QLineEdit("4999", box);
  edPort->setObjectName("edPort");
  edPort->setMaxLength(15);
  edPort->setEnabled(false);
  btnConnect = new QPushButton("Connect", box);
  btnConnect->setObjectName("btnConnect");
  btnConnect->setMinimumWidth(120);

  form->addRow("COM port:", cbxCOM);
  form->addRow("Speed:", cbxSPEED);
  form->addRow(QString(), chbxTCP);
  form->addRow("IP:", edIPaddr);
  form->addRow("Port:", edPort);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btnConnect);
  form->addRow(buttons);

  fComPorts = std::make_unique<TComPortsBox>(cbxCOM);
  connect(chbxTCP, &QCheckBox::clicked, this, [this] { chbxTCPClick(); });
  connect(btnConnect, &QPushButton::clicked, this, [this] { btnConnectClick(); });
  return w;
}

QWidget* TfmMainFBH::buildStatusPage() {
  QWidget* body = nullptr;
  QWidget* w = pageFrame(PAGE_STATUS, "Device status", body);
  auto* grid = new QGridLayout(body);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setHorizontalSpacing(10);
  grid->setVerticalSpacing(6);
  for (int b = 0; b < 8; ++b) {
    auto* box = new QGroupBox(QString("Byte %1").arg(b), body);
    box->setObjectName(QString("grpByte%1").arg(b));
    auto* v = new QVBoxLayout(box);
    v->setContentsMargins(8, 4, 8, 4);
    v->setSpacing(0);
    for (int bit = 7; bit >= 0; --bit) {
      auto* c = new TStatusBitBox("Not used.", box);
      c->setObjectName(QString("chbx_S%1_%2").arg(b).arg(bit));
      c->setFocusPolicy(Qt::NoFocus);
      v->addWidget(c);
      fBits[b][bit] = c;
    }
    fByteBoxes[b] = box;
    grid->addWidget(box, b / 2, b % 2);
  }
  grid->setColumnStretch(0, 1);
  grid->setColumnStretch(1, 1);
  return w;
}

QWidget* TfmMainFBH::buildCustomPage() {
  QWidget* body = nullptr;
  QWidget* w = pageFrame(PAGE_CUSTOM, "Custom command", body);
  QFormLayout* form = formLayout(body);
  form->setContentsMargins(0, 0, 0, 0);
  ed_CMD = digitsEdit("ed_CMD", 5, body);
  ed_CMD->setMaximumWidth(100);
  ed_INP_STR = new QLineEdit(body);
  ed_INP_STR->setObjectName("ed_INP_STR");
  auto* hint1 = new QLabel("The TAB and Line Feed characters", body);
  hint1->setObjectName("lbHint1");
  auto* hint2 = new QLabel("can be passed with [\\t] and [\\lf] or [tab], [lf]", body);
  hint2->setObjectName("lbHint2");
  for (auto* l : {hint1, hint2}) l->setStyleSheet("color: palette(mid);");
  ed_HEXINPUT = outputEdit("ed_HEXINPUT", body);
  ed_OUTPUT = outputEdit("ed_OUTPUT", body);
  ed_HEXOUTPUT = outputEdit("ed_HEXOUTPUT", body);
  bbtnExecute = new QPushButton("Execute", body);
  bbtnExecute->setObjectName("bbtnExecute");
  bbtnExecute->setMinimumWidth(120);

  form->addRow("Command:", ed_CMD);
  form->addRow("Data:", ed_INP_STR);
  form->addRow(QString(), hint1);
  form->addRow(QString(), hint2);
  form->addRow("Input (HEX):", ed_HEXINPUT);
  form->addRow("Output:", ed_OUTPUT);
  form->addRow("Output (HEX):", ed_HEXOUTPUT);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(bbtnExecute);
  form->addRow(buttons);
  connect(bbtnExecute, &QPushButton::clicked, this, [this] { bbtnExecuteClick(); });
  return w;
}

QWidget* TfmMainFBH::buildSettingsPage() {
  QWidget* body = nullptr;
  QWidget* w = pageFrame(PAGE_SETTINGS, "Settings", body);
  QFormLayout* form = formGroup(body, "grpKestrelSettings", "Kestrel settings");
  QWidget* box = form->parentWidget();
  chbxSettingDelItemsZ = new QCheckBox("Delete items after Z report", box);
  chbxSettingDelItemsZ->setObjectName("chbxSettingDelItemsZ");
  edDelFromPLU = digitsEdit("edDelFromPLU", 5, box);
  edDelFromPLU->setText("1");
  edDelToPLU = digitsEdit("edDelToPLU", 5, box);
  edDelToPLU->setText("99999");
  edDelServPass = digitsEdit("edDelServPass", 8, box);
  for (auto* e : {edDelFromPLU, edDelToPLU, edDelServPass}) {
    e->setEnabled(false);
    e->setMaximumWidth(120);
  }
  form->addRow(chbxSettingDelItemsZ);
  form->addRow("From PLU:", edDelFromPLU);
  form->addRow("To PLU:", edDelToPLU);
  form->addRow("Service password:", edDelServPass);
  connect(chbxSettingDelItemsZ, &QCheckBox::clicked, this, [this] { chbxSettingDelItemsZClick(); });
  connect(edDelFromPLU, &QLineEdit::textChanged, this, [this] { edDelFromPLUChange(); });
  connect(edDelToPLU, &QLineEdit::textChanged, this, [this] { edDelToPLUChange(); });
  connect(edDelServPass, &QLineEdit::textChanged, this, [this] { edDelServPassChange(); });
  return w;
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
  ecrModel = 0;
  FShowErr = true;
  msg_DataSavedToEcr = "The data was saved in the device.";
  msgAreUsure = "Are you sure?";
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
    fDm.misc.set_comPortsCombo(fComPorts.get());
    fDm.misc.fill_ComPortsCombo();
    if (cbxCOM->count() > 1) cbxCOM->setCurrentIndex(1);
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
  } catch (...) {
  }
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

void TfmMainFBH::showPage(const std::string& page) {
  QWidget* w = fPages->findChild<QWidget*>(qs(page), Qt::FindDirectChildrenOnly);
  if (!w) return;
  // Select the first node of the page without running the tree's handler again.
  {
    QSignalBlocker block(fTree);
    for (QTreeWidgetItemIterator it(fTree); *it; ++it)
      if ((*it)->data(0, Qt::UserRole).toString() == qs(page)) {
        fTree->setCurrentItem(*it);
        break;
      }
  }
  const bool changed = fPages->currentWidget() != w;
  fPages->setCurrentWidget(w);
  if (changed) data_Refresh();
}

void TfmMainFBH::onTreeItem(QTreeWidgetItem* item) {
  if (!item) return;
  showPage(ss(item->data(0, Qt::UserRole).toString()));
}

void TfmMainFBH::data_Refresh() {
  const std::string page = activePage();
  const std::string shown = pageToShow(page, ecrModel);
  if (shown != page) {
    fPages->setCurrentWidget(fPages->findChild<QWidget*>(qs(shown), Qt::FindDirectChildrenOnly));
    return;
  }
  const TPageRow* row = findPage(page);
  if (!row || !*row->readOp) return;
  auto it = fReads.find(page);
  if (it == fReads.end()) return;
  guarded(row->readOp, it->second);
}

void TfmMainFBH::OpraviControlite(bool Value) {
  QWidget* page = fPages->currentWidget();
  if (!page) return;
  TPageFacts facts;
  const TLowLevel& ll = fDm.fd.dd()->LowLevel();
  facts.serialAndFMSet = ll.get_sBytesState(4, 2);
  facts.taxNumberSet = ll.get_sBytesState(4, 1);
  facts.fiscalMode = ll.get_sBytesState(5, 3);
  if (auto* journal = page->findChild<QPlainTextEdit*>()) facts.journalHasLines = journal->blockCount() > 0 && !journal->document()->isEmpty();
  const TControlPlan plan = controlPlan(activePage(), Value, facts);
  for (const auto& c : plan.controls)
    if (auto* w = page->findChild<QWidget*>(qs(c.name))) w->setEnabled(c.enabled);
  if (plan.changesWorking) Working = plan.working;
  repaint();
}

bool TfmMainFBH::StatusUpdate() {
  set_StatusMessage(QString());
  const TVerdict v = commandVerdict(fDm.errContainer.LastErrorCode(), FShowErr);
  try {
    if (v.show == TVerdictShow::Alert) fDm.misc.show_MyAlert(fDm.errContainer.LastErrorMessage());
    else if (v.show == TVerdictShow::StatusBar) set_StatusMessage(qs(fDm.errContainer.LastErrorMessage()));
  } catch (...) {
  }
  return v.ok;
}

void TfmMainFBH::set_BitBtns(bool Value) {
  for (auto* b : fPages->findChildren<QPushButton*>()) b->setEnabled(Value);
}

void TfmMainFBH::set_ModelControls() {
  auto setEnabled = [this](const char* name, bool on) {
    if (auto* w = fPages->findChild<QWidget*>(name)) w->setEnabled(on);
  };
  auto setVisible = [this](const char* name, bool on) {
    if (auto* w = fPages->findChild<QWidget*>(name)) w->setVisible(on);
  };
  setEnabled("bbtnStopRead", false);
  setEnabled("bbtnStopKLdate", false);
  const bool printer = isPrinterGroup(ecrModel);
  setVisible("chbxPrintAfterPay_ECR", !printer);
  setVisible("grpECRsComms", !printer);
  setVisible("grpFPsComms", printer);
  setVisible("cbxPaperCuttingType", printer);
  setVisible("chbxAutoPaperCut", printer);
  // The label of the cutting box is the one that names it as its buddy.
  if (auto* box = fPages->findChild<QWidget*>("cbxPaperCuttingType"))
    for (auto* l : fPages->findChildren<QLabel*>())
      if (l->buddy() == box) l->setVisible(printer);
}

void TfmMainFBH::set_StatusBitCaptions() {
  for (int b = 0; b < 8; ++b)
    for (int i = 0; i < 8; ++i) {
      fBits[b][i]->setText("Not used.");
      QFont f = fBits[b][i]->font();
      f.setBold(false);
      fBits[b][i]->setFont(f);
    }
  const TLowLevel& ll = fDm.fd.dd()->LowLevel();
  const int count = std::min(8, ll.statusBytes().ByteCountInUse());
  for (int b = 0; b < count; ++b)
    for (int i = 0; i < 8; ++i) {
      fBits[b][i]->setText(qs(ll.get_sBytesDescription(b, i)));
      QFont f = fBits[b][i]->font();
      f.setBold(ll.get_sBytesCheckingFor(b, i, ccEndUser));
      fBits[b][i]->setFont(f);
    }
  const bool eight = ll.ProtocolType() == protocol_Type2;
  fByteBoxes[6]->setVisible(eight);
  fByteBoxes[7]->setVisible(eight);
  repaint();
}

void TfmMainFBH::set_errorBitsToFalse() {
  TLowLevel& ll = fDm.fd.dd()->LowLevel();
  for (auto [b, i] : NON_ERROR_STATUS_BITS) ll.set_sBytesCheckingForAll(b, i, false);
}

void TfmMainFBH::showStatusBits() {
  try {
    const TLowLevel& ll = fDm.fd.dd()->LowLevel();
    for (int b = 0; b < 8; ++b)
      for (int i = 0; i < 8; ++i) fBits[b][i]->setChecked(ll.get_sBytesState(b, i));
  } catch (...) {
    // The boxes already set keep their state; nothing to report.
  }
}

// The Items and Clients pages bring their buttons; until they exist there is nothing to
// refresh.
void TfmMainFBH::ArticlesControls() {}
void TfmMainFBH::ClientsControls() {}

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

// ------------------------------------------------------------------ connection

void TfmMainFBH::chbxTCPClick() {
  const bool tcp = chbxTCP->isChecked();
  edIPaddr->setEnabled(tcp);
  edPort->setEnabled(tcp);
  cbxCOM->setEnabled(!tcp);
  cbxSPEED->setEnabled(!tcp);
}

void TfmMainFBH::presetTCP(const std::string& address, uint16_t port) {
  chbxTCP->setChecked(true);
  chbxTCPClick();
  edIPaddr->setText(qs(address));
  edPort->setText(QString::number(port));
}

void TfmMainFBH::SetConnected(bool Value) {
  try {
    FConnected = Value;
    btnConnect->setText(Value ? "Disconnect" : "Connect");
    set_BitBtns(Value);
    set_ModelControls();
    btnConnect->setEnabled(true);
    fTree->setEnabled(Value);
  } catch (const std::exception& e) {
    alertException("SetConnected", e.what());
  }
  if (fTree->isVisible() && fTree->isEnabled()) fTree->setFocus();
}

void TfmMainFBH::btnConnectClick() {
  btnConnect->setEnabled(false);
  guarded("btnConnectClick", [this] {
    if (Connected()) {
      destroyFP();
      SetConnected(false);
      return;
    }
    set_StatusMessage(" Connecting ... ");
    const bool ok = connectFP();
    SetConnected(ok);
    if (ok) {
      showPage(PAGE_CLICHE);
      if (QTreeWidgetItem* node1 = fTree->topLevelItem(0) ? fTree->topLevelItem(0)->child(0) : nullptr) {
        QSignalBlocker block(fTree);
        fTree->setCurrentItem(node1);
      }
      set_StatusMessage("Connected.");
      ArticlesControls();
      loadSettings();
    } else {
      destroyFP();
      SetConnected(false);
    }
  });
  btnConnect->setEnabled(true);
}

bool TfmMainFBH::connectFP() {
  TFiscalDevice& fd = fDm.fd;
  TFDConnector* opened = nullptr;
  std::string detail;
  try {
    fd.dd()->i90().getAfterConnect = true;
    int code = 0;
    if (chbxTCP->isChecked()) {
      fd.set_CommunicationType(ct_TCPIP);
      fd.TCPIP()->set_Address(ss(edIPaddr->text()));
      fd.TCPIP()->set_port(static_cast<uint16_t>(toInteger(ss(edPort->text()), 0, 65535)));
      opened = fd.TCPIP();
      try {
        code = fd.TCPIP()->openConnection();
      } catch (...) {
        detail = fd.TCPIP()->lastOpenError();
        throw;
      }
      detail = fd.TCPIP()->lastOpenError();
    } else {
      fd.set_CommunicationType(ct_RS232);
      const std::string entry = ss(cbxCOM->currentText().trimmed());
      TRS232Connector& serial = *fd.RS232();
      // "COM 12" is port 12; a typed device path (a pseudo-terminal, /dev/ttyUSB0) is
      // opened as it is.
      const int number = fDm.misc.comPortsUsage().calculate_FromText(entry);
      if (number >= 0) {
        serial.portName.clear();
        serial.port = number;
      } else {
        std::string device = fDm.misc.comPortsUsage().deviceOf(entry);
        if (device.empty()) throw std::runtime_error("'" + entry.substr(std::min<size_t>(4, entry.size())) + "' is not a valid integer value");
        serial.portName = device;
      }
      serial.baudRate = static_cast<int32_t>(toInteger(ss(cbxSPEED->currentText()), 1, INT32_MAX));
      opened = &serial;
      try {
        code = serial.openConnection();
      } catch (...) {
        detail = serial.lastOpenError();
        throw;
      }
      detail = serial.lastOpenError();
    }
    fDm.errContainer.set_LastErrorCode(code);
    if (fDm.errContainer.LastErrorCode() != 0) {
      std::string text = fDm.errContainer.LastErrorMessage();
      if (!detail.empty()) text += "\n" + detail;
      fDm.misc.show_MyAlert(text);
      return false;
    }
    if (!opened->Active()) return false;
    return connectFPcmd90();
  } catch (const std::exception& e) {
    std::string text = e.what();
    if (!detail.empty()) text += "\n" + detail;
    try {
      fDm.misc.myAlert(text, TITLE, inf_OkBtn);
    } catch (...) {
    }
    return false;
  }
}

bool TfmMainFBH::connectFPcmd90() {
  bool result = false;
  try {
    std::string answer;
    fDm.fd.customCommand(90, "\t", answer);
    if (!StatusUpdate()) return false;
    result = true;
    ecrModel = -1;
    if (const TModelRow* row = findModel(fDm.fd.dd()->i90().shNNNNNN)) {
      ecrModel = row->index;
      setWindowTitle(row->caption);
      FMaxProgrammableKeys = row->MaxProgrammableKeys;
      testOperatorPassword = row->testOperatorPassword;
      for (const char* name : {"ledTestOperPassSale", "ledTestOperPassStorno"})
        if (auto* e = fPages->findChild<QLineEdit*>(name)) e->setText(row->testOperatorPassword);
    } else {
      fDm.misc.show_MyAlert(UNSUPPORTED_MODEL_MESSAGE);
    }
  } catch (const std::exception& e) {
    alertException("connectFPcmd90", e.what());
  }
  return result;
}

void TfmMainFBH::destroyFP() {
  try {
    if (fDm.fd.CommunicationType() == ct_TCPIP) fDm.fd.TCPIP()->closeConnection();
    else fDm.fd.RS232()->closeConnection();
  } catch (...) {
  }
  try {
    SetConnected(false);
  } catch (...) {
  }
}

// ------------------------------------------------------------------ settings

void TfmMainFBH::loadSettings() {
  loadingSettings = true;
  try {
    if (fIniSettingFile) {
      const TFBHSettings s = fIniSettingFile->load();
      FDeleteItemsAFterZrep = s.DelItemsOnZ;
      edDelFromPLU->setText(qs(s.delete_FromPLU));
      edDelToPLU->setText(qs(s.delete_ToPLU));
      edDelServPass->setText(qs(s.delete_ServicePass));
      for (auto* e : {edDelFromPLU, edDelToPLU, edDelServPass}) e->setEnabled(FDeleteItemsAFterZrep);
      chbxSettingDelItemsZ->setChecked(FDeleteItemsAFterZrep);
    }
  } catch (...) {
    // The page keeps what was filled so far.
  }
  loadingSettings = false;
}

void TfmMainFBH::saveSettings() {
  try {
    if (!fIniSettingFile) return;
    TFBHSettings s;
    s.DelItemsOnZ = chbxSettingDelItemsZ->isChecked();
    s.delete_FromPLU = ss(edDelFromPLU->text());
    s.delete_ToPLU = ss(edDelToPLU->text());
    s.delete_ServicePass = ss(edDelServPass->text());
    fIniSettingFile->save(s);
  } catch (...) {
  }
}

void TfmMainFBH::chbxSettingDelItemsZClick() {
  if (loadingSettings) return;
  FDeleteItemsAFterZrep = chbxSettingDelItemsZ->isChecked();
  for (auto* e : {edDelFromPLU, edDelToPLU, edDelServPass}) e->setEnabled(FDeleteItemsAFterZrep);
  saveSettings();
}

void TfmMainFBH::edDelFromPLUChange() {
  if (loadingSettings) return;
  const QString fixed = qs(checkedPLUText(ss(edDelFromPLU->text()), "1"));
  if (fixed != edDelFromPLU->text()) {
    edDelFromPLU->setText(fixed);  // runs this handler again, which saves
    return;
  }
  saveSettings();
}

void TfmMainFBH::edDelToPLUChange() {
  if (loadingSettings) return;
  const QString fixed = qs(checkedPLUText(ss(edDelToPLU->text()), "99999"));
  if (fixed != edDelToPLU->text()) {
    edDelToPLU->setText(fixed);
    return;
  }
  saveSettings();
}

void TfmMainFBH::edDelServPassChange() {
  if (loadingSettings) return;
  saveSettings();
}

// ------------------------------------------------------------------ custom command

void TfmMainFBH::bbtnExecuteClick() {
  if (ed_CMD->text().isEmpty()) return;
  if (fDm.misc.myQuestion(msgAreUsure, "Custom command", qstn_YesNo_SBtn) != mrYes) return;
  TFiscalDevice& fd = fDm.fd;
  set_ShowErr(false);
  fd.RS232()->Sniffer()->Active = true;
  fd.TCPIP()->Sniffer()->Active = true;
  try {
    const auto command = static_cast<uint16_t>(toInteger(ss(ed_CMD->text()), 0, 65535));
    const std::string input = fDm.misc.prepare_InputForSpecialSymbols(ss(ed_INP_STR->text()));
    std::string answer;
    fd.customCommand(command, input, answer);
    if (StatusUpdate()) set_StatusMessage("Command executed.");
  } catch (const std::exception& e) {
    try {
      fDm.misc.myAlert(exceptionText("bbtnExecuteClick", e.what()), TITLE, inf_OkBtn);
    } catch (...) {
    }
  }
  fd.RS232()->Sniffer()->Active = false;
  fd.TCPIP()->Sniffer()->Active = false;
  set_ShowErr(true);
}

}  // namespace kestrel
