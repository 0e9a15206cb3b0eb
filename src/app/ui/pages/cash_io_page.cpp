#include "app/ui/pages/cash_io_page.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/logic/pages/cash_io.h"
#include "app/ui/core/form_helpers.h"

namespace kestrel {

namespace {

// An amount edit and its "Execute" button as one form row.
QHBoxLayout* amountRow(QLineEdit* edit, QPushButton* button) {
  auto* row = new QHBoxLayout;
  row->addWidget(edit);
  row->addWidget(button);
  return row;
}

}  // namespace

TCashIOPage::TCashIOPage(TPageShell& shell, const TPageRow& pageRow) : TPage(shell, pageRow) {
  const TCashSums initial;
  QGroupBox* drawer = nullptr;
  QFormLayout* drawerForm = formBox(this, "grpCashSums", "Drawer", &drawer);
  lbCashInSafe = valueLabel("lbCashInSafe", qs(initial.inSafe), drawer);
  lbSumInput = valueLabel("lbSumInput", qs(initial.inputs), drawer);
  lbSumOutput = valueLabel("lbSumOutput", qs(initial.outputs), drawer);
  drawerForm->addRow("Cash in safe:", lbCashInSafe);
  drawerForm->addRow("Sum of input operations:", lbSumInput);
  drawerForm->addRow("Sum of output operations:", lbSumOutput);

  QGroupBox* io = nullptr;
  QFormLayout* ioForm = formBox(this, "grpCashIO", "Cash in / out", &io);
  edInputCash = textEdit("edInputCash", 9, io);
  edOutputCash = textEdit("edOutputCash", 9, io);
  for (QLineEdit* e : {edInputCash, edOutputCash}) {
    takeCommaAsPoint(e);
    e->setText("0.01");
    e->setFixedWidth(e->fontMetrics().horizontalAdvance(QString(11, '0')) + 12);
    e->setAlignment(Qt::AlignRight);
  }
  auto* bbtnCashIn = pushButton("bbtnCashIn", "Execute", io);
  auto* bbtnCashOut = pushButton("bbtnCashOut", "Execute", io);
  ioForm->addRow("Input cash:", amountRow(edInputCash, bbtnCashIn));
  ioForm->addRow("Output cash:", amountRow(edOutputCash, bbtnCashOut));

  content()->addLayout(sideBySide({io, drawer}));
  content()->addStretch(1);

  onClick(bbtnCashIn, "bbtnCashInClick", [this] { bbtnCashInClick(); });
  onClick(bbtnCashOut, "bbtnCashOutClick", [this] { bbtnCashOutClick(); });
}

void TCashIOPage::cash(bool out, QLineEdit* amount) {
  TCashSums sums;
  cashInOut(ops(), out, ss(amount->text()), sums, [this](const TCashSums& s) {
    lbCashInSafe->setText(qs(s.inSafe));
    lbSumInput->setText(qs(s.inputs));
    lbSumOutput->setText(qs(s.outputs));
  });
}

void TCashIOPage::bbtnCashInClick() { cash(false, edInputCash); }

void TCashIOPage::bbtnCashOutClick() { cash(true, edOutputCash); }

}  // namespace kestrel
