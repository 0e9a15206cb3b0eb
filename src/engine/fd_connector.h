#pragma once
// What the engine needs of a transport: open, close, clear, write, read one byte,
// the per-byte time limit and the trace. The serial and TCP/IP transports derive from it.
#include <array>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "engine/sniffer.h"

namespace kestrel {

class TFiscalDevice;
class TErrContainer;
class TFDMisc;

// Raised by a transport that ends with a non-zero code while RaiseMode is on.
class EConnectorError : public std::runtime_error {
 public:
  EConnectorError(const std::string& message, int code) : std::runtime_error(message), fCode(code) {}
  int code() const { return fCode; }

 private:
  int fCode;
};

// The end of lastOpenError when the link opened but the device gave no answer to the
// diagnostic read (a wrong line speed, port or cable, a device switched off).
inline constexpr const char* DIAGNOSTIC_UNANSWERED = "the device does not answer the diagnostic command";

class TFDConnector {
 public:
  TFDConnector(TFiscalDevice* owner, uint32_t defaultExitByTimeValue);
  virtual ~TFDConnector();
  TFDConnector(const TFDConnector&) = delete;
  TFDConnector& operator=(const TFDConnector&) = delete;

  virtual bool Active() const = 0;
  // The port or address for messages and the waiting hook: "127.0.0.1:4999", "/dev/ttyS0".
  virtual std::string target() const = 0;
  // True once the transport saw the link end: end of file, a reset, a hang-up or an I/O
  // error. The descriptor is closed then; the next successful open clears the flag.
  bool linkLost() const { return fLinkLost; }
  virtual int openConnection() = 0;
  virtual int closeConnection() = 0;
  virtual int clearIOBuffers() = 0;
  virtual uint32_t writeBuffer(const uint8_t* buffer, uint32_t buffLength) = 0;
  // The engine's look before it writes a frame, one system call on a quiet link: bytes
  // an earlier answer left are dropped (they never count as the next one's), and a link
  // the peer has ended is found (linkLost) before anything is written. True (code 0)
  // when the frame may be written now; false when the transport is not open (any more)
  // or clearing failed. Replaces Active() followed by clearIOBuffers().
  virtual bool lookBeforeWrite() { return Active() && clearIOBuffers() == 0; }
  // One byte for the engine; bytesCount receives 0 or 1. Waits at most the transport's
  // own read timeout.
  virtual bool readByte(uint8_t& b, uint32_t& bytesCount) = 0;
  // The same read returning the byte (0 when none came).
  uint8_t readByte();
  // Writes one byte; true when it went out.
  virtual bool writeByte(uint8_t byteValue) = 0;
  // Reads exactly buffLength bytes, each wait bounded by the transport's read limit;
  // returns the number read (code 0 when all came, else -10).
  virtual uint32_t readBuffer(uint8_t* buffer, uint32_t buffLength) = 0;
  // Why the last openConnection failed ("" after a successful one), for the user.
  virtual const std::string& lastOpenError() const = 0;

  bool exitByTime = true;
  uint32_t exitByTimeValue;
  TSniffer* Sniffer() { return fSniffer.get(); }
  const TSniffer* Sniffer() const { return fSniffer.get(); }

  TFiscalDevice* owner() const { return fOwner; }

  // Hands out a byte that an earlier system call already brought in, with the same
  // trace and code as readByte; false when none is waiting. Costs no system call.
  bool takeBufferedByte(uint8_t& b) {
    if (!hasInput()) return false;
    uint32_t count = 0;
    return deliverBuffered(b, count);
  }
  // Takes up to `count` such bytes at once, with the trace and code of as many readByte
  // calls; 0 when none is waiting.
  uint32_t takeBufferedBytes(uint8_t* target, uint32_t count) {
    const uint32_t n = hasInput() ? takeInput(target, count) : 0;
    if (n == 0) return 0;
    if (fSniffer->Active) traceHex(target, n, fromDevice);
    if (lastCode() != 0) setCode(0);
    return n;
  }

 protected:
  TErrContainer* errContainer() const;
  TFDMisc* misc() const;
  // Writes `code` into the error container (when there is one).
  void setCode(int code) const;
  int lastCode() const;
  // With RaiseMode on and a non-zero last code: raise EConnectorError with the message.
  void raiseIfNeeded() const;
  // The container's message text as one line of the trace's log file.
  void traceLastMessage(const std::string& where) const;
  // Runs the diagnostic read when the description asks for it after opening.
  bool wantsDiagnosticRead() const;
  bool runDiagnosticRead() const;
  // After a failed diagnostic read (or a cancelled pause before it): sets the code that
  // says why (cancelled, connection lost, else -3), puts the cause into `cause` for
  // lastOpenError and returns the code.
  int diagnosticFailure(std::string& cause) const;
  // Shows a modal message through the engine's messageBox (nothing without an owner).
  void showMessage(const std::string& text) const;
  // -33017 (no error container; message box) or -33016 (no helper component; code set,
  // message box when `showMessages`), else 0.
  int missingComponent(bool showMessages) const;
  // Ends an operation with `code`: a trace line naming `where` (none for ""), then the
  // raise of RaiseMode.
  int failWith(int code, const std::string& where) const;
  // Ends a read that got `got` of `wanted` bytes: 0 and the trace when all came, else
  // -10 (raised with RaiseMode). Returns `got`.
  uint32_t finishRead(const uint8_t* buffer, uint32_t got, uint32_t wanted) const;
  // Appends "XX " per byte to the trace's hex value of `direction` while it is Active.
  void traceHex(const uint8_t* bytes, uint32_t count, TDataDirection direction) const;

  // Both transports read everything that is waiting with one system call into this
  // buffer and hand it out byte by byte.
  static constexpr uint32_t kInputSize = 4096;
  bool hasInput() const { return fInPos < fInLen; }
  void dropInput() { fInPos = fInLen = 0; }
  // Copies up to `count` buffered bytes to `target`; returns how many.
  uint32_t takeInput(uint8_t* target, uint32_t count);
  // The next buffered byte for readByte: traced, and the last code back to 0. Inline:
  // the engine takes every answer byte through it.
  bool deliverBuffered(uint8_t& b, uint32_t& bytesCount) {
    b = fInput[fInPos++];
    bytesCount = 1;
    if (fSniffer->Active) traceHex(&b, 1, fromDevice);
    // Only a change of the code costs a message lookup; the usual byte finds 0 already.
    if (lastCode() != 0) setCode(0);
    return true;
  }
  // Monotonic milliseconds.
  static int64_t nowMs();
  // A deadline `timeoutMs` from now; -1 (no limit) for UINT32_MAX.
  static int64_t deadlineIn(uint64_t timeoutMs);
  // What waitFor returns when the user cancelled the wait.
  static constexpr int kWaitCancelled = -2;
  // poll() for `events` until `deadline` (-1: no limit), in short slices so that the
  // engine's idle hook runs meanwhile; `limitMs` is the limit it reports. Returns revents,
  // 0 when the time ran out, -1 on a poll error, kWaitCancelled after cancelWait.
  int waitFor(std::intptr_t fd, short events, int64_t deadline, uint32_t limitMs) const;
  // Runs the engine's idle hook when its slice is due; true once the wait is cancelled.
  bool idleCancelled(uint32_t limitMs) const;
  // Sleeps `ms` in the same slices; false when the wait was cancelled.
  bool pauseFor(uint32_t ms, uint32_t limitMs) const;
  // One short pause of `us` microseconds after the idle hook; false when cancelled.
  bool pauseForMicros(int64_t us, uint32_t limitMs) const;
  // True when the user cancelled the engine's wait.
  bool waitCancelled() const;
  // The limit a read reports to the idle hook: the engine's per-byte limit.
  uint32_t readLimitMs() const { return exitByTime ? exitByTimeValue : 0; }
  // An opening is an engine operation of its own: it may be cancelled and may run the
  // diagnostic read. Held for the whole openConnection.
  class OpeningScope {
   public:
    explicit OpeningScope(const TFDConnector& c);
    ~OpeningScope();
    OpeningScope(const OpeningScope&) = delete;
    OpeningScope& operator=(const OpeningScope&) = delete;

   private:
    TFiscalDevice* fEngine;
  };
  void markLinkLost() const { fLinkLost = true; }
  void clearLinkLost() const { fLinkLost = false; }
  std::array<uint8_t, kInputSize> fInput{};
  uint32_t fInPos = 0, fInLen = 0;
  mutable bool fLinkLost = false;

  TFiscalDevice* fOwner;
  std::unique_ptr<TSniffer> fSniffer;
};

}  // namespace kestrel
