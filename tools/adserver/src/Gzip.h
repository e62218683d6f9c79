#pragma once

#include <string>
#include <string_view>

namespace kestrel::adserver {

// Deflate with gzip framing (15-bit window, default level); throws std::runtime_error.
std::string GzipCompress(std::string_view data);
// Inflates a gzip stream; throws std::runtime_error on bad or truncated data.
std::string GzipDecompress(std::string_view data);

}  // namespace kestrel::adserver
