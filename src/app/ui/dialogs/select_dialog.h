#pragma once
// TfmSelect: the range dialog of the Items page ("From:", "To:"), with the radio buttons
// "All items" and "Selected in grid" shown only for the CSV export.
#include <QDialog>
#include <functional>
#include <string>

#include "app/logic/page_host.h"

class QLineEdit;
class QRadioButton;

namespace kestrel {

class TfmSelect : public QDialog {
  Q_OBJECT

 public:
  // `alert` shows "Enter positive number" with its title.
  TfmSelect(QWidget* parent, bool withRadioButtons, std::function<void(const std::string&, const std::string&)> alert);
  TRangeChoice choice() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Leaving an edit: a whole number not below 0, else the alert, the edit emptied and
  // the focus back in it.
  void checkEdit(QLineEdit* edit);

  QLineEdit* fFrom = nullptr;
  QLineEdit* fTo = nullptr;
  QRadioButton* fAll = nullptr;
  QRadioButton* fSelected = nullptr;
  std::function<void(const std::string&, const std::string&)> fAlert;
  bool fChecking = false;
};

}  // namespace kestrel
