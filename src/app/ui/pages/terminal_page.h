#pragma once
// Terminal operations: the device as a networked terminal, behind the service password.
#include "app/ui/pages/page.h"

class QLineEdit;
class QPlainTextEdit;

namespace kestrel {

class TTerminalPage : public TPage {
  Q_OBJECT

 public:
  TTerminalPage(TPageShell& shell, const TPageRow& row);
  void btnReadTerminalDataClick();
  // Reset, new command file, forced sending: function "0", "1" or "10".
  void terminalFunctionClick(const char* function, const char* done);

 private:
  void focusOn(const std::string& name);

  QPlainTextEdit* moTerminalInfo = nullptr;
  QPlainTextEdit* moTerminalCmdFile = nullptr;
  QLineEdit* edServicePassTerminal = nullptr;
};

}  // namespace kestrel
