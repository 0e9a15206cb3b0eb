#pragma once
// The window's pages: one row a page, in the order of the page tree. A row describes
// the page once (objectName, caption, tree group, read, buttons, rules) and names its
// class; the page takes its objectName, heading and read from the row.
#include <string>
#include <vector>

#include "app/logic/page_table.h"

namespace kestrel {

class TPage;
class TPageShell;

using TPageMaker = TPage* (*)(TPageShell& shell, const TPageRow& row);

struct TPageEntry {
  TPageRow row;
  TPageMaker make;  // null: a page with its heading only (the blank page)
};

// Every page of the window, blank page last.
const std::vector<TPageEntry>& pageEntries();
// The rows of pageEntries().
const std::vector<TPageRow>& pageTable();
// Null for a page not in the table.
const TPageRow* findPage(const std::string& page);
// The window's page tree in flat order (node 1 is "Date, header & footer").
const std::vector<TTreeNodeRow>& treeNodes();

}  // namespace kestrel
