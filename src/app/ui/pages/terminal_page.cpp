#include "app/ui/pages/terminal_page.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/logic/pages/terminal.h"
#include "app/logic/pages/then_always.h"
#include "app/ui/core/form_helpers.h"

namespace kestrel {

namespace {

QPlainTextEdit* outputText(const char* name, int lines, QWidget* parent) {
  auto* t = new QPlainTextEdit(parent);
  t->setObjectName(name);
  t->setReadOnly(true);
  t->setLineWrapMode(QPlainTextEdit::NoWrap);
  QFont mono("Monospace");
  mono.setStyleHint(QFont::TypeWriter);
  t->setFont(mono);
  t->setFixedHeight(lines * t->fontMetrics().lineSpacing() + 2 * t->frameWidth() + 12);
  t->setMinimumWidth(t->fontMetrics().horizontalAdvance(QString(56, '0')));
  return t;
}

}  // namespace

TTerminalPage::TTerminalPage(TPageShell& shell, const TPageRow& pageRow) : TPage(shell, pageRow) {
  QGroupBox* data = nullptr;
  QFormLayout* dataForm = formBox(this, "grpTerminalData", "Terminal data", &data);
  moTerminalInfo = outputText("moTerminalInfo", 4, data);
  moTerminalCmdFile = outputText("moTerminalCmdFile", 10, data);
  dataForm->addRow(new QLabel("Terminal info:", data));
  dataForm->addRow(moTerminalInfo);
  dataForm->addRow(new QLabel("Last downloaded command file:", data));
  dataForm->addRow(moTerminalCmdFile);

  QGroupBox* ops = nullptr;
  QFormLayout* opsForm = formBox(this, "grpTerminalOps", "Service", &ops);
  edServicePassTerminal = digitsEdit(TERMINAL_PASSWORD_FIELD, 8, ops);
  edServicePassTerminal->setEchoMode(QLineEdit::Password);
  edServicePassTerminal->setFixedWidth(edServicePassTerminal->fontMetrics().horizontalAdvance(QString(10, '0')) + 16);
  auto* btnRead = pushButton("btnReadTerminalData", "Read terminal data", ops);
  auto* btnReset = pushButton("btnResetTerminalData", "Reset terminal data", ops);
  auto* btnDel =
      pushButton("btnDelCurrentCommandFIle", "Delete current command file and download new from the server", ops);
  auto* btnForce = pushButton("btnForceCommand", "Force current command sending", ops);
  opsForm->addRow("Service man password:", edServicePassTerminal);
  for (QPushButton* b : {btnRead, btnReset, btnDel, btnForce}) opsForm->addRow(b);

  auto* column = new QVBoxLayout;
  column->addWidget(ops);
  column->addWidget(data);
  auto* row = new QHBoxLayout;
  row->addLayout(column);
  row->addStretch(1);
  content()->addLayout(row);

  onClick(btnRead, "btnReadTerminalDataClick", [this] { btnReadTerminalDataClick(); });
  onClick(btnReset, "btnResetTerminalDataClick", [this] { terminalFunctionClick(TERMINAL_RESET, "Terminal data reset."); });
  onClick(btnDel, "btnDelCurrentCommandFIleClick",
          [this] { terminalFunctionClick(TERMINAL_NEW_COMMAND_FILE, "Command file deleted."); });
  onClick(btnForce, "btnForceCommandClick", [this] { terminalFunctionClick(TERMINAL_FORCE_COMMAND, "Force sending started."); });
}

void TTerminalPage::focusOn(const std::string& name) {
  if (auto* w = findChild<QWidget*>(qs(name))) w->setFocus();
}

void TTerminalPage::btnReadTerminalDataClick() {
  TTerminalData d;
  std::string focus;
  auto show = [this, &d] {
    if (!d.info.empty()) {
      QStringList lines;
      for (const auto& l : d.info) lines << qs(l);
      moTerminalInfo->setPlainText(lines.join('\n'));
    }
    // CR LF from the device text; the text box breaks lines at LF.
    if (d.commandFile) moTerminalCmdFile->setPlainText(qs(*d.commandFile).replace("\r\n", "\n"));
  };
  {
    const auto shown = always(show);
    readTerminalData(ops(), ss(edServicePassTerminal->text()), d, focus);
  }
  if (!focus.empty()) focusOn(focus);
}

void TTerminalPage::terminalFunctionClick(const char* function, const char* done) {
  std::string focus;
  saySucceeded(done, [&] { return terminalFunction(ops(), ss(edServicePassTerminal->text()), function, focus); });
  if (!focus.empty()) focusOn(focus);
}

}  // namespace kestrel
