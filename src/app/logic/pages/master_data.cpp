#include "app/logic/pages/master_data.h"

#include <stdexcept>

#include "app/logic/config_pages.h"
#include "app/logic/device_ops.h"
#include "app/logic/field_helpers.h"
#include "app/logic/mem_table.h"
#include "support/utf8.h"

namespace kestrel {

namespace {

TFieldDef integerField(const char* name, const char* label, std::optional<int64_t> lo = {},
                       std::optional<int64_t> hi = {}) {
  TFieldDef f;
  f.name = name;
  f.kind = TFieldKind::Integer;
  f.displayLabel = label;
  f.minValue = lo;
  f.maxValue = hi;
  f.validChars = "0123456789";
  return f;
}

TFieldDef textField(const char* name, const char* label, int size) {
  TFieldDef f;
  f.name = name;
  f.displayLabel = label;
  f.size = size;
  return f;
}

TFieldDef moneyField(const char* name, const char* label) {
  TFieldDef f;
  f.name = name;
  f.kind = TFieldKind::Money;
  f.displayLabel = label;
  f.displayFormat = "0.00";
  return f;
}

TFieldDef readOnly(TFieldDef f) {
  f.readOnly = true;
  return f;
}

// Adds the fields once; a prepared table is only emptied.
void prepare(TMemTable& t, std::initializer_list<TFieldDef> fields) {
  t.clear();
  if (t.fieldCount() > 0) return;
  for (const auto& f : fields) t.addField(f);
}

// An empty value would turn command 255 into a read: the device would keep its old
// text while the save reports success. One blank is what the device stores as empty.
std::string blankIfEmpty(const std::string& s) { return s.empty() ? " " : s; }

int rowsToWrite(const TMemTable& t, int most) { return std::min(t.RecordCount(), most); }

// Rows 1..count with the names of `param`, indexes 0..count-1.
bool readNames(TDeviceOps& ops, TMemTable& t, const char* param, int count, const char* nameField) {
  for (int i = 1; i <= count; ++i) {
    std::string name;
    if (!ops.readParam(param, std::to_string(i - 1), name)) return false;
    const int row = t.append();
    t.setValue(row, "ID", std::to_string(i), true);
    t.setValue(row, nameField, name, true);
  }
  return true;
}

}  // namespace

void prepareStockGrpsTable(TMemTable& t) {
  prepare(t, {integerField("ID", "Group"), textField("Name", "", 32)});
}

void prepareDepartmentTable(TMemTable& t) {
  prepare(t, {integerField("ID", "Number", 1, DEPARTMENT_COUNT), textField("Text", "Name", 72)});
}

void preparePaymentsTable(TMemTable& t) {
  TFieldDef forbidden;
  forbidden.name = "Forbidden";
  forbidden.kind = TFieldKind::Boolean;
  forbidden.displayFormat = "Yes;No";
  forbidden.defaultText = "0";
  // The names are shown but never written: a name edited here would not reach the device.
  prepare(t, {integerField("ID", "Number", 0, 6), readOnly(textField("Text", "Name", 16)), forbidden});
}

void prepareOperatorsTable(TMemTable& t) {
  // The registers come from the device (command 112) and are not written back.
  prepare(t, {integerField("ID", "Operator"),
              textField("Name", "", 30),
              readOnly(integerField("cnt_FReceipts", "Count receipts")),
              readOnly(moneyField("sum_Sales", "Total sum sales")),
              readOnly(integerField("cnt_Discounts", "Count discounts")),
              readOnly(moneyField("sum_Discounts", "Sum discounts")),
              readOnly(integerField("cnt_Surcharges", "Count surcharges")),
              readOnly(moneyField("sum_Surcharges", "Sum surcharges")),
              readOnly(integerField("cnt_Voids", "Count voids")),
              readOnly(moneyField("sum_Voids", "Sum voids")),
              readOnly(textField("OldPass", "", 8)),
              textField("NewPass", "Password", 8),
              readOnly(integerField("cnt_Storno", "Count storno")),
              readOnly(moneyField("sum_Storno", "Sum storno")),
              readOnly(integerField("cnt_VoidStorno", "Count voids in storno")),
              readOnly(moneyField("sum_VoidStorno", "Sum voids in storno"))});
}

void prepareDKeysTable(TMemTable& t) { prepare(t, {integerField("KeyID", "Key"), integerField("PLU", "")}); }

// ---- stock groups ----

bool readStockGrps(TDeviceOps& ops, TMemTable& t) {
  prepareStockGrpsTable(t);
  return readNames(ops, t, "ItemGroups_name", STOCK_GROUP_COUNT, "Name");
}

bool saveStockGrps(TDeviceOps& ops, TMemTable& t) {
  for (int k = 0; k < t.RecordCount(); ++k)
    if (!ops.writeParam("ItemGroups_name", std::to_string(k), blankIfEmpty(t.value(k, "Name")))) return false;
  ops.informSaved();
  return true;
}

// ---- departments ----

bool readDepartment(TDeviceOps& ops, TMemTable& t) {
  prepareDepartmentTable(t);
  return readNames(ops, t, "Dept_name", DEPARTMENT_COUNT, "Text");
}

bool saveDepartment(TDeviceOps& ops, TMemTable& t) {
  for (int k = 0; k < t.RecordCount(); ++k) {
    const std::string id = t.value(k, "ID");
    if (id.empty()) throw std::runtime_error("Department in row " + std::to_string(k + 1) + " has no number");
    const int index = std::stoi(id) - 1;
    if (!ops.writeParam("Dept_name", std::to_string(index), blankIfEmpty(t.value(k, "Text")))) return false;
  }
  ops.informSaved();
  return true;
}

// ---- payments ----

bool readPayments(TDeviceOps& ops, TMemTable& t) {
  preparePaymentsTable(t);
  for (int i = 0; i < PAYMENT_COUNT; ++i) {
    std::string name, forbidden;
    if (!ops.readParam("PayName", std::to_string(i), name)) return false;
    if (!ops.readParam("Payment_forbidden", std::to_string(i), forbidden)) return false;
    const int row = t.append();
    t.setValue(row, "ID", std::to_string(i), true);
    t.setValue(row, "Text", name, true);
    t.setValue(row, "Forbidden", forbidden == "1" ? "1" : "0", true);
  }
  return true;
}

bool savePayments(TDeviceOps& ops, TMemTable& t) {
  for (int i = 0; i < rowsToWrite(t, PAYMENT_COUNT); ++i)
    if (!ops.writeParam("Payment_forbidden", std::to_string(i), t.value(i, "Forbidden") == "1" ? "1" : "0"))
      return false;
  ops.informSaved();
  return true;
}

// ---- operators ----

bool readOperator(TDeviceOps& ops, TMemTable& t) {
  static const char* const REGISTERS[] = {"cnt_FReceipts", "sum_Sales",      "cnt_Storno",     "sum_Storno",
                                          "cnt_Discounts", "sum_Discounts",  "cnt_Surcharges", "sum_Surcharges",
                                          "cnt_Voids",     "sum_Voids",      "cnt_VoidStorno", "sum_VoidStorno"};
  prepareOperatorsTable(t);
  for (int i = 1; i <= OPERATOR_COUNT; ++i) {
    std::string name, password;
    if (!ops.readParam("OperName", std::to_string(i - 1), name)) return false;
    if (!ops.readParam("OperPasw", std::to_string(i - 1), password)) return false;
    if (!ops.command(112, std::to_string(i) + "\t")) return false;
    const int row = t.append();
    t.setValue(row, "ID", std::to_string(i), true);
    t.setValue(row, "Name", name, true);
    t.setValue(row, "OldPass", password, true);
    t.setValue(row, "NewPass", password, true);
    for (int f = 0; f < 12; ++f) {
      std::string v = f + 1 < ops.fieldCount() ? trimmed(ops.field(f + 1)) : std::string();
      t.setValue(row, REGISTERS[f], v, true);
    }
  }
  return true;
}

bool saveOperator(TDeviceOps& ops, TMemTable& t) {
  for (int k = 0; k < rowsToWrite(t, OPERATOR_COUNT); ++k) {
    const std::string id = t.value(k, "ID");
    if (id.empty()) throw std::runtime_error("Operator in row " + std::to_string(k + 1) + " has no number");
    if (!ops.writeParam("OperName", std::to_string(std::stoi(id) - 1), blankIfEmpty(t.value(k, "Name"))))
      return false;
    const std::string newPass = t.value(k, "NewPass");
    if (!ops.command(101, id + "\t" + t.value(k, "OldPass") + "\t" + newPass + "\t")) return false;
    t.setValue(k, "OldPass", newPass, true);
  }
  ops.informSaved();
  return true;
}

// ---- keys ----

bool readKeys(TDeviceOps& ops, TMemTable& t, int maxProgrammableKeys) {
  prepareDKeysTable(t);
  for (int i = 0; i < maxProgrammableKeys; ++i) {
    std::string plu;
    if (!ops.readParam("DPxx_PluCode", std::to_string(i), plu)) return false;
    const int row = t.append();
    t.setValue(row, "KeyID", std::to_string(i + 1), true);
    t.setValue(row, "PLU", trimmed(plu), true);
  }
  return true;
}

bool saveKeys(TDeviceOps& ops, TMemTable& t) {
  // An empty PLU would read instead of write; "0" is a key with no item.
  for (int k = 0; k < t.RecordCount(); ++k) {
    const std::string plu = t.value(k, "PLU");
    if (!ops.writeParam("DPxx_PluCode", std::to_string(k), plu.empty() ? "0" : plu)) return false;
  }
  ops.informSaved();
  return true;
}

// ---- the tables together ----

const std::vector<TMasterTable>& masterTables() {
  auto plain = [](bool (*read)(TDeviceOps&, TMemTable&)) {
    return [read](TDeviceOps& ops, TMemTable& t, int) { return read(ops, t); };
  };
  static const std::vector<TMasterTable> tables = {
      {"stock-groups", "fdmt_StockGrps", "jvpg_Sub_22_StockGrp", prepareStockGrpsTable, plain(readStockGrps),
       saveStockGrps},
      {"departments", "fdmtDepartment", "jvpg_Sub_12_Departments", prepareDepartmentTable, plain(readDepartment),
       saveDepartment},
      {"payments", "fdmtPayments", "jvpg_Sub_13_Payments", preparePaymentsTable, plain(readPayments), savePayments},
      {"operators", "fdmt_Operators", "jvpg_Sub_15_Operators", prepareOperatorsTable, plain(readOperator),
       saveOperator},
      {"keys", "fdmt_DKeys", "jvpg_Sub_16_Keys", prepareDKeysTable, readKeys, saveKeys},
  };
  return tables;
}

const TMasterTable* findMasterTable(const std::string& cliName) {
  for (const auto& t : masterTables())
    if (cliName == t.cliName) return &t;
  return nullptr;
}

std::vector<std::string> tableCsvLines(const TMemTable& t, bool writableOnly) {
  std::vector<int> fields;
  for (int f = 0; f < t.fieldCount(); ++f)
    if (!writableOnly || !t.field(f).readOnly) fields.push_back(f);
  std::vector<std::string> lines;
  std::string header;
  for (int f : fields) header += csv_Field(t.field(f).title());
  lines.push_back(header);
  for (int r = 0; r < t.RecordCount(); ++r) {
    std::string line;
    for (int f : fields) line += csv_Field(t.displayText(r, f));
    lines.push_back(line);
  }
  return lines;
}

void tableFromCsvLines(TMemTable& t, const std::vector<std::string>& lines) {
  t.clear();
  auto refuse = [](size_t n, const std::string& why) {
    throw std::runtime_error("line " + std::to_string(n + 1) + ": " + why);
  };
  // A file of another table would be written into the wrong parameters: its titles must match.
  if (lines.empty()) refuse(0, "the file is empty");
  std::string header = lines[0];
  for (int f = 0; f < t.fieldCount(); ++f) {
    const std::string title = take_CsvField(header);
    if (title != t.field(f).title())
      refuse(0, "column " + std::to_string(f + 1) + " is '" + excerpt(title) + "', expected '" + t.field(f).title() + "'");
  }
  for (size_t n = 1; n < lines.size(); ++n) {
    std::string line = lines[n];
    if (trimmed(line).empty()) continue;
    const int row = t.append();
    try {
      for (int f = 0; f < t.fieldCount(); ++f) {
        std::string v = take_CsvField(line);
        if (t.field(f).kind != TFieldKind::Text) {
          v = trimmed(v);
          replace_CommaWithPoint(v);
        }
        try {
          checkSendable(t.field(f).title(), v);
        } catch (const std::invalid_argument& e) {
          throw EFieldValueError(e.what());
        }
        t.setValue(row, f, v, true);
      }
    } catch (const EFieldValueError& e) {
      t.deleteRow(row);
      refuse(n, e.what());
    }
  }
}

// ---- discount / surcharge keys ----

const TParamTable& correctionsTable() {
  // The flags are read without an index and written with index "0".
  static const TParamTable table = [] {
    TParamTable t;
    t.page = "corrections";
    const auto rule = TModelRule::NotPrinterGroup;
    t.bindings = {
        {"KeyNDB_forbidden", "", WIDGET_DISABLE_SURCHARGE, TParamEnc::Check, rule, nullptr, true, "0"},
        {"KeyOTS_forbidden", "", WIDGET_DISABLE_DISCOUNT, TParamEnc::Check, rule, nullptr, true, "0"},
        {"KeyNDB_value", "", WIDGET_SURCHARGE_SUM, TParamEnc::Hundredths, rule},
        {"KeyNDB_percentage", "", WIDGET_SURCHARGE_PERCENT, TParamEnc::Hundredths, rule},
        {"KeyOTS_value", "", WIDGET_DISCOUNT_SUM, TParamEnc::Hundredths, rule},
        {"KeyOTS_percentage", "", WIDGET_DISCOUNT_PERCENT, TParamEnc::Hundredths, rule},
    };
    for (const auto& b : t.bindings) t.readOrder.push_back(b.key());
    t.saveOrder = t.readOrder;
    return t;
  }();
  return table;
}

bool readCorrections(TDeviceOps& ops, TPageValues& values) { return readParams(ops, correctionsTable(), values); }

bool saveCorrections(TDeviceOps& ops, const TPageValues& values) {
  if (!saveParams(ops, correctionsTable(), values)) return false;
  ops.informSaved();
  return true;
}

TConfigPage correctionsConfigPage() {
  return paramTableConfigPage(correctionsTable(), readCorrections, saveCorrections);
}

}  // namespace kestrel
