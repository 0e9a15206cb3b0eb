#pragma once
// Cash IO: cash into the drawer and out of it (command 70), and the drawer's sums.
#include <functional>
#include <string>

namespace kestrel {

class TDeviceOps;

// Answer fields 1 to 3 of command 70, as the page's value labels show them.
struct TCashSums {
  std::string inSafe = ".......";
  std::string inputs = ".......";
  std::string outputs = ".......";
};

// The amount as command 70 takes it: the entered decimal number with 2 decimals. A
// text that is no number, or one with more decimals than 2, throws std::invalid_argument.
std::string cashAmountText(const std::string& entered);
// bbtnCashInClick (out = false) and bbtnCashOutClick: on success the sums are filled,
// shown (`show`), and then "The data was saved in the device." is shown.
bool cashInOut(TDeviceOps& ops, bool out, const std::string& entered, TCashSums& sums,
               const std::function<void(const TCashSums&)>& show = {});

}  // namespace kestrel
