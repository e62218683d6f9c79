#include "net/Base64.h"

#include <array>
#include <cstdint>
#include <stdexcept>

namespace kestrel {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int kNotInAlphabet = -1;

constexpr std::array<int, 256> MakeDecodeTable() {
  std::array<int, 256> table{};
  for (int& entry : table) entry = kNotInAlphabet;
  for (int i = 0; i < 64; ++i) table[static_cast<unsigned char>(kAlphabet[i])] = i;
  return table;
}

constexpr std::array<int, 256> kDecodeTable = MakeDecodeTable();

}  // namespace

std::string Base64Encode(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t group = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << 16 |
                                static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8 |
                                static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[group >> 18 & 63];
    out += kAlphabet[group >> 12 & 63];
    out += kAlphabet[group >> 6 & 63];
    out += kAlphabet[group & 63];
  }
  const std::size_t rest = bytes.size() - i;
  if (rest > 0) {
    std::uint32_t group = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
    if (rest == 2) group |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    out += kAlphabet[group >> 18 & 63];
    out += kAlphabet[group >> 12 & 63];
    out += rest == 2 ? kAlphabet[group >> 6 & 63] : '=';
    out += '=';
  }
  return out;
}

std::string Base64Decode(std::string_view text) {
  std::size_t end = text.size();
  if (end % 4 == 0) {
    // At most two fill characters, and only at the very end.
    for (int fill = 0; fill < 2 && end > 0 && text[end - 1] == '='; ++fill) --end;
  }
  if (end % 4 == 1) throw std::runtime_error("Base64 text has an impossible length");

  std::string out;
  out.reserve(end / 4 * 3 + 2);
  std::uint32_t group = 0;
  int bits = 0;
  for (std::size_t i = 0; i < end; ++i) {
    const int value = kDecodeTable[static_cast<unsigned char>(text[i])];
    if (value == kNotInAlphabet) {
      throw std::runtime_error("Base64 text holds a character outside the alphabet at offset " + std::to_string(i));
    }
    group = (group << 6 | static_cast<std::uint32_t>(value)) & 0xFFFFFF;
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>(group >> bits & 0xFF);
    }
  }
  return out;
}

}  // namespace kestrel
