// The diagnostic read: both command-90 requests through the engine.
#include "engine/device_dependent.h"
#include "engine/fiscal_device.h"
#include "support/caught.h"
#include "support/fd_misc.h"

namespace kestrel {

namespace {

// Each request starts from an empty field list and exactly the protocol's delimiter.
void resetDelimiters(TFiscalDevice& engine) {
  engine.delimitersList.clear();
  engine.add_DefaultDelimiters();
}

// Takes the text up to `delimiter` off the front of `rest`; without it, the whole rest.
std::string cutFront(std::string& rest, char delimiter) {
  const size_t pos = rest.find(delimiter);
  std::string head = rest.substr(0, pos);
  rest = pos == std::string::npos ? std::string() : rest.substr(pos + 1);
  return head;
}

}  // namespace

bool TI90::readFirst(TFiscalDevice& engine, TPacketFormat format) {
  engine.answerFieldsList.clear();
  resetDelimiters(engine);
  TFDMisc& misc = *engine.Misc();
  const bool type2 = format == protocol_Type2;
  const std::string input = misc.prepare_InputForSpecialSymbols(type2 ? specialParam + "[\\t]" : specialParam);
  std::string answer;
  const bool ok = engine.customCommand(DIAGNOSTIC_COMMAND, input, answer);
  const auto& f = engine.answerFieldsList;
  std::string* members[] = {&shDTP, &shCCC, &shNNNNNN, &shDD, &shOMV, &shOBV, &shIBV, &shSN, &shHV, &shBLV};
  const size_t first = type2 ? 1 : 0;
  for (size_t i = 0; i < 10; ++i)
    if (first + i < f.size()) *members[i] = f[first + i];
  return ok && f.size() >= first + 10;
}

bool TI90::readSecond(TFiscalDevice& engine, TPacketFormat format) {
  engine.answerFieldsList.clear();
  resetDelimiters(engine);
  TFDMisc& misc = *engine.Misc();
  const bool type2 = format == protocol_Type2;
  const std::string input = type2 ? misc.prepare_InputForSpecialSymbols("[\\t]") : std::string();
  std::string answer;
  const bool ok = engine.customCommand(DIAGNOSTIC_COMMAND, input, answer);
  if (type2) {
    const auto& f = engine.answerFieldsList;
    std::string* members[] = {&DeviceName, &FirmwareRevision, &FirmwareDate, &FirmwareTime,
                              &CheckSum,   &SoftwareSwitches, &SerialNumber, &FiscalMemoryNumber};
    for (size_t i = 0; i < 8; ++i)
      if (i + 1 < f.size()) *members[i] = f[i + 1];
    return ok && !f.empty();
  }
  // name,revision date time,checksum,switches,serial,fmnumber
  std::string rest = answer;
  DeviceName = cutFront(rest, ',');
  FirmwareRevision = cutFront(rest, ' ');
  FirmwareDate = cutFront(rest, ' ');
  FirmwareTime = cutFront(rest, ',');
  CheckSum = cutFront(rest, ',');
  SoftwareSwitches = cutFront(rest, ',');
  SerialNumber = cutFront(rest, ',');
  FiscalMemoryNumber = rest;
  return ok && !engine.answerFieldsList.empty();
}

bool TI90::getFromDevice() {
  if (!fEngine) return false;
  TFiscalDevice& engine = *fEngine;
  clear();
  if (!engine.Misc()) return false;
  const bool savedOcoec = engine.ocoecModeOn;
  engine.ocoecModeOn = false;
  bool result = false;
  try {
    const TPacketFormat format = engine.dd()->LowLevel().ProtocolType();
    if (format == protocol_Type2) {
      result = readFirst(engine, format) && readSecond(engine, format);
    } else {
      readFirst(engine, format);
      result = readSecond(engine, format);
    }
  } catch (...) {
    reportCaught("TI90.getFromDevice");
    result = false;
  }
  engine.ocoecModeOn = savedOcoec;
  resetDelimiters(engine);
  return result;
}

}  // namespace kestrel
