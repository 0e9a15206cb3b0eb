#pragma once
// Daily closure: the X and Z reports and the report's number and sums per VAT group.
#include <map>

#include "app/ui/pages/page.h"

class QLabel;

namespace kestrel {

class TDailyClosurePage : public TPage {
  Q_OBJECT

 public:
  explicit TDailyClosurePage(TfmMainFBH& main);
  void bbtnPrintXClick();
  void bbtnPrintZClick();

 private:
  // The report's labels (value labels, not one of the widget kinds apply() knows).
  void apply(const TPageValues& labels) override;

  std::map<std::string, QLabel*> fLabels;
};

}  // namespace kestrel
