#include "app/logic/field_helpers.h"

namespace kestrel {

namespace {

// The line loses everything up to and including its first ";".
void dropFirstField(std::string& line) {
  const auto pos = line.find(';');
  if (pos != std::string::npos) line.erase(0, pos + 1);
}

}  // namespace

std::string get_FieldByIndex(char separator, int index, const std::string& values) {
  if (index < 0) return {};
  std::size_t start = 0;
  for (int i = 0; i < index; ++i) {
    const auto pos = values.find(separator, start);
    if (pos == std::string::npos) return {};
    start = pos + 1;
  }
  const auto end = values.find(separator, start);
  return values.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

void remove_FirstBlank(std::string& text) {
  const auto pos = text.find(' ');
  if (pos != std::string::npos) text.erase(pos, 1);
}

void remove_Quotes(std::string& text) {
  if (!text.empty() && text.front() == '"') text.erase(0, 1);
  if (!text.empty() && text.back() == '"') text.pop_back();
}

void replace_CommaWithPoint(std::string& text) {
  const auto pos = text.find(',');
  if (pos != std::string::npos) text[pos] = '.';
}

void set_StringFieldFromCSV(std::string& line, std::string& field) {
  std::string value = get_FieldByIndex(';', 0, line);
  remove_Quotes(value);
  field = value;
  dropFirstField(line);
}

void set_FieldFromCSV(std::string& line, std::string& field, const std::string& defaultText) {
  std::string value = get_FieldByIndex(';', 0, line);
  replace_CommaWithPoint(value);
  remove_Quotes(value);
  remove_FirstBlank(value);
  if (!defaultText.empty() && value.find_first_not_of(' ') == std::string::npos) value = defaultText;
  field = value;
  dropFirstField(line);
}

}  // namespace kestrel
