#pragma once
// Reports: departments, operators, items (PLU), periodic and item groups reports.
#include "app/ui/pages/page.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QFormLayout;
class QLineEdit;

namespace kestrel {

class TReportsPage : public TPage {
  Q_OBJECT

 public:
  TReportsPage(TPageShell& shell, const TPageRow& row);
  void btnDeptReportClick();
  void btnPrintOperReportClick();
  void btnPLUreportClick();
  void btnPrintPeriodicRepClick();
  void btnItemGrpsReportClick();
  // The PLU sub-kind and its range show only for "Period report "PLU items"".
  void cbxPeriodicRepTypeChange();

 private:
  QLineEdit *edOperFrom = nullptr, *edOperTo = nullptr;
  QCheckBox* chbxClearOperRegs = nullptr;
  QLineEdit *edPLUFrom = nullptr, *edPLUTo = nullptr;
  QComboBox* cbxPLUReportType = nullptr;
  QComboBox* cbxPeriodicRepType = nullptr;
  QDateEdit *dtpPeriodicFrom = nullptr, *dtpPeriodicTo = nullptr;
  QComboBox* cbxPeriodicPLUType = nullptr;
  QLineEdit *edPeriodicPLUFrom = nullptr, *edPeriodicPLUTo = nullptr;
  QFormLayout* fPeriodicForm = nullptr;
};

}  // namespace kestrel
