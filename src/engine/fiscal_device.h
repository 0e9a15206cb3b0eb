#pragma once
// The device engine: owns the link to one fiscal device, frames each command, moves it
// over the serial or TCP/IP transport, reads and checks the answer, decodes the status
// bytes and reports every outcome as a code in the error container.
//
// One thread uses an engine: the window and the CLI call it from their only thread. The
// lock keeps two threads from mixing their frames, but the code, the answer fields and
// the status bits a command leaves are read after it returns, so a caller on another
// thread must hold lock() across the command and those reads. cancelWait() alone may be
// called from any thread.
#include <array>
#include <atomic>
#include <bitset>
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

// The diagnostic read: the one command whose answer widens on the newer devices.
inline constexpr uint16_t DIAGNOSTIC_COMMAND = 90;

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

// What the engine waits for while OnIdle runs.
struct TWaitState {
  uint16_t command = 0;  // the command being exchanged; 0 while a transport connects on its own
  std::string target;    // "127.0.0.1:4999" or "/dev/ttyS0"
  uint32_t limitMs = 0;  // the limit of this wait (per byte, or of the connect); 0: none
};

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
  // Called about every IDLE_INTERVAL_MS (never more than 50 ms apart) while the engine
  // waits for answer bytes and while a transport connects, writes or pauses. It may call
  // cancelWait(); a command it starts is refused with CODE_ENGINE_BUSY.
  std::function<void(const TWaitState&)> OnIdle;
  static constexpr int IDLE_INTERVAL_MS = 20;

  // --- public ---
  bool errorInStatuses = false;
  bool ocoecModeOn = false;
  int32_t repeatCount = 2;
  bool firstCommand = true;
  const std::string& text_Output() const { return fTextOutput; }
  std::vector<std::string> answerFieldsList;
  std::vector<std::string> delimitersList;

  // A command started while another one runs on this thread (from OnIdle or another
  // event) returns false at once with CODE_ENGINE_BUSY and sends nothing. Data that do not
  // fit in one frame return false with CODE_DATA_TOO_LONG and send nothing. A failure is
  // never reported with code 0, except when the device's own code 0 stands beside an
  // error bit of its status (errorInStatuses).
  bool customCommand(uint16_t CommandValue, const std::string& inputText, std::string& outputText);
  // Ends the running wait: the command (or connect) ends within 100 ms with
  // CODE_CANCELLED. Safe from OnIdle and from another thread.
  void cancelWait() { fCancel.store(true); }
  // A customCommand is running.
  bool busy() const { return fRunning.load() > 0; }
  // The last command failed because the transport saw the link end (end of file, reset,
  // hang-up, I/O error); cleared by the next successful open of that transport.
  bool connectionLost() const;
  // The most data bytes one frame of the protocol in use carries.
  uint32_t maxDataBytes() const;
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
  friend class TFDConnector;
  // Why the attempts of a command ended without an answer.
  enum class LinkFailure { None, Lost, Cancelled };
  // Runs OnIdle when IDLE_INTERVAL_MS have passed since it last ran; true once a cancel
  // is pending. The transports call it while they wait.
  bool idleWhileWaiting(const TFDConnector& conn, uint32_t limitMs);
  // Commands and openings: the outermost one starts with no cancel pending.
  void beginOperation();
  void endOperation();
  void setLost(const TFDConnector& conn);
  bool exchange(uint16_t command, const std::string& bytes, std::string& outputText);
  bool commandLoop(uint16_t command, const std::string& data);
  void buildRequest(uint16_t command, const std::string& data, TSniffer* trace, bool active);
  bool readAnswer(uint16_t command, TFDConnector* conn, TSniffer* trace, bool active);
  bool readOneByte(uint8_t& b, TFDConnector* conn, TSniffer* trace, bool active);
  bool waitForByte(uint8_t& b, TFDConnector* conn, TSniffer* trace, bool active);
  void onByteReadFailed(TFDConnector* conn);
  // After an attempt's read: remembers the frame's sequence number when its wait was
  // given up (its answer may still come), forgets older ones once an answer came.
  void noteLateAnswers(bool received);
  void traceAnswerByte(uint8_t b, TSniffer* trace, bool active);
  void traceSentRows(TSniffer* s, int attempt, uint16_t command);
  void traceReceivedRows(TSniffer* s, int attempt, uint16_t command, bool prepare);
  void fireCommunication(const TCommunicationEvent& handler, TSniffer* s, bool success, TDataDirection dir);
  void setCode(int code);
  void setCode(int code, const std::string& detail);
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
  // The wait and its hook.
  std::atomic<bool> fCancel{false};
  std::atomic<int> fRunning{0};  // customCommand calls in progress
  int fOpeningsInCommand = 0;    // openings a running command started (they may run commands)
  int fOperations = 0;
  std::atomic<bool> fInIdle{false};
  int64_t fLastIdleMs = 0;
  uint16_t fCommand = 0;
  bool fNakReceived = false;  // the last answer read ended in NAK
  // Sequence numbers of frames whose answer the engine stopped waiting for; such an
  // answer arriving during a later command's wait is skipped, not taken as a wrong one.
  std::bitset<256> fLateSequences;
  LinkFailure fFailure = LinkFailure::None;
};

}  // namespace kestrel
