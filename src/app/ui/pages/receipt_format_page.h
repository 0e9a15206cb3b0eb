#pragma once
// Receipt format: how the device prints receipts, and the logo upload.
#include "app/ui/pages/page.h"

class QFormLayout;
class QProgressBar;

namespace kestrel {

class TReceiptFormatPage : public TPage {
  Q_OBJECT

 public:
  TReceiptFormatPage(TPageShell& shell, const TPageRow& row);
  void read() override;
  void modelChanged(int ecrModel) override;
  void readBONFormat();
  void bbtnSetBonFormatClick();
  void btn_CenterLogoClick();
  void bbtnLogoClick();

 private:
  QFormLayout* fForm = nullptr;
  QProgressBar* pbLogo = nullptr;
};

}  // namespace kestrel
