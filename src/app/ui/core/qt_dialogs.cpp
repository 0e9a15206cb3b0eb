#include "app/ui/core/qt_dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>

namespace kestrel {

int QtDialogs::titleWidth(const QString& title) {
  // Title bars mostly use a bold, somewhat larger face than the dialog's text, and
  // carry the window icon and three buttons beside the title.
  QFont font = QApplication::font();
  font.setBold(true);
  font.setPointSizeF(font.pointSizeF() * 1.15);
  return QFontMetrics(font).horizontalAdvance(title) + 160;
}

void QtDialogs::prepare(QMessageBox& box, const DialogRequest& request) {
  // The platform's standard information box carries the program's name as its title.
  box.setWindowTitle(request.standardInformation ? QStringLiteral("Kestrel FBH") : QString::fromStdString(request.title));
  box.setText(QString::fromStdString(request.text));
  switch (request.icon) {
    case DialogIcon::None:
      box.setIcon(request.buttons == DialogButtons::Ok ? QMessageBox::Critical : QMessageBox::NoIcon);
      break;
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
  // A message box sizes itself to its text; a short text under a long title would
  // leave the title cut. An empty row as wide as the title keeps it whole.
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
    grid->addItem(new QSpacerItem(titleWidth(box.windowTitle()), 0, QSizePolicy::Fixed, QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

DialogResult QtDialogs::show(const DialogRequest& request) {
  QMessageBox box(fParent);
  prepare(box, request);
  const int r = box.exec();
  if (request.buttons == DialogButtons::YesNo) return r == QMessageBox::Yes ? mrYes : mrNo;
  return mrOk;
}

namespace {

// The pages name their files the original way, "txt|*.txt" (description|pattern pairs);
// Qt wants "txt (*.txt)" entries joined by ";;". A filter in Qt's form stays as it is.
QString qtFilter(const std::string& filter) {
  const QStringList parts = QString::fromStdString(filter).split('|');
  if (parts.size() < 2) return QString::fromStdString(filter);
  QStringList entries;
  for (int i = 0; i + 1 < parts.size(); i += 2)
    entries << parts[i] + " (" + QString(parts[i + 1]).replace(';', ' ') + ")";
  return entries.join(";;");
}

// The extension of the filter's first pattern ("*.txt" -> "txt"), which a chosen name
// without one gets, as the original dialogs' default extension did.
QString defaultSuffix(const std::string& filter) {
  const QStringList parts = QString::fromStdString(filter).split('|');
  if (parts.size() < 2 || !parts[1].startsWith("*.")) return {};
  const QString suffix = parts[1].mid(2).section(';', 0, 0);
  return suffix.contains('*') ? QString() : suffix;
}

}  // namespace

std::string QtFileChooser::openFile(const std::string& title, const std::string& filter) {
  return QFileDialog::getOpenFileName(fParent, QString::fromStdString(title), QString(), qtFilter(filter))
      .toStdString();
}

std::string QtFileChooser::saveFile(const std::string& title, const std::string& filter,
                                    const std::string& suggestedName) {
  QString name = QFileDialog::getSaveFileName(fParent, QString::fromStdString(title),
                                              QString::fromStdString(suggestedName), qtFilter(filter));
  const QString suffix = defaultSuffix(filter);
  if (!name.isEmpty() && !suffix.isEmpty() && QFileInfo(name).suffix().isEmpty()) name += "." + suffix;
  return name.toStdString();
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
