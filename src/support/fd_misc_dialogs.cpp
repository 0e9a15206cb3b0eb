// TFDMisc: construction, its properties, the message dialogs and the port list box.
#include "support/caught.h"
#include "support/fd_misc.h"

namespace kestrel {

TFDMisc::TFDMisc() : fComPortsUsage(std::make_unique<TComPortsUsage>()) {}

TFDMisc::~TFDMisc() = default;

void TFDMisc::set_comPortsCombo(ComPortsCombo* value) {
  if (fComPortsCombo == value) return;
  if (fComPortsCombo) RemoveFreeNotification(fComPortsCombo);
  fComPortsCombo = value;
  if (fComPortsCombo) FreeNotification(fComPortsCombo);
}

void TFDMisc::Notification(TComponent* component) {
  if (component == fComPortsCombo) fComPortsCombo = nullptr;
}

void TFDMisc::set_ComPortsSysfsRoot(const std::string& sysClassTty, const std::string& serialById) {
  fComPortsUsage = std::make_unique<TComPortsUsage>(sysClassTty, serialById);
}

int TFDMisc::myQuestion(const std::string& messageText, const std::string& messageCaption,
                        TMiscDialogTypes messageType) const {
  DialogRequest request;
  request.text = messageText;
  request.title = messageCaption.empty() ? myMessagesCaption : messageCaption;
  request.buttons = DialogButtons::YesNo;
  request.icon = DialogIcon::Question;
  // Only the first-button type makes Yes the default; every other type, also the
  // OK type, asks with No as the default.
  request.defaultButton = messageType == qstn_YesNo_FBtn ? mrYes : mrNo;
  return dialogsToUse().show(request);
}

bool TFDMisc::myQuestion_Boolean(const std::string& messageText, const std::string& messageCaption,
                                 TMiscDialogTypes messageType) const {
  return myQuestion(messageText, messageCaption, messageType) != mrNo;
}

void TFDMisc::myAlert(const std::string& messageText, const std::string& messageCaption,
                      TMiscDialogTypes messageType) const {
  if (messageType != inf_OkBtn) return;
  DialogRequest request;
  request.text = messageText;
  request.title = messageCaption.empty() ? myMessagesCaption : messageCaption;
  dialogsToUse().show(request);
}

void TFDMisc::myInformation(const std::string& messageText, const std::string& messageCaption,
                            TMiscDialogTypes messageType) const {
  if (messageType != inf_OkBtn) return;
  DialogRequest request;
  request.text = messageText;
  request.icon = DialogIcon::Information;
  if (fOwnerHandle != 0)
    request.title = messageCaption.empty() ? myMessagesCaption : messageCaption;
  else
    request.standardInformation = true;  // the platform's own box with its own title
  dialogsToUse().show(request);
}

void TFDMisc::show_MyAlert(const std::string& target_Message) const {
  myAlert(target_Message, myMessagesCaption, inf_OkBtn);
}

void TFDMisc::show_MyInfo(const std::string& target_Message) const { myInformation(target_Message, "", inf_OkBtn); }

bool TFDMisc::show_MyQuestion_Def_Yes(const std::string& target_Message) const {
  try {
    return myQuestion(target_Message, myMessagesCaption, qstn_YesNo_FBtn) == mrYes;
  } catch (...) {
    reportCaught("TFDMisc.show_MyQuestion_Def_Yes");
    return false;
  }
}

bool TFDMisc::show_MyQuestion_Def_No(const std::string& target_Message) const {
  try {
    return myQuestion(target_Message, myMessagesCaption, qstn_YesNo_SBtn) == mrYes;
  } catch (...) {
    reportCaught("TFDMisc.show_MyQuestion_Def_No");
    return false;
  }
}

bool TFDMisc::fill_ComPortsCombo() {
  try {
    if (!fComPortsCombo) return false;
    std::vector<std::string> ports;
    if (!fComPortsUsage->fill_List(&ports)) return false;
    fComPortsCombo->set_Items(ports);
    return true;
  } catch (...) {
    reportCaught("TFDMisc.fill_ComPortsCombo");
    return false;
  }
}

}  // namespace kestrel
