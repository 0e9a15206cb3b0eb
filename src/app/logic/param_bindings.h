#pragma once
// Named device parameters as data. A page that is a list of named parameters is a
// table of bindings (parameter name, index, the widget's objectName, the encoding, the
// models it applies to) with its own read order and save order; one read loop and one
// save loop run every such table and stop at the first refused parameter.
//
// Widget values are plain texts keyed by objectName, so the loops need no toolkit:
// a check box is "1" or "0", a choice list its entry index ("-1" for none), a text
// field its text.
#include <map>
#include <string>
#include <vector>

namespace kestrel {

class TDeviceOps;

enum class TParamEnc {
  Check,          // "1" / "0"; checked exactly when the value is the text "1"
  CheckInverted,  // "0" when checked, "1" when not; checked when the value, as an integer, is 0
  CheckMinutes,   // "60" when checked, "0" when not; checked when the value, as an integer, is above 0
  EntryIndex,     // the entry index both ways
  EntryText,      // the chosen entry's text; on read the entry equal to the value (none when none is)
  EntryByNumber,  // the chosen entry's text; on read the value, as an integer, is the entry index
  TimeZone,       // the chosen text ("+1", "0", "-4"); on read a value above 0 is looked up with "+"
  Text,           // the text both ways; an empty field is written as a single blank
  TextZero,       // the text; an empty field is written as "0"
  Number,         // the text both ways; an empty field refuses the save
  Hundredths,     // a whole number of hundredths shown in the shortest decimal form (550 as "5.5"); the
                  // typed decimal number written times 100, cut without rounding; no number throws
  ReadOnly,       // read, never written
};

// Which models a binding applies to.
enum class TModelRule {
  Any,
  RegisterGroup,     // model indexes 0, 3, 5 and 6
  NotRegisterGroup,  // every other index, -1 included
  PrinterGroup,      // model indexes 1, 2 and 4
  NotPrinterGroup,   // every other index, -1 included
};
bool appliesTo(TModelRule rule, int ecrModel);

struct TParamBinding {
  std::string name;
  std::string index;   // "" for a parameter with one value
  std::string widget;  // objectName of the widget
  TParamEnc enc = TParamEnc::Text;
  TModelRule models = TModelRule::Any;
  const std::vector<std::string>* choices = nullptr;  // the entries of a choice list
  bool judged = true;  // false: written, but the device's answer is not judged
  const char* saveIndex = nullptr;  // the index sent when writing, where it differs from `index`

  // "Name" or "Name.index": how orders and the command-line tool name it.
  std::string key() const { return index.empty() ? name : name + "." + index; }
  bool isChoice() const {
    return enc == TParamEnc::EntryIndex || enc == TParamEnc::EntryText || enc == TParamEnc::EntryByNumber ||
           enc == TParamEnc::TimeZone;
  }
  bool isCheck() const {
    return enc == TParamEnc::Check || enc == TParamEnc::CheckInverted || enc == TParamEnc::CheckMinutes;
  }
};

// Widget values by objectName.
using TPageValues = std::map<std::string, std::string>;

struct TParamTable {
  std::string page;  // the command-line name of the page ("parameters")
  std::vector<TParamBinding> bindings;
  std::vector<std::string> readOrder;  // keys
  std::vector<std::string> saveOrder;

  // Bindings of `key` that apply to the model (usually one).
  std::vector<const TParamBinding*> find(const std::string& key, int ecrModel) const;
  const TParamBinding* byWidget(const std::string& widget) const;
};

// The device's value of a binding as its widget shows it. Throws for a value that is no
// integer where one is needed.
std::string widgetValueOf(const TParamBinding& b, const std::string& deviceValue);
// The value written to the device for a widget value.
std::string deviceValueOf(const TParamBinding& b, const std::string& widgetValue);

// Reads the parameters of `order` (keys of the table) that apply to the model, putting
// each widget's value into `values` as it goes; false at the first refused parameter
// (the values read before it stay). Throws for a value of the wrong form.
bool readParams(TDeviceOps& ops, const TParamTable& table, const std::vector<std::string>& order, TPageValues& values);
// Writes the parameters of `order` from `values`; false at the first refused parameter.
// A value carried under deviceValueKey(key) is written as it stands, in place of what the
// widget's state encodes. An empty value never goes out, since Name TAB Index TAB TAB would
// read instead of write: a text goes as a single blank; an empty number, a choice list
// with no entry, a value holding a TAB or a line break, or a widget missing from `values`
// throws std::invalid_argument naming the parameter before anything is written.
bool saveParams(TDeviceOps& ops, const TParamTable& table, const std::vector<std::string>& order,
                const TPageValues& values);
inline bool readParams(TDeviceOps& ops, const TParamTable& t, TPageValues& v) { return readParams(ops, t, t.readOrder, v); }
inline bool saveParams(TDeviceOps& ops, const TParamTable& t, const TPageValues& v) {
  return saveParams(ops, t, t.saveOrder, v);
}

// The texts saveParams would send for `order`, checked as it checks them (throws the same way).
std::vector<std::string> paramWriteTexts(const TDeviceOps& ops, const TParamTable& table,
                                         const std::vector<std::string>& order, const TPageValues& values);

// The key under which page values carry a parameter's own device value (key "Name" or
// "Name.index"); no widget has such a name, so only the command-line tool's values hold it.
std::string deviceValueKey(const std::string& key);
// A device value typed for the binding, checked against what its encoding can mean and
// in the form the window writes (a time zone "+2"); throws std::invalid_argument naming it.
std::string checkedDeviceValue(const TParamBinding& b, const std::string& text);

// How the command-line tool shows and takes a widget value: a choice list by its
// entry's text, a check box as "1"/"0", a text as it is.
std::string displayValueOf(const TParamBinding& b, const std::string& widgetValue);
// Throws std::invalid_argument with a clear reason for a value the widget cannot hold.
std::string widgetValueFromDisplay(const TParamBinding& b, const std::string& text);

// Hundredths as a decimal text: 550 -> "5.5", 1000 -> "10", -5 -> "-0.05".
std::string hundredthsText(long long hundredths);
// A decimal number (point as separator, optional sign) times 100, cut without rounding:
// "12.5" -> 1250, "0.019" -> 1. Throws std::invalid_argument for anything else.
long long hundredthsOf(const std::string& text);

// Strict whole number ("-3", "+2", "60"); throws std::invalid_argument naming the text.
int parseIntValue(const std::string& text);

// Choice lists shared by pages.
const std::vector<std::string>& numberChoices(int from, int to);  // "from" .. "to"
extern const std::vector<std::string> SPEED_CHOICES;              // "1200" .. "115200"

}  // namespace kestrel
