// Receipts, cash in and out, reports, fiscal memory and the electronic journal.
#include <fmt/format.h>

#include <algorithm>

#include "sim/device_codes.h"
#include "sim/device_model.h"

namespace kestrel::sim {

namespace {

constexpr int64_t MAX_AMOUNT = 9999999999 * 100;  // 99 999 999.99 in fixed-point
const char VAT_LETTERS[] = "AEJKM";

}  // namespace

int DeviceModel::checkOperator(std::string_view op, std::string_view password, int& number) const {
  const auto n = parseInt(op);
  if (!n) return syntaxParam(1);
  if (*n < 1 || *n > OPERATORS) return badParam(1);
  number = static_cast<int>(*n);
  if (!flag("EcrWithoutPasswords") && password != fS.operators[number - 1].password) return ERR_WRONG_PASSWORD;
  return 0;
}

int DeviceModel::receiptBusy() const {
  if (fS.receipt.kind == RK_FISCAL || fS.receipt.kind == RK_STORNO) return ERR_FISCAL_OPEN;
  if (fS.receipt.kind == RK_NONFISCAL) return ERR_NONFISCAL_OPEN;
  return 0;
}

void DeviceModel::openDay() {
  if (fS.dayOpened == 0) fS.dayOpened = now();
}

void DeviceModel::zeroDay() {
  fS.daySales.fill(0);
  fS.dayStorno.fill(0);
  fS.dayReceipts = 0;
  fS.dayOpened = 0;
  fS.cashIn = fS.cashOut = 0;
}

// ---- 48, 43, 38: opening receipts ----

void DeviceModel::cmdOpenFiscal(bool storno) {
  if (int busy = receiptBusy()) return fail(busy);
  int op = 0;
  if (int code = checkOperator(arg(0), arg(1), op)) return fail(code);
  Receipt r;
  r.kind = storno ? RK_STORNO : RK_FISCAL;
  r.op = op;
  const size_t iosaAt = storno ? 4 : 2;
  if (storno) {
    if (!isDigits(arg(2))) return fail(badParam(3));
    if (!isDigits(arg(3)) || arg(3).size() > 16) return fail(badParam(4));
    r.stornoOf = std::string(arg(3));
  } else if (!arg(3).empty() && !isDigits(arg(3))) {
    return fail(badParam(4));
  }
  const std::string_view iosa = arg(iosaAt);
  if (!isDigits(iosa) || iosa.size() > 16) return fail(badParam(static_cast<int>(iosaAt) + 1));
  r.iosa = std::string(iosa);
  if (!fS.vatSet) return fail(ERR_VAT_NOT_SET);
  if (dayExpired()) return fail(ERR_24H_BLOCK);
  if (static_cast<int>(fS.fiscalMemory.size()) >= FM_CAPACITY) return fail(ERR_FM_FULL);
  r.opened = now();
  fS.receipt = std::move(r);
  openDay();
  dirty = true;
  ok();
  putInt(fS.receiptNumber + 1);
}

void DeviceModel::cmdOpenNonFiscal() {
  if (int busy = receiptBusy()) return fail(busy);
  int op = 0;
  if (int code = checkOperator(arg(0), arg(1), op)) return fail(code);
  fS.receipt = Receipt{};
  fS.receipt.kind = RK_NONFISCAL;
  fS.receipt.op = op;
  fS.receipt.opened = now();
  dirty = true;
  ok();
}

void DeviceModel::cmdNonFiscalText() {
  if (fS.receipt.kind != RK_NONFISCAL) return fail(fS.receipt.kind == RK_NONE ? ERR_RECEIPT_CLOSED : ERR_FISCAL_OPEN);
  if (arg(0).size() > 48) return fail(badParam(1));
  if (fS.receipt.texts.size() >= 1000) return fail(ERR_MAX_SALES);
  fS.receipt.texts.emplace_back(arg(0));
  dirty = true;
  ok();
}

void DeviceModel::cmdCloseNonFiscal() {
  if (fS.receipt.kind != RK_NONFISCAL) return fail(fS.receipt.kind == RK_NONE ? ERR_RECEIPT_CLOSED : ERR_FISCAL_OPEN);
  beginDoc(DOC_NONFISCAL, "NON-FISCAL RECEIPT");
  for (const std::string& t : fS.receipt.texts) docLine(t);
  endDoc();
  fS.receipt = Receipt{};
  ok();
}

// ---- 58, 52: sales and voids ----

void DeviceModel::cmdSale() {
  Receipt& r = fS.receipt;
  if (r.kind == RK_NONE) return fail(ERR_RECEIPT_CLOSED);
  if (r.kind == RK_NONFISCAL) return fail(ERR_NONFISCAL_OPEN);
  if (r.paying) return fail(ERR_PAYMENT_STARTED);
  const auto plu = parseInt(arg(0));
  if (!plu) return fail(syntaxParam(1));
  if (*plu < 1 || *plu > MAX_PLU) return fail(badParam(1));
  const auto it = fS.items.find(static_cast<int>(*plu));
  if (it == fS.items.end()) return fail(ERR_PLU_NOT_FOUND);
  Item& item = it->second;
  const auto qty = parseFixed(arg(1), 3);
  if (!qty) return fail(syntaxParam(2));
  if (*qty <= 0 || *qty > 99999 * FIXED_ONE) return fail(badParam(2));
  int64_t price = item.price;
  if (!arg(2).empty()) {
    const auto p = parseFixed(arg(2), 2);
    if (!p) return fail(syntaxParam(3));
    if (*p < 0 || *p > MAX_AMOUNT) return fail(badParam(3));
    if (item.priceType == 0 && *p != item.price) return fail(ERR_FIXED_PRICE);
    if (item.priceType == 2 && *p > item.price) return fail(ERR_PRICE_ABOVE_PROGRAMMED);
    price = *p;
  }
  int corrKind = 0;
  if (!arg(3).empty()) {
    const auto k = parseInt(arg(3));
    if (!k || *k < 0 || *k > 2) return fail(badParam(4));
    corrKind = static_cast<int>(*k);
  }
  int64_t percent = 0;
  if (corrKind != 0) {
    const auto v = parseFixed(arg(4), 2);
    if (!v) return fail(syntaxParam(5));
    percent = *v < 0 ? -*v : *v;
    if (percent == 0 || percent >= 100 * FIXED_ONE) return fail(badParam(5));
    if (flag(corrKind == 1 ? "KeyNDB_forbidden" : "KeyOTS_forbidden")) return fail(ERR_FORBIDDEN_CORRECTION);
  }
  if (fS.vat[item.vat - 1] >= VAT_DISABLED) return fail(ERR_FORBIDDEN_VAT);
  if (r.lines.size() >= 380) return fail(ERR_MAX_SALES);
  const int64_t amount = roundFixed(mulFixed(*qty, price), 2);
  if (amount == 0) return fail(ERR_ZERO_AMOUNT);
  if (amount > MAX_AMOUNT) return fail(ERR_OVERFLOW);
  int64_t correction = roundFixed(mulFixed(amount, percent) / 100, 2);
  if (corrKind == 2) correction = -correction;
  const int64_t lineAmount = amount + correction;
  if (r.total + lineAmount > MAX_AMOUNT) return fail(ERR_RECEIPT_LIMIT);

  SaleLine line;
  line.plu = static_cast<int>(*plu);
  line.vat = item.vat;
  line.qty = *qty;
  line.price = price;
  line.amount = lineAmount;
  line.correction = correction;
  line.name = item.name;
  r.lines.push_back(std::move(line));
  r.total += lineAmount;
  const int sign = r.kind == RK_STORNO ? -1 : 1;
  item.turnover += sign * lineAmount;
  item.soldQty += sign * *qty;
  item.stockQty -= sign * *qty;
  dirty = true;
  ok();
  putFixed(lineAmount, 2);
  putFixed(r.total, 2);
}

void DeviceModel::cmdVoid() {
  Receipt& r = fS.receipt;
  if (endlessVoids && r.kind != RK_NONE) return ok();
  if (r.kind == RK_NONE) return fail(ERR_RECEIPT_CLOSED);
  if (r.kind == RK_NONFISCAL) return fail(ERR_NONFISCAL_OPEN);
  if (r.paying) return fail(ERR_PAYMENT_STARTED);
  const auto which = parseInt(arg(0));
  if (!which || *which < 0) return fail(badParam(1));
  SaleLine* line = nullptr;
  if (*which == 0) {
    for (auto it = r.lines.rbegin(); it != r.lines.rend() && !line; ++it)
      if (!it->voided) line = &*it;
  } else if (*which <= static_cast<int64_t>(r.lines.size()) && !r.lines[*which - 1].voided) {
    line = &r.lines[*which - 1];
  } else if (*which > static_cast<int64_t>(r.lines.size())) {
    return fail(badParam(1));
  }
  if (!line) return fail(ERR_NO_TRANSACTIONS);
  line->voided = true;
  r.total -= line->amount;
  if (auto it = fS.items.find(line->plu); it != fS.items.end()) {
    const int sign = r.kind == RK_STORNO ? -1 : 1;
    it->second.turnover -= sign * line->amount;
    it->second.soldQty -= sign * line->qty;
    it->second.stockQty += sign * line->qty;
  }
  dirty = true;
  ok();
  putFixed(r.total, 2);
}

// ---- 53, 56, 76: payment and closing ----

void DeviceModel::cmdPayment() {
  Receipt& r = fS.receipt;
  if (r.kind == RK_NONE) return fail(ERR_RECEIPT_CLOSED);
  if (r.kind == RK_NONFISCAL) return fail(ERR_NONFISCAL_OPEN);
  const auto type = parseInt(arg(0));
  if (!type) return fail(syntaxParam(1));
  if (*type < 0 || *type >= PAYMENTS) return fail(badParam(1));
  if (param("Payment_forbidden", static_cast<int>(*type)) == "1") return fail(ERR_FORBIDDEN_PAYMENT);
  const int64_t rest = std::max<int64_t>(r.total - r.paidTotal(), 0);
  int64_t amount = rest;
  if (!arg(1).empty()) {
    const auto a = parseFixed(arg(1), 2);
    if (!a) return fail(syntaxParam(2));
    if (*a < 0 || *a > MAX_AMOUNT) return fail(badParam(2));
    amount = *a;
  }
  if (amount > rest) {
    if (r.kind == RK_STORNO) return fail(ERR_STORNO_CHANGE);
    if (*type != 0) return fail(ERR_SUM_TOO_BIG);
  }
  if (r.kind == RK_STORNO && *type == 0 && r.paid[0] + amount > fS.cash) return fail(ERR_NO_CASH);
  r.paid[*type] += amount;
  r.paying = true;
  dirty = true;
  ok();
  putFixed(std::max<int64_t>(r.total - r.paidTotal(), 0), 2);
  putFixed(std::max<int64_t>(r.paidTotal() - r.total, 0), 2);
}

void DeviceModel::cmdCloseFiscal() {
  const Receipt& r = fS.receipt;
  if (r.kind == RK_NONE) return fail(ERR_RECEIPT_CLOSED);
  if (r.kind == RK_NONFISCAL) return fail(ERR_NONFISCAL_OPEN);
  if (!r.paying) return fail(ERR_PAYMENT_NOT_STARTED);
  if (r.paidTotal() < r.total) return fail(ERR_SUM_TOO_SMALL);
  closeFiscalReceipt();
  ok();
  putInt(fS.receiptNumber);
}

void DeviceModel::closeFiscalReceipt() {
  Receipt r = std::move(fS.receipt);
  fS.receipt = Receipt{};
  const bool storno = r.kind == RK_STORNO;
  ++fS.receiptNumber;
  const int64_t change = std::max<int64_t>(r.paidTotal() - r.total, 0);

  beginDoc(storno ? DOC_STORNO : DOC_FISCAL, storno ? "STORNO RECEIPT" : "FISCAL RECEIPT");
  if (storno) docPair("REFERENCE", r.stornoOf);
  docPair("OPERATOR", param("OperName", r.op - 1));
  docPair("IOSA", r.iosa);
  for (const SaleLine& l : r.lines) {
    docLine(l.name);
    docPair(formatFixed(l.qty, 3) + " x " + formatFixed(l.price, 2),
            formatFixed(l.amount - l.correction, 2) + " " + VAT_LETTERS[l.vat - 1]);
    if (l.correction != 0) docPairFixed(l.correction < 0 ? "DISCOUNT" : "SURCHARGE", l.correction, 2);
    if (l.voided) docPairFixed("VOID", -l.amount, 2);
  }
  docPairFixed("TOTAL", r.total, 2);
  for (int p = 0; p < PAYMENTS; ++p)
    if (r.paid[p] != 0) docPairFixed(param("PayName", p), r.paid[p], 2);
  if (change != 0) docPairFixed("CHANGE", change, 2);
  docPair("RECEIPT No.", fmt::format("{:06}", fS.receiptNumber));
  endDoc();

  auto& regs = fS.operators[r.op - 1].regs;
  for (const SaleLine& l : r.lines) {
    if (l.voided) {
      regs[storno ? OR_VOIDSTORNO_CNT : OR_VOID_CNT] += 1;
      regs[storno ? OR_VOIDSTORNO_SUM : OR_VOID_SUM] += l.amount;
      continue;
    }
    (storno ? fS.dayStorno : fS.daySales)[l.vat - 1] += l.amount;
    if (l.correction < 0) {
      regs[OR_DISC_CNT] += 1;
      regs[OR_DISC_SUM] += -l.correction;
    } else if (l.correction > 0) {
      regs[OR_SURCH_CNT] += 1;
      regs[OR_SURCH_SUM] += l.correction;
    }
  }
  if (storno) {
    regs[OR_STORNO_CNT] += 1;
    regs[OR_STORNO_SUM] += r.total;
    fS.cash -= r.paid[0];
  } else {
    regs[OR_RECEIPTS] += 1;
    regs[OR_SALES] += r.total;
    fS.cash += r.paid[0] - change;
  }
  ++fS.dayReceipts;
  dirty = true;
}

void DeviceModel::cmdReceiptState() {
  const Receipt& r = fS.receipt;
  int state = 0;
  if (r.kind == RK_FISCAL) state = r.paying ? 4 : 1;
  if (r.kind == RK_STORNO) state = r.paying ? 5 : 2;
  if (r.kind == RK_NONFISCAL) state = 3;
  ok();
  putInt(state);
  putInt(std::count_if(r.lines.begin(), r.lines.end(), [](const SaleLine& l) { return !l.voided; }));
  putInt(r.kind == RK_NONE ? fS.receiptNumber : fS.receiptNumber + 1);
  putInt(r.op);
  put(r.iosa);
  putFixed(r.total, 2);
  putFixed(r.paidTotal(), 2);
}

// ---- 70: cash in and out ----

void DeviceModel::cmdCash() {
  const std::string_view dir = arg(0);
  if (dir != "0" && dir != "1") return fail(ERR_SYNTAX);
  if (fS.receipt.kind != RK_NONE) return fail(ERR_RECEIPT_OPEN);
  const auto amount = parseFixed(arg(1), 2);
  if (!amount) return fail(syntaxParam(1));
  if (*amount < 0 || *amount > MAX_AMOUNT) return fail(badParam(1));
  if (dir == "1" && *amount > fS.cash) return fail(ERR_NO_CASH);
  if (*amount > 0) {
    if (dir == "0") {
      fS.cash += *amount;
      fS.cashIn += *amount;
    } else {
      fS.cash -= *amount;
      fS.cashOut += *amount;
    }
    openDay();
    beginDoc(DOC_NONFISCAL, dir == "0" ? "CASH IN" : "CASH OUT");
    docPairFixed("SUM", *amount, 2);
    docPairFixed("CASH IN SAFE", fS.cash, 2);
    endDoc();
  }
  ok();
  putFixed(fS.cash, 2);
  putFixed(fS.cashIn, 2);
  putFixed(fS.cashOut, 2);
}

// ---- 69: daily and other reports ----

int DeviceModel::makeZ(int& number) {
  if (static_cast<int>(fS.fiscalMemory.size()) >= FM_CAPACITY) return ERR_FM_FULL;
  ZRecord z;
  z.number = ++fS.zNumber;
  z.time = now();
  z.sales = fS.daySales;
  z.storno = fS.dayStorno;
  beginDoc(DOC_Z, "Z REPORT");
  docPair("Z No.", fmt::format("{:04}", z.number));
  int64_t total = 0;
  for (int i = 0; i < VAT_GROUPS; ++i) {
    docPairFixed(std::string("SALES ") + VAT_LETTERS[i], z.sales[i], 2);
    total += z.sales[i];
  }
  docPairFixed("TOTAL", total, 2);
  for (int i = 0; i < VAT_GROUPS; ++i) docPairFixed(std::string("STORNO ") + VAT_LETTERS[i], z.storno[i], 2);
  docPair("RECEIPTS", std::to_string(fS.dayReceipts));
  docPairFixed("CASH IN", fS.cashIn, 2);
  docPairFixed("CASH OUT", fS.cashOut, 2);
  endDoc();
  fS.fiscalMemory.push_back(z);
  if (flag("EcrPluDailyClearing"))
    for (auto& [plu, item] : fS.items) item.turnover = item.soldQty = 0;
  zeroDay();
  number = z.number;
  dirty = true;
  return 0;
}

void DeviceModel::cmdReport() {
  const std::string_view type = arg(0);
  if (fS.receipt.kind != RK_NONE) return fail(ERR_RECEIPT_OPEN);
  if (type == "X" || type == "Z") {
    const auto sales = fS.daySales, storno = fS.dayStorno;
    int number = fS.zNumber + 1;
    if (type == "Z") {
      if (int code = makeZ(number)) return fail(code);
    } else {
      beginDoc(DOC_X, "X REPORT");
      docPair("Z No.", fmt::format("{:04}", number));
      for (int i = 0; i < VAT_GROUPS; ++i) docPairFixed(std::string("SALES ") + VAT_LETTERS[i], sales[i], 2);
      for (int i = 0; i < VAT_GROUPS; ++i) docPairFixed(std::string("STORNO ") + VAT_LETTERS[i], storno[i], 2);
      docPairFixed("CASH IN SAFE", fS.cash, 2);
      endDoc();
    }
    ok();
    putInt(number);
    for (int64_t s : sales) putFixed(s, 2);
    for (int64_t s : storno) putFixed(s, 2);
    return;
  }
  if (type == "D" || type == "G") {
    const bool dept = type == "D";
    std::map<int, int64_t> sums;
    for (const auto& [plu, item] : fS.items) sums[dept ? item.dept : item.stock] += item.turnover;
    beginDoc(DOC_NONFISCAL, dept ? "DEPARTMENTS REPORT" : "ITEM GROUPS REPORT");
    for (const auto& [n, sum] : sums)
      if (sum != 0) docPairFixed(dept ? param("Dept_name", n - 1) : param("ItemGroups_name", n - 1), sum, 2);
    endDoc();
    return ok();
  }
  if (type == "P") {
    const auto kind = parseInt(arg(1));
    if (!kind || *kind < 1 || *kind > 3) return fail(badParam(1));
    const auto from = parseDeviceDate(arg(2));
    if (!from) return fail(syntaxParam(2));
    const auto to = parseDeviceDate(arg(3));
    if (!to) return fail(syntaxParam(3));
    if (*to < *from) return fail(badParam(3));
    if (*kind == 3) {
      const auto sub = parseInt(arg(4));
      if (!sub || *sub < 1 || *sub > 3) return fail(badParam(4));
      const auto a = parseInt(arg(5)), b = parseInt(arg(6));
      if (!a) return fail(syntaxParam(5));
      if (!b) return fail(syntaxParam(6));
      if (*b < *a) return fail(badParam(6));
    }
    static const char* const TITLES[] = {"", "PERIODIC REPORT PAYMENTS", "PERIODIC REPORT DEPARTMENTS",
                                         "PERIODIC REPORT PLU"};
    beginDoc(DOC_PERIODIC, TITLES[*kind]);
    docPair("FROM", arg(2));
    docPair("TO", arg(3));
    std::array<int64_t, VAT_GROUPS> sums{};
    for (const ZRecord& z : fS.fiscalMemory)
      if (z.time >= *from && z.time < *to + 86400)
        for (int i = 0; i < VAT_GROUPS; ++i) sums[i] += z.sales[i];
    for (int i = 0; i < VAT_GROUPS; ++i) docPairFixed(std::string("SALES ") + VAT_LETTERS[i], sums[i], 2);
    endDoc();
    return ok();
  }
  fail(ERR_SYNTAX);
}

void DeviceModel::cmdDiagPrint() {
  beginDoc(DOC_NONFISCAL, "DIAGNOSTIC");
  docPair("MODEL", fModel.name);
  docPair("FIRMWARE", std::string(FIRMWARE) + " " + FIRMWARE_DATE);
  docPair("SERIAL", fS.serial);
  docPair("FM", fS.fmNumber);
  docPair("FISCAL", fS.fiscal ? "YES" : "NO");
  for (int i = 0; i < VAT_GROUPS; ++i)
    docPair(std::string("VAT ") + VAT_LETTERS[i],
            fS.vat[i] >= VAT_DISABLED ? std::string("DISABLED") : formatFixed(int64_t(fS.vat[i]) * 100, 2));
  docPair("Z REPORTS", std::to_string(fS.zNumber));
  endDoc();
  ok();
}

void DeviceModel::cmdOperReport() {
  const auto from = parseInt(arg(0));
  if (!from || *from < 1 || *from > OPERATORS) return fail(badParam(1));
  const auto to = parseInt(arg(1));
  if (!to || *to < *from || *to > OPERATORS) return fail(badParam(2));
  if (!arg(2).empty() && arg(2) != "0" && arg(2) != "1") return fail(badParam(3));
  if (fS.receipt.kind != RK_NONE) return fail(ERR_RECEIPT_OPEN);
  beginDoc(DOC_NONFISCAL, "OPERATORS REPORT");
  for (int64_t n = *from; n <= *to; ++n) {
    auto& regs = fS.operators[n - 1].regs;
    docPair(std::to_string(n), param("OperName", static_cast<int>(n - 1)));
    docPair("RECEIPTS", std::to_string(regs[OR_RECEIPTS]));
    docPairFixed("SALES", regs[OR_SALES], 2);
    if (arg(2) == "1") regs.fill(0);
  }
  endDoc();
  ok();
}

void DeviceModel::cmdPluReport() {
  const auto kind = parseInt(arg(0));
  if (!kind || *kind < 0 || *kind > 3) return fail(badParam(1));
  const auto from = parseInt(arg(1));
  if (!from || *from < 1 || *from > MAX_PLU) return fail(badParam(2));
  const auto to = parseInt(arg(2));
  if (!to || *to < *from || *to > MAX_PLU) return fail(badParam(3));
  if (fS.receipt.kind != RK_NONE) return fail(ERR_RECEIPT_OPEN);
  static const char* const TITLES[] = {"PLU TURNOVERS", "PLU TURNOVERS WITH CLEARING", "PLU PARAMETERS", "PLU STOCK"};
  beginDoc(DOC_NONFISCAL, TITLES[*kind]);
  for (auto it = fS.items.lower_bound(static_cast<int>(*from)); it != fS.items.end() && it->first <= *to; ++it) {
    Item& item = it->second;
    docLine(fmt::format("{} {}", it->first, item.name));
    if (*kind == 2) docPairFixed("PRICE", item.price, 2);
    else if (*kind == 3) docPairFixed("STOCK", item.stockQty, 3);
    else docPairFixed("TURNOVER", item.turnover, 2);
    if (*kind == 1) item.turnover = item.soldQty = 0;
  }
  endDoc();
  ok();
}

// ---- 94, 95: fiscal memory reports ----

// Prints the Z records that `select` picks; false when there is none.
bool DeviceModel::printFmReport(const std::function<bool(const ZRecord&)>& select) {
  std::vector<const ZRecord*> found;
  for (const ZRecord& z : fS.fiscalMemory)
    if (select(z)) found.push_back(&z);
  if (found.empty()) return false;
  beginDoc(DOC_PERIODIC, "FISCAL MEMORY REPORT");
  for (const ZRecord* z : found) {
    int64_t total = 0;
    for (int64_t s : z->sales) total += s;
    docPair(fmt::format("Z {:04}", z->number), formatDeviceDateTime(z->time, false));
    docPairFixed("TOTAL", total, 2);
  }
  endDoc();
  return true;
}

void DeviceModel::cmdFmByDate() {
  const auto from = parseDeviceDateTime(arg(0));
  if (!from) return fail(syntaxParam(1));
  const auto to = parseDeviceDateTime(arg(1));
  if (!to) return fail(syntaxParam(2));
  if (*to < *from) return fail(ERR_FM_WRONG_RANGE);
  if (fS.receipt.kind != RK_NONE) return fail(ERR_RECEIPT_OPEN);
  if (!printFmReport([&](const ZRecord& z) { return z.time >= *from && z.time <= *to; }))
    return fail(ERR_FM_EMPTY_RANGE);
  ok();
}

void DeviceModel::cmdFmByNumber() {
  const auto from = parseInt(arg(0));
  if (!from) return fail(syntaxParam(1));
  const auto to = parseInt(arg(1));
  if (!to) return fail(syntaxParam(2));
  if (*from < 1) return fail(badParam(1));
  if (*to < *from) return fail(ERR_FM_WRONG_RANGE);
  if (fS.receipt.kind != RK_NONE) return fail(ERR_RECEIPT_OPEN);
  if (!printFmReport([&](const ZRecord& z) { return z.number >= *from && z.number <= *to; }))
    return fail(ERR_FM_EMPTY_RANGE);
  ok();
}

// ---- 124, 125: electronic journal ----

void DeviceModel::cmdJournalFind() {
  const auto from = parseDeviceDateTime(arg(0));
  if (!from) return fail(syntaxParam(1));
  const auto to = parseDeviceDateTime(arg(1));
  if (!to) return fail(syntaxParam(2));
  const auto type = parseInt(arg(2));
  if (!type) return fail(syntaxParam(3));
  if (*type < 0 || *type > DOC_ALL) return fail(badParam(3));
  const JournalDoc* first = nullptr;
  const JournalDoc* last = nullptr;
  for (const JournalDoc& d : fS.journal) {
    if (d.time < *from || d.time > *to || !docMatches(d.type, static_cast<int>(*type))) continue;
    if (!first) first = &d;
    last = &d;
  }
  if (!first) return fail(ERR_EJ_NO_RECORDS);
  ok();
  put(formatDeviceDateTime(first->time, false));
  put(formatDeviceDateTime(last->time, false));
  putInt(first->number);
  putInt(last->number);
}

void DeviceModel::cmdJournalSelect() {
  const std::string_view fn = arg(0);
  if (fn == "0" || fn == "3") {
    const auto n = parseInt(arg(1));
    if (!n) return fail(syntaxParam(1));
    const auto type = parseInt(arg(2));
    if (!type) return fail(syntaxParam(2));
    if (*type < 0 || *type > DOC_ALL) return fail(badParam(2));
    const JournalDoc* doc = *n > 0 && *n <= INT32_MAX ? findDoc(static_cast<int>(*n)) : nullptr;
    if (!doc || !docMatches(doc->type, static_cast<int>(*type))) return fail(ERR_EJ_NO_RECORDS);
    if (fn == "3") return ok();  // printing a copy leaves the journal and the reading position alone
    fEjSelected = doc->number;
    fEjLine = 0;
    ok();
    putInt(doc->number);
    putInt(doc->type);
    put(formatDeviceDateTime(doc->time, false));
    putInt(static_cast<int64_t>(doc->lines.size()));
    return;
  }
  if (fn == "1") {
    const JournalDoc* doc = fEjSelected ? findDoc(fEjSelected) : nullptr;
    if (!doc) return fail(ERR_EJ_NO_RECORDS);
    if (fEjLine >= doc->lines.size() && doc->number == endlessDocument && !doc->lines.empty()) fEjLine = 0;
    if (fEjLine >= doc->lines.size()) return fail(ERR_NO_MORE_DATA);
    ok();
    put(doc->lines[fEjLine++]);
    return;
  }
  fail(ERR_SYNTAX);
}

}  // namespace kestrel::sim
