#pragma once
// The item CSV file: a header line, then one item per line, 14 quoted fields each
// followed by ";", CR LF, code page 1250. Values holding ";" or a double quote are
// written with doubled quotes so that every value comes back whole; other lines are
// exactly the plain format, which is read as before.
#include <cstdint>
#include <string>
#include <vector>

namespace kestrel {

class TMemTable;
class TTextLineReader;
class PageHost;
class TItemsOps;

extern const char* const ITEMS_CSV_HEADER;
inline constexpr const char* ITEMS_CSV_FILTER = "csv|*.csv";

// One item line of `row` (without its line end), appended to `out`.
void appendItemCsvLine(std::string& out, const TMemTable& table, int row);
// Appends the items of `lines` (the first line is the header and is skipped). A value the
// table refuses throws EFieldValueError naming the line number; the lines before it stay
// in the table, the refused line does not.
void appendItemLines(TMemTable& table, const std::vector<std::string>& lines, PageHost& host);
// The same, the file read a piece at a time.
void appendItemLines(TMemTable& table, TTextLineReader& lines, PageHost& host);

// importFromCsv: empties the table and reads the file into it. An error (unreadable file,
// refused line) is shown as "Exception in method "importFromCsv": ..."; false then.
bool importFromCsv(TItemsOps& items, const std::string& fileName);
// CreateCSV: the rows with PLU in from..to (narrowed to the table) or, with inRange
// false, the selected rows, written through a temporary file; the success message
// names the file. An error is shown as "Exception in method "CreateCSV": ..."; false.
bool CreateCSV(TItemsOps& items, const std::string& fileName, bool inRange, int64_t from = 0, int64_t to = 0);

// The "Import..." button: the question when the table has rows, the file choice, the
// check that it exists, then importFromCsv. False when nothing was imported.
bool bbtnImportClick(TItemsOps& items);
// The "Export..." button: the range dialog with its radio buttons, the file choice, the
// file name check, then CreateCSV.
bool bbtnExportClick(TItemsOps& items);

}  // namespace kestrel
