#include "engine/fiscal_device.h"
#include "engine/secrets.h"

#include <bit>
#include <chrono>
#include <cstring>
#include <iostream>
#include <thread>

#include "engine/frame_codec.h"
#include "engine/rs232_connector.h"
#include "engine/tcpip_connector.h"
#include "support/caught.h"
#include "support/err_container.h"
#include "support/fd_misc.h"

namespace kestrel {

namespace {

constexpr uint16_t FIRST_COMMAND = 74;
constexpr uint16_t CUSTOM_CODE_GEORGIAN = 16;
const std::string TAB = "\t";

uint32_t tickMs() {
  using namespace std::chrono;
  return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

int64_t monotonicMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Restores a counter on every way out.
struct CountScope {
  explicit CountScope(std::atomic<int>& c) : counter(c) { ++counter; }
  ~CountScope() { --counter; }
  CountScope(const CountScope&) = delete;
  CountScope& operator=(const CountScope&) = delete;
  std::atomic<int>& counter;
};

// Field 0 as a signed 32-bit integer; the whole field must be the number.
bool parseInt32(const std::string& s, int& out) {
  if (s.empty() || s.size() > 11) return false;
  size_t i = 0;
  bool neg = false;
  if (s[0] == '-' || s[0] == '+') {
    neg = s[0] == '-';
    i = 1;
  }
  if (i == s.size()) return false;
  int64_t v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
  }
  if (neg) v = -v;
  if (v < INT32_MIN || v > INT32_MAX) return false;
  out = static_cast<int>(v);
  return true;
}

}  // namespace

TFiscalDevice::TFiscalDevice()
    : fRS232(std::make_unique<TRS232Connector>(this)),
      fTCPIP(std::make_unique<TTCPIPConnector>(this)),
      fDD(std::make_unique<TDeviceDependent>(this)),
      fMessage(std::make_unique<std::array<uint8_t, BUFFER_SIZE>>()),
      fAnswer(std::make_unique<std::array<uint8_t, BUFFER_SIZE>>()) {
  fMessage->fill(0);
  fAnswer->fill(0);
  messageBox = [](const std::string& text) { std::cerr << text << std::endl; };
}

TFiscalDevice::~TFiscalDevice() {
  // Frames may hold device data (prices, passwords): leave nothing behind.
  fMessage->fill(0);
  fAnswer->fill(0);
  fStatus.fill(0);
  // Transports close before the description they may refer to goes away.
  fRS232.reset();
  fTCPIP.reset();
}

void TFiscalDevice::set_Misc(TFDMisc* value) {
  if (fMisc == value) return;
  if (fMisc) RemoveFreeNotification(fMisc);
  fMisc = value;
  if (fMisc) FreeNotification(fMisc);
}

void TFiscalDevice::set_errContainer(TErrContainer* value) {
  if (fErrContainer == value) return;
  if (fErrContainer) RemoveFreeNotification(fErrContainer);
  fErrContainer = value;
  if (fErrContainer) FreeNotification(fErrContainer);
}

void TFiscalDevice::Notification(TComponent* component) {
  if (component == fMisc) fMisc = nullptr;
  if (component == fErrContainer) fErrContainer = nullptr;
}

void TFiscalDevice::set_CommunicationType(TCommunicationType value) {
  fCommunicationType = (value == ct_RS232 || value == ct_TCPIP) ? value : ct_Unknown;
}

void TFiscalDevice::set_ErrorStyle(int value) {
  if (value == errorCode || value == pfStyle) fErrorStyle = static_cast<TErrorStyle>(value);
}

TFDConnector* TFiscalDevice::activeConnector() const {
  switch (fCommunicationType) {
    case ct_RS232: return fRS232.get();
    case ct_TCPIP: return fTCPIP.get();
    default: return nullptr;
  }
}

void TFiscalDevice::setCode(int code) {
  if (fErrContainer) fErrContainer->set_LastErrorCode(code);
}

void TFiscalDevice::setCode(int code, const std::string& detail) {
  if (fErrContainer) fErrContainer->set_LastErrorCode(code, detail);
}

void TFiscalDevice::setLost(const TFDConnector& conn) { setCode(CODE_CONNECTION_LOST, conn.target()); }

bool TFiscalDevice::connectionLost() const {
  const TFDConnector* conn = activeConnector();
  return conn && conn->linkLost();
}

uint32_t TFiscalDevice::maxDataBytes() const {
  // The length field must hold the data plus the frame's fixed part.
  return isType2() ? 0xFFFFu - frame::REQ_LEN_OFFSET_TYPE2 : 0xFFu - frame::REQ_LEN_OFFSET_TYPE1;
}

void TFiscalDevice::beginOperation() {
  if (fOperations++ == 0) {
    fCancel.store(false);
    fLastIdleMs = monotonicMs();
  }
}

void TFiscalDevice::endOperation() { --fOperations; }

bool TFiscalDevice::idleWhileWaiting(const TFDConnector& conn, uint32_t limitMs) {
  if (OnIdle && !fInIdle.load()) {
    const int64_t now = monotonicMs();
    if (now - fLastIdleMs >= IDLE_INTERVAL_MS) {
      fLastIdleMs = now;
      const TWaitState state{fRunning.load() > 0 ? fCommand : uint16_t{0}, conn.target(), limitMs};
      fInIdle.store(true);
      // The hook is the caller's code: its failure must not end the wait, but it is kept.
      std::string failure;
      try {
        OnIdle(state);
      } catch (const std::exception& e) {
        failure = e.what();
      } catch (...) {
        failure = "unknown exception";
      }
      if (!failure.empty()) {
        fInternalError += "TFiscalDevice.OnIdle: " + failure + '\n';
        if (TFDConnector* c = activeConnector()) c->Sniffer()->logThis("TFiscalDevice.OnIdle: " + failure, true);
      }
      fInIdle.store(false);
      // The hook may have taken long: the next slice counts from its end.
      fLastIdleMs = monotonicMs();
    }
  }
  return fCancel.load();
}

int TFiscalDevice::lastCode() const { return fErrContainer ? fErrContainer->LastErrorCode() : codes::NO_ERR_CONTAINER; }

bool TFiscalDevice::isType2() const { return fDD->LowLevel().ProtocolType() == protocol_Type2; }

void TFiscalDevice::addDelimiter(const std::string& d) {
  for (const auto& x : delimitersList)
    if (x == d) return;
  delimitersList.push_back(d);
}

void TFiscalDevice::removeDelimiter(const std::string& d) { std::erase(delimitersList, d); }

bool TFiscalDevice::add_DefaultDelimiters() {
  try {
    addDelimiter(isType2() ? TAB : ",");
    return true;
  } catch (...) {
    reportCaught("TFiscalDevice.add_DefaultDelimiters");
    return false;
  }
}

bool TFiscalDevice::set_PacketFormat(TPacketFormat packetFormat) {
  if (!fMisc || !fErrContainer) return false;
  try {
    TLowLevel& ll = fDD->LowLevel();
    ll.set_fileFormat(sft_INI);
    ll.set_descriptionsFolder("");
    ll.set_sBytesStatusPacketFormat(packetFormat);
    ll.init_Statuses();
    return true;
  } catch (...) {
    reportCaught("TFiscalDevice.set_PacketFormat");
    return false;
  }
}

std::string TFiscalDevice::toDeviceBytes(const std::string& text) const {
  const TDeviceDependent& d = *fDD;
  if (d.CustomCodePage && d.CustomCodePageCode == CUSTOM_CODE_GEORGIAN) {
    std::string prepared = fMisc->prepare_InputForSpecialSymbols(fMisc->convert_GeorgianToCyrillic(text));
    return fMisc->convert_WideString_ToAnsiString(prepared, d.CodePage);
  }
  return fMisc->convert_WideString_ToAnsiString(text, d.CodePage);
}

std::string TFiscalDevice::fromDeviceBytes(const std::string& bytes) const {
  const TDeviceDependent& d = *fDD;
  std::string text = fMisc->convert_AnsiString_ToWideString(bytes, d.CodePage);
  if (d.CustomCodePage && d.CustomCodePageCode == CUSTOM_CODE_GEORGIAN) return fMisc->convert_CyrillicToGeorgian(text);
  return text;
}

// ---------------------------------------------------------------------------
// Command execution
// ---------------------------------------------------------------------------

bool TFiscalDevice::customCommand(uint16_t CommandValue, const std::string& inputText, std::string& outputText) {
  if (!fErrContainer) {
    if (messageBox) messageBox("Error container component not assigned. Please assign this component!");
    return false;
  }
  if (!fMisc) {
    setCode(codes::NO_MISC);
    if (messageBox) messageBox(fErrContainer->LastErrorMessage());
    return false;
  }

  std::lock_guard<std::recursive_mutex> guard(fLock);
  // The lock lets this thread in again. Only the diagnostic read of an opening that the
  // running command started may run inside it; a command from OnIdle or another event
  // would interleave its frame with the running one.
  if (fInIdle.load() || fRunning.load() > fOpeningsInCommand) {
    outputText.clear();
    setCode(CODE_ENGINE_BUSY);
    return false;
  }
  beginOperation();
  struct OperationEnd {
    TFiscalDevice* self;
    ~OperationEnd() { self->endOperation(); }
  } operationEnd{this};
  const CountScope running(fRunning);

  std::string bytes;
  try {
    bytes = toDeviceBytes(inputText);
  } catch (...) {
    reportCaught("TFiscalDevice.customCommand");
    outputText.clear();
    setCode(codes::GENERAL);
    return false;
  }
  // A frame cut to fit would carry other data than the caller gave.
  if (bytes.size() > maxDataBytes()) {
    outputText.clear();
    setCode(CODE_DATA_TOO_LONG, std::to_string(bytes.size()) + " bytes, at most " + std::to_string(maxDataBytes()));
    return false;
  }

  if (firstCommand) {
    if (!exchange(FIRST_COMMAND, std::string(), outputText)) return false;
    firstCommand = false;
  }

  const bool hasTab = inputText.find('\t') != std::string::npos;
  const bool widened = isType2() && CommandValue == DIAGNOSTIC_COMMAND && !hasTab;
  // The delimiters added for a plain command 90 are removed on every way out.
  struct Narrow {
    TFiscalDevice* self;
    bool active;
    ~Narrow() {
      if (!active) return;
      self->removeDelimiter(",");
      self->removeDelimiter(" ");
    }
  } narrow{this, widened};
  if (widened) {
    addDelimiter(",");
    addDelimiter(" ");
  }

  const bool result = exchange(CommandValue, bytes, outputText);

  const int code = lastCode();
  if (code != codes::TIMEOUT) {
    const int count = fMisc->fillAnswerList(outputText, &delimitersList, &answerFieldsList);
    // Without an answer the link's own code says what happened; an empty answer text
    // would only say that field 0 is missing.
    const bool noAnswer = !result && (code == CODE_CANCELLED || code == CODE_CONNECTION_LOST ||
                                      code == CODE_FRAME_REFUSED || code == CODE_NO_VALID_ANSWER);
    if (isType2() && !noAnswer) {
      if (count <= 0) {
        setCode(codes::NO_FIELDS);
      } else if (CommandValue != DIAGNOSTIC_COMMAND || hasTab) {
        int deviceCode = 0;
        setCode(parseInt32(answerFieldsList[0], deviceCode) ? deviceCode : codes::FIELD0_NOT_INT);
      }
    }
  }
  return result;
}

bool TFiscalDevice::exchange(uint16_t command, const std::string& bytes, std::string& outputText) {
  outputText.clear();
  bool result = false;
  try {
    fAnsiTextInput.clear();
    result = commandLoop(command, bytes);
  } catch (const std::exception& e) {
    fInternalError += e.what();
    fInternalError += '\n';
    reportCaught("TFiscalDevice.exchange", e);
    setCode(codes::GENERAL);
    result = false;
  } catch (...) {
    fInternalError += "TFiscalDevice.exchange: unknown exception\n";
    reportCaught("TFiscalDevice.exchange");
    setCode(codes::GENERAL);
    result = false;
  }
  try {
    outputText = fromDeviceBytes(fAnsiTextOutput);
  } catch (const std::exception& e) {
    fInternalError += std::string("TFiscalDevice.exchange: ") + e.what() + '\n';
    reportCaught("TFiscalDevice.exchange", e);
    outputText.clear();
  }
  fTextOutput = outputText;
  return result;
}

bool TFiscalDevice::commandLoop(uint16_t command, const std::string& data) {
  setCode(codes::GENERAL);
  TFDConnector* conn = activeConnector();
  TSniffer* trace = conn ? conn->Sniffer() : nullptr;
  const bool active = trace && trace->Active;

  if (active) {
    trace->setColorsFromMyColors();
    trace->snifferUIDRec.Value += 1;
  }
  if (trace) {
    for (TSnifferValueRec* v : {&trace->values.cHEX, &trace->values.cText}) {
      v->toDeviceValue.clear();
      v->fromDeviceValue.clear();
    }
    trace->full = TSnifferFull{};
    for (TPacketValueRec* p : {&trace->hexPacket.header, &trace->hexPacket.data, &trace->hexPacket.footer}) {
      p->toDeviceValue.clear();
      p->fromDevceValue.clear();
    }
  }
  fAnsiTextInput.clear();
  fAnsiTextOutput.clear();

  buildRequest(command, data, trace, active);
  fCommand = command;
  fFailure = LinkFailure::None;
  int sentCount = 0, refusedCount = 0;

  bool result = false;
  try {
    for (int attempt = 1; attempt <= repeatCount; ++attempt) {
      if (fCancel.load()) {
        fFailure = LinkFailure::Cancelled;
        break;
      }
      // Prepare the transport.
      if (!conn) continue;
      bool prepared = false;
      try {
        // One look tells at once whether the link is up, drops what an earlier answer
        // left and finds a link the peer has ended, before anything is written.
        prepared = conn->lookBeforeWrite();
        if (!prepared) {
          if (ocoecModeOn) {
            // The opening may run the diagnostic read, a command of its own.
            ++fOpeningsInCommand;
            struct Done {
              int& n;
              ~Done() { --n; }
            } done{fOpeningsInCommand};
            conn->openConnection();
            prepared = lastCode() == 0 && conn->lookBeforeWrite();
          } else if (!conn->linkLost() && !conn->Active()) {
            setCode(codes::NOT_OPEN);
          }
        }
      } catch (const std::exception& e) {
        fInternalError += std::string("TFiscalDevice: preparing the transport: ") + e.what() + '\n';
        setCode(codes::GENERAL);
      }
      // A link that has ended (before, or found so while clearing) is not written to;
      // with open-on-demand the next attempt opens it again.
      if (!prepared && conn->linkLost() && !conn->Active() && !ocoecModeOn) {
        fFailure = LinkFailure::Lost;
        break;
      }
      if (!prepared) continue;

      clear_StatusBits();
      if (active) trace->markOutcome(true);

      // Send.
      if (active) traceSentRows(trace, attempt, command);
      bool sent = false;
      try {
        conn->writeBuffer(fMessage->data(), fMessage_Position);
        setCode(codes::OK);
        sent = true;
      } catch (const std::exception& e) {
        fInternalError += std::string("TFiscalDevice: writing the frame: ") + e.what() + '\n';
        setCode(codes::GENERAL);
      }
      if (active) {
        trace->markOutcome(sent);
        fireCommunication(OnSendCommand, trace, sent, toDevice);
      }
      if (conn->linkLost()) {
        fFailure = LinkFailure::Lost;
        break;
      }
      if (!sent) continue;
      ++sentCount;
      result = false;

      // Receive.
      if (trace) {
        TSnifferValues& v = trace->values;
        for (TSnifferValueRec* r : {&v.cRepeatIndex, &v.cCommand, &v.cDateTime, &v.cHEX, &v.cText})
          r->fromDeviceValue.clear();
        // Each attempt's answer is traced on its own.
        for (TPacketValueRec* p : {&trace->hexPacket.header, &trace->hexPacket.data, &trace->hexPacket.footer})
          p->fromDevceValue.clear();
      }
      if (active) traceReceivedRows(trace, attempt, command, true);
      const bool received = readAnswer(command, conn, trace, active);
      if (active) {
        traceReceivedRows(trace, attempt, command, false);
        trace->markOutcome(received);
      }
      if (!received && fNakReceived) ++refusedCount;
      noteLateAnswers(received);

      bool ok = false;
      if (isType2()) {
        calculate_StatusBits();
        bool statusError = false;
        if (command != FIRST_COMMAND && lastCode() == 0) statusError = check_DeviceForStatusErrors();
        ok = received && !statusError;
      } else if (received) {
        calculate_StatusBits();
        ok = command == FIRST_COMMAND || lastCode() != 0 || !check_DeviceForStatusErrors();
      }

      if (ok) {
        if (active) trace->markOutcome(true);
        if (active) fireCommunication(OnReceiveAnswer, trace, true, fromDevice);
        setCode(codes::OK);
        result = true;
        break;
      }
      if (active) fireCommunication(OnReceiveAnswer, trace, false, fromDevice);
      // Neither a cancelled wait nor a link that has ended is tried again.
      if (lastCode() == CODE_CANCELLED) {
        fFailure = LinkFailure::Cancelled;
        break;
      }
      if (lastCode() == CODE_CONNECTION_LOST) {
        fFailure = LinkFailure::Lost;
        break;
      }
    }
  } catch (const std::exception& e) {
    // Something past the transports' own codes failed: the command fails with -1.
    fInternalError += e.what();
    fInternalError += '\n';
    reportCaught("TFiscalDevice.commandLoop", e);
    result = false;
    setCode(codes::GENERAL);
  } catch (...) {
    fInternalError += "TFiscalDevice.commandLoop: unknown exception\n";
    reportCaught("TFiscalDevice.commandLoop");
    result = false;
    setCode(codes::GENERAL);
  }

  // Leave the transport clean; keep the loop's code unless the cleanup itself failed.
  // After an answer that was read whole, the next command's look drops whatever follows
  // it, so only a failed command (or one that closes the link) clears here.
  const int remembered = lastCode();
  try {
    bool cleanupOk = true;
    if (result && !ocoecModeOn) {
      // nothing to clear: see above
    } else if (conn && conn->Active()) {
      cleanupOk = conn->clearIOBuffers() == 0;
      if (ocoecModeOn) {
        const int closed = conn->closeConnection();
        setCode(closed);
        cleanupOk = closed == 0;
      }
    } else {
      setCode(codes::OK);
    }
    if (cleanupOk && remembered != 0) setCode(remembered);
  } catch (const std::exception& e) {
    fInternalError += std::string("TFiscalDevice: cleaning up the transport: ") + e.what() + '\n';
    setCode(codes::GENERAL);
  }

  // A failure never ends with code 0: say what the attempts met.
  if (!result) {
    if (fFailure == LinkFailure::Cancelled)
      setCode(CODE_CANCELLED);
    else if (fFailure == LinkFailure::Lost)
      setLost(*conn);
    else if (lastCode() == 0 && sentCount > 0)
      setCode(refusedCount == sentCount ? CODE_FRAME_REFUSED : CODE_NO_VALID_ANSWER);
  }
  return result;
}

void TFiscalDevice::noteLateAnswers(bool received) {
  const uint8_t seq = (*fMessage)[isType2() ? 5 : 2];
  if (received) {
    // The device answers in order: every answer to an earlier frame has come by now.
    // Only this frame's own, when an earlier attempt of it was given up, may follow.
    const bool own = fLateSequences.test(seq);
    fLateSequences.reset();
    if (own) fLateSequences.set(seq);
  } else if (lastCode() == codes::TIMEOUT || lastCode() == CODE_CANCELLED) {
    fLateSequences.set(seq);
  }
}

void TFiscalDevice::buildRequest(uint16_t command, const std::string& data, TSniffer* trace, bool active) {
  using namespace frame;
  std::memset(fMessage->data(), 0, fMessage_Position);
  fMessage_Position = 0;
  uint8_t* m = fMessage->data();
  const bool type2 = isType2();
  // customCommand refused longer data.
  const uint32_t n = static_cast<uint32_t>(std::min<size_t>(data.size(), maxDataBytes()));

  m[fMessage_Position++] = SOH;
  if (type2) {
    putNibbles(m + fMessage_Position, static_cast<uint16_t>(n + REQ_LEN_OFFSET_TYPE2));
    fMessage_Position += 4;
  } else {
    m[fMessage_Position++] = static_cast<uint8_t>(n + REQ_LEN_OFFSET_TYPE1);
  }
  m[fMessage_Position++] = fSeqNumber;
  fSeqNumber = nextSequence(fSeqNumber, type2);
  if (type2) {
    putNibbles(m + fMessage_Position, command);
    fMessage_Position += 4;
  } else {
    m[fMessage_Position++] = static_cast<uint8_t>(command & 0xFF);
  }
  const uint32_t headerEnd = fMessage_Position;
  std::memcpy(m + fMessage_Position, data.data(), n);
  fMessage_Position += n;
  const uint32_t dataEnd = fMessage_Position;
  m[fMessage_Position++] = POSTAMBLE;
  putNibbles(m + fMessage_Position, checksum(m + 1, fMessage_Position - 1));
  fMessage_Position += 4;
  m[fMessage_Position++] = TERMINATOR;

  if (trace) {
    for (uint32_t i = 0; i < fMessage_Position; ++i) {
      TPacketValueRec& part = i < headerEnd ? trace->hexPacket.header
                              : i < dataEnd ? trace->hexPacket.data
                                            : trace->hexPacket.footer;
      fMisc->putByteToHEX(m[i], part.toDeviceValue);
    }
  }
  if (active) fAnsiTextInput.assign(data, 0, n);
}

// Most bytes already wait in the transport's buffer: no clock and no system call, and
// a body small enough to be inlined into the answer loop.
inline bool TFiscalDevice::readOneByte(uint8_t& b, TFDConnector* conn, TSniffer* trace, bool active) {
  if (conn && conn->takeBufferedByte(b)) {
    traceAnswerByte(b, trace, active);
    return true;
  }
  return waitForByte(b, conn, trace, active);
}

bool TFiscalDevice::waitForByte(uint8_t& b, TFDConnector* conn, TSniffer* trace, bool active) {
  const uint32_t start = tickMs();
  fHardExitByTime = false;
  for (;;) {
    if (!conn) {
      setCode(codes::NO_TRANSPORT);
      return false;
    }
    bool got = false;
    try {
      uint32_t count = 0;
      got = conn->readByte(b, count) && count == 1;
    } catch (const EConnectorError&) {
      got = false;  // the transport's code and trace line tell why; the limit below decides
    }
    if (got) {
      traceAnswerByte(b, trace, active);
      // Bytes that keep coming (a long answer, SYN after SYN) let the hook run as well.
      if (idleWhileWaiting(*conn, conn->exitByTime ? conn->exitByTimeValue : 0)) {
        setCode(CODE_CANCELLED);
        return false;
      }
      return true;
    }
    if (fCancel.load()) {
      setCode(CODE_CANCELLED);
      return false;
    }
    // The limit first: a device that stays silent past it and then closes the connection
    // has timed out; the loss is still remembered for the next command.
    const uint32_t elapsed = tickMs() - start;
    if (conn->exitByTime && elapsed >= conn->exitByTimeValue) {
      fHardExitByTime = true;
      return false;
    }
    if (conn->linkLost()) {
      setLost(*conn);
      return false;
    }
    // A closed link answers at once: do not spin while the limit runs.
    if (!conn->Active()) {
      idleWhileWaiting(*conn, conn->exitByTime ? conn->exitByTimeValue : 0);  // a cancel is seen after the next read
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
}

void TFiscalDevice::traceAnswerByte(uint8_t b, TSniffer* trace, bool active) {
  // SYN and NAK received while waiting never show in the header.
  if (!active || (fCursor == sbcHeader && (b == frame::NAK || b == frame::SYN))) return;
  TPacketValueRec& part = fCursor == sbcHeader ? trace->hexPacket.header
                          : fCursor == sbcData ? trace->hexPacket.data
                                               : trace->hexPacket.footer;
  fMisc->putByteToHEX(b, part.fromDevceValue);
}

void TFiscalDevice::onByteReadFailed(TFDConnector* conn) {
  if (!fHardExitByTime) return;
  try {
    if (conn) conn->clearIOBuffers();
  } catch (const std::exception& e) {
    // The timeout below is what the caller learns; the trace keeps why clearing failed.
    conn->Sniffer()->logThis(std::string("TFiscalDevice: clearing after a timeout: ") + e.what(), true);
  }
  setCode(codes::TIMEOUT);
}

bool TFiscalDevice::readAnswer(uint16_t command, TFDConnector* conn, TSniffer* trace, bool active) {
  using namespace frame;
  std::memset(fAnswer->data(), 0, fAnswer_Position);
  fAnswer_Position = 0;
  fStatus.fill(0);
  TStatusBytes& sb = fDD->LowLevel().statusBytes();
  for (int i = 0; i < 8; ++i) sb.Byte(i).Value = 0;
  fCalculated_BCC = 0;
  setCode(codes::OK);
  fAnsiTextOutput.clear();
  fCursor = sbcHeader;
  if (trace) trace->byteCursor = sbcHeader;
  fNakReceived = false;

  const bool type2 = isType2();
  uint8_t b = 0;
  auto next = [&](bool sum) -> bool {
    if (!readOneByte(b, conn, trace, active)) {
      onByteReadFailed(conn);
      return false;
    }
    if (sum) fCalculated_BCC = static_cast<uint16_t>(fCalculated_BCC + b);
    return true;
  };
  auto nibbleField = [&](uint8_t out[4]) -> bool {
    for (int i = 0; i < 4; ++i) {
      if (!next(true)) return false;
      out[i] = b;
    }
    return true;
  };

  uint8_t expectedSeq = static_cast<uint8_t>(fSeqNumber - 1);
  if (fSeqNumber - 1 < SEQ_FIRST) expectedSeq = type2 ? SEQ_LAST_TYPE2 : SEQ_LAST_TYPE1;
  uint8_t field[4];
  uint32_t n;
  uint32_t noise = 0;
  for (;;) {
    // Wait for SOH.
    for (;;) {
      if (!next(false)) return false;
      if (b == SOH) break;
      if (b == SYN) {
        if (OnWait) OnWait(*this, SYN);
        continue;
      }
      if (b == NAK) {
        fNakReceived = true;
        if (OnWait) OnWait(*this, NAK);
        return false;
      }
      if (++noise >= MAX_NOISE_BYTES) {
        setCode(codes::TOO_MANY_BYTES);
        return false;
      }
    }

    if (type2) {
      if (!nibbleField(field)) return false;
      fWord_LEN = getNibbles(field);
      n = static_cast<uint16_t>(fWord_LEN - ANS_LEN_OFFSET_TYPE2);
    } else {
      if (!next(true)) return false;
      fByte_LEN = b;
      n = static_cast<uint8_t>(fByte_LEN - ANS_LEN_OFFSET_TYPE1);
    }

    if (!next(true)) return false;
    if (b == expectedSeq) break;
    // The answer to a frame whose wait ended (cancelled, timed out) may come this late:
    // it is read to its end and dropped, and the wait for this frame's answer goes on.
    // Any other sequence number fails the read.
    if (!fLateSequences.test(b)) return false;
    const uint32_t rest = (type2 ? 4u : 1u) + n + 1u + (type2 ? STATUS_BYTES_TYPE2 : STATUS_BYTES_TYPE1) + 1u + 4u + 1u;
    for (uint32_t i = 0; i < rest; ++i)
      if (!next(false)) return false;
    fCalculated_BCC = 0;
    if (trace)
      for (TPacketValueRec* p : {&trace->hexPacket.header, &trace->hexPacket.data, &trace->hexPacket.footer})
        p->fromDevceValue.clear();
  }

  if (type2) {
    if (!nibbleField(field)) return false;
    if (!isNibbleField(field) || getNibbles(field) != command) return false;
  } else {
    if (!next(true)) return false;
    if (b != static_cast<uint8_t>(command & 0xFF)) return false;
  }

  fCursor = sbcData;
  uint8_t* a = fAnswer->data();
  for (uint32_t i = 0; i < n;) {
    // Data bytes the transport already holds are taken in one piece: the same bytes,
    // trace and checksum as one at a time, without a call per byte.
    if (const uint32_t got = conn ? conn->takeBufferedBytes(a + fAnswer_Position, n - i) : 0) {
      for (uint32_t k = 0; k < got; ++k) {
        const uint8_t c = a[fAnswer_Position + k];
        fCalculated_BCC = static_cast<uint16_t>(fCalculated_BCC + c);
        traceAnswerByte(c, trace, active);
      }
      fAnswer_Position += got;
      i += got;
      continue;
    }
    if (!next(true)) return false;
    a[fAnswer_Position++] = b;
    ++i;
  }

  fCursor = sbcFooter;
  if (trace) trace->byteCursor = sbcFooter;
  if (!next(true) || b != SEPARATOR) return false;
  const size_t statusCount = type2 ? STATUS_BYTES_TYPE2 : STATUS_BYTES_TYPE1;
  for (size_t i = 0; i < statusCount; ++i) {
    if (!next(true)) return false;
    fStatus[i] = b;
  }
  if (!next(true) || b != POSTAMBLE) return false;
  const uint16_t expectedBCC = fCalculated_BCC;
  for (int i = 0; i < 4; ++i) {
    if (!next(false)) return false;
    field[i] = b;
  }
  if (!isNibbleField(field) || getNibbles(field) != expectedBCC) return false;
  if (!next(false) || b != TERMINATOR) return false;

  if (n > 0) fAnsiTextOutput.append(reinterpret_cast<const char*>(a), n);
  return true;
}

// ---------------------------------------------------------------------------
// Status bits
// ---------------------------------------------------------------------------

// The three passes below run on every answer: they touch the table's bits directly
// (mirror included) and look at the profile's flags only for bits that are set.

void TFiscalDevice::clear_StatusBits() {
  TStatusBytes& sb = fDD->LowLevel().statusBytes();
  TStatuses& table = sb.statuses().statuses;
  const int count = sb.ByteCountInUse();
  for (int i = 0; i < count; ++i)
    for (int bit = 0; bit < 8; ++bit) {
      table[i][bit].currentState = false;
      sb.setMirrorState(i, bit, false);
    }
}

void TFiscalDevice::calculate_StatusBits() {
  try {
    TStatusBytes& sb = fDD->LowLevel().statusBytes();
    TStatuses& table = sb.statuses().statuses;
    const int count = sb.ByteCountInUse();
    for (int i = 0; i < count; ++i) {
      sb.Byte(i).Value = fStatus[i];
      for (unsigned bits = fStatus[i]; bits != 0; bits &= bits - 1) {
        const int bit = std::countr_zero(bits);
        table[i][bit].currentState = true;
        sb.setMirrorState(i, bit, true);
      }
    }
  } catch (const std::exception& e) {
    setCode(codes::GENERAL);
    if (TFDConnector* c = activeConnector()) c->Sniffer()->logThis(std::string("TFiscalDevice.calculate_StatusBits: ") + e.what(), true);
  }
  if (OnStatusChange) OnStatusChange(*this);
}

bool TFiscalDevice::check_DeviceForStatusErrors() {
  try {
    setCode(codes::OK);
    errorInStatuses = false;
    TLowLevel& ll = fDD->LowLevel();
    const TStatuses& table = ll.statusBytes().statuses().statuses;
    const TErrorChecking profile = ll.errorCheckType();
    const int count = ll.statusBytes().ByteCountInUse();
    for (int i = 0; i < count; ++i) {
      for (int bit = 7; bit >= 0; --bit) {
        if (table[i][bit].currentState && ll.get_sBytesCheckingFor(i, bit, profile)) {
          if (!errorInStatuses) {
            setCode(codes::STATUS_ERROR);
            fInternalError = ll.get_sBytesDescription(i, bit);
          } else {
            fInternalError += "; " + ll.get_sBytesDescription(i, bit);
          }
          errorInStatuses = true;
        }
      }
    }
  } catch (...) {
    reportCaught("TFiscalDevice.check_DeviceForStatusErrors");
    setCode(codes::GENERAL);
  }
  return lastCode() != 0;
}

// ---------------------------------------------------------------------------
// Trace
// ---------------------------------------------------------------------------

void TFiscalDevice::traceSentRows(TSniffer* s, int attempt, uint16_t command) {
  TSnifferValues& v = s->values;
  v.cRepeatIndex.toDeviceValue = std::to_string(attempt);
  v.cCommand.toDeviceValue = std::to_string(command & 0xFF);
  v.cDateTime.toDeviceValue = snifferTimeStamp();
  // No password reaches a trace, its events or its log file.
  v.cText.toDeviceValue = fromDeviceBytes(maskedPasswords(command, fAnsiTextInput));
  maskPasswordsInHex(command, fAnsiTextInput, s->hexPacket.data.toDeviceValue);
  maskPasswordsInHex(command, fAnsiTextInput, v.cHEX.toDeviceValue);  // earlier attempts' frames
  s->calculate_Headers(toDevice);
  if (s->calc_FullRows) {
    s->calculate_FullRows(toDevice);
    if (s->saveToFile_isOn()) {
      s->logRow(s->full.text_ToDeviceRow);
      s->logRow(s->full.hex_ToDeviceRow);
    }
  }
}

void TFiscalDevice::traceReceivedRows(TSniffer* s, int attempt, uint16_t command, bool prepare) {
  TSnifferValues& v = s->values;
  if (prepare) {
    v.cRepeatIndex.fromDeviceValue = std::to_string(attempt);
    v.cCommand.fromDeviceValue = std::to_string(command & 0xFF);
    v.cDateTime.fromDeviceValue = snifferTimeStamp();
    return;
  }
  v.cText.fromDeviceValue = fromDeviceBytes(fAnsiTextOutput);
  // An answer that holds a password (a read of "OperPasw") is masked as kestrel's trace
  // masks it: its data, the attempt's hex row and its text.
  if (answerHoldsPassword(command, fAnsiTextInput)) {
    std::string& data = s->hexPacket.data.fromDevceValue;
    const std::string masked = maskedAnswerHex(data);
    std::string& row = v.cHEX.fromDeviceValue;
    if (!data.empty())
      for (size_t at = row.find(data); at != std::string::npos; at = row.find(data, at + masked.size()))
        row.replace(at, data.size(), masked);
    data = masked;
    v.cText.fromDeviceValue = fromDeviceBytes(maskedAnswer(fAnsiTextOutput));
  }
  if (s->calc_FullRows) {
    s->calculate_Headers(fromDevice);
    s->calculate_FullRows(fromDevice);
    if (s->saveToFile_isOn()) {
      s->logRow(s->full.text_FromDeviceRow);
      s->logRow(s->full.hex_FromDeviceRow);
    }
  }
}

void TFiscalDevice::fireCommunication(const TCommunicationEvent& handler, TSniffer* s, bool success,
                                      TDataDirection dir) {
  if (!handler) return;
  TSnifferValues& v = s->values;
  TCommunicationEventArgs args;
  args.success = success;
  args.ID = s->snifferUIDRec.Value;
  if (dir == toDevice) {
    args.repeatIndex = v.cRepeatIndex.toDeviceValue;
    args.hexPacketHeader = s->hexPacket.header.toDeviceValue;
    args.hexPacketData = s->hexPacket.data.toDeviceValue;
    args.hexPacketFooter = s->hexPacket.footer.toDeviceValue;
    args.textValue = v.cText.toDeviceValue;
    args.dateTimeValue = v.cDateTime.toDeviceValue;
    args.command = v.cCommand.toDeviceValue;
  } else {
    v.cDateTime.fromDeviceValue = snifferTimeStamp();
    args.repeatIndex = v.cRepeatIndex.fromDeviceValue;
    args.hexPacketHeader = s->hexPacket.header.fromDevceValue;
    args.hexPacketData = s->hexPacket.data.fromDevceValue;
    args.hexPacketFooter = s->hexPacket.footer.fromDevceValue;
    args.textValue = v.cText.fromDeviceValue;
    args.dateTimeValue = v.cDateTime.fromDeviceValue;
    args.command = v.cCommand.fromDeviceValue;
  }
  handler(*this, args);
}

}  // namespace kestrel
