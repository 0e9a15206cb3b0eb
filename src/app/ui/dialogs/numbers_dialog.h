#pragma once
// TfmNumbers: the borderless number dialog of the quantity change; one right-aligned
// edit, OK (default) and Cancel.
#include <QDialog>

class QLineEdit;

namespace kestrel {

class TfmNumbers : public QDialog {
  Q_OBJECT

 public:
  explicit TfmNumbers(QWidget* parent);
  QLineEdit* edit() const { return fEdit; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QLineEdit* fEdit = nullptr;
};

}  // namespace kestrel
