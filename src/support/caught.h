#pragma once
// A failure that a function turns into its documented result (false, -1, an empty text)
// still reaches someone: one line on stderr, or wherever the program sends these lines
// (the window: its log).
#include <exception>
#include <functional>
#include <string>

namespace kestrel {

// Reports the exception being handled; call it inside a catch block. `where` names the
// function ("TFDMisc.md5File").
void reportCaught(const char* where);
void reportCaught(const char* where, const std::exception& e);

// Where the lines go; an empty function restores stderr.
void set_CaughtReporter(std::function<void(const std::string& line)> reporter);

}  // namespace kestrel
