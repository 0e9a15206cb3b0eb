#pragma once
// Date, header & footer: the ten header and ten footer lines ("Header" and "Footer",
// index 0 to 9, command 255) in the data module's tables, the device clock (62 reads,
// 61 sets), the header/footer text file and the diagnostic printout.
#include <string>

#include "support/date_time.h"

namespace kestrel {

class TDeviceOps;
class TMemTable;
struct TConfigPage;

inline constexpr int CLICHE_LINES = 10;
inline constexpr const char* CLICHE_FILE_FILTER = "txt|*.txt";
inline constexpr const char* MSG_SAVE_IMPORTED = "Do you want to save the header & footer to the device?";
inline constexpr const char* TITLE_IMPORT = "Import";

// The header and the footer table (prepareLinesTable's shape: ID 1..10, Text).
struct TClicheTables {
  TMemTable& header;
  TMemTable& footer;
};

// --- device date-time texts ---

// "DD-MM-YY HH:MM:SS". Throws for a year the two digits cannot hold (before 2000 or
// after 2099): such a date is never sent.
std::string deviceDateTimeText(const LocalDateTime& dt);
// Command 61's input: the text, " DST" when `dst`, TAB.
std::string setDateTimeInput(const LocalDateTime& dt, bool dst);
// The read's reading of command 62's field 1: characters at fixed places of the date
// part and of the time part. Throws when the text is not of that form.
LocalDateTime clicheDateTimeOf(const std::string& deviceText);
// "Datetime from device"'s reading: day, month, year and time taken up to their
// separators, " DST" ignored. Throws when the text is not of that form.
LocalDateTime deviceDateTimeOf(const std::string& deviceText);

// --- the lines ---

// Reads lines 0..9 of "Header" or "Footer" into the table's rows 1..10. A refused line
// keeps its row's text and the loop goes on; true when every line was read.
bool readClicheLines(TDeviceOps& ops, const std::string& name, TMemTable& table);
// Writes the table's rows as lines 0..9 (an empty row as one blank), stopping at the
// first refusal.
bool saveClicheLines(TDeviceOps& ops, const std::string& name, const TMemTable& table);

// --- the page's operations ---

// readCliche: the 20 lines, then the clock into `clock` when command 62 succeeded.
// True when every command succeeded. Throws for a clock answer of the wrong form (the
// lines are read by then).
bool readCliche(TDeviceOps& ops, TClicheTables tables, LocalDateTime& clock);
// bbtnSetClicheClick: the footer, then the header, then the saved message. Throws
// before sending anything when a line holds a TAB or a line break.
bool saveCliche(TDeviceOps& ops, TClicheTables tables);
// bbtnGetDateECRClick: the device's date-time (command 62) into `clock`.
bool readDeviceDateTime(TDeviceOps& ops, LocalDateTime& clock);
// bbtnSetDateECRClick: command 61 with the date-time, " DST" when the device's
// automatic summer time is on and the moment falls into summer time.
bool saveDeviceDateTime(TDeviceOps& ops, const LocalDateTime& dt);
// The diagnostic printout of both "Print diagnostic" buttons: command 71 with "0" TAB.
bool printDiagnostic(TDeviceOps& ops);

// The file: header lines, then footer lines, CR LF each, code page 1250.
void exportClicheFile(const std::string& path, TClicheTables tables);
// Lines 1..10 to the header rows, 11..20 to the footer rows, the rest empty; later lines
// are not imported: returns the number of the file's last line with text beyond line 20
// (0 when there is none), so that the loss can be told. Throws (tables unchanged) when
// the file cannot be read or a line is longer than a row holds.
int importClicheFile(const std::string& path, TClicheTables tables);
// What a technician is told about a file whose lines 21..`lastLine` were not imported.
std::string clicheLinesLeftOutText(int lastLine);
// bbtnExportClicheClick: the file choice, the file, "Successful export to:". False when
// cancelled.
bool exportCliche(TDeviceOps& ops, TClicheTables tables);
// bbtnImportClicheClick: the file choice (cancel ends), the file (a failure is shown,
// the tables stay as they were), then the question whether to save; Yes saves. True
// when the file was read and, if asked for, saved.
bool importCliche(TDeviceOps& ops, TClicheTables tables);

// `kestrel config`: "datetime" (key "device": command 62's text; a new value goes out
// through the save-datetime operation), "header" and "footer" (keys "1" to "10").
TConfigPage datetimeConfigPage();
TConfigPage headerConfigPage();
TConfigPage footerConfigPage();

}  // namespace kestrel
