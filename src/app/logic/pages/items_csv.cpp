#include "app/logic/pages/items_csv.h"

#include <filesystem>

#include "app/logic/device_ops.h"
#include "app/logic/field_helpers.h"
#include "app/logic/mem_table.h"
#include "app/logic/page_table.h"
#include "app/logic/pages/items.h"
#include "app/logic/text_file.h"
#include "support/fd_misc.h"

namespace kestrel {

const char* const ITEMS_CSV_HEADER =
    "\"PLU\";\"Name\";\"VAT\";\"Department\";\"Group\";\"Price type\";\"Price\";\"Turnover\";\"Sold qty\";"
    "\"Stock qty\";\"Barcode1\";\"Barcode2\";\"Barcode3\";\"Barcode4\";";

namespace {

// Table field (grid order) of each file column, and the default of an empty column.
struct Column {
  int field;
  const char* defaultText;
  bool firstBlankGoes;
};
constexpr Column COLUMNS[14] = {
    {0, "", true},     // PLU
    {2, "", false},    // Name
    {1, "1", true},    // VAT
    {3, "1", true},    // Dept
    {4, "1", true},    // Stock
    {5, "0", false},   // PriceType
    {6, "0", true},    // Price
    {7, "0", true},    // Turnover
    {9, "0", true},    // SoldQty
    {8, "0", true},    // StockQty
    {10, "", true},    // Barcode1..4
    {11, "", true},
    {12, "", true},
    {13, "", true},
};

bool blank(const std::string& s) { return s.find_first_not_of(' ') == std::string::npos; }

void showException(TItemsOps& items, const char* method, const std::string& message) {
  items.ops().misc.myAlert(exceptionText(method, message), TITLE_KESTREL, inf_OkBtn);
}

}  // namespace

void appendItemCsvLine(std::string& out, const TMemTable& table, int row) {
  for (const Column& c : COLUMNS) {
    // The cell goes straight into the line; the rare value that needs its quotes
    // doubled is taken out again and written the long way.
    out += '"';
    const std::size_t start = out.size();
    table.appendDisplayText(out, row, c.field);
    // Numbers never hold a quote or ";".
    if (table.field(c.field).kind != TFieldKind::Text || !holds_CsvSpecial(std::string_view(out).substr(start))) {
      out += "\";";
      continue;
    }
    const std::string value = out.substr(start);
    out.resize(start - 1);
    append_CsvField(out, value);
  }
}

namespace {

// The lines after the header, `lineCount` of them with the header, from `nextLine`.
template <class NextLine>
void appendLines(TMemTable& table, size_t lineCount, NextLine nextLine, PageHost& host) {
  host.progressShow(1, static_cast<int>(lineCount));
  host.progressSet(1);
  std::string rest, value;
  if (!nextLine(rest)) return;  // the header
  table.reserve(table.RecordCount() + static_cast<int>(lineCount));
  for (size_t i = 1; nextLine(rest); ++i) {
    host.processMessages();
    const int row = table.append();
    if (row < 0) continue;
    try {
      std::string_view fields(rest);
      for (const Column& c : COLUMNS) {
        take_CsvField(fields, value);
        if (c.firstBlankGoes) remove_FirstBlank(value);
        if (*c.defaultText && blank(value)) value = c.defaultText;
        table.setValue(row, c.field, value);
      }
      checkItemRow(table, row);
    } catch (const EFieldValueError& e) {
      table.deleteRow(row);
      throw EFieldValueError("Line " + std::to_string(i + 1) + ": " + e.what());
    }
    host.progressSet(static_cast<int>(i + 1));
  }
}

}  // namespace

void appendItemLines(TMemTable& table, const std::vector<std::string>& lines, PageHost& host) {
  size_t next = 0;
  appendLines(table, lines.size(), [&](std::string& line) {
    if (next >= lines.size()) return false;
    line = lines[next++];
    return true;
  }, host);
}

void appendItemLines(TMemTable& table, TTextLineReader& lines, PageHost& host) {
  appendLines(table, lines.lineCount(), [&](std::string& line) { return lines.next(line); }, host);
}

bool importFromCsv(TItemsOps& items, const std::string& fileName) {
  items.table().clear();
  items.current = -1;
  items.selected.clear();
  try {
    TTextLineReader lines(fileName, ITEMS_CSV_INPUT);
    appendItemLines(items.table(), lines, items.host());
    return true;
  } catch (const std::exception& e) {
    showException(items, "importFromCsv", e.what());
    return false;
  }
}

bool CreateCSV(TItemsOps& items, const std::string& fileName, bool inRange, int64_t from, int64_t to) {
  try {
    const TMemTable& table = items.table();
    PageHost& host = items.host();
    TTextFileWriter file(fileName);
    file.line() += ITEMS_CSV_HEADER;
    file.endLine();
    auto addLine = [&](int row) {
      appendItemCsvLine(file.line(), table, row);
      file.endLine();
    };
    if (inRange) {
      const std::vector<int> index = items.narrow(from, to);
      host.progressShow(1, static_cast<int>(std::max<int64_t>(to - from + 1, 1)));
      host.progressSet(1);
      int position = 0;
      for (int64_t n = std::max<int64_t>(from, 1); n <= std::min(to, MAX_PROGRAMMABLE_PLU); ++n) {
        host.processMessages();
        const int row = index[static_cast<size_t>(n)];
        if (row < 0) continue;
        addLine(row);
        host.progressSet(++position);
      }
    } else {
      host.progressShow(1, static_cast<int>(items.selected.size()));
      host.progressSet(1);
      int position = 0;
      for (int row : items.selected) {
        addLine(row);
        host.progressSet(++position);
      }
    }
    file.commit();
    std::error_code ec;
    const std::string full = std::filesystem::absolute(fileName, ec).string();
    items.ops().inform("Successful export to:\r\n" + (ec ? fileName : full));
    return true;
  } catch (const std::exception& e) {
    showException(items, "CreateCSV", e.what());
    return false;
  }
}

bool bbtnImportClick(TItemsOps& items) {
  TDeviceOps& ops = items.ops();
  if (items.table().RecordCount() > 0 && !ops.ask("Importing will clear the current table.", MSG_ARE_YOU_SURE, false))
    return false;
  const std::string name = items.host().openFileName("Import", ITEMS_CSV_FILTER);
  if (name.empty()) return false;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(name, ec)) {
    ops.inform("File does not exist.");
    return false;
  }
  return importFromCsv(items, name);
}

bool bbtnExportClick(TItemsOps& items) {
  TRangeChoice range;
  if (!items.host().chooseRange(range, true)) return false;
  const std::string name = items.host().saveFileName("Export", ITEMS_CSV_FILTER, ".csv");
  if (name.empty()) return false;
  const std::string base = std::filesystem::path(name).filename().string();
  if (blank(base.substr(0, base.find('.')))) {
    items.ops().inform("Wrong file name.");
    return false;
  }
  if (range.allItems) return CreateCSV(items, name, true, 1, MAX_PROGRAMMABLE_PLU);
  if (range.selectedInGrid) return CreateCSV(items, name, false);
  return CreateCSV(items, name, true, rangeNumber(range.from), rangeNumber(range.to));
}

}  // namespace kestrel
