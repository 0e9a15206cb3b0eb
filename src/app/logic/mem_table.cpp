#include "app/logic/mem_table.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <string_view>
#include <utility>

#if !defined(_WIN32)
#include <sys/mman.h>
#endif

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

std::optional<int64_t> parseFixed(std::string_view text) {
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

namespace {

// Chunks grow with the table, from a size that costs a small table (ten header lines)
// nothing to one that a 100,000-row import fills in a few steps.
constexpr size_t kFirstChunk = 16u << 10, kLastChunk = 4u << 20;
// A block of half this or more is mapped on its own, in whole huge pages and aligned
// to them, so that the kernel may back it with huge pages: a large import then takes a
// few page faults instead of thousands.
constexpr size_t kHugePage = 2u << 20;

#if defined(_WIN32)
// Windows gives large blocks from the heap: huge pages there need a privilege the
// technician's account does not have.
bool mappedAlone(size_t) { return false; }
size_t wholeHugePages(size_t bytes) { return bytes; }
char* mapChunk(size_t size) { return static_cast<char*>(::operator new(size)); }
void unmapChunk(void* p, size_t) { ::operator delete(p); }
#else
bool mappedAlone(size_t bytes) { return bytes >= kHugePage / 2; }
size_t wholeHugePages(size_t bytes) { return (bytes + kHugePage - 1) & ~(kHugePage - 1); }

char* mapChunk(size_t size) {
  void* p = ::mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  const auto start = reinterpret_cast<uintptr_t>(p);
  const uintptr_t aligned = (start + kHugePage - 1) & ~(uintptr_t(kHugePage) - 1);
  if (aligned > start) ::munmap(p, aligned - start);
  if (const size_t tail = kHugePage - (aligned - start)) ::munmap(reinterpret_cast<char*>(aligned + size), tail);
#ifdef MADV_HUGEPAGE
  ::madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
#endif
  return reinterpret_cast<char*>(aligned);
}

void unmapChunk(void* p, size_t bytes) { ::munmap(p, bytes); }
#endif

}  // namespace

char* TMemTable::RowStore::allocateBlock(size_t& bytes) {
  if (!mappedAlone(bytes)) return static_cast<char*>(::operator new(bytes));
  bytes = wholeHugePages(bytes);
  return mapChunk(bytes);
}

void TMemTable::RowStore::freeBlock(void* p, size_t bytes) {
  if (mappedAlone(bytes)) unmapChunk(p, wholeHugePages(bytes));
  else ::operator delete(p);
}

TMemTable::RowStore::RowStore(const RowStore& other) { *this = other; }

TMemTable::RowStore& TMemTable::RowStore::operator=(const RowStore& other) {
  if (this == &other) return *this;
  clear();
  fRows.reserve(other.fRows.size());
  for (const Row& r : other.fRows) {
    if (r.size) std::memcpy(push_back(r.size).data, r.data, r.size);
    else push_back(0);
  }
  return *this;
}

TMemTable::RowStore::RowStore(RowStore&& other) noexcept { *this = std::move(other); }

TMemTable::RowStore& TMemTable::RowStore::operator=(RowStore&& other) noexcept {
  if (this == &other) return *this;
  freeChunks();
  fRows = std::move(other.fRows);
  fChunks = std::move(other.fChunks);
  fChunkBytes = std::exchange(other.fChunkBytes, 0);
  fGaps = std::exchange(other.fGaps, 0);
  fReserved = std::exchange(other.fReserved, 0);
  other.fRows.clear();
  other.fChunks.clear();
  return *this;
}

TMemTable::RowStore::~RowStore() { freeChunks(); }

void TMemTable::RowStore::freeChunks() {
  for (const Chunk& c : fChunks) freeBlock(c.data, c.size);
  fChunks.clear();
  fChunkBytes = 0;
  fGaps = 0;
}

void TMemTable::RowStore::clear() {
  fRows.clear();
  freeChunks();
  fReserved = 0;
}

char* TMemTable::RowStore::allocate(size_t bytes) {
  if (fChunks.empty() || fChunks.back().size - fChunks.back().used < bytes) {
    // What is left of the chunk before stays unused: rows never span two chunks.
    if (!fChunks.empty()) fGaps += fChunks.back().size - fChunks.back().used;
    size_t size = std::max(bytes, std::clamp(std::max(fChunkBytes, fReserved), kFirstChunk, kLastChunk));
    fChunks.reserve(fChunks.size() + 1);
    char* data = allocateBlock(size);
    fChunks.push_back({data, size, 0});
    fChunkBytes += size;
  }
  Chunk& c = fChunks.back();
  char* p = c.data + c.used;
  c.used += bytes;
  return p;
}

TMemTable::Row& TMemTable::RowStore::push_back(size_t bytes) {
  Row r;
  r.data = allocate(bytes);
  r.size = r.capacity = static_cast<uint32_t>(bytes);
  fRows.push_back(r);
  return fRows.back();
}

bool TMemTable::RowStore::newest(const Row& r) const {
  const Chunk& c = fChunks.back();
  // Blocks of other chunks compare by address too (std::less orders any pointers): one
  // may end right where this chunk begins.
  return !std::less<const char*>()(r.data, c.data) && r.data + r.capacity == c.data + c.used;
}

bool TMemTable::RowStore::mostlyGaps() const { return fGaps > kFirstChunk && fGaps > fChunkBytes / 2; }

void TMemTable::RowStore::release(Row& r) {
  // The newest block gives its room back; any other leaves a gap.
  if (newest(r)) fChunks.back().used -= r.capacity;
  else fGaps += r.capacity;
  r.data = nullptr;
  r.capacity = 0;
}

void TMemTable::RowStore::pop_back() {
  release(fRows.back());
  fRows.pop_back();
}

void TMemTable::RowStore::erase(size_t i) {
  release(fRows[i]);
  fRows.erase(fRows.begin() + static_cast<std::ptrdiff_t>(i));
  if (mostlyGaps()) compact();
}

void TMemTable::RowStore::grow(Row& r, size_t bytes) {
  if (bytes <= r.capacity) return;
  // The newest block grows where it is: an import fills its rows this way.
  if (Chunk& c = fChunks.back(); newest(r) && c.size - c.used >= bytes - r.capacity) {
    c.used += bytes - r.capacity;
    r.capacity = static_cast<uint32_t>(bytes);
    return;
  }
  if (mostlyGaps()) compact();
  char* moved = allocate(bytes);
  if (r.size) std::memcpy(moved, r.data, r.size);
  fGaps += r.capacity;
  r.data = moved;
  r.capacity = static_cast<uint32_t>(bytes);
}

void TMemTable::RowStore::compact() {
  RowStore packed;
  packed.fRows.reserve(fRows.size());
  for (const Row& r : fRows) {
    Row& p = packed.push_back(r.size);
    if (r.size) std::memcpy(p.data, r.data, r.size);
  }
  freeChunks();
  fChunks = std::move(packed.fChunks);
  fChunkBytes = std::exchange(packed.fChunkBytes, 0);
  fGaps = std::exchange(packed.fGaps, 0);
  packed.fChunks.clear();
  // The row handles stay where they are (callers hold them); only their blocks move.
  for (size_t i = 0; i < fRows.size(); ++i) fRows[i] = packed.fRows[i];
}

TFieldDef& TMemTable::addField(TFieldDef def) {
  if (def.validChars.empty() && isFixed(def.kind)) def.validChars = "0123456789.";
  fFields.push_back(std::move(def));
  // A new text field is the last one: its empty text ends where the row's texts end.
  const bool text = fFields.back().kind == TFieldKind::Text;
  const size_t at = (fFields.size() - 1) * sizeof(int64_t);
  layOut();
  for (size_t i = 0; i < fRows.size(); ++i) {
    Row& r = fRows[i];
    fRows.grow(r, r.size + sizeof(int64_t));
    std::memmove(r.data + at + sizeof(int64_t), r.data + at, r.size - at);
    r.size += sizeof(int64_t);
    r.setNumber(fFields.size() - 1, text ? static_cast<int64_t>(r.size - textsBase()) : kNull);
  }
  return fFields.back();
}

void TMemTable::layOut() {
  fTextBefore.assign(fFields.size(), -1);
  fTextFields.clear();
  for (size_t i = 0; i < fFields.size(); ++i) {
    if (!fTextFields.empty()) fTextBefore[i] = fTextFields.back();
    if (fFields[i].kind == TFieldKind::Text) fTextFields.push_back(static_cast<int>(i));
  }
}

size_t TMemTable::textStart(const Row& r, int fieldIdx) const {
  const int before = fTextBefore[static_cast<size_t>(fieldIdx)];
  return before < 0 ? 0 : static_cast<size_t>(r.number(static_cast<size_t>(before)));
}

std::string_view TMemTable::cellText(const Row& r, int fieldIdx) const {
  const size_t start = textStart(r, fieldIdx);
  return std::string_view(r.data + textsBase() + start, static_cast<size_t>(r.number(static_cast<size_t>(fieldIdx))) - start);
}

bool TMemTable::cellNull(const Row& r, int fieldIdx) const {
  if (fFields[static_cast<size_t>(fieldIdx)].kind == TFieldKind::Text) return cellText(r, fieldIdx).empty();
  return r.number(static_cast<size_t>(fieldIdx)) == kNull;
}

void TMemTable::store(Row& r, int fieldIdx, const Cell& c) {
  const size_t idx = static_cast<size_t>(fieldIdx);
  if (fFields[idx].kind != TFieldKind::Text) {
    r.setNumber(idx, c.null ? kNull : c.number);
    return;
  }
  const size_t start = textStart(r, fieldIdx);
  const size_t oldEnd = static_cast<size_t>(r.number(idx));
  const std::string_view text = c.null ? std::string_view() : c.text;
  const size_t from = textsBase() + start, to = textsBase() + oldEnd;
  const size_t need = r.size - (to - from) + text.size();
  if (need > UINT32_MAX) refuse(fFields[idx], std::string(text.substr(0, 64)));
  fRows.grow(r, need);
  std::memmove(r.data + from + text.size(), r.data + to, r.size - to);
  if (!text.empty()) std::memcpy(r.data + from, text.data(), text.size());
  r.size = static_cast<uint32_t>(need);
  const int64_t shift = static_cast<int64_t>(text.size()) - static_cast<int64_t>(oldEnd - start);
  if (shift == 0) return;
  for (const int i : fTextFields)
    if (i >= fieldIdx) r.setNumber(static_cast<size_t>(i), r.number(static_cast<size_t>(i)) + shift);
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
      auto v = parseFixed(std::string_view(text).substr(negative ? 1 : 0));
      if (!v) refuse(f, text);
      c.number = negative ? -*v : *v;
      break;
    }
  }
  if ((f.minValue && c.number < *f.minValue) || (f.maxValue && c.number > *f.maxValue)) refuse(f, text);
  return c;
}

void TMemTable::noRow(int row) const { throw std::out_of_range(fName + ": no row " + std::to_string(row)); }

int TMemTable::append() {
  // A field's kind may still be set after addField while there are no rows.
  if (fRows.size() == 0) layOut();
  Row& row = fRows.push_back(textsBase());
  std::memset(row.data, 0, row.size);  // every text field ends at 0: no texts yet
  for (size_t i = 0; i < fFields.size(); ++i) {
    store(row, static_cast<int>(i), convert(fFields[i], fFields[i].defaultText));
  }
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
  fRows.erase(static_cast<size_t>(row));
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
