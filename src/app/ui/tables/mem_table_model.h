#pragma once
// A grid's view of an in-memory table: the cells as the table displays them, the
// fields' display labels as column titles, edits through the table's own checks (a
// refused value keeps the cell and shows the table's message), read-only fields not
// editable. Loops that change many rows detach the views and reset them once.
#include <QAbstractItemView>
#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QStyledItemDelegate>
#include <functional>
#include <map>
#include <string>

class QTableView;

namespace kestrel {

class TMemTable;

class TMemTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit TMemTableModel(TMemTable& table, QObject* parent = nullptr);
  ~TMemTableModel() override;

  TMemTable& table() const { return fTable; }
  // Shows the message of a value the table refused.
  std::function<void(const std::string& message)> onRefused;
  // A title of the grid's own instead of the field's display label.
  void setColumnTitle(int column, const QString& title);

  // The table's rows or fields changed outside the model: the views show it anew.
  void reset();
  // Values changed outside the model, rows and fields did not (the table's AfterPost):
  // the views repaint them. Nothing while detached.
  void refresh();
  // A loop that changes the table row by row: until the matching endUpdate the views
  // keep the rows they had and learn of new ones only through showSoFar (a loop over
  // 100,000 rows does not tell them row by row); the last endUpdate resets them once.
  // Calls nest.
  void beginUpdate();
  void endUpdate();
  // While detached: the views show the table as it stands now, at most four times a
  // second, so that a long loop's grid fills as it goes instead of going blank.
  void showSoFar();
  // showSoFar for every model detached now (the window calls it while a loop lets
  // events run).
  static void showAllSoFar();
  // beginUpdate for a scope, endUpdate on every way out.
  class Update {
   public:
    explicit Update(TMemTableModel& model) : fModel(model) { fModel.beginUpdate(); }
    ~Update() { fModel.endUpdate(); }
    Update(const Update&) = delete;
    Update& operator=(const Update&) = delete;

   private:
    TMemTableModel& fModel;
  };

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

 private:
  bool inTable(const QModelIndex& index) const;

  TMemTable& fTable;
  std::map<int, QString> fTitles;
  int fUpdates = 0;
  // What the views were last told while detached.
  int fShownRows = 0, fShownColumns = 0;
  QElapsedTimer fShownClock;
};

// The editor of a cell: at most the field's characters, only the characters the field
// takes (a money field refuses "," and "-" as they are typed).
class TMemFieldDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

// A page's grid over the model: the field's own cell editor, editing started by a double
// click, F2 or typing, rows `rowPad` pixels taller than the font.
QTableView* memTableGrid(const char* objectName, TMemTableModel* model, QWidget* parent,
                         QAbstractItemView::SelectionBehavior behavior, QAbstractItemView::SelectionMode mode,
                         int rowPad);

}  // namespace kestrel
