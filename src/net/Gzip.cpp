#include "net/Gzip.h"

#include <array>
#include <limits>
#include <stdexcept>

#include <zlib.h>

namespace kestrel {
namespace {

constexpr int kGzipWindowBits = 15 + 16;  // 15-bit window, gzip header
constexpr int kMemoryLevel = 8;
constexpr std::size_t kChunk = 4096;

// zlib takes its input without const and counts it in 32 bits.
void SetInput(z_stream& stream, std::string_view data) {
  if (data.size() > std::numeric_limits<uInt>::max()) throw std::runtime_error("gzip input is too large");
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
}

}  // namespace

std::string GzipCompress(std::string_view data) {
  z_stream stream{};
  if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, kGzipWindowBits, kMemoryLevel, Z_DEFAULT_STRATEGY) !=
      Z_OK) {
    throw std::runtime_error("deflateInit2 failed");
  }
  std::string out;
  std::array<char, kChunk> chunk{};
  int result = Z_OK;
  try {
    SetInput(stream, data);
    do {
      stream.next_out = reinterpret_cast<Bytef*>(chunk.data());
      stream.avail_out = static_cast<uInt>(chunk.size());
      result = deflate(&stream, Z_FINISH);
      if (result != Z_OK && result != Z_STREAM_END) break;
      out.append(chunk.data(), chunk.size() - stream.avail_out);
    } while (result != Z_STREAM_END);
  } catch (...) {
    deflateEnd(&stream);
    throw;
  }
  deflateEnd(&stream);
  if (result != Z_STREAM_END) throw std::runtime_error("deflate failed");
  return out;
}

std::string GzipDecompress(std::string_view data, std::size_t maxBytes) {
  z_stream stream{};
  if (inflateInit2(&stream, kGzipWindowBits) != Z_OK) throw std::runtime_error("inflateInit2 failed");
  std::string out;
  std::array<char, kChunk> chunk{};
  int result = Z_OK;
  bool tooLarge = false;
  try {
    SetInput(stream, data);
    do {
      stream.next_out = reinterpret_cast<Bytef*>(chunk.data());
      stream.avail_out = static_cast<uInt>(chunk.size());
      result = inflate(&stream, Z_NO_FLUSH);
      if (result != Z_OK && result != Z_STREAM_END) break;
      const std::size_t produced = chunk.size() - stream.avail_out;
      if (produced > maxBytes - out.size()) {
        tooLarge = true;
        break;
      }
      out.append(chunk.data(), produced);
    } while (result != Z_STREAM_END);
  } catch (...) {
    inflateEnd(&stream);
    throw;
  }
  inflateEnd(&stream);
  if (tooLarge) {
    throw std::runtime_error("Decompressed data exceeds the limit of " + std::to_string(maxBytes) + " bytes");
  }
  if (result != Z_STREAM_END) throw std::runtime_error("inflate failed during decompression");
  return out;
}

}  // namespace kestrel
