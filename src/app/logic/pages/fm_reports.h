#pragma once
// Fiscal memory reports: the device prints its fiscal memory over a period (command 94)
// or over a range of record numbers (command 95); the tool sends and judges.
#include <string>

#include "support/date_time.h"

namespace kestrel {

class TDeviceOps;

// "DD-MM-YY HH:MM:SS", with " DST" when the device keeps summer time itself (`autoDst`)
// and the moment falls into it. Throws for a year the device cannot take.
std::string reportDateTimeText(const LocalDateTime& dt, bool autoDst);
// Command 94's input: from TAB to TAB.
std::string fmByDateInput(const LocalDateTime& from, const LocalDateTime& to, bool autoDst);

// bbtnFMrepDateClick: asks whether the device keeps summer time, then command 94.
bool printFMReportByDate(TDeviceOps& ops, const LocalDateTime& from, const LocalDateTime& to);
// bbtnFMbyNumberClick: command 95 with the two texts as typed; the device judges them.
bool printFMReportByNumber(TDeviceOps& ops, const std::string& from, const std::string& to);

}  // namespace kestrel
