#pragma once
// Command descriptors: one device command described as data (number, variant, version,
// names, input and output parameters with their delimiters and value checks) that
// builds its input text, runs through the engine's customCommand and distributes the
// answer over its output parameters.
//
// Answer cutting rules chosen here (no descriptor of this application uses them, so
// they are kept as simple as the data model allows):
// - Positional (`pct_StandartDelimiters` with an output parameter whose delimiter type
//   is `TDelimiterType::Position`): every output parameter takes `Delimiter.Length`
//   characters from `Delimiter.Position` (0-based, in characters); a Position of -1
//   continues where the previous parameter ended, a Length of 0 or less takes the rest
//   of the answer. A cut beyond the end of the answer delivers no value.
// - Indirect (pedal) data (an output parameter with `PedalData` other than
//   `noIndirectPedalData`): the answer is read from left to right; a plain parameter
//   takes the text up to the next delimiter of the engine's list (the delimiter is
//   consumed), a `pedalDataAsFirstSymbol` parameter takes exactly one character (no
//   delimiter is consumed) and a `pedalDataAsRestData` parameter takes all the rest;
//   parameters after it receive nothing.
// - Journal answers: `pct_BGKLEN_02` gives everything after the first "," to the second
//   output parameter; `pct_BGKLEN_03` gives the text between the first and the second
//   "," to the second and everything after the second "," to the third.
// - Limit checks compare numbers only; the limits of a `ptString` parameter are kept
//   as description and not checked (its lengths and enumerated values are).
// - A delimiter of type `Position` contributes no text to the input.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "catalogue/owned_collection.h"
#include "engine/device_dependent.h"

namespace kestrel {

class TFiscalDevice;
class TCustomCommands;

enum TParameterType { ptInteger = 0, ptString = 1, ptRealForCurrency = 2, ptRealForQuantity = 3, ptRealForExchange = 4 };

enum class TCheckParamOption { Presence, ParamType, UpperLimit, LowLimit, MaxLength, MinLength, EnumeratedList };

// A set of TCheckParamOption.
class TCheckOptions {
 public:
  TCheckOptions() = default;
  TCheckOptions(std::initializer_list<TCheckParamOption> options) {
    for (auto o : options) include(o);
  }
  bool contains(TCheckParamOption o) const { return (fBits & bit(o)) != 0; }
  void include(TCheckParamOption o) { fBits |= bit(o); }
  void exclude(TCheckParamOption o) { fBits &= static_cast<uint8_t>(~bit(o)); }
  bool empty() const { return fBits == 0; }
  bool operator==(const TCheckOptions&) const = default;

 private:
  static uint8_t bit(TCheckParamOption o) { return static_cast<uint8_t>(1u << static_cast<unsigned>(o)); }
  uint8_t fBits = 0;
};

enum TPedalOutputCase { noIndirectPedalData = 0, pedalDataAsFirstSymbol = 1, pedalDataAsRestData = 2 };
enum class TDelimiterPositionStyle { BeforeParameter = 0, AfterParameter = 1 };
enum class TDelimiterType { Character = 0, SomeText = 1, Position = 2 };
enum TParsingCaseType { pct_WithoutParsing = 0, pct_StandartDelimiters = 1, pct_BGKLEN_02 = 2, pct_BGKLEN_03 = 3 };

// Descriptor codes beyond the engine's own.
namespace codes {
inline constexpr int PARAM_MISSING = -10500;
inline constexpr int PARAM_TOO_LONG = -10502;
inline constexpr int PARAM_TOO_SHORT = -10503;
inline constexpr int PARAM_NOT_ENUMERATED = -10504;
inline constexpr int PARAM_NOT_REAL = -10505;
inline constexpr int PARAM_ABOVE_CURRENCY = -10506;
inline constexpr int PARAM_BELOW_CURRENCY = -10507;
inline constexpr int PARAM_ABOVE_QUANTITY = -10508;
inline constexpr int PARAM_BELOW_QUANTITY = -10509;
inline constexpr int PARAM_NOT_INTEGER = -10510;
inline constexpr int PARAM_ABOVE_INTEGER = -10511;
inline constexpr int PARAM_BELOW_INTEGER = -10512;
inline constexpr int OUTPUT_MISSING = -10524;
inline constexpr int ANSWER_NOT_BY_PROTOCOL = -33028;
}  // namespace codes

struct TEnumeratedListItem {
  std::string Value;
};
using TEnumeratedValues = std::vector<TEnumeratedListItem>;

// Value rules of one parameter.
struct TParamAttribute {
  TParameterType ValueType = ptString;
  TCheckOptions CheckOptions;
  std::string UpperLimitValue;
  std::string LowLimitValue;
  uint16_t MaxLengthValue = 0;
  uint16_t MinLengthValue = 0;
  TEnumeratedValues EnumeratedValues;
  TPedalOutputCase PedalData = noIndirectPedalData;
  bool CanBeGenerated = true;
};

// The delimiter that goes with one parameter; `Value` may use the special-symbol notation.
struct TDelimiterAttribute {
  TDelimiterPositionStyle RelativePosition = TDelimiterPositionStyle::AfterParameter;
  TDelimiterType DelimiterType = TDelimiterType::Character;
  std::string Value;
  int32_t Position = -1;
  int32_t Length = 1;
};

// One parameter.
struct TIOItem {
  std::string Name;
  std::string Value;
  int32_t Length = 0;
  TDelimiterAttribute Delimiter;
  TParamAttribute Properties;
};

class TIOParameters : public TOwnedCollection<TIOItem> {
 public:
  // The parameter with that name, or null.
  TIOItem* find(const std::string& ValueName);
};

struct TADItem {
  std::string Value;
};
using TAdditionalDelimiters = TOwnedCollection<TADItem>;

// The check of one value against its rules: 0, or the first failing check's code.
int checkParamValue(const std::string& value, const TParamAttribute& rules);

class TCommandsItem {
 public:
  explicit TCommandsItem(TCustomCommands* collection = nullptr) : fCollection(collection) {}
  TCommandsItem(const TCommandsItem&) = delete;
  TCommandsItem& operator=(const TCommandsItem&) = delete;

  // Setting number, variant or version renames the descriptor "command%dVariant%dVersion%d".
  int32_t Value() const { return fValue; }
  void set_Value(int32_t value);
  uint16_t Variant() const { return fVariant; }
  void set_Variant(uint16_t value);
  uint16_t Version() const { return fVersion; }
  void set_Version(uint16_t value);

  std::string HumanName, HumanName2, HumanName3;
  std::string GroupName;
  TIOParameters& iParams() { return fiParams; }
  const TIOParameters& iParams() const { return fiParams; }
  TIOParameters& oParams() { return foParams; }
  const TIOParameters& oParams() const { return foParams; }
  int iParamsCount() const { return fiParams.Count(); }
  int oParamsCount() const { return foParams.Count(); }
  TAdditionalDelimiters& AdditionalDelimiters() { return fAdditionalDelimiters; }
  bool VisibleForExport = true;
  bool CheckInput = true;
  bool CheckOutput = false;
  TParsingCaseType ParsingCase = pct_StandartDelimiters;

  // Position in the owning catalogue, -1 without one.
  int Index() const;
  // HumanName; a blank one becomes (and stays) "CommandsItem<index>".
  std::string GetDisplayName();

  // Checks the inputs (when CheckInput) and builds the input text; False without an
  // engine's catalogue or when a check fails.
  bool Prepare();
  // Prepares when needed, sends, and parses the answer into the output parameters.
  bool Execute();

  bool prepared() const { return fPrepared; }
  const std::string& lastInputText() const { return fInputText; }
  const std::string& lastOutputText() const { return fOutputText; }
  TCustomCommands* Collection() const { return fCollection; }

 private:
  void rename();
  TFiscalDevice* engine() const;
  bool execute(TFiscalDevice& engine);
  bool parseAnswer(TFiscalDevice& engine, const std::string& answer);
  bool checkOutputs(TFiscalDevice& engine, int delivered);

  TCustomCommands* fCollection;
  int32_t fValue = 0;
  uint16_t fVariant = 0;
  uint16_t fVersion = 0;
  TIOParameters fiParams;
  TIOParameters foParams;
  TAdditionalDelimiters fAdditionalDelimiters;
  bool fPrepared = false;
  std::string fInputText;
  std::string fOutputText;
};

// The catalogue of descriptors of one device description (`dd.cmds`), with the two
// counters of the command-255 descriptors.
class TCustomCommands : public TDDPart, public TOwnedCollection<TCommandsItem> {
 public:
  explicit TCustomCommands(TFiscalDevice* engine = nullptr) : fEngine(engine) {}
  TFiscalDevice* engine() const { return fEngine; }

  TCommandsItem& add() { return Add(this); }
  // Empties the catalogue and resets both counters.
  void clearAll() {
    Clear();
    fIndex_Read255 = 0;
    fIndex_Write255 = 0;
  }
  uint16_t index_Read255() const { return fIndex_Read255; }
  uint16_t index_Write255() const { return fIndex_Write255; }
  uint16_t next_Read255() { return ++fIndex_Read255; }
  uint16_t next_Write255() { return ++fIndex_Write255; }

 private:
  TFiscalDevice* fEngine;
  uint16_t fIndex_Read255 = 0;
  uint16_t fIndex_Write255 = 0;
};

// `dd.cmds`: created in the description's slot on first use.
TCustomCommands& cmds(TDeviceDependent& dd);

}  // namespace kestrel
