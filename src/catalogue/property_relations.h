#pragma once
// Descriptive catalogues for software that drives the device through properties: the
// property-code relations (`dd.pcrs`) and the OPOS property lists of the fiscal
// printer device class (the engine's `OPOS`). Nothing in this application looks a
// property up; the lists travel with the engine.
#include <cstdint>
#include <string>

#include "catalogue/owned_collection.h"
#include "engine/device_dependent.h"

namespace kestrel {

class TFiscalDevice;

enum TMayUseAfter {
  mua_NotSupported = 0,
  mua_Deprecated = 1,
  mua_Always = 2,
  mua_Open = 3,
  mua_OpenClaim = 4,
  mua_OpenClaimEnable = 5
};
enum TRWType { rwt_ReadWrite = 0, rwt_ReadOnly = 1 };
enum TPacValueType { pvt_String = 0, pvt_Integer = 1, pvt_Boolean = 2 };
enum TQuorin_ItIsType { st_Constant = 0, st_StatusBit = 1, st_oParam = 2, st_Calculation = 3 };

// One property-code relation.
struct TPCRItem {
  std::string Name;
  TQuorin_ItIsType ItIs = st_Constant;
  TRWType rwType = rwt_ReadOnly;
  TMayUseAfter MayUseAfter = mua_OpenClaimEnable;
  TPacValueType ValueType = pvt_String;
  std::string Value;
  std::string ValueForTrue = "1";
  std::string CodeTxt;
  int32_t CodeInt = -1;  // -1 when CodeTxt is not an integer
  std::string Version;
  int32_t SourceIndex_1 = -1;
  int32_t SourceIndex_2 = -1;

  // Sets every field but ValueForTrue.
  bool set_PCRValues(const std::string& t_StrCode, const std::string& t_Name, const std::string& t_Version,
                     int32_t t_SourceIndex_2, int32_t t_SourceIndex_1, const std::string& t_Value,
                     TPacValueType t_ValueType, TRWType t_ReadWriteType, TMayUseAfter t_MayUseAfter,
                     TQuorin_ItIsType t_ItIs);
};

// `dd.pcrs`.
class TPCR : public TDDPart, public TOwnedCollection<TPCRItem> {};

// `dd.pcrs`: created in the description's slot on first use.
TPCR& pcrs(TDeviceDependent& dd);

// Common fields of the OPOS list items.
struct TOPItem {
  std::string Name;
  TMayUseAfter UseAfter = mua_OpenClaimEnable;
  TRWType Mutability = rwt_ReadOnly;
  std::string Version;
  int32_t dCode = -1;  // the device code of the property

  bool set_Item(int32_t tDCode, const std::string& tName, const std::string& tVersion, TMayUseAfter tUseAfter,
                TRWType tMutability);
};

struct TSItem : TOPItem {
  std::string Value;
  bool set_ItemValue(const std::string& tValue) {
    Value = tValue;
    return true;
  }
};

struct TIItem : TOPItem {
  int32_t Value = -1;
  bool set_ItemValue(int32_t tValue) {
    Value = tValue;
    return true;
  }
};

struct TBItem : TOPItem {
  bool Value = false;
  bool set_ItemValue(bool tValue) {
    Value = tValue;
    return true;
  }
};

using TSPC = TOwnedCollection<TSItem>;
using TIPC = TOwnedCollection<TIItem>;
using TBPC = TOwnedCollection<TBItem>;

struct TProps {
  TSPC sValues;
  TIPC iValues;
  TBPC bValues;
};

// The engine's `OPOS`.
class TROPOS : public TDDPart {
 public:
  static constexpr const char* Version = "1.0.0.0";
  TProps& Props() { return fProps; }
  const TProps& Props() const { return fProps; }

 private:
  TProps fProps;
};

// The engine's `OPOS`: created in the engine's slot on first use.
TROPOS& OPOS(TFiscalDevice& engine);

}  // namespace kestrel
