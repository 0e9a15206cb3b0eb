// The grid adapter over an in-memory table: titles, display and edit texts, refused
// edits, read-only fields, a loop detached and reset once, the cell editor's limits.
#include <QLineEdit>
#include <QSignalSpy>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QTest>

#include "app/gui_fixture.h"
#include "app/logic/mem_table.h"
#include "app/ui/tables/mem_table_model.h"

namespace kestrel {
namespace {

TFieldDef fieldOf(const char* name, TFieldKind kind) {
  TFieldDef f;
  f.name = name;
  f.kind = kind;
  return f;
}

struct PriceTable {
  PriceTable() {
    table.addField(fieldOf("PLU", TFieldKind::Integer)).readOnly = true;
    TFieldDef& price = table.addField(fieldOf("Price", TFieldKind::Money));
    price.displayLabel = "Price (KM)";
    price.displayFormat = "0.00";
    table.addField(fieldOf("Name", TFieldKind::Text)).size = 5;
    for (int i = 0; i < 2; ++i) {
      const int r = table.append();
      table.setValue(r, "PLU", std::to_string(i + 1), true);
      table.setValue(r, "Price", "12.5");
    }
  }
  TMemTable table{"prices"};
};

TEST(GuiMemTableModel, ShowsEditsRefusesAndResetsOnce) {
  PriceTable p;
  TMemTableModel model(p.table);
  std::vector<std::string> refused;
  model.onRefused = [&](const std::string& m) { refused.push_back(m); };

  EXPECT_EQ(model.rowCount(), 2);
  EXPECT_EQ(model.columnCount(), 3);
  EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString().toStdString(), "Price (KM)");
  EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString().toStdString(), "PLU");
  model.setColumnTitle(0, "Code");
  EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString().toStdString(), "Code");
  EXPECT_EQ(model.index(0, 1).data().toString().toStdString(), "12.50");
  EXPECT_EQ(model.index(0, 1).data(Qt::EditRole).toString().toStdString(), "12.5000");
  EXPECT_FALSE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);
  EXPECT_FALSE(model.setData(model.index(0, 0), "7"));
  EXPECT_TRUE(model.flags(model.index(0, 2)) & Qt::ItemIsEditable);

  QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
  EXPECT_TRUE(model.setData(model.index(1, 1), "3.99"));
  EXPECT_EQ(p.table.value(1, "Price"), "3.9900");
  EXPECT_EQ(changed.count(), 1);
  EXPECT_FALSE(model.setData(model.index(1, 2), "toolong"));
  ASSERT_EQ(refused.size(), 1u);
  EXPECT_NE(refused[0].find("Name"), std::string::npos) << refused[0];
  EXPECT_EQ(p.table.value(1, "Name"), "");
  EXPECT_FALSE(model.index(5, 0).isValid());

  // A loop: the views keep the rows they had, learn of new ones only when shown so far
  // (at most four times a second), and get one reset at the end.
  QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
  QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
  {
    TMemTableModel::Update outer(model);
    TMemTableModel::Update inner(model);
    for (int i = 0; i < 100; ++i) p.table.append();
    EXPECT_EQ(model.rowCount(), 2);
    model.refresh();  // nothing while detached
    TMemTableModel::showAllSoFar();  // too soon after the start
    EXPECT_EQ(model.rowCount(), 2);
    QTest::qWait(300);
    TMemTableModel::showAllSoFar();
    EXPECT_EQ(model.rowCount(), 102);
    EXPECT_EQ(inserted.count(), 1);
    // Rows that went while detached are shown empty until the next showing.
    while (p.table.RecordCount() > 2) p.table.deleteRow(p.table.RecordCount() - 1);
    EXPECT_EQ(model.rowCount(), 102);
    EXPECT_FALSE(model.data(model.index(50, 0)).isValid());
  }
  EXPECT_EQ(resets.count(), 1);
  EXPECT_EQ(model.rowCount(), 2);

  // The editor keeps to the field: five characters for the name, digits and a point
  // for the price.
  QTableView view;
  view.setModel(&model);
  TMemFieldDelegate delegate;
  QStyleOptionViewItem option;
  std::unique_ptr<QWidget> nameEditor(delegate.createEditor(&view, option, model.index(0, 2)));
  EXPECT_EQ(qobject_cast<QLineEdit*>(nameEditor.get())->maxLength(), 5);
  std::unique_ptr<QWidget> priceEditor(delegate.createEditor(&view, option, model.index(0, 1)));
  auto* price = qobject_cast<QLineEdit*>(priceEditor.get());
  ASSERT_NE(price, nullptr);
  QTest::keyClicks(price, "1,5-0.2");
  EXPECT_EQ(price->text().toStdString(), "150.2");
}

}  // namespace
}  // namespace kestrel
