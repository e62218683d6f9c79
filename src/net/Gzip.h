#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrel {

// Most bytes a decompression may produce: a markup of a few kilobytes must not
// be able to take the publisher's memory.
inline constexpr std::size_t kMaxGunzipBytes = 16u * 1024 * 1024;

// A gzip stream of the data: deflate, default level, 15-bit window with gzip
// header, memory level 8, default strategy. Throws std::runtime_error
// ("deflateInit2 failed", "deflate failed").
std::string GzipCompress(std::string_view data);

// The data of a gzip stream. Throws std::runtime_error for a stream that
// cannot be read ("inflateInit2 failed", "inflate failed during decompression")
// or whose data grows beyond maxBytes.
std::string GzipDecompress(std::string_view data, std::size_t maxBytes = kMaxGunzipBytes);

}  // namespace kestrel
