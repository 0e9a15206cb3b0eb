#include "app/ui/pages/params_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

#include "app/logic/page_table.h"
#include "app/logic/pages/params.h"
#include "app/ui/core/form_helpers.h"

namespace kestrel {

namespace {
constexpr int SHORT_FIELD_WIDTH = 110;
}

TParamsPage::TParamsPage(TPageShell& shell, const TPageRow& pageRow) : TPage(shell, pageRow) {
  QGroupBox* box = nullptr;
  fForm = formBox(this, "grpParams", "Parameters", &box);
  for (auto [name, caption] : std::initializer_list<std::pair<const char*, const char*>>{
           {"chbxNoPasswords", "Work without passwords"},
           {"chbxAutoExitAfterTotal", "Auto-exit after receipt (no password asked)"},
           {"chbxVoidPassword", "Password for voiding operations"},
           {"chbxZconnectOperator", "\"Operator report\" after Z-report"},
           {"chbxZconnectDept", "\"Report by departments\" after Z-report"},
           {"chbxZconnectItems", "\"Report PLU with turnovers\" after Z-report"},
           {"chbxZconnectStock", "\"Group report\" after Z-report"},
           {"chbxUsePeriodicReports", "Periodic reports"},
           {"chbxZnullItems", "Clear PLU turnover after Z-report"},
           {"chbxOpenDrawer", "Open drawer on every total"},
           {"chbxPrintAfterPay_ECR", "Receipt print after payment (ECR only)"},
       })
    fForm->addRow(checkBox(name, caption, box));
  chbxPrintAfterPay_ECR = box->findChild<QCheckBox*>("chbxPrintAfterPay_ECR");

  auto shortField = [](QWidget* w) {
    w->setFixedWidth(SHORT_FIELD_WIDTH);
    return w;
  };
  fForm->addRow("Barcode count for items:", shortField(choiceBox("cbxBarcodeCount", numberChoices(1, 4), 0, box)));
  fForm->addRow("Barcode mask:", shortField(textEdit("ledBarcodeMask", 10, box)));
  fForm->addRow("Logical ID:", shortField(digitsEdit("ledLogical", 4, box)));
  fForm->addRow("Device off (0-15min.):", shortField(digitsEdit("ledAutoOff", 0, box)));
  fForm->addRow("Backlight off (0-5min.):", shortField(digitsEdit("ledBckLightOff", 0, box)));
  fForm->addRow("Clear display (milisec):", shortField(digitsEdit("ledClearDisplay", 10, box)));
  fForm->addRow(checkBox("chbxAutoSummerTime", "Automatic winter/summer time", box));

  QGroupBox* ntpBox = nullptr;
  QFormLayout* ntp = formBox(this, "grpNTP", "NTP server settings", &ntpBox);
  ntp->addRow(checkBox("chbxNTPuse", "Synchronize datetime from NTP server", ntpBox));
  auto* server = textEdit("edNTPServeraddr", 128, ntpBox);
  server->setText(DEFAULT_NTP_SERVER);
  server->setMinimumWidth(220);
  ntp->addRow("Server address:", server);
  ntp->addRow("Time zone:", shortField(choiceBox("cbxTimezone", TIMEZONE_CHOICES, 0, ntpBox)));

  auto* btnReadParams = pushButton("btnReadParams", "Read", this);
  auto* bbtnSetParameters = pushButton("bbtnSetParameters", "Save", this);
  content()->addLayout(twoColumns(box, ntpBox, {btnReadParams, bbtnSetParameters}));

  onClick(btnReadParams, "readParamsTab", [this] { readParamsTab(); });
  onClick(bbtnSetParameters, "bbtnSetParametersClick", [this] { bbtnSetParametersClick(); });
}

void TParamsPage::read() { runOperation(readOperation(), [this] { readParamsTab(); }); }

void TParamsPage::modelChanged(int ecrModel) { fForm->setRowVisible(chbxPrintAfterPay_ECR, !isPrinterGroup(ecrModel)); }

void TParamsPage::readParamsTab() {
  readAndApply([this](TPageValues& v) { return kestrel::readParamsTab(ops(), v); });
}

void TParamsPage::bbtnSetParametersClick() {
  if (mayWriteShownValues()) saveParameters(ops(), collect(paramsTable()));
}

}  // namespace kestrel
