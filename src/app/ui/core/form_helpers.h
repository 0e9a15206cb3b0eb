#pragma once
// Small pieces every page builds with: text conversion, the page frame with its
// heading, titled form groups with right-aligned labels, digits-only fields, buttons
// row, and the read-only status-bit box.
#include <QCheckBox>
#include <QString>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

class QComboBox;
class QDateEdit;
class QFormLayout;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace kestrel {

inline QString qs(const std::string& s) { return QString::fromStdString(s); }
inline std::string ss(const QString& s) { return s.toStdString(); }

// A whole decimal number in [minValue, maxValue]; anything else throws the way a
// conversion of the platform does.
long long toInteger(const std::string& text, long long minValue, long long maxValue);

QLineEdit* digitsEdit(const char* name, int maxLength, QWidget* parent);
QLineEdit* textEdit(const char* name, int maxLength, QWidget* parent);
QLineEdit* outputEdit(const char* name, QWidget* parent);
// An amount or quantity edit: a comma typed as decimal separator becomes the point the
// device and the files use.
void takeCommaAsPoint(QLineEdit* edit);
QComboBox* choiceBox(const char* name, const std::vector<std::string>& entries, int defaultIndex, QWidget* parent);
// A choice list's entries from a fixed list of the page logic.
template <size_t N>
std::vector<std::string> entries(const char* const (&list)[N]) {
  return std::vector<std::string>(std::begin(list), std::end(list));
}
// A label that shows a value the device sent (report sums, drawer sums).
QLabel* valueLabel(const char* name, const QString& text, QWidget* parent);
// A date picker ("dd.MM.yyyy", calendar pop-up) set to today.
QDateEdit* datePicker(const char* name, QWidget* parent);
QCheckBox* checkBox(const char* name, const QString& caption, QWidget* parent);
QPushButton* pushButton(const char* name, const QString& caption, QWidget* parent);
QFormLayout* formLayout(QWidget* parent);
// What the technician reads for `field`: a button's text or its form row's label,
// without the "&" and the closing colon; empty when it has neither.
std::string fieldCaptionOf(const QWidget* field);
// A titled group box named `name` holding a form layout.
QFormLayout* formBox(QWidget* parent, const char* name, const QString& title, QGroupBox** box = nullptr);
// A row of buttons aligned to the right.
QHBoxLayout* buttonRow(const std::vector<QPushButton*>& buttons);
// Groups side by side, each at the top of its place, the rest of the row empty.
QHBoxLayout* sideBySide(const std::vector<QWidget*>& groups);
// Groups one below the other in a widget of their own (a column for sideBySide).
QWidget* column(const std::vector<QWidget*>& groups, QWidget* parent);
// A page of two columns: the group `left`, and `right` with the page's buttons at the
// foot of its column.
QHBoxLayout* twoColumns(QWidget* left, QWidget* right, const std::vector<QPushButton*>& buttons);

// A status bit: shows the device's state and takes no input, yet stays readable (a
// disabled box would grey its caption out).
class TStatusBitBox : public QCheckBox {
 public:
  using QCheckBox::QCheckBox;

 protected:
  bool hitButton(const QPoint&) const override { return false; }
  void nextCheckState() override {}
};

}  // namespace kestrel
