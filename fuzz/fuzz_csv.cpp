// The CSV helpers of the helper component and the application's field helpers on
// arbitrary lines. The first input byte picks the numeric arguments.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/logic/field_helpers.h"
#include "support/fd_misc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const kestrel::TFDMisc misc;
  if (size == 0) return 0;
  const uint8_t pick = data[0];
  const std::string line(reinterpret_cast<const char*>(data) + 1, size - 1);

  // Helper component.
  const std::string quoted = misc.csv_This(line);
  (void)misc.check_For_CSVStandart(line, static_cast<int>(line.size()));
  (void)misc.check_For_CSVStandart(line, (pick & 0x3F) - 8);  // lengths that do not match too
  std::string rest = line;
  for (int guard = 0; !rest.empty() && guard < 4096; ++guard) {
    const size_t before = rest.size();
    (void)misc.get_CSV_Value(rest, true);
    if (rest.size() >= before) break;  // a value taken must shorten the line
  }
  std::string untouched = line;
  (void)misc.get_CSV_Value(untouched, false);
  if (untouched != line) std::abort();
  std::vector<std::string> values;
  (void)misc.fill_CSV_ToList(line, &values);
  (void)misc.fill_CSV_ToList(quoted, &values);
  (void)misc.fill_CSV_ToList(line, (pick & 1) != 0, "PLU", "Code", &values);
  (void)misc.fill_CSV_ToList(line, nullptr);

  // Application field helpers.
  const char separators[] = {'\t', ';', ',', '"'};
  (void)kestrel::get_FieldByIndex(separators[pick & 3], (pick >> 2) - 4, line);
  std::string a = line, b = line, c = line;
  kestrel::remove_FirstBlank(a);
  kestrel::remove_Quotes(b);
  kestrel::replace_CommaWithPoint(c);
  if (a.size() + 1 < line.size() || b.size() + 2 < line.size() || c.size() != line.size()) std::abort();
  std::string csvLine = line, field;
  for (int guard = 0; !csvLine.empty() && guard < 4096; ++guard) {
    const size_t before = csvLine.size();
    if (guard % 2 == 0)
      kestrel::set_StringFieldFromCSV(csvLine, field);
    else
      kestrel::set_FieldFromCSV(csvLine, field, (pick & 2) ? "0" : "");
    if (csvLine.size() >= before) break;
  }
  return 0;
}
