#include "app/ui/pages/page.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/logic/device_ops.h"
#include "app/logic/page_table.h"
#include "app/logic/pages/then_always.h"
#include "app/ui/core/widget_values.h"
#include "app/ui/pages/page_shell.h"

namespace kestrel {

TPage::TPage(TPageShell& shell, const TPageRow& row) : fShell(shell), fRow(row) {
  setObjectName(row.page);
  auto* v = new QVBoxLayout(this);
  v->setContentsMargins(16, 12, 16, 12);
  v->setSpacing(10);
  auto* heading = new QLabel(QString(row.title).trimmed(), this);
  heading->setObjectName(QString(row.page) + "_title");
  QFont f = heading->font();
  f.setBold(true);
  f.setPointSizeF(f.pointSizeF() * 1.3);
  heading->setFont(f);
  v->addWidget(heading);
  fContent = new QVBoxLayout;
  fContent->setSpacing(10);
  v->addLayout(fContent);
  v->addStretch(1);
}

const char* TPage::readOperation() const { return fRow.readOp; }

TDeviceOps& TPage::ops() const { return fShell.ops(); }
Tdm& TPage::dm() const { return fShell.dm(); }

void TPage::runOperation(const char* name, const std::function<void()>& f) { fShell.runOperation(name, f); }

void TPage::guarded(const char* name, const std::function<void()>& f) { fShell.guarded(name, f); }

void TPage::registerButton(QPushButton* button, TSwitching switching) {
  // The name is what the control enabling finds the button by.
  Q_ASSERT(!button->objectName().isEmpty());
  if (switching == TSwitching::Switched) fSwitched.push_back(button->objectName().toStdString());
}

void TPage::onClick(QPushButton* button, const char* name, std::function<void()> f, TSwitching switching) {
  registerButton(button, switching);
  connect(button, &QPushButton::clicked, this, clicked(button, [this, name, f = std::move(f)] { runOperation(name, f); }));
}

void TPage::onClickGuarded(QPushButton* button, const char* name, std::function<void()> f, TSwitching switching) {
  registerButton(button, switching);
  connect(button, &QPushButton::clicked, this, clicked(button, [this, name, f = std::move(f)] { guarded(name, f); }));
}

void TPage::onClickDirect(QPushButton* button, std::function<void()> f, TSwitching switching) {
  registerButton(button, switching);
  connect(button, &QPushButton::clicked, this, clicked(button, std::move(f)));
}

std::function<void()> TPage::clicked(QPushButton* button, std::function<void()> f) {
  return [this, button, f = std::move(f)] {
    QPushButton* outer = std::exchange(fClicked, button);
    const auto back = always([&] { fClicked = outer; });
    f();
  };
}

void TPage::apply(const TPageValues& values) { applyValues(this, values); }

bool TPage::readAndApply(const std::function<bool(TPageValues&)>& read) {
  TPageValues v;
  bool complete = false;  // also when the read throws
  const auto shown = always([&] {
    apply(v);
    markClean();
    fReadIncomplete = !complete;
  });
  complete = read(v);
  return complete;
}

bool TPage::mayWriteShownValues() {
  if (!fReadIncomplete) return true;
  return ops().ask(incompleteReadQuestion(QString(fRow.title).trimmed().toStdString()), TITLE_KESTREL, true);
}

void TPage::markClean() {
  // Pages without a read lose nothing when shown again (the items grid keeps its rows).
  if (!*fRow.readOp) return;
  fCleanValues = shownValues(this);
  fCleanKnown = true;
}

void TPage::markSaved() {
  const QWidget* part = nullptr;
  for (QWidget* p = fClicked ? fClicked->parentWidget() : nullptr; p && p != this; p = p->parentWidget())
    if (qobject_cast<QGroupBox*>(p)) part = p;
  if (!part || !fCleanKnown) {
    // A save of the whole page put every value shown into the device.
    fReadIncomplete = false;
    return markClean();
  }
  for (auto& [w, v] : shownValues(this))
    if (part->isAncestorOf(w)) fCleanValues[w] = v;
}

bool TPage::hasUnsavedEdits() const { return fCleanKnown && shownValues(this) != fCleanValues; }

void TPage::saySucceeded(const char* text, const std::function<bool()>& operation) {
  // The word of an earlier success must not stand for a run that ends before a command.
  if (fShell.statusMessage() == text) fShell.set_StatusMessage(QString());
  if (operation()) fShell.set_StatusMessage(text);
}

TPageValues TPage::collect(const TParamTable& table) { return collectValues(this, table); }

}  // namespace kestrel
