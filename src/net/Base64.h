#pragma once

#include <string>
#include <string_view>

namespace kestrel {

// Standard base64 (A–Z a–z 0–9 + /) with "=" as the fill at the end.
std::string Base64Encode(std::string_view bytes);

// Decodes padded or unpadded text. Throws std::runtime_error for a character
// outside the alphabet, a fill anywhere but at the end, or a length that no
// encoding produces.
std::string Base64Decode(std::string_view text);

}  // namespace kestrel
