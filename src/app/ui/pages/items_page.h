#pragma once
// Items: the item table fdmt_Articles in an editable grid over the table model, the
// shared pop-up menu of "Read...", "Save..." and "Delete...", the quantity change, CSV
// import and export, and the progress bar and "Stop" of the long loops.
#include <memory>

#include "app/logic/pages/items.h"
#include "app/ui/pages/page.h"

class QAction;
class QMenu;
class QProgressBar;
class QPushButton;
class QTableView;
class QWidget;

namespace kestrel {

class TMemTableModel;
class TItemsHost;

class TItemsPage : public TPage {
  Q_OBJECT

 public:
  TItemsPage(TPageShell& shell, const TPageRow& row);
  ~TItemsPage() override;

  void ArticlesControls();
  void modelChanged(int ecrModel) override;
  void connectionOpened() override { ArticlesControls(); }
  void startUp() override { ArticlesControls(); }
  void controlsEnabled(bool enabled) override { Working = !enabled; }
  // The stop request of the running loop (the window's one request).
  bool Stop_read() const;
  // Which button opened the pop-up menu (popRead, popSave, popDelete).
  int PopActionItems = 0;
  // A loop of this page runs: the buttons are set once at its end, not at every row.
  bool Working = false;
  // Names, before a save, the values of the items it sends (by PLU) that the device's
  // code page cannot hold.
  void warnCodePage(const std::function<bool(int64_t plu)>& sent);
  void bbtnReadItemsClick();
  void bbtnSendItemsClick();
  void bbtnDeleteClick();
  void bbtnClearClick();
  void bbtnStopReadClick();
  void btnChangeQTYClick();
  void bbtnImportClick();
  void bbtnExportClick();
  void mniAllItemsClick() { menuAction(TMenuEntry::All); }
  void mniRangeItemsClick() { menuAction(TMenuEntry::Range); }
  void mniSelectedItemsClick() { menuAction(TMenuEntry::Selected); }

  QTableView* grid() const { return fGrid; }
  TMemTableModel* model() const { return fModel; }
  QMenu* menu() const { return fMenu; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The menu action frame: controls and tree off, "Stop" on, the grid detached, the
  // operation, and everything back on every way out.
  void menuAction(TMenuEntry entry);
  // Runs a loop of this page with the grid detached and the selection handed over.
  void withGridDetached(const std::function<void()>& f);
  void showMenu(int popAction, QPushButton* button);
  // Posts a row being edited (the editor gives its text to the table).
  void postEdit();
  // A cell editor of the grid has the focus.
  bool editing() const;
  void toItems();
  void fromItems();
  void deleteCurrentRow();
  void insertRow();

  TMemTable& fTable;
  std::unique_ptr<TItemsHost> fHost;
  std::unique_ptr<TItemsOps> fItems;
  TMemTableModel* fModel = nullptr;
  QTableView* fGrid = nullptr;
  QProgressBar* fProgress = nullptr;
  QWidget* fButtons = nullptr;
  QMenu* fMenu = nullptr;
  QAction* fSelectedAction = nullptr;
  QPushButton *fRead = nullptr, *fSave = nullptr, *fDelete = nullptr, *fClear = nullptr, *fStop = nullptr,
              *fQty = nullptr, *fImport = nullptr, *fExport = nullptr;
};

}  // namespace kestrel
