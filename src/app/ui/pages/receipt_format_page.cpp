#include "app/ui/pages/receipt_format_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "app/logic/device_ops.h"
#include "app/logic/page_table.h"
#include "app/logic/pages/receipt_format.h"
#include "app/ui/core/dm.h"
#include "app/ui/core/form_helpers.h"
#include "app/ui/core/progress_host.h"

namespace kestrel {

namespace {

constexpr int CHOICE_WIDTH = 110;

}  // namespace

TReceiptFormatPage::TReceiptFormatPage(TPageShell& shell, const TPageRow& pageRow)
    : TPage(shell, pageRow) {
  QGroupBox* box = nullptr;
  fForm = formBox(this, "grpReceiptFormat", "Receipt format", &box);
  fForm->addRow(checkBox("chbxPrintDuplicate", "Print duplicate", box));
  fForm->addRow(checkBox("chbxPrintBarcode", "Pring barcode", box));
  fForm->addRow(checkBox("chbxPrintLogo", "Print logo", box));
  fForm->addRow(checkBox("chbxLogoPrint_footer", "Print logo after footer", box));
  auto choice = [box](const char* name, const std::vector<std::string>& entries, int defaultIndex) {
    auto* c = choiceBox(name, entries, defaultIndex, box);
    c->setMinimumWidth(CHOICE_WIDTH);
    return c;
  };
  fForm->addRow("Print contrast:", choice("cbxPrintContrast", numberChoices(0, 20), 1));
  fForm->addRow("Barcode height:", choice("cbxBarcoreHeight", numberChoices(1, 10), 0));
  fForm->addRow("Lines before header:", choice("cbx_HeaderMinLines", numberChoices(0, 9), 0));
  fForm->addRow("Lines after footer:", choice("cbxFooterEmptyLines", numberChoices(0, 9), 0));
  fForm->addRow("Line spacing:", choice("cbxLineSpacing", numberChoices(0, 5), 0));
  fForm->addRow("Font type:", choice("cbxFontType", FONT_TYPE_CHOICES, 0));
  auto* paperLabel = new QLabel("Paper cutting type:", box);
  paperLabel->setObjectName("lblPaperCuttingType");
  fForm->addRow(paperLabel, choice("cbxPaperCuttingType", PAPER_CUTTING_CHOICES, 0));
  fForm->addRow(checkBox("chbxAutoPaperCut", "Automatic paper cutting", box));
  fForm->addRow("Print size:", choice("cbx_PrintColumns_X", PRINT_COLUMNS_CHOICES, 0));

  QGroupBox* logoBox = nullptr;
  QFormLayout* logo = formBox(this, "grpLogo", "Logo", &logoBox);
  auto* btn_CenterLogo = pushButton("btn_CenterLogo", "Center logo", logoBox);
  auto* bbtnLogo = pushButton("bbtnLogo", "Load logo from file...", logoBox);
  pbLogo = new QProgressBar(logoBox);
  pbLogo->setObjectName("pbLogo");
  pbLogo->setMinimumWidth(220);
  pbLogo->hide();
  logo->addRow(btn_CenterLogo);
  logo->addRow(bbtnLogo);
  logo->addRow(pbLogo);

  auto* btnReadFormat = pushButton("btnReadFormat", "Read", this);
  auto* bbtnSetBonFormat = pushButton("bbtnSetBonFormat", "Save", this);
  content()->addLayout(twoColumns(box, logoBox, {btnReadFormat, bbtnSetBonFormat}));

  onClick(btnReadFormat, "readBONFormat", [this] { readBONFormat(); });
  onClick(bbtnSetBonFormat, "bbtnSetBonFormatClick", [this] { bbtnSetBonFormatClick(); });
  onClick(btn_CenterLogo, "btn_CenterLogoClick", [this] { btn_CenterLogoClick(); });
  onClick(bbtnLogo, "bbtnLogoClick", [this] { bbtnLogoClick(); });
}

void TReceiptFormatPage::read() { runOperation(readOperation(), [this] { readBONFormat(); }); }

void TReceiptFormatPage::modelChanged(int ecrModel) {
  const bool printer = isPrinterGroup(ecrModel);
  for (const char* name : {"cbxPaperCuttingType", "chbxAutoPaperCut"})
    fForm->setRowVisible(findChild<QWidget*>(name), printer);
}

void TReceiptFormatPage::readBONFormat() {
  readAndApply([this](TPageValues& v) { return kestrel::readBONFormat(ops(), v); });
  // A fiscalized device keeps its print size: the save does not send it, so the box
  // offers no change that would be lost.
  const bool fiscalMode = dm().fd.dd()->LowLevel().get_sBytesState(5, 3);
  auto* printSize = findChild<QWidget*>("cbx_PrintColumns_X");
  printSize->setEnabled(!fiscalMode);
  printSize->setToolTip(fiscalMode ? "The print size cannot be changed on a fiscalized device." : QString());
}

void TReceiptFormatPage::bbtnSetBonFormatClick() {
  if (mayWriteShownValues()) saveBONFormat(ops(), collect(receiptFormatTable()));
}

void TReceiptFormatPage::btn_CenterLogoClick() {
  saySucceeded("Logo centred.", [this] {
    TPageValues v;
    if (!centerLogo(ops(), v)) return false;
    // The two values are the device's now: a page that had no other change stays clean.
    const bool wasClean = !hasUnsavedEdits();
    apply(v);
    if (wasClean) markClean();
    return true;
  });
}

void TReceiptFormatPage::bbtnLogoClick() {
  TPageProgressScope progress(ops(), pbLogo);
  if (const auto r = uploadLogoFromFile(ops())) showLoopEnd(ops(), *r, LOGO_UPLOAD);
}

}  // namespace kestrel
