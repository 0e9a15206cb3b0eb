#include "app/logic/mem_table.h"

#include <algorithm>
#include <charconv>
#include <string_view>

#include "support/utf8.h"

namespace kestrel {

namespace {

bool isFixed(TFieldKind k) { return k == TFieldKind::Money || k == TFieldKind::Quantity; }

int decimalsOf(const TFieldDef& f) {
  const auto dot = f.displayFormat.find('.');
  if (dot != std::string::npos) return static_cast<int>(f.displayFormat.size() - dot - 1);
  return f.kind == TFieldKind::Quantity ? 3 : 2;
}

std::string boundText(const TFieldDef& f, int64_t v) {
  return isFixed(f.kind) ? formatFixed(v, decimalsOf(f)) : std::to_string(v);
}

std::string rangeText(const TFieldDef& f) {
  if (f.kind == TFieldKind::Text) return "0 to " + std::to_string(f.size) + " characters";
  if (f.kind == TFieldKind::Boolean) return "0 to 1";
  // A fixed-point field without limits still holds only what 64 bits hold.
  const bool fixed = isFixed(f.kind);
  std::string from = f.minValue ? boundText(f, *f.minValue)
                     : fixed    ? (f.allowNegative ? boundText(f, -INT64_MAX) : "0")
                                : "any number";
  std::string to = f.maxValue ? boundText(f, *f.maxValue) : fixed ? boundText(f, INT64_MAX) : "any number";
  return from + " to " + to;
}

}  // namespace

std::string refusalText(const TFieldDef& f, const std::string& text) {
  return "'" + excerpt(text) + "' is not a valid value for field '" + f.title() + "'. The allowed range is " + rangeText(f) + ".";
}

namespace {

[[noreturn]] void refuse(const TFieldDef& f, const std::string& text) { throw EFieldValueError(refusalText(f, text)); }

}  // namespace

std::optional<int64_t> parseFixed(const std::string& text) {
  if (text.empty()) return std::nullopt;
  int64_t whole = 0, frac = 0;
  int fracDigits = 0;
  bool point = false, anyDigit = false;
  for (char c : text) {
    if (c == '.') {
      if (point) return std::nullopt;
      point = true;
      continue;
    }
    if (c < '0' || c > '9') return std::nullopt;
    anyDigit = true;
    if (point) {
      if (++fracDigits > 4) return std::nullopt;
      frac = frac * 10 + (c - '0');
    } else {
      if (whole > (INT64_MAX / FIXED_SCALE) / 10) return std::nullopt;
      whole = whole * 10 + (c - '0');
    }
  }
  if (!anyDigit) return std::nullopt;
  for (int i = fracDigits; i < 4; ++i) frac *= 10;
  // The digit check above keeps `whole` itself in range, not the value it scales to.
  if (whole > (INT64_MAX - frac) / FIXED_SCALE) return std::nullopt;
  return whole * FIXED_SCALE + frac;
}

std::optional<int64_t> parseDecimal(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::nullopt;
  std::string t = text.substr(first, text.find_last_not_of(" \t") - first + 1);
  const bool negative = t[0] == '-';
  if (t[0] == '-' || t[0] == '+') t.erase(0, 1);
  // Decimals the fixed point cannot keep round the fourth one.
  bool roundUp = false;
  if (const auto point = t.find('.'); point != std::string::npos && t.size() - point - 1 > 4) {
    const std::string rest = t.substr(point + 5);
    if (rest.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
    roundUp = rest[0] >= '5';
    t.erase(point + 5);
  }
  auto v = parseFixed(t);
  if (!v || (roundUp && *v == INT64_MAX)) return std::nullopt;
  if (roundUp) ++*v;
  return negative ? -*v : *v;
}

std::string shortestDecimal(int64_t value) {
  std::string s = formatFixed(value, 4);
  s.erase(s.find_last_not_of('0') + 1);
  if (s.back() == '.') s.pop_back();
  return s;
}

void appendFixed(std::string& out, int64_t value, int decimals) {
  if (decimals < 0) decimals = 0;
  if (decimals > 4) decimals = 4;
  const bool negative = value < 0;
  uint64_t v = negative ? static_cast<uint64_t>(-(value + 1)) + 1 : static_cast<uint64_t>(value);
  uint64_t step = 1;
  for (int i = decimals; i < 4; ++i) step *= 10;
  v = (v + step / 2) / step;  // half away from zero
  uint64_t unit = 1;
  for (int i = 0; i < decimals; ++i) unit *= 10;
  char text[32];
  char* end = text;
  if (negative && v != 0) *end++ = '-';
  end = std::to_chars(end, text + sizeof text, v / unit).ptr;
  if (decimals > 0) {
    *end++ = '.';
    // The decimals with their leading zeros: unit + fraction has one digit too many.
    char frac[8];
    char* fracEnd = std::to_chars(frac, frac + sizeof frac, unit + v % unit).ptr;
    end = std::copy(frac + 1, fracEnd, end);
  }
  out.append(text, end);
}

int64_t decimalValue(const std::string& text) {
  const auto v = parseDecimal(text);
  if (!v) throw std::invalid_argument("'" + excerpt(text) + "' is not a valid floating point value");
  return *v;
}

std::string formatFixed(int64_t value, int decimals) {
  std::string out;
  appendFixed(out, value, decimals);
  return out;
}

TFieldDef& TMemTable::addField(TFieldDef def) {
  if (def.validChars.empty() && isFixed(def.kind)) def.validChars = "0123456789.";
  fFields.push_back(std::move(def));
  // A new text field is the last one: its empty text ends where the row's texts end.
  const bool text = fFields.back().kind == TFieldKind::Text;
  const size_t at = (fFields.size() - 1) * sizeof(int64_t);
  for (auto& r : fRows) {
    r.block.insert(at, sizeof(int64_t), '\0');
    r.setNumber(fFields.size() - 1, text ? static_cast<int64_t>(r.block.size() - textsBase()) : kNull);
  }
  return fFields.back();
}

size_t TMemTable::textStart(const Row& r, int fieldIdx) const {
  for (int i = fieldIdx - 1; i >= 0; --i)
    if (fFields[static_cast<size_t>(i)].kind == TFieldKind::Text) return static_cast<size_t>(r.number(static_cast<size_t>(i)));
  return 0;
}

std::string_view TMemTable::cellText(const Row& r, int fieldIdx) const {
  const size_t start = textStart(r, fieldIdx);
  return std::string_view(r.block).substr(textsBase() + start, static_cast<size_t>(r.number(static_cast<size_t>(fieldIdx))) - start);
}

bool TMemTable::cellNull(const Row& r, int fieldIdx) const {
  if (fFields[static_cast<size_t>(fieldIdx)].kind == TFieldKind::Text) return cellText(r, fieldIdx).empty();
  return r.number(static_cast<size_t>(fieldIdx)) == kNull;
}

void TMemTable::store(Row& r, int fieldIdx, const Cell& c) const {
  const size_t idx = static_cast<size_t>(fieldIdx);
  if (fFields[idx].kind != TFieldKind::Text) {
    r.setNumber(idx, c.null ? kNull : c.number);
    return;
  }
  const size_t start = textStart(r, fieldIdx);
  const size_t oldEnd = static_cast<size_t>(r.number(idx));
  const std::string& text = c.null ? std::string() : c.text;
  const size_t from = textsBase() + start, to = textsBase() + oldEnd;
  const size_t need = r.block.size() - (to - from) + text.size();
  if (need > r.block.capacity()) {
    // A block of exactly the row's size: growing in place would double it, and rows
    // are many and seldom change again.
    std::string grown;
    grown.reserve(need);
    grown.append(r.block, 0, from).append(text).append(r.block, to);
    r.block.swap(grown);
  } else {
    r.block.replace(from, to - from, text);
  }
  const int64_t shift = static_cast<int64_t>(text.size()) - static_cast<int64_t>(oldEnd - start);
  for (size_t i = idx; i < fFields.size(); ++i)
    if (fFields[i].kind == TFieldKind::Text) r.setNumber(i, r.number(i) + shift);
}

int TMemTable::fieldIndex(const std::string& fieldName) const {
  for (size_t i = 0; i < fFields.size(); ++i)
    if (fFields[i].name == fieldName) return static_cast<int>(i);
  return -1;
}

TMemTable::Cell TMemTable::convert(const TFieldDef& f, const std::string& text) const {
  Cell c;
  if (text.empty()) return c;  // an empty cell is null whatever the kind
  c.null = false;
  switch (f.kind) {
    case TFieldKind::Text:
      if (f.size > 0 && utf8Length(text) > static_cast<size_t>(f.size)) refuse(f, text);
      c.text = text;
      return c;
    case TFieldKind::Boolean: {
      // The words of "Yes;No" are taken as well, so a grid's text goes back in.
      const auto semi = f.displayFormat.find(';');
      const bool yes = text == "1" || (semi != std::string::npos && text == f.displayFormat.substr(0, semi));
      const bool no = text == "0" || (semi != std::string::npos && text == f.displayFormat.substr(semi + 1));
      if (!yes && !no) refuse(f, text);
      c.number = yes;
      return c;
    }
    case TFieldKind::Integer: {
      int64_t v = 0;
      const char* b = text.data();
      const char* e = b + text.size();
      auto [p, ec] = std::from_chars(b, e, v);
      // The smallest number marks an empty cell in a row.
      if (ec != std::errc() || p != e || v == kNull) refuse(f, text);
      c.number = v;
      break;
    }
    case TFieldKind::Money:
    case TFieldKind::Quantity: {
      const bool negative = f.allowNegative && text.size() > 1 && text[0] == '-';
      auto v = parseFixed(negative ? text.substr(1) : text);
      if (!v) refuse(f, text);
      c.number = negative ? -*v : *v;
      break;
    }
  }
  if ((f.minValue && c.number < *f.minValue) || (f.maxValue && c.number > *f.maxValue)) refuse(f, text);
  return c;
}

void TMemTable::checkRow(int row) const {
  if (row < 0 || row >= RecordCount()) throw std::out_of_range(fName + ": no row " + std::to_string(row));
}

int TMemTable::append() {
  Row row;
  row.block.assign(textsBase(), '\0');  // every text field ends at 0: no texts yet
  for (size_t i = 0; i < fFields.size(); ++i) {
    store(row, static_cast<int>(i), convert(fFields[i], fFields[i].defaultText));
  }
  fRows.push_back(std::move(row));
  fCancelled = false;
  if (AfterInsert) AfterInsert(*this);
  if (fCancelled) {
    fCancelled = false;
    fRows.pop_back();
    return -1;
  }
  return RecordCount() - 1;
}

void TMemTable::setValue(int row, const std::string& fieldName, const std::string& text, bool force) {
  const int idx = fieldIndex(fieldName);
  if (idx < 0) throw std::out_of_range(fName + ": no field " + fieldName);
  setValue(row, idx, text, force);
}

void TMemTable::setValue(int row, int fieldIdx, const std::string& text, bool force) {
  checkRow(row);
  const TFieldDef& f = field(fieldIdx);
  if (f.readOnly && !force) throw EFieldValueError("Field '" + f.title() + "' cannot be modified");
  store(fRows[static_cast<size_t>(row)], fieldIdx, convert(f, text));
  if (AfterPost) AfterPost(*this);
}

std::string TMemTable::value(int row, const std::string& fieldName) const {
  const int idx = fieldIndex(fieldName);
  if (idx < 0) throw std::out_of_range(fName + ": no field " + fieldName);
  return value(row, idx);
}

std::string TMemTable::value(int row, int fieldIdx) const {
  checkRow(row);
  const TFieldDef& f = field(fieldIdx);
  const Row& r = fRows[static_cast<size_t>(row)];
  if (cellNull(r, fieldIdx)) return {};
  if (f.kind == TFieldKind::Text) return std::string(cellText(r, fieldIdx));
  const int64_t number = r.number(static_cast<size_t>(fieldIdx));
  if (isFixed(f.kind)) return formatFixed(number, 4);
  return std::to_string(number);
}

std::string TMemTable::displayText(int row, int fieldIdx) const {
  std::string out;
  appendDisplayText(out, row, fieldIdx);
  return out;
}

void TMemTable::appendDisplayText(std::string& out, int row, int fieldIdx) const {
  checkRow(row);
  const TFieldDef& f = field(fieldIdx);
  const Row& r = fRows[static_cast<size_t>(row)];
  if (cellNull(r, fieldIdx)) return;
  const int64_t number = r.number(static_cast<size_t>(fieldIdx));
  switch (f.kind) {
    case TFieldKind::Text:
      out += cellText(r, fieldIdx);
      return;
    case TFieldKind::Money:
    case TFieldKind::Quantity:
      appendFixed(out, number, decimalsOf(f));
      return;
    case TFieldKind::Boolean: {
      const auto semi = f.displayFormat.find(';');
      if (semi != std::string::npos) {
        out += number ? std::string_view(f.displayFormat).substr(0, semi) : std::string_view(f.displayFormat).substr(semi + 1);
        return;
      }
      break;
    }
    case TFieldKind::Integer:
      break;
  }
  char text[24];
  out.append(text, std::to_chars(text, text + sizeof text, number).ptr);
}

std::optional<int64_t> TMemTable::number(int row, int fieldIdx) const {
  checkRow(row);
  const TFieldDef& f = field(fieldIdx);
  const Row& r = fRows[static_cast<size_t>(row)];
  if (f.kind == TFieldKind::Text || cellNull(r, fieldIdx)) return std::nullopt;
  return r.number(static_cast<size_t>(fieldIdx));
}

bool TMemTable::isNull(int row, int fieldIdx) const {
  checkRow(row);
  field(fieldIdx);  // range check of the field, as before
  return cellNull(fRows[static_cast<size_t>(row)], fieldIdx);
}

void TMemTable::deleteRow(int row) {
  checkRow(row);
  fRows.erase(fRows.begin() + row);
  if (AfterDelete) AfterDelete(*this);
}

bool TMemTable::acceptsChar(int fieldIdx, char32_t ch) const {
  const std::string& allowed = field(fieldIdx).validChars;
  if (allowed.empty()) return true;
  return ch < 128 && allowed.find(static_cast<char>(ch)) != std::string::npos;
}

void prepareLinesTable(TMemTable& table) {
  table.clear();
  if (table.fieldIndex("ID") < 0) {
    TFieldDef id;
    id.name = "ID";
    id.kind = TFieldKind::Integer;
    id.displayLabel = "Row";
    id.minValue = 1;
    id.maxValue = 10;
    id.readOnly = true;
    table.addField(id);
    TFieldDef text;
    text.name = "Text";
    text.size = 64;
    table.addField(text);
  }
  // Filled without hooks: these rows are the table's fixed shape, not user edits.
  auto afterInsert = std::move(table.AfterInsert);
  auto afterPost = std::move(table.AfterPost);
  table.AfterInsert = nullptr;
  table.AfterPost = nullptr;
  for (int i = 1; i <= 10; ++i) table.setValue(table.append(), "ID", std::to_string(i), true);
  table.AfterInsert = std::move(afterInsert);
  table.AfterPost = std::move(afterPost);
}

}  // namespace kestrel
