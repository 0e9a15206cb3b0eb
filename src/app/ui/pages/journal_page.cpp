#include "app/ui/pages/journal_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QVBoxLayout>

#include "app/logic/device_ops.h"
#include "app/logic/pages/document_check.h"
#include "app/logic/pages/then_always.h"
#include "app/logic/page_table.h"
#include "app/ui/core/dm.h"
#include "app/ui/core/form_helpers.h"

namespace kestrel {

void TJournalTextArea::clear() {
  fBatch.clear();
  fText.clear();
  if (fStop) fStop->setEnabled(true);
}

void TJournalTextArea::add(const std::string& line) {
  fBatch.append(qs(line));
  if (fBatch.size() >= BATCH) flush();
}

void TJournalTextArea::flush() {
  if (fBatch.isEmpty()) return;
  // One append per batch: the text lays out the new blocks once, not once per line.
  fText.appendPlainText(fBatch.join('\n'));
  fBatch.clear();
}

TJournalPage::TJournalPage(TPageShell& shell, const TPageRow& pageRow)
    : TPage(shell, pageRow),
      fStart("dtpKLstartDate", "dtpKLstartTime", this, true),
      fEnd("dtpKLendDate", "dtpKLendTime", this) {
  QGroupBox* docs = nullptr;
  QFormLayout* docForm = formBox(this, "grpKLdocuments", "Documents", &docs);
  cbxKLENtype = choiceBox("cbxKLENtype", journalDocumentTypes(), 0, docs);
  fStart.moveTo(docs);
  fEnd.moveTo(docs);
  chbxKLrangeBynum = checkBox("chbxKLrangeBynum", "", docs);
  edKLfromNum = digitsEdit("edKLfromNum", 0, docs);
  edKLtoNum = digitsEdit("edKLtoNum", 0, docs);
  for (QLineEdit* e : {edKLfromNum, edKLtoNum}) {
    e->setFixedWidth(e->fontMetrics().horizontalAdvance(QString(10, '0')) + 16);
    e->setEnabled(false);
  }
  auto* fromLabel = new QLabel("From number:", docs);
  auto* toLabel = new QLabel("To number:", docs);
  fromLabel->setEnabled(false);
  toLabel->setEnabled(false);
  lblKLfromNum = fromLabel;
  lblKLtoNum = toLabel;
  docForm->addRow("Document types:", cbxKLENtype);
  docForm->addRow("Start datetime:", fStart.row);
  docForm->addRow("End datetime:", fEnd.row);
  docForm->addRow("By document number:", chbxKLrangeBynum);
  docForm->addRow(fromLabel, edKLfromNum);
  docForm->addRow(toLabel, edKLtoNum);

  QGroupBox* check = nullptr;
  QFormLayout* checkForm = formBox(this, "grpDocumentCheck", "Document check", &check);
  auto* btnValidateMd5 = pushButton("btnValidateMd5", "Validate", check);
  auto* btnValidateFile = pushButton("btnValidateFile", "Validate from file...", check);
  lbHashPrinted = new QLabel(check);
  lbHashPrinted->setObjectName("lbHashPrinted");
  lbHashCalc = new QLabel(check);
  lbHashCalc->setObjectName("lbHashCalc");
  lbValidDoc = new QLabel(DOCUMENT_IS, check);
  lbValidDoc->setObjectName("lbValidDoc");
  const QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  for (QLabel* l : {lbHashPrinted, lbHashCalc}) {
    l->setFont(mono);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    l->setMinimumWidth(l->fontMetrics().horizontalAdvance(QString(32, '0')));
  }
  QFont bold = lbValidDoc->font();
  bold.setBold(true);
  lbValidDoc->setFont(bold);
  checkForm->addRow(buttonRow({btnValidateMd5, btnValidateFile}));
  checkForm->addRow("Hash printed:", lbHashPrinted);
  checkForm->addRow("Hash calculated:", lbHashCalc);
  checkForm->addRow(lbValidDoc);

  auto* top = new QHBoxLayout;
  top->addWidget(docs);
  top->addWidget(check, 0, Qt::AlignTop);
  top->addStretch(1);
  content()->addLayout(top);

  moKLEN = new QPlainTextEdit(this);
  moKLEN->setObjectName("moKLEN");
  moKLEN->setReadOnly(true);
  moKLEN->setUndoRedoEnabled(false);
  moKLEN->setLineWrapMode(QPlainTextEdit::NoWrap);
  moKLEN->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  moKLEN->setFont(mono);
  moKLEN->setMinimumHeight(300);
  content()->addWidget(moKLEN, 1);

  auto* bbtnGetKLEN = pushButton("bbtnGetKLEN", "Read EJ", this);
  bbtnStopKLdate = pushButton("bbtnStopKLdate", "Stop read", this);
  bbtnStopKLdate->setEnabled(false);
  auto* btnPrintEJ = pushButton("btnPrintEJ", "Print EJ", this);
  auto* bbtnSaveKLtoFile = pushButton("bbtnSaveKLtoFile", "Save EJ to file...", this);
  bbtnSaveKLtoFile->setEnabled(false);
  content()->addLayout(buttonRow({bbtnGetKLEN, bbtnStopKLdate, btnPrintEJ, bbtnSaveKLtoFile}));

  fArea = std::make_unique<TJournalTextArea>(*moKLEN, bbtnStopKLdate);
  // Both readings go through the operation pattern, which starts nothing while another
  // operation runs: a reading and a printing never select documents in turn.
  onClick(bbtnGetKLEN, "bbtnGetKLENClick", [this] { bbtnGetKLENClick(); });
  onClick(btnPrintEJ, "btnPrintEJClick", [this] { btnPrintEJClick(); }, TSwitching::Unswitched);
  // The page rule sets it from the text, whatever the value.
  onClick(bbtnSaveKLtoFile, "bbtnSaveKLtoFileClick", [this] { bbtnSaveKLtoFileClick(); }, TSwitching::Unswitched);
  onClick(btnValidateMd5, "btnValidateMd5Click", [this] { btnValidateMd5Click(); }, TSwitching::Unswitched);
  onClick(btnValidateFile, "btnValidateFileClick", [this] { btnValidateFileClick(); }, TSwitching::Unswitched);
  // Stop must reach the running loop, so it is no operation of its own.
  onClickDirect(bbtnStopKLdate, [this] { bbtnStopKLdateClick(); }, TSwitching::Unswitched);
  shell.addStopControl(bbtnStopKLdate);
  connect(chbxKLrangeBynum, &QCheckBox::toggled, this, [this] { chbxKLrangeBynumClick(); });
  connect(moKLEN, &QPlainTextEdit::textChanged, this, [this, bbtnSaveKLtoFile] {
    if (!this->shell().operationRunning()) bbtnSaveKLtoFile->setEnabled(!moKLEN->document()->isEmpty());
  });
}

// The shell turns every button on when the connection opens; saving needs lines.
void TJournalPage::pageFacts(TPageFacts& facts) const {
  facts.journalHasLines = moKLEN->blockCount() > 0 && !moKLEN->document()->isEmpty();
}

void TJournalPage::modelChanged(int) {
  bbtnStopKLdate->setEnabled(false);
  findChild<QPushButton*>("bbtnSaveKLtoFile")->setEnabled(!moKLEN->document()->isEmpty());
}

void TJournalPage::chbxKLrangeBynumClick() {
  const bool byNumber = chbxKLrangeBynum->isChecked();
  for (QWidget* w : {static_cast<QWidget*>(edKLfromNum), static_cast<QWidget*>(edKLtoNum), lblKLfromNum, lblKLtoNum})
    w->setEnabled(byNumber);
  fStart.setEnabled(!byNumber);
  fEnd.setEnabled(!byNumber);
}

void TJournalPage::showEvent(QShowEvent* event) {
  fStart.followNow();
  fEnd.followNow();
  TPage::showEvent(event);
}

void TJournalPage::bbtnStopKLdateClick() {
  shell().requestStop();
  bbtnStopKLdate->setEnabled(false);
}

TJournalRequest TJournalPage::request() const {
  TJournalRequest r;
  r.type = cbxKLENtype->currentIndex();
  r.byNumber = chbxKLrangeBynum->isChecked();
  r.start = fStart.value();
  r.end = fEnd.value();
  r.fromNumber = ss(edKLfromNum->text());
  r.toNumber = ss(edKLtoNum->text());
  return r;
}

void TJournalPage::readOrPrint(TJournalMode mode) {
  // Print EJ and the checks are no part of the control switching; they wait too.
  const QList<QPushButton*> others = {findChild<QPushButton*>("btnPrintEJ"), findChild<QPushButton*>("btnValidateMd5"),
                                      findChild<QPushButton*>("btnValidateFile")};
  for (auto* b : others) b->setEnabled(false);
  const auto restore = always([&] {
    bbtnStopKLdate->setEnabled(false);
    for (auto* b : others) b->setEnabled(true);
  });
  // Its stop request is the host's, the window's one request.
  TJournalReader reader(ops(), *fArea);
  const TLoopOutcome r = reader.run(request(), mode);
  if (reader.ending == TJournalEnd::EndBeforeStart) fEnd.date->setFocus();
  // The checks before the loop said their own message.
  if (reader.looped()) showLoopEnd(ops(), r, mode == TJournalMode::Print ? JOURNAL_PRINT : JOURNAL_READ);
}

void TJournalPage::bbtnGetKLENClick() { readOrPrint(TJournalMode::Read); }

void TJournalPage::btnPrintEJClick() { readOrPrint(TJournalMode::Print); }

std::vector<std::string> TJournalPage::journalLines() const {
  std::vector<std::string> lines;
  if (moKLEN->document()->isEmpty()) return lines;
  for (QTextBlock b = moKLEN->document()->begin(); b.isValid(); b = b.next()) lines.push_back(ss(b.text()));
  return lines;
}

void TJournalPage::bbtnSaveKLtoFileClick() { saveJournal(ops(), journalLines()); }

void TJournalPage::showCheck(const std::vector<std::string>& lines, bool fromFile) {
  const auto check = checkDocument(dm().misc, lines, fromFile ? THashForm::Field1 : THashForm::Line,
                                   shell().logFolder() + TMP_VALIDATION_FILE);
  if (!check) return;
  lbHashPrinted->setText(qs(check->printed));
  lbHashCalc->setText(qs(check->calculated));
  lbValidDoc->setText(qs(check->shownText()));
  lbValidDoc->setStyleSheet(check->valid ? "color: rgb(0, 128, 0);" : "color: rgb(128, 0, 0);");
}

void TJournalPage::btnValidateMd5Click() { showCheck(journalLines(), false); }

void TJournalPage::btnValidateFileClick() {
  const std::string path = shell().openFileName("Validate from file...", EJ_FILE_FILTER);
  if (path.empty()) return;
  moKLEN->clear();
  const std::vector<std::string> lines = readJournalFile(path);
  for (const auto& l : lines) fArea->add(l);
  fArea->flush();
  showCheck(lines, true);
}

}  // namespace kestrel
