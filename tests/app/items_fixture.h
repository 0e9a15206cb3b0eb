#pragma once
// Items tests: the item table, rows by field values, the table as lines of text, and
// items put straight into the simulator.
#include <map>
#include <string>
#include <vector>

#include "app/logic/mem_table.h"
#include "app/logic/pages/items.h"
#include "app/ops_fixture.h"
#include "sim/device_codes.h"
#include "sim/device_model.h"
#include "sim/simulator.h"

namespace kestrel::apptest {

// Every row as its displayed cells joined by "|".
inline std::vector<std::string> tableRows(const TMemTable& t) {
  std::vector<std::string> rows;
  for (int r = 0; r < t.RecordCount(); ++r) {
    std::string line;
    for (int f = 0; f < t.fieldCount(); ++f) line += (f ? "|" : "") + t.displayText(r, f);
    rows.push_back(line);
  }
  return rows;
}

// A row with the given field values (others keep the defaults).
inline int addItemRow(TMemTable& t, const std::map<std::string, std::string>& values) {
  const int row = t.append();
  for (const auto& [name, value] : values) t.setValue(row, name, value);
  return row;
}

inline std::vector<std::string> rowsPlu(const TMemTable& t) {
  std::vector<std::string> p;
  for (int r = 0; r < t.RecordCount(); ++r) p.push_back(t.value(r, "PLU"));
  return p;
}

// The Items page's logic on a simulated KT-33A, with an item table of its own.
struct ItemsOnSim : OpsOnSim {
  explicit ItemsOnSim(sim::SimulatorOptions o = {}) : OpsOnSim("KT-33A", o) { prepareArticlesTable(table); }
  TMemTable table{"fdmt_Articles"};
  TItemsOps items{ops, table, host};
  std::vector<std::string> shown() const {
    std::vector<std::string> t;
    for (const auto& d : dialogs.shown) t.push_back(d.text);
    return t;
  }
};

// Items 1..n of the device at these numbers: VAT 2, price n.50, stock n, a name.
inline void putDeviceItems(sim::Simulator& s, const std::vector<int>& plus) {
  s.withDevice([&](sim::DeviceModel& d) {
    for (int p : plus) {
      sim::Item it;
      it.vat = 2;
      it.dept = 3;
      it.price = p * 10000LL + 5000;
      it.stockQty = p * 10000LL;
      it.barcodes[0] = std::to_string(3850000000000LL + p);
      it.name = "Item " + std::to_string(p);
      d.mutableState().items[p] = it;
    }
  });
}

inline std::vector<int> devicePlus(sim::Simulator& s) {
  return s.withDevice([](sim::DeviceModel& d) {
    std::vector<int> v;
    for (const auto& [p, it] : d.state().items) v.push_back(p);
    return v;
  });
}

// The simulator answers "107 F" with a syntax error, as a firmware without it.
inline void refuseFirstQuery(sim::Simulator& s) {
  s.withDevice([](sim::DeviceModel& d) {
    d.commandFault = [](uint16_t cmd, std::string_view in) {
      return cmd == 107 && (in == "F" || in.starts_with("F\t")) ? sim::ERR_SYNTAX : 0;
    };
  });
}

}  // namespace kestrel::apptest
