#pragma once

#include <string>
#include <string_view>

namespace kestrel::adserver {

// Standard base64 (A-Z a-z 0-9 + /, "=" fill).
std::string Base64Encode(std::string_view bytes);
// Decodes standard base64; throws std::invalid_argument on a character outside
// the alphabet or a length that is not a multiple of four.
std::string Base64Decode(std::string_view text);

}  // namespace kestrel::adserver
