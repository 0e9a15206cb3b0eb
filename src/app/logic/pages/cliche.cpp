#include "app/logic/pages/cliche.h"

#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "app/logic/config_pages.h"
#include "app/logic/device_ops.h"
#include "app/logic/fbh_summer_time.h"
#include "app/logic/mem_table.h"
#include "app/logic/page_table.h"
#include "app/logic/text_file.h"
#include "engine/engine_types.h"
#include "support/err_container.h"
#include "support/fd_misc.h"
#include "support/utf8.h"

namespace kestrel {

namespace {

[[noreturn]] void notADeviceDateTime(const std::string& text) {
  throw std::runtime_error("'" + text + "' is not a valid date and time of the device (DD-MM-YY HH:MM:SS)");
}

// A date and time that exists, or the exception naming the device's text.
LocalDateTime dateTimeOf(const std::string& text, int year, int month, int day, int hour, int minute, int second) {
  const LocalDateTime dt{year, month, day, hour, minute, second, 0};
  if (!dt.isValid()) notADeviceDateTime(text);
  return dt;
}

// Decimal digits only (one to four), as a number; -1 otherwise.
int digitsValue(const std::string& s) {
  if (s.empty() || s.size() > 4) return -1;
  int v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return -1;
    v = v * 10 + (c - '0');
  }
  return v;
}

// "dd?dd?dd" with `sep` at both places: the three numbers.
bool threePairs(const std::string& s, char sep, int (&out)[3]) {
  if (s.size() != 8 || s[2] != sep || s[5] != sep) return false;
  for (int i = 0; i < 3; ++i)
    if ((out[i] = digitsValue(s.substr(static_cast<size_t>(3 * i), 2))) < 0) return false;
  return true;
}

int rowOfId(const TMemTable& table, int id) {
  for (int r = 0; r < table.RecordCount(); ++r)
    if (table.value(r, "ID") == std::to_string(id)) return r;
  throw std::runtime_error(table.name() + " has no row " + std::to_string(id));
}

std::string paramIndexOf(int line) { return std::to_string(line); }

// A TAB or a line break would split the command's fields: refuse before anything is sent.
void checkLinesForDevice(const std::string& name, const TMemTable& table) {
  for (int r = 0; r < table.RecordCount(); ++r)
    if (table.value(r, "Text").find_first_of("\t\r\n") != std::string::npos)
      throw std::runtime_error(name + " line " + std::to_string(r + 1) +
                               " holds a TAB or a line break, which the device cannot take");
}

int textSizeOf(const TMemTable& table) { return table.field(table.fieldIndex("Text")).size; }

}  // namespace

// ------------------------------------------------------------------ date-time texts

std::string deviceDateTimeText(const LocalDateTime& dt) {
  if (dt.year < 2000 || dt.year > 2099)
    throw std::range_error("The year " + std::to_string(dt.year) +
                           " cannot be sent to the device: it takes the years 2000 to 2099");
  char buf[40];
  std::snprintf(buf, sizeof buf, "%02d-%02d-%02d %02d:%02d:%02d", dt.day, dt.month, dt.year - 2000, dt.hour, dt.minute,
                dt.second);
  return buf;
}

std::string setDateTimeInput(const LocalDateTime& dt, bool dst) {
  return deviceDateTimeText(dt) + (dst ? " DST" : "") + "\t";
}

LocalDateTime clicheDateTimeOf(const std::string& deviceText) {
  const size_t blank = deviceText.find(' ');
  const std::string datePart = deviceText.substr(0, blank);
  const std::string rest = blank == std::string::npos ? std::string() : deviceText.substr(blank + 1);
  const std::string timePart = rest.substr(0, rest.find(' '));
  int d[3], t[3];
  if (!threePairs(datePart, '-', d) || !threePairs(timePart, ':', t)) notADeviceDateTime(deviceText);
  return dateTimeOf(deviceText, 2000 + d[2], d[1], d[0], t[0], t[1], t[2]);
}

LocalDateTime deviceDateTimeOf(const std::string& deviceText) {
  size_t pos = 0;
  auto upTo = [&](char sep) {
    const size_t end = deviceText.find(sep, pos);
    if (end == std::string::npos) notADeviceDateTime(deviceText);
    const int v = digitsValue(deviceText.substr(pos, end - pos));
    if (v < 0) notADeviceDateTime(deviceText);
    pos = end + 1;
    return v;
  };
  const int day = upTo('-'), month = upTo('-'), year = upTo(' '), hour = upTo(':'), minute = upTo(':');
  std::string rest = deviceText.substr(pos);
  if (rest.find("DST") != std::string::npos) rest = rest.substr(0, rest.find(' '));
  const int second = digitsValue(rest);
  if (second < 0 || year > 99) notADeviceDateTime(deviceText);
  return dateTimeOf(deviceText, 2000 + year, month, day, hour, minute, second);
}

// ------------------------------------------------------------------ lines

bool readClicheLines(TDeviceOps& ops, const std::string& name, TMemTable& table) {
  bool all = true;
  for (int line = 0; line < CLICHE_LINES; ++line) {
    std::string text;
    if (!ops.readParam(name, paramIndexOf(line), text)) {
      // A stop ends the read; after a refusal the row keeps its text and the other
      // lines are still read.
      if (ops.lastCancelled()) return false;
      all = false;
      continue;
    }
    table.setValue(rowOfId(table, line + 1), "Text", text);
  }
  return all;
}

bool saveClicheLines(TDeviceOps& ops, const std::string& name, const TMemTable& table) {
  checkLinesForDevice(name, table);
  for (int row = 0; row < table.RecordCount() && row < CLICHE_LINES; ++row) {
    const std::string text = table.value(row, "Text");
    // An empty value would read as a request for the line, not as "no text".
    if (!ops.writeParam(name, paramIndexOf(row), text.empty() ? " " : text)) return false;
  }
  return true;
}

// ------------------------------------------------------------------ operations

bool readCliche(TDeviceOps& ops, TClicheTables tables, LocalDateTime& clock) {
  bool all = readClicheLines(ops, "Header", tables.header);
  // A stop in the header's lines ends the whole read, not just the header.
  if (!all && ops.lastCancelled()) return false;
  all = readClicheLines(ops, "Footer", tables.footer) && all;
  if (!all && ops.lastCancelled()) return false;
  if (!ops.command(62, "")) return false;
  clock = clicheDateTimeOf(ops.field(1));
  return all;
}

bool saveCliche(TDeviceOps& ops, TClicheTables tables) {
  checkLinesForDevice("Header", tables.header);
  checkLinesForDevice("Footer", tables.footer);
  if (!saveClicheLines(ops, "Footer", tables.footer)) return false;
  if (!saveClicheLines(ops, "Header", tables.header)) return false;
  ops.informSaved();
  return true;
}

bool readDeviceDateTime(TDeviceOps& ops, LocalDateTime& clock) {
  if (!ops.command(62, "")) return false;
  clock = deviceDateTimeOf(ops.field(1));
  return true;
}

bool saveDeviceDateTime(TDeviceOps& ops, const LocalDateTime& dt) {
  deviceDateTimeText(dt);  // a year the device cannot take sends nothing at all
  const bool dst = isAutoDateTimeON(ops) && FBH_SummerDTFor(dt);
  if (!ops.command(61, setDateTimeInput(dt, dst))) return false;
  ops.informSaved();
  return true;
}

bool printDiagnostic(TDeviceOps& ops) { return ops.command(71, "0\t"); }

// ------------------------------------------------------------------ file

void exportClicheFile(const std::string& path, TClicheTables tables) {
  std::vector<std::string> lines;
  for (const TMemTable* t : {&tables.header, &tables.footer})
    for (int r = 0; r < t->RecordCount(); ++r) lines.push_back(t->value(r, "Text"));
  writeTextLines(path, lines);
}

std::string clicheLinesLeftOutText(int lastLine) {
  return "Lines " + std::to_string(2 * CLICHE_LINES + 1) + " to " + std::to_string(lastLine) +
         " of the file were not imported: the device holds " + std::to_string(CLICHE_LINES) + " header and " +
         std::to_string(CLICHE_LINES) + " footer lines.";
}

int importClicheFile(const std::string& path, TClicheTables tables) {
  std::vector<std::string> lines = readTextLines(path, HEADER_TEXT_INPUT);
  int lastLeftOut = 0;
  for (size_t i = 2 * CLICHE_LINES; i < lines.size(); ++i)
    if (!lines[i].empty()) lastLeftOut = static_cast<int>(i + 1);
  lines.resize(2 * CLICHE_LINES);
  // Every line is checked before any row changes, so a file that does not fit leaves
  // the grids (and what a following save would write) as they were.
  const size_t limit = static_cast<size_t>(textSizeOf(tables.header));
  for (size_t i = 0; i < lines.size(); ++i)
    if (limit > 0 && utf8Length(lines[i]) > limit)
      throw std::runtime_error("Line " + std::to_string(i + 1) + " of the file has more than " + std::to_string(limit) +
                               " characters");
  for (int i = 0; i < CLICHE_LINES; ++i) {
    tables.header.setValue(rowOfId(tables.header, i + 1), "Text", lines[static_cast<size_t>(i)]);
    tables.footer.setValue(rowOfId(tables.footer, i + 1), "Text", lines[static_cast<size_t>(CLICHE_LINES + i)]);
  }
  return lastLeftOut;
}

bool exportCliche(TDeviceOps& ops, TClicheTables tables) {
  const std::string path = ops.host().saveFileName("Export header & footer", CLICHE_FILE_FILTER, "");
  if (path.empty()) return false;
  exportClicheFile(path, tables);
  std::error_code ec;
  const std::filesystem::path full = std::filesystem::absolute(path, ec);
  ops.inform("Successful export to:\r\n" + (ec ? path : full.string()));
  return true;
}

bool importCliche(TDeviceOps& ops, TClicheTables tables) {
  const std::string path = ops.host().openFileName("Import header & footer", CLICHE_FILE_FILTER);
  if (path.empty()) return false;
  bool read = true;
  try {
    if (const int lastLine = importClicheFile(path, tables)) ops.inform(clicheLinesLeftOutText(lastLine));
  } catch (const std::exception& e) {
    // The failure is shown and the question still comes: the grids hold what they held.
    read = false;
    ops.misc.myAlert(exceptionText("bbtnImportClicheClick", e.what()), TITLE_KESTREL, inf_OkBtn);
  }
  if (!ops.ask(MSG_SAVE_IMPORTED, TITLE_IMPORT, false)) return read;
  return saveCliche(ops, tables) && read;
}

// ------------------------------------------------------------------ kestrel config

namespace {

// "1".."10" -> the row; -1 for any other key.
int lineKey(const std::string& key) {
  const int n = digitsValue(key);
  return n >= 1 && n <= CLICHE_LINES && key[0] != '0' ? n : -1;
}

TConfigPage linesConfigPage(const std::string& page, const std::string& name) {
  TConfigPage p;
  p.name = page;
  p.read = [name](TDeviceOps& ops, TPageValues& values) {
    TMemTable table(name);
    prepareLinesTable(table);
    const bool ok = readClicheLines(ops, name, table);
    for (int r = 0; r < CLICHE_LINES; ++r) values[std::to_string(r + 1)] = table.value(r, "Text");
    return ok;
  };
  p.save = [name](TDeviceOps& ops, const TPageValues& values) {
    TMemTable table(name);
    prepareLinesTable(table);
    for (int r = 0; r < CLICHE_LINES; ++r) {
      auto it = values.find(std::to_string(r + 1));
      if (it != values.end()) table.setValue(r, "Text", it->second);
    }
    if (!saveClicheLines(ops, name, table)) return false;
    ops.informSaved();
    return true;
  };
  p.show = [](const TPageValues& values, int) {
    TKeyValues kv;
    for (int n = 1; n <= CLICHE_LINES; ++n) {
      auto it = values.find(std::to_string(n));
      kv.emplace_back(std::to_string(n), it == values.end() ? std::string() : it->second);
    }
    return kv;
  };
  p.set = [page](TPageValues& values, const std::string& key, const std::string& value, int) {
    if (lineKey(key) < 0) throw std::invalid_argument(page + " has no value '" + key + "' (1 to 10)");
    TMemTable probe(page);
    prepareLinesTable(probe);
    if (utf8Length(value) > static_cast<size_t>(textSizeOf(probe)))
      throw std::invalid_argument(page + "." + key + " is longer than " + std::to_string(textSizeOf(probe)) +
                                  " characters");
    if (value.find_first_of("\t\r\n") != std::string::npos)
      throw std::invalid_argument(page + "." + key + " holds a TAB or a line break");
    values[key] = value;
  };
  return p;
}

}  // namespace

TConfigPage headerConfigPage() { return linesConfigPage("header", "Header"); }
TConfigPage footerConfigPage() { return linesConfigPage("footer", "Footer"); }

TConfigPage datetimeConfigPage() {
  TConfigPage p;
  p.name = "datetime";
  p.read = [](TDeviceOps& ops, TPageValues& values) {
    if (!ops.command(62, "")) return false;
    values["device"] = ops.field(1);
    return true;
  };
  p.save = [](TDeviceOps& ops, const TPageValues& values) {
    auto it = values.find("device");
    return saveDeviceDateTime(ops, deviceDateTimeOf(it == values.end() ? std::string() : it->second));
  };
  p.show = [](const TPageValues& values, int) {
    auto it = values.find("device");
    return TKeyValues{{"device", it == values.end() ? std::string() : it->second}};
  };
  p.set = [](TPageValues& values, const std::string& key, const std::string& value, int) {
    if (key != "device") throw std::invalid_argument("datetime has no value '" + key + "' (device)");
    try {
      deviceDateTimeText(deviceDateTimeOf(value));
    } catch (const std::exception& e) {
      throw std::invalid_argument(e.what());
    }
    values[key] = value;
  };
  return p;
}

}  // namespace kestrel
