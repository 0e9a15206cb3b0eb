#include "app/ui/pages/service_info_page.h"

#include <QComboBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "app/logic/pages/service_info.h"
#include "app/logic/pages/then_always.h"
#include "app/ui/core/form_helpers.h"
#include "app/ui/core/widget_values.h"

namespace kestrel {

namespace {

QTimeEdit* timePicker(const char* name, QWidget* parent) {
  auto* t = new QTimeEdit(QTime::currentTime(), parent);
  t->setObjectName(name);
  t->setDisplayFormat("HH:mm:ss");
  return t;
}

// A date and a time picker side by side, as one form row.
QHBoxLayout* momentRow(QDateEdit* date, QTimeEdit* time) {
  auto* row = new QHBoxLayout;
  row->addWidget(date);
  row->addWidget(time);
  row->addStretch(1);
  return row;
}

LocalDateTime momentOf(const QDateEdit* date, const QTimeEdit* time) {
  const QDate d = date->date();
  const QTime t = time ? time->time() : QTime(0, 0);
  return LocalDateTime{d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), 0};
}

std::vector<std::string> letters(const char* all) {
  std::vector<std::string> v;
  for (const char* c = all; *c; ++c) v.emplace_back(1, *c);
  return v;
}

void colour(QLabel* label, const QColor& c) {
  QPalette p = label->palette();
  p.setColor(QPalette::WindowText, c);
  label->setPalette(p);
}

}  // namespace

TServiceInfoPage::TServiceInfoPage(TPageShell& shell, const TPageRow& pageRow) : TPage(shell, pageRow) {
  // Left: what the device prints about its service. Right: service mode and its functions.
  QGroupBox* data = nullptr;
  QFormLayout* dataForm = formBox(this, "grpServiceData", "Service data", &data);
  mmoServiceMsg = new QPlainTextEdit(data);
  mmoServiceMsg->setObjectName("mmoServiceMsg");
  mmoServiceMsg->setLineWrapMode(QPlainTextEdit::NoWrap);
  const int lineHeight = mmoServiceMsg->fontMetrics().lineSpacing();
  mmoServiceMsg->setFixedHeight(SERVICE_TEXT_LINES * lineHeight + 2 * mmoServiceMsg->frameWidth() + 12);
  mmoServiceMsg->setMinimumWidth(mmoServiceMsg->fontMetrics().horizontalAdvance(QString(32, 'M')));
  dtpServiceDate = datePicker("dtpServiceDate", data);
  auto* btnReadService = pushButton("btnReadService", "Read", data);
  auto* btnSaveService = pushButton("btnSaveService", "Save", data);
  dataForm->addRow(new QLabel("Service text (10 rows max):", data));
  dataForm->addRow(mmoServiceMsg);
  dataForm->addRow("Service date:", dtpServiceDate);
  dataForm->addRow(buttonRow({btnReadService, btnSaveService}));

  QGroupBox* mode = nullptr;
  QFormLayout* modeForm = formBox(this, "grpServiceMode", "Service mode", &mode);
  ed_ServicePassword = digitsEdit("ed_ServicePassword", 8, mode);
  ed_ServicePassword->setEchoMode(QLineEdit::Password);
  ed_ServicePassword->setFixedWidth(ed_ServicePassword->fontMetrics().horizontalAdvance(QString(10, '0')) + 16);
  auto* btnActivate = pushButton("btnActivateServiceMode", "Activate service mode", mode);
  auto* btnDeactivate = pushButton("btnDeactivateServiceMode", "Deactivate service mode", mode);
  cbxRAMresetType = choiceBox("cbxRAMresetType", letters(RAM_RESET_TYPES), 0, mode);
  auto* btnRamReset = pushButton("btnRamReset", "RAM reset", mode);
  modeForm->addRow("Service man password:", ed_ServicePassword);
  modeForm->addRow(buttonRow({btnActivate, btnDeactivate}));
  modeForm->addRow("RAM reset type:", cbxRAMresetType);
  modeForm->addRow(buttonRow({btnRamReset}));

  QGroupBox* op = nullptr;
  QFormLayout* opForm = formBox(this, "grpServiceOperation", "Service operation", &op);
  dtpServOPstartDate = datePicker("dtpServOPstartDate", op);
  dtpServOPstartTime = timePicker("dtpServOPstartTime", op);
  dtpServOPendDate = datePicker("dtpServOPendDate", op);
  dtpServOPendTime = timePicker("dtpServOPendTime", op);
  cbxServOPtype = choiceBox("cbxServOPtype", letters(SERVICE_OP_TYPES), 0, op);
  auto* btnSetServiceOp = pushButton("btnSetServiceOp", "Set service operation", op);
  opForm->addRow("Service operation start:", momentRow(dtpServOPstartDate, dtpServOPstartTime));
  opForm->addRow("Service operation end:", momentRow(dtpServOPendDate, dtpServOPendTime));
  opForm->addRow("Service operation type:", cbxServOPtype);
  opForm->addRow(buttonRow({btnSetServiceOp}));

  QGroupBox* certs = nullptr;
  QFormLayout* certForm = formBox(this, "grpCertificates", "Certificates", &certs);
  lbMessageCertificate = new QLabel("....", certs);
  lbMessageCertificate->setObjectName("lbMessageCertificate");
  QFont bold = lbMessageCertificate->font();
  bold.setBold(true);
  lbMessageCertificate->setFont(bold);
  auto* btnCheckCertificates = pushButton("btnCheckCertificates", "Check certificates", certs);
  certForm->addRow(lbMessageCertificate);
  certForm->addRow(buttonRow({btnCheckCertificates}));

  // Service mode and the service operation take their inputs when their buttons run;
  // the page's read leaves them as they are.
  for (QWidget* w : std::initializer_list<QWidget*>{ed_ServicePassword, cbxRAMresetType, dtpServOPstartDate,
                                                    dtpServOPstartTime, dtpServOPendDate, dtpServOPendTime,
                                                    cbxServOPtype})
    markOperationInput(w);

  auto* right = new QVBoxLayout;
  right->addWidget(mode);
  right->addWidget(op);
  right->addWidget(certs);
  right->addStretch(1);
  auto* columns = new QHBoxLayout;
  columns->setSpacing(12);
  columns->addWidget(data, 0, Qt::AlignTop);
  columns->addLayout(right);
  columns->addStretch(1);
  content()->addLayout(columns);

  onClick(btnReadService, "readServiceTab", [this] { readServiceTab(); });
  onClick(btnSaveService, "btnSaveServiceClick", [this] { btnSaveServiceClick(); });
  onClick(btnActivate, "btnActivateServiceModeClick", [this] {
    std::string focus;
    activateServiceMode(ops(), password(), focus);
    if (!focus.empty()) focusOn(focus);
  });
  onClick(btnDeactivate, "btnDeactivateServiceModeClick", [this] { deactivateServiceMode(ops()); });
  onClick(btnRamReset, "btnRamResetClick", [this] { btnRamResetClick(); }, TSwitching::Unswitched);
  // The question comes before the controls go off.
  onClickDirect(btnSetServiceOp, [this] { btnSetServiceOpClick(); });
  onClick(btnCheckCertificates, "btnCheckCertificatesClick", [this] { btnCheckCertificatesClick(); });
}

void TServiceInfoPage::read() { runOperation(readOperation(), [this] { readServiceTab(); }); }

std::string TServiceInfoPage::password() const { return ss(ed_ServicePassword->text()); }

void TServiceInfoPage::focusOn(const std::string& name) {
  if (auto* w = findChild<QWidget*>(qs(name))) w->setFocus();
}

void TServiceInfoPage::readServiceTab() {
  TServiceRead r;
  auto show = [this, &r] {
    if (r.date) dtpServiceDate->setDate(QDate(r.date->year, r.date->month, r.date->day));
    if (r.lines) {
      QStringList lines;
      for (const auto& l : *r.lines) lines << qs(l);
      mmoServiceMsg->setPlainText(lines.join('\n'));
    }
  };
  const auto shown = always(show);
  kestrel::readServiceTab(ops(), r);
}

void TServiceInfoPage::btnSaveServiceClick() {
  std::vector<std::string> lines;
  const QString text = mmoServiceMsg->toPlainText();
  if (!text.isEmpty())
    for (const QString& l : text.split('\n')) lines.push_back(ss(l));
  std::string focus;
  saveService(ops(), password(), lines, momentOf(dtpServiceDate, nullptr), focus);
  if (!focus.empty()) focusOn(focus);
}

void TServiceInfoPage::btnRamResetClick() {
  std::string focus;
  ramReset(ops(), password(), RAM_RESET_TYPES[std::max(0, cbxRAMresetType->currentIndex())], focus);
  if (!focus.empty()) focusOn(focus);
}

void TServiceInfoPage::btnSetServiceOpClick() {
  if (shell().operationRunning()) return;
  bool yes = false;
  guarded("btnSetServiceOpClick", [this, &yes] { yes = confirmServiceOperation(ops()); });
  if (!yes) return;
  runOperation("btnSetServiceOpClick", [this] {
    setServiceOperation(ops(), momentOf(dtpServOPstartDate, dtpServOPstartTime),
                        momentOf(dtpServOPendDate, dtpServOPendTime),
                        SERVICE_OP_TYPES[std::max(0, cbxServOPtype->currentIndex())]);
  });
}

void TServiceInfoPage::btnCheckCertificatesClick() {
  const QColor darkRed(128, 0, 0), green(0, 128, 0);
  colour(lbMessageCertificate, darkRed);
  TCertificateResult r;
  {
    const auto cleared = always([this] { shell().set_StatusMessage(QString()); });
    r = checkCertificates(ops());
  }
  if (r.label.empty()) return;
  lbMessageCertificate->setText(qs(r.label));
  colour(lbMessageCertificate, r.valid ? green : darkRed);
}

}  // namespace kestrel
