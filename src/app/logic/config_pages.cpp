#include "app/logic/config_pages.h"

#include <stdexcept>

#include "app/logic/pages/cliche.h"
#include "app/logic/pages/params.h"
#include "app/logic/pages/receipt_format.h"
#include "app/logic/pages/communication.h"
#include "app/logic/pages/fiscalization.h"
#include "app/logic/pages/master_data.h"
#include "app/logic/pages/vat.h"

namespace kestrel {

const std::vector<TConfigPage>& configPages() {
  static const std::vector<TConfigPage> pages = {
      datetimeConfigPage(), headerConfigPage(), footerConfigPage(),
      vatConfigPage(),
      paramsConfigPage(),
      receiptFormatConfigPage(),
      communicationConfigPage(),
      fiscalConfigPage(),
      correctionsConfigPage(),
  };
  return pages;
}

const TConfigPage* findConfigPage(const std::string& name) {
  for (const auto& p : configPages())
    if (p.name == name) return &p;
  return nullptr;
}

TKeyValues showParamTable(const TParamTable& table, const TPageValues& values, int ecrModel) {
  TKeyValues kv;
  for (const auto& key : table.readOrder)
    for (const TParamBinding* b : table.find(key, ecrModel)) {
      auto it = values.find(b->widget);
      kv.emplace_back(b->key(), it == values.end() ? std::string() : displayValueOf(*b, it->second));
    }
  return kv;
}

void setParamTable(const TParamTable& table, TPageValues& values, const std::string& key, const std::string& value,
                   int ecrModel) {
  const auto found = table.find(key, ecrModel);
  if (found.empty()) throw std::invalid_argument(table.page + " has no value '" + key + "' for this model");
  for (const TParamBinding* b : found) values[b->widget] = widgetValueFromDisplay(*b, value);
}

TConfigPage paramTableConfigPage(const TParamTable& table, std::function<bool(TDeviceOps&, TPageValues&)> read,
                                 std::function<bool(TDeviceOps&, const TPageValues&)> save) {
  TConfigPage p;
  p.name = table.page;
  p.read = std::move(read);
  p.save = std::move(save);
  p.show = [&table](const TPageValues& values, int ecrModel) { return showParamTable(table, values, ecrModel); };
  p.set = [&table](TPageValues& values, const std::string& key, const std::string& value, int ecrModel) {
    setParamTable(table, values, key, value, ecrModel);
  };
  return p;
}

}  // namespace kestrel
