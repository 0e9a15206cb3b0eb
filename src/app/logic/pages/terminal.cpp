#include "app/logic/pages/terminal.h"

#include "app/logic/device_ops.h"
#include "app/logic/pages/service_info.h"
#include "app/logic/pages/then_always.h"
#include "support/err_container.h"

namespace kestrel {

namespace {

bool enterService(TDeviceOps& ops, const std::string& password, std::string& focus) {
  if (password.empty()) {
    ops.inform(MSG_ENTER_SERVICE_PASSWORD);
    focus = TERMINAL_PASSWORD_FIELD;
    return false;
  }
  return enterServiceMode(ops, password);
}

// Runs `f` in service mode, which is left on every way out once entered.
template <class F>
bool inServiceMode(TDeviceOps& ops, const std::string& password, std::string& focus, F f) {
  if (!enterService(ops, password, focus)) return false;
  const auto leave = always([&] { ops.commandUnjudged(253, serviceModeInput("")); });
  return f();
}

// The device's code of a refused function; the engine's own when the answer had none.
std::string codeOfLast(TDeviceOps& ops) {
  return ops.fieldCount() > 0 ? ops.field(0) : std::to_string(ops.err.LastErrorCode());
}

std::string lowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

}  // namespace

std::string commandFileText(const std::string& deviceText) {
  std::string text = deviceText;
  for (size_t at; (at = lowerAscii(text).find("\\r\\n")) != std::string::npos;) text.replace(at, 4, "\r\n");
  return text;
}

bool terminalFunction(TDeviceOps& ops, const std::string& password, const std::string& function, std::string& focus) {
  return inServiceMode(ops, password, focus, [&] { return ops.command(144, function + "\t"); });
}

bool readTerminalData(TDeviceOps& ops, const std::string& password, TTerminalData& data, std::string& focus) {
  return inServiceMode(ops, password, focus, [&] {
    data.info.clear();
    const std::string firstInstall = "First install:                    ";
    if (ops.command(144, "2\t"))
      data.info.push_back(firstInstall + (ops.field(1) == "1" ? "YES" : "NO"));
    else
      data.info.push_back(firstInstall + "Error: " + codeOfLast(ops));
    TDeviceOps::ShowErrOff quiet(ops);
    auto line = [&](const char* function, const std::string& caption) {
      if (ops.command(144, std::string(function) + "\t"))
        data.info.push_back(caption + ops.field(1));
      else
        data.info.push_back(caption + "Error: " + codeOfLast(ops));
    };
    line("3", "Last sent Z report number:        ");
    line("4", "Last Z report number:             ");
    data.commandFile.emplace();
    if (ops.command(144, "5\t")) data.commandFile = commandFileText(ops.field(1));
    return true;
  });
}

}  // namespace kestrel
