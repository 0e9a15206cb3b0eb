#include "app/logic/device_ops.h"
#include "app/ui/pages/communication_page.h"

#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/logic/pages/communication.h"
#include "app/ui/core/form_helpers.h"
#include "app/ui/core/widget_values.h"

namespace kestrel {

namespace {

constexpr const char* LAN_ADDRESS_FIELDS[] = {"edIP", "edMask", "edGateway", "edDNS1", "edDNS2"};

// Wide enough for `chars` digits: fields sized to what they hold, not to the column.
template <class W>
W* sized(W* w, int chars) {
  w->setFixedWidth(w->fontMetrics().horizontalAdvance(QString(chars, '0')) + 16);
  return w;
}

QLineEdit* password(QLineEdit* e) {
  e->setEchoMode(QLineEdit::Password);
  return e;
}

}  // namespace

TCommunicationPage::TCommunicationPage(TPageShell& shell, const TPageRow& pageRow)
    : TPage(shell, pageRow) {
  // Two columns: the PC link and Bluetooth on the left; LAN, access points and the
  // file servers on the right.
  auto* columns = new QHBoxLayout;
  columns->setSpacing(12);
  auto* left = new QVBoxLayout;
  auto* right = new QVBoxLayout;
  left->setSpacing(10);
  right->setSpacing(10);
  columns->addLayout(left);
  columns->addLayout(right);
  columns->addStretch(1);

  // PC link of the register group, with the devices on its own two ports.
  {
    auto* form = formBox(this, "grpECRsComms", "PC", &fECRs);
    form->addRow("PC port:", choiceBox("cbxPCcomPort", PC_PORT_CHOICES, 0, fECRs));
    form->addRow("Port speed:", choiceBox("cbxPCportSpeed", SPEED_CHOICES, 3, fECRs));
    for (int n = 1; n <= 2; ++n) {
      const std::string suffix = std::to_string(n);
      QGroupBox* box = nullptr;
      auto* f = formBox(fECRs, ("grpDeviceCOM" + suffix).c_str(), QString("Device COM %1").arg(n), &box);
      f->addRow("Device type:", choiceBox(("cbxDevType" + suffix).c_str(), COM_DEVICE_CHOICES, 0, box));
      f->addRow("Speed:", choiceBox(("cbxDevSpeed" + suffix).c_str(), SPEED_CHOICES, 3, box));
      f->addRow("Protocol:", choiceBox(("cbxDevProtocol" + suffix).c_str(), numberChoices(0, 9), 0, box));
      form->addRow(box);
    }
    left->addWidget(fECRs);
  }

  // PC link of the printer group.
  {
    auto* form = formBox(this, "grpFPsComms", "PC", &fFPs);
    form->addRow("Connection:", choiceBox("cbxInterfaceType", INTERFACE_TYPE_CHOICES, 0, fFPs));
    form->addRow("Speed (RS232):", choiceBox("cbxFPspeed", SPEED_CHOICES, 3, fFPs));
    left->addWidget(fFPs);
  }

  {
    QGroupBox* bt = nullptr;
    auto* form = formBox(this, "grpBluetooth", "Bluetooth", &bt);
    form->addRow("", checkBox("chbxBlueToothON", "Enabled", bt));
    form->addRow("", checkBox("chbxBT_Discoverable", "Discoverability", bt));
    form->addRow("Paring:", choiceBox("cbxBT_Pairing", BT_PAIRING_CHOICES, 0, bt));
    auto* pin = sized(textEdit("ledBT_PinCode", 16, bt), 17);
    pin->setText("1234");  // the device's default PIN
    form->addRow("PIN:", pin);
    // Shown only: no length limit, so a longer device value is never cut.
    form->addRow("Firmware ver.:", sized(outputEdit("ledBT_Firmware", bt), 17));
    form->addRow("Address:", sized(outputEdit("ledBT_Address", bt), 17));
    left->addWidget(bt);
  }
  left->addStretch(1);

  auto* lanAndApn = new QHBoxLayout;
  lanAndApn->setSpacing(12);
  {
    QGroupBox* lan = nullptr;
    auto* form = formBox(this, "grpLAN", "LAN", &lan);
    fDHCP = checkBox("chbxDHCP", "DHCP", lan);
    form->addRow("", fDHCP);
    form->addRow("IP:", sized(textEdit("edIP", 15, lan), 15));
    form->addRow("Mask:", sized(textEdit("edMask", 15, lan), 15));
    form->addRow("Gateway:", sized(textEdit("edGateway", 15, lan), 15));
    form->addRow("DNS 1:", sized(textEdit("edDNS1", 15, lan), 15));
    form->addRow("DNS 2:", sized(textEdit("edDNS2", 15, lan), 15));
    form->addRow("Port:", sized(textEdit("edLANport", 15, lan), 15));
    form->addRow("LAN MAC:", sized(textEdit("ledMAC", 12, lan), 15));
    lanAndApn->addWidget(lan, 0, Qt::AlignTop);
  }
  {
    QGroupBox* apn = nullptr;
    auto* form = formBox(this, "grpAPN", "Access point names (service mode)", &apn);
    form->addRow("APN 1:", sized(textEdit("edAPN1", 0, apn), 16));
    form->addRow("APN 1 user:", sized(textEdit("edAPN1user", 0, apn), 16));
    form->addRow("APN 1 pass:", sized(password(textEdit("edAPN1pass", 0, apn)), 16));
    form->addRow("APN 2:", sized(textEdit("edAPN2", 0, apn), 16));
    form->addRow("APN 2 user:", sized(textEdit("edAPN2user", 0, apn), 16));
    form->addRow("APN 2 pass:", sized(password(textEdit("edAPN2pass", 0, apn)), 16));
    lanAndApn->addWidget(apn, 0, Qt::AlignTop);
  }
  lanAndApn->addStretch(1);
  right->addLayout(lanAndApn);

  QPushButton* btnChangeServerList = nullptr;
  {
    auto* ftp = new QGroupBox("FTP server (service mode)", this);
    ftp->setObjectName("grpFTP");
    auto* grid = new QGridLayout(ftp);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(6);
    // The edit fields on the left, the button pointing into the list on the right.
    auto* edit = formLayout(nullptr);
    edit->addRow("Address:", sized(textEdit(SERVER_ADDRESS_FIELD, 0, ftp), 16));
    edit->addRow("Port:", sized(digitsEdit(SERVER_PORT_FIELD, 5, ftp), 6));
    // They edit a line of the list; the list holds the values.
    for (const char* name : {SERVER_ADDRESS_FIELD, SERVER_PORT_FIELD}) markOperationInput(ftp->findChild<QWidget*>(name));
    btnChangeServerList = pushButton("btnChangeServerList", "Save / edit server >", ftp);
    edit->addRow("", btnChangeServerList);
    grid->addLayout(edit, 1, 0, Qt::AlignTop);
    grid->addWidget(new QLabel("Servers list / current in use:", ftp), 0, 1);
    fServers = new QListWidget(ftp);
    fServers->setObjectName(SERVER_LIST);
    for (const auto& line : initialServerLines()) fServers->addItem(qs(line));
    fServers->setFixedHeight(fServers->sizeHintForRow(0) * SERVER_LINES + 2 * fServers->frameWidth() + 4);
    fServers->setFixedWidth(fServers->fontMetrics().horizontalAdvance(QString(28, '0')));
    fServers->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    fServers->installEventFilter(this);
    auto* list = new QVBoxLayout;
    list->addWidget(fServers);
    auto* hint = new QLabel("port / address", ftp);
    hint->setObjectName("lblServerHint");
    list->addWidget(hint);
    grid->addLayout(list, 1, 1, Qt::AlignTop);
    auto* form = formLayout(nullptr);
    form->addRow("User:", sized(textEdit("edFTPuser", 128, ftp), 24));
    form->addRow("Password:", sized(password(textEdit("edFTPpass", 128, ftp)), 24));
    form->addRow("Folder for report files:", sized(textEdit("edFTPrepFiles", 128, ftp), 24));
    form->addRow("Folder for command files:", sized(textEdit("edFTPcmdFiles", 128, ftp), 24));
    form->addRow("Max file size (0 - no limit):", sized(digitsEdit("edFTPmaxFileLen", 10, ftp), 10));
    grid->addLayout(form, 2, 0, 1, 2);
    grid->setColumnStretch(2, 1);
    right->addWidget(ftp);
  }
  right->addStretch(1);
  content()->addLayout(columns);

  auto* btnRead = pushButton("btnReadCommunication", "Read", this);
  auto* btnSave = pushButton("btnSaveCommunication", "Save", this);
  auto* btnLoadIni = pushButton("btnLoadAPNfromIni", "Load APN && FTP...", this);
  auto* btnSaveIni = pushButton("btnSaveAPNtoIni", "Save APN && FTP...", this);
  auto* buttons = buttonRow({btnLoadIni, btnSaveIni, btnRead, btnSave});
  content()->addLayout(buttons);

  onClick(btnRead, "readCommunications", [this] { readCommunications(); });
  onClick(btnSave, "btnSaveCommunicationClick", [this] { btnSaveCommunicationClick(); });
  onClick(btnLoadIni, "btnLoadAPNfromIniClick", [this] { btnLoadAPNfromIniClick(); }, TSwitching::Unswitched);
  onClick(btnSaveIni, "btnSaveAPNtoIniClick", [this] { btnSaveAPNtoIniClick(); }, TSwitching::Unswitched);
  onClickGuarded(btnChangeServerList, "btnChangeServerListClick", [this] { btnChangeServerListClick(); },
                 TSwitching::Unswitched);
  connect(fDHCP, &QCheckBox::toggled, this, [this] { chbxDHCPClick(); });
  connect(fServers, &QListWidget::itemClicked, this,
          [this] { guarded("lstbxServersClick", [this] { lstbxServersClick(); }); });
  modelChanged(shell.ops().ecrModel);
}

void TCommunicationPage::read() { runOperation(readOperation(), [this] { readCommunications(); }); }

void TCommunicationPage::modelChanged(int ecrModel) {
  // The group whose parameters the read and the save use for this model.
  const bool registerGroup = appliesTo(TModelRule::RegisterGroup, ecrModel);
  fECRs->setVisible(registerGroup);
  fFPs->setVisible(!registerGroup);
}

TPageValues TCommunicationPage::values() {
  TPageValues v = collect(communicationTable());
  for (int n = 1; n <= SERVER_LINES; ++n) v[serverLineKey(n)] = ss(fServers->item(n - 1)->text());
  for (const char* name : {SERVER_ADDRESS_FIELD, SERVER_PORT_FIELD})
    v[name] = ss(findChild<QLineEdit*>(name)->text());
  return v;
}

void TCommunicationPage::apply(const TPageValues& values) {
  TPageValues rest = values;
  for (int n = 1; n <= SERVER_LINES; ++n) {
    auto it = rest.find(serverLineKey(n));
    if (it == rest.end()) continue;
    fServers->item(n - 1)->setText(qs(it->second));
    rest.erase(it);
  }
  TPage::apply(rest);
  chbxDHCPClick();
}

void TCommunicationPage::readCommunications() {
  readAndApply([this](TPageValues& v) { return kestrel::readCommunications(ops(), v); });
}

void TCommunicationPage::btnSaveCommunicationClick() {
  if (mayWriteShownValues()) saveCommunications(ops(), values());
}

void TCommunicationPage::chbxDHCPClick() {
  for (const char* name : LAN_ADDRESS_FIELDS) findChild<QLineEdit*>(name)->setEnabled(!fDHCP->isChecked());
}

void TCommunicationPage::lstbxServersClick() {
  TPageValues v = values();
  fillServerFields(v);
  apply({{SERVER_ADDRESS_FIELD, v[SERVER_ADDRESS_FIELD]}, {SERVER_PORT_FIELD, v[SERVER_PORT_FIELD]}});
}

void TCommunicationPage::btnChangeServerListClick() {
  TPageValues v = values();
  switch (changeServerList(v)) {
    case TServerEdit::FocusAddress: findChild<QLineEdit*>(SERVER_ADDRESS_FIELD)->setFocus(); break;
    case TServerEdit::FocusPort: findChild<QLineEdit*>(SERVER_PORT_FIELD)->setFocus(); break;
    case TServerEdit::NoLineSelected: fServers->setFocus(); break;
    case TServerEdit::Replaced: {
      const std::string key = serverLineKey(fServers->currentRow() + 1);
      apply({{key, v[key]}});
      break;
    }
  }
}

void TCommunicationPage::btnLoadAPNfromIniClick() {
  TPageValues v;
  loadAccessPointIniFrom(ops(), v);
  apply(v);
}

void TCommunicationPage::btnSaveAPNtoIniClick() { saveAccessPointIniAs(ops(), values()); }

// Up and Down fill the fields from the line selected before the list moves on.
bool TCommunicationPage::eventFilter(QObject* watched, QEvent* event) {
  if (watched == fServers && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Up || key == Qt::Key_Down) guarded("lstbxServersKeyDown", [this] { lstbxServersClick(); });
  }
  return TPage::eventFilter(watched, event);
}

}  // namespace kestrel
