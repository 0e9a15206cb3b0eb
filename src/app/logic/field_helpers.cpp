#include "app/logic/field_helpers.h"

#include <algorithm>
#include <stdexcept>

namespace kestrel {

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

std::string trimmed(const std::string& text, std::string_view blanks) {
  const auto b = text.find_first_not_of(blanks);
  if (b == std::string::npos) return {};
  return text.substr(b, text.find_last_not_of(blanks) - b + 1);
}

namespace {

// Where `c` is in `s` from `pos` on, or npos. A plain scan: the values of a line are short,
// and memchr (behind find) costs more to start than to go through them.
std::size_t findChar(std::string_view s, char c, std::size_t pos = 0) {
  const auto it = std::find(s.begin() + static_cast<std::ptrdiff_t>(std::min(pos, s.size())), s.end(), c);
  return it == s.end() ? std::string_view::npos : static_cast<std::size_t>(it - s.begin());
}

}  // namespace

void remove_FirstBlank(std::string& text) {
  const auto pos = findChar(text, ' ');
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

std::string csv_Field(const std::string& value) {
  std::string out;
  append_CsvField(out, value);
  return out;
}

bool holds_CsvSpecial(std::string_view value) {
  // A plain loop: find_first_of calls memchr over the two characters once per byte.
  for (char c : value)
    if (c == '"' || c == ';') return true;
  return false;
}

void append_CsvField(std::string& out, std::string_view value) {
  out += '"';
  if (!holds_CsvSpecial(value)) {
    out += value;
  } else {
    for (char c : value) {
      if (c == '"') out += '"';
      out += c;
    }
  }
  out += "\";";
}

void take_CsvField(std::string_view& rest, std::string& value) {
  value.clear();
  if (!rest.empty() && rest.front() == '"') {
    for (std::size_t i = 1; i < rest.size();) {
      const std::size_t quote = findChar(rest, '"', i);
      if (quote == std::string_view::npos) break;  // never closed: the plain format
      value.append(rest.substr(i, quote - i));
      if (quote + 1 < rest.size() && rest[quote + 1] == '"') {
        value += '"';
        i = quote + 2;
        continue;
      }
      if (quote + 1 == rest.size() || rest[quote + 1] == ';') {
        rest.remove_prefix(std::min(quote + 2, rest.size()));
        return;
      }
      break;  // a lone quote inside: not written by csv_Field, so the plain format
    }
  }
  // A last field without ";" goes too, so missing trailing fields of a short line read
  // as empty, not as a repeat of the last one.
  const auto end = findChar(rest, ';');
  value.assign(rest.substr(0, end));
  remove_Quotes(value);
  rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
}

std::string take_CsvField(std::string& line) {
  std::string_view rest(line);
  std::string value;
  take_CsvField(rest, value);
  line.erase(0, line.size() - rest.size());
  return value;
}

void set_StringFieldFromCSV(std::string& line, std::string& field) {
  field = take_CsvField(line);
}

void set_FieldFromCSV(std::string& line, std::string& field, const std::string& defaultText) {
  std::string value = take_CsvField(line);
  replace_CommaWithPoint(value);
  remove_FirstBlank(value);
  if (!defaultText.empty() && value.find_first_not_of(' ') == std::string::npos) value = defaultText;
  field = value;
}

void checkSendable(const std::string& field, std::string_view value) {
  // A plain loop: find_first_of calls memchr over the three characters once per byte.
  if (std::any_of(value.begin(), value.end(), [](char c) { return c == '\t' || c == '\r' || c == '\n'; }))
    throw std::invalid_argument(field + ": a TAB or a line break cannot be sent to the device");
}

void checkDecimals(const std::string& field, std::string_view text, int decimals) {
  const size_t point = text.find('.');
  if (point == std::string_view::npos) return;
  std::string_view after = text.substr(point + 1);
  while (!after.empty() && (after.back() == ' ' || after.back() == '0')) after.remove_suffix(1);
  if (after.size() > static_cast<size_t>(decimals))
    throw std::invalid_argument(field + ": '" + std::string(text) + "' has more decimals than the device takes (" +
                                std::to_string(decimals) + ")");
}

}  // namespace kestrel
