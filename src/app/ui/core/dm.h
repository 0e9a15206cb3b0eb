#pragma once
// The data module: owns the device session (engine, helper component, error container,
// profile) and the in-memory tables for the whole run, and passes the engine's events
// on as Qt signals, so any number of views can listen.
#include <QObject>

#include "app/logic/mem_table.h"
#include "app/logic/session.h"

namespace kestrel {

// The session is the base, so the engine and its parts are the module's own fields.
class Tdm : public QObject, public TDeviceSession {
  Q_OBJECT

 public:
  Tdm();
  ~Tdm();
  Tdm(const Tdm&) = delete;
  Tdm& operator=(const Tdm&) = delete;

  TMemTable fdmt_Header{"fdmt_Header"};
  TMemTable fdmt_Footer{"fdmt_Footer"};
  // The Clients page's table (at most 1000 rows).
  TMemTable fdmt_ClientInfo{"fdmt_ClientInfo"};
  TMemTable fdmt_Articles{"fdmt_Articles"};

  // Header hex, blank, data hex, blank, footer hex.
  static std::string packetText(const TCommunicationEventArgs& args);

 signals:
  // The engine sent a command's frame / took an answer / read new status bytes.
  void commandSent(const kestrel::TCommunicationEventArgs& args);
  void answerReceived(const kestrel::TCommunicationEventArgs& args);
  void statusChanged();

 private:
  void fdOnSendCommand(TFiscalDevice& sender, const TCommunicationEventArgs& args);
  void fdOnReceiveAnswer(TFiscalDevice& sender, const TCommunicationEventArgs& args);
  void fdOnStatusChange(TFiscalDevice& sender);
};

}  // namespace kestrel
