#pragma once
// Finding a device on an unknown port and speed: every serial port of a list at every
// line speed (most common first) with the diagnostic read and a short time limit, and
// the usual TCP port of a host. Used by `kestrel detect` and the Connect page's
// "Find device".
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/logic/loop_outcome.h"

namespace kestrel {

struct TSearchTarget {
  bool tcp = false;
  std::string port;   // serial: the device path to open
  int baud = 0;       // serial line speed
  std::string host;   // TCP
  uint16_t tcpPort = 0;
  std::string label() const;  // "/dev/ttyUSB0 at 9600 baud", "192.168.1.50:4999"
};

enum class TSearchOutcome {
  Found,         // the device answered the diagnostic read
  NoAnswer,      // open, but nothing answered at this speed
  Busy,          // another program holds the port
  NotPermitted,  // the user may not open the port
  Missing,       // the port does not exist
  Failed,        // anything else that kept the port from opening
};

struct TSearchFinding {
  TSearchTarget target;
  TSearchOutcome outcome = TSearchOutcome::NoAnswer;
  std::string model;   // DeviceName of the diagnostic read
  std::string serial;  // SerialNumber
  std::string fiscalMemory;
  std::string message;  // why a port could not be tried
};

// Line speeds in the order they are tried: the devices' default first, then the
// speeds technicians set most often.
const std::vector<int>& searchSpeeds();

struct TSearchOptions {
  std::vector<std::string> ports;  // device paths; empty: the serial ports of the machine
  std::vector<int> speeds;         // empty: searchSpeeds()
  std::string tcpHost;             // empty: no TCP attempt
  uint16_t tcpPort = 4999;
  int timeoutMs = 400;             // per attempt
  bool stopAtFirst = false;        // end the search at the first device found
  // Called before each attempt with its number (from 1) and the total.
  std::function<void(const TSearchTarget&, int index, int total)> onAttempt;
  // Its events run and its stop request is asked between attempts; a stop ends the
  // search. None: the search runs to its end.
  PageHost* host = nullptr;
};

// The serial ports of this machine as device paths (ttyS, ttyUSB, ttyACM ...).
std::vector<std::string> machineSerialPorts();

struct TSearchResult {
  // Every device found and every port that could not be tried (busy, not permitted,
  // missing); attempts without an answer are left out.
  std::vector<TSearchFinding> findings;
  // Counts attempts (the speeds of a port that did not open, or that answered, are no
  // attempts): Done with a device found; Stopped by the host's stop request; Failed
  // ("no device found") when every attempt went unanswered.
  TLoopOutcome outcome;
  // The first device found; none: nullptr.
  const TSearchFinding* device() const;
};

TSearchResult searchDevices(const TSearchOptions& options);

}  // namespace kestrel
