#include "app/logic/device_ops.h"
#include "app/ui/pages/connect_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QAbstractItemView>
#include <QCoreApplication>
#include <QProgressDialog>
#include <QPushButton>
#include <algorithm>
#include <stdexcept>

#include "app/logic/device_search.h"
#include "app/logic/model_table.h"
#include "app/logic/page_table.h"
#include "app/ui/core/dm.h"
#include "app/ui/core/form_helpers.h"
#include "support/com_ports.h"

namespace kestrel {

// The port box as the helper component fills it.
class TComPortsBox : public ComPortsCombo {
 public:
  explicit TComPortsBox(QComboBox* box) : fBox(box) {}
  void set_Items(const std::vector<std::string>& items) override {
    fBox->clear();
    for (const auto& i : items) fBox->addItem(qs(i));
    // The stable names are long: the open list shows them whole.
    fBox->view()->setMinimumWidth(fBox->view()->sizeHintForColumn(0) + 24);
  }

 private:
  QComboBox* fBox;
};

TConnectPage::TConnectPage(TPageShell& shell, const TPageRow& pageRow) : TPage(shell, pageRow) {
  QGroupBox* box = nullptr;
  QFormLayout* form = formBox(this, "grpConnection", "Connection", &box);
  box->setMinimumWidth(480);
  auto* row = new QHBoxLayout;
  row->addWidget(box);
  row->addStretch(1);
  content()->addLayout(row);

  cbxCOM = new QComboBox(box);
  cbxCOM->setObjectName("cbxCOM");
  // A pseudo-terminal or another device path can be typed in.
  cbxCOM->setEditable(true);
  cbxCOM->setInsertPolicy(QComboBox::NoInsert);
  // Room for an entry with its device or product name.
  cbxCOM->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  cbxCOM->setMinimumContentsLength(34);
  for (int i = 1; i <= 20; ++i) cbxCOM->addItem(QString("COM %1").arg(i));
  cbxCOM->setCurrentIndex(1);
  cbxSPEED = choiceBox("cbxSPEED", {"1200", "2400", "4800", "9600", "14400", "19200", "38400", "56000", "57600", "115200"},
                       9, box);
  chbxTCP = checkBox("chbxTCP", "TCP/IP", box);
  edIPaddr = textEdit("edIPaddr", 15, box);
  edIPaddr->setEnabled(false);
  edPort = textEdit("edPort", 15, box);
  edPort->setText("4999");
  edPort->setEnabled(false);
  btnConnect = pushButton("btnConnect", "Connect", box);
  btnFindDevice = pushButton("btnFindDevice", "Find device", box);

  form->addRow("COM port:", cbxCOM);
  form->addRow("Speed:", cbxSPEED);
  form->addRow(QString(), chbxTCP);
  form->addRow("IP:", edIPaddr);
  form->addRow("Port:", edPort);
  form->addRow(buttonRow({btnConnect, btnFindDevice}));

  fComPorts = std::make_unique<TComPortsBox>(cbxCOM);
  connect(chbxTCP, &QCheckBox::clicked, this, [this] { chbxTCPClick(); });
  connect(btnConnect, &QPushButton::clicked, this, [this] { btnConnectClick(); });
  // Enter in a connection field connects, as the button would.
  for (QLineEdit* e : {edIPaddr, edPort, cbxCOM->lineEdit()})
    connect(e, &QLineEdit::returnPressed, this, [this] {
      if (!this->shell().Connected() && btnConnect->isEnabled()) btnConnectClick();
    });
  connect(btnFindDevice, &QPushButton::clicked, this, [this] { guarded("btnFindDeviceClick", [this] { btnFindDeviceClick(); }); });
}

namespace {

// Each port with what happened there, then what to do next.
std::string searchFailureText(const TLoopOutcome& outcome, const std::vector<std::pair<std::string, std::string>>& tried,
                              const std::vector<TSearchFinding>& findings) {
  const bool stopped = outcome.stopped();
  std::string text = stopped ? outcome.closingMessage(DEVICE_SEARCH) + " No device found so far." : "No device found.";
  if (!tried.empty()) text += "\r\nTried:";
  for (const auto& [where, speeds] : tried) {
    std::string what = speeds.empty() ? "no answer" : "no answer at " + speeds + " baud";
    for (const TSearchFinding& f : findings)
      if (!f.message.empty() && (f.target.tcp ? f.target.label() : f.target.port) == where) what = f.message;
    text += "\r\n  " + where + ": " + what;
  }
  // Ports that could not be opened at all are findings without an attempt.
  for (const TSearchFinding& f : findings) {
    const std::string where = f.target.tcp ? f.target.label() : f.target.port;
    const bool listed = std::any_of(tried.begin(), tried.end(), [&](const auto& t) { return t.first == where; });
    if (!listed && !f.message.empty()) text += "\r\n  " + where + ": " + f.message;
  }
  text += stopped ? "\r\nPress \"Find device\" again to search the remaining ports."
                  : "\r\nCheck that the device is switched on and its cable is plugged in (another program "
                    "may hold the port), or type the port or the IP address and port and press \"Connect\".";
  return text;
}

// The window as the search's host: its events run between attempts, and the progress
// dialog's "Stop" is the stop request.
class TSearchHost : public PageHost {
 public:
  TSearchHost(PageHost& window, const QProgressDialog& progress) : fWindow(window), fProgress(progress) {}
  void set_StatusText(const std::string& text) override { fWindow.set_StatusText(text); }
  std::string openFileName(const std::string&, const std::string&) override { return {}; }
  std::string saveFileName(const std::string&, const std::string&, const std::string&) override { return {}; }
  void processMessages() override { QCoreApplication::processEvents(); }
  bool stopRequested() override { return fProgress.wasCanceled() || fWindow.stopRequested(); }

 private:
  PageHost& fWindow;
  const QProgressDialog& fProgress;
};

}  // namespace

void TConnectPage::btnFindDeviceClick() {
  if (shell().Connected()) {
    dm().misc.show_MyInfo("Disconnect first: the search opens the ports itself.");
    return;
  }
  TSearchOptions o;
  const std::string typed = ss(cbxCOM->currentText().trimmed());
  TComPortsUsage usage;
  auto addPort = [&](const std::string& entry) {
    const std::string path = usage.deviceOf(entry);
    if (!path.empty() && std::find(o.ports.begin(), o.ports.end(), path) == o.ports.end()) o.ports.push_back(path);
  };
  addPort(typed);
  for (int i = 0; i < cbxCOM->count(); ++i) addPort(ss(cbxCOM->itemText(i)));
  if (chbxTCP->isChecked() && !edIPaddr->text().trimmed().isEmpty()) {
    o.tcpHost = ss(edIPaddr->text().trimmed());
    o.tcpPort = static_cast<uint16_t>(edPort->text().toUInt());
    if (o.tcpPort == 0) o.tcpPort = 4999;
  }
  o.stopAtFirst = true;

  // The dialog belongs to the window, not to this page: the page is disabled while the
  // search runs and would grey out its "Stop" with it.
  QProgressDialog progress("Looking for a device...", "Stop", 0, 1, window());
  progress.setObjectName("dlgFindDevice");
  progress.setWindowTitle("Find device");
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(0);
  // What was tried where, for the message of a search that found nothing.
  std::vector<std::pair<std::string, std::string>> tried;
  o.onAttempt = [&](const TSearchTarget& t, int index, int total) {
    const std::string where = t.tcp ? t.label() : t.port;
    if (tried.empty() || tried.back().first != where) tried.push_back({where, ""});
    if (!t.tcp) tried.back().second += (tried.back().second.empty() ? "" : ", ") + std::to_string(t.baud);
    progress.setMaximum(std::max(total, 1));
    progress.setValue(index - 1);
    progress.setLabelText(qs("Trying " + t.label() + "..."));
    QCoreApplication::processEvents();
  };
  // The dialog's "Stop" (and its Escape) is the search's stop request.
  TSearchHost host(shell(), progress);
  o.host = &host;
  setEnabled(false);
  const TSearchResult result = searchDevices(o);
  setEnabled(true);
  progress.reset();

  std::string problems;
  for (const TSearchFinding& f : result.findings)
    if (f.outcome != TSearchOutcome::Found && !f.message.empty()) problems += "\r\n" + f.message;
  const TSearchFinding* device = result.device();
  if (!device) {
    dm().misc.show_MyAlert(searchFailureText(result.outcome, tried, result.findings));
    return;
  }
  const TSearchTarget& t = device->target;
  chbxTCP->setChecked(t.tcp);
  chbxTCPClick();
  if (t.tcp) {
    edIPaddr->setText(qs(t.host));
    edPort->setText(QString::number(t.tcpPort));
  } else {
    int entry = -1;
    for (int i = 0; i < cbxCOM->count() && entry < 0; ++i)
      if (usage.deviceOf(ss(cbxCOM->itemText(i))) == t.port) entry = i;
    if (entry >= 0) cbxCOM->setCurrentIndex(entry);
    else cbxCOM->setEditText(qs(t.port));
    if (const int i = cbxSPEED->findText(QString::number(t.baud)); i >= 0) cbxSPEED->setCurrentIndex(i);
  }
  dm().misc.show_MyInfo("Found " + (device->model.empty() ? std::string("a device") : device->model) +
                        (device->serial.empty() ? std::string() : ", serial " + device->serial) + ", on " + t.label() +
                        "." + problems);
}

TConnectPage::~TConnectPage() = default;

void TConnectPage::modelChanged(int) {
  // The first call (the window's first showing) fills the port list.
  if (fPortsFilled) return;
  fPortsFilled = true;
  dm().misc.set_comPortsCombo(fComPorts.get());
  dm().misc.fill_ComPortsCombo();
  if (cbxCOM->count() > 1) cbxCOM->setCurrentIndex(1);
}

void TConnectPage::chbxTCPClick() {
  const bool tcp = chbxTCP->isChecked();
  edIPaddr->setEnabled(tcp);
  edPort->setEnabled(tcp);
  cbxCOM->setEnabled(!tcp);
  cbxSPEED->setEnabled(!tcp);
}

void TConnectPage::presetTCP(const std::string& address, uint16_t port) {
  fPreset = true;
  chbxTCP->setChecked(true);
  chbxTCPClick();
  edIPaddr->setText(qs(address));
  edPort->setText(QString::number(port));
}

void TConnectPage::restoreConnection(const TConnectionSettings& c) {
  if (fPreset) return;
  chbxTCP->setChecked(c.tcp);
  chbxTCPClick();
  // A port listed now is selected; another one (a typed path, an adapter not plugged
  // in) stands as typed.
  const QString entry = qs(c.comPort);
  if (const int i = cbxCOM->findText(entry); i >= 0) cbxCOM->setCurrentIndex(i);
  else if (!entry.isEmpty()) cbxCOM->setEditText(entry);
  cbxCOM->lineEdit()->setCursorPosition(0);
  if (const int i = cbxSPEED->findText(qs(c.speed)); i >= 0) cbxSPEED->setCurrentIndex(i);
  edIPaddr->setText(qs(c.address));
  if (!c.port.empty()) edPort->setText(qs(c.port));
}

TConnectionSettings TConnectPage::connectionShown() const {
  TConnectionSettings c;
  c.tcp = chbxTCP->isChecked();
  c.comPort = ss(cbxCOM->currentText().trimmed());
  c.speed = ss(cbxSPEED->currentText());
  c.address = ss(edIPaddr->text().trimmed());
  c.port = ss(edPort->text().trimmed());
  return c;
}

void TConnectPage::alertFailure(const std::string& text, bool titled) {
  fFailure = ss(qs(text).replace('\n', " - "));
  if (titled) dm().misc.myAlert(text, TITLE_KESTREL, inf_OkBtn);
  else dm().misc.show_MyAlert(text);
}

void TConnectPage::btnConnectClick() {
  btnConnect->setEnabled(false);
  shell().guarded("btnConnectClick", [this] {
    if (shell().Connected()) {
      destroyFP();
      shell().SetConnected(false);
      // The last command's message belonged to the connection that is gone.
      shell().set_StatusMessage("Disconnected.");
      return;
    }
    const QString connecting = " Connecting ... ";
    shell().set_StatusMessage(connecting);
    fFailure.clear();
    const bool ok = connectFP();
    shell().SetConnected(ok);
    if (ok) {
      if (!shell().returnToPageAtLoss()) {
        shell().selectTreeNode(1);  // "Date, header & footer", not its parent
        shell().showPage(PAGE_CLICHE);
      }
      // A read that ended early (stopped, refused) keeps its own message in the bar.
      if (shell().statusMessage().trimmed().isEmpty() || shell().statusMessage() == connecting)
        shell().set_StatusMessage("Connected.");
      shell().connectionOpened();
      if (TSettingsFile* file = shell().FIniSettingFile())
        shell().checkSettingsSaved(file->saveConnection(connectionShown()));
    } else {
      // The identification's refusal was shown by the verdict, which cleared the bar.
      std::string failure = fFailure;
      if (failure.empty() && dm().errContainer.LastErrorCode() != 0) failure = dm().errContainer.LastErrorMessage();
      destroyFP();
      shell().SetConnected(false);
      shell().set_StatusText(failure.empty() ? "Disconnected." : failure);
    }
  });
  btnConnect->setEnabled(true);
}

bool TConnectPage::connectFP() {
  try {
    TLinkDescription link;
    link.diagnosticOnOpen = true;
    if (chbxTCP->isChecked()) {
      link.tcp = true;
      link.host = ss(edIPaddr->text());
      link.tcpPort = static_cast<uint16_t>(toInteger(ss(edPort->text()), 0, 65535));
    } else {
      const std::string entry = ss(cbxCOM->currentText().trimmed());
      // "COM 12" is port 12; a typed device path (a pseudo-terminal, /dev/ttyUSB0) is
      // opened as it is.
      const int number = dm().misc.comPortsUsage().calculate_FromText(entry);
      if (number >= 0) {
        link.serialPort = number;
      } else {
        link.serialPath = dm().misc.comPortsUsage().deviceOf(entry);
        if (link.serialPath.empty())
          throw std::runtime_error("'" + entry.substr(std::min<size_t>(4, entry.size())) + "' is not a valid integer value");
      }
      link.baud = static_cast<int32_t>(toInteger(ss(cbxSPEED->currentText()), 1, INT32_MAX));
    }
    const TLinkOutcome opened = dm().open(link);
    std::string detail = opened.cause.empty() ? std::string() : "\n" + opened.cause;
    if (opened.unanswered) detail += "\n" + unansweredHint(link, "\"Find device\"");
    if (opened.raised) {
      alertFailure(opened.raisedText + detail, true);
      return false;
    }
    if (opened.code != 0) {
      alertFailure(dm().errContainer.LastErrorMessage() + detail, false);
      return false;
    }
    if (!opened.active) return false;
    return connectFPcmd90();
  } catch (const std::exception& e) {
    alertFailure(e.what(), true);
    return false;
  }
}

bool TConnectPage::connectFPcmd90() {
  bool result = false;
  shell().guarded("connectFPcmd90", [&] {
    if (!ops().command(90, "\t")) return;
    result = true;
    const TModelRow* row = findModel(dm().fd.dd()->i90().shNNNNNN);
    shell().set_Model(row);
    if (!row) dm().misc.show_MyAlert(UNSUPPORTED_MODEL_MESSAGE);
  });
  return result;
}

void TConnectPage::connectionChanged(bool connected) {
  btnConnect->setText(connected ? "Disconnect" : "Connect");
  btnConnect->setEnabled(true);
  // The search opens the ports itself: only while no connection holds one.
  btnFindDevice->setEnabled(!connected);
}

void TConnectPage::connectionLost() {
  destroyFP();
  // The technician is one click from reconnecting: this page with "Connect" in focus.
  shell().showPage(PAGE_CONNECT);
  btnConnect->setEnabled(true);
  btnConnect->setDefault(true);
  btnConnect->setFocus();
}

void presetTCP(TPageShell& shell, const std::string& address, uint16_t port) {
  if (auto* p = dynamic_cast<TConnectPage*>(shell.page(PAGE_CONNECT))) p->presetTCP(address, port);
}

void TConnectPage::restoreSession(TSettingsFile& file) {
  if (auto connection = file.loadConnection()) restoreConnection(*connection);
}

bool TConnectPage::saveSession(TSettingsFile& file) { return file.saveConnection(connectionShown()); }

void TConnectPage::destroyFP() {
  // The window goes to its disconnected state whatever the transport says; a failure
  // to close is only reported.
  const TLinkOutcome closed = dm().close();
  if (closed.raised) shell().set_StatusText("Closing the connection: " + closed.raisedText);
  shell().SetConnected(false);
}

}  // namespace kestrel
