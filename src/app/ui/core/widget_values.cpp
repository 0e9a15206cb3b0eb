#include "app/ui/core/widget_values.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <stdexcept>

#include "app/ui/core/form_helpers.h"

namespace kestrel {

namespace {

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

}  // namespace kestrel
