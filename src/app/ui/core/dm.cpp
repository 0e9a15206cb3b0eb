#include "app/ui/core/dm.h"

namespace kestrel {

Tdm::Tdm() {
  // Error messages of transports are shown by the window's own alerts.
  fd.messageBox = [this](const std::string& text) { misc.show_MyAlert(text); };
  fd.OnSendCommand = [this](TFiscalDevice& s, const TCommunicationEventArgs& a) { fdOnSendCommand(s, a); };
  fd.OnReceiveAnswer = [this](TFiscalDevice& s, const TCommunicationEventArgs& a) { fdOnReceiveAnswer(s, a); };
  fd.OnStatusChange = [this](TFiscalDevice& s) { fdOnStatusChange(s); };
}

Tdm::~Tdm() {
  fd.OnSendCommand = nullptr;
  fd.OnReceiveAnswer = nullptr;
  fd.OnStatusChange = nullptr;
  fd.messageBox = nullptr;
}

std::string Tdm::packetText(const TCommunicationEventArgs& args) {
  auto trimmed = [](std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
  };
  return trimmed(args.hexPacketHeader) + " " + trimmed(args.hexPacketData) + " " + trimmed(args.hexPacketFooter);
}

void Tdm::fdOnSendCommand(TFiscalDevice&, const TCommunicationEventArgs& args) { emit commandSent(args); }

void Tdm::fdOnReceiveAnswer(TFiscalDevice&, const TCommunicationEventArgs& args) { emit answerReceived(args); }

void Tdm::fdOnStatusChange(TFiscalDevice&) { emit statusChanged(); }

}  // namespace kestrel
