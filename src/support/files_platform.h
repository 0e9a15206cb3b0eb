#pragma once
// What the shared file helpers and the platform's side of them have in common.
#include <cstddef>
#include <string>

namespace kestrel {

// Throws EFileError: `what` "`path`": the text of `err` (an errno value).
[[noreturn]] void failFile(const std::string& what, const std::string& path, int err);
// Throws EFileError: the file is larger than any `kind` is.
[[noreturn]] void failTooLarge(const std::string& path, std::size_t maxBytes, const std::string& kind);
// The start of a private file up to its first line end (or all of it without one), for
// readPrivateFirstLine: the platform's checks of the file's type and readers.
std::string readPrivateHead(const std::string& path, std::size_t maxBytes, int pipeWaitMs, const std::string& what);

}  // namespace kestrel
