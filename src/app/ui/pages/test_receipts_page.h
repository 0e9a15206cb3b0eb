#pragma once
// Test receipts: a test fiscal receipt and a test reclamation receipt for one item,
// the test item itself, closing a receipt left open, and the device restart.
#include "app/ui/pages/page.h"

class QComboBox;
class QLineEdit;

namespace kestrel {

struct TTestReceipt;

class TTestReceiptsPage : public TPage {
  Q_OBJECT

 public:
  TTestReceiptsPage(TPageShell& shell, const TPageRow& row);
  void bbtn_BAH_TEST_ECRClick();
  void bbtn_BAH_PROGR_TESTITEMClick();
  void bbtn_BAH_GETITEMClick();
  void bbtnTestReclamClick();
  void btnPanicOpClick();
  void btnRestartDevClick();
  // The two "Operator password:" fields take the recognised model's test password.
  void modelRecognised(const TModelRow& row) override;

 private:
  // The edits and lists of one tab.
  struct Tab {
    QLineEdit *plu = nullptr, *price = nullptr, *name = nullptr, *correction = nullptr, *iosa = nullptr,
              *receipt = nullptr, *oper = nullptr, *operPassword = nullptr;
    QComboBox *taxGroup = nullptr, *payment = nullptr;
  };
  QWidget* saleTab();
  QWidget* stornoTab();
  TTestReceipt values(const Tab& tab) const;
  void focusOn(const std::string& name);

  Tab fSale, fStorno;
};

}  // namespace kestrel
