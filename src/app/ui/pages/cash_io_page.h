#pragma once
// Cash IO: cash into the drawer and out of it, and the drawer's sums.
#include "app/ui/pages/page.h"

class QLabel;
class QLineEdit;

namespace kestrel {

struct TCashSums;

class TCashIOPage : public TPage {
  Q_OBJECT

 public:
  TCashIOPage(TPageShell& shell, const TPageRow& row);
  void bbtnCashInClick();
  void bbtnCashOutClick();

 private:
  void cash(bool out, QLineEdit* amount);

  QLabel *lbCashInSafe = nullptr, *lbSumInput = nullptr, *lbSumOutput = nullptr;
  QLineEdit *edInputCash = nullptr, *edOutputCash = nullptr;
};

}  // namespace kestrel
