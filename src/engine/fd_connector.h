#pragma once
// What the engine needs of a transport: open, close, clear, write, read one byte,
// the per-byte time limit and the trace. The serial and TCP/IP transports derive from it.
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

class TFDConnector {
 public:
  TFDConnector(TFiscalDevice* owner, uint32_t defaultExitByTimeValue);
  virtual ~TFDConnector();
  TFDConnector(const TFDConnector&) = delete;
  TFDConnector& operator=(const TFDConnector&) = delete;

  virtual bool Active() const = 0;
  virtual int openConnection() = 0;
  virtual int closeConnection() = 0;
  virtual int clearIOBuffers() = 0;
  virtual uint32_t writeBuffer(const uint8_t* buffer, uint32_t buffLength) = 0;
  // One byte for the engine; bytesCount receives 0 or 1. Waits at most the transport's
  // own read timeout.
  virtual bool readByte(uint8_t& b, uint32_t& bytesCount) = 0;

  bool exitByTime = true;
  uint32_t exitByTimeValue;
  TSniffer* Sniffer() { return fSniffer.get(); }
  const TSniffer* Sniffer() const { return fSniffer.get(); }

  TFiscalDevice* owner() const { return fOwner; }

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

  TFiscalDevice* fOwner;
  std::unique_ptr<TSniffer> fSniffer;
};

}  // namespace kestrel
