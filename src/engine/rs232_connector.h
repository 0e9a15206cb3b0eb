#pragma once
// The serial transport. On POSIX a terminal device (termios): port number n is the
// device /dev/ttyS<n-1>, opened exclusively (TIOCEXCL and an flock), reads bounded by
// `poll`. On Windows the device \\.\COM<n> (DCB, COMMTIMEOUTS, PurgeComm,
// EscapeCommFunction), opened without sharing. `portName` (any device path, e.g.
// /dev/ttyUSB0, a pseudo-terminal, \\.\COM12) is used instead when it is set. All bytes
// that are waiting are taken with one read into the transport's own buffer.
#include <cstdint>
#include <string>

#include "engine/fd_connector.h"

struct termios;

namespace kestrel {

// Read and write timeouts in milliseconds, with the meaning the names give:
// a read of n bytes ends after ReadTotalTimeoutMultiplier * n + ReadTotalTimeoutConstant
// at the latest, and after ReadIntervalTimeout of silence once a byte has come
// (0 = not used). When both total values are 0 only the interval applies; an interval
// of MAXDWORD (0xFFFFFFFF) with both totals 0 returns at once with what is there.
// A write of n bytes may take WriteTotalTimeoutMultiplier * n + WriteTotalTimeoutConstant
// (both 0 = no limit).
struct TCommTimeouts {
  uint32_t ReadIntervalTimeout = 3000;
  uint32_t ReadTotalTimeoutMultiplier = 0;
  uint32_t ReadTotalTimeoutConstant = 3200;
  uint32_t WriteTotalTimeoutMultiplier = 3000;
  uint32_t WriteTotalTimeoutConstant = 3000;
};

class TRS232Connector : public TFDConnector {
 public:
  explicit TRS232Connector(TFiscalDevice* owner);
  ~TRS232Connector() override;

  // --- settings (take effect at the next openConnection) ---
  int32_t port = 1;      // n opens /dev/ttyS<n-1> unless portName is set
  std::string portName;  // a device path; wins over `port` when not empty
  int32_t baudRate = 115200;
  uint8_t byteSize = 8;  // 5..8
  uint8_t parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  uint8_t stopBits = 0;  // 0 one, 1 one and a half (two on POSIX), 2 two
  bool setDCBInOpenMethod = true;
  bool setDTRToFalseInOpenComPort = false;
  bool setRTSToFalseInOpenComPort = false;
  // Stored timeouts; applied at the next open or by set_TimeoutValues.
  TCommTimeouts commTimeouts;

  // The device path that `port` and `portName` select.
  std::string devicePath() const;
  // Puts the line settings onto a terminal's attributes: raw binary bytes, parity
  // generated but not checked, no flow control of any kind. False (tio half changed)
  // for settings a terminal cannot take.
  bool toTermios(termios& tio) const;

  // --- state ---
  bool Active() const override { return fHandle >= 0; }
  std::string target() const override { return devicePath(); }
  // The descriptor (POSIX) or HANDLE (Windows) of the open port; -1 while closed.
  std::intptr_t handle() const { return fHandle; }
  bool dtr_State() const { return fDTRState; }
  bool rts_State() const { return fRTSState; }
  // Why the last openConnection failed ("" after a successful one), for the user.
  const std::string& lastOpenError() const override { return fLastOpenError; }

  // --- operations (0 = success) ---
  int openConnection() override;
  int closeConnection() override;
  int clearIOBuffers() override;
  uint32_t writeBuffer(const uint8_t* buffer, uint32_t buffLength) override;
  bool writeByte(uint8_t byteValue) override;
  bool readByte(uint8_t& b, uint32_t& bytesCount) override;
  using TFDConnector::readByte;
  uint32_t readBuffer(uint8_t* buffer, uint32_t buffLength) override;
  int set_DTRState(bool newStateValue);
  int set_RTSState(bool newStateValue);
  void init_TimeoutValues(uint32_t new_ReadIntervalTimeout, uint32_t new_ReadTotalTimeoutMultiplier,
                          uint32_t new_ReadTotalTimeoutConstant, uint32_t new_WriteTotalTimeoutMultiplier,
                          uint32_t new_WriteTotalTimeoutConstant);
  int set_TimeoutValues(uint32_t new_ReadIntervalTimeout, uint32_t new_ReadTotalTimeoutMultiplier,
                        uint32_t new_ReadTotalTimeoutConstant, uint32_t new_WriteTotalTimeoutMultiplier,
                        uint32_t new_WriteTotalTimeoutConstant);

  // Copies baudRate, port, portName, byteSize, parity, stopBits, exitByTime,
  // exitByTimeValue and the trace's Active switch.
  void assign(const TRS232Connector& source);

 private:
  // Ends an open attempt with -3, keeping `cause` for lastOpenError and the trace.
  int failOpen(const std::string& cause);
  // Why the settings cannot be put on a terminal ("" when they can, or when they are not
  // written at opening and `always` is false).
  std::string settingsProblem(bool always) const;
  void writeSettings();
  void logSettingsFailure(int err);
  // Opens the device and puts its handle into fHandle; 0, else failOpen's code.
  int openPort(const std::string& path);
  // Raises or lowers DTR (else RTS) and keeps its state; a device without modem lines
  // counts as done.
  bool driveLine(bool dtr, bool level);
  int setLineState(bool dtr, bool level, const char* where);
  // The system's text for the last failed call (errno, GetLastError).
  static std::string lastSystemError();
  // Total limit of a read of `count` bytes (UINT32_MAX: none).
  uint64_t readLimit(uint32_t count) const;
  // Reads what is waiting into the input buffer, waiting until `deadline` (-1: no limit).
  // False on silence, a cancelled wait, a hang-up or a failed read (the last two lose
  // the link).
  bool fillInput(int64_t deadline);
  // The other end hung up or the port failed (EIO, a USB adapter pulled out): the port
  // is closed and the link counts as lost.
  void loseLine(const std::string& cause);
  bool closeHandle();
  // Waits until the driver has sent what it holds, at most until `deadline`.
  void drainOutput(int64_t deadline, uint32_t limitMs);

  std::intptr_t fHandle = -1;
  bool fDTRState = false;
  bool fRTSState = false;
  TCommTimeouts fApplied;  // the timeouts in force on the open port
  std::string fLastOpenError;
};

}  // namespace kestrel
