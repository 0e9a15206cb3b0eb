#include "app/logic/code_page_check.h"

#include "app/logic/device_ops.h"
#include "app/logic/mem_table.h"
#include "engine/device_dependent.h"
#include "engine/fiscal_device.h"
#include "support/code_pages.h"

namespace kestrel {

std::vector<TCodePageMiss> codePageMisses(const TMemTable& table, unsigned codePage,
                                          const std::function<bool(int row)>& sent) {
  std::vector<TCodePageMiss> misses;
  for (int r = 0; r < table.RecordCount(); ++r) {
    if (sent && !sent(r)) continue;
    for (int f = 0; f < table.fieldCount(); ++f) {
      // Numbers, dates and choices are ASCII; only texts can hold other characters.
      if (table.field(f).kind != TFieldKind::Text || table.isNull(r, f)) continue;
      std::string warning = codePageWarning(table.value(r, f), codePage);
      if (!warning.empty()) misses.push_back({r, f, std::move(warning)});
    }
  }
  return misses;
}

std::vector<std::string> codePageMissLines(const TMemTable& table, const std::vector<TCodePageMiss>& misses,
                                           const std::function<std::string(int row)>& rowName, size_t most) {
  std::vector<std::string> lines;
  for (size_t i = 0; i < misses.size() && i < most; ++i) {
    const TCodePageMiss& m = misses[i];
    lines.push_back(rowName(m.row) + ", " + table.field(m.field).title() + ": " + m.warning);
  }
  if (misses.size() > most)
    lines.push_back("and " + std::to_string(misses.size() - most) + " more value(s) the code page cannot hold");
  return lines;
}

void warnCodePageMisses(TDeviceOps& ops, const TMemTable& table, const std::function<std::string(int row)>& rowName,
                        const std::function<bool(int row)>& sent) {
  const auto lines = codePageMissLines(table, codePageMisses(table, ops.fd.dd()->CodePage, sent), rowName);
  if (lines.empty()) return;
  std::string text = "The device's code page cannot hold some characters; they are sent as \"?\":";
  for (const std::string& line : lines) text += "\n" + line;
  ops.inform(text);
}

}  // namespace kestrel
