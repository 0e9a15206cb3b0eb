#include "app/logic/pages/clients.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "app/logic/device_ops.h"
#include "app/logic/field_helpers.h"
#include "app/logic/mem_table.h"
#include "app/logic/page_table.h"
#include "app/logic/pages/then_always.h"
#include "app/logic/param_bindings.h"
#include "app/logic/text_file.h"
#include "support/err_container.h"
#include "support/fd_misc.h"

namespace kestrel {

namespace {

constexpr uint16_t CMD_CLIENTS = 140;

// Field 1 of an answer as a client number; false when it is not a whole number.
bool clientNumberIn(const std::string& text, int& number) {
  try {
    number = parseIntValue(text);
    return true;
  } catch (const std::invalid_argument&) {
    return false;
  }
}

// A row from the answer of "F", "N": number in field 1, then TAXN, Client, Client_2,
// Address1, Address2.
void appendAnsweredClient(TDeviceOps& ops, TMemTable& table, int number) {
  ops.host().set_StatusText("Reading client..." + std::to_string(number));
  ops.host().progressSet(number);
  const int row = appendClientRow(table);
  auto removeRow = always([&] { table.deleteRow(row); });
  table.setValue(row, "ID", std::to_string(number));
  table.setValue(row, "TAXN", ops.field(2));
  table.setValue(row, "Client", ops.field(3));
  table.setValue(row, "Client_2", ops.field(4));
  table.setValue(row, "Address1", ops.field(5));
  table.setValue(row, "Address2", ops.field(6));
  removeRow.dismiss();
}

// A client the device answered into the table; one the table refuses is counted and
// named, and the read goes on.
void keepAnsweredClient(TDeviceOps& ops, TMemTable& table, TRecordLoop& loop, int number) {
  try {
    appendAnsweredClient(ops, table, number);
  } catch (const std::exception& e) {
    loop.refused(number, "client " + std::to_string(number) + ": " + e.what());
    return;
  }
  loop.answered(number);
  // A number an earlier failed "N" stood for is read after all (a NAK is not executed).
  auto& o = loop.outcome();
  if (const auto it = std::find(o.failedNumbers.begin(), o.failedNumbers.end(), number); it != o.failedNumbers.end()) {
    o.failedNumbers.erase(it);
    --o.failed;
  }
}

// A TAB inside a value would shift every later field of the command: refused, named.
std::string commandValue(const TMemTable& table, int row, const char* field) {
  std::string v = table.value(row, field);
  checkSendable("client " + table.value(row, "ID") + " " + field, v);
  return v;
}

std::string clientCsvLine(const TMemTable& table, int row) {
  std::string line;
  for (const char* f : {"ID", "Client", "Client_2", "TAXN", "Address1", "Address2"})
    line += csv_Field(table.value(row, f));
  return line;
}

// The selected clients one by one, with the progress; the first refusal (or the stop
// request) ends the loop.
template <class Step>
TLoopOutcome eachClient(TDeviceOps& ops, const std::vector<int>& numbers, Step step) {
  PageHost& host = ops.host();
  TRecordLoop loop(ops, static_cast<int64_t>(numbers.size()));
  ProgressScope progress(host, 1, static_cast<int>(numbers.size()));
  int done = 0;
  loop.untilFirstFailure(numbers, step, [&] { host.progressSet(++done); });
  return loop.outcome();
}

}  // namespace

void prepareClientTable(TMemTable& table) {
  table.clear();
  if (table.fieldCount() > 0) return;
  auto text = [&](const char* name, int size, const char* label) {
    TFieldDef f;
    f.name = name;
    f.kind = TFieldKind::Text;
    f.size = size;
    f.displayLabel = label;
    table.addField(f);
  };
  TFieldDef id;
  id.name = "ID";
  id.kind = TFieldKind::Integer;
  id.minValue = 1;
  id.maxValue = MAX_CLIENTS;
  id.displayLabel = "Number";
  id.validChars = "0123456789";
  table.addField(id);
  text("Client", 42, "Client name - first");
  text("Client_2", 42, "Client name - second");
  text("Address1", 36, "Address 1");
  text("Address2", 36, "Address 2");
  text("TAXN", 13, "TAX Number");
}

int appendClientRow(TMemTable& table) {
  if (table.RecordCount() >= MAX_CLIENTS) throw EFieldValueError(MSG_CLIENTS_FULL);
  const int row = table.append();
  if (row < 0) throw EFieldValueError(MSG_CLIENTS_FULL);
  return row;
}

int findClientRow(const TMemTable& table, int number) {
  const std::string id = std::to_string(number);
  for (int row = 0; row < table.RecordCount(); ++row)
    if (table.value(row, "ID") == id) return row;
  return -1;
}

int clientNumberOf(const TMemTable& table, int row) {
  int number = -1;
  return clientNumberIn(table.value(row, "ID"), number) ? number : -1;
}

std::string clientProgramInput(const TMemTable& table, int row) {
  std::string in = "P\t" + table.value(row, "ID") + "\t";
  for (const char* f : {"Client", "TAXN", "Client_2", "Address1", "Address2"})
    in += commandValue(table, row, f) + "\t";
  return in;
}

std::string clientDeleteInput(int number) { return "D\t" + std::to_string(number) + "\t\t"; }

std::string savingClientText(const TFDMisc& misc, const std::string& number) {
  return "Saving client..." + misc.padString(number, "0", 9, pcLeft);
}

TLoopOutcome readClientInfo(TDeviceOps& ops, TMemTable& table) {
  PageHost& host = ops.host();
  table.clear();
  TRecordLoop loop(ops, 0);
  ProgressScope progress(host, 1, MAX_CLIENTS);
  host.progressSet(1);
  const auto statusClear = always([&] { host.set_StatusText(std::string()); });

  loop.asking(1);
  if (!ops.command(CMD_CLIENTS, "F\t\t")) {
    if (ops.lastCommandOk() && ops.err.LastErrorCode() == CODE_FIRM_NOT_FOUND) return loop.outcome();
    if (!loop.waitCancelled()) loop.fail("the first client could not be read (" + ops.err.LastErrorMessage() + ")");
    return loop.outcome();
  }
  int number = 0;
  if (!clientNumberIn(ops.field(1), number)) {
    loop.fail("Error in protocol! The device answered \"" + ops.field(1) + "\" as a client number");
    return loop.outcome();
  }
  keepAnsweredClient(ops, table, loop, number);
  // The device's walk: the last client it actually answered. A refused "N" moves the
  // number on but not the device, so the guard below compares with this one.
  int lastAnswered = number;
  while (number < MAX_CLIENTS) {
    host.processMessages();
    if (loop.stopRequested()) break;
    loop.asking(number + 1);
    if (!ops.command(CMD_CLIENTS, "N\t")) {
      // A refused number (most often "Firm does not exist") is skipped.
      ++number;
      host.progressSet(number);
      // A refusal (another code, a NAK) leaves the device's walk where it was: the next
      // "N" goes on from there, so no client is lost. A link failure may have lost one:
      // it is counted and named.
      if (!isLinkFailure(ops.err.LastErrorCode())) {
        if (loop.waitCancelled()) break;
        loop.noRecord(number);
        continue;
      }
      if (!loop.commandFailed(number)) break;
      continue;
    }
    int next = 0;
    if (!clientNumberIn(ops.field(1), next)) {
      ops.misc.show_MyAlert("Error in protocol!");
      loop.fail("Error in protocol! The device answered \"" + ops.field(1) + "\" as a client number");
      break;
    }
    // The walk relies on the numbers going up; a device that repeats one (or goes
    // back) would be asked forever.
    if (next <= lastAnswered) {
      const std::string text = "Error in protocol! The device answered client " + std::to_string(next) +
                               " after client " + std::to_string(lastAnswered) + "; the reading ends here.";
      ops.misc.show_MyAlert(text);
      loop.fail(text);
      break;
    }
    number = lastAnswered = next;
    keepAnsweredClient(ops, table, loop, number);
  }
  return loop.outcome();
}

bool SaveClient(TDeviceOps& ops, const TMemTable& table, int number) {
  try {
    const int row = findClientRow(table, number);
    if (row < 0) return false;
    return ops.command(CMD_CLIENTS, clientProgramInput(table, row));
  } catch (const std::exception& e) {
    ops.misc.myAlert(exceptionText("SaveClient", e.what()), TITLE_KESTREL, inf_OkBtn);
    return false;
  }
}

TLoopOutcome SaveAllClientInfo(TDeviceOps& ops, const TMemTable& table) {
  PageHost& host = ops.host();
  TRecordLoop loop(ops, table.RecordCount());
  if (table.RecordCount() == 0) return loop.outcome();
  ProgressScope progress(host, 0, table.RecordCount());
  for (int row = 0; row < table.RecordCount(); ++row) {
    host.set_StatusText(savingClientText(ops.misc, table.value(row, "ID")));
    host.progressSet(row + 1);
    host.processMessages();
    if (loop.stopRequested()) return loop.outcome();
    const int number = clientNumberOf(table, row);
    loop.asking(number);
    // A refusal is reported by the verdict; the next client is tried all the same.
    if (SaveClient(ops, table, number)) loop.answered(number);
    else if (!loop.commandFailed(number)) return loop.outcome();
  }
  // "Saved" only when every client was.
  if (loop.outcome().ok()) ops.informSaved();
  host.set_StatusText(std::string());
  return loop.outcome();
}

TLoopOutcome saveSelectedClients(TDeviceOps& ops, const TMemTable& table, const std::vector<int>& numbers) {
  const TLoopOutcome r = eachClient(ops, numbers, [&](int number) { return SaveClient(ops, table, number); });
  if (r.ok()) ops.informSaved();
  return r;
}

bool DeleteClient(TDeviceOps& ops, int number) { return ops.command(CMD_CLIENTS, clientDeleteInput(number)); }

bool DellAllClients(TDeviceOps& ops, TMemTable& table, bool confirmed) {
  if (!confirmed && !ops.ask("Delete all clients, are you sure?", "WARNING!", true)) return false;
  if (!ops.command(CMD_CLIENTS, "D\tA\t\t")) return false;
  table.clear();
  ops.inform("Clients deleted!");
  return true;
}

TLoopOutcome delSelectedClients(TDeviceOps& ops, TMemTable& table, const std::vector<int>& numbers) {
  const TLoopOutcome r = eachClient(ops, numbers, [&](int number) {
    if (!DeleteClient(ops, number)) return false;
    if (const int row = findClientRow(table, number); row >= 0) table.deleteRow(row);
    return true;
  });
  if (r.ok()) ops.inform("Selected clients deleted.");
  return r;
}

std::vector<std::string> clientCsvLines(const TMemTable& table, PageHost* host) {
  std::vector<std::string> lines{CLIENTS_CSV_HEADER};
  lines.reserve(static_cast<size_t>(table.RecordCount()) + 1);
  for (int row = 0; row < table.RecordCount(); ++row) {
    if (host) host->processMessages();
    lines.push_back(clientCsvLine(table, row));
    if (host) host->progressSet(row + 1);
  }
  return lines;
}

void importClientLine(TMemTable& table, std::string line) {
  const int row = appendClientRow(table);
  // No half-filled client stays behind.
  auto removeRow = always([&] { table.deleteRow(row); });
  {
    std::string v;
    set_FieldFromCSV(line, v, "0");
    table.setValue(row, "ID", v);
    set_StringFieldFromCSV(line, v);
    table.setValue(row, "Client", v);
    set_StringFieldFromCSV(line, v);
    table.setValue(row, "Client_2", v);
    set_FieldFromCSV(line, v, "0");
    try {
      table.setValue(row, "TAXN", v);
    } catch (const EFieldValueError&) {
      table.setValue(row, "TAXN", "0");
    }
    set_StringFieldFromCSV(line, v);
    table.setValue(row, "Address1", v);
    set_StringFieldFromCSV(line, v);
    table.setValue(row, "Address2", v);
  }
  removeRow.dismiss();
}

bool importFromCsv_clients(PageHost& host, TMemTable& table, const std::string& fileName) {
  table.clear();
  const std::vector<std::string> lines = readTextLines(fileName, CLIENTS_CSV_INPUT);
  if (lines.empty()) return true;
  ProgressScope progress(host, 0, static_cast<int>(lines.size()));
  for (size_t i = 1; i < lines.size(); ++i) {
    host.progressSet(static_cast<int>(i));
    host.processMessages();
    if (host.stopRequested()) return false;
    if (lines[i].find_first_not_of(" \t") == std::string::npos) continue;
    importClientLine(table, lines[i]);
  }
  return true;
}

void CreateCSV_clients(TDeviceOps& ops, const TMemTable& table, const std::string& fileName) {
  PageHost& host = ops.host();
  std::vector<std::string> lines;
  {
    ProgressScope progress(host, 1, table.RecordCount());
    lines = clientCsvLines(table, &host);
  }
  writeTextLines(fileName, lines);
  ops.inform("Successful export to:\r\n" + fileName);
}

bool btnImportClientsClick(TDeviceOps& ops, TMemTable& table) {
  if (table.RecordCount() > 0 && !ops.ask("Importing will clear the table.", MSG_ARE_YOU_SURE, false)) return false;
  const std::string fileName = ops.host().openFileName("Import", CLIENTS_CSV_FILTER);
  if (fileName.empty()) return false;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(fileName, ec)) {
    ops.inform("File does not exist.");
    return false;
  }
  try {
    return importFromCsv_clients(ops.host(), table, fileName);
  } catch (const std::exception& e) {
    ops.misc.show_MyAlert(e.what());
    return false;
  }
}

bool btnExportClientsClick(TDeviceOps& ops, const TMemTable& table) {
  const std::string fileName = ops.host().saveFileName("Export", CLIENTS_CSV_FILTER, ".csv");
  if (fileName.empty()) return false;
  const std::string base = std::filesystem::path(fileName).filename().string();
  const std::string stem = base.substr(0, base.find('.'));
  if (stem.find_first_not_of(' ') == std::string::npos) {
    ops.inform("Wrong file name.");
    return false;
  }
  CreateCSV_clients(ops, table, fileName);
  return true;
}

}  // namespace kestrel
