#include "app/logic/pages/fiscalization.h"

#include <stdexcept>

#include "app/logic/config_pages.h"
#include "app/logic/device_ops.h"
#include "app/logic/page_table.h"
#include "app/logic/pages/then_always.h"
#include "engine/fiscal_device.h"

namespace kestrel {

namespace {

std::string valueOf(const TPageValues& values, const char* name) {
  const auto it = values.find(name);
  return it == values.end() ? std::string() : it->second;
}

size_t trimmedLength(const std::string& s) {
  const size_t first = s.find_first_not_of(' ');
  if (first == std::string::npos) return 0;
  return s.find_last_not_of(' ') - first + 1;
}

bool readInto(TDeviceOps& ops, const char* param, TPageValues& values, const char* name) {
  std::string v;
  if (!ops.readParam(param, "", v)) return false;
  values[name] = v;
  return true;
}

// A successful save shows its message and then what the device now holds.
bool savedThenRead(TDeviceOps& ops, TPageValues& values) {
  ops.informSaved();
  readFiscTab(ops, values);
  return true;
}

}  // namespace

TFiscalState fiscalState(const TDeviceOps& ops) {
  const TLowLevel& ll = ops.fd.dd()->LowLevel();
  return {ll.get_sBytesState(4, 2), ll.get_sBytesState(4, 1), ll.get_sBytesState(5, 3)};
}

bool readFiscTab(TDeviceOps& ops, TPageValues& values) {
  TDeviceOps::ShowErrOff quiet(ops);
  try {
    if (!readInto(ops, "IDnumber", values, FISC_SERIAL)) return false;
    readInto(ops, "FMnumber", values, FISC_FM_NUMBER);
    readInto(ops, "TAXnumber", values, FISC_JIB);
    readInto(ops, "PIBnumber", values, FISC_PIB);
    std::string v;
    if (ops.readParam("PrintTestReceipt", "", v)) values[FISC_ISSUE_RECEIPT] = v == "1" ? "1" : "0";
    return true;
  } catch (const std::exception& e) {
    throw std::runtime_error(exceptionText("cmd99", e.what()));
  }
}

bool saveSerialAndFM(TDeviceOps& ops, TPageValues& values, std::string& focus) {
  const std::string serial = valueOf(values, FISC_SERIAL), fm = valueOf(values, FISC_FM_NUMBER);
  if (trimmedLength(serial) < 8) return focus = FISC_SERIAL, false;
  if (trimmedLength(fm) < 8) return focus = FISC_FM_NUMBER, false;
  if (!ops.ask("Serial and FM number cannot be changed. Are you sure?", MSG_ARE_YOU_SURE, true)) return false;
  if (!ops.command(91, serial + "\t" + fm + "\t")) return false;
  return savedThenRead(ops, values);
}

bool saveTaxNumbers(TDeviceOps& ops, TPageValues& values, std::string& focus) {
  const std::string jib = valueOf(values, FISC_JIB), pib = valueOf(values, FISC_PIB);
  if (trimmedLength(jib) < 13) return focus = FISC_JIB, false;
  if (trimmedLength(pib) < 12) return focus = FISC_PIB, false;
  if (!ops.ask("Tax numbers cannot be changed. Are you sure?", MSG_ARE_YOU_SURE, true)) return false;
  if (!ops.command(98, jib + "\t" + pib + "\t")) return false;
  return savedThenRead(ops, values);
}

bool saveIOSA(TDeviceOps& ops, const TPageValues& values) {
  // Not irreversible (the device limits how often, not whether): Yes stays the default.
  if (!ops.ask("IOSA changes are limited. Are you sure?", MSG_ARE_YOU_SURE, false)) return false;
  if (!ops.command(96, valueOf(values, FISC_IOSA) + "\t")) return false;
  ops.informSaved();
  return true;
}

bool fiscalize(TDeviceOps& ops, TPageValues& values, std::string& focus) {
  auto attempt = [&] {
    if (!fiscalState(ops).serialAndFMSet) {
      ops.inform(MSG_SERIAL_FIRST);
      focus = FISC_SERIAL;
      return false;
    }
    const std::string jib = valueOf(values, FISC_JIB), pib = valueOf(values, FISC_PIB);
    if (jib.empty() || pib.empty()) {
      ops.inform(MSG_TAX_FIRST);
      focus = FISC_JIB;
      return false;
    }
    if (!ops.ask("Fiscalization is irreversible. Are you sure?", MSG_ARE_YOU_SURE, true)) return false;
    if (!ops.command(72, valueOf(values, FISC_SERIAL) + "\t" + jib + "\t" + pib + "\t")) return false;
    ops.inform(MSG_FISCALIZED);
    return true;
  };
  // Whatever happened, the page shows the device's numbers and state afterwards.
  const auto reread = always([&] { readFiscTab(ops, values); });
  return attempt();
}

bool writeIssueReceipt(TDeviceOps& ops, bool checked) {
  return ops.writeParam("PrintTestReceipt", "", checked ? "1" : "0");
}

TConfigPage fiscalConfigPage() {
  TConfigPage p;
  p.name = "fiscal";
  p.read = [](TDeviceOps& ops, TPageValues& values) {
    const bool ok = readFiscTab(ops, values);
    const TFiscalState st = fiscalState(ops);
    values["fiscalMode"] = st.fiscalMode ? "yes" : "no";
    return ok;
  };
  p.save = [](TDeviceOps&, const TPageValues&) -> bool {
    throw std::invalid_argument("fiscal is read only");
  };
  p.show = [](const TPageValues& values, int) {
    return TKeyValues{{"serial", valueOf(values, FISC_SERIAL)},
                      {"fm_number", valueOf(values, FISC_FM_NUMBER)},
                      {"jib", valueOf(values, FISC_JIB)},
                      {"pib", valueOf(values, FISC_PIB)},
                      {"issue_receipt_after_fiscalization", valueOf(values, FISC_ISSUE_RECEIPT)},
                      {"fiscal_mode", valueOf(values, "fiscalMode")}};
  };
  p.set = [](TPageValues&, const std::string&, const std::string&, int) {
    throw std::invalid_argument(
        "fiscal is read only: the fiscal numbers are accepted once by the device and are not set through config");
  };
  return p;
}

}  // namespace kestrel
