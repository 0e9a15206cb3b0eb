#include "app/ui/pages/custom_page.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/logic/page_table.h"
#include "app/ui/core/dm.h"
#include "app/ui/core/form_helpers.h"
#include "app/ui/shell/main_fbh.h"
#include "engine/rs232_connector.h"
#include "engine/tcpip_connector.h"

namespace kestrel {

TCustomPage::TCustomPage(TfmMainFBH& main) : TPage(main, PAGE_CUSTOM, "Custom command") {
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
  for (auto* l : {hint1, hint2}) l->setStyleSheet("color: palette(mid);");
  ed_HEXINPUT = outputEdit("ed_HEXINPUT", this);
  ed_OUTPUT = outputEdit("ed_OUTPUT", this);
  ed_HEXOUTPUT = outputEdit("ed_HEXOUTPUT", this);
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

  // Long packets show from their start; the rest scrolls into view.
  auto show = [](QLineEdit* e, const std::string& text) {
    e->setText(qs(text));
    e->setCursorPosition(0);
  };
  dm().sendCommandView = [this, show](const TCommunicationEventArgs& a) { show(ed_HEXINPUT, Tdm::packetText(a)); };
  dm().receiveAnswerView = [this, show](const TCommunicationEventArgs& a) {
    show(ed_OUTPUT, a.textValue);
    show(ed_HEXOUTPUT, Tdm::packetText(a));
  };
}

TCustomPage::~TCustomPage() {
  dm().sendCommandView = nullptr;
  dm().receiveAnswerView = nullptr;
}

void TCustomPage::bbtnExecuteClick() {
  if (ed_CMD->text().isEmpty()) return;
  if (dm().misc.myQuestion(main().msgAreUsure, "Custom command", qstn_YesNo_SBtn) != mrYes) return;
  TFiscalDevice& fd = dm().fd;
  TDeviceOps::ShowErrOff quiet(ops());
  fd.RS232()->Sniffer()->Active = true;
  fd.TCPIP()->Sniffer()->Active = true;
  try {
    const auto command = static_cast<uint16_t>(toInteger(ss(ed_CMD->text()), 0, 65535));
    const std::string input = dm().misc.prepare_InputForSpecialSymbols(ss(ed_INP_STR->text()));
    if (ops().command(command, input)) main().set_StatusMessage("Command executed.");
  } catch (const std::exception& e) {
    dm().misc.myAlert(exceptionText("bbtnExecuteClick", e.what()), TITLE_KESTREL, inf_OkBtn);
  }
  fd.RS232()->Sniffer()->Active = false;
  fd.TCPIP()->Sniffer()->Active = false;
}

}  // namespace kestrel
