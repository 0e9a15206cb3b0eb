#pragma once
// The device engine: owns the link to one fiscal device, frames each command, moves it
// over the serial or TCP/IP transport, reads and checks the answer, decodes the status
// bytes and reports every outcome as a code in the error container.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/device_dependent.h"
#include "engine/engine_types.h"
#include "engine/fd_connector.h"
#include "support/component.h"

namespace kestrel {

class TErrContainer;
class TFDMisc;
class TRS232Connector;
class TTCPIPConnector;
class TROPOS;

struct TCommunicationEventArgs {
  bool success = false;
  int64_t ID = 0;
  std::string repeatIndex, hexPacketHeader, hexPacketData, hexPacketFooter, textValue, dateTimeValue, command;
};

class TFiscalDevice;
using TCommunicationEvent = std::function<void(TFiscalDevice& Sender, const TCommunicationEventArgs& args)>;
using TWaitEvent = std::function<void(TFiscalDevice& Sender, uint8_t waitMessage)>;
using TStatusChangeEvent = std::function<void(TFiscalDevice& Sender)>;

class TFiscalDevice : public TComponent {
 public:
  static constexpr uint32_t BUFFER_SIZE = 65536;
  static constexpr uint32_t MAX_NOISE_BYTES = 28000;

  TFiscalDevice();
  ~TFiscalDevice() override;

  // --- published ---
  TFDMisc* Misc() const { return fMisc; }
  void set_Misc(TFDMisc* value);
  TErrContainer* errContainer() const { return fErrContainer; }
  void set_errContainer(TErrContainer* value);
  TRS232Connector* RS232() const { return fRS232.get(); }
  TTCPIPConnector* TCPIP() const { return fTCPIP.get(); }
  TDeviceDependent* dd() const { return fDD.get(); }
  static constexpr const char* VersionS = "1.0.0.0";
  static constexpr int VersionI = 1;
  TCommunicationType CommunicationType() const { return fCommunicationType; }
  void set_CommunicationType(TCommunicationType value);
  TErrorStyle ErrorStyle() const { return fErrorStyle; }
  void set_ErrorStyle(int value);
  std::string ModelName;
  TCommunicationEvent OnSendCommand;
  TCommunicationEvent OnReceiveAnswer;
  TWaitEvent OnWait;
  TStatusChangeEvent OnStatusChange;

  // --- public ---
  bool errorInStatuses = false;
  bool ocoecModeOn = false;
  int32_t repeatCount = 2;
  bool firstCommand = true;
  const std::string& text_Output() const { return fTextOutput; }
  std::vector<std::string> answerFieldsList;
  std::vector<std::string> delimitersList;

  bool customCommand(uint16_t CommandValue, const std::string& inputText, std::string& outputText);
  TCommunicationType getCommunicationType() const { return fCommunicationType; }
  bool set_PacketFormat(TPacketFormat packetFormat);
  bool add_DefaultDelimiters();

  // The transport of CommunicationType, or null for a type without one.
  TFDConnector* activeConnector() const;

  // Status table work, also used by the window and the catalogue.
  void calculate_StatusBits();
  bool check_DeviceForStatusErrors();
  void clear_StatusBits();

  // Raw bytes of the last exchange (device code page): what was sent and received.
  const std::string& ansiTextInput() const { return fAnsiTextInput; }
  const std::string& ansiTextOutput() const { return fAnsiTextOutput; }
  uint8_t statusByte(int index) const { return fStatus[index]; }
  uint8_t seqNumber() const { return fSeqNumber; }
  void set_seqNumber(uint8_t value) { fSeqNumber = value; }
  // Exception texts collected inside the engine; nothing outside reads it except tests.
  const std::string& internalErrorText() const { return fInternalError; }

  // Shows a modal message; the window and the CLI replace it. Default: stderr.
  std::function<void(const std::string&)> messageBox;

  // Owned slot for the OPOS property lists, defined by the catalogue layer.
  std::unique_ptr<TDDPart> OPOSPart;

  // The engine lock (re-entrant), also taken by raw pass-through operations.
  std::recursive_mutex& lock() { return fLock; }

 protected:
  void Notification(TComponent* component) override;

 private:
  friend class TI90;
  bool exchange(uint16_t command, const std::string& inputText, std::string& outputText);
  bool commandLoop(uint16_t command, const std::string& data);
  void buildRequest(uint16_t command, const std::string& data, TSniffer* trace, bool active);
  bool readAnswer(uint16_t command, TFDConnector* conn, TSniffer* trace, bool active);
  bool readOneByte(uint8_t& b, TFDConnector* conn, TSniffer* trace, bool active);
  bool waitForByte(uint8_t& b, TFDConnector* conn, TSniffer* trace, bool active);
  void onByteReadFailed(TFDConnector* conn);
  void traceAnswerByte(uint8_t b, TSniffer* trace, bool active);
  void traceSentRows(TSniffer* s, int attempt, uint16_t command);
  void traceReceivedRows(TSniffer* s, int attempt, uint16_t command, bool prepare);
  void fireCommunication(const TCommunicationEvent& handler, TSniffer* s, bool success, TDataDirection dir);
  void setCode(int code);
  int lastCode() const;
  bool isType2() const;
  void addDelimiter(const std::string& d);
  void removeDelimiter(const std::string& d);
  std::string toDeviceBytes(const std::string& text) const;
  std::string fromDeviceBytes(const std::string& bytes) const;

  TFDMisc* fMisc = nullptr;
  TErrContainer* fErrContainer = nullptr;
  std::unique_ptr<TRS232Connector> fRS232;
  std::unique_ptr<TTCPIPConnector> fTCPIP;
  std::unique_ptr<TDeviceDependent> fDD;
  TCommunicationType fCommunicationType = ct_RS232;
  TErrorStyle fErrorStyle = errorCode;
  std::recursive_mutex fLock;

  std::unique_ptr<std::array<uint8_t, BUFFER_SIZE>> fMessage;
  uint32_t fMessage_Position = 0;
  std::unique_ptr<std::array<uint8_t, BUFFER_SIZE>> fAnswer;
  uint32_t fAnswer_Position = 0;
  std::array<uint8_t, 8> fStatus{};
  uint8_t fSeqNumber = 0x20;
  uint16_t fCalculated_BCC = 0;
  uint8_t fByte_LEN = 0;
  uint16_t fWord_LEN = 0;
  bool fHardExitByTime = false;
  std::string fAnsiTextInput;
  std::string fAnsiTextOutput;
  std::string fTextOutput;
  std::string fInternalError;
  // Where the trace puts the bytes of the frame being read.
  TSnifferByteCursor fCursor = sbcHeader;
};

}  // namespace kestrel
