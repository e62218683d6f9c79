#include "Base64.h"

#include <array>
#include <stdexcept>

namespace kestrel::adserver {

namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Sextet(char c) {
  const auto pos = kAlphabet.find(c);
  if (pos == std::string_view::npos) {
    throw std::invalid_argument("not a base64 character");
  }
  return static_cast<int>(pos);
}

}  // namespace

std::string Base64Encode(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const unsigned n = static_cast<unsigned char>(bytes[i]) << 16 | static_cast<unsigned char>(bytes[i + 1]) << 8 |
                       static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[n >> 18 & 63];
    out += kAlphabet[n >> 12 & 63];
    out += kAlphabet[n >> 6 & 63];
    out += kAlphabet[n & 63];
  }
  const auto rest = bytes.size() - i;
  if (rest > 0) {
    unsigned n = static_cast<unsigned char>(bytes[i]) << 16;
    if (rest == 2) {
      n |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    }
    out += kAlphabet[n >> 18 & 63];
    out += kAlphabet[n >> 12 & 63];
    out += rest == 2 ? kAlphabet[n >> 6 & 63] : '=';
    out += '=';
  }
  return out;
}

std::string Base64Decode(std::string_view text) {
  if (text.size() % 4 != 0) {
    throw std::invalid_argument("base64 length is not a multiple of four");
  }
  std::string out;
  out.reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    const int fill = last ? (text[i + 3] == '=') + (text[i + 2] == '=') : 0;
    if (fill == 1 && text[i + 2] == '=') {
      throw std::invalid_argument("misplaced base64 fill");
    }
    unsigned n = 0;
    for (int k = 0; k < 4 - fill; ++k) {
      n = n << 6 | static_cast<unsigned>(Sextet(text[i + static_cast<std::size_t>(k)]));
    }
    n <<= 6 * fill;
    out += static_cast<char>(n >> 16 & 0xFF);
    if (fill < 2) {
      out += static_cast<char>(n >> 8 & 0xFF);
    }
    if (fill < 1) {
      out += static_cast<char>(n & 0xFF);
    }
  }
  return out;
}

}  // namespace kestrel::adserver
