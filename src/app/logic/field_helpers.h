#pragma once
// The application's own field helpers: one field of a device answer (TAB) or of a file
// line (";"), and the small clean-ups of CSV values.
#include <string>
#include <string_view>

namespace kestrel {

// Field `index` (from 0) of `values` split at `separator`; empty when the text has fewer
// than `index` separators.
std::string get_FieldByIndex(char separator, int index, const std::string& values);

// The text without the characters of `blanks` at either end.
std::string trimmed(const std::string& text, std::string_view blanks = " ");
// Removes the first blank of the text (only that one).
void remove_FirstBlank(std::string& text);
// Removes a double quote at the start, then the last character when it is a double quote.
void remove_Quotes(std::string& text);
// Replaces the first "," by "." (only that one).
void replace_CommaWithPoint(std::string& text);

// One value as a CSV field: in double quotes and followed by ";". A value holding a
// double quote or ";" has its double quotes doubled, so take_CsvField gives it back
// whole; any other value is written exactly as the plain format always wrote it.
std::string csv_Field(const std::string& value);
// True when the value holds a double quote or ";": csv_Field doubles its quotes.
bool holds_CsvSpecial(std::string_view value);
// csv_Field appended to `out` (a long file's lines without a string per field).
void append_CsvField(std::string& out, std::string_view value);
// Takes the first field off a ";" line and returns it without its quotes. A quoted field
// whose closing quote is followed by ";" or the end is read with doubled quotes undone
// (what csv_Field writes); anything else is the plain format: the text before the first
// ";" with one quote at each end removed. The line loses the field and its ";".
std::string take_CsvField(std::string& line);
// The same off a view of the line, into `value` (its buffer reused): a long file's
// fields without moving the rest of the line for each one.
void take_CsvField(std::string_view& rest, std::string& value);

// Field 0 of the ";" line without its quotes goes into `field`; the line loses everything
// up to and including its first ";".
void set_StringFieldFromCSV(std::string& line, std::string& field);
// As set_StringFieldFromCSV, for a number: "," becomes ".", quotes and the first blank
// go, and a blank value takes `defaultText` when that is not empty.
void set_FieldFromCSV(std::string& line, std::string& field, const std::string& defaultText);

// Every value that goes into a device command passes here: a TAB would shift the
// command's later fields and a line break end it, so either throws
// std::invalid_argument naming `field`. Nothing is replaced in silence.
void checkSendable(const std::string& field, std::string_view value);
// Throws std::invalid_argument naming `field` when the decimal number `text` has more
// decimals than the device takes (`decimals`; trailing zeros aside), which it would
// otherwise round in silence.
void checkDecimals(const std::string& field, std::string_view text, int decimals);

}  // namespace kestrel
