#include "app/logic/config_pages.h"

#include <map>
#include <stdexcept>

#include "app/logic/device_ops.h"

#include "app/logic/pages/cliche.h"
#include "app/logic/pages/params.h"
#include "app/logic/pages/receipt_format.h"
#include "app/logic/pages/communication.h"
#include "app/logic/pages/fiscalization.h"
#include "app/logic/pages/master_data.h"
#include "app/logic/pages/then_always.h"
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

std::string paramTableDeviceValue(const TParamTable& table, const std::string& key, const std::string& value,
                                  int ecrModel) {
  const auto found = table.find(key, ecrModel);
  if (found.empty()) throw std::invalid_argument(table.page + " has no value '" + key + "' for this model");
  return checkedDeviceValue(*found.front(), value);
}

bool readWithDeviceValues(const TConfigPage& page, TDeviceOps& ops, TPageValues& values) {
  std::map<std::string, std::string> read;
  ops.paramsRead = &read;
  bool ok = false;
  {
    const auto unhook = always([&] { ops.paramsRead = nullptr; });
    ok = page.read(ops, values);
  }
  if (page.deviceValue)
    for (const auto& [key, value] : read) values[deviceValueKey(key)] = value;
  return ok;
}

TKeyValues showDeviceValues(const TConfigPage& page, const TPageValues& values, int ecrModel) {
  TKeyValues kv = page.show(values, ecrModel);
  for (auto& [key, value] : kv)
    if (const auto d = values.find(deviceValueKey(key)); d != values.end()) value = d->second;
  return kv;
}

void setDeviceValue(const TConfigPage& page, TPageValues& values, const std::string& key, const std::string& value,
                    int ecrModel) {
  const auto d = values.find(deviceValueKey(key));
  if (d == values.end()) return page.set(values, key, value, ecrModel);
  d->second = page.deviceValue(key, value, ecrModel);
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
  p.deviceValue = [&table](const std::string& key, const std::string& value, int ecrModel) {
    return paramTableDeviceValue(table, key, value, ecrModel);
  };
  return p;
}

}  // namespace kestrel
