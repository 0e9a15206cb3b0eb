#pragma once
// The engine's catalogue operations: filling and searching the command descriptors
// (`dd.cmds`), the property-code relations (`dd.pcrs`) and the OPOS lists, including
// ready-made command-255 descriptors that read and write one named device parameter.
// They take no engine lock; the find operations set -10526 (by name) or -10527 (by
// number, variant and version) when nothing matches, the others return false on failure.
//
// The parameter operations (add_DDParam ... add_AdditionalDelimiter) work on the
// descriptor added last; without one they return false.
#include <concepts>
#include <cstdint>
#include <string>

#include "catalogue/command_descriptors.h"
#include "catalogue/property_relations.h"

namespace kestrel {

class TFiscalDevice;

// --- finding and executing ---
// First descriptor whose HumanName, HumanName2 or HumanName3 equals the name.
TCommandsItem* find(TFiscalDevice& engine, const std::string& command_Name);
TCommandsItem* findBy_HumanName_1(TFiscalDevice& engine, const std::string& command_Name);
TCommandsItem* findBy_HumanName_2(TFiscalDevice& engine, const std::string& command_Name);
TCommandsItem* findBy_HumanName_3(TFiscalDevice& engine, const std::string& command_Name);
TCommandsItem* find(TFiscalDevice& engine, int32_t command_Value, uint16_t command_Variant, uint16_t command_Version);
// Sets -1, finds the descriptor and executes it; false when not found or on an exception (-1).
bool findAndExecute(TFiscalDevice& engine, const std::string& command_Name);
bool findAndExecute(TFiscalDevice& engine, int32_t command_Value, uint16_t command_Variant, uint16_t command_Version);

// --- descriptors ---
bool add_DDCommand(TFiscalDevice& engine, int32_t command_Value, uint16_t command_Variant, uint16_t command_Version);
bool add_DDCommand(TFiscalDevice& engine, int32_t command_Value, uint16_t command_Variant, uint16_t command_Version,
                   const std::string& humanName2);
bool add_DDCommand(TFiscalDevice& engine, int32_t command_Value, uint16_t command_Variant, uint16_t command_Version,
                   const std::string& groupName, const std::string& humanName3, bool visibleForExport);
// Variant and version 0. The flag must be a real bool, so that a call with a variant 0,
// a version 0 and a second name (a text would convert to bool) is not ambiguous.
template <std::same_as<bool> Flag>
bool add_DDCommand(TFiscalDevice& engine, int32_t command_Value, const std::string& groupName,
                   const std::string& humanName3, Flag visibleForExport) {
  return add_DDCommand(engine, command_Value, uint16_t{0}, uint16_t{0}, groupName, humanName3, visibleForExport);
}
// Empties the catalogue and resets both command-255 counters.
void clear_DDCommands(TFiscalDevice& engine);

// --- parameters of the descriptor added last ---
// A parameter followed (or preceded) by `delimiter` (special-symbol notation allowed).
bool add_DDParam(TFiscalDevice& engine, bool isInput, const std::string& name, const std::string& value,
                 TParameterType valueType, TCheckOptions checkOptions, const std::string& delimiter = "\t",
                 TDelimiterPositionStyle relativePosition = TDelimiterPositionStyle::AfterParameter);
// The same with limits and lengths.
bool add_DDParam_R(TFiscalDevice& engine, bool isInput, const std::string& name, const std::string& value,
                   TParameterType valueType, TCheckOptions checkOptions, const std::string& lowLimit,
                   const std::string& upperLimit, uint16_t minLength, uint16_t maxLength,
                   const std::string& delimiter = "\t");
// Output (result) parameters with a range: FirstR puts one before all other outputs,
// NextR appends one after them. The type and range are checked when CheckOutput is on.
bool add_DDP_FirstR(TFiscalDevice& engine, const std::string& name, TParameterType valueType,
                    const std::string& lowLimit, const std::string& upperLimit, const std::string& delimiter = "\t");
bool add_DDP_NextR(TFiscalDevice& engine, const std::string& name, TParameterType valueType,
                   const std::string& lowLimit, const std::string& upperLimit, const std::string& delimiter = "\t");
// Adds an allowed value to the named parameter and switches its enumeration check on.
bool add_EnumValue(TFiscalDevice& engine, bool isInput, const std::string& paramName, const std::string& value);
// Appends the output `ErrorCode` (integer -2147483648 to 0, TAB after it).
bool add_ErrorCode(TFiscalDevice& engine);
bool add_AdditionalDelimiter(TFiscalDevice& engine, const std::string& value);

// --- command-255 descriptors for one named device parameter ---
// Read: number 255, variant = read counter + 1, version 0; inputs Name, Index (empty when
// `index` is negative), Value (empty); outputs ErrorCode (or ErrorStatus) and VarValue
// with `outputRules`.
bool add_Read_255_ErrCode(TFiscalDevice& engine, const std::string& variable_Name, int32_t index,
                          const TParamAttribute& outputRules);
bool add_Read_255_ErrStatus(TFiscalDevice& engine, const std::string& variable_Name, int32_t index,
                            const TParamAttribute& outputRules);
// Named "255_<group>_Get_<name>", "<group>_Get_<name>", "Get_<name>".
bool add_Read_255_ErrCode_ex01(TFiscalDevice& engine, const std::string& groupName, const std::string& variable_Name,
                               int32_t index, const TParamAttribute& outputRules, bool visibleForExport = true);
// Write: number 255, variant = current read counter, version 1; inputs Name, Index and
// Value (preset to `value`, checked by `valueRules`); output ErrorCode (or ErrorStatus).
// A negative index adds nothing and gives false.
bool add_Write_255(TFiscalDevice& engine, const std::string& variable_Name, int32_t index, const std::string& value,
                   const TParamAttribute& valueRules);
bool add_Write_255_ErrStatus(TFiscalDevice& engine, const std::string& variable_Name, int32_t index,
                             const std::string& value, const TParamAttribute& valueRules);
// Named "255_<group>_Set_<name>", "<group>_Set_<name>", "Set_<name>".
bool add_Write_255_ErrCode_ex01(TFiscalDevice& engine, const std::string& groupName, const std::string& variable_Name,
                                int32_t index, const std::string& value, const TParamAttribute& valueRules,
                                bool visibleForExport = true);

// --- property-code relations ---
bool add_PCR(TFiscalDevice& engine, const std::string& t_StrCode, const std::string& t_Name,
             const std::string& t_Version, int32_t t_SourceIndex_2, int32_t t_SourceIndex_1,
             const std::string& t_Value, TPacValueType t_ValueType, TRWType t_ReadWriteType,
             TMayUseAfter t_MayUseAfter, TQuorin_ItIsType t_ItIs);
void clear_PCRs(TFiscalDevice& engine);

// --- OPOS lists ---
// The value text chooses the list: an integer goes to the integer list, else "True" or
// "False" (any case) to the Boolean list, else the text list.
bool opos_AddProperties(TFiscalDevice& engine, int32_t tDCode, const std::string& tName, const std::string& tVersion,
                        TMayUseAfter tUseAfter, TRWType tMutability, const std::string& tValue);
void oposProperties_Clear(TFiscalDevice& engine);

}  // namespace kestrel
