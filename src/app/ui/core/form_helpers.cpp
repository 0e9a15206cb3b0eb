#include "app/ui/core/form_helpers.h"

#include <QComboBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QAbstractButton>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>
#include <charconv>
#include <stdexcept>

namespace kestrel {

long long toInteger(const std::string& text, long long minValue, long long maxValue) {
  long long v = 0;
  const char* b = text.data();
  const char* e = b + text.size();
  auto [p, ec] = std::from_chars(b, e, v);
  if (text.empty() || ec != std::errc() || p != e) throw std::runtime_error("'" + text + "' is not a valid integer value");
  if (v < minValue || v > maxValue)
    throw std::runtime_error("'" + text + "' is out of range (" + std::to_string(minValue) + " to " +
                             std::to_string(maxValue) + ")");
  return v;
}

QLineEdit* textEdit(const char* name, int maxLength, QWidget* parent) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(name);
  if (maxLength > 0) e->setMaxLength(maxLength);
  return e;
}

QLineEdit* digitsEdit(const char* name, int maxLength, QWidget* parent) {
  auto* e = textEdit(name, maxLength, parent);
  e->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), e));
  return e;
}

QLineEdit* outputEdit(const char* name, QWidget* parent) {
  auto* e = textEdit(name, 0, parent);
  e->setReadOnly(true);
  // The window's own background: a field that looks like an edit invites typing.
  QPalette p = e->palette();
  p.setColor(QPalette::Base, p.color(QPalette::Window));
  e->setPalette(p);
  return e;
}

QComboBox* choiceBox(const char* name, const std::vector<std::string>& entries, int defaultIndex, QWidget* parent) {
  auto* c = new QComboBox(parent);
  c->setObjectName(name);
  for (const auto& e : entries) c->addItem(qs(e));
  c->setCurrentIndex(defaultIndex);
  c->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  return c;
}

QLabel* valueLabel(const char* name, const QString& text, QWidget* parent) {
  auto* l = new QLabel(text, parent);
  l->setObjectName(name);
  l->setMinimumWidth(l->fontMetrics().horizontalAdvance(QString(14, '0')));
  l->setTextInteractionFlags(Qt::TextSelectableByMouse);
  return l;
}

QDateEdit* datePicker(const char* name, QWidget* parent) {
  auto* d = new QDateEdit(QDate::currentDate(), parent);
  d->setObjectName(name);
  d->setDisplayFormat("dd.MM.yyyy");
  d->setCalendarPopup(true);
  return d;
}

QCheckBox* checkBox(const char* name, const QString& caption, QWidget* parent) {
  auto* c = new QCheckBox(caption, parent);
  c->setObjectName(name);
  return c;
}

QPushButton* pushButton(const char* name, const QString& caption, QWidget* parent) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(name);
  b->setMinimumWidth(110);
  return b;
}

QFormLayout* formLayout(QWidget* parent) {
  auto* form = new QFormLayout(parent);
  form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
  form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
  form->setHorizontalSpacing(12);
  form->setVerticalSpacing(6);
  return form;
}

QFormLayout* formBox(QWidget* parent, const char* name, const QString& title, QGroupBox** box) {
  auto* g = new QGroupBox(title, parent);
  g->setObjectName(name);
  if (box) *box = g;
  return formLayout(g);
}

QHBoxLayout* buttonRow(const std::vector<QPushButton*>& buttons) {
  auto* h = new QHBoxLayout;
  h->addStretch(1);
  for (auto* b : buttons) h->addWidget(b);
  return h;
}

QHBoxLayout* sideBySide(const std::vector<QWidget*>& groups) {
  auto* row = new QHBoxLayout;
  row->setSpacing(12);
  for (auto* g : groups) row->addWidget(g, 0, Qt::AlignTop);
  row->addStretch(1);
  return row;
}

QWidget* column(const std::vector<QWidget*>& groups, QWidget* parent) {
  auto* w = new QWidget(parent);
  auto* v = new QVBoxLayout(w);
  v->setContentsMargins(0, 0, 0, 0);
  for (auto* g : groups) v->addWidget(g);
  v->addStretch(1);
  return w;
}

QHBoxLayout* twoColumns(QWidget* left, QWidget* right, const std::vector<QPushButton*>& buttons) {
  auto* column = new QVBoxLayout;
  column->addWidget(right);
  column->addStretch(1);
  column->addLayout(buttonRow(buttons));
  auto* row = new QHBoxLayout;
  row->addWidget(left);
  row->addLayout(column);
  row->addStretch(1);
  return row;
}

void takeCommaAsPoint(QLineEdit* edit) {
  QObject::connect(edit, &QLineEdit::textEdited, edit, [edit](const QString& text) {
    if (!text.contains(',')) return;
    const int cursor = edit->cursorPosition();
    edit->setText(QString(text).replace(',', '.'));
    edit->setCursorPosition(cursor);
  });
}

std::string fieldCaptionOf(const QWidget* field) {
  QString text;
  if (const auto* button = qobject_cast<const QAbstractButton*>(field)) text = button->text();
  for (const QWidget* w = field ? field->parentWidget() : nullptr; w && text.isEmpty(); w = w->parentWidget()) {
    const auto* form = qobject_cast<const QFormLayout*>(w->layout());
    if (!form) continue;
    if (const auto* label = qobject_cast<const QLabel*>(form->labelForField(const_cast<QWidget*>(field))))
      text = label->text();
    break;
  }
  text.remove('&');
  text = text.trimmed();
  if (text.endsWith(':')) text.chop(1);
  return text.toStdString();
}

}  // namespace kestrel
