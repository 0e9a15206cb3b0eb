#include "app/ui/pages/daily_closure_page.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/logic/page_table.h"
#include "app/logic/pages/daily_closure.h"
#include "app/logic/pages/vat.h"
#include "app/ui/core/form_helpers.h"
#include "app/ui/pages/settings_page.h"

namespace kestrel {

TDailyClosurePage::TDailyClosurePage(TPageShell& shell, const TPageRow& pageRow) : TPage(shell, pageRow) {
  const TPageValues initial = initialClosureLabels();
  auto label = [&](const std::string& name, QWidget* parent) {
    return valueLabel(name.c_str(), qs(initial.at(name)), parent);
  };

  QGroupBox* reports = nullptr;
  QFormLayout* reportsForm = formBox(this, "grpDailyReports", "Daily reports", &reports);
  auto* bbtnPrintX = pushButton("bbtnPrintX", "X report", reports);
  auto* bbtnPrintZ = pushButton("bbtnPrintZ", "Z report", reports);
  reportsForm->addRow(buttonRow({bbtnPrintX, bbtnPrintZ}));
  reportsForm->addRow("Report number:", label(LB_REPORT_NUMBER, reports));

  QGroupBox* sums = nullptr;
  QFormLayout* sumsForm = formBox(this, "grpSums", "Sums", &sums);
  QGroupBox* storno = nullptr;
  QFormLayout* stornoForm = formBox(this, "grpStornoSums", "Storno sums", &storno);
  for (int i = 1; i <= VAT_GROUP_COUNT; ++i) {
    const QString letter(QChar(VAT_LETTERS[i - 1]));
    sumsForm->addRow("Sum on \"" + letter + "\":", label(vatSumLabel(i), sums));
    stornoForm->addRow("Storno sum on \"" + letter + "\":", label(stornoSumLabel(i), storno));
  }
  sumsForm->addRow("Total:", label(LB_TOTAL, sums));
  stornoForm->addRow("Storno total:", label(LB_STORNO_TOTAL, storno));

  content()->addLayout(sideBySide({reports}));
  content()->addLayout(sideBySide({sums, storno}));
  content()->addStretch(1);

  onClick(bbtnPrintX, "bbtnPrintXClick", [this] { bbtnPrintXClick(); });
  onClick(bbtnPrintZ, "bbtnPrintZClick", [this] { bbtnPrintZClick(); });
}

void TDailyClosurePage::bbtnPrintXClick() {
  readAndApply([this](TPageValues& labels) { return printXReport(ops(), labels); });
}

// The deletion's values are the Settings page's, as they stand.
void TDailyClosurePage::bbtnPrintZClick() {
  TFBHSettings settings;
  if (auto* page = dynamic_cast<TSettingsPage*>(shell().page(PAGE_SETTINGS))) settings = page->shown();
  settings.DelItemsOnZ = shell().DeleteItemsAFterZrep();
  readAndApply([this, &settings](TPageValues& labels) { return printZReport(ops(), labels, settings); });
}

}  // namespace kestrel
