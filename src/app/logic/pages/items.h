#pragma once
// Items: the device's PLU database in the table fdmt_Articles. Every exchange is command
// 107 with a one-letter sub-command; reading, saving, deleting and the quantity change
// run here for the window and for `kestrel items` alike.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/logic/loop_outcome.h"

namespace kestrel {

class TDeviceOps;
class TMemTable;
class PageHost;

inline constexpr int64_t MAX_PROGRAMMABLE_PLU = 100000;
inline constexpr const char* MSG_ITEMS_DELETED = "Items deleted.";

// Which button opened the page's pop-up menu (PopActionItems).
enum TPopAction { popRead = 1, popSave = 2, popDelete = 4 };
enum class TMenuEntry { All, Range, Selected };
// The handler name of a menu entry ("mniAllItemsClick", ...).
const char* menuHandlerName(TMenuEntry entry);
// The closing words of a menu entry's loop; null for the entries that send one command
// ("Delete..." "All" and "From... To...": the device's answer says it all).
const TLoopWords* menuLoopWords(int popAction, TMenuEntry entry);

// The fields of fdmt_Articles in grid order, with limits, labels, defaults, formats.
void prepareArticlesTable(TMemTable& table);

// What a row needs before it can be sent: a PLU, and texts without a TAB or a line break.
// Throws EFieldValueError naming the field; the import and its check refuse such a line.
void checkItemRow(const TMemTable& table, int row);

// Command 107 input texts.
std::string itemReadInput(int64_t plu);
std::string itemFirstInput(int64_t lowest);
std::string itemLastInput(int64_t highest);
std::string itemProgramInput(const TMemTable& table, int row);
std::string itemDeleteInput(int64_t plu);
std::string itemDeleteRangeInput(int64_t from, int64_t to);
std::string itemDeleteAllInput();
std::string itemQuantityInput(int64_t plu, int64_t change);

// A range dialog edit as a whole number; anything else throws the conversion error.
int64_t rangeNumber(const std::string& text);
// A signed decimal with a point ("2.5", "-1") of at most the 3 decimals the device takes,
// in 1/10000; throws std::invalid_argument on anything else.
int64_t quantityChange(const std::string& text);

// The operations of the Items page on one table. The grid's selection and current row
// are given by the window (or the command line) before an operation and the current
// row is read back after it.
class TItemsOps {
 public:
  TItemsOps(TDeviceOps& ops, TMemTable& table, PageHost& host) : fOps(ops), fTable(table), fHost(host) {}

  // Rows selected in the grid, in selection order, and the current row (-1: none).
  std::vector<int> selected;
  int current = -1;
  // After a PLU the device does not have, ask it for the next programmed one ("F") and
  // go on there. Switched off for the rest of a read when the device refuses "F".
  bool skipEmpty = true;

  // What the last loop did (also returned by it): see loop_outcome.h.
  TLoopOutcome outcome;

  // One item into a new row; false when the device refused (-111004 shows nothing, any
  // other error only in the status bar). A value the table refuses throws.
  bool readItem(int64_t plu);
  // Empties the table and reads fromPlu..toPlu, the numbers the device lacks skipped. A
  // row the device answered is always kept; one that failed (time-out, refusal, a value
  // the table refuses) is counted and named and the read goes on; a few link failures
  // in a row, Stop or Cancel end it.
  TLoopOutcome ReadItems_inRange(int64_t fromPlu, int64_t toPlu);
  // "All": the device's first and last item, then the read between them, as one loop
  // (a Cancel of the first query ends it too).
  TLoopOutcome readAll();
  // "F" from `first`, then "L" from `last`; a failed query keeps its number.
  void items_findFirstAndLast(int64_t& first, int64_t& last);

  bool SaveItem(int64_t plu);
  // The save loops end at the first item that fails (the rows before it are written).
  TLoopOutcome SaveInRange(int64_t fromID, int64_t toID);
  TLoopOutcome SaveAllInGrid();
  TLoopOutcome SaveSelected_inGrid();

  bool DeleteItem(int64_t plu);
  bool DelInRange(int64_t fromID, int64_t toID);
  // One "D" command for fromID..toID as given (no narrowing to the table); the table
  // loses its rows in the range.
  bool deleteRange(int64_t fromID, int64_t toID);
  bool DelAll();
  TLoopOutcome DelSelectedInGrid();
  // These PLUs one by one ("D" each); the first failure ends it.
  TLoopOutcome deletePlus(const std::vector<int64_t>& plus);

  // "A" TAB PLU TAB change TAB for `row`; on success its StockQty grows by the change.
  bool changeQuantity(int row, const std::string& changeText);
  // The quantity change with the number dialog (TfmNumbers): false when cancelled or
  // refused.
  bool btnChangeQTYClick();

  // A menu entry for the button that opened the menu (PopActionItems); the range comes
  // from the host's range dialog. Throws what the inner routines pass up. Returns the
  // outcome of the loop it ran (a single command gives Done or Failed); nothing when
  // nothing ran (the range dialog cancelled).
  std::optional<TLoopOutcome> menuAction(int popActionItems, TMenuEntry entry);

  TMemTable& table() { return fTable; }
  TDeviceOps& ops() { return fOps; }
  PageHost& host() { return fHost; }

  // PLU of a row (0 when empty) and the first row holding `plu` (-1: none).
  int64_t pluOf(int row) const;
  int rowOfPlu(int64_t plu) const;

  // Narrows a range to the table as the save and delete loops do: a number no row has
  // becomes the first (from) or last (to) row's PLU. Returns rowIndex(), which it uses.
  std::vector<int> narrow(int64_t& from, int64_t& to) const;
  // Row positions by PLU for a loop over numbers (the first row with each number).
  std::vector<int> rowIndex() const;

 private:
  // The save loop over these rows (a copy: the selection may change while it runs).
  TLoopOutcome saveRows(std::vector<int> rows);
  // One save of the loop: true when the loop goes on.
  bool saveStep(TRecordLoop& loop, int64_t plu);
  // The walk over fromPlu..toPlu; one step of it per item handled.
  void readRange(int64_t fromPlu, int64_t toPlu, TRecordLoop& loop);
  // One read of the walk: true when the device has no item `plu`.
  bool readStep(int64_t plu, TRecordLoop& loop);
  // Fills a new row from the answer of "R"; throws when the table refuses a value.
  void appendAnswered();
  // The next programmed PLU at or above `plu`: 1 found, 0 none left, -1 "F" refused.
  int nextProgrammed(int64_t plu, int64_t& next);
  TLoopOutcome finish(const TRecordLoop& loop);

  TDeviceOps& fOps;
  TMemTable& fTable;
  PageHost& fHost;
};

}  // namespace kestrel
