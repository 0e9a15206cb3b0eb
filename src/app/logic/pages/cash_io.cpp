#include "app/logic/pages/cash_io.h"

#include <stdexcept>

#include "app/logic/device_ops.h"
#include "app/logic/field_helpers.h"
#include "app/logic/mem_table.h"

namespace kestrel {

std::string cashAmountText(const std::string& entered) {
  const int64_t amount = decimalValue(entered);
  checkDecimals("Amount", entered, 2);
  return formatFixed(amount, 2);
}

bool cashInOut(TDeviceOps& ops, bool out, const std::string& entered, TCashSums& sums,
               const std::function<void(const TCashSums&)>& show) {
  const std::string input = std::string(out ? "1" : "0") + "\t" + cashAmountText(entered) + "\t";
  if (!ops.command(70, input)) return false;
  sums.inSafe = ops.field(1);
  sums.inputs = ops.field(2);
  sums.outputs = ops.field(3);
  if (show) show(sums);
  ops.informSaved();
  return true;
}

}  // namespace kestrel
