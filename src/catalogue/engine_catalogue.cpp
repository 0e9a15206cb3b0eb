#include "catalogue/engine_catalogue.h"

#include <cctype>
#include <charconv>
#include <functional>

#include "engine/fiscal_device.h"
#include "support/caught.h"
#include "support/err_container.h"

namespace kestrel {

namespace {

void setCode(TFiscalDevice& engine, int code) {
  if (TErrContainer* err = engine.errContainer()) err->set_LastErrorCode(code);
}

TCustomCommands& catalogue(TFiscalDevice& engine) { return cmds(*engine.dd()); }

TCommandsItem* findFirst(TFiscalDevice& engine, const std::function<bool(const TCommandsItem&)>& match, int notFound) {
  try {
    for (auto& c : catalogue(engine))
      if (match(c)) return &c;
  } catch (...) {
    reportCaught("findFirst");
  }
  setCode(engine, notFound);
  return nullptr;
}

TCommandsItem* byName(TFiscalDevice& engine, const std::string& name, bool n1, bool n2, bool n3) {
  return findFirst(
      engine,
      [&](const TCommandsItem& c) {
        return (n1 && c.HumanName == name) || (n2 && c.HumanName2 == name) || (n3 && c.HumanName3 == name);
      },
      codes::DESCRIPTOR_NOT_FOUND_BY_NAME);
}

bool execute(TFiscalDevice& engine, const std::function<TCommandsItem*()>& lookup) {
  try {
    setCode(engine, codes::GENERAL);
    TCommandsItem* c = lookup();
    return c && c->Execute();
  } catch (...) {
    reportCaught("execute");
    setCode(engine, codes::GENERAL);
    return false;
  }
}

// Runs an add operation; its exceptions become false.
bool guarded(const std::function<bool()>& body) {
  try {
    return body();
  } catch (...) {
    reportCaught("guarded");
    return false;
  }
}

TCommandsItem& newCommand(TFiscalDevice& engine, int32_t value, uint16_t variant, uint16_t version) {
  TCommandsItem& c = catalogue(engine).add();
  c.set_Value(value);
  c.set_Variant(variant);
  c.set_Version(version);
  return c;
}

TCommandsItem* lastCommand(TFiscalDevice& engine) {
  auto& all = catalogue(engine);
  return all.empty() ? nullptr : &all.last();
}

const char* const TAB = "\t";

TIOItem& addParam(TIOParameters& params, const std::string& name, const std::string& value, TParamAttribute rules,
                  const std::string& delimiter = TAB) {
  TIOItem& p = params.Add();
  p.Name = name;
  p.Value = value;
  p.Properties = std::move(rules);
  p.Delimiter.Value = delimiter;
  return p;
}

TParamAttribute rules(TParameterType type, TCheckOptions options, const std::string& low = {},
                      const std::string& upper = {}, uint16_t minLength = 0, uint16_t maxLength = 0) {
  TParamAttribute r;
  r.ValueType = type;
  r.CheckOptions = options;
  r.LowLimitValue = low;
  r.UpperLimitValue = upper;
  r.MinLengthValue = minLength;
  r.MaxLengthValue = maxLength;
  return r;
}

using O = TCheckParamOption;

TParamAttribute errorCodeRules() {
  return rules(ptInteger, {O::ParamType, O::LowLimit, O::UpperLimit}, "-2147483648", "0");
}

// "P" (passed) or "F" (failed).
TParamAttribute errorStatusRules() { return rules(ptString, {O::MinLength, O::MaxLength}, "P", "F", 1, 1); }

TParamAttribute rangeRules(TParameterType type, const std::string& low, const std::string& upper) {
  TCheckOptions o{O::ParamType};
  if (!low.empty()) o.include(O::LowLimit);
  if (!upper.empty()) o.include(O::UpperLimit);
  return rules(type, o, low, upper);
}

// The three inputs every command-255 descriptor sends: name, index and value.
void add255Inputs(TCommandsItem& c, const std::string& nameParam, const std::string& valueParam,
                  const std::string& variable_Name, int32_t index, const std::string& value,
                  const TParamAttribute& valueRules) {
  addParam(c.iParams(), nameParam, variable_Name, rules(ptString, {O::Presence, O::MinLength, O::MaxLength}, {}, {}, 1, 255));
  addParam(c.iParams(), "Index", index < 0 ? std::string() : std::to_string(index),
           rules(ptInteger, {O::ParamType, O::LowLimit, O::UpperLimit}, "0", "2147483647"));
  addParam(c.iParams(), valueParam, value, valueRules);
}

enum class Status255 { ErrCode, ErrStatus };

TIOItem& add255Result(TCommandsItem& c, Status255 status) {
  return status == Status255::ErrCode ? addParam(c.oParams(), "ErrorCode", {}, errorCodeRules())
                                      : addParam(c.oParams(), "ErrorStatus", {}, errorStatusRules());
}

TCommandsItem& newRead255(TFiscalDevice& engine) {
  uint16_t variant = catalogue(engine).next_Read255();
  return newCommand(engine, 255, variant, 0);
}

TCommandsItem& newWrite255(TFiscalDevice& engine) {
  auto& all = catalogue(engine);
  all.next_Write255();
  return newCommand(engine, 255, all.index_Read255(), 1);
}

bool addRead255(TFiscalDevice& engine, const std::string& variable_Name, int32_t index,
                const TParamAttribute& outputRules, Status255 status) {
  return guarded([&] {
    TCommandsItem& c = newRead255(engine);
    c.HumanName2 = "read_" + variable_Name;
    add255Inputs(c, "Name", "Value", variable_Name, index, {}, TParamAttribute{});
    add255Result(c, status);
    addParam(c.oParams(), "VarValue", {}, outputRules);
    return true;
  });
}

bool addWrite255(TFiscalDevice& engine, const std::string& variable_Name, int32_t index, const std::string& value,
                 const TParamAttribute& valueRules, Status255 status) {
  if (index < 0) return false;
  return guarded([&] {
    TCommandsItem& c = newWrite255(engine);
    c.HumanName2 = "write_" + variable_Name;
    add255Inputs(c, "Name", "Value", variable_Name, index, value, valueRules);
    add255Result(c, status);
    return true;
  });
}

void nameEx01(TCommandsItem& c, const std::string& groupName, const std::string& action,
              const std::string& variable_Name, bool visibleForExport) {
  c.HumanName = "255_" + groupName + "_" + action + variable_Name;
  c.HumanName2 = groupName + "_" + action + variable_Name;
  c.HumanName3 = action + variable_Name;
  c.GroupName = groupName;
  c.VisibleForExport = visibleForExport;
}

bool isInteger(const std::string& s) {
  int32_t v = 0;
  const char* b = s.data();
  const char* e = s.data() + s.size();
  if (b != e && *b == '+') ++b;
  auto r = std::from_chars(b, e, v);
  return b != e && r.ec == std::errc() && r.ptr == e;
}

bool equalsNoCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return i == a.size() && !b[i];
}

}  // namespace

TCommandsItem* find(TFiscalDevice& engine, const std::string& command_Name) {
  return byName(engine, command_Name, true, true, true);
}
TCommandsItem* findBy_HumanName_1(TFiscalDevice& engine, const std::string& command_Name) {
  return byName(engine, command_Name, true, false, false);
}
TCommandsItem* findBy_HumanName_2(TFiscalDevice& engine, const std::string& command_Name) {
  return byName(engine, command_Name, false, true, false);
}
TCommandsItem* findBy_HumanName_3(TFiscalDevice& engine, const std::string& command_Name) {
  return byName(engine, command_Name, false, false, true);
}

TCommandsItem* find(TFiscalDevice& engine, int32_t command_Value, uint16_t command_Variant, uint16_t command_Version) {
  return findFirst(
      engine,
      [&](const TCommandsItem& c) {
        return c.Value() == command_Value && c.Variant() == command_Variant && c.Version() == command_Version;
      },
      codes::DESCRIPTOR_NOT_FOUND_BY_VALUES);
}

bool findAndExecute(TFiscalDevice& engine, const std::string& command_Name) {
  return execute(engine, [&] { return find(engine, command_Name); });
}

bool findAndExecute(TFiscalDevice& engine, int32_t command_Value, uint16_t command_Variant, uint16_t command_Version) {
  return execute(engine, [&] { return find(engine, command_Value, command_Variant, command_Version); });
}

bool add_DDCommand(TFiscalDevice& engine, int32_t command_Value, uint16_t command_Variant, uint16_t command_Version) {
  return guarded([&] {
    newCommand(engine, command_Value, command_Variant, command_Version);
    return true;
  });
}

bool add_DDCommand(TFiscalDevice& engine, int32_t command_Value, uint16_t command_Variant, uint16_t command_Version,
                   const std::string& humanName2) {
  return guarded([&] {
    newCommand(engine, command_Value, command_Variant, command_Version).HumanName2 = humanName2;
    return true;
  });
}

bool add_DDCommand(TFiscalDevice& engine, int32_t command_Value, uint16_t command_Variant, uint16_t command_Version,
                   const std::string& groupName, const std::string& humanName3, bool visibleForExport) {
  return guarded([&] {
    TCommandsItem& c = newCommand(engine, command_Value, command_Variant, command_Version);
    c.GroupName = groupName;
    c.HumanName3 = humanName3;
    c.VisibleForExport = visibleForExport;
    return true;
  });
}

void clear_DDCommands(TFiscalDevice& engine) {
  try {
    catalogue(engine).clearAll();
  } catch (...) {
    reportCaught("clear_DDCommands");
  }
}

bool add_DDParam(TFiscalDevice& engine, bool isInput, const std::string& name, const std::string& value,
                 TParameterType valueType, TCheckOptions checkOptions, const std::string& delimiter,
                 TDelimiterPositionStyle relativePosition) {
  return guarded([&] {
    TCommandsItem* c = lastCommand(engine);
    if (!c) return false;
    TIOItem& p = addParam(isInput ? c->iParams() : c->oParams(), name, value, rules(valueType, checkOptions), delimiter);
    p.Delimiter.RelativePosition = relativePosition;
    return true;
  });
}

bool add_DDParam_R(TFiscalDevice& engine, bool isInput, const std::string& name, const std::string& value,
                   TParameterType valueType, TCheckOptions checkOptions, const std::string& lowLimit,
                   const std::string& upperLimit, uint16_t minLength, uint16_t maxLength, const std::string& delimiter) {
  return guarded([&] {
    TCommandsItem* c = lastCommand(engine);
    if (!c) return false;
    addParam(isInput ? c->iParams() : c->oParams(), name, value,
             rules(valueType, checkOptions, lowLimit, upperLimit, minLength, maxLength), delimiter);
    return true;
  });
}

bool add_DDP_FirstR(TFiscalDevice& engine, const std::string& name, TParameterType valueType,
                    const std::string& lowLimit, const std::string& upperLimit, const std::string& delimiter) {
  return guarded([&] {
    TCommandsItem* c = lastCommand(engine);
    if (!c) return false;
    TIOItem& p = c->oParams().Insert(0);
    p.Name = name;
    p.Properties = rangeRules(valueType, lowLimit, upperLimit);
    p.Delimiter.Value = delimiter;
    return true;
  });
}

bool add_DDP_NextR(TFiscalDevice& engine, const std::string& name, TParameterType valueType,
                   const std::string& lowLimit, const std::string& upperLimit, const std::string& delimiter) {
  return guarded([&] {
    TCommandsItem* c = lastCommand(engine);
    if (!c) return false;
    addParam(c->oParams(), name, {}, rangeRules(valueType, lowLimit, upperLimit), delimiter);
    return true;
  });
}

bool add_EnumValue(TFiscalDevice& engine, bool isInput, const std::string& paramName, const std::string& value) {
  return guarded([&] {
    TCommandsItem* c = lastCommand(engine);
    TIOItem* p = c ? (isInput ? c->iParams() : c->oParams()).find(paramName) : nullptr;
    if (!p) return false;
    p->Properties.EnumeratedValues.push_back({value});
    p->Properties.CheckOptions.include(O::EnumeratedList);
    return true;
  });
}

bool add_ErrorCode(TFiscalDevice& engine) {
  return guarded([&] {
    TCommandsItem* c = lastCommand(engine);
    if (!c) return false;
    add255Result(*c, Status255::ErrCode);
    return true;
  });
}

bool add_AdditionalDelimiter(TFiscalDevice& engine, const std::string& value) {
  return guarded([&] {
    TCommandsItem* c = lastCommand(engine);
    if (!c) return false;
    c->AdditionalDelimiters().Add().Value = value;
    return true;
  });
}

bool add_Read_255_ErrCode(TFiscalDevice& engine, const std::string& variable_Name, int32_t index,
                          const TParamAttribute& outputRules) {
  return addRead255(engine, variable_Name, index, outputRules, Status255::ErrCode);
}

bool add_Read_255_ErrStatus(TFiscalDevice& engine, const std::string& variable_Name, int32_t index,
                            const TParamAttribute& outputRules) {
  return addRead255(engine, variable_Name, index, outputRules, Status255::ErrStatus);
}

bool add_Read_255_ErrCode_ex01(TFiscalDevice& engine, const std::string& groupName, const std::string& variable_Name,
                               int32_t index, const TParamAttribute& outputRules, bool visibleForExport) {
  return guarded([&] {
    TCommandsItem& c = newRead255(engine);
    nameEx01(c, groupName, "Get_", variable_Name, visibleForExport);
    add255Inputs(c, "variable_Name", "input_Value", variable_Name, index, {}, TParamAttribute{});
    add255Result(c, Status255::ErrCode);
    addParam(c.oParams(), "output_Value", {}, outputRules);
    return true;
  });
}

bool add_Write_255(TFiscalDevice& engine, const std::string& variable_Name, int32_t index, const std::string& value,
                   const TParamAttribute& valueRules) {
  return addWrite255(engine, variable_Name, index, value, valueRules, Status255::ErrCode);
}

bool add_Write_255_ErrStatus(TFiscalDevice& engine, const std::string& variable_Name, int32_t index,
                             const std::string& value, const TParamAttribute& valueRules) {
  return addWrite255(engine, variable_Name, index, value, valueRules, Status255::ErrStatus);
}

bool add_Write_255_ErrCode_ex01(TFiscalDevice& engine, const std::string& groupName, const std::string& variable_Name,
                                int32_t index, const std::string& value, const TParamAttribute& valueRules,
                                bool visibleForExport) {
  if (index < 0) return false;
  return guarded([&] {
    TCommandsItem& c = newWrite255(engine);
    nameEx01(c, groupName, "Set_", variable_Name, visibleForExport);
    add255Inputs(c, "Name", "Value", variable_Name, index, value, valueRules);
    add255Result(c, Status255::ErrCode);
    return true;
  });
}

bool add_PCR(TFiscalDevice& engine, const std::string& t_StrCode, const std::string& t_Name,
             const std::string& t_Version, int32_t t_SourceIndex_2, int32_t t_SourceIndex_1,
             const std::string& t_Value, TPacValueType t_ValueType, TRWType t_ReadWriteType,
             TMayUseAfter t_MayUseAfter, TQuorin_ItIsType t_ItIs) {
  return guarded([&] {
    return pcrs(*engine.dd()).Add().set_PCRValues(t_StrCode, t_Name, t_Version, t_SourceIndex_2, t_SourceIndex_1,
                                                  t_Value, t_ValueType, t_ReadWriteType, t_MayUseAfter, t_ItIs);
  });
}

void clear_PCRs(TFiscalDevice& engine) { pcrs(*engine.dd()).Clear(); }

bool opos_AddProperties(TFiscalDevice& engine, int32_t tDCode, const std::string& tName, const std::string& tVersion,
                        TMayUseAfter tUseAfter, TRWType tMutability, const std::string& tValue) {
  return guarded([&] {
    TProps& props = OPOS(engine).Props();
    if (isInteger(tValue)) {
      TIItem& item = props.iValues.Add();
      item.set_Item(tDCode, tName, tVersion, tUseAfter, tMutability);
      return item.set_ItemValue(std::stoi(tValue));
    }
    if (equalsNoCase(tValue, "True") || equalsNoCase(tValue, "False")) {
      TBItem& item = props.bValues.Add();
      item.set_Item(tDCode, tName, tVersion, tUseAfter, tMutability);
      return item.set_ItemValue(equalsNoCase(tValue, "True"));
    }
    TSItem& item = props.sValues.Add();
    item.set_Item(tDCode, tName, tVersion, tUseAfter, tMutability);
    return item.set_ItemValue(tValue);
  });
}

void oposProperties_Clear(TFiscalDevice& engine) {
  TProps& props = OPOS(engine).Props();
  props.sValues.Clear();
  props.iValues.Clear();
  props.bValues.Clear();
}

}  // namespace kestrel
