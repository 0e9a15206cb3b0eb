#pragma once
// The data module: owns the engine, the helper component, the error container, the
// device profile and the in-memory tables for the whole run, and routes the engine's
// events to the pages that show them.
#include <functional>

#include "app/logic/mem_table.h"
#include "catalogue/fba_kt_33a.h"
#include "engine/fiscal_device.h"
#include "support/err_container.h"
#include "support/fd_misc.h"

namespace kestrel {

class Tdm {
 public:
  Tdm();
  ~Tdm();
  Tdm(const Tdm&) = delete;
  Tdm& operator=(const Tdm&) = delete;

  // Declared in this order: the container and the helper outlive the engine, the
  // engine outlives the profile that refers to it.
  TErrContainer errContainer;
  TFDMisc misc;
  TFiscalDevice fd;
  TFBA_KT_33A profile;

  TMemTable fdmt_Header{"fdmt_Header"};
  TMemTable fdmt_Footer{"fdmt_Footer"};
  // The Clients page's table (at most 1000 rows).
  TMemTable fdmt_ClientInfo{"fdmt_ClientInfo"};
  TMemTable fdmt_Articles{"fdmt_Articles"};

  // Where the engine's events go; the main window fills these.
  std::function<void(const TCommunicationEventArgs&)> sendCommandView;
  std::function<void(const TCommunicationEventArgs&)> receiveAnswerView;
  std::function<void()> statusView;

  // Header hex, blank, data hex, blank, footer hex.
  static std::string packetText(const TCommunicationEventArgs& args);

 private:
  void fdOnSendCommand(TFiscalDevice& sender, const TCommunicationEventArgs& args);
  void fdOnReceiveAnswer(TFiscalDevice& sender, const TCommunicationEventArgs& args);
  void fdOnStatusChange(TFiscalDevice& sender);
};

}  // namespace kestrel
