#pragma once
// The setup pages as the command-line tool sees them: each page reads its values from
// the device, shows them as key=value pairs, takes new values by key and saves itself
// with the page's own save, so `kestrel config` and the window never disagree.
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/logic/param_bindings.h"

namespace kestrel {

using TKeyValues = std::vector<std::pair<std::string, std::string>>;

struct TConfigPage {
  std::string name;  // "vat", "parameters", ...
  // Reads the page from the device into `values`; false when a command failed.
  std::function<bool(TDeviceOps&, TPageValues&)> read;
  // Saves the page; false when a command failed.
  std::function<bool(TDeviceOps&, const TPageValues&)> save;
  // The values as key=value pairs, in the page's order.
  std::function<TKeyValues(const TPageValues&, int ecrModel)> show;
  // Changes one value by key; throws std::invalid_argument for an unknown key or a value
  // the page cannot hold.
  std::function<void(TPageValues&, const std::string& key, const std::string& value, int ecrModel)> set;
  // For a key named after a device parameter: a device value typed for it, checked and in
  // the form the page writes; throws std::invalid_argument. Null: no key is such a name.
  std::function<std::string(const std::string& key, const std::string& value, int ecrModel)> deviceValue;
};

// The command-line tool's view of a page, where a key named after a device parameter
// carries the device's own value both ways (an inverted box, minutes, an entry number),
// while the window keeps its widgets' states. The read keeps every parameter's device
// value in `values` (deviceValueKey); the page's save writes those back as they are, so
// only what was set changes.
bool readWithDeviceValues(const TConfigPage& page, TDeviceOps& ops, TPageValues& values);
// page.show with device values for the keys that carry one.
TKeyValues showDeviceValues(const TConfigPage& page, const TPageValues& values, int ecrModel);
// A key that carries a device value takes a device value; any other key as page.set.
void setDeviceValue(const TConfigPage& page, TPageValues& values, const std::string& key, const std::string& value,
                    int ecrModel);
// The device value of a table's key typed by a user (checkedDeviceValue of its binding).
std::string paramTableDeviceValue(const TParamTable& table, const std::string& key, const std::string& value,
                                  int ecrModel);

// Every page `kestrel config` knows, in the tree's order.
const std::vector<TConfigPage>& configPages();
const TConfigPage* findConfigPage(const std::string& name);

// A page that is one table of named parameters: show and set by the bindings' keys.
TKeyValues showParamTable(const TParamTable& table, const TPageValues& values, int ecrModel);
void setParamTable(const TParamTable& table, TPageValues& values, const std::string& key, const std::string& value,
                   int ecrModel);
// The page of a binding table with its own read and save (`table` lives as long as the program).
TConfigPage paramTableConfigPage(const TParamTable& table, std::function<bool(TDeviceOps&, TPageValues&)> read,
                                 std::function<bool(TDeviceOps&, const TPageValues&)> save);

}  // namespace kestrel
