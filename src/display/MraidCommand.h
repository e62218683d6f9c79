#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>

namespace kestrel {

// Reading of the command URLs a creative posts: mraid://<name>?<key>=<value>&...
class MraidCommand {
 public:
  using Parameters = std::unordered_map<std::string, std::string>;

  // Longer messages are refused, so the store-link patterns never run over
  // more: std::regex recurses once per character (about 300 bytes of stack each).
  static constexpr std::size_t kMaxLength = 8 * 1024;

  // Whether the whole message has the shape of an http, https or mraid URL
  // (the scheme in any case); false for messages over kMaxLength.
  static bool IsCommandUrl(const std::string& message);
  // The text before the first ":" (all of it when there is none), lower-cased.
  static std::string Scheme(const std::string& message);
  // The text after the first "://" up to the first "/" or "?", lower-cased.
  static std::string Name(const std::string& message);
  // The query's pieces as received: every "?" dropped, split at "&", pieces
  // without "=" ignored, a later key wins. No percent-decoding.
  static Parameters ParseParameters(const std::string& message);
  static std::string Lowercase(std::string text);
};

}  // namespace kestrel
