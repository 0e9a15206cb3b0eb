// The Fiscal memory reports and EJ reading pages in the real window against the
// simulator: the report inputs, the number choice's enabling rule, read, validate, save
// and validate from file, and "Stop read" with "Print EJ" clicked while a document that
// never ends is read.
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <array>
#include <cstdlib>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimeEdit>
#include <QTimer>

#include "app/gui_fixture.h"
#include "app/logic/pages/journal.h"

namespace kestrel {
namespace {

using namespace guitest;

// X reports as documents 1..n.
void makeXReports(sim::Simulator& sim, int n) {
  sim.withDevice([n](sim::DeviceModel& d) {
    std::string answer;
    for (int i = 0; i < n; ++i) d.execute(69, "X\t", answer);
  });
}

std::vector<std::string> shownLines(sim::Simulator& sim, int number) {
  return sim.withDevice([number](sim::DeviceModel& d) {
    std::vector<std::string> lines;
    for (const auto& doc : d.state().journal)
      if (doc.number == number)
        for (const auto& l : doc.lines) lines.push_back(journalLineShown(l));
    return lines;
  });
}

std::string text(QPlainTextEdit* t) { return t->toPlainText().toStdString(); }

std::string joined(const std::vector<std::string>& lines) {
  std::string s;
  for (const auto& l : lines) s += (s.empty() ? "" : "\n") + l;
  return s;
}

TEST(GuiJournalPage, FiscalMemoryReportSendsThePickedPeriodAndTheTypedNumbers) {
  auto sim = startSimulator(false);
  Window win;
  connectTo(win, *sim);
  Sent sent(win);
  win.w.showPage("jvpg_Sub_09_FiscalReports");
  // The period offered: from the start of today to now, on both pages.
  for (auto [fromDate, fromTime, toDate, toTime] :
       {std::array<const char*, 4>{"dtpFMfromDate", "dtpFMfromTime", "dtpFMtoDate", "dtpFMtoTime"},
        std::array<const char*, 4>{"dtpKLstartDate", "dtpKLstartTime", "dtpKLendDate", "dtpKLendTime"}}) {
    SCOPED_TRACE(fromDate);
    EXPECT_EQ(win.find<QDateEdit>(fromDate)->date(), QDate::currentDate());
    EXPECT_EQ(win.find<QTimeEdit>(fromTime)->time(), QTime(0, 0, 0));
    const QDateTime to(win.find<QDateEdit>(toDate)->date(), win.find<QTimeEdit>(toTime)->time());
    EXPECT_LE(std::abs(to.secsTo(QDateTime::currentDateTime())), 120);
  }
  win.find<QDateEdit>("dtpFMfromDate")->setDate(QDate(2024, 3, 20));
  win.find<QTimeEdit>("dtpFMfromTime")->setTime(QTime(8, 0, 0));
  win.find<QDateEdit>("dtpFMtoDate")->setDate(QDate(2024, 4, 10));
  win.find<QTimeEdit>("dtpFMtoTime")->setTime(QTime(18, 30, 0));
  win.find<QPushButton>("bbtnFMrepDate")->click();
  EXPECT_EQ(sent.inputsOf(94), std::vector<std::string>{"20-03-24 08:00:00\t10-04-24 18:30:00 DST\t"});
  ASSERT_FALSE(win.dialogs.shown.empty()) << "the empty fiscal memory's refusal is shown";

  EXPECT_EQ(win.find<QLineEdit>("edFMfromNum")->text(), "1");
  win.find<QLineEdit>("edFMtoNum")->setText("7");
  win.find<QPushButton>("bbtnFMbyNumber")->click();
  EXPECT_EQ(sent.inputsOf(95), std::vector<std::string>{"1\t7\t"});
  EXPECT_TRUE(win.find<QPushButton>("bbtnFMbyNumber")->isEnabled());
}

TEST(GuiJournalPage, ReadValidateSaveAndValidateFromFile) {
  auto sim = startSimulator(false);
  makeXReports(*sim, 2);
  Window win;
  connectTo(win, *sim);
  win.w.showPage("jvpg_Sub_11_KLEN");
  auto* area = win.find<QPlainTextEdit>("moKLEN");
  const QFontMetrics metrics(area->font());
  EXPECT_EQ(metrics.horizontalAdvance("iiii"), metrics.horizontalAdvance("WWWW")) << QFontInfo(area->font()).family().toStdString();
  auto* byNumber = win.find<QCheckBox>("chbxKLrangeBynum");
  auto* from = win.find<QLineEdit>("edKLfromNum");
  auto* to = win.find<QLineEdit>("edKLtoNum");
  EXPECT_FALSE(from->isEnabled());
  EXPECT_TRUE(win.find<QDateEdit>("dtpKLstartDate")->isEnabled());
  byNumber->click();
  EXPECT_TRUE(from->isEnabled());
  EXPECT_TRUE(to->isEnabled());
  EXPECT_FALSE(win.find<QDateEdit>("dtpKLstartDate")->isEnabled());
  EXPECT_FALSE(win.find<QTimeEdit>("dtpKLendTime")->isEnabled());

  auto* save = win.find<QPushButton>("bbtnSaveKLtoFile");
  EXPECT_FALSE(save->isEnabled());
  win.find<QComboBox>("cbxKLENtype")->setCurrentIndex(2);
  from->setText("2");
  to->setText("2");
  win.find<QPushButton>("bbtnGetKLEN")->click();
  EXPECT_EQ(text(area), joined(shownLines(*sim, 2)));
  EXPECT_TRUE(save->isEnabled());
  EXPECT_FALSE(win.find<QPushButton>("bbtnStopKLdate")->isEnabled());

  auto* result = win.find<QLabel>("lbValidDoc");
  EXPECT_EQ(result->text(), "Document is ");
  win.find<QPushButton>("btnValidateMd5")->click();
  EXPECT_EQ(result->text(), "Document is VALID.");
  const QString printed = win.find<QLabel>("lbHashPrinted")->text();
  EXPECT_EQ(printed.size(), 32);
  EXPECT_EQ(win.find<QLabel>("lbHashCalc")->text(), printed);
  EXPECT_FALSE(fs::exists(win.w.LOG_FOLDER + "tmpVal.txt"));

  const std::string file = GuiEnvironment::folder + "/ej2.txt";
  win.files.answers.push_back(file);
  save->click();
  ASSERT_FALSE(win.dialogs.shown.empty());
  EXPECT_EQ(win.dialogs.shown.back().text, "EJ saved to: " + file);
  EXPECT_EQ(readFile(file), joined(shownLines(*sim, 2)) + "\n");

  // Two documents: the hash of the last one covers that one alone, which is genuine; a
  // line of it changed is not.
  from->setText("1");
  win.find<QPushButton>("bbtnGetKLEN")->click();
  win.find<QPushButton>("btnValidateMd5")->click();
  EXPECT_EQ(result->text(), "Document is VALID: the last of the 2 documents shown (each document is checked alone).");
  EXPECT_EQ(win.find<QLabel>("lbHashCalc")->text(), printed);
  QString tampered = area->toPlainText();
  const auto lastDocument = tampered.lastIndexOf("{ logo }", tampered.lastIndexOf("{ logo }") - 1) + 9;
  tampered.insert(lastDocument, "X");
  area->setPlainText(tampered);
  win.find<QPushButton>("btnValidateMd5")->click();
  EXPECT_EQ(result->text(), "Document is NOT VALID: the last of the 2 documents shown (each document is checked alone).");

  win.files.answers.push_back(file);
  win.find<QPushButton>("btnValidateFile")->click();
  EXPECT_EQ(text(area), joined(shownLines(*sim, 2)));
  EXPECT_EQ(result->text(), "Document is VALID.");
  EXPECT_FALSE(fs::exists(win.w.LOG_FOLDER + "tmpVal.txt"));
}

TEST(GuiJournalPage, StopReadEndsADocumentThatNeverEndsAndPrintWaitsMeanwhile) {
  auto sim = startSimulator(false);
  makeXReports(*sim, 2);
  sim->withDevice([](sim::DeviceModel& d) { d.endlessDocument = 1; });
  Window win;
  connectTo(win, *sim);
  Sent sent(win);
  win.w.showPage("jvpg_Sub_11_KLEN");
  win.find<QCheckBox>("chbxKLrangeBynum")->click();
  win.find<QComboBox>("cbxKLENtype")->setCurrentIndex(2);
  win.find<QLineEdit>("edKLfromNum")->setText("1");
  win.find<QLineEdit>("edKLtoNum")->setText("2");
  auto* stop = win.find<QPushButton>("bbtnStopKLdate");
  bool stopWasOn = false;
  QTimer::singleShot(150, &win.w, [&] { win.find<QPushButton>("btnPrintEJ")->click(); });
  QTimer::singleShot(300, &win.w, [&] {
    stopWasOn = stop->isEnabled();
    stop->click();
  });
  win.find<QPushButton>("bbtnGetKLEN")->click();  // returns once stopped
  EXPECT_TRUE(stopWasOn);
  EXPECT_FALSE(stop->isEnabled());
  const auto selections = sent.inputsOf(125);
  EXPECT_EQ(std::count(selections.begin(), selections.end(), "0\t2\t2\t"), 0) << "the range ended with document 1";
  for (const auto& in : selections) EXPECT_NE(in.substr(0, 2), "3\t") << "nothing was printed meanwhile";
  EXPECT_GT(win.find<QPlainTextEdit>("moKLEN")->blockCount(), 1) << "the lines read so far stay";
  EXPECT_TRUE(win.find<QPushButton>("bbtnGetKLEN")->isEnabled());
  EXPECT_TRUE(win.find<QPushButton>("bbtnSaveKLtoFile")->isEnabled());
}

}  // namespace
}  // namespace kestrel
