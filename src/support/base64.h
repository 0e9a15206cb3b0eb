#pragma once
// Base64 of the standard alphabet with "=" padding and no line breaks: the logo upload
// and the device's file transfers carry binary data this way inside a text field.
#include <optional>
#include <string>
#include <string_view>

namespace kestrel {

std::string base64Encode(std::string_view data);
// Nullopt for a text that is not whole Base64 (a length that is no multiple of 4, a
// character outside the alphabet, data after the padding).
std::optional<std::string> base64Decode(std::string_view text);

}  // namespace kestrel
