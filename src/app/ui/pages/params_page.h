#pragma once
// Parameters: the device's operating options, each a named device parameter.
#include "app/ui/pages/page.h"

class QCheckBox;
class QFormLayout;

namespace kestrel {

class TParamsPage : public TPage {
  Q_OBJECT

 public:
  TParamsPage(TPageShell& shell, const TPageRow& row);
  void read() override;
  void modelChanged(int ecrModel) override;
  void readParamsTab();
  void bbtnSetParametersClick();

 private:
  QFormLayout* fForm = nullptr;
  QCheckBox* chbxPrintAfterPay_ECR = nullptr;
};

}  // namespace kestrel
