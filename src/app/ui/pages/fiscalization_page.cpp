#include "app/ui/pages/fiscalization_page.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

#include "app/logic/pages/cliche.h"
#include "app/logic/pages/fiscalization.h"
#include "app/logic/pages/then_always.h"
#include "app/ui/core/form_helpers.h"
#include "app/ui/core/widget_values.h"

namespace kestrel {

namespace {

QLineEdit* numberEdit(const char* name, int maxLength, QWidget* parent) {
  auto* e = textEdit(name, maxLength, parent);
  e->setFixedWidth(e->fontMetrics().horizontalAdvance(QString(16, '0')) + 16);
  return e;
}

}  // namespace

TFiscalizationPage::TFiscalizationPage(TPageShell& shell, const TPageRow& pageRow)
    : TPage(shell, pageRow) {
  QGroupBox* numbers = nullptr;
  QFormLayout* form = formBox(this, "grpFiscalNumbers", "Device numbers", &numbers);
  auto* bbtnSetSerial = pushButton("bbtnSetSerial", "Save serial and FM numbers", numbers);
  auto* bbtnSaveTAXnumbers = pushButton("bbtnSaveTAXnumbers", "Save JIB and PIB numbers", numbers);
  auto* bbtnSaveIOSA = pushButton("bbtnSaveIOSA", "Save IOSA", numbers);
  form->addRow("Serial number:", numberEdit(FISC_SERIAL, 8, numbers));
  form->addRow("Fiscal memory number:", numberEdit(FISC_FM_NUMBER, 8, numbers));
  form->addRow(buttonRow({bbtnSetSerial}));
  form->addRow("JIB Number:", numberEdit(FISC_JIB, 13, numbers));
  form->addRow("PIB Number:", numberEdit(FISC_PIB, 12, numbers));
  form->addRow(buttonRow({bbtnSaveTAXnumbers}));
  form->addRow("IOSA:", numberEdit(FISC_IOSA, 16, numbers));
  form->addRow(buttonRow({bbtnSaveIOSA}));

  QGroupBox* fiscal = nullptr;
  QFormLayout* fiscalForm = formBox(this, "grpFiscalize", "Fiscal mode", &fiscal);
  fIssueReceipt = checkBox(FISC_ISSUE_RECEIPT, "Issue receipt, storno and Z report after fiscalization", fiscal);
  fIssueReceipt->setChecked(true);
  markOperationInput(fIssueReceipt);  // written the moment it is clicked
  auto* bbtnFiscalize = pushButton("bbtnFiscalize", "Fiscalization", fiscal);
  auto* bbtnPrintDiag2 = pushButton("bbtnPrintDiag2", "Print diagnostic", fiscal);
  fiscalForm->addRow(fIssueReceipt);
  fiscalForm->addRow(buttonRow({bbtnFiscalize, bbtnPrintDiag2}));

  auto* btnReadFiscalize = pushButton("btnReadFiscalize", "Read", this);
  content()->addLayout(twoColumns(numbers, fiscal, {btnReadFiscalize}));

  onClick(btnReadFiscalize, "Read_FiscalizeTab", [this] { readFiscTab(); });
  onClick(bbtnSetSerial, "bbtnSetSerialClick", [this] { bbtnSetSerialClick(); });
  onClick(bbtnSaveTAXnumbers, "bbtnSaveTAXnumbersClick", [this] { bbtnSaveTAXnumbersClick(); });
  onClick(bbtnSaveIOSA, "bbtnSaveIOSAClick", [this] { bbtnSaveIOSAClick(); });
  onClick(bbtnFiscalize, "bbtnFiscalizeClick", [this] { bbtnFiscalizeClick(); });
  onClick(bbtnPrintDiag2, "bbtnPrintDiag2Click", [this] { printDiagnostic(ops()); });
  // Only the technician's click writes the option: a read that sets the box must not
  // write the value it has just read back to the device.
  connect(fIssueReceipt, &QCheckBox::clicked, this, [this](bool checked) { chbxIssueReceiptClick(checked); });
}

void TFiscalizationPage::read() { runOperation("Read_FiscalizeTab", [this] { readFiscTab(); }); }

void TFiscalizationPage::readFiscTab() {
  readAndApply([this](TPageValues& v) { return kestrel::readFiscTab(ops(), v); });
}

void TFiscalizationPage::onValues(const std::function<void(TPageValues&, std::string&)>& f) {
  TPageValues v = collectValues(this, {FISC_SERIAL, FISC_FM_NUMBER, FISC_JIB, FISC_PIB, FISC_IOSA});
  std::string focus;
  {
    const auto shown = always([&] { apply(v); });
    f(v, focus);
  }
  if (!focus.empty())
    if (auto* w = findChild<QWidget*>(qs(focus))) w->setFocus();
}

void TFiscalizationPage::bbtnSetSerialClick() {
  onValues([this](TPageValues& v, std::string& focus) { saveSerialAndFM(ops(), v, focus); });
}

void TFiscalizationPage::bbtnSaveTAXnumbersClick() {
  onValues([this](TPageValues& v, std::string& focus) { saveTaxNumbers(ops(), v, focus); });
}

void TFiscalizationPage::bbtnSaveIOSAClick() {
  onValues([this](TPageValues& v, std::string&) { saveIOSA(ops(), v); });
}

void TFiscalizationPage::bbtnFiscalizeClick() {
  onValues([this](TPageValues& v, std::string& focus) { fiscalize(ops(), v, focus); });
}

void TFiscalizationPage::chbxIssueReceiptClick(bool checked) {
  guarded("chbxIssueReceiptClick", [this, checked] { writeIssueReceipt(ops(), checked); });
}

}  // namespace kestrel
