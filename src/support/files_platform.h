#pragma once
// What the shared file helpers and the platform's side of them have in common.
#include <string>

namespace kestrel {

// Throws EFileError: `what` "`path`": the text of `err` (an errno value).
[[noreturn]] void failFile(const std::string& what, const std::string& path, int err);

}  // namespace kestrel
