#include "support/dialogs.h"

#include <algorithm>
#include <cctype>
#include <iostream>
#include <stdexcept>

namespace kestrel {

DialogResult ScriptedDialogs::show(const DialogRequest& request) {
  shown.push_back(request);
  if (answers.empty()) {
    if (strict) throw std::logic_error("Unexpected dialog: " + request.text);
    return request.defaultButton;
  }
  const DialogResult result = answers.front();
  answers.pop_front();
  return result;
}

StderrDialogs::StderrDialogs() : fOutput(&std::cerr), fInput(nullptr) {}

StderrDialogs::StderrDialogs(std::ostream& output, std::istream* input) : fOutput(&output), fInput(input) {}

DialogResult StderrDialogs::show(const DialogRequest& request) {
  std::ostream& out = *fOutput;
  if (!request.standardInformation && !request.title.empty()) out << request.title << ": ";
  out << request.text;
  if (request.buttons == DialogButtons::Ok) {
    out << '\n' << std::flush;
    return mrOk;
  }
  out << (request.defaultButton == mrYes ? " [Y/n] " : " [y/N] ") << std::flush;
  DialogResult result = request.defaultButton;
  std::string line;
  if (fInput && std::getline(*fInput, line)) {
    std::transform(line.begin(), line.end(), line.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (line == "y" || line == "yes") result = mrYes;
    if (line == "n" || line == "no") result = mrNo;
  } else {
    out << (result == mrYes ? "yes" : "no") << '\n';
  }
  out << std::flush;
  return result;
}

Dialogs& defaultDialogs() {
  static StderrDialogs dialogs;
  return dialogs;
}

}  // namespace kestrel
