#pragma once
// The KT models the tool knows: the model name that command 90 reports selects the
// window caption, the number of direct keys, the devices' default operator password
// and whether the model is a printer or a cash register.
#include <array>
#include <string>

namespace kestrel {

struct TModelRow {
  int index;
  const char* name;
  const char* caption;
  int MaxProgrammableKeys;
  const char* testOperatorPassword;
  bool printer;  // printer group (1, 2, 4); the others are cash registers
};

// The window caption while no model is connected.
inline constexpr const char* WINDOW_CAPTION = "Kestrel FBH";

// Factory default operator passwords: four digits on the printers, one on the registers.
inline constexpr const char* PRINTER_DEFAULT_OPERATOR_PASSWORD = "0000";
inline constexpr const char* REGISTER_DEFAULT_OPERATOR_PASSWORD = "1";

inline constexpr std::array<TModelRow, 7> MODEL_TABLE = {{
    {0, "KT-11A", "Kestrel FBH - [KT-11A]", 8, REGISTER_DEFAULT_OPERATOR_PASSWORD, false},
    {1, "KT-22A", "Kestrel FBH - [KT-22A]", 0, PRINTER_DEFAULT_OPERATOR_PASSWORD, true},
    {2, "KT-33A", "Kestrel FBH - [KT-33A]", 0, PRINTER_DEFAULT_OPERATOR_PASSWORD, true},
    {3, "KT-44B", "Kestrel FBH - [KT-44B]", 8, REGISTER_DEFAULT_OPERATOR_PASSWORD, false},
    {4, "KT-55B", "Kestrel FBH - [KT-55B]", 0, PRINTER_DEFAULT_OPERATOR_PASSWORD, true},
    {5, "KT-66B", "Kestrel FBH - [KT-66B]", 6, REGISTER_DEFAULT_OPERATOR_PASSWORD, false},
    {6, "KT-77B", "Kestrel FBH - [KT-77B]", 8, REGISTER_DEFAULT_OPERATOR_PASSWORD, false},
}};

// The row whose name equals `modelName` without regard to letter case; null for any
// other name (model index -1).
const TModelRow* findModel(const std::string& modelName);

// The model index (ecrModel) of a name: 0..6, or -1 when the name is not in the table.
inline int modelIndexOf(const std::string& modelName) {
  const TModelRow* r = findModel(modelName);
  return r ? r->index : -1;
}

// The row of a model index; nullptr for -1 (no or an unsupported model).
inline const TModelRow* modelRowOf(int ecrModel) {
  return ecrModel >= 0 && ecrModel < static_cast<int>(MODEL_TABLE.size()) ? &MODEL_TABLE[static_cast<size_t>(ecrModel)]
                                                                           : nullptr;
}

inline constexpr const char* UNSUPPORTED_MODEL_MESSAGE = "Unsuported model!";

}  // namespace kestrel
