#pragma once
// EJ reading: documents of the electronic journal read or printed by period or by
// number into a text area, saved to a file, and checked against their printed hash.
#include <QStringList>
#include <memory>
#include <vector>

#include "app/logic/pages/journal.h"
#include "app/ui/pages/fm_reports_page.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace kestrel {

// The text area as the reading's destination: lines gathered and appended in batches,
// so that a long journal costs no layout per line.
class TJournalTextArea : public TJournalLines {
 public:
  TJournalTextArea(QPlainTextEdit& text, QPushButton* stop) : fText(text), fStop(stop) {}
  void clear() override;
  void add(const std::string& line) override;
  void flush() override;

  static constexpr int BATCH = 1000;

 private:
  QPlainTextEdit& fText;
  QPushButton* fStop;
  QStringList fBatch;
};

class TJournalPage : public TPage {
  Q_OBJECT

 public:
  TJournalPage(TPageShell& shell, const TPageRow& row);
  void modelChanged(int ecrModel) override;
  void pageFacts(TPageFacts& facts) const override;
  void bbtnGetKLENClick();
  void btnPrintEJClick();
  void bbtnStopKLdateClick();
  void bbtnSaveKLtoFileClick();
  void chbxKLrangeBynumClick();
  void btnValidateMd5Click();
  void btnValidateFileClick();

  // The text area's lines (none when it is empty).
  std::vector<std::string> journalLines() const;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void readOrPrint(TJournalMode mode);
  void showCheck(const std::vector<std::string>& lines, bool fromFile);
  TJournalRequest request() const;

  QComboBox* cbxKLENtype = nullptr;
  TMomentPicker fStart, fEnd;
  QCheckBox* chbxKLrangeBynum = nullptr;
  QLineEdit* edKLfromNum = nullptr;
  QLineEdit* edKLtoNum = nullptr;
  QWidget* lblKLfromNum = nullptr;
  QWidget* lblKLtoNum = nullptr;
  QPlainTextEdit* moKLEN = nullptr;
  QPushButton* bbtnStopKLdate = nullptr;
  QLabel* lbHashPrinted = nullptr;
  QLabel* lbHashCalc = nullptr;
  QLabel* lbValidDoc = nullptr;
  std::unique_ptr<TJournalTextArea> fArea;
};

}  // namespace kestrel
