#include "app/ui/tables/mem_table_model.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QTableView>
#include <QValidator>
#include <exception>

#include "app/logic/mem_table.h"

namespace kestrel {

TMemTableModel::TMemTableModel(TMemTable& table, QObject* parent) : QAbstractTableModel(parent), fTable(table) {}

void TMemTableModel::setColumnTitle(int column, const QString& title) {
  fTitles[column] = title;
  emit headerDataChanged(Qt::Horizontal, column, column);
}

void TMemTableModel::reset() {
  beginResetModel();
  endResetModel();
}

void TMemTableModel::refresh() {
  if (fUpdates > 0 || fTable.RecordCount() == 0 || fTable.fieldCount() == 0) return;
  emit dataChanged(index(0, 0), index(fTable.RecordCount() - 1, fTable.fieldCount() - 1));
}

namespace {
std::vector<TMemTableModel*>& detachedModels() {
  static std::vector<TMemTableModel*> models;
  return models;
}
}  // namespace

TMemTableModel::~TMemTableModel() { std::erase(detachedModels(), this); }

void TMemTableModel::beginUpdate() {
  if (fUpdates++ > 0) return;
  fShownRows = fTable.RecordCount();
  fShownColumns = fTable.fieldCount();
  fShownClock.start();
  detachedModels().push_back(this);
}

void TMemTableModel::endUpdate() {
  if (fUpdates == 0 || --fUpdates > 0) return;
  std::erase(detachedModels(), this);
  reset();
}

void TMemTableModel::showSoFar() {
  if (fUpdates == 0 || fShownClock.elapsed() < 250) return;
  fShownClock.restart();
  const int rows = fTable.RecordCount();
  if (fTable.fieldCount() != fShownColumns || rows < fShownRows) {
    beginResetModel();
    fShownRows = rows;
    fShownColumns = fTable.fieldCount();
    endResetModel();
  } else if (rows > fShownRows) {
    beginInsertRows(QModelIndex(), fShownRows, rows - 1);
    fShownRows = rows;
    endInsertRows();
  }
  if (fShownRows > 0 && fShownColumns > 0)
    emit dataChanged(index(0, 0), index(fShownRows - 1, fShownColumns - 1));
}

void TMemTableModel::showAllSoFar() {
  // A copy: a reset may run code that ends an update.
  const std::vector<TMemTableModel*> models = detachedModels();
  for (TMemTableModel* m : models) m->showSoFar();
}

int TMemTableModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return fUpdates > 0 ? fShownRows : fTable.RecordCount();
}

int TMemTableModel::columnCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return fUpdates > 0 ? fShownColumns : fTable.fieldCount();
}

bool TMemTableModel::inTable(const QModelIndex& index) const {
  // While detached the table may hold fewer rows than the views were told of.
  return index.isValid() && index.row() < rowCount() && index.column() < columnCount() &&
         index.row() < fTable.RecordCount() && index.column() < fTable.fieldCount();
}

QVariant TMemTableModel::data(const QModelIndex& index, int role) const {
  if (!inTable(index)) return {};
  switch (role) {
    case Qt::DisplayRole: return QString::fromStdString(fTable.displayText(index.row(), index.column()));
    case Qt::EditRole: return QString::fromStdString(fTable.value(index.row(), index.column()));
    case Qt::TextAlignmentRole:
      if (fTable.field(index.column()).kind == TFieldKind::Boolean) return QVariant(Qt::AlignCenter);
      return fTable.field(index.column()).kind == TFieldKind::Text
                 ? QVariant(Qt::AlignLeft | Qt::AlignVCenter)
                 : QVariant(Qt::AlignRight | Qt::AlignVCenter);
    default: return {};
  }
}

QVariant TMemTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Vertical) return section + 1;
  if (section < 0 || section >= fTable.fieldCount()) return {};
  auto it = fTitles.find(section);
  return it != fTitles.end() ? it->second : QString::fromStdString(fTable.field(section).title());
}

Qt::ItemFlags TMemTableModel::flags(const QModelIndex& index) const {
  if (!inTable(index)) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (!fTable.field(index.column()).readOnly) f |= Qt::ItemIsEditable;
  return f;
}

bool TMemTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable)) return false;
  try {
    fTable.setValue(index.row(), index.column(), value.toString().toStdString());
  } catch (const std::exception& e) {
    if (onRefused) onRefused(e.what());
    return false;
  }
  emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
  return true;
}

namespace {

// Takes a text only when every character is one the field accepts.
class TFieldCharsValidator : public QValidator {
 public:
  TFieldCharsValidator(const TMemTable& table, int field, QObject* parent)
      : QValidator(parent), fTable(table), fField(field) {}
  State validate(QString& input, int&) const override {
    for (char32_t c : input.toUcs4())
      if (!fTable.acceptsChar(fField, c)) return Invalid;
    return Acceptable;
  }

 private:
  const TMemTable& fTable;
  int fField;
};

}  // namespace

QWidget* TMemFieldDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                         const QModelIndex& index) const {
  QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
  const auto* model = qobject_cast<const TMemTableModel*>(index.model());
  auto* edit = qobject_cast<QLineEdit*>(editor);
  if (!model || !edit) return editor;
  const TMemTable& table = model->table();
  const TFieldDef& f = table.field(index.column());
  if (f.kind == TFieldKind::Text && f.size > 0) edit->setMaxLength(f.size);
  if (!f.validChars.empty()) edit->setValidator(new TFieldCharsValidator(table, index.column(), edit));
  return editor;
}

QTableView* memTableGrid(const char* objectName, TMemTableModel* model, QWidget* parent,
                         QAbstractItemView::SelectionBehavior behavior, QAbstractItemView::SelectionMode mode,
                         int rowPad) {
  auto* grid = new QTableView(parent);
  grid->setObjectName(objectName);
  grid->setModel(model);
  grid->setItemDelegate(new TMemFieldDelegate(grid));
  grid->setSelectionBehavior(behavior);
  grid->setSelectionMode(mode);
  grid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                        QAbstractItemView::AnyKeyPressed);
  grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + rowPad);
  return grid;
}

}  // namespace kestrel
