#include "app/ui/core/qt_dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace kestrel {

DialogResult QtDialogs::show(const DialogRequest& request) {
  QMessageBox box(fParent);
  // The platform's standard information box carries the program's name as its title.
  box.setWindowTitle(request.standardInformation ? QStringLiteral("Kestrel FBH") : QString::fromStdString(request.title));
  box.setText(QString::fromStdString(request.text));
  switch (request.icon) {
    case DialogIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case DialogIcon::Information: box.setIcon(QMessageBox::Information); break;
    case DialogIcon::Question: box.setIcon(QMessageBox::Question); break;
  }
  if (request.buttons == DialogButtons::YesNo) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(request.defaultButton == mrYes ? QMessageBox::Yes : QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
  } else {
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
  }
  const int r = box.exec();
  if (request.buttons == DialogButtons::YesNo) return r == QMessageBox::Yes ? mrYes : mrNo;
  return mrOk;
}

std::string QtFileChooser::openFile(const std::string& title, const std::string& filter) {
  return QFileDialog::getOpenFileName(fParent, QString::fromStdString(title), QString(), QString::fromStdString(filter))
      .toStdString();
}

std::string QtFileChooser::saveFile(const std::string& title, const std::string& filter,
                                    const std::string& suggestedName) {
  return QFileDialog::getSaveFileName(fParent, QString::fromStdString(title), QString::fromStdString(suggestedName),
                                      QString::fromStdString(filter))
      .toStdString();
}

std::string ScriptedFileChooser::next(const std::string& title) {
  asked.push_back(title);
  if (answers.empty()) return {};
  std::string a = answers.front();
  answers.pop_front();
  return a;
}

std::string ScriptedFileChooser::openFile(const std::string& title, const std::string&) { return next(title); }
std::string ScriptedFileChooser::saveFile(const std::string& title, const std::string&, const std::string&) {
  return next(title);
}

}  // namespace kestrel
