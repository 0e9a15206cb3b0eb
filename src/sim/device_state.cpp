// The device state as a text of TAB-separated records, one per line. Texts are
// escaped so that they hold no TAB or line break; the last record counts the
// records before it, so a cut file is recognised.
#include <fmt/format.h>

#include "sim/device_model.h"

namespace kestrel::sim {

namespace {

constexpr std::string_view MAGIC = "KESTREL-SIM-STATE";

class Writer {
 public:
  explicit Writer(std::string& out) : fOut(out) {}
  Writer& rec(std::string_view kind) {
    if (fOpen) fOut.push_back('\n');
    fOut.append(kind);
    fOpen = true;
    ++fCount;
    return *this;
  }
  Writer& i(int64_t v) {
    fOut.push_back('\t');
    fmt::format_to(std::back_inserter(fOut), "{}", v);
    return *this;
  }
  Writer& s(std::string_view v) {
    fOut.push_back('\t');
    fOut.append(escapeBytes(v));
    return *this;
  }
  void finish() {
    const int64_t before = fCount;
    rec("end").i(before);
    fOut.push_back('\n');
  }

 private:
  std::string& fOut;
  bool fOpen = false;
  int64_t fCount = 0;
};

struct ParseError {
  std::string message;
};

class Record {
 public:
  Record(std::string_view line, size_t lineNo) : fLineNo(lineNo) {
    size_t pos = 0;
    while (true) {
      const size_t tab = line.find('\t', pos);
      fFields.push_back(line.substr(pos, tab == std::string_view::npos ? std::string_view::npos : tab - pos));
      if (tab == std::string_view::npos) break;
      pos = tab + 1;
    }
  }
  std::string_view kind() const { return fFields[0]; }
  size_t size() const { return fFields.size() - 1; }
  void need(size_t n) const {
    if (size() < n) error(fmt::format("record '{}' has {} fields, needs {}", kind(), size(), n));
  }
  int64_t i(size_t k) const {
    const auto v = parseInt(field(k));
    if (!v) error(fmt::format("field {} of '{}' is not a number", k, kind()));
    return *v;
  }
  int64_t i(size_t k, int64_t lo, int64_t hi) const {
    const int64_t v = i(k);
    if (v < lo || v > hi) error(fmt::format("field {} of '{}' is out of range", k, kind()));
    return v;
  }
  std::string s(size_t k) const {
    auto v = unescapeBytes(field(k));
    if (!v) error(fmt::format("field {} of '{}' is badly escaped", k, kind()));
    return std::move(*v);
  }
  [[noreturn]] void error(const std::string& what) const {
    throw ParseError{fmt::format("line {}: {}", fLineNo, what)};
  }

 private:
  std::string_view field(size_t k) const {
    need(k);
    return fFields[k];
  }
  std::vector<std::string_view> fFields;
  size_t fLineNo;
};

}  // namespace

std::string DeviceModel::serialize() const {
  std::string out;
  out.reserve(4096 + fS.items.size() * 80 + fS.journal.size() * 400);
  Writer w(out);
  w.rec(MAGIC).i(1);
  w.rec("model").s(fS.model);
  w.rec("clock").i(fS.clockOffset).i(fS.clockSet);
  w.rec("vat");
  for (int r : fS.vat) w.i(r);
  w.i(fS.vatSet);
  w.rec("fiscal").s(fS.serial).s(fS.fmNumber).s(fS.jib).s(fS.pib).s(fS.iosa).i(fS.fiscal);
  w.rec("counters").i(fS.zNumber).i(fS.docNumber).i(fS.receiptNumber).i(fS.firstInstall).i(fS.lastSentZ);
  w.rec("day").i(fS.dayReceipts).i(fS.dayOpened).i(fS.cash).i(fS.cashIn).i(fS.cashOut);
  for (int64_t v : fS.daySales) w.i(v);
  for (int64_t v : fS.dayStorno) w.i(v);
  w.rec("cmdfile").s(fS.commandFile);
  w.rec("logo").s(base64Encode(fS.logo));
  for (const auto& [name, values] : fS.params)
    for (size_t k = 0; k < values.size(); ++k) w.rec("param").s(name).i(static_cast<int64_t>(k)).s(values[k]);
  for (size_t k = 0; k < fS.operators.size(); ++k) {
    w.rec("oper").i(static_cast<int64_t>(k + 1)).s(fS.operators[k].password);
    for (int64_t v : fS.operators[k].regs) w.i(v);
  }
  for (const auto& [plu, it] : fS.items) {
    w.rec("item").i(plu).i(it.vat).i(it.dept).i(it.stock).i(it.priceType).i(it.price).i(it.turnover).i(it.soldQty)
        .i(it.stockQty);
    for (const std::string& b : it.barcodes) w.s(b);
    w.s(it.name);
  }
  for (const auto& [n, c] : fS.clients)
    w.rec("client").i(n).s(c.name).s(c.taxNumber).s(c.name2).s(c.address1).s(c.address2);
  for (const ZRecord& z : fS.fiscalMemory) {
    w.rec("fm").i(z.number).i(z.time);
    for (int64_t v : z.sales) w.i(v);
    for (int64_t v : z.storno) w.i(v);
  }
  for (const JournalDoc& d : fS.journal) {
    w.rec("doc").i(d.number).i(d.type).i(d.time).i(static_cast<int64_t>(d.lines.size()));
    for (const std::string& l : d.lines) w.rec("line").s(l);
  }
  const Receipt& r = fS.receipt;
  if (r.kind != RK_NONE) {
    w.rec("receipt").i(r.kind).i(r.op).s(r.iosa).s(r.stornoOf).i(r.opened).i(r.total);
    for (int64_t p : r.paid) w.i(p);
    w.i(r.paying);
    for (const SaleLine& l : r.lines)
      w.rec("rline").i(l.plu).i(l.vat).i(l.qty).i(l.price).i(l.amount).i(l.correction).i(l.voided).s(l.name);
    for (const std::string& t : r.texts) w.rec("rtext").s(t);
  }
  w.finish();
  return out;
}

bool DeviceModel::deserialize(std::string_view text, std::string& error) {
  DeviceState st;
  ModelInfo model = fModel;
  try {
    size_t pos = 0, lineNo = 0;
    int64_t records = 0;
    bool ended = false;
    JournalDoc* doc = nullptr;
    size_t docLinesLeft = 0;
    while (pos < text.size()) {
      size_t nl = text.find('\n', pos);
      if (nl == std::string_view::npos) nl = text.size();
      const std::string_view line = text.substr(pos, nl - pos);
      pos = nl + 1;
      ++lineNo;
      if (line.empty()) continue;
      if (ended) throw ParseError{fmt::format("line {}: data after the end record", lineNo)};
      const Record r(line, lineNo);
      const std::string_view k = r.kind();
      if (docLinesLeft > 0 && k != "line") r.error("document is missing lines");
      if (records == 0 && k != MAGIC) r.error("not a simulator state file");
      if (k == MAGIC) {
        if (r.i(1) != 1) r.error("unknown state file version");
      } else if (k == "end") {
        if (r.i(1) != records) r.error("record count does not match: the file is incomplete");
        ended = true;
        continue;
      } else if (k == "model") {
        st.model = r.s(1);
        model = modelInfo(st.model);
      } else if (k == "clock") {
        st.clockOffset = r.i(1);
        st.clockSet = r.i(2, 0, 1);
      } else if (k == "vat") {
        for (int g = 0; g < VAT_GROUPS; ++g) st.vat[g] = static_cast<int>(r.i(1 + g, 0, VAT_DISABLED));
        st.vatSet = r.i(6, 0, 1);
      } else if (k == "fiscal") {
        st.serial = r.s(1);
        st.fmNumber = r.s(2);
        st.jib = r.s(3);
        st.pib = r.s(4);
        st.iosa = r.s(5);
        st.fiscal = r.i(6, 0, 1);
      } else if (k == "counters") {
        st.zNumber = static_cast<int>(r.i(1, 0, INT32_MAX));
        st.docNumber = static_cast<int>(r.i(2, 0, INT32_MAX));
        st.receiptNumber = static_cast<int>(r.i(3, 0, INT32_MAX));
        st.firstInstall = r.i(4, 0, 1);
        st.lastSentZ = static_cast<int>(r.i(5, 0, INT32_MAX));
      } else if (k == "day") {
        st.dayReceipts = static_cast<int>(r.i(1, 0, INT32_MAX));
        st.dayOpened = r.i(2);
        st.cash = r.i(3);
        st.cashIn = r.i(4);
        st.cashOut = r.i(5);
        for (int g = 0; g < VAT_GROUPS; ++g) {
          st.daySales[g] = r.i(6 + g);
          st.dayStorno[g] = r.i(11 + g);
        }
      } else if (k == "cmdfile") {
        st.commandFile = r.s(1);
      } else if (k == "logo") {
        auto logo = base64Decode(r.s(1));
        if (!logo) r.error("logo is not Base64");
        st.logo = std::move(*logo);
      } else if (k == "param") {
        auto& values = st.params[r.s(1)];
        const auto index = static_cast<size_t>(r.i(2, 0, 1000));
        if (values.size() <= index) values.resize(index + 1);
        values[index] = r.s(3);
      } else if (k == "oper") {
        Operator& op = st.operators[r.i(1, 1, OPERATORS) - 1];
        op.password = r.s(2);
        for (int g = 0; g < OR_COUNT; ++g) op.regs[g] = r.i(3 + g);
      } else if (k == "item") {
        Item& it = st.items[static_cast<int>(r.i(1, 1, MAX_PLU))];
        it.vat = static_cast<int>(r.i(2, 1, VAT_GROUPS));
        it.dept = static_cast<int>(r.i(3, 0, 99));
        it.stock = static_cast<int>(r.i(4, 0, 99));
        it.priceType = static_cast<int>(r.i(5, 0, 2));
        it.price = r.i(6);
        it.turnover = r.i(7);
        it.soldQty = r.i(8);
        it.stockQty = r.i(9);
        for (int b = 0; b < 4; ++b) it.barcodes[b] = r.s(10 + b);
        it.name = r.s(14);
      } else if (k == "client") {
        Client& c = st.clients[static_cast<int>(r.i(1, 1, MAX_CLIENT))];
        c = Client{r.s(2), r.s(3), r.s(4), r.s(5), r.s(6)};
      } else if (k == "fm") {
        ZRecord z;
        z.number = static_cast<int>(r.i(1, 1, INT32_MAX));
        z.time = r.i(2);
        for (int g = 0; g < VAT_GROUPS; ++g) {
          z.sales[g] = r.i(3 + g);
          z.storno[g] = r.i(8 + g);
        }
        st.fiscalMemory.push_back(z);
      } else if (k == "doc") {
        JournalDoc d;
        d.number = static_cast<int>(r.i(1, 1, INT32_MAX));
        d.type = static_cast<int>(r.i(2, 0, DOC_ALL));
        d.time = r.i(3);
        docLinesLeft = static_cast<size_t>(r.i(4, 0, 10000000));
        if (!st.journal.empty() && st.journal.back().number >= d.number) r.error("documents out of order");
        st.journal.push_back(std::move(d));
        doc = &st.journal.back();
      } else if (k == "line") {
        if (!doc || docLinesLeft == 0) r.error("line outside a document");
        doc->lines.push_back(r.s(1));
        --docLinesLeft;
      } else if (k == "receipt") {
        Receipt& rc = st.receipt;
        rc.kind = static_cast<int>(r.i(1, RK_FISCAL, RK_NONFISCAL));
        rc.op = static_cast<int>(r.i(2, 1, OPERATORS));
        rc.iosa = r.s(3);
        rc.stornoOf = r.s(4);
        rc.opened = r.i(5);
        rc.total = r.i(6);
        for (int p = 0; p < PAYMENTS; ++p) rc.paid[p] = r.i(7 + p);
        rc.paying = r.i(11, 0, 1);
      } else if (k == "rline") {
        if (st.receipt.kind == RK_NONE) r.error("receipt line without a receipt");
        SaleLine l;
        l.plu = static_cast<int>(r.i(1, 1, MAX_PLU));
        l.vat = static_cast<int>(r.i(2, 1, VAT_GROUPS));
        l.qty = r.i(3);
        l.price = r.i(4);
        l.amount = r.i(5);
        l.correction = r.i(6);
        l.voided = r.i(7, 0, 1);
        l.name = r.s(8);
        st.receipt.lines.push_back(std::move(l));
      } else if (k == "rtext") {
        if (st.receipt.kind == RK_NONE) r.error("receipt text without a receipt");
        st.receipt.texts.push_back(r.s(1));
      }
      // Records of a later version are skipped but counted.
      ++records;
    }
    if (!ended) throw ParseError{"the end record is missing: the file is incomplete"};
    if (docLinesLeft > 0) throw ParseError{"the last document is incomplete"};
  } catch (const ParseError& e) {
    error = e.message;
    return false;
  }
  fModel = model;
  if (st.model.empty()) st.model = fModel.name;
  fS = std::move(st);
  defaultParams();
  fService = fUnlocked = fFileOpen = fLogoUpload = fLogoStopped = false;
  fEjSelected = 0;
  fClientCursor = 0;
  dirty = false;
  return true;
}

}  // namespace kestrel::sim
