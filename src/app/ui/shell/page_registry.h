#pragma once
// The pages that have their own class, by objectName. A page without one is shown as
// a page with its heading only.
#include <string>

namespace kestrel {

class TPage;
class TPageShell;

// Null for a page without its own class.
TPage* createPage(const std::string& objectName, TPageShell& shell);

}  // namespace kestrel
