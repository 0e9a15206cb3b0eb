#pragma once
// Daily closure: the X and Z reports and the report's number and sums per VAT group.
#include "app/ui/pages/page.h"

namespace kestrel {

class TDailyClosurePage : public TPage {
  Q_OBJECT

 public:
  TDailyClosurePage(TPageShell& shell, const TPageRow& row);
  void bbtnPrintXClick();
  void bbtnPrintZClick();
};

}  // namespace kestrel
