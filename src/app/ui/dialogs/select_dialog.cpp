#include "app/ui/dialogs/select_dialog.h"

#include <QDialogButtonBox>
#include <QEvent>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

#include "app/ui/core/form_helpers.h"

namespace kestrel {

TfmSelect::TfmSelect(QWidget* parent, bool withRadioButtons,
                     std::function<void(const std::string&, const std::string&)> alert)
    : QDialog(parent), fAlert(std::move(alert)) {
  setObjectName("fmSelect");
  setWindowTitle("Kestrel");
  auto* v = new QVBoxLayout(this);
  auto* form = formLayout(nullptr);
  fFrom = textEdit("edFrom", 15, this);
  fTo = textEdit("edTo", 15, this);
  for (QLineEdit* e : {fFrom, fTo}) {
    e->setText("1");
    e->setMinimumWidth(140);
    e->installEventFilter(this);
  }
  form->addRow("From:", fFrom);
  form->addRow("To:", fTo);
  v->addLayout(form);
  fAll = new QRadioButton("All items", this);
  fAll->setObjectName("rbAllItems");
  fSelected = new QRadioButton("Selected in grid", this);
  fSelected->setObjectName("rbSelectedInGrid");
  for (QRadioButton* r : {fAll, fSelected}) {
    r->setVisible(withRadioButtons);
    v->addWidget(r);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName("btnOK");
  buttons->button(QDialogButtonBox::Cancel)->setObjectName("btnCancel");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  v->addWidget(buttons);
}

TRangeChoice TfmSelect::choice() const {
  TRangeChoice c;
  c.from = ss(fFrom->text());
  c.to = ss(fTo->text());
  c.allItems = fAll->isChecked();
  c.selectedInGrid = fSelected->isChecked();
  return c;
}

bool TfmSelect::eventFilter(QObject* watched, QEvent* event) {
  auto* edit = qobject_cast<QLineEdit*>(watched);
  if (edit && event->type() == QEvent::FocusIn) {
    // Typing a range means neither radio button; both may be off only while they are
    // not exclusive.
    for (QRadioButton* r : {fAll, fSelected}) {
      r->setAutoExclusive(false);
      r->setChecked(false);
      r->setAutoExclusive(true);
    }
  } else if (edit && event->type() == QEvent::FocusOut && !fChecking) {
    checkEdit(edit);
  }
  return QDialog::eventFilter(watched, event);
}

void TfmSelect::checkEdit(QLineEdit* edit) {
  bool ok = false;
  const qlonglong v = edit->text().toLongLong(&ok);
  if (ok && v >= 0 && !edit->text().startsWith('+')) return;
  fChecking = true;
  if (fAlert) fAlert("Enter positive number", "Error");
  edit->clear();
  edit->setFocus();
  fChecking = false;
}

}  // namespace kestrel
