#include "catalogue/property_relations.h"

#include <charconv>

#include "engine/fiscal_device.h"

namespace kestrel {

bool TPCRItem::set_PCRValues(const std::string& t_StrCode, const std::string& t_Name, const std::string& t_Version,
                             int32_t t_SourceIndex_2, int32_t t_SourceIndex_1, const std::string& t_Value,
                             TPacValueType t_ValueType, TRWType t_ReadWriteType, TMayUseAfter t_MayUseAfter,
                             TQuorin_ItIsType t_ItIs) {
  CodeTxt = t_StrCode;
  int32_t code = 0;
  const char* end = t_StrCode.data() + t_StrCode.size();
  auto r = std::from_chars(t_StrCode.data(), end, code);
  CodeInt = (!t_StrCode.empty() && r.ec == std::errc() && r.ptr == end) ? code : -1;
  Name = t_Name;
  Version = t_Version;
  SourceIndex_2 = t_SourceIndex_2;
  SourceIndex_1 = t_SourceIndex_1;
  Value = t_Value;
  ValueType = t_ValueType;
  rwType = t_ReadWriteType;
  MayUseAfter = t_MayUseAfter;
  ItIs = t_ItIs;
  return true;
}

TPCR& pcrs(TDeviceDependent& dd) {
  auto* part = dynamic_cast<TPCR*>(dd.pcrsPart.get());
  if (!part) {
    dd.pcrsPart = std::make_unique<TPCR>();
    part = static_cast<TPCR*>(dd.pcrsPart.get());
  }
  return *part;
}

bool TOPItem::set_Item(int32_t tDCode, const std::string& tName, const std::string& tVersion, TMayUseAfter tUseAfter,
                       TRWType tMutability) {
  dCode = tDCode;
  Name = tName;
  Version = tVersion;
  UseAfter = tUseAfter;
  Mutability = tMutability;
  return true;
}

TROPOS& OPOS(TFiscalDevice& engine) {
  auto* part = dynamic_cast<TROPOS*>(engine.OPOSPart.get());
  if (!part) {
    engine.OPOSPart = std::make_unique<TROPOS>();
    part = static_cast<TROPOS*>(engine.OPOSPart.get());
  }
  return *part;
}

}  // namespace kestrel
