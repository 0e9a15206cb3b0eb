#pragma once
// Clients: the device's buyers (tax number, two name lines, two address lines) read into
// the client table, written back all or some, deleted, and moved through a CSV file.
// Every device command is 140 with a one-letter sub-command.
#include <string>
#include <vector>

#include "app/logic/loop_outcome.h"

namespace kestrel {

class TDeviceOps;
class TMemTable;
class PageHost;
class TFDMisc;

inline constexpr int MAX_CLIENTS = 1000;
inline constexpr const char* CLIENTS_TABLE_NAME = "fdmt_ClientInfo";
inline constexpr const char* CLIENTS_CSV_HEADER =
    "\"Number\";\"Client name - first\";\"Client name - second\";\"TAX Number\";\"Address 1\";\"Address 2\";";
inline constexpr const char* MSG_CLIENTS_FULL = "The client table holds at most 1000 clients.";
inline constexpr const char* CLIENTS_CSV_FILTER = "csv|*.csv";

// The fields of `fdmt_ClientInfo`, in the grid's column order: ID, Client, Client_2,
// Address1, Address2, TAXN. Empties the table.
void prepareClientTable(TMemTable& table);
// Appends an empty row; the table's message when it already holds MAX_CLIENTS rows.
int appendClientRow(TMemTable& table);
// The row whose ID is `number`; -1 when none.
int findClientRow(const TMemTable& table, int number);
// The row's ID as a number; -1 when it holds none.
int clientNumberOf(const TMemTable& table, int row);

// Command 140 input texts.
std::string clientProgramInput(const TMemTable& table, int row);
std::string clientDeleteInput(int number);
// "Saving client..." and the number padded with "0" to nine characters.
std::string savingClientText(const TFDMisc& misc, const std::string& number);

// readClientInfo: "F", then "N" until number 1000, a stop, or an answer that breaks
// the walk. Fills `table` (emptied first) as it goes. A refused "N" moves the number on
// and the read goes on; a link failure (which may have lost a client) is counted and
// named (taken off the list again if that number is read later); a few in a row end it.
TLoopOutcome readClientInfo(TDeviceOps& ops, TMemTable& table);

// SaveClient: the row whose ID is `number` written with "P"; false (nothing sent) when no
// row has that number. An exception is shown and gives false.
bool SaveClient(TDeviceOps& ops, const TMemTable& table, int number);
// SaveAllClientInfo: every row in table order; a refusal is reported and the loop goes
// on (a few link failures in a row end it). The saved message only when every client
// was saved.
TLoopOutcome SaveAllClientInfo(TDeviceOps& ops, const TMemTable& table);
// saveSelectedClients: the clients with these numbers, in this order; the first refusal
// ends it without a message.
TLoopOutcome saveSelectedClients(TDeviceOps& ops, const TMemTable& table, const std::vector<int>& numbers);
// DeleteClient: "D" with the number.
bool DeleteClient(TDeviceOps& ops, int number);
// DellAllClients: asks "Delete all clients, are you sure?" (No by default) unless
// `confirmed`; on success the table is emptied and "Clients deleted!" shown.
bool DellAllClients(TDeviceOps& ops, TMemTable& table, bool confirmed = false);
// delSelectedClients: deletes these numbers in order, each deleted one leaves the table;
// the first refusal ends it without a message.
TLoopOutcome delSelectedClients(TDeviceOps& ops, TMemTable& table, const std::vector<int>& numbers);

// The CSV lines of the table: the header, then ID, Client, Client_2, TAXN, Address1,
// Address2 per row.
std::vector<std::string> clientCsvLines(const TMemTable& table, PageHost* host = nullptr);
// One line of the file into a new row of the table; a value the table refuses throws
// and the half-filled row is removed again.
void importClientLine(TMemTable& table, std::string line);
// importFromCsv_clients: the table emptied and filled from the file, header skipped,
// blank lines skipped. True when it read to the end (false when stopped). Throws on a
// file that cannot be read and on a value the table refuses.
bool importFromCsv_clients(PageHost& host, TMemTable& table, const std::string& fileName);
// CreateCSV_clients: the table written through a temporary file, then the information
// "Successful export to:". Throws when the file cannot be written.
void CreateCSV_clients(TDeviceOps& ops, const TMemTable& table, const std::string& fileName);

// The "Import..." button: the question when the table has rows, the file choice, the
// missing-file information, the import (its exception's message shown alone). True when
// the table was filled from a file.
bool btnImportClientsClick(TDeviceOps& ops, TMemTable& table);
// The "Export..." button: the file choice, "Wrong file name." for a name without a
// base, the export.
bool btnExportClientsClick(TDeviceOps& ops, const TMemTable& table);

}  // namespace kestrel
