#pragma once
// The pages that have their own class, by objectName. A page without one is shown as
// a page with its heading only.
#include <string>

namespace kestrel {

class TPage;
class TfmMainFBH;

// Null for a page without its own class.
TPage* createPage(const std::string& objectName, TfmMainFBH& main);

}  // namespace kestrel
