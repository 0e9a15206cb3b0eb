#pragma once
// The device's small fixed lists (stock groups, departments, payments, operators, direct
// item keys) as in-memory tables, read and saved through named parameters, and the
// discount and surcharge keys as named parameters of their own. The window's grids and
// `kestrel table` run the same reads and saves, and share one CSV form of each table.
#include <functional>
#include <string>
#include <vector>

#include "app/logic/param_bindings.h"

namespace kestrel {

class TDeviceOps;
class TMemTable;
struct TConfigPage;

inline constexpr int STOCK_GROUP_COUNT = 99;
inline constexpr int DEPARTMENT_COUNT = 99;
inline constexpr int PAYMENT_COUNT = 4;
inline constexpr int OPERATOR_COUNT = 30;

// The fields of each table (a table that has them already is only emptied).
void prepareStockGrpsTable(TMemTable& t);
void prepareDepartmentTable(TMemTable& t);
void preparePaymentsTable(TMemTable& t);
void prepareOperatorsTable(TMemTable& t);
void prepareDKeysTable(TMemTable& t);

// Reads empty the table and fill it; the rows read before a refused command stay.
// Saves show the saved message when every command succeeded; the first refusal ends
// them. Row-position tables (stock groups, keys) write the row at position k with index
// k; departments and operators write by their numbers.
bool readStockGrps(TDeviceOps& ops, TMemTable& t);
bool saveStockGrps(TDeviceOps& ops, TMemTable& t);
bool readDepartment(TDeviceOps& ops, TMemTable& t);
bool saveDepartment(TDeviceOps& ops, TMemTable& t);
bool readPayments(TDeviceOps& ops, TMemTable& t);
// Writes only the forbidden flags of the first four rows; the names are read-only here.
bool savePayments(TDeviceOps& ops, TMemTable& t);
bool readOperator(TDeviceOps& ops, TMemTable& t);
// Name, then command 101 with the row's old and new password; a changed password is
// copied into OldPass of the row, so the next save sends the device's password.
bool saveOperator(TDeviceOps& ops, TMemTable& t);
bool readKeys(TDeviceOps& ops, TMemTable& t, int maxProgrammableKeys);
bool saveKeys(TDeviceOps& ops, TMemTable& t);

// One table as the command-line tool and the window's pages know it.
struct TMasterTable {
  const char* cliName;    // "stock-groups"
  const char* tableName;  // "fdmt_StockGrps"
  const char* page;       // objectName of the page
  void (*prepare)(TMemTable&);
  std::function<bool(TDeviceOps&, TMemTable&, int maxProgrammableKeys)> read;
  bool (*save)(TDeviceOps&, TMemTable&);
};
const std::vector<TMasterTable>& masterTables();
const TMasterTable* findMasterTable(const std::string& cliName);

// The CSV form of a table: a header line of the grid's titles, then one line per row
// with the cells as the grid shows them, every field written with csv_Field. With
// `writableOnly` the read-only columns are left out.
std::vector<std::string> tableCsvLines(const TMemTable& t, bool writableOnly = false);
// Empties the table and appends the rows of `lines` (the first line is the header).
// Throws std::runtime_error naming the line number (counted from 1) of a refused line;
// the table then holds the rows before it.
void tableFromCsvLines(TMemTable& t, const std::vector<std::string>& lines);

// Discount / Surcharge keys.
inline constexpr const char* WIDGET_DISABLE_SURCHARGE = "chbxDisableSurcharge";
inline constexpr const char* WIDGET_DISABLE_DISCOUNT = "chbxDisableDiscount";
inline constexpr const char* WIDGET_SURCHARGE_PERCENT = "edSurchargePercent";
inline constexpr const char* WIDGET_SURCHARGE_SUM = "edSurchargeSum";
inline constexpr const char* WIDGET_DISCOUNT_PERCENT = "edDiscountPercent";
inline constexpr const char* WIDGET_DISCOUNT_SUM = "edDiscountSum";
const TParamTable& correctionsTable();
bool readCorrections(TDeviceOps& ops, TPageValues& values);
// A value that is no number throws after the steps before it were written.
bool saveCorrections(TDeviceOps& ops, const TPageValues& values);
TConfigPage correctionsConfigPage();

}  // namespace kestrel
