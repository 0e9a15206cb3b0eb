#pragma once
// Values of a table that the device's code page cannot hold: the engine sends such a
// character as "?", so the user is told which row, field and characters before a write.
// Shared by the window and kestrel.
#include <functional>
#include <string>
#include <vector>

namespace kestrel {

class TMemTable;
class TDeviceOps;

struct TCodePageMiss {
  int row = 0;          // counted from 0
  int field = 0;        // the field's index
  std::string warning;  // codePageWarning of the value: which characters, each sent as "?"
};

// The text values of `table` in the rows `sent` takes (all rows when it is empty) that
// hold a character `codePage` cannot hold, row by row, field by field.
std::vector<TCodePageMiss> codePageMisses(const TMemTable& table, unsigned codePage,
                                          const std::function<bool(int row)>& sent = {});

// One line per value, "<rowName(row)>, <field title>: <warning>", at most `most` of them,
// then one line counting the values left out.
std::vector<std::string> codePageMissLines(const TMemTable& table, const std::vector<TCodePageMiss>& misses,
                                           const std::function<std::string(int row)>& rowName, size_t most = 20);

// The window's warning before a write: the lines of codePageMissLines in one message
// box, for the device's code page; nothing when every value fits.
void warnCodePageMisses(TDeviceOps& ops, const TMemTable& table, const std::function<std::string(int row)>& rowName,
                        const std::function<bool(int row)>& sent = {});

}  // namespace kestrel
