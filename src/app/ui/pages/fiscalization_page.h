#pragma once
// Fiscalization: serial and fiscal memory numbers, JIB and PIB, IOSA, the option printed
// after fiscalization, and the fiscalization itself.
#include "app/ui/pages/page.h"

class QCheckBox;

namespace kestrel {

class TFiscalizationPage : public TPage {
  Q_OBJECT

 public:
  TFiscalizationPage(TPageShell& shell, const TPageRow& row);
  void read() override;
  void readFiscTab();
  void bbtnSetSerialClick();
  void bbtnSaveTAXnumbersClick();
  void bbtnSaveIOSAClick();
  void bbtnFiscalizeClick();
  void chbxIssueReceiptClick(bool checked);

 private:
  // Runs a save on the page's values, shows what it left in them (a read after it) and
  // moves the focus to the field it names.
  void onValues(const std::function<void(TPageValues&, std::string& focus)>& f);
  QCheckBox* fIssueReceipt = nullptr;
};

}  // namespace kestrel
