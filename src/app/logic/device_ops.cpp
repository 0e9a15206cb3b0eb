#include "app/logic/device_ops.h"

#include <stdexcept>

#include "app/logic/field_helpers.h"
#include "app/logic/page_table.h"
#include "engine/engine_types.h"
#include "engine/fiscal_device.h"
#include "support/err_container.h"
#include "support/fd_misc.h"

namespace kestrel {

std::string paramReadText(const std::string& name, const std::string& index) { return name + "\t" + index + "\t\t"; }

std::string paramWriteText(const std::string& name, const std::string& index, const std::string& value) {
  return name + "\t" + index + "\t" + value + "\t";
}

bool TDeviceOps::StatusUpdate(const std::string& refused, const std::string& instead) {
  host().set_StatusText(std::string());
  const TVerdict v = commandVerdict(err.LastErrorCode(), fLastOk, fShowErr);
  if (v.ok) return true;
  ++failedVerdicts;
  std::string text = err.LastErrorMessage();
  if (err.LastErrorCode() == 0) text = FAILED_WITHOUT_CODE_MESSAGE;
  else if (fLastOk && !refused.empty()) text += "\n" + refused;
  if (err.LastErrorCode() != 0 && fLastOk && !instead.empty()) text = instead + " (the device reports: " + text + ")";
  try {
    if (v.show == TVerdictShow::Alert) misc.show_MyAlert(text);
    else if (v.show == TVerdictShow::StatusBar) host().set_StatusText(text);
  } catch (const std::exception& e) {
    // The verdict stands even when the alert cannot be shown; keep the text visible.
    host().set_StatusText(text + " (" + e.what() + ")");
  }
  return false;
}

bool TDeviceOps::commandUnjudged(uint16_t commandValue, const std::string& inputText) {
  if (onCommand) onCommand(commandValue, inputText);
  std::string answer;
  fLastOk = fd.customCommand(commandValue, inputText, answer);
  return fLastOk && err.LastErrorCode() == 0;
}

bool TDeviceOps::command(uint16_t commandValue, const std::string& inputText, const std::string& refused) {
  commandUnjudged(commandValue, inputText);
  return StatusUpdate(refused);
}

bool TDeviceOps::lastCancelled() const { return err.LastErrorCode() == CODE_CANCELLED; }

int TDeviceOps::fieldCount() const { return static_cast<int>(fd.answerFieldsList.size()); }

const std::string& TDeviceOps::field(int n) const {
  if (n < 0 || n >= fieldCount())
    throw std::runtime_error("The answer has no field " + std::to_string(n) + ".");
  return fd.answerFieldsList[static_cast<size_t>(n)];
}

bool TDeviceOps::readParam(const std::string& name, const std::string& index, std::string& value) {
  if (!command(255, paramReadText(name, index))) return false;
  value = field(1);
  if (paramsRead) (*paramsRead)[index.empty() ? name : name + "." + index] = value;
  return true;
}

bool TDeviceOps::writeParam(const std::string& name, const std::string& index, const std::string& value) {
  checkSendable(index.empty() ? name : name + "." + index, value);
  return command(255, paramWriteText(name, index, value));
}

void TDeviceOps::inform(const std::string& text) { misc.myInformation(text, TITLE_KESTREL, inf_OkBtn); }

void TDeviceOps::informSaved() {
  host().dataSaved();
  inform(MSG_DATA_SAVED);
}

bool TDeviceOps::ask(const std::string& text, const std::string& title, bool noIsDefault) {
  return misc.myQuestion(text, title, noIsDefault ? qstn_YesNo_SBtn : qstn_YesNo_FBtn) == mrYes;
}

}  // namespace kestrel
