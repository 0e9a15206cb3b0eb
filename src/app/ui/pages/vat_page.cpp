#include "app/ui/pages/vat_page.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/logic/pages/vat.h"
#include "app/ui/core/form_helpers.h"
#include "app/ui/core/widget_values.h"

namespace kestrel {

TVatPage::TVatPage(TPageShell& shell, const TPageRow& pageRow) : TPage(shell, pageRow) {
  auto* box = new QGroupBox("VAT rates", this);
  box->setObjectName("grpVATs");
  auto* grid = new QGridLayout(box);
  grid->setHorizontalSpacing(12);
  grid->setVerticalSpacing(6);
  for (int n = 1; n <= VAT_GROUP_COUNT; ++n) {
    auto* letter = new QLabel(QString("%1:").arg(VAT_LETTERS[n - 1]), box);
    letter->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* state = choiceBox(vatStateWidget(n).c_str(), {"Disabled", "Enabled"}, 0, box);
    auto* rate = textEdit(vatRateWidget(n).c_str(), 0, box);
    rate->setText("0.00");
    rate->setEnabled(false);
    rate->setMaximumWidth(100);
    grid->addWidget(letter, n - 1, 0);
    grid->addWidget(state, n - 1, 1);
    grid->addWidget(rate, n - 1, 2);
    grid->addWidget(new QLabel("%", box), n - 1, 3);
    fStates[n - 1] = state;
    fRates[n - 1] = rate;
    connect(state, &QComboBox::currentIndexChanged, this, [this, state] { cbxVAT1Change(state); });
  }
  auto* btnReadVATs = pushButton("btnReadVATs", "Read", box);
  auto* bbtnSetVAT = pushButton("bbtnSetVAT", "Save", box);
  grid->addLayout(buttonRow({btnReadVATs, bbtnSetVAT}), VAT_GROUP_COUNT, 0, 1, 4);
  auto* row = new QHBoxLayout;
  row->addWidget(box);
  row->addStretch(1);
  content()->addLayout(row);
  onClick(btnReadVATs, "readVATs", [this] { readVATs(); });
  onClick(bbtnSetVAT, "bbtnSetVATClick", [this] { bbtnSetVATClick(); });
}

void TVatPage::read() { runOperation(readOperation(), [this] { readVATs(); }); }

// The box's last character names its rate field.
void TVatPage::cbxVAT1Change(QComboBox* box) {
  const QString name = box->objectName();
  if (auto* rate = findChild<QLineEdit*>("edVAT_" + name.right(1))) rate->setEnabled(box->currentIndex() > 0);
}

TPageValues TVatPage::values() const {
  std::vector<std::string> names;
  for (int n = 1; n <= VAT_GROUP_COUNT; ++n) {
    names.push_back(vatStateWidget(n));
    names.push_back(vatRateWidget(n));
  }
  return collectValues(const_cast<TVatPage*>(this), names);
}

void TVatPage::readVATs() {
  readAndApply([this](TPageValues& v) { return kestrel::readVATs(ops(), v); });
}

void TVatPage::bbtnSetVATClick() {
  if (mayWriteShownValues()) saveVATs(ops(), values());
}

}  // namespace kestrel
