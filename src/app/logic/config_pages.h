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
};

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
