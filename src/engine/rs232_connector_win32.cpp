// The serial transport on Windows: CreateFileW on \\.\COM<n> without sharing, the line
// settings in a DCB, COMMTIMEOUTS that end every read after one idle slice so that the
// engine's idle hook and Cancel keep running, PurgeComm, EscapeCommFunction for DTR/RTS.
#include "engine/rs232_connector.h"

#include "engine/fiscal_device.h"
#include "support/err_container.h"
#include "support/win32_text.h"

#include <algorithm>

namespace kestrel {

namespace {

HANDLE asHandle(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

// The same texts as on POSIX. A COM port that another program holds answers "access
// denied" on Windows: ports have no per-user permissions there.
std::string openFailureText(const std::string& path, DWORD err) {
  switch (err) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_UNIT:
    case ERROR_DEV_NOT_EXIST:
      return path + ": the port does not exist";
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
      return path + ": the port is busy (another program has it open)";
    default:
      return path + ": " + win32ErrorText(err);
  }
}

// One slice of waiting for a byte: ReadFile returns at once with what is there, else
// with the first byte that comes, else after `ms`.
bool setReadSlice(HANDLE h, DWORD ms, uint32_t writeMultiplier, uint32_t writeConstant) {
  COMMTIMEOUTS t{};
  t.ReadIntervalTimeout = MAXDWORD;
  t.ReadTotalTimeoutMultiplier = MAXDWORD;
  t.ReadTotalTimeoutConstant = std::max<DWORD>(ms, 1);
  t.WriteTotalTimeoutMultiplier = writeMultiplier;
  t.WriteTotalTimeoutConstant = writeConstant;
  return ::SetCommTimeouts(h, &t) != 0;
}

}  // namespace

TRS232Connector::~TRS232Connector() { closeHandle(); }

std::string TRS232Connector::settingsProblem(bool always) const {
  if (!setDCBInOpenMethod && !always) return {};
  if (baudRate <= 0) return "line speed " + std::to_string(baudRate) + " bit/s is not supported";
  if (byteSize < 5 || byteSize > 8) return std::to_string(byteSize) + " data bits are not supported (5 to 8)";
  if (parity > 4) return "parity code " + std::to_string(parity) + " is not supported (0 to 4)";
  if (stopBits > 2) return "stop-bit code " + std::to_string(stopBits) + " is not supported (0 to 2)";
  return {};
}

int TRS232Connector::openPort(const std::string& path) {
  // No sharing: a second program that opens the port gets "access denied".
  HANDLE h = ::CreateFileW(widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return failOpen(openFailureText(path, ::GetLastError()));
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!::GetCommState(h, &dcb)) {
    const DWORD err = ::GetLastError();
    ::CloseHandle(h);
    return failOpen(path + ": not a serial port (" + win32ErrorText(err) + ")");
  }
  ::PurgeComm(h, PURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT);
  fHandle = reinterpret_cast<std::intptr_t>(h);
  return 0;
}

std::string TRS232Connector::lastSystemError() { return win32ErrorText(::GetLastError()); }

void TRS232Connector::writeSettings() {
  HANDLE h = asHandle(fHandle);
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!::GetCommState(h, &dcb)) {
    logSettingsFailure(static_cast<int>(::GetLastError()));
    return;
  }
  // Binary, parity generated but not checked, no flow control of any kind; DTR and RTS
  // under no control (low), as on POSIX.
  dcb.BaudRate = static_cast<DWORD>(baudRate);
  dcb.ByteSize = byteSize;
  dcb.Parity = parity;
  dcb.StopBits = stopBits;
  dcb.fBinary = TRUE;
  dcb.fParity = FALSE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fTXContinueOnXoff = TRUE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  dcb.fAbortOnError = FALSE;
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  if (!::SetCommState(h, &dcb)) {
    logSettingsFailure(static_cast<int>(::GetLastError()));
    return;
  }
  fDTRState = false;
  fRTSState = false;
}

bool TRS232Connector::driveLine(bool dtr, bool level) {
  const DWORD function = dtr ? (level ? SETDTR : CLRDTR) : (level ? SETRTS : CLRRTS);
  // A port without modem lines (a pseudo-terminal behind Wine, some virtual ports)
  // refuses the request: that counts as done, as on POSIX.
  if (!::EscapeCommFunction(asHandle(fHandle), function)) {
    const DWORD err = ::GetLastError();
    if (err != ERROR_NOT_SUPPORTED && err != ERROR_INVALID_FUNCTION && err != ERROR_INVALID_PARAMETER) return false;
  }
  (dtr ? fDTRState : fRTSState) = level;
  return true;
}

bool TRS232Connector::closeHandle() {
  if (fHandle < 0) return true;
  const bool ok = ::CloseHandle(asHandle(fHandle)) != 0;
  fHandle = -1;
  dropInput();
  return ok;
}

int TRS232Connector::clearIOBuffers() {
  if (const int missing = missingComponent(true)) return missing;
  if (!Active()) return failWith(codes::NOT_OPEN, "TRS232Connector.clearIOBuffers");
  dropInput();
  if (!::PurgeComm(asHandle(fHandle), PURGE_RXCLEAR | PURGE_TXCLEAR)) {
    const std::string cause = win32ErrorText(::GetLastError());
    loseLine(cause);
    return failWith(codes::IO, "TRS232Connector.clearIOBuffers: " + cause);
  }
  setCode(0);
  return 0;
}

bool TRS232Connector::fillInput(int64_t deadline) {
  HANDLE h = asHandle(fHandle);
  DWORD slice = 0;
  for (;;) {
    if (idleCancelled(readLimitMs())) return false;
    int64_t wait = TFiscalDevice::IDLE_INTERVAL_MS;
    if (deadline >= 0) {
      const int64_t left = deadline - nowMs();
      if (left <= 0) return false;
      wait = std::min<int64_t>(left, wait);
    }
    if (static_cast<DWORD>(wait) != slice) {
      slice = static_cast<DWORD>(wait);
      if (!setReadSlice(h, slice, fApplied.WriteTotalTimeoutMultiplier, fApplied.WriteTotalTimeoutConstant)) {
        loseLine(win32ErrorText(::GetLastError()));
        return false;
      }
    }
    DWORD n = 0;
    if (!::ReadFile(h, fInput.data(), kInputSize, &n, nullptr)) {
      loseLine(win32ErrorText(::GetLastError()));  // the port went away (a USB adapter pulled out)
      return false;
    }
    if (n > 0) {
      fInPos = 0;
      fInLen = n;
      return true;
    }
  }
}

uint32_t TRS232Connector::writeBuffer(const uint8_t* buffer, uint32_t buffLength) {
  if (missingComponent(true)) return 0;
  if (!Active()) {
    failWith(codes::IO, "TRS232Connector.writeBuffer");
    return 0;
  }
  // The write's time limit is the port's own (WriteTotalTimeout*, set with every read
  // slice); a synchronous WriteFile returns when the bytes are with the driver.
  HANDLE h = asHandle(fHandle);
  if (!setReadSlice(h, TFiscalDevice::IDLE_INTERVAL_MS, fApplied.WriteTotalTimeoutMultiplier,
                    fApplied.WriteTotalTimeoutConstant)) {
    const std::string cause = win32ErrorText(::GetLastError());
    loseLine(cause);
    failWith(codes::IO, "TRS232Connector.writeBuffer: " + cause);
    return 0;
  }
  DWORD written = 0;
  const bool ok = ::WriteFile(h, buffer, buffLength, &written, nullptr) != 0;
  if (!ok || written < buffLength) {
    const std::string cause = ok ? std::string("time limit") : win32ErrorText(::GetLastError());
    failWith(codes::IO, "TRS232Connector.writeBuffer: " + std::to_string(written) + " of " +
                            std::to_string(buffLength) + " bytes written (" + cause + ")");
    return written;
  }
  setCode(0);
  traceHex(buffer, written, toDevice);
  return written;
}

}  // namespace kestrel
