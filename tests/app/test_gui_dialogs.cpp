// Long messages and questions fit a small screen: the list scrolls, the buttons stay in
// view, a question keeps No as its default.
#include <QDialog>
#include <QDialogButtonBox>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QPushButton>

#include "app/gui_fixture.h"
#include "app/ui/core/qt_dialogs.h"

namespace kestrel {
namespace {

using namespace guitest;

TEST(GuiDialogs, ALongListOfChangesScrollsAndTheButtonsFitA1024By600Screen) {
  std::string changes = "The device differs from the backup in 198 values:";
  for (int i = 1; i <= 99; ++i) changes += "\r\nDepartment " + std::to_string(i) + ": name \"Dept\" -> \"Odjel\"";
  for (int i = 1; i <= 99; ++i) changes += "\r\nStock group " + std::to_string(i) + ": VAT 1 -> 2";
  const DialogRequest question{changes + "\r\nWrite these changes to the device?", "Restore device",
                               DialogButtons::YesNo, mrNo, DialogIcon::Question};
  const DialogRequest alert{changes, "Kestrel"};
  for (const DialogRequest& r : {question, alert}) {
    SCOPED_TRACE(r.title);
    auto dialog = QtDialogs::longTextDialog(r, nullptr);
    ASSERT_TRUE(dialog);
    dialog->show();
    dialog->adjustSize();
    EXPECT_LE(dialog->height(), 600 - 60) << "room for the title bar and a panel";
    EXPECT_LE(dialog->width(), 1024);
    auto* body = dialog->findChild<QPlainTextEdit*>("memLongText");
    ASSERT_NE(body, nullptr);
    EXPECT_NE(body->toPlainText().toStdString().find("Stock group 99: VAT 1 -> 2"), std::string::npos);
    EXPECT_GT(body->verticalScrollBar()->maximum(), 0) << "the list scrolls";
    auto* buttons = dialog->findChild<QDialogButtonBox*>();
    ASSERT_NE(buttons, nullptr);
    for (QAbstractButton* b : buttons->buttons()) {
      EXPECT_TRUE(b->isVisible());
      EXPECT_TRUE(dialog->rect().contains(b->geometry().translated(buttons->pos())));
    }
    if (r.buttons == DialogButtons::YesNo) {
      EXPECT_TRUE(buttons->button(QDialogButtonBox::No)->isDefault());
      dialog->reject();  // Escape: No
      EXPECT_EQ(dialog->result(), QDialog::Rejected);
    }
  }
  // A short message stays a plain message box.
  EXPECT_FALSE(QtDialogs::longTextDialog({"Connected.", "Kestrel"}, nullptr));
}

TEST(GuiDialogs, AFileDialogStartsInTheLastFolderAndNeverWithABareExtension) {
  const struct {
    const char* folder;
    const char* suggested;
    const char* start;
  } cases[] = {
      {"", ".csv", ""},
      {"", "items.csv", "items.csv"},
      {"/home/tech/exports", ".csv", "/home/tech/exports"},
      {"/home/tech/exports", "items.csv", "/home/tech/exports/items.csv"},
      {"/home/tech/exports", "/elsewhere/device-backup.ini", "/home/tech/exports/device-backup.ini"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(QtFileChooser::startPath(c.folder, c.suggested).toStdString(), c.start) << c.folder << " " << c.suggested;
}

}  // namespace
}  // namespace kestrel
