#include "app/ui/core/qt_dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <QDir>
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

std::unique_ptr<QDialog> QtDialogs::longTextDialog(const DialogRequest& request, QWidget* parent) {
  constexpr int MAX_LINES_IN_A_BOX = 14;
  QStringList lines = QString::fromStdString(request.text).replace("\r\n", "\n").split('\n');
  if (lines.size() <= MAX_LINES_IN_A_BOX && request.text.size() <= 1200) return nullptr;
  const QString heading = lines.takeFirst();
  const bool question = request.buttons == DialogButtons::YesNo;
  const QString closing = question && !lines.isEmpty() ? lines.takeLast() : QString();
  while (!lines.isEmpty() && lines.back().trimmed().isEmpty()) lines.removeLast();

  auto dialog = std::make_unique<QDialog>(parent);
  dialog->setObjectName("dlgLongText");
  dialog->setWindowTitle(request.standardInformation ? QStringLiteral("Kestrel FBH") : QString::fromStdString(request.title));
  auto* layout = new QVBoxLayout(dialog.get());
  auto* top = new QLabel(heading, dialog.get());
  top->setWordWrap(true);
  layout->addWidget(top);
  auto* body = new QPlainTextEdit(lines.join('\n'), dialog.get());
  body->setObjectName("memLongText");
  body->setReadOnly(true);
  body->setLineWrapMode(QPlainTextEdit::NoWrap);
  // Fourteen lines in view, whatever the length: the buttons stay on a 600-pixel screen.
  const int lineHeight = body->fontMetrics().lineSpacing();
  body->setFixedHeight(MAX_LINES_IN_A_BOX * lineHeight + 2 * body->frameWidth() + 8);
  body->setMinimumWidth(std::max(520, titleWidth(dialog->windowTitle())));
  layout->addWidget(body, 1);
  if (!closing.isEmpty()) layout->addWidget(new QLabel(closing, dialog.get()));
  auto* buttons = new QDialogButtonBox(question ? QDialogButtonBox::Yes | QDialogButtonBox::No : QDialogButtonBox::Ok,
                                       dialog.get());
  layout->addWidget(buttons);
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog.get(), &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog.get(), &QDialog::reject);
  QPushButton* preferred = question ? buttons->button(request.defaultButton == mrYes ? QDialogButtonBox::Yes
                                                                                       : QDialogButtonBox::No)
                                    : buttons->button(QDialogButtonBox::Ok);
  preferred->setDefault(true);
  preferred->setFocus();
  return dialog;
}

DialogResult QtDialogs::show(const DialogRequest& request) {
  if (auto dialog = longTextDialog(request, fParent)) {
    const int r = dialog->exec();
    if (request.buttons == DialogButtons::YesNo) return r == QDialog::Accepted ? mrYes : mrNo;
    return mrOk;
  }
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

QString QtFileChooser::startPath(const QString& folder, const std::string& suggestedName) {
  QString name = QString::fromStdString(suggestedName);
  if (QFileInfo(name).completeBaseName().isEmpty()) name.clear();
  if (folder.isEmpty()) return name;
  return name.isEmpty() ? folder : QDir(folder).filePath(QFileInfo(name).fileName());
}

std::string QtFileChooser::remember(const QString& chosen) {
  if (!chosen.isEmpty()) fFolder = QFileInfo(chosen).absolutePath();
  return chosen.toStdString();
}

std::string QtFileChooser::openFile(const std::string& title, const std::string& filter) {
  return remember(QFileDialog::getOpenFileName(fParent, QString::fromStdString(title), fFolder, qtFilter(filter)));
}

std::string QtFileChooser::saveFile(const std::string& title, const std::string& filter,
                                    const std::string& suggestedName) {
  QString name = QFileDialog::getSaveFileName(fParent, QString::fromStdString(title),
                                              startPath(fFolder, suggestedName), qtFilter(filter));
  const QString suffix = defaultSuffix(filter);
  if (!name.isEmpty() && !suffix.isEmpty() && QFileInfo(name).suffix().isEmpty()) name += "." + suffix;
  return remember(name);
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
