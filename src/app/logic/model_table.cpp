#include "app/logic/model_table.h"

#include <strings.h>

namespace kestrel {

const TModelRow* findModel(const std::string& modelName) {
  for (const TModelRow& row : MODEL_TABLE)
    if (modelName.find('\0') == std::string::npos && ::strcasecmp(row.name, modelName.c_str()) == 0)
      return &row;
  return nullptr;
}

}  // namespace kestrel
