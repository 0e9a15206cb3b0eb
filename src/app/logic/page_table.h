#pragma once
// The window's pages as data: a page's row (its objectName, caption, place in the tree,
// the read it runs when shown, the rule of its control enabling), the tree made from the
// rows, and the verdict on a command. The rows themselves are the window's page list
// (app/ui/shell/page_registry.cpp): one row a page. The buttons a page's control enabling
// switches are the ones the page registers with its clicks.
#include <array>
#include <string>
#include <vector>

#include "support/date_time.h"

namespace kestrel {

// Extra rules of the control enabling beyond the page's own button list.
enum class TPageRule { None, Fiscalization, Journal, Items, Clients };

struct TPageRow {
  const char* page;    // objectName of the page
  const char* title;   // its heading and tree node (the blank page: "", no node)
  const char* group;   // the top node it is shown under; "" for a top node of its own
  const char* readOp;  // the read it runs when shown; "" for none
  TPageRule rule = TPageRule::None;
  // Printer-group models get the blank page instead (direct keys, corrections, clients).
  bool registerOnly = false;
};

struct TTreeNodeRow {
  const char* text;
  int level;         // 0 top, 1 child
  const char* page;  // a parent opens the page of its first child
};

// The page tree of `pages` in flat order: each page a node under its group, a group's
// node before its first page (opening that page).
std::vector<TTreeNodeRow> treeNodes(const std::vector<TPageRow>& pages);

inline constexpr const char* PAGE_NONE = "jvpg_None";
inline constexpr const char* PAGE_CONNECT = "jvpg_Connect";
inline constexpr const char* PAGE_STATUS = "jvpg_Sub__Root_05_Status";
inline constexpr const char* PAGE_CUSTOM = "jvpg_Sub__Root_06_Custom";
inline constexpr const char* PAGE_SETTINGS = "jvpg_Sub__Root_07_Settings";
inline constexpr const char* PAGE_CLICHE = "jvpg_Sub_01_Clishe";

// What the control enabling sees besides the value.
struct TPageFacts {
  bool serialAndFMSet = false;  // status byte 4 bit 2
  bool taxNumberSet = false;    // status byte 4 bit 1
  bool fiscalMode = false;      // status byte 5 bit 3
  bool journalHasLines = false;
};

struct TControlState {
  std::string name;
  bool enabled;
};

struct TControlPlan {
  std::vector<TControlState> controls;  // in the order they are set
  bool changesWorking = false;          // Items and Clients: Working becomes !value
  bool working = false;
};

// The widgets OpraviControlite(value) switches on the page of `row`, whose own switched
// buttons are `buttons`, then the page's rule; empty for no page.
TControlPlan controlPlan(const TPageRow* row, const std::vector<std::string>& buttons, bool value,
                         const TPageFacts& facts);

// The page data_Refresh reads for the page of `row` with model index `ecrModel`: the
// page itself, or the blank page for a register-only page and a printer-group model.
std::string pageToShow(const TPageRow& row, int ecrModel);
bool isPrinterGroup(int ecrModel);

// StatusUpdate's decision on a command's code.
enum class TVerdictShow { Nothing, Alert, StatusBar };
struct TVerdict {
  bool ok;
  TVerdictShow show;
};
inline constexpr int CODE_PLU_NOT_FOUND = -111004;
inline constexpr int CODE_FIRM_NOT_FOUND = -106000;
// A command counts as done only when the engine said so and left code 0: a failure
// without a code is still a failure.
TVerdict commandVerdict(int code, bool commandOk, bool showErr);
// What the verdict shows for a failure that left no code.
inline constexpr const char* FAILED_WITHOUT_CODE_MESSAGE = "The command failed: the device gave no valid answer.";

// "Exception in method "name": message".
std::string exceptionText(const std::string& method, const std::string& message);

// The question before a page with unsaved edits is left (page by its title).
std::string unsavedEditsQuestion(const std::string& pageTitle);
// Before a save after a read that did not get every value.
std::string incompleteReadQuestion(const std::string& pageTitle);

// Dates and times as the window writes them: "dd.mm.yyyy" and "hh:mm:ss" with the
// separators of the process's format settings, whatever the user's locale.
std::string formatDate(const LocalDateTime& dt);
std::string formatTime(const LocalDateTime& dt);

// The status bits that never count as an error by themselves (byte, bit).
inline constexpr std::array<std::pair<int, int>, 11> NON_ERROR_STATUS_BITS = {
    {{0, 6}, {0, 5}, {0, 4}, {1, 1}, {1, 0}, {2, 2}, {2, 0}, {4, 6}, {4, 5}, {4, 4}, {4, 0}}};

}  // namespace kestrel
