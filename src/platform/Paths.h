#pragma once

#include <filesystem>
#include <string>

namespace kestrel {

// The separator between the parts of a path on this platform.
inline constexpr char kPathSeparator = static_cast<char>(std::filesystem::path::preferred_separator);

// a, one separator, b.
inline std::string JoinPath(const std::string& a, const std::string& b) {
  return a + kPathSeparator + b;
}

// The SDK's paths are UTF-8 text. std::filesystem and the file streams read a
// plain string in the system's narrow encoding, which on Windows is a code
// page: paths cross over through these two.
inline std::filesystem::path PathFromUtf8(const std::string& text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}
inline std::string Utf8FromPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace kestrel
