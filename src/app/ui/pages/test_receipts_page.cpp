#include "app/ui/pages/test_receipts_page.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <iterator>

#include "app/logic/model_table.h"
#include "app/logic/pages/test_receipts.h"
#include "app/ui/core/form_helpers.h"

namespace kestrel {

namespace {

QLineEdit* edit(QLineEdit* e, const char* text, int widthChars) {
  e->setText(text);
  e->setFixedWidth(e->fontMetrics().horizontalAdvance(QString(widthChars, '0')) + 16);
  return e;
}

}  // namespace

TTestReceiptsPage::TTestReceiptsPage(TPageShell& shell, const TPageRow& pageRow) : TPage(shell, pageRow) {
  auto* tabs = new QTabWidget(this);
  tabs->setObjectName("pgcTestReceipts");
  tabs->addTab(saleTab(), "Test receipt");
  tabs->addTab(stornoTab(), "Reclamation receipt");

  QGroupBox* device = nullptr;
  QFormLayout* deviceForm = formBox(this, "grpTestDevice", "Device", &device);
  auto* btnPanicOp = pushButton("btnPanicOp", "Close receipts operation", device);
  auto* btnRestartDev = pushButton("btnRestartDev", "Restart device", device);
  deviceForm->addRow(btnPanicOp);
  deviceForm->addRow(btnRestartDev);

  content()->addLayout(sideBySide({tabs, device}));
  content()->addStretch(1);

  onClick(btnPanicOp, "btnPanicOpClick", [this] { btnPanicOpClick(); });
  onClick(btnRestartDev, "btnRestartDevClick", [this] { btnRestartDevClick(); });
}

QWidget* TTestReceiptsPage::saleTab() {
  auto* tab = new QWidget;
  tab->setObjectName("tsTestReceipt");
  QFormLayout* form = formLayout(tab);
  Tab& t = fSale;
  t.plu = edit(digitsEdit(ED_SALE_PLU, 0, tab), "1", 8);
  t.price = edit(textEdit("ledTestPriceSale", 0, tab), "1", 12);
  t.name = edit(textEdit("ledTestNameSale", 36, tab), "Test item", 28);
  t.taxGroup = choiceBox("cbxTestVatSale", entries(TAX_GROUP_CHOICES), 0, tab);
  t.payment = choiceBox("cbxTestPaySale", entries(PAYMENT_TYPE_CHOICES), 0, tab);
  t.correction = edit(textEdit("ledTestCorrSale", 0, tab), "1", 8);
  t.iosa = edit(digitsEdit(ED_SALE_IOSA, 16, tab), "1234567890123456", 17);
  t.oper = edit(digitsEdit("ledTestOperSale", 16, tab), "1", 17);
  t.operPassword = edit(digitsEdit("ledTestOperPassSale", 16, tab), REGISTER_DEFAULT_OPERATOR_PASSWORD, 17);
  form->addRow("PLU", t.plu);
  form->addRow("Price", t.price);
  form->addRow("Item name", t.name);
  form->addRow("Choose tax group", t.taxGroup);
  form->addRow("Payment type", t.payment);
  form->addRow("Discount/surcharge %:", t.correction);
  form->addRow("IOSA number", t.iosa);
  form->addRow("Operator:", t.oper);
  form->addRow("Operator password:", t.operPassword);
  auto* test = pushButton("bbtn_BAH_TEST_ECR", "Test fiscal receipt", tab);
  auto* add = pushButton("bbtn_BAH_PROGR_TESTITEM", "Add item to printer", tab);
  auto* get = pushButton("bbtn_BAH_GETITEM", "Get item from printer", tab);
  form->addRow(buttonRow({test, add, get}));
  onClick(test, "bbtn_BAH_TEST_ECRClick", [this] { bbtn_BAH_TEST_ECRClick(); });
  onClick(add, "bbtn_BAH_PROGR_TESTITEMClick", [this] { bbtn_BAH_PROGR_TESTITEMClick(); });
  onClick(get, "bbtn_BAH_GETITEMClick", [this] { bbtn_BAH_GETITEMClick(); });
  return tab;
}

QWidget* TTestReceiptsPage::stornoTab() {
  auto* tab = new QWidget;
  tab->setObjectName("tsReclamationReceipt");
  QFormLayout* form = formLayout(tab);
  Tab& t = fStorno;
  t.plu = edit(textEdit(ED_STORNO_PLU, 0, tab), "1", 8);
  t.payment = choiceBox("cbxTestPayStorno", entries(PAYMENT_TYPE_CHOICES), 0, tab);
  t.correction = edit(textEdit("ledTestCorrStorno", 0, tab), "1", 8);
  t.iosa = edit(textEdit(ED_STORNO_IOSA, 16, tab), "1234567890123456", 17);
  t.receipt = edit(textEdit(ED_STORNO_RECEIPT, 16, tab), "1", 17);
  t.oper = edit(digitsEdit("ledTestOperStorno", 16, tab), "1", 17);
  t.operPassword = edit(digitsEdit("ledTestOperPassStorno", 16, tab), REGISTER_DEFAULT_OPERATOR_PASSWORD, 17);
  form->addRow("PLU", t.plu);
  form->addRow("Payment type", t.payment);
  form->addRow("Discount/surcharge %:", t.correction);
  form->addRow("IOSA number", t.iosa);
  form->addRow("Receipt number", t.receipt);
  form->addRow("Operator:", t.oper);
  form->addRow("Operator password:", t.operPassword);
  auto* reclaim = pushButton("bbtnTestReclam", "Test reclamation BON", tab);
  form->addRow(buttonRow({reclaim}));
  onClick(reclaim, "bbtnTestReclamClick", [this] { bbtnTestReclamClick(); });
  return tab;
}

TTestReceipt TTestReceiptsPage::values(const Tab& t) const {
  TTestReceipt r;
  r.plu = ss(t.plu->text());
  if (t.price) r.price = ss(t.price->text());
  if (t.name) r.itemName = ss(t.name->text());
  if (t.taxGroup) r.taxGroup = t.taxGroup->currentIndex();
  r.paymentType = t.payment->currentIndex();
  r.correction = ss(t.correction->text());
  r.iosa = ss(t.iosa->text());
  if (t.receipt) r.receiptNumber = ss(t.receipt->text());
  r.oper = ss(t.oper->text());
  r.operPassword = ss(t.operPassword->text());
  return r;
}

void TTestReceiptsPage::focusOn(const std::string& name) {
  if (auto* w = findChild<QWidget*>(qs(name))) w->setFocus();
}

void TTestReceiptsPage::modelRecognised(const TModelRow& row) {
  for (QLineEdit* e : {fSale.operPassword, fStorno.operPassword}) e->setText(row.testOperatorPassword);
}

void TTestReceiptsPage::bbtn_BAH_TEST_ECRClick() {
  std::string focus;
  saySucceeded("Test receipt printed.", [&] { return testFiscalReceipt(ops(), values(fSale), focus); });
  if (!focus.empty()) focusOn(focus);
}

void TTestReceiptsPage::bbtnTestReclamClick() {
  std::string focus;
  saySucceeded("Test reclamation receipt printed.",
               [&] { return testReclamationReceipt(ops(), values(fStorno), focus); });
  if (!focus.empty()) focusOn(focus);
}

void TTestReceiptsPage::bbtn_BAH_PROGR_TESTITEMClick() { programTestItem(ops(), values(fSale)); }

void TTestReceiptsPage::bbtn_BAH_GETITEMClick() {
  TTestReceipt r = values(fSale);
  if (!getTestItem(ops(), r)) return;
  fSale.taxGroup->setCurrentIndex(r.taxGroup);
  fSale.price->setText(qs(r.price));
  fSale.name->setText(qs(r.itemName));
}

void TTestReceiptsPage::btnPanicOpClick() {
  const TCloseReceipts r = closeReceipts(ops());
  if (r.ok()) {
    const int64_t voids = r.outcome.answered;
    const bool open = r.state >= 1 && r.state <= 5;
    return shell().set_StatusText(
        !open ? "No receipt was open."
              : "The receipt is closed" +
                    (voids > 0 ? " after " + std::to_string(voids) + (voids == 1 ? " void." : " voids.") : std::string(".")));
  }
  // A refused step has shown its error; a void refused otherwise than with "No
  // transactions" ends without a message.
  if (r.outcome.end == TLoopEnd::Failed && !r.boundReached) return;
  showLoopEnd(ops(), r.outcome, RECEIPT_VOIDS);
}

void TTestReceiptsPage::btnRestartDevClick() { restartDevice(ops()); }

}  // namespace kestrel
