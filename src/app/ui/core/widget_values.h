#pragma once
// Moves page values between widgets, found by objectName, and the plain texts the page
// operations work on: a check box "1"/"0", a choice list its entry index ("-1" none),
// a text field its text.
#include <QStringList>
#include <map>
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

// Marks `w` as the input of an operation (a password, a moment to send, an option
// written the moment it is clicked), not a value the page's read fills: a change of it
// is nothing a re-read would throw away.
void markOperationInput(QWidget* w);
// What the technician sees in the input widgets below `root` (text fields, choice
// lists, check boxes, number and date fields, text areas, list lines, grid cells), each
// widget's value(s) under the widget: two results differ exactly when one of those
// values changed.
using TShownValues = std::map<const QWidget*, QStringList>;
TShownValues shownValues(const QWidget* root);

}  // namespace kestrel
