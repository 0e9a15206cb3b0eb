#pragma once
// Custom command: any command number with typed data, the packets in hex and the
// answer, traced while it runs.
#include <QString>
#include <vector>

#include "app/ui/pages/page.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace kestrel {

class TCustomPage : public TPage {
  Q_OBJECT

 public:
  TCustomPage(TPageShell& shell, const TPageRow& row);
  void bbtnExecuteClick();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Sent {
    QString command;
    QString data;
  };
  // Up (`older`) and Down in "Command:" or "Data:" walk through the commands sent in
  // this session; past the newest the text being typed comes back.
  void recall(bool older);

  QLineEdit* ed_CMD = nullptr;
  QLineEdit* ed_INP_STR = nullptr;
  QPlainTextEdit* ed_HEXINPUT = nullptr;
  QLineEdit* ed_OUTPUT = nullptr;
  QPlainTextEdit* ed_HEXOUTPUT = nullptr;
  QPushButton* bbtnExecute = nullptr;

  bool fExecuting = false;
  std::vector<Sent> fHistory;
  size_t fRecalled = 0;  // fHistory.size(): the text being typed
  Sent fTyping;
};

}  // namespace kestrel
