// Master data (items, clients, operators) and the device's own functions:
// terminal data, file access and logo upload.
#include <fmt/format.h>

#include <algorithm>

#include "sim/device_codes.h"
#include "sim/device_model.h"
#include "support/crc32.h"

namespace kestrel::sim {

namespace {

constexpr size_t FILE_PART = 96;  // bytes per Base64 part of command 129

bool noBarcode(std::string_view b) { return b.empty() || b == "0"; }

}  // namespace

// ---- 107: items ----

void DeviceModel::cmdItems() {
  const std::string_view fn = arg(0);
  auto pluArg = [&](size_t i, int& plu) -> int {
    const auto v = parseInt(arg(i));
    if (!v) return syntaxParam(static_cast<int>(i));
    if (*v < 1 || *v > MAX_PLU) return badParam(static_cast<int>(i));
    plu = static_cast<int>(*v);
    return 0;
  };
  int plu = 0;
  if (fn == "R") {
    if (int code = pluArg(1, plu)) return fail(code);
    const auto it = fS.items.find(plu);
    if (it == fS.items.end()) return fail(ERR_PLU_NOT_FOUND);
    const Item& item = it->second;
    ok();
    putInt(plu);
    putInt(item.vat);
    putInt(item.dept);
    putInt(item.stock);
    putInt(item.priceType);
    putFixed(item.price, 2);
    putFixed(item.turnover, 2);
    putFixed(item.soldQty, 3);
    putFixed(item.stockQty, 3);
    for (const std::string& b : item.barcodes) put(b);
    put(item.name);
    return;
  }
  if (fn == "F" || fn == "L") {
    const bool first = fn == "F";
    plu = first ? 1 : MAX_PLU;
    if (!arg(1).empty()) {
      const auto v = parseInt(arg(1));
      if (!v) return fail(syntaxParam(1));
      plu = static_cast<int>(std::clamp<int64_t>(*v, 0, MAX_PLU + 1));
    }
    auto it = first ? fS.items.lower_bound(plu) : fS.items.upper_bound(plu);
    if (!first) {
      if (it == fS.items.begin()) return fail(ERR_PLU_NOT_FOUND);
      --it;
    }
    if (it == fS.items.end()) return fail(ERR_PLU_NOT_FOUND);
    ok();
    return putInt(it->first);
  }
  if (fn == "P") {
    if (fS.receipt.kind != RK_NONE) return fail(ERR_RECEIPT_OPEN);
    if (int code = pluArg(1, plu)) return fail(code);
    Item item;
    auto intArg = [&](size_t i, int lo, int hi, int& out) -> int {
      if (arg(i).empty()) {
        out = lo;
        return lo == 0 ? 0 : badParam(static_cast<int>(i));
      }
      const auto v = parseInt(arg(i));
      if (!v) return syntaxParam(static_cast<int>(i));
      if (*v < lo || *v > hi) return badParam(static_cast<int>(i));
      out = static_cast<int>(*v);
      return 0;
    };
    if (int code = intArg(2, 1, VAT_GROUPS, item.vat)) return fail(code);
    if (int code = intArg(3, 0, 99, item.dept)) return fail(code);
    if (int code = intArg(4, 1, 99, item.stock)) return fail(code);
    if (int code = intArg(5, 0, 2, item.priceType)) return fail(code);
    const auto price = parseFixed(arg(6), 2);
    if (!price) return fail(syntaxParam(6));
    if (*price < 0 || *price > 9999999999LL * 100) return fail(badParam(6));
    item.price = *price;
    if (!arg(8).empty()) {
      const auto qty = parseFixed(arg(8), 3);
      if (!qty) return fail(syntaxParam(8));
      item.stockQty = *qty;
    }
    for (int b = 0; b < 4; ++b) {
      const std::string_view code = arg(9 + b);
      if (code.size() > 13 || (!code.empty() && !isDigits(code))) return fail(badParam(9 + b));
      item.barcodes[b] = std::string(code);
    }
    if (arg(13).size() > 72) return fail(badParam(13));
    item.name = std::string(arg(13));
    for (const auto& [other, o] : fS.items) {
      if (other == plu) continue;
      for (const std::string& mine : item.barcodes) {
        if (noBarcode(mine)) continue;
        if (std::find(o.barcodes.begin(), o.barcodes.end(), mine) != o.barcodes.end()) return fail(ERR_BARCODE_EXISTS);
      }
    }
    if (const auto it = fS.items.find(plu); it != fS.items.end()) {
      item.turnover = it->second.turnover;
      item.soldQty = it->second.soldQty;
    }
    fS.items[plu] = std::move(item);
    dirty = true;
    return ok();
  }
  if (fn == "D") {
    if (fS.receipt.kind != RK_NONE) return fail(ERR_RECEIPT_OPEN);
    int from = 1, to = MAX_PLU;
    if (arg(1) != "A") {
      if (int code = pluArg(1, from)) return fail(code);
      if (arg(2).empty()) {
        if (!fS.items.count(from)) return fail(ERR_PLU_NOT_FOUND);
        to = from;
      } else if (int code = pluArg(2, to)) {
        return fail(code);
      } else if (to < from) {
        return fail(badParam(2));
      }
    }
    const auto first = fS.items.lower_bound(from), last = fS.items.upper_bound(to);
    // Items with turnover since their last clearing can go only in service mode.
    if (!fService && std::any_of(first, last, [](const auto& p) { return p.second.turnover != 0; }))
      return fail(ERR_PLU_HAS_TURNOVER);
    fS.items.erase(first, last);
    dirty = true;
    return ok();
  }
  if (fn == "A") {
    if (int code = pluArg(1, plu)) return fail(code);
    const auto change = parseFixed(arg(2), 3);
    if (!change) return fail(syntaxParam(2));
    const auto it = fS.items.find(plu);
    if (it == fS.items.end()) return fail(ERR_PLU_NOT_FOUND);
    it->second.stockQty += *change;
    dirty = true;
    ok();
    return putFixed(it->second.stockQty, 3);
  }
  fail(ERR_SYNTAX);
}

// ---- 140: clients ----

void DeviceModel::cmdClients() {
  const std::string_view fn = arg(0);
  auto answer = [&](int number, const Client& c) {
    fClientCursor = number;
    ok();
    if (clientNumberGarbled && fn == "N") put("x" + std::to_string(number));
    else putInt(number);
    put(c.taxNumber);
    put(c.name);
    put(c.name2);
    put(c.address1);
    put(c.address2);
  };
  auto numberArg = [&](int& n) -> int {
    const auto v = parseInt(arg(1));
    if (!v) return syntaxParam(1);
    if (*v < 1 || *v > MAX_CLIENT) return badParam(1);
    n = static_cast<int>(*v);
    return 0;
  };
  int number = 0;
  if (fn == "F") {
    if (fS.clients.empty()) return fail(ERR_NO_CLIENT);
    return answer(fS.clients.begin()->first, fS.clients.begin()->second);
  }
  if (fn == "N") {
    const auto it = clientCursorStuck ? fS.clients.find(fClientCursor) : fS.clients.upper_bound(fClientCursor);
    if (it == fS.clients.end()) return fail(ERR_NO_CLIENT);
    return answer(it->first, it->second);
  }
  if (fn == "R") {
    if (int code = numberArg(number)) return fail(code);
    const auto it = fS.clients.find(number);
    if (it == fS.clients.end()) return fail(ERR_NO_CLIENT);
    return answer(it->first, it->second);
  }
  if (fn == "P") {
    if (int code = numberArg(number)) return fail(code);
    if (refusedClientNumbers.count(number)) return fail(badParam(1));
    static constexpr size_t LIMITS[] = {42, 13, 42, 36, 36};
    for (size_t i = 0; i < 5; ++i)
      if (arg(2 + i).size() > LIMITS[i]) return fail(badParam(static_cast<int>(2 + i)));
    Client c{std::string(arg(2)), std::string(arg(3)), std::string(arg(4)), std::string(arg(5)),
             std::string(arg(6))};
    fS.clients[number] = std::move(c);
    dirty = true;
    return ok();
  }
  if (fn == "D") {
    if (arg(1) == "A") {
      fS.clients.clear();
    } else {
      if (int code = numberArg(number)) return fail(code);
      if (!fS.clients.erase(number)) return fail(ERR_NO_CLIENT);
    }
    dirty = true;
    return ok();
  }
  fail(ERR_SYNTAX);
}

// ---- 101, 112: operators ----

void DeviceModel::cmdOperPassword() {
  const auto n = parseInt(arg(0));
  if (!n) return fail(syntaxParam(1));
  if (*n < 1 || *n > OPERATORS) return fail(badParam(1));
  Operator& op = fS.operators[*n - 1];
  if (arg(1) != op.password) return fail(ERR_WRONG_PASSWORD);
  const std::string_view pw = arg(2);
  if (pw.size() > 8 || !isDigits(pw)) return fail(badParam(3));
  if (fS.receipt.kind != RK_NONE && fS.receipt.op == *n) return fail(ERR_RECEIPT_OPEN);
  op.password = std::string(pw);
  dirty = true;
  ok();
}

void DeviceModel::cmdOperRegisters() {
  const auto n = parseInt(arg(0));
  if (!n) return fail(syntaxParam(1));
  if (*n < 1 || *n > OPERATORS) return fail(badParam(1));
  const auto& regs = fS.operators[*n - 1].regs;
  ok();
  for (int i = 0; i < OR_COUNT; ++i) {
    if (i % 2 == 0) putInt(regs[i]);
    else putFixed(regs[i], 2);
  }
}

// ---- 144: terminal functions ----

void DeviceModel::cmdTerminal() {
  if (!fService) return fail(ERR_NEED_SERVICE);
  const std::string_view fn = arg(0);
  if (fn == "0") {
    fS.firstInstall = true;
    fS.lastSentZ = 0;
    fS.commandFile.clear();
  } else if (fn == "1") {
    fS.commandFile = "COMMANDS " + formatDeviceDateTime(now(), false) + "\\r\\nSEND Z\\r\\nEND";
  } else if (fn == "2") {
    ok();
    return put(fS.firstInstall ? "1" : "0");
  } else if (fn == "3") {
    ok();
    return putInt(fS.lastSentZ);
  } else if (fn == "4") {
    ok();
    return putInt(fS.zNumber);
  } else if (fn == "5") {
    ok();
    return put(fS.commandFile);
  } else if (fn == "10") {
    fS.lastSentZ = fS.zNumber;
    fS.firstInstall = false;
  } else {
    return fail(ERR_SYNTAX);
  }
  dirty = true;
  ok();
}

// ---- 129: file access ----

void DeviceModel::cmdFiles() {
  const std::string_view fn = arg(0);
  if (fn == "3") {
    int y, mo, d, h, mi, s;
    splitTime(now(), y, mo, d, h, mi, s);
    const uint8_t bytes[4] = {static_cast<uint8_t>(y & 0xFF), static_cast<uint8_t>(y >> 8),
                              static_cast<uint8_t>(mo), static_cast<uint8_t>(d)};
    const uint32_t code = kestrel::crc32Update(0, bytes, 4) ^ FILE_UNLOCK_MASK;
    if (arg(1) != std::to_string(code)) return fail(ERR_WRONG_CERT_PASSWORD);
    fUnlocked = true;
    return ok();
  }
  if (fn == "0") {
    if (!fUnlocked) return fail(ERR_ACCESS_DENIED);
    const auto it = files.find(arg(1));
    fFileExists = it != files.end();
    fFileData = fFileExists ? it->second : std::string();
    fFilePos = 0;
    fFileOpen = true;
    fFileInfoSent = false;
    return ok();
  }
  if (fn == "1") {
    if (!fFileOpen) return fail(ERR_NOT_POSSIBLE);
    if (!fFileInfoSent) {
      // The first read after opening tells size and existence; the data follows.
      fFileInfoSent = true;
      ok();
      put("");
      putInt(static_cast<int64_t>(fFileData.size()));
      return putInt(fFileExists ? 1 : 0);
    }
    if (fFilePos >= fFileData.size()) return fail(ERR_NO_MORE_DATA);
    const std::string_view part = std::string_view(fFileData).substr(fFilePos, FILE_PART);
    fFilePos += part.size();
    ok();
    put(base64Encode(part));
    putInt(static_cast<int64_t>(fFileData.size()));
    return putInt(1);
  }
  fail(ERR_SYNTAX);
}

// ---- 202: restart and logo upload ----

void DeviceModel::cmdLogo() {
  const std::string_view a = arg(0);
  if (a == "RESTART") {
    fService = fUnlocked = fFileOpen = false;
    fEjSelected = 0;
    fLogoUpload = fLogoStopped = false;
    return ok();
  }
  if (a == "START") {
    fLogoUpload = true;
    fLogoStopped = false;
    fLogoData.clear();
    fLogoSum = 0;
    ok();
    return put("0");
  }
  if (a == "STOPP") {
    if (!fLogoUpload || fLogoStopped) return fail(ERR_NOT_POSSIBLE);
    fLogoStopped = true;
    ok();
    return put(fmt::format("{:X}", fLogoSum));
  }
  if (a == "UPDATE") {
    if (!fLogoStopped) return fail(ERR_NOT_POSSIBLE);
    fS.logo = std::move(fLogoData);
    fLogoData.clear();
    fLogoUpload = fLogoStopped = false;
    dirty = true;
    return ok();
  }
  if (!fLogoUpload || fLogoStopped) return fail(ERR_NOT_POSSIBLE);
  const auto block = base64Decode(a);
  if (!block) return fail(syntaxParam(1));
  if (fLogoData.size() + block->size() > MAX_LOGO) return fail(ERR_WRONG_LENGTH);
  for (unsigned char c : *block) fLogoSum += c;
  fLogoData += *block;
  ok();
  put(fmt::format("{:X}", fLogoSum));
}

}  // namespace kestrel::sim
