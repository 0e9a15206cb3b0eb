#pragma once
// VATs: five groups, each disabled or enabled with a rate.
#include "app/ui/pages/page.h"

class QComboBox;
class QLineEdit;

namespace kestrel {

class TVatPage : public TPage {
  Q_OBJECT

 public:
  TVatPage(TPageShell& shell, const TPageRow& row);
  void read() override;
  void readVATs();
  void bbtnSetVATClick();

 private:
  void cbxVAT1Change(QComboBox* box);
  TPageValues values() const;

  QComboBox* fStates[5] = {};
  QLineEdit* fRates[5] = {};
};

}  // namespace kestrel
