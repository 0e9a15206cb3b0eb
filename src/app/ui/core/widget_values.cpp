#include "app/ui/core/widget_values.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTableView>
#include <stdexcept>

#include "app/ui/core/form_helpers.h"

namespace kestrel {

namespace {

constexpr const char* OPERATION_INPUT = "kestrelOperationInput";

QWidget* widgetNamed(QWidget* root, const std::string& name) {
  auto* w = root->findChild<QWidget*>(qs(name));
  if (!w) throw std::logic_error("the page has no widget " + name);
  return w;
}

int indexOf(const std::string& v) {
  try {
    return parseIntValue(v);
  } catch (const std::invalid_argument&) {
    return -1;
  }
}

}  // namespace

void applyValues(QWidget* root, const TPageValues& values) {
  for (const auto& [name, value] : values) {
    QWidget* w = widgetNamed(root, name);
    if (auto* c = qobject_cast<QComboBox*>(w)) c->setCurrentIndex(indexOf(value));
    else if (auto* l = qobject_cast<QListWidget*>(w)) l->setCurrentRow(indexOf(value));
    else if (auto* b = qobject_cast<QAbstractButton*>(w)) b->setChecked(value == "1");
    else if (auto* e = qobject_cast<QLineEdit*>(w)) {
      e->setText(qs(value));
      e->setCursorPosition(0);
    } else if (auto* t = qobject_cast<QLabel*>(w)) t->setText(qs(value));
    else throw std::logic_error("widget " + name + " holds no value");
  }
}

TPageValues collectValues(QWidget* root, const std::vector<std::string>& widgets) {
  TPageValues values;
  for (const auto& name : widgets) {
    QWidget* w = widgetNamed(root, name);
    if (auto* c = qobject_cast<QComboBox*>(w)) values[name] = std::to_string(c->currentIndex());
    else if (auto* l = qobject_cast<QListWidget*>(w)) values[name] = std::to_string(l->currentRow());
    else if (auto* b = qobject_cast<QAbstractButton*>(w)) values[name] = b->isChecked() ? "1" : "0";
    else if (auto* e = qobject_cast<QLineEdit*>(w)) values[name] = ss(e->text());
    else throw std::logic_error("widget " + name + " holds no value");
  }
  return values;
}

TPageValues collectValues(QWidget* root, const TParamTable& table) {
  std::vector<std::string> names;
  for (const auto& b : table.bindings) names.push_back(b.widget);
  return collectValues(root, names);
}

void markOperationInput(QWidget* w) { w->setProperty(OPERATION_INPUT, true); }

namespace {

// A widget that is part of another one's value (the edit inside a choice list, a
// number field or an open grid cell, a date field's calendar), or an operation's input.
bool partOfAnother(const QWidget* w, const QWidget* root) {
  if (w->property(OPERATION_INPUT).toBool() || w->isWindow()) return true;
  for (const QWidget* p = w->parentWidget(); p && p != root; p = p->parentWidget())
    if (p->isWindow() || p->property(OPERATION_INPUT).toBool() || qobject_cast<const QAbstractSpinBox*>(p) ||
        qobject_cast<const QComboBox*>(p) || qobject_cast<const QAbstractItemView*>(p))
      return true;
  return false;
}

}  // namespace

TShownValues shownValues(const QWidget* root) {
  TShownValues all;
  for (QWidget* w : root->findChildren<QWidget*>()) {
    if (partOfAnother(w, root)) continue;
    QStringList v;
    if (auto* c = qobject_cast<QComboBox*>(w)) v << c->currentText();
    else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
      if (b->isCheckable()) v << (b->isChecked() ? "1" : "0");
    } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
      if (!e->isReadOnly()) v << e->text();
    } else if (auto* s = qobject_cast<QAbstractSpinBox*>(w)) v << s->text();
    else if (auto* t = qobject_cast<QPlainTextEdit*>(w)) v << t->toPlainText();
    else if (auto* l = qobject_cast<QListWidget*>(w)) {
      // The lines are values; which one is selected is not.
      for (int r = 0; r < l->count(); ++r) v << l->item(r)->text();
    } else if (auto* g = qobject_cast<QTableView*>(w)) {
      if (const QAbstractItemModel* m = g->model())
        for (int r = 0; r < m->rowCount(); ++r)
          for (int c = 0; c < m->columnCount(); ++c) v << m->index(r, c).data(Qt::EditRole).toString();
    }
    if (!v.isEmpty()) all.emplace(w, std::move(v));
  }
  return all;
}

}  // namespace kestrel
