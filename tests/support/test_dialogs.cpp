// The helper's dialog functions over the Dialogs interface: buttons, defaults, titles
// and results.
#include <gtest/gtest.h>

#include <sstream>

#include "support/fd_misc.h"

using namespace kestrel;

namespace {

class DialogTest : public testing::Test {
 protected:
  void SetUp() override { misc.set_Dialogs(&dialogs); }
  const DialogRequest& last() const { return dialogs.shown.back(); }

  ScriptedDialogs dialogs;
  TFDMisc misc;
};

TEST_F(DialogTest, QuestionDefaultsAndResults) {
  struct Case {
    TMiscDialogTypes type;
    DialogResult defaultButton;
  };
  // Only the first-button type makes Yes the default; the OK type still asks Yes/No.
  for (const Case& c : {Case{qstn_YesNo_FBtn, mrYes}, Case{qstn_YesNo_SBtn, mrNo}, Case{inf_OkBtn, mrNo}}) {
    dialogs.answer(mrYes);
    EXPECT_EQ(misc.myQuestion("Delete?", "Kestrel", c.type), 6);
    EXPECT_EQ(last().buttons, DialogButtons::YesNo);
    EXPECT_EQ(last().icon, DialogIcon::Question);
    EXPECT_EQ(last().defaultButton, c.defaultButton);
    EXPECT_EQ(last().title, "Kestrel");
    EXPECT_EQ(last().text, "Delete?");
  }
  dialogs.answer(mrNo);
  EXPECT_EQ(misc.myQuestion("Delete?", "Kestrel", qstn_YesNo_FBtn), 7);
  dialogs.answer(mrNo);
  EXPECT_FALSE(misc.myQuestion_Boolean("q", "", qstn_YesNo_FBtn));
  dialogs.answer(mrYes);
  EXPECT_TRUE(misc.myQuestion_Boolean("q", "", qstn_YesNo_FBtn));
}

TEST_F(DialogTest, EmptyTitleTakesMessagesCaption) {
  misc.myMessagesCaption = "Caption";
  misc.myQuestion("q", "", qstn_YesNo_SBtn);
  EXPECT_EQ(last().title, "Caption");
  misc.myAlert("a", "", inf_OkBtn);
  EXPECT_EQ(last().title, "Caption");
  misc.myAlert("a", "Own", inf_OkBtn);
  EXPECT_EQ(last().title, "Own");
}

TEST_F(DialogTest, AlertAndInformationShowOnlyForTheOkType) {
  misc.myAlert("a", "Kestrel", qstn_YesNo_FBtn);
  misc.myInformation("i", "Kestrel", qstn_YesNo_SBtn);
  EXPECT_TRUE(dialogs.shown.empty());

  misc.myAlert("a", "Kestrel", inf_OkBtn);
  EXPECT_EQ(last().buttons, DialogButtons::Ok);
  EXPECT_EQ(last().icon, DialogIcon::None);
  EXPECT_EQ(last().defaultButton, mrOk);

  // Without an owner window the platform's standard box is used and the title not shown.
  misc.myInformation("i", "Kestrel", inf_OkBtn);
  EXPECT_EQ(last().icon, DialogIcon::Information);
  EXPECT_TRUE(last().standardInformation);
  misc.SetOwner_HWND(42);
  misc.myInformation("i", "Kestrel", inf_OkBtn);
  EXPECT_FALSE(last().standardInformation);
  EXPECT_EQ(last().title, "Kestrel");
  EXPECT_EQ(dialogs.shown.size(), 3u);
}

TEST_F(DialogTest, ShortForms) {
  misc.show_MyAlert("Saved.");
  EXPECT_EQ(last().title, "");  // myMessagesCaption, empty here
  EXPECT_EQ(last().buttons, DialogButtons::Ok);
  misc.show_MyInfo("Done.");
  EXPECT_EQ(last().icon, DialogIcon::Information);

  dialogs.answer(mrYes);
  EXPECT_TRUE(misc.show_MyQuestion_Def_Yes("Go?"));
  EXPECT_EQ(last().defaultButton, mrYes);
  dialogs.answer(mrNo);
  EXPECT_FALSE(misc.show_MyQuestion_Def_No("Go?"));
  EXPECT_EQ(last().defaultButton, mrNo);
  // A dialog that fails counts as No.
  dialogs.strict = true;
  EXPECT_FALSE(misc.show_MyQuestion_Def_Yes("Go?"));
  EXPECT_THROW(misc.myQuestion("Go?", "", qstn_YesNo_FBtn), std::logic_error);
}

TEST(StderrDialogs, WritesTheDialogAndReadsTheAnswer) {
  std::ostringstream out;
  std::istringstream in("yes\n\n");
  StderrDialogs dialogs(out, &in);
  TFDMisc misc;
  misc.set_Dialogs(&dialogs);
  EXPECT_EQ(misc.myQuestion("Delete all?", "Kestrel", qstn_YesNo_SBtn), mrYes);
  EXPECT_EQ(misc.myQuestion("Again?", "Kestrel", qstn_YesNo_SBtn), mrNo);  // empty line: default
  misc.show_MyAlert("Gone.");
  EXPECT_EQ(out.str(), "Kestrel: Delete all? [y/N] Kestrel: Again? [y/N] Gone.\n");

  std::ostringstream out2;
  StderrDialogs noInput(out2);
  misc.set_Dialogs(&noInput);
  EXPECT_TRUE(misc.show_MyQuestion_Def_Yes("Go?"));
  EXPECT_EQ(out2.str(), "Go? [Y/n] yes\n");
}

}  // namespace
