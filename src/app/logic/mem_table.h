#pragma once
// The in-memory tables behind the window's grids: typed fields with limits, display
// labels and formats, and the hooks the window binds after an insert, a post or a delete.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel {

enum class TFieldKind { Integer, Text, Money, Quantity, Boolean };

// A value the table refuses; the message names the value, the field and the range.
class EFieldValueError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TFieldDef {
  std::string name;
  TFieldKind kind = TFieldKind::Text;
  std::string displayLabel;   // grid title; the name when empty
  std::string displayFormat;  // "0.00", "0.000" for fixed-point fields; "Yes;No" for a yes/no field
  int size = 0;               // Text: most characters (0: no limit)
  std::optional<int64_t> minValue, maxValue;  // Integer: whole numbers; Money/Quantity: in 1/10000
  bool readOnly = false;
  std::string defaultText;    // value of a new row ("" leaves it empty)
  // Characters the user may type into the field; empty: any.
  std::string validChars;
  // Money/Quantity: a leading "-" is taken (stock and sold quantities of a device go
  // below zero); the user still types only what validChars allows.
  bool allowNegative = false;

  const std::string& title() const { return displayLabel.empty() ? name : displayLabel; }
};

// The message a refused value gets: it names the value, the field and the range the
// field holds.
std::string refusalText(const TFieldDef& f, const std::string& text);

// Fixed-point values keep 4 decimals.
inline constexpr int64_t FIXED_SCALE = 10000;
// "12.5" -> 125000; nullopt for anything but digits with at most one point and at most
// four decimals (no sign, no comma), and for a value above INT64_MAX.
std::optional<int64_t> parseFixed(std::string_view text);
// 125000 with 2 decimals -> "12.50" (rounded half away from zero); the point whatever
// the locale.
std::string formatFixed(int64_t value, int decimals);
void appendFixed(std::string& out, int64_t value, int decimals);
// A decimal number as the device and the user write it: blanks around it, an optional
// sign, digits with at most one point; decimals past the fourth are rounded. nullopt for
// anything else ("1,5", "", "abc").
std::optional<int64_t> parseDecimal(const std::string& text);
// parseDecimal, or std::invalid_argument "'x' is not a valid floating point value".
int64_t decimalValue(const std::string& text);
// The shortest form of a fixed-point value: 12.5, -5, 0 (no trailing zeros, no point
// without decimals).
std::string shortestDecimal(int64_t value);

class TMemTable {
 public:
  using Hook = std::function<void(TMemTable&)>;

  explicit TMemTable(std::string name) : fName(std::move(name)) {}
  const std::string& name() const { return fName; }

  TFieldDef& addField(TFieldDef def);
  int fieldCount() const { return static_cast<int>(fFields.size()); }
  const TFieldDef& field(int index) const { return fFields.at(index); }
  TFieldDef& field(int index) { return fFields.at(index); }
  // -1 when there is no such field.
  int fieldIndex(const std::string& fieldName) const;

  int RecordCount() const { return static_cast<int>(fRows.size()); }
  // Room for `rows` rows in all, so that a large import does not hold the rows twice
  // while they move to a bigger block.
  void reserve(int rows) { fRows.reserve(static_cast<size_t>(std::max(rows, 0)), textsBase()); }

  // Appends a row with the fields' defaults and runs AfterInsert, which may call
  // cancel(); then the row is gone again. The row number, or -1 when cancelled.
  int append();
  // Inside AfterInsert: drops the row being inserted.
  void cancel() { fCancelled = true; }
  // Checks and stores the value, then runs AfterPost. A refused value throws
  // EFieldValueError and leaves the cell as it was. Read-only fields are written only
  // with `force`, as the program itself fills them.
  void setValue(int row, const std::string& fieldName, const std::string& text, bool force = false);
  void setValue(int row, int fieldIdx, const std::string& text, bool force = false);
  // Raw text of a cell: integers as digits, fixed-point values with 4 decimals ("" null).
  std::string value(int row, const std::string& fieldName) const;
  std::string value(int row, int fieldIdx) const;
  // The cell as the grid shows it (display format applied).
  std::string displayText(int row, int fieldIdx) const;
  // The same appended to `out` (a long file built without a string per cell).
  void appendDisplayText(std::string& out, int row, int fieldIdx) const;
  bool isNull(int row, int fieldIdx) const;
  // The number of an Integer, Money or Quantity cell (fixed-point in 1/10000); nullopt
  // for an empty cell or a text field.
  std::optional<int64_t> number(int row, int fieldIdx) const;
  // Removes the row and runs AfterDelete.
  void deleteRow(int row);
  // Removes every row without running hooks.
  void clear() { fRows.clear(); }
  // True when the user may type `ch` into the field.
  bool acceptsChar(int fieldIdx, char32_t ch) const;

  Hook AfterInsert, AfterPost, AfterDelete;

 private:
  struct Cell {
    bool null = true;
    int64_t number = 0;
    std::string_view text;  // the text set, not a copy
  };
  // A row is one block: an 8-byte number per field, then the texts of all its text
  // fields one after another. A text field's number is where its text ends among the
  // texts (it starts where the text field before it ends); a number field's null is
  // kNull. One block per row keeps 100,000 item rows under three times their CSV file.
  struct Row {
    char* data = nullptr;
    uint32_t size = 0, capacity = 0;
    int64_t number(size_t field) const {
      int64_t v;
      std::memcpy(&v, data + field * sizeof v, sizeof v);
      return v;
    }
    void setNumber(size_t field, int64_t v) { std::memcpy(data + field * sizeof v, &v, sizeof v); }
  };
  // The rows and their blocks, carved out of large chunks one after another instead of
  // a heap block each: an import appends rows that grow only while they are the newest
  // block, so they grow in place. A block that has to move leaves a gap; when the gaps
  // take more than half of the chunks, the rows are copied together again.
  class RowStore {
   public:
    RowStore() = default;
    RowStore(const RowStore& other);
    RowStore& operator=(const RowStore& other);
    RowStore(RowStore&& other) noexcept;
    RowStore& operator=(RowStore&& other) noexcept;
    ~RowStore();
    size_t size() const { return fRows.size(); }
    Row& operator[](size_t i) { return fRows[i]; }
    const Row& operator[](size_t i) const { return fRows[i]; }
    Row& back() { return fRows.back(); }
    // Room for `rows` rows, and chunks sized for rows of at least `rowBytes` from now on.
    void reserve(size_t rows, size_t rowBytes) {
      fRows.reserve(rows);
      fReserved = rows * rowBytes;
    }
    // A new last row of `bytes` bytes, not yet filled.
    Row& push_back(size_t bytes);
    void pop_back();
    void erase(size_t i);
    void clear();
    // Room for `bytes` in `r`, its bytes kept (the block may move).
    void grow(Row& r, size_t bytes);

    // Memory for chunks and for the row handles: a large block is mapped on its own
    // (see mapChunk), a small one comes from the heap. `bytes` is rounded up to what is
    // given.
    static char* allocateBlock(size_t& bytes);
    static void freeBlock(void* p, size_t bytes);

   private:
    template <class T>
    struct BlockAllocator {
      using value_type = T;
      BlockAllocator() = default;
      template <class U>
      BlockAllocator(const BlockAllocator<U>&) {}
      T* allocate(size_t n) {
        size_t bytes = n * sizeof(T);
        return reinterpret_cast<T*>(allocateBlock(bytes));
      }
      void deallocate(T* p, size_t n) { freeBlock(p, n * sizeof(T)); }
      bool operator==(const BlockAllocator&) const { return true; }
    };
    struct Chunk {
      char* data;
      size_t size, used;
    };
    char* allocate(size_t bytes);
    void release(Row& r);
    // True when `r` is the last block carved out of the last chunk.
    bool newest(const Row& r) const;
    bool mostlyGaps() const;
    void compact();
    void freeChunks();
    std::vector<Row, BlockAllocator<Row>> fRows;
    std::vector<Chunk> fChunks;
    size_t fChunkBytes = 0, fGaps = 0, fReserved = 0;
  };
  static constexpr int64_t kNull = INT64_MIN;
  // Converts and checks; throws EFieldValueError.
  Cell convert(const TFieldDef& f, const std::string& text) const;
  void checkRow(int row) const {
    if (row < 0 || row >= RecordCount()) noRow(row);
  }
  [[noreturn]] void noRow(int row) const;
  void store(Row& r, int fieldIdx, const Cell& c);
  bool cellNull(const Row& r, int fieldIdx) const;
  std::string_view cellText(const Row& r, int fieldIdx) const;
  size_t textStart(const Row& r, int fieldIdx) const;
  // Where the text fields are, worked out when the fields change, not for every cell.
  void layOut();
  // Where the texts start in a row's block.
  size_t textsBase() const { return fFields.size() * sizeof(int64_t); }

  std::string fName;
  std::vector<TFieldDef> fFields;
  std::vector<int> fTextBefore;  // per field: the text field before it, or -1
  std::vector<int> fTextFields;  // the text fields in order
  RowStore fRows;
  bool fCancelled = false;
};

// The header and footer tables: exactly ten rows, ID 1 to 10 read-only, empty Text.
void prepareLinesTable(TMemTable& table);

}  // namespace kestrel
