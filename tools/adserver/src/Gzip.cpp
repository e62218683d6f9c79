#include "Gzip.h"

#include <zlib.h>

#include <array>
#include <stdexcept>

namespace kestrel::adserver {

namespace {

constexpr int kGzipWindowBits = 15 + 16;

Bytef* In(std::string_view data) {
  // zlib reads next_in without writing it; its API is not const-correct.
  return reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
}

}  // namespace

std::string GzipCompress(std::string_view data) {
  z_stream stream{};
  if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, kGzipWindowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::runtime_error("deflateInit2 failed");
  }
  stream.next_in = In(data);
  stream.avail_in = static_cast<uInt>(data.size());
  std::string out;
  std::array<char, 16384> chunk{};
  int rc = Z_OK;
  while (rc != Z_STREAM_END) {
    stream.next_out = reinterpret_cast<Bytef*>(chunk.data());
    stream.avail_out = static_cast<uInt>(chunk.size());
    rc = deflate(&stream, Z_FINISH);
    if (rc != Z_OK && rc != Z_STREAM_END) {
      deflateEnd(&stream);
      throw std::runtime_error("deflate failed");
    }
    out.append(chunk.data(), chunk.size() - stream.avail_out);
  }
  deflateEnd(&stream);
  return out;
}

std::string GzipDecompress(std::string_view data) {
  z_stream stream{};
  if (inflateInit2(&stream, kGzipWindowBits) != Z_OK) {
    throw std::runtime_error("inflateInit2 failed");
  }
  stream.next_in = In(data);
  stream.avail_in = static_cast<uInt>(data.size());
  std::string out;
  std::array<char, 16384> chunk{};
  int rc = Z_OK;
  while (rc != Z_STREAM_END) {
    stream.next_out = reinterpret_cast<Bytef*>(chunk.data());
    stream.avail_out = static_cast<uInt>(chunk.size());
    rc = inflate(&stream, Z_NO_FLUSH);
    const bool stalled = rc == Z_BUF_ERROR && stream.avail_in == 0;
    if ((rc != Z_OK && rc != Z_STREAM_END) || stalled) {
      inflateEnd(&stream);
      throw std::runtime_error(stalled ? "gzip stream is truncated" : "inflate failed");
    }
    out.append(chunk.data(), chunk.size() - stream.avail_out);
  }
  inflateEnd(&stream);
  return out;
}

}  // namespace kestrel::adserver
