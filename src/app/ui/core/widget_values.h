#pragma once
// Moves page values between widgets, found by objectName, and the plain texts the page
// operations work on: a check box "1"/"0", a choice list its entry index ("-1" none),
// a text field its text.
#include <string>
#include <vector>

#include "app/logic/param_bindings.h"

class QWidget;

namespace kestrel {

// Sets each named widget below `root`; a name without a widget throws.
void applyValues(QWidget* root, const TPageValues& values);
// The values of the named widgets below `root`; a name without a widget throws.
TPageValues collectValues(QWidget* root, const std::vector<std::string>& widgets);
// The widgets of every binding of the table.
TPageValues collectValues(QWidget* root, const TParamTable& table);

}  // namespace kestrel
