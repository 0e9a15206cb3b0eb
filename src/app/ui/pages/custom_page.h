#pragma once
// Custom command: any command number with typed data, the packets in hex and the
// answer, traced while it runs.
#include "app/ui/pages/page.h"

class QLineEdit;
class QPushButton;

namespace kestrel {

class TCustomPage : public TPage {
  Q_OBJECT

 public:
  explicit TCustomPage(TfmMainFBH& main);
  ~TCustomPage() override;
  void bbtnExecuteClick();

 private:
  QLineEdit* ed_CMD = nullptr;
  QLineEdit* ed_INP_STR = nullptr;
  QLineEdit* ed_HEXINPUT = nullptr;
  QLineEdit* ed_OUTPUT = nullptr;
  QLineEdit* ed_HEXOUTPUT = nullptr;
  QPushButton* bbtnExecute = nullptr;
};

}  // namespace kestrel
