#include "app/ui/dialogs/numbers_dialog.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

#include "app/ui/core/form_helpers.h"

namespace kestrel {

TfmNumbers::TfmNumbers(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
  setObjectName("fmNumbers");
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(6, 6, 6, 6);
  fEdit = new QLineEdit(this);
  takeCommaAsPoint(fEdit);
  fEdit->setObjectName("edNumber");
  fEdit->setAlignment(Qt::AlignRight);
  fEdit->setMinimumWidth(120);
  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("btnOK");
  ok->setDefault(true);
  auto* cancel = new QPushButton("Cancel", this);
  cancel->setObjectName("btnCancel");
  row->addWidget(fEdit);
  row->addWidget(ok);
  row->addWidget(cancel);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TfmNumbers::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  fEdit->setFocus();
  fEdit->selectAll();
}

}  // namespace kestrel
