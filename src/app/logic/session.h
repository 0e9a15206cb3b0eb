#pragma once
// One device as the tool works with it: the engine with its error container, helper
// component and KT-33A profile, wired as the window's data module has always wired
// them, and the link to the device opened, identified and closed in one place for the
// window, kestrel, the device search and the tests. A session holds no state that
// another session shares, so a program may keep one per device.
#include <cstdint>
#include <optional>
#include <string>

#include "catalogue/fba_kt_33a.h"
#include "engine/fiscal_device.h"
#include "support/err_container.h"
#include "support/fd_misc.h"

namespace kestrel {

// The engine and the parts it refers to. Declared in this order: the container and the
// helper outlive the engine, the engine outlives the profile that refers to it.
struct TEngineStack {
  enum class Setup {
    Profiled,  // configured by the KT-33A profile, as the product runs it
    Bare,      // the engine as created (protocol_Type1): for tests of the engine itself
  };
  explicit TEngineStack(Setup setup = Setup::Profiled);
  TEngineStack(const TEngineStack&) = delete;
  TEngineStack& operator=(const TEngineStack&) = delete;

  TErrContainer errContainer;
  TFDMisc misc;
  TFiscalDevice fd;
  TFBA_KT_33A profile;
};

// Where the device is and how patiently to talk to it.
struct TLinkDescription {
  bool tcp = false;
  std::string host;  // TCP
  uint16_t tcpPort = 4999;
  std::string serialPath;  // a device path; wins over serialPort when not empty
  int serialPort = 1;      // n opens /dev/ttyS<n-1>
  int baud = 115200;
  // The per-byte limit of the transport (exitByTimeValue). Empty: unchanged.
  std::optional<uint32_t> byteLimitMs;
  // Serial: the total limit of one read (no part per byte). A read waits that long before
  // the engine looks at the clock, so with the same value as byteLimitMs the line is not
  // waited for longer than asked. Empty: unchanged.
  std::optional<uint32_t> readLimitMs;
  // The engine's repeatCount; empty: unchanged.
  std::optional<int> repeat;
  // Opening runs the diagnostic read into the i90 record (getAfterConnect).
  bool diagnosticOnOpen = false;
  // Switches the transport's trace on, so the engine reports every frame.
  bool trace = false;

  // "127.0.0.1:4999", "/dev/ttyUSB0 at 9600 baud".
  std::string label() const;
};

// How an open, identification or close ended.
struct TLinkOutcome {
  int code = 0;          // 0: done
  std::string cause;     // the transport's own reason (lastOpenError), may be empty
  bool raised = false;   // an exception ended it (RaiseMode, or a fault)
  bool connectorError = false;  // that exception was the transport's: `code` is its code
  std::string raisedText;       // the exception's message
  bool active = false;          // the link is up afterwards
  bool refusedByStatus = false; // identify: the answer came but a status bit counts as an error
  std::string model;            // identify: the model name the device gave
  bool modelKnown = false;      // identify: the model is in the model table
  bool unanswered = false;      // open: the link opened, the device did not answer
  bool ok() const { return code == 0 && !raised && !refusedByStatus; }
};

// What to check when the device does not answer on `link`; `search` names the device
// search of the program (the window's "Find device", kestrel's detect).
std::string unansweredHint(const TLinkDescription& link, const std::string& search);

class TDeviceSession : public TEngineStack {
 public:
  explicit TDeviceSession(Setup setup = Setup::Profiled) : TEngineStack(setup) {}

  // Selects the transport, sets it up from `link` and opens it. The error container
  // holds the returned code afterwards; after an exception it stays as the transport
  // left it.
  TLinkOutcome open(const TLinkDescription& link);
  // Command 90. The model name is the diagnostic read's (when opening ran it), else the
  // answer's field 1.
  TLinkOutcome identify();
  // Closes the transport in use; RaiseMode stays as the caller has it.
  TLinkOutcome close();
  // The transport the engine uses now.
  TFDConnector* connector() const { return fd.activeConnector(); }
};

}  // namespace kestrel
