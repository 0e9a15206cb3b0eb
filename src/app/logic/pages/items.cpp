#include "app/logic/pages/items.h"

#include <algorithm>
#include <charconv>
#include <numeric>
#include <stdexcept>
#include <utility>

#include "app/logic/device_ops.h"
#include "app/logic/field_helpers.h"
#include "app/logic/mem_table.h"
#include "app/logic/page_table.h"
#include "app/logic/pages/then_always.h"
#include "engine/engine_types.h"
#include "support/err_container.h"
#include "support/fd_misc.h"

namespace kestrel {

namespace {

// Grid order of fdmt_Articles.
enum ArticleField {
  fPLU, fVAT, fName, fDept, fStock, fPriceType, fPrice, fTurnover, fStockQty, fSoldQty, fBarcode1
};

std::string num(int64_t v) { return std::to_string(v); }

// Runs `body`; an exception goes on with `method` as its prefix.
template <class F>
auto prefixed(const char* method, F body) {
  try {
    return body();
  } catch (const std::exception& e) {
    throw std::runtime_error(exceptionText(method, e.what()));
  }
}

int64_t wholeNumber(const std::string& text, bool allowSign) {
  int64_t v = 0;
  const char* b = text.data();
  const char* e = b + text.size();
  if (!allowSign && b != e && (*b == '-' || *b == '+')) throw std::invalid_argument("'" + text + "' is not a valid integer value");
  auto [p, ec] = std::from_chars(b, e, v);
  if (text.empty() || ec != std::errc() || p != e) throw std::invalid_argument("'" + text + "' is not a valid integer value");
  return v;
}

}  // namespace

const char* menuHandlerName(TMenuEntry entry) {
  switch (entry) {
    case TMenuEntry::All: return "mniAllItemsClick";
    case TMenuEntry::Range: return "mniRangeItemsClick";
    case TMenuEntry::Selected: return "mniSelectedItemsClick";
  }
  return "";
}

namespace {

TFieldDef fixedField(const char* name, TFieldKind kind, const char* label, const char* def, bool negative) {
  TFieldDef f;
  f.name = name;
  f.kind = kind;
  f.displayLabel = label;
  f.defaultText = def;
  f.displayFormat = kind == TFieldKind::Money ? "0.00" : "0.000";
  f.allowNegative = negative;
  return f;
}

TFieldDef stockQtyField() { return fixedField("StockQty", TFieldKind::Quantity, "Stock qty", "0", true); }

}  // namespace

void prepareArticlesTable(TMemTable& table) {
  table.clear();
  if (table.fieldCount() > 0) return;
  auto integer = [&](const char* name, int64_t lo, int64_t hi, const char* label = "", const char* def = "") {
    TFieldDef f;
    f.name = name;
    f.kind = TFieldKind::Integer;
    f.minValue = lo;
    f.maxValue = hi;
    f.displayLabel = label;
    f.defaultText = def;
    table.addField(f);
  };
  auto text = [&](const char* name, int size) {
    TFieldDef f;
    f.name = name;
    f.size = size;
    table.addField(f);
  };
  auto fixed = [&](const char* name, TFieldKind kind, const char* label, const char* def, bool negative) {
    table.addField(fixedField(name, kind, label, def, negative));
  };
  integer("PLU", 1, MAX_PROGRAMMABLE_PLU);
  integer("VAT", 1, 5);
  text("Name", 72);
  integer("Dept", 0, 99, "Department", "0");
  integer("Stock", 1, 99, "Group", "1");
  integer("PriceType", 0, 2, "Price type", "0");
  // A price has no limits of its own: discounts and deposit returns are negative.
  fixed("Price", TFieldKind::Money, "", "", true);
  // Refunds and sales from stock take these below zero in the device.
  fixed("Turnover", TFieldKind::Money, "", "0", true);
  table.addField(stockQtyField());
  fixed("SoldQty", TFieldKind::Quantity, "Sold qty", "", true);
  for (int b = 1; b <= 4; ++b) text(("Barcode" + std::to_string(b)).c_str(), 13);
}

std::string itemReadInput(int64_t plu) { return "R\t" + num(plu) + "\t"; }
std::string itemFirstInput(int64_t lowest) { return "F\t" + num(lowest) + "\t"; }
std::string itemLastInput(int64_t highest) { return "L\t" + num(highest) + "\t"; }
std::string itemDeleteInput(int64_t plu) { return "D\t" + num(plu) + "\t\t"; }
std::string itemDeleteRangeInput(int64_t from, int64_t to) { return "D\t" + num(from) + "\t" + num(to) + "\t"; }
std::string itemDeleteAllInput() { return "D\tA\t\t"; }
std::string itemQuantityInput(int64_t plu, int64_t change) {
  return "A\t" + num(plu) + "\t" + formatFixed(change, 3) + "\t";
}

void checkItemRow(const TMemTable& t, int row) {
  if (t.value(row, fPLU).empty()) throw EFieldValueError("PLU: an item needs its number");
  try {
    for (int f : {int(fName), int(fBarcode1), fBarcode1 + 1, fBarcode1 + 2, fBarcode1 + 3})
      checkSendable(t.field(f).name, t.value(row, f));
  } catch (const std::invalid_argument& e) {
    throw EFieldValueError(e.what());
  }
}

std::string itemProgramInput(const TMemTable& t, int row) {
  checkItemRow(t, row);
  auto integer = [&](int f) {
    const std::string v = t.value(row, f);
    return v.empty() ? std::string("0") : v;
  };
  std::string in = "P\t";
  for (int f : {fPLU, fVAT, fDept, fStock, fPriceType}) in += integer(f) + "\t";
  // An empty amount is a zero amount.
  auto amount = [&](int f, const char* zero) {
    const std::string v = t.displayText(row, f);
    return v.empty() ? std::string(zero) : v;
  };
  in += amount(fPrice, "0.00") + "\t";
  in += "\t";  // Turnover and SoldQty are the device's own
  in += amount(fStockQty, "0.000") + "\t";
  for (int b = 0; b < 4; ++b) in += t.value(row, fBarcode1 + b) + "\t";
  in += t.value(row, fName) + "\t";
  return in;
}

int64_t rangeNumber(const std::string& text) { return wholeNumber(text, false); }

int64_t quantityChange(const std::string& text) {
  const bool negative = !text.empty() && text[0] == '-';
  const std::string digits = negative || (!text.empty() && text[0] == '+') ? text.substr(1) : text;
  const auto v = parseFixed(digits);
  if (!v) {
    // A well-formed number that the quantity cannot hold is refused as too large.
    const auto point = digits.find('.');
    const std::string whole = digits.substr(0, point);
    const std::string frac = point == std::string::npos ? "" : digits.substr(point + 1);
    auto onlyDigits = [](const std::string& x) { return x.find_first_not_of("0123456789") == std::string::npos; };
    if (!(whole.empty() && frac.empty()) && onlyDigits(whole) && onlyDigits(frac) && frac.size() <= 4)
      throw EFieldValueError(refusalText(stockQtyField(), text));
    throw std::invalid_argument("'" + text + "' is not a valid floating point value");
  }
  checkDecimals("StockQty", text, 3);
  return negative ? -*v : *v;
}

// ---- rows ----

int64_t TItemsOps::pluOf(int row) const { return fTable.number(row, fPLU).value_or(0); }

int TItemsOps::rowOfPlu(int64_t plu) const {
  for (int r = 0; r < fTable.RecordCount(); ++r)
    if (pluOf(r) == plu) return r;
  return -1;
}

std::vector<int> TItemsOps::rowIndex() const {
  std::vector<int> index(MAX_PROGRAMMABLE_PLU + 1, -1);
  for (int r = fTable.RecordCount() - 1; r >= 0; --r) {
    const int64_t plu = pluOf(r);
    if (plu >= 1 && plu <= MAX_PROGRAMMABLE_PLU) index[static_cast<size_t>(plu)] = r;
  }
  return index;
}

std::vector<int> TItemsOps::narrow(int64_t& from, int64_t& to) const {
  std::vector<int> index = rowIndex();
  const int last = fTable.RecordCount() - 1;
  if (last < 0) return index;
  auto held = [&](int64_t plu) {
    return plu >= 1 && plu <= MAX_PROGRAMMABLE_PLU ? index[static_cast<size_t>(plu)] >= 0 : rowOfPlu(plu) >= 0;
  };
  if (!held(from)) from = pluOf(0);
  if (!held(to)) to = pluOf(last);
  return index;
}

TLoopOutcome TItemsOps::finish(const TRecordLoop& loop) {
  outcome = loop.outcome();
  return outcome;
}

// ---- reading ----

void TItemsOps::appendAnswered() {
  const int row = fTable.append();
  if (row < 0) throw std::runtime_error("The table takes no more rows.");
  // No half-filled row stays behind.
  auto removeRow = always([&] { fTable.deleteRow(row); });
  fTable.setValue(row, fPLU, fOps.field(1));
  for (int f = fVAT; f <= fPriceType; ++f) {
    static const int answerField[] = {0, 2, 0, 3, 4, 5};
    fTable.setValue(row, f, fOps.field(answerField[f]));
  }
  fTable.setValue(row, fPrice, fOps.field(6));
  fTable.setValue(row, fTurnover, fOps.field(7));
  fTable.setValue(row, fSoldQty, fOps.field(8));
  fTable.setValue(row, fStockQty, fOps.field(9));
  for (int b = 0; b < 4; ++b) fTable.setValue(row, fBarcode1 + b, fOps.field(10 + b));
  fTable.setValue(row, fName, fOps.field(14));
  removeRow.dismiss();
}

bool TItemsOps::readItem(int64_t plu) {
  return prefixed("readItem", [&] {
    TDeviceOps::ShowErrOff quiet(fOps);
    if (!fOps.command(107, itemReadInput(plu))) return false;
    appendAnswered();
    return true;
  });
}

bool TItemsOps::readStep(int64_t plu, TRecordLoop& loop) {
  TDeviceOps::ShowErrOff quiet(fOps);
  loop.asking(plu);
  if (!fOps.command(107, itemReadInput(plu))) {
    if (fOps.lastCommandOk() && fOps.err.LastErrorCode() == CODE_PLU_NOT_FOUND) {
      loop.noRecord(plu);
      return true;
    }
    loop.commandFailed(plu);
    return false;
  }
  try {
    appendAnswered();
    loop.answered(plu);
  } catch (const std::exception& e) {
    // One row the table cannot hold loses that row only, named at the end.
    loop.refused(plu, "PLU " + std::to_string(plu) + ": " + e.what());
    fHost.set_StatusText("PLU " + std::to_string(plu) + ": " + e.what());
  }
  return false;
}

int TItemsOps::nextProgrammed(int64_t plu, int64_t& next) {
  // Asked unjudged: a device without "F" is no error of the read, it is read number by
  // number instead.
  if (fOps.commandUnjudged(107, itemFirstInput(plu))) {
    try {
      next = wholeNumber(fOps.field(1), false);
      return next >= plu ? 1 : -1;
    } catch (const std::exception&) {
      return -1;
    }
  }
  return fOps.lastCommandOk() && fOps.err.LastErrorCode() == CODE_PLU_NOT_FOUND ? 0 : -1;
}

void TItemsOps::readRange(int64_t fromPlu, int64_t toPlu, TRecordLoop& loop) {
  fTable.clear();
  if (toPlu < fromPlu || loop.ended()) return;
  const int64_t count = toPlu - fromPlu + 1;
  ProgressScope progress(fHost, 1, static_cast<int>(count));
  fHost.progressSet(1);
  bool skip = skipEmpty;
  int64_t plu = fromPlu;
  while (plu <= toPlu) {
    fHost.processMessages();
    const bool missing = readStep(plu, loop);
    if (loop.ended() || loop.stopRequested()) return;
    fHost.progressSet(static_cast<int>(plu - fromPlu + 1));
    if (missing && skip && plu < toPlu) {
      int64_t next = 0;
      const int r = nextProgrammed(plu + 1, next);
      if (loop.waitCancelled()) return;
      if (r == 0) break;  // nothing programmed above
      if (r == 1) {
        plu = next;
        continue;
      }
      skip = false;
    }
    ++plu;
  }
  loop.outcome().reached = toPlu;
  fHost.progressSet(static_cast<int>(count));
}

TLoopOutcome TItemsOps::ReadItems_inRange(int64_t fromPlu, int64_t toPlu) {
  TRecordLoop loop(fOps, fHost, 0);
  readRange(fromPlu, toPlu, loop);
  return finish(loop);
}

TLoopOutcome TItemsOps::readAll() {
  TRecordLoop loop(fOps, fHost, 0);
  int64_t first = 1, last = MAX_PROGRAMMABLE_PLU;
  items_findFirstAndLast(first, last);
  if (!loop.waitCancelled()) readRange(first, last, loop);
  return finish(loop);
}

void TItemsOps::items_findFirstAndLast(int64_t& first, int64_t& last) {
  try {
    if (!fOps.command(107, itemFirstInput(first))) return;
    first = wholeNumber(fOps.field(1), false);
    if (!fOps.command(107, itemLastInput(last))) return;
    last = wholeNumber(fOps.field(1), false);
  } catch (const std::exception& e) {
    fOps.misc.myAlert(exceptionText("items_findFirstAndLast", e.what()), TITLE_KESTREL, inf_OkBtn);
  }
}

// ---- saving ----

bool TItemsOps::SaveItem(int64_t plu) {
  return prefixed("SaveItem", [&] {
    if (current < 0 || current >= fTable.RecordCount() || pluOf(current) != plu) current = rowOfPlu(plu);
    if (current < 0) throw std::runtime_error("No row with PLU " + num(plu) + ".");
    return fOps.command(107, itemProgramInput(fTable, current));
  });
}

bool TItemsOps::saveStep(TRecordLoop& loop, int64_t plu) {
  loop.asking(plu);
  if (SaveItem(plu)) {
    loop.answered(plu);
    return true;
  }
  // The first item that fails ends a save; the ones before it stay written.
  if (loop.commandFailed(plu)) loop.fail({});
  return false;
}

TLoopOutcome TItemsOps::SaveInRange(int64_t fromID, int64_t toID) {
  return prefixed("SaveInRange", [&] {
    TRecordLoop loop(fOps, fHost, 0);
    if (fTable.RecordCount() == 0) {
      loop.fail("the table is empty");
      return finish(loop);
    }
    const std::vector<int> index = narrow(fromID, toID);
    int64_t rows = 0;
    for (int64_t n = std::max<int64_t>(fromID, 1); n <= std::min(toID, MAX_PROGRAMMABLE_PLU); ++n)
      rows += index[static_cast<size_t>(n)] >= 0;
    loop.outcome().total = rows;
    ProgressScope progress(fHost, 1, static_cast<int>(toID - fromID + 1));
    int position = 0;
    fHost.progressSet(1);
    for (int64_t n = fromID; n <= toID; ++n) {
      fHost.processMessages();
      const int row = n >= 1 && n <= MAX_PROGRAMMABLE_PLU ? index[static_cast<size_t>(n)] : -1;
      if (row >= 0) {
        current = row;
        if (!saveStep(loop, n)) return finish(loop);
      }
      if (loop.stopRequested()) return finish(loop);
      if (row >= 0) fHost.progressSet(++position);
    }
    fOps.informSaved();
    return finish(loop);
  });
}

TLoopOutcome TItemsOps::saveRows(std::vector<int> rows) {
  TRecordLoop loop(fOps, fHost, static_cast<int64_t>(rows.size()));
  ProgressScope progress(fHost, 1, static_cast<int>(rows.size()));
  fHost.progressSet(1);
  int position = 0;
  for (int r : rows) {
    fHost.processMessages();
    current = r;
    if (!saveStep(loop, pluOf(r))) return finish(loop);
    // Like the range loop: a stop request ends it, without the saved message.
    if (loop.stopRequested()) return finish(loop);
    fHost.progressSet(++position);
  }
  fOps.informSaved();
  return finish(loop);
}

TLoopOutcome TItemsOps::SaveAllInGrid() {
  return prefixed("SaveAllInGrid", [&] {
    std::vector<int> rows(static_cast<size_t>(fTable.RecordCount()));
    std::iota(rows.begin(), rows.end(), 0);
    return saveRows(std::move(rows));
  });
}

TLoopOutcome TItemsOps::SaveSelected_inGrid() {
  try {
    const int remembered = current;
    const TLoopOutcome r = saveRows(selected);
    if (r.ok()) current = remembered;
    return r;
  } catch (const std::exception& e) {
    fOps.misc.myAlert(exceptionText("SaveSelected_inGrid", e.what()), TITLE_KESTREL, inf_OkBtn);
    outcome = TLoopOutcome{};
    outcome.end = TLoopEnd::Failed;
    outcome.cause = e.what();
    return outcome;
  }
}

// ---- deleting ----

bool TItemsOps::DeleteItem(int64_t plu) {
  return prefixed("DeleteItem", [&] { return fOps.command(107, itemDeleteInput(plu)); });
}

bool TItemsOps::deleteRange(int64_t fromID, int64_t toID) {
  ProgressScope progress(fHost, 1, static_cast<int>(std::max<int64_t>(toID - fromID + 1, 1)));
  fHost.progressSet(1);
  if (!fOps.command(107, itemDeleteRangeInput(fromID, toID))) return false;
  // From the last row back: a table in PLU order then moves no rows.
  int position = 0;
  for (int r = fTable.RecordCount() - 1; r >= 0; --r) {
    const int64_t plu = pluOf(r);
    if (plu < fromID || plu > toID) continue;
    fHost.processMessages();
    fTable.deleteRow(r);
    fHost.progressSet(++position);
  }
  fOps.inform(MSG_ITEMS_DELETED);
  return true;
}

bool TItemsOps::DelInRange(int64_t fromID, int64_t toID) {
  return prefixed("DelInRange", [&] {
    if (fTable.RecordCount() == 0) return false;
    narrow(fromID, toID);
    return deleteRange(fromID, toID);
  });
}

bool TItemsOps::DelAll() {
  return prefixed("DelAll", [&] {
    if (!fOps.command(107, itemDeleteAllInput())) return false;
    fTable.clear();
    current = -1;
    fOps.inform(MSG_ITEMS_DELETED);
    return true;
  });
}

TLoopOutcome TItemsOps::DelSelectedInGrid() {
  TRecordLoop loop(fOps, fHost, static_cast<int64_t>(selected.size()));
  try {
    std::vector<int> rows = selected;
    int remembered = current;
    ProgressScope progress(fHost, 1, static_cast<int>(rows.size()));
    fHost.progressSet(1);
    int position = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
      fHost.processMessages();
      const int r = rows[i];
      current = r;
      if (loop.stopRequested()) return finish(loop);
      const int64_t plu = pluOf(r);
      loop.asking(plu);
      if (!DeleteItem(plu)) {
        if (loop.commandFailed(plu)) loop.fail({});
        return finish(loop);
      }
      loop.answered(plu);
      fTable.deleteRow(r);
      // The rows below move up by one.
      for (size_t j = i + 1; j < rows.size(); ++j)
        if (rows[j] > r) --rows[j];
      if (remembered == r) remembered = -1;
      else if (remembered > r) --remembered;
      fHost.progressSet(++position);
    }
    selected.clear();
    current = remembered < fTable.RecordCount() ? remembered : -1;
    fOps.inform(MSG_ITEMS_DELETED);
  } catch (const std::exception& e) {
    fOps.misc.myAlert(exceptionText("DelSelectedInGrid", e.what()), TITLE_KESTREL, inf_OkBtn);
    loop.fail(e.what());
  }
  return finish(loop);
}

TLoopOutcome TItemsOps::deletePlus(const std::vector<int64_t>& plus) {
  TRecordLoop loop(fOps, fHost, static_cast<int64_t>(plus.size()));
  loop.untilFirstFailure(plus, [this](int64_t plu) { return DeleteItem(plu); }, [] {});
  if (!loop.ended()) fOps.inform(MSG_ITEMS_DELETED);
  return finish(loop);
}

// ---- quantity ----

bool TItemsOps::changeQuantity(int row, const std::string& changeText) {
  const int64_t change = quantityChange(changeText);
  // Refused before anything is sent: the grid could not show the device's new quantity.
  int64_t sum = 0;
  if (__builtin_add_overflow(fTable.number(row, fStockQty).value_or(0), change, &sum))
    throw EFieldValueError(refusalText(stockQtyField(), changeText));
  if (!fOps.command(107, itemQuantityInput(pluOf(row), change))) return false;
  fTable.setValue(row, fStockQty, formatFixed(sum, 4));
  return true;
}

bool TItemsOps::btnChangeQTYClick() {
  if (current < 0 || current >= fTable.RecordCount()) return false;
  std::string text = "0";
  if (!fHost.enterNumber(text)) return false;
  return changeQuantity(current, text);
}

// ---- the menu ----

const TLoopWords* menuLoopWords(int popAction, TMenuEntry entry) {
  if (popAction == popRead) return &ITEMS_READ;
  if (popAction == popSave) return &ITEMS_SAVE;
  return entry == TMenuEntry::Selected ? &ITEMS_DELETE : nullptr;
}

std::optional<TLoopOutcome> TItemsOps::menuAction(int popActionItems, TMenuEntry entry) {
  // A single command's result as an outcome: done, or failed with the device's reason.
  auto single = [&](bool ok) {
    outcome = TLoopOutcome{};
    if (!ok) {
      outcome.end = fOps.lastCancelled() ? TLoopEnd::Stopped : TLoopEnd::Failed;
      outcome.cause = fOps.err.LastErrorMessage();
    }
    return outcome;
  };
  if (entry == TMenuEntry::All) {
    if (popActionItems == popRead) return readAll();
    if (popActionItems == popSave) return SaveAllInGrid();
    return single(popActionItems == popDelete && DelAll());
  }
  if (entry == TMenuEntry::Selected) {
    if (popActionItems == popSave) return SaveSelected_inGrid();
    if (popActionItems == popDelete) return DelSelectedInGrid();
    return std::nullopt;
  }
  TRangeChoice range;
  if (!fHost.chooseRange(range, false)) return std::nullopt;
  const int64_t from = rangeNumber(range.from), to = rangeNumber(range.to);
  if (popActionItems == popRead) return ReadItems_inRange(from, to);
  if (popActionItems == popSave) return SaveInRange(from, to);
  return single(popActionItems == popDelete && DelInRange(from, to));
}

}  // namespace kestrel
