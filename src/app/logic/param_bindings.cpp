#include "app/logic/param_bindings.h"

#include <charconv>
#include <map>
#include <mutex>
#include <stdexcept>

#include "app/logic/device_ops.h"
#include "app/logic/page_host.h"
#include "app/logic/field_helpers.h"

namespace kestrel {

const std::vector<std::string> SPEED_CHOICES = {"1200",  "2400",  "4800",  "9600",  "14400",
                                                "19200", "38400", "56000", "57600", "115200"};

const std::vector<std::string>& numberChoices(int from, int to) {
  // Sessions of several devices may fill it at once; its lists never move once made.
  static std::mutex lock;
  static std::map<std::pair<int, int>, std::vector<std::string>> cache;
  std::lock_guard guard(lock);
  auto& v = cache[{from, to}];
  if (v.empty())
    for (int i = from; i <= to; ++i) v.push_back(std::to_string(i));
  return v;
}

bool appliesTo(TModelRule rule, int ecrModel) {
  const bool reg = ecrModel == 0 || ecrModel == 3 || ecrModel == 5 || ecrModel == 6;
  const bool printer = ecrModel == 1 || ecrModel == 2 || ecrModel == 4;
  switch (rule) {
    case TModelRule::Any: return true;
    case TModelRule::RegisterGroup: return reg;
    case TModelRule::NotRegisterGroup: return !reg;
    case TModelRule::PrinterGroup: return printer;
    case TModelRule::NotPrinterGroup: return !printer;
  }
  return false;
}

std::vector<const TParamBinding*> TParamTable::find(const std::string& key, int ecrModel) const {
  std::vector<const TParamBinding*> r;
  for (const auto& b : bindings)
    if (b.key() == key && appliesTo(b.models, ecrModel)) r.push_back(&b);
  return r;
}

const TParamBinding* TParamTable::byWidget(const std::string& widget) const {
  for (const auto& b : bindings)
    if (b.widget == widget) return &b;
  return nullptr;
}

int parseIntValue(const std::string& text) {
  const char* b = text.data();
  const char* e = b + text.size();
  if (b != e && *b == '+') ++b;
  int v = 0;
  auto [p, ec] = std::from_chars(b, e, v);
  if (b == e || ec != std::errc() || p != e) throw std::invalid_argument("'" + text + "' is not a valid integer value");
  return v;
}

std::string hundredthsText(long long hundredths) {
  const unsigned long long a =
      hundredths < 0 ? 0ULL - static_cast<unsigned long long>(hundredths) : static_cast<unsigned long long>(hundredths);
  std::string s = (hundredths < 0 ? "-" : "") + std::to_string(a / 100);
  const unsigned cents = static_cast<unsigned>(a % 100);
  if (cents != 0) {
    s += '.' + std::to_string(cents / 10);
    if (cents % 10 != 0) s += std::to_string(cents % 10);
  }
  return s;
}

long long hundredthsOf(const std::string& text) {
  auto refuse = [&text]() -> long long {
    throw std::invalid_argument("'" + text + "' is not a valid floating point value");
  };
  size_t i = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) ++i;
  long long whole = 0;
  int digits = 0, decimals = 0, cents = 0;
  bool point = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '.' && !point) {
      point = true;
    } else if (c < '0' || c > '9') {
      return refuse();
    } else {
      ++digits;
      if (!point) {
        if (whole > 1'000'000'000'000LL) return refuse();  // far beyond any device value
        whole = whole * 10 + (c - '0');
      } else if (++decimals <= 2) {
        cents = cents * 10 + (c - '0');  // further decimals are cut
      }
    }
  }
  if (digits == 0) return refuse();
  if (decimals == 1) cents *= 10;
  const long long v = whole * 100 + cents;
  return negative ? -v : v;
}

namespace {

const std::vector<std::string>& choicesOf(const TParamBinding& b) {
  static const std::vector<std::string> none;
  return b.choices ? *b.choices : none;
}

std::string entryEqualTo(const TParamBinding& b, const std::string& text) {
  const auto& c = choicesOf(b);
  for (size_t i = 0; i < c.size(); ++i)
    if (c[i] == text) return std::to_string(i);
  return "-1";
}

std::string entryIndex(const TParamBinding& b, int index) {
  return index >= 0 && index < static_cast<int>(choicesOf(b).size()) ? std::to_string(index) : "-1";
}

std::string chosenText(const TParamBinding& b, const std::string& widgetValue) {
  int i = -1;
  try {
    i = parseIntValue(widgetValue);
  } catch (const std::invalid_argument&) {
    i = -1;
  }
  const auto& c = choicesOf(b);
  return i >= 0 && i < static_cast<int>(c.size()) ? c[static_cast<size_t>(i)] : std::string();
}

}  // namespace

std::string widgetValueOf(const TParamBinding& b, const std::string& v) {
  switch (b.enc) {
    case TParamEnc::Check: return v == "1" ? "1" : "0";
    case TParamEnc::CheckInverted: return parseIntValue(v) == 0 ? "1" : "0";
    case TParamEnc::CheckMinutes: return parseIntValue(v) > 0 ? "1" : "0";
    case TParamEnc::EntryIndex:
    case TParamEnc::EntryByNumber: return entryIndex(b, parseIntValue(v));
    case TParamEnc::EntryText: return entryEqualTo(b, v);
    case TParamEnc::TimeZone: {
      const int n = parseIntValue(v);
      return entryEqualTo(b, n > 0 ? "+" + std::to_string(n) : std::to_string(n));
    }
    case TParamEnc::Text:
    case TParamEnc::TextZero:
    case TParamEnc::Number:
    case TParamEnc::ReadOnly: return v;
    case TParamEnc::Hundredths: return hundredthsText(parseIntValue(v));
  }
  return v;
}

std::string deviceValueOf(const TParamBinding& b, const std::string& w) {
  switch (b.enc) {
    case TParamEnc::Check: return w == "1" ? "1" : "0";
    case TParamEnc::CheckInverted: return w == "1" ? "0" : "1";
    case TParamEnc::CheckMinutes: return w == "1" ? "60" : "0";
    case TParamEnc::EntryIndex: return w.empty() ? "-1" : w;
    case TParamEnc::EntryText:
    case TParamEnc::EntryByNumber:
    case TParamEnc::TimeZone: return chosenText(b, w);
    case TParamEnc::Text: return w.empty() ? " " : w;
    case TParamEnc::TextZero: return w.empty() ? "0" : w;
    case TParamEnc::Hundredths: return std::to_string(hundredthsOf(w));
    case TParamEnc::Number:
    case TParamEnc::ReadOnly: return w;
  }
  return w;
}

bool readParams(TDeviceOps& ops, const TParamTable& table, const std::vector<std::string>& order, TPageValues& values) {
  for (const auto& key : order)
    for (const TParamBinding* b : table.find(key, ops.ecrModel)) {
      std::string v;
      if (!ops.readParam(b->name, b->index, v)) return false;
      values[b->widget] = widgetValueOf(*b, v);
    }
  return true;
}

std::string deviceValueKey(const std::string& key) { return "device:" + key; }

namespace {

// The value saveParams writes for one binding, checked as it checks it.
std::string valueToWrite(const TParamBinding& b, const TPageValues& values) {
  std::string v;
  if (auto d = values.find(deviceValueKey(b.key())); d != values.end()) {
    v = d->second;
    if (v.empty() && (b.enc == TParamEnc::Text || b.enc == TParamEnc::TextZero)) v = deviceValueOf(b, v);
  } else {
    auto it = values.find(b.widget);
    if (it == values.end()) throw std::logic_error("no value for " + b.widget);
    try {
      v = deviceValueOf(b, it->second);
    } catch (const std::invalid_argument& e) {
      throw std::invalid_argument(b.key() + ": " + e.what() + "; nothing was saved");
    }
  }
  if (v.empty())
    throw std::invalid_argument(b.key() + (b.isChoice() ? ": no entry is chosen" : ": no value is given") +
                                "; nothing was saved");
  checkSendable(b.key(), v);
  return v;
}

}  // namespace

std::vector<std::string> paramWriteTexts(const TDeviceOps& ops, const TParamTable& table,
                                         const std::vector<std::string>& order, const TPageValues& values) {
  std::vector<std::string> texts;
  for (const auto& key : order)
    for (const TParamBinding* b : table.find(key, ops.ecrModel))
      if (b->enc != TParamEnc::ReadOnly)
        texts.push_back(paramWriteText(b->name, b->saveIndex ? b->saveIndex : b->index, valueToWrite(*b, values)));
  return texts;
}

bool saveParams(TDeviceOps& ops, const TParamTable& table, const std::vector<std::string>& order,
                const TPageValues& values) {
  // Every value is checked before the first is written.
  const std::vector<std::string> texts = paramWriteTexts(ops, table, order, values);
  size_t i = 0;
  for (const auto& key : order)
    for (const TParamBinding* b : table.find(key, ops.ecrModel)) {
      if (b->enc == TParamEnc::ReadOnly) continue;
      const std::string& text = texts[i++];
      if (!b->judged) {
        // Its result is not judged, but a stop still ends the save here.
        if (!ops.commandUnjudged(255, text) && ops.lastCancelled()) return false;
        continue;
      }
      // "Bad value of parameter 2." alone leaves the technician to guess among the fields.
      const std::string caption = ops.host().fieldCaption(b->widget);
      const std::string field = caption.empty() ? b->key() : "\"" + caption + "\" (" + b->key() + ")";
      if (!ops.command(255, text, "The device refused the value of " + field + ".")) return false;
    }
  return true;
}

std::string checkedDeviceValue(const TParamBinding& b, const std::string& text) {
  auto refuse = [&](const std::string& what) -> std::string {
    throw std::invalid_argument(b.key() + ": '" + text + "' is not " + what);
  };
  auto integer = [&](const std::string& what) {
    try {
      return parseIntValue(text);
    } catch (const std::invalid_argument&) {
      refuse(what);
      return 0;
    }
  };
  checkSendable(b.key(), text);
  const int entries = static_cast<int>(choicesOf(b).size());
  switch (b.enc) {
    case TParamEnc::ReadOnly: throw std::invalid_argument(b.key() + " is read-only");
    case TParamEnc::Check:
    case TParamEnc::CheckInverted:
      if (text != "0" && text != "1") refuse("1 or 0");
      return text;
    case TParamEnc::CheckMinutes:
      if (integer("a number of minutes") < 0) refuse("a number of minutes");
      return std::to_string(parseIntValue(text));
    case TParamEnc::EntryIndex:
    case TParamEnc::EntryByNumber: {
      const int i = integer("an entry number");
      if (i < 0 || i >= entries) refuse("an entry number from 0 to " + std::to_string(entries - 1));
      return std::to_string(i);
    }
    case TParamEnc::EntryText:
      if (entryEqualTo(b, text) == "-1") refuse("one of " + choicesOf(b).front() + " to " + choicesOf(b).back());
      return text;
    case TParamEnc::TimeZone: {
      const std::string entry = chosenText(b, widgetValueOf(b, std::to_string(integer("a time zone"))));
      if (entry.empty()) refuse("a time zone from " + choicesOf(b).front() + " to " + choicesOf(b).back());
      return entry;
    }
    case TParamEnc::Hundredths: return std::to_string(integer("a whole number of hundredths"));
    case TParamEnc::Number:
      if (text.empty()) refuse("a number");
      return text;
    case TParamEnc::Text:
    case TParamEnc::TextZero: return text;
  }
  return text;
}

std::string displayValueOf(const TParamBinding& b, const std::string& w) {
  if (b.isChoice()) return chosenText(b, w);
  if (b.isCheck()) return w == "1" ? "1" : "0";
  return w;
}


std::string widgetValueFromDisplay(const TParamBinding& b, const std::string& text) {
  if (b.enc == TParamEnc::ReadOnly) throw std::invalid_argument(b.key() + " is read-only");
  if (b.isCheck()) {
    if (text == "1" || text == "true" || text == "yes" || text == "on") return "1";
    if (text == "0" || text == "false" || text == "no" || text == "off") return "0";
    throw std::invalid_argument(b.key() + ": '" + text + "' is not 1 or 0");
  }
  if (b.isChoice()) {
    const std::string i = entryEqualTo(b, text);
    if (i != "-1") return i;
    std::string list;
    for (const auto& c : choicesOf(b)) list += (list.empty() ? "" : ", ") + c;
    throw std::invalid_argument(b.key() + ": '" + text + "' is not one of: " + list);
  }
  if (b.enc == TParamEnc::Hundredths) {
    try {
      hundredthsOf(text);
    } catch (const std::invalid_argument& e) {
      throw std::invalid_argument(b.key() + ": " + e.what());
    }
  }
  return text;
}

}  // namespace kestrel
