#include "catalogue/command_descriptors.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "engine/fiscal_device.h"
#include "support/caught.h"
#include "support/err_container.h"
#include "support/fd_misc.h"
#include "support/utf8.h"

namespace kestrel {

namespace {

// A decimal number as text, compared exactly (no floating point).
struct Decimal {
  bool negative = false;
  std::string whole;     // no leading zeros
  std::string fraction;  // no trailing zeros
};

// Optional sign, digits, and for reals one "." or "," with digits around it.
std::optional<Decimal> parseDecimal(const std::string& s, bool real) {
  Decimal d;
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) d.negative = s[i++] == '-';
  bool digits = false, point = false;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (c >= '0' && c <= '9') {
      (point ? d.fraction : d.whole) += c;
      digits = true;
    } else if (real && !point && (c == '.' || c == ',')) {
      point = true;
    } else {
      return std::nullopt;
    }
  }
  if (!digits) return std::nullopt;
  d.whole.erase(0, std::min(d.whole.find_first_not_of('0'), d.whole.size()));
  while (!d.fraction.empty() && d.fraction.back() == '0') d.fraction.pop_back();
  if (d.whole.empty() && d.fraction.empty()) d.negative = false;
  return d;
}

int compareMagnitude(const Decimal& a, const Decimal& b) {
  if (a.whole.size() != b.whole.size()) return a.whole.size() < b.whole.size() ? -1 : 1;
  if (int c = a.whole.compare(b.whole)) return c < 0 ? -1 : 1;
  if (int c = a.fraction.compare(b.fraction)) return c < 0 ? -1 : 1;
  return 0;
}

int compare(const Decimal& a, const Decimal& b) {
  if (a.negative != b.negative) return a.negative ? -1 : 1;
  int m = compareMagnitude(a, b);
  return a.negative ? -m : m;
}

bool isReal(TParameterType t) { return t == ptRealForCurrency || t == ptRealForQuantity || t == ptRealForExchange; }

int notNumberCode(TParameterType t) { return t == ptInteger ? codes::PARAM_NOT_INTEGER : codes::PARAM_NOT_REAL; }

int aboveCode(TParameterType t) {
  switch (t) {
    case ptInteger: return codes::PARAM_ABOVE_INTEGER;
    case ptRealForQuantity: return codes::PARAM_ABOVE_QUANTITY;
    default: return codes::PARAM_ABOVE_CURRENCY;
  }
}

int belowCode(TParameterType t) {
  switch (t) {
    case ptInteger: return codes::PARAM_BELOW_INTEGER;
    case ptRealForQuantity: return codes::PARAM_BELOW_QUANTITY;
    default: return codes::PARAM_BELOW_CURRENCY;
  }
}

// 0 when `value` lies on the allowed side of `limit`; `upper` selects the side.
int checkLimit(const std::string& value, const std::string& limit, TParameterType type, bool upper) {
  if (type == ptString) return 0;
  auto v = parseDecimal(value, isReal(type));
  auto l = parseDecimal(limit, isReal(type));
  if (!v || !l) return notNumberCode(type);
  int c = compare(*v, *l);
  if (upper && c > 0) return aboveCode(type);
  if (!upper && c < 0) return belowCode(type);
  return 0;
}

// Characters [from, from + count) of a UTF-8 text; count < 0 takes the rest.
std::string substrChars(const std::u32string& text, size_t from, long count) {
  if (from >= text.size()) return {};
  size_t n = count < 0 ? text.size() - from : std::min(text.size() - from, static_cast<size_t>(count));
  return u32ToUtf8(std::u32string_view(text).substr(from, n));
}

bool isDelimiter(char32_t c, const std::vector<std::string>& delimiters) {
  std::string s;
  appendUtf8(s, c);
  return std::find(delimiters.begin(), delimiters.end(), s) != delimiters.end();
}

}  // namespace

int checkParamValue(const std::string& value, const TParamAttribute& rules) {
  using O = TCheckParamOption;
  const TCheckOptions& o = rules.CheckOptions;
  if (value.empty()) return o.contains(O::Presence) ? codes::PARAM_MISSING : 0;
  const TParameterType t = rules.ValueType;
  if (o.contains(O::ParamType) && t != ptString && !parseDecimal(value, isReal(t))) return notNumberCode(t);
  if (o.contains(O::UpperLimit))
    if (int c = checkLimit(value, rules.UpperLimitValue, t, true)) return c;
  if (o.contains(O::LowLimit))
    if (int c = checkLimit(value, rules.LowLimitValue, t, false)) return c;
  const size_t length = utf8Length(value);
  if (o.contains(O::MaxLength) && length > rules.MaxLengthValue) return codes::PARAM_TOO_LONG;
  if (o.contains(O::MinLength) && length < rules.MinLengthValue) return codes::PARAM_TOO_SHORT;
  if (o.contains(O::EnumeratedList) &&
      std::none_of(rules.EnumeratedValues.begin(), rules.EnumeratedValues.end(),
                   [&](const TEnumeratedListItem& e) { return e.Value == value; }))
    return codes::PARAM_NOT_ENUMERATED;
  return 0;
}

TIOItem* TIOParameters::find(const std::string& ValueName) {
  for (auto& p : *this)
    if (p.Name == ValueName) return &p;
  return nullptr;
}

void TCommandsItem::set_Value(int32_t value) {
  fValue = value;
  rename();
}

void TCommandsItem::set_Variant(uint16_t value) {
  fVariant = value;
  rename();
}

void TCommandsItem::set_Version(uint16_t value) {
  fVersion = value;
  rename();
}

void TCommandsItem::rename() {
  char buf[64];
  std::snprintf(buf, sizeof buf, "command%dVariant%dVersion%d", static_cast<int>(fValue), fVariant, fVersion);
  HumanName = buf;
}

int TCommandsItem::Index() const { return fCollection ? fCollection->indexOf(this) : -1; }

std::string TCommandsItem::GetDisplayName() {
  if (trimBlanks(HumanName).empty()) HumanName = "CommandsItem" + std::to_string(Index());
  return HumanName;
}

TFiscalDevice* TCommandsItem::engine() const { return fCollection ? fCollection->engine() : nullptr; }

bool TCommandsItem::Prepare() {
  TFiscalDevice* e = engine();
  if (!e) return false;
  TErrContainer* err = e->errContainer();
  TFDMisc* misc = e->Misc();
  if (!misc) {
    if (err) err->set_LastErrorCode(codes::NO_MISC);
    return false;
  }
  if (CheckInput) {
    if (err) err->set_LastErrorCode(codes::GENERAL);
    for (const auto& p : fiParams) {
      if (int c = checkParamValue(p.Value, p.Properties)) {
        if (err) err->set_LastErrorCode(c);
        return false;
      }
    }
    if (err) err->set_LastErrorCode(codes::OK);
  }
  std::string text;
  for (const auto& p : fiParams) {
    std::string value = p.Value;
    if (isReal(p.Properties.ValueType)) std::replace(value.begin(), value.end(), ',', '.');
    std::string delimiter;
    if (p.Delimiter.DelimiterType != TDelimiterType::Position) delimiter = misc->prepare_SpecialSymbol(p.Delimiter.Value);
    if (p.Delimiter.RelativePosition == TDelimiterPositionStyle::BeforeParameter)
      text += delimiter + value;
    else
      text += value + delimiter;
  }
  fInputText = misc->prepare_InputForSpecialSymbols(text);
  fPrepared = true;
  return true;
}

bool TCommandsItem::Execute() {
  TFiscalDevice* e = engine();
  if (!e) return false;
  bool result = false;
  try {
    result = execute(*e);
  } catch (...) {
    reportCaught("TCommandsItem.Execute");
    result = false;
  }
  // Whatever happened, the engine gets its usual delimiters back.
  e->delimitersList.clear();
  e->add_DefaultDelimiters();
  fPrepared = false;
  return result;
}

bool TCommandsItem::execute(TFiscalDevice& e) {
  e.add_DefaultDelimiters();
  e.delimitersList.clear();
  auto addDelimiter = [&](const std::string& d) {
    if (!d.empty() && std::find(e.delimitersList.begin(), e.delimitersList.end(), d) == e.delimitersList.end())
      e.delimitersList.push_back(d);
  };
  TFDMisc* misc = e.Misc();
  for (auto& p : foParams) {
    p.Value.clear();
    if (misc && p.Delimiter.DelimiterType != TDelimiterType::Position)
      addDelimiter(misc->prepare_SpecialSymbol(p.Delimiter.Value));
  }
  for (auto& d : fAdditionalDelimiters)
    if (misc) addDelimiter(misc->prepare_SpecialSymbol(d.Value));

  if (!fPrepared && !Prepare()) return false;
  std::string answer;
  bool ok = e.customCommand(static_cast<uint16_t>(fValue), fInputText, answer);
  fOutputText = answer;
  TErrContainer* err = e.errContainer();
  int code = err ? err->LastErrorCode() : codes::NO_ERR_CONTAINER;
  if (!ok || code != 0) {
    if (e.dd()->LowLevel().ProtocolType() == protocol_Type2 && !foParams.empty())
      foParams.Items(0).Value = std::to_string(code);
    return ok;
  }
  return parseAnswer(e, answer);
}

bool TCommandsItem::parseAnswer(TFiscalDevice& e, const std::string& answer) {
  TErrContainer* err = e.errContainer();
  auto fail = [&](int code) {
    if (err) err->set_LastErrorCode(code);
    return false;
  };
  const int n = foParams.Count();
  int delivered = 0;  // output parameters that received a value, from the first on
  auto deliver = [&](int index, const std::string& v) {
    if (index < n) {
      foParams.Items(index).Value = v;
      delivered = std::max(delivered, index + 1);
    }
  };
  const std::u32string text = utf8ToU32(answer);

  switch (ParsingCase) {
    case pct_WithoutParsing:
      deliver(0, answer);
      e.answerFieldsList.assign(1, answer);
      return true;

    case pct_BGKLEN_02:
    case pct_BGKLEN_03: {
      if (text.empty()) return true;
      deliver(0, substrChars(text, 0, 1));
      if (text.size() == 1) return true;
      if (text[1] != U',') return fail(codes::ANSWER_NOT_BY_PROTOCOL);
      if (ParsingCase == pct_BGKLEN_02) {
        deliver(1, substrChars(text, 2, -1));
        return true;
      }
      size_t comma = text.find(U',', 2);
      if (comma == std::u32string::npos) return fail(codes::ANSWER_NOT_BY_PROTOCOL);
      deliver(1, substrChars(text, 2, static_cast<long>(comma - 2)));
      deliver(2, substrChars(text, comma + 1, -1));
      return true;
    }

    case pct_StandartDelimiters:
    default: break;
  }

  auto any = [&](auto pred) {
    for (const auto& p : foParams)
      if (pred(p)) return true;
    return false;
  };
  if (any([](const TIOItem& p) { return p.Delimiter.DelimiterType == TDelimiterType::Position; })) {
    size_t cursor = 0;
    for (int i = 0; i < n; ++i) {
      const auto& d = foParams.Items(i).Delimiter;
      size_t from = d.Position >= 0 ? static_cast<size_t>(d.Position) : cursor;
      if (from >= text.size()) continue;
      long count = d.Length > 0 ? d.Length : -1;
      std::string part = substrChars(text, from, count);
      deliver(i, part);
      cursor = from + utf8Length(part);
    }
  } else if (any([](const TIOItem& p) { return p.Properties.PedalData != noIndirectPedalData; })) {
    size_t cursor = 0;
    for (int i = 0; i < n && cursor < text.size(); ++i) {
      switch (foParams.Items(i).Properties.PedalData) {
        case pedalDataAsFirstSymbol:
          deliver(i, substrChars(text, cursor, 1));
          cursor += 1;
          break;
        case pedalDataAsRestData:
          deliver(i, substrChars(text, cursor, -1));
          cursor = text.size();
          break;
        default: {
          size_t end = cursor;
          while (end < text.size() && !isDelimiter(text[end], e.delimitersList)) ++end;
          deliver(i, substrChars(text, cursor, static_cast<long>(end - cursor)));
          cursor = end + 1;
        }
      }
    }
  } else {
    // The engine has already split the answer with the list set up for this descriptor.
    for (int i = 0; i < n && i < static_cast<int>(e.answerFieldsList.size()); ++i) deliver(i, e.answerFieldsList[i]);
  }
  return !CheckOutput || checkOutputs(e, delivered);
}

bool TCommandsItem::checkOutputs(TFiscalDevice& e, int delivered) {
  TErrContainer* err = e.errContainer();
  for (int i = 0; i < foParams.Count(); ++i) {
    int c = i < delivered ? checkParamValue(foParams.Items(i).Value, foParams.Items(i).Properties) : codes::OUTPUT_MISSING;
    if (c) {
      if (err) err->set_LastErrorCode(c);
      return false;
    }
  }
  return true;
}

TCustomCommands& cmds(TDeviceDependent& dd) {
  auto* part = dynamic_cast<TCustomCommands*>(dd.cmdsPart.get());
  if (!part) {
    dd.cmdsPart = std::make_unique<TCustomCommands>(dd.engine());
    part = static_cast<TCustomCommands*>(dd.cmdsPart.get());
  }
  return *part;
}

}  // namespace kestrel
