#pragma once
// Date, header & footer: the header and footer lines in two grids over the data
// module's tables, the date and time pickers, the file export and import, and the
// diagnostic printout. The page's read runs at every connection (it is shown first).
#include "app/logic/pages/cliche.h"
#include "app/ui/pages/page.h"

class QDateEdit;
class QShowEvent;
class QTabWidget;
class QTableView;
class QTimeEdit;

namespace kestrel {

class TMemTableModel;

class TClichePage : public TPage {
  Q_OBJECT

 public:
  TClichePage(TPageShell& shell, const TPageRow& row);
  ~TClichePage() override;
  void read() override;

  void readCliche();
  void bbtnSetClicheClick();
  void bbtnGetDatePCClick();
  void bbtnGetDateECRClick();
  void bbtnSetDateECRClick();
  void bbtnExportClicheClick();
  void bbtnImportClicheClick();
  // The handler both "Print diagnostic" buttons share (this page's and Fiscalization's).
  void bbtnPrintDiag2Click();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QTableView* linesGrid(const char* name, TMemTableModel* model);
  TClicheTables tables() const;
  LocalDateTime pickedDateTime() const;
  void showDateTime(const LocalDateTime& dt);

  QTabWidget* pgcCliche = nullptr;
  QTableView* dbgHeader = nullptr;
  QTableView* dbgFooter = nullptr;
  TMemTableModel* fHeaderModel = nullptr;
  TMemTableModel* fFooterModel = nullptr;
  QDateEdit* dtpDate = nullptr;
  QTimeEdit* dtpTime = nullptr;
};

}  // namespace kestrel
