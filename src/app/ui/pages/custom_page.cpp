#include "app/logic/device_ops.h"
#include "app/ui/pages/custom_page.h"

#include <QFontDatabase>
#include <QFormLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "app/logic/page_table.h"
#include "app/logic/pages/then_always.h"
#include "app/ui/core/dm.h"
#include "app/ui/core/form_helpers.h"
#include "engine/rs232_connector.h"
#include "engine/tcpip_connector.h"
#include "support/code_pages.h"

namespace kestrel {

namespace {

// A packet in hex: all of it in view, wrapped at the blanks between the bytes.
QPlainTextEdit* hexView(const char* name, QWidget* parent) {
  auto* e = new QPlainTextEdit(parent);
  e->setObjectName(name);
  e->setReadOnly(true);
  e->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  e->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  e->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  e->setTabChangesFocus(true);
  const int line = e->fontMetrics().lineSpacing();
  e->setMinimumHeight(3 * line + 12);
  e->setMaximumHeight(6 * line + 12);
  return e;
}

}  // namespace

TCustomPage::TCustomPage(TPageShell& shell, const TPageRow& pageRow) : TPage(shell, pageRow) {
  QFormLayout* form = formLayout(nullptr);
  form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
  content()->addLayout(form);
  ed_CMD = digitsEdit("ed_CMD", 5, this);
  ed_CMD->setMaximumWidth(100);
  ed_INP_STR = textEdit("ed_INP_STR", 0, this);
  auto* hint1 = new QLabel("The TAB and Line Feed characters", this);
  hint1->setObjectName("lbHint1");
  auto* hint2 = new QLabel("can be passed with [\\t] and [\\lf] or [tab], [lf]", this);
  hint2->setObjectName("lbHint2");
  ed_HEXINPUT = hexView("ed_HEXINPUT", this);
  ed_OUTPUT = outputEdit("ed_OUTPUT", this);
  ed_HEXOUTPUT = hexView("ed_HEXOUTPUT", this);
  bbtnExecute = pushButton("bbtnExecute", "Execute", this);

  form->addRow("Command:", ed_CMD);
  form->addRow("Data:", ed_INP_STR);
  form->addRow(QString(), hint1);
  form->addRow(QString(), hint2);
  form->addRow("Input (HEX):", ed_HEXINPUT);
  form->addRow("Output:", ed_OUTPUT);
  form->addRow("Output (HEX):", ed_HEXOUTPUT);
  form->addRow(buttonRow({bbtnExecute}));
  connect(bbtnExecute, &QPushButton::clicked, this, [this] { bbtnExecuteClick(); });
  // Enter sends, as the button does (with its question).
  for (QLineEdit* e : {ed_CMD, ed_INP_STR}) {
    connect(e, &QLineEdit::returnPressed, this, [this] { bbtnExecuteClick(); });
    e->installEventFilter(this);
  }

  connect(&dm(), &Tdm::commandSent, this,
          [this](const TCommunicationEventArgs& a) { ed_HEXINPUT->setPlainText(qs(Tdm::packetText(a))); });
  connect(&dm(), &Tdm::answerReceived, this, [this](const TCommunicationEventArgs& a) {
    // Long answers show from their start; the rest scrolls into view.
    ed_OUTPUT->setText(qs(a.textValue));
    ed_OUTPUT->setCursorPosition(0);
    ed_HEXOUTPUT->setPlainText(qs(Tdm::packetText(a)));
  });
}

bool TCustomPage::eventFilter(QObject* watched, QEvent* event) {
  if ((watched == ed_CMD || watched == ed_INP_STR) && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Up || key == Qt::Key_Down) {
      recall(key == Qt::Key_Up);
      return true;
    }
  }
  return TPage::eventFilter(watched, event);
}

void TCustomPage::recall(bool older) {
  if (older ? fRecalled == 0 : fRecalled >= fHistory.size()) return;
  if (fRecalled == fHistory.size()) fTyping = {ed_CMD->text(), ed_INP_STR->text()};
  fRecalled = older ? fRecalled - 1 : fRecalled + 1;
  const Sent& shown = fRecalled < fHistory.size() ? fHistory[fRecalled] : fTyping;
  ed_CMD->setText(shown.command);
  ed_INP_STR->setText(shown.data);
}

void TCustomPage::bbtnExecuteClick() {
  // Enter and the button both send; neither starts a second command inside the first.
  if (fExecuting || shell().operationRunning()) return;
  if (ed_CMD->text().isEmpty()) return;
  fExecuting = true;
  const auto done = always([this] { fExecuting = false; });
  auto alert = [this](const std::string& message) {
    const std::string text = exceptionText("bbtnExecuteClick", message);
    try {
      dm().misc.myAlert(text, TITLE_KESTREL, inf_OkBtn);
    } catch (...) {
      shell().set_StatusText(text);
    }
  };
  try {
    if (dm().misc.myQuestion(MSG_ARE_YOU_SURE, "Custom command", qstn_YesNo_SBtn) != mrYes) return;
    const Sent sent{ed_CMD->text(), ed_INP_STR->text()};
    if (fHistory.empty() || fHistory.back().command != sent.command || fHistory.back().data != sent.data)
      fHistory.push_back(sent);
    fRecalled = fHistory.size();
    // What stands in the outputs and the status bar is always this command's, also
    // when it fails.
    ed_HEXINPUT->clear();
    ed_OUTPUT->clear();
    ed_HEXOUTPUT->clear();
    shell().set_StatusMessage(QString());
    TFiscalDevice& fd = dm().fd;
    TDeviceOps::ShowErrOff quiet(ops());
    fd.RS232()->Sniffer()->Active = true;
    fd.TCPIP()->Sniffer()->Active = true;
    const auto traceOff = always([&fd] {
      fd.RS232()->Sniffer()->Active = false;
      fd.TCPIP()->Sniffer()->Active = false;
    });
    const auto command = static_cast<uint16_t>(toInteger(ss(ed_CMD->text()), 0, 65535));
    // Typed data is sent as typed or not at all: a broken escape or data too long for
    // one frame is refused; characters the code page lacks are named.
    const TPreparedInput input =
        dm().misc.prepareTypedInput(ss(ed_INP_STR->text()), fd.dd()->CodePage, fd.maxDataBytes());
    if (!input.ok()) {
      dm().misc.show_MyAlert(input.error);
      return;
    }
    const std::string warning = codePageWarning(input.text, fd.dd()->CodePage);
    if (ops().command(command, input.text))
      shell().set_StatusMessage(warning.empty() ? QString("Command executed.") : qs("Command executed; " + warning));
    else if (!warning.empty() && shell().statusMessage().isEmpty())
      shell().set_StatusText(warning);
  } catch (const std::exception& e) {
    alert(e.what());
  } catch (...) {
    alert("unknown exception");
  }
  shell().noticeLostConnection();
}

}  // namespace kestrel
