#pragma once
// Clients: the client table in an editable grid over the data module's table, the read,
// the saves and deletes of all or the selected clients through a pop-up menu, the CSV
// export and import, "Stop operation" and the page's progress bar.
#include <vector>

#include "app/ui/pages/page.h"

class QAction;
class QCheckBox;
class QMenu;
class QProgressBar;
class QTableView;

namespace kestrel {

class TMemTable;
class TMemTableModel;

class TClientsPage : public TPage {
  Q_OBJECT

 public:
  TClientsPage(TPageShell& shell, const TPageRow& row);
  ~TClientsPage() override;
  void read() override;

  void btnReadClientInfoClick();
  void btnWriteClientInfoClick();
  void btnDelClientsClick();
  void btnExportClientsClick();
  void btnImportClientsClick();
  void btnClearClientClick();
  void mniAllClientsClick();
  void mniSelectedClientsClick();
  // Save, Clear table and Export... only with rows; "Stop operation" unticked.
  void ClientsControls();
  void startUp() override { ClientsControls(); }
  void controlsEnabled(bool enabled) override { Working = !enabled; }
  // Which button opened the pop-up menu (save or delete).
  int PopActionItems = 0;
  // An operation of this page runs: the buttons are set once at its end.
  bool Working = false;
  // Appends an empty row for the user to fill (Insert, or Down on the last row).
  void insertClientRow();

  QMenu* popupMenu() const { return fPopup; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  TMemTable& table() const;
  // An operation of the page: the page's host (progress bar, "Stop operation") for the
  // operations, the grid detached, the control enabling around it, ClientsControls after.
  void clientsOperation(const char* name, const std::function<void()>& f);
  // Ends a cell edit in progress, keeping what was typed.
  void postEdit();
  // The client numbers of the selected rows, in selection order.
  std::vector<int> selectedNumbers() const;
  void openPopup(int action, QWidget* button);

  QTableView* dbgClientInfo = nullptr;
  TMemTableModel* fModel = nullptr;
  QCheckBox* chbx_StopClients = nullptr;
  QProgressBar* pbClients = nullptr;
  QMenu* fPopup = nullptr;
  QAction* mniAllClients = nullptr;
  QAction* mniSelectedClients = nullptr;
};

}  // namespace kestrel
