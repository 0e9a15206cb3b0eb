#include "sim/device_model.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstring>

#include "sim/device_codes.h"
#include "support/md5.h"

namespace kestrel::sim {

const char* const MODEL_NAMES[7] = {"KT-11A", "KT-22A", "KT-33A", "KT-44B", "KT-55B", "KT-66B", "KT-77B"};

ModelInfo modelInfo(std::string_view name) {
  static constexpr int KEYS[7] = {8, 0, 0, 8, 0, 6, 8};
  static constexpr bool REGISTER[7] = {true, false, false, true, false, true, true};
  ModelInfo m;
  m.name = std::string(name);
  for (int i = 0; i < 7; ++i) {
    if (name.size() != std::strlen(MODEL_NAMES[i])) continue;
    bool same = true;
    for (size_t k = 0; k < name.size(); ++k)
      if (std::toupper(static_cast<unsigned char>(name[k])) != MODEL_NAMES[i][k]) same = false;
    if (!same) continue;
    m.name = MODEL_NAMES[i];
    m.index = i;
    m.registerGroup = REGISTER[i];
    m.directKeys = KEYS[i];
    m.widePaper = i == 2 || i == 4;
  }
  m.operatorPassword = m.registerGroup ? "1" : "0000";
  return m;
}

int64_t Receipt::paidTotal() const {
  int64_t s = 0;
  for (int64_t p : paid) s += p;
  return s;
}

bool Receipt::hasActiveLines() const {
  return std::any_of(lines.begin(), lines.end(), [](const SaleLine& l) { return !l.voided; });
}

DeviceModel::DeviceModel(std::string_view model) : fModel(modelInfo(model)) {
  fArgs.reserve(32);
  files["KEYSTORE/root.crt"] =
      "-----BEGIN CERTIFICATE-----\n"
      "S2VzdHJlbCBGQkggc2ltdWxhdG9yIHJvb3QgY2VydGlmaWNhdGUuIE5vdCBmb3Ig\n"
      "cHJvZHVjdGlvbiB1c2UuIEtULWZhbWlseSBzaW11bGF0ZWQgZGV2aWNlLg==\n"
      "-----END CERTIFICATE-----\n";
  files["KEYSTORE/server.crt"] =
      "-----BEGIN CERTIFICATE-----\n"
      "S2VzdHJlbCBGQkggc2ltdWxhdG9yIHNlcnZlciBjZXJ0aWZpY2F0ZS4gSXNzdWVk\n"
      "IGJ5IHRoZSBzaW11bGF0b3Igcm9vdC4gTm90IGZvciBwcm9kdWN0aW9uIHVzZS4=\n"
      "-----END CERTIFICATE-----\n";
  factoryReset();
}

void DeviceModel::factoryReset() {
  fS = DeviceState{};
  fS.model = fModel.name;
  // A fresh device shows the host's local time.
  fS.clockOffset = 0;
  fS.vat.fill(VAT_DISABLED);
  for (auto& op : fS.operators) op.password = fModel.operatorPassword;
  defaultParams();
  fS.commandFile = "";
  fService = fUnlocked = false;
  fEjSelected = 0;
  fClientCursor = 0;
  fFileOpen = fLogoUpload = fLogoStopped = false;
  dirty = true;
}

DeviceTime DeviceModel::now() const { return hostClock() + fS.clockOffset; }

// ---- answer helpers ----

void DeviceModel::ok() {
  fLastCode = 0;
  fOut->clear();
  fOut->append("0\t");
}

void DeviceModel::fail(int code) {
  fLastCode = code;
  fOut->clear();
  fOut->append(std::to_string(code));
  fOut->push_back('\t');
}

void DeviceModel::put(std::string_view field) {
  fOut->append(field);
  fOut->push_back('\t');
}

void DeviceModel::putInt(int64_t v) {
  char buf[24];
  auto* end = fmt::format_to(buf, "{}", v);
  fOut->append(buf, end);
  fOut->push_back('\t');
}

void DeviceModel::putFixed(int64_t v, int decimals) {
  appendFixed(*fOut, v, decimals);
  fOut->push_back('\t');
}

// ---- dispatch ----

void DeviceModel::execute(uint16_t cmd, std::string_view input, std::string& answer) {
  fOut = &answer;
  fArgs.clear();
  size_t pos = 0;
  while (pos < input.size()) {
    const size_t tab = input.find('\t', pos);
    if (tab == std::string_view::npos) {
      fArgs.push_back(input.substr(pos));
      break;
    }
    fArgs.push_back(input.substr(pos, tab - pos));
    pos = tab + 1;
  }
  if (commandFault) {
    if (const int code = commandFault(cmd, input); code != 0) {
      fail(code);
      fOut = nullptr;
      return;
    }
  }
  switch (cmd) {
    case 74: ok(); break;
    case 90: cmdDiagnostic(input); break;
    case 255: cmdParam(); break;
    case 61: cmdSetDateTime(); break;
    case 62: cmdGetDateTime(); break;
    case 83: cmdVat(); break;
    case 91: cmdFiscalSerial(); break;
    case 98: cmdFiscalTax(); break;
    case 96: cmdFiscalIosa(); break;
    case 72: cmdFiscalize(); break;
    case 253: cmdService(); break;
    case 107: cmdItems(); break;
    case 140: cmdClients(); break;
    case 101: cmdOperPassword(); break;
    case 112: cmdOperRegisters(); break;
    case 69: cmdReport(); break;
    case 71: cmdDiagPrint(); break;
    case 105: cmdOperReport(); break;
    case 111: cmdPluReport(); break;
    case 94: cmdFmByDate(); break;
    case 95: cmdFmByNumber(); break;
    case 70: cmdCash(); break;
    case 48: cmdOpenFiscal(false); break;
    case 43: cmdOpenFiscal(true); break;
    case 38: cmdOpenNonFiscal(); break;
    case 42: cmdNonFiscalText(); break;
    case 39: cmdCloseNonFiscal(); break;
    case 58: cmdSale(); break;
    case 52: cmdVoid(); break;
    case 53: cmdPayment(); break;
    case 56: cmdCloseFiscal(); break;
    case 76: cmdReceiptState(); break;
    case 124: cmdJournalFind(); break;
    case 125: cmdJournalSelect(); break;
    case 144: cmdTerminal(); break;
    case 129: cmdFiles(); break;
    case 202: cmdLogo(); break;
    default: fail(ERR_INVALID_COMMAND); break;
  }
  fOut = nullptr;
}

void completeStatusBytes(uint8_t* s) {
  for (int i = 0; i < 8; ++i) s[i] |= 0x80;
  // The two OR bits follow the error bits they summarise.
  if ((s[0] & 0x13) || (s[1] & 0x03) || (s[2] & 0x01)) s[0] |= 0x20;
  if (s[4] & 0x51) s[4] |= 0x20;
}

void DeviceModel::statusBytes(uint8_t out[8]) const {
  std::memset(out, 0x80, 8);
  const int c = fLastCode;
  if ((c <= -112100 && c >= -112199) || c == ERR_SYNTAX) out[0] |= 0x01;
  if (c == ERR_INVALID_COMMAND) out[0] |= 0x02;
  if (!fS.clockSet) out[0] |= 0x04;
  if (c == ERR_NEED_SERVICE || c == ERR_FORBIDDEN || c == ERR_RECEIPT_OPEN || c == ERR_RECEIPT_CLOSED ||
      c == ERR_NONFISCAL_OPEN || c == ERR_FISCAL_OPEN || c == ERR_NOT_PERMITTED || c == ERR_NEED_Z)
    out[1] |= 0x02;
  if (dayExpired()) out[1] |= 0x04;
  const size_t docs = fS.journal.size();
  if (docs >= EJ_CAPACITY) out[2] |= 0x04;
  if (docs >= EJ_CAPACITY - EJ_CAPACITY / 20) out[2] |= 0x10;
  if (fS.receipt.kind == RK_FISCAL || fS.receipt.kind == RK_STORNO) out[2] |= 0x08;
  if (fS.receipt.kind == RK_NONFISCAL) out[2] |= 0x20;
  if (!fS.jib.empty()) out[4] |= 0x02;
  if (!fS.serial.empty()) out[4] |= 0x04;
  const int zLeft = FM_CAPACITY - static_cast<int>(fS.fiscalMemory.size());
  if (zLeft < 60) out[4] |= 0x08;
  if (zLeft <= 0) out[4] |= 0x10;
  out[5] |= 0x02;  // the fiscal memory of a simulated device is always formatted
  if (fS.fiscal) out[5] |= 0x08;
  if (fS.vatSet) out[5] |= 0x10;
  completeStatusBytes(out);
}

bool DeviceModel::dayExpired() const { return fS.dayOpened != 0 && now() - fS.dayOpened > 86400; }

// ---- 90: diagnostic information ----

void DeviceModel::cmdDiagnostic(std::string_view input) {
  const std::string& serial = fS.serial;
  const char* type = fModel.registerGroup ? "ECR" : "FP";
  if (input.find('\t') == std::string_view::npos) {
    // The comma form of older clients: no error code field.
    fLastCode = 0;
    fOut->clear();
    if (input == "#") {
      fmt::format_to(std::back_inserter(*fOut), "{},BA,{},01,{},{},{},{},{},{}", type, fModel.name, FIRMWARE,
                     FIRMWARE, FIRMWARE, serial, HARDWARE, BOOTLOADER);
    } else {
      fmt::format_to(std::back_inserter(*fOut), "{},{} {} {},{},{},{},{}", fModel.name, FIRMWARE, FIRMWARE_DATE,
                     FIRMWARE_TIME, FIRMWARE_CHECKSUM, SOFTWARE_SWITCHES, serial, fS.fmNumber);
    }
    return;
  }
  ok();
  if (arg(0) == "#") {
    for (std::string_view v : {std::string_view(type), std::string_view("BA"), std::string_view(fModel.name),
                               std::string_view("01"), std::string_view(FIRMWARE), std::string_view(FIRMWARE),
                               std::string_view(FIRMWARE), std::string_view(serial), std::string_view(HARDWARE),
                               std::string_view(BOOTLOADER)})
      put(v);
  } else {
    for (std::string_view v : {std::string_view(fModel.name), std::string_view(FIRMWARE),
                               std::string_view(FIRMWARE_DATE), std::string_view(FIRMWARE_TIME),
                               std::string_view(FIRMWARE_CHECKSUM), std::string_view(SOFTWARE_SWITCHES),
                               std::string_view(serial), std::string_view(fS.fmNumber)})
      put(v);
  }
}

// ---- 61, 62: clock ----

void DeviceModel::cmdSetDateTime() {
  const auto t = parseDeviceDateTime(arg(0));
  if (!t) return fail(syntaxParam(1));
  if (fS.receipt.kind != RK_NONE) return fail(ERR_RECEIPT_OPEN);
  // The clock may not go back behind the last record of the fiscal memory.
  if (!fS.fiscalMemory.empty() && *t < fS.fiscalMemory.back().time) return fail(ERR_DATE_BEFORE_FM);
  fS.clockOffset = *t - hostClock();
  fS.clockSet = true;
  dirty = true;
  ok();
}

void DeviceModel::cmdGetDateTime() {
  const DeviceTime t = now();
  ok();
  put(formatDeviceDateTime(t, param("DaylightSavingMinutes") != "0" && isSummerTime(t)));
}

// ---- 83: VAT rates ----

int DeviceModel::setVatRates(const std::array<int, VAT_GROUPS>& rates) {
  if (fS.receipt.kind != RK_NONE) return ERR_RECEIPT_OPEN;
  if (dayHasTransactions()) return ERR_NEED_Z;
  fS.vat = rates;
  fS.vatSet = true;
  dirty = true;
  beginDoc(DOC_NONFISCAL, "VAT RATES");
  static const char LETTERS[] = "AEJKM";
  for (int i = 0; i < VAT_GROUPS; ++i)
    docPair(std::string("VAT ") + LETTERS[i],
            rates[i] >= VAT_DISABLED ? std::string("DISABLED") : formatFixed(int64_t(rates[i]) * 100, 2) + " %");
  endDoc();
  return 0;
}

void DeviceModel::cmdVat() {
  std::array<int, VAT_GROUPS> rates{};
  for (int i = 0; i < VAT_GROUPS; ++i) {
    if (i >= static_cast<int>(fArgs.size()) || arg(i).empty()) return fail(syntaxParam(i + 1));
    const auto v = parseFixed(arg(i), 2);
    if (!v) return fail(syntaxParam(i + 1));
    if (*v < 0 || *v > 100 * FIXED_ONE) return fail(badParam(i + 1));
    rates[i] = static_cast<int>(*v / 100);  // hundredths of a percent; 100.00 % disables the group
  }
  const int code = setVatRates(rates);
  if (code) return fail(code);
  ok();
}

// ---- fiscalization: 91, 98, 96, 72 ----

void DeviceModel::cmdFiscalSerial() {
  const std::string_view serial = arg(0), fm = arg(1);
  if (!fS.serial.empty()) return fail(ERR_FORBIDDEN);
  auto alnum = [](std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return std::isupper((unsigned char)c) || std::isdigit((unsigned char)c); });
  };
  if (serial.size() != 8 || !alnum(serial)) return fail(badParam(1));
  if (fm.size() != 8 || !isDigits(fm)) return fail(badParam(2));
  fS.serial = std::string(serial);
  fS.fmNumber = std::string(fm);
  dirty = true;
  ok();
}

void DeviceModel::cmdFiscalTax() {
  const std::string_view jib = arg(0), pib = arg(1);
  if (!fS.jib.empty()) return fail(ERR_FORBIDDEN);
  if (jib.size() != 13 || !isDigits(jib)) return fail(badParam(1));
  if (pib.size() != 12 || !isDigits(pib)) return fail(badParam(2));
  fS.jib = std::string(jib);
  fS.pib = std::string(pib);
  dirty = true;
  ok();
}

void DeviceModel::cmdFiscalIosa() {
  const std::string_view iosa = arg(0);
  if (!fS.iosa.empty()) return fail(ERR_FORBIDDEN);
  if (iosa.empty() || iosa.size() > 16 || !isDigits(iosa)) return fail(badParam(1));
  fS.iosa = std::string(iosa);
  dirty = true;
  ok();
}

void DeviceModel::cmdFiscalize() {
  if (fS.fiscal) return fail(ERR_FORBIDDEN);
  if (fS.serial.empty()) return fail(ERR_FM_NUMBER_EMPTY);
  if (fS.jib.empty()) return fail(ERR_TAX_NUMBER_EMPTY);
  if (!fS.vatSet) return fail(ERR_VAT_NOT_SET);
  if (fS.receipt.kind != RK_NONE) return fail(ERR_RECEIPT_OPEN);
  if (dayHasTransactions()) return fail(ERR_NEED_Z);
  if (arg(0) != fS.serial) return fail(badParam(1));
  if (arg(1) != fS.jib) return fail(badParam(2));
  if (arg(2) != fS.pib) return fail(badParam(3));
  fS.fiscal = true;
  dirty = true;
  beginDoc(DOC_NONFISCAL, "FISCALIZATION");
  docPair("SERIAL", fS.serial);
  docPair("FM", fS.fmNumber);
  docPair("JIB", fS.jib);
  docPair("PIB", fS.pib);
  endDoc();
  if (flag("PrintTestReceipt")) {
    // Test receipt, storno receipt and Z report, all of zero value.
    for (int type : {DOC_FISCAL, DOC_STORNO}) {
      beginDoc(type, type == DOC_FISCAL ? "FISCAL RECEIPT" : "STORNO RECEIPT");
      docLine("TEST");
      docPairFixed("TOTAL", 0, 2);
      endDoc();
    }
    int number = 0;
    makeZ(number);
  }
  ok();
}

// ---- 253: service functions ----

void DeviceModel::cmdService() {
  const std::string_view fn = arg(0);
  if (fn == "0") {
    const std::string_view pw = arg(1);
    if (pw.empty() || pw == " ") {
      fService = false;
      return ok();
    }
    if (pw != servicePassword) return fail(ERR_WRONG_PASSWORD);
    if (fS.receipt.kind != RK_NONE) return fail(ERR_RECEIPT_OPEN);
    fService = true;
    return ok();
  }
  if (fn == "4") {
    if (!fService) return fail(ERR_NEED_SERVICE);
    const std::string_view type = arg(2);
    if (type.size() != 1 || std::string_view("CPBDSF").find(type[0]) == std::string_view::npos)
      return fail(badParam(2));
    recordServiceReset(type[0]);
    return ok();
  }
  if (fn == "5") {
    if (!fService) return fail(ERR_NEED_SERVICE);
    const auto start = parseDeviceDateTime(arg(1));
    if (!start) return fail(syntaxParam(1));
    const auto end = parseDeviceDateTime(arg(2));
    if (!end) return fail(syntaxParam(2));
    if (*end < *start) return fail(badParam(2));
    const std::string_view type = arg(3);
    if (type.size() != 1 || std::string_view("NTBPFOKMI").find(type[0]) == std::string_view::npos)
      return fail(badParam(3));
    beginDoc(DOC_NONFISCAL, "SERVICE OPERATION");
    docPair("START", arg(1));
    docPair("END", arg(2));
    docPair("TYPE", type);
    endDoc();
    dirty = true;
    return ok();
  }
  fail(ERR_SYNTAX);
}

void DeviceModel::recordServiceReset(char type) {
  const bool full = type == 'F';
  if (type == 'C' || full) {
    fS.receipt = Receipt{};
    zeroDay();
    fS.cash = 0;
    for (auto& op : fS.operators) op.regs.fill(0);
  }
  if (type == 'P' || full) fS.items.clear();
  if (type == 'B' || full) fS.clients.clear();
  if (type == 'D') {
    for (const char* name : {"Dept_name", "ItemGroups_name", "PayName", "OperName"}) fS.params.erase(name);
    defaultParams();
  }
  if (type == 'S' || full) {
    fS.params.clear();
    defaultParams();
  }
  if (full)
    for (auto& op : fS.operators) op.password = fModel.operatorPassword;
  beginDoc(DOC_NONFISCAL, "RAM RESET");
  docPair("TYPE", std::string(1, type));
  endDoc();
  dirty = true;
}

// ---- documents of the electronic journal ----

void DeviceModel::beginDoc(int type, std::string_view title) {
  fDoc = JournalDoc{};
  fDoc.type = type;
  for (int i = 0; i < 10; ++i)
    if (const std::string& h = param("Header", i); !h.empty()) docLine(h);
  docLine(title);
}

void DeviceModel::docLine(std::string_view text) {
  std::string line(text);
  std::replace(line.begin(), line.end(), '\t', ' ');
  fDoc.lines.push_back(std::move(line));
}

void DeviceModel::docPair(std::string_view label, std::string_view value) {
  std::string line;
  line.reserve(label.size() + value.size() + 2);
  line.push_back(GS);
  line.append(label);
  line.push_back(GS);
  line.append(value);
  std::replace(line.begin(), line.end(), '\t', ' ');
  fDoc.lines.push_back(std::move(line));
}

void DeviceModel::docPairFixed(std::string_view label, int64_t value, int decimals) {
  docPair(label, formatFixed(value, decimals));
}

namespace {

// The hash covers the lines as a reader shows them: a line that starts with the
// column mark has every column mark turned into TAB; every line ends with LF.
std::string documentHash(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) {
    if (!l.empty() && l[0] == GS) {
      std::string shown = l;
      std::replace(shown.begin(), shown.end(), GS, '\t');
      text += shown;
    } else {
      text += l;
    }
    text.push_back('\n');
  }
  return kestrel::md5Hex(text, true);
}

}  // namespace

void DeviceModel::endDoc() {
  for (int i = 0; i < 10; ++i)
    if (const std::string& f = param("Footer", i); !f.empty()) docLine(f);
  const DeviceTime t = now();
  fDoc.number = ++fS.docNumber;
  fDoc.time = t;
  docPair("DOC No.", fmt::format("{:06}", fDoc.number));
  docLine(formatDeviceDateTime(t, false));
  docLine(fS.serial.empty() ? std::string("SN --------") : "SN " + fS.serial + "  FM " + fS.fmNumber);
  if (!fS.fiscal) docLine("NON-FISCAL MODE");
  const bool copy = (fDoc.type == DOC_FISCAL || fDoc.type == DOC_STORNO) && flag("DublReceipts");
  JournalDoc dup;
  if (copy) dup = fDoc;
  fDoc.lines.push_back(std::string(1, GS) + documentHash(fDoc.lines));
  fDoc.lines.push_back("{ logo }");
  fS.journal.push_back(std::move(fDoc));
  if (copy) {
    dup.type = DOC_COPY;
    dup.number = ++fS.docNumber;
    dup.lines.insert(dup.lines.begin(), "DUPLICATE");
    dup.lines.push_back(std::string(1, GS) + documentHash(dup.lines));
    dup.lines.push_back("{ logo }");
    fS.journal.push_back(std::move(dup));
  }
  fDoc = JournalDoc{};
  dirty = true;
}

bool DeviceModel::docMatches(int docType, int wanted) {
  switch (wanted) {
    case DOC_ALL_FISCAL: return docType == DOC_FISCAL || docType == DOC_STORNO;
    case DOC_ALL:
      return docType == DOC_FISCAL || docType == DOC_STORNO || docType == DOC_NONFISCAL || docType == DOC_COPY;
    default: return docType == wanted;
  }
}

const JournalDoc* DeviceModel::findDoc(int number) const {
  // Documents are numbered in order, so a binary search finds them.
  auto it = std::lower_bound(fS.journal.begin(), fS.journal.end(), number,
                             [](const JournalDoc& d, int n) { return d.number < n; });
  return it != fS.journal.end() && it->number == number ? &*it : nullptr;
}

}  // namespace kestrel::sim
