#pragma once
// The master-data grids: stock groups, departments, payments, operators and direct item
// keys. Each is one grid over its in-memory table with "Read" and "Save"; the table and
// its read and save come from the page's logic, so the grid page is shared.
#include "app/logic/mem_table.h"
#include "app/ui/pages/page.h"

class QTableView;

namespace kestrel {

struct TMasterTable;
class TMemTableModel;

struct TGridPageLayout {
  const char* cliName;      // the table's name in masterTables()
  const char* grid;         // objectName of the grid
  const char* readButton;   // objectNames of the buttons
  const char* saveButton;
  const char* readClick;    // the buttons' operation names
  const char* saveClick;
  bool multiSelect = false;
  const char* hint = nullptr;
  bool saveKeepsControls = false;  // the save leaves the page's controls as they are
};

class TGridPage : public TPage {
  Q_OBJECT

 public:
  TGridPage(TPageShell& shell, const TPageRow& row, const TGridPageLayout& layout);
  void read() override;

  TMemTable& table() { return fTable; }
  QTableView* grid() const { return fGrid; }
  void readTable();
  void saveTable();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Each column as wide as its title and cells; the grid no wider than its columns.
  void fitColumns();
  void deleteSelectedRows();

  TGridPageLayout fLayout;
  const TMasterTable& fDef;
  TMemTable fTable;
  TMemTableModel* fModel = nullptr;
  QTableView* fGrid = nullptr;
};

class TStockGroupsPage : public TGridPage {
 public:
  TStockGroupsPage(TPageShell& shell, const TPageRow& row);
};
class TDepartmentsPage : public TGridPage {
 public:
  TDepartmentsPage(TPageShell& shell, const TPageRow& row);
};
class TPaymentsPage : public TGridPage {
 public:
  TPaymentsPage(TPageShell& shell, const TPageRow& row);
};
class TOperatorsPage : public TGridPage {
 public:
  TOperatorsPage(TPageShell& shell, const TPageRow& row);
};
class TKeysPage : public TGridPage {
 public:
  TKeysPage(TPageShell& shell, const TPageRow& row);
};

// Discount / Surcharge keys: two check boxes and four edits, named parameters.
class TCorrectionsPage : public TPage {
  Q_OBJECT

 public:
  TCorrectionsPage(TPageShell& shell, const TPageRow& row);
  void read() override;
  void readCorrections();
  void btnSaveCorrectionsClick();
  void apply(const TPageValues& values) override;

 private:
  // An edit is enabled only while its key is not disabled.
  void enableEdits();
};

}  // namespace kestrel
