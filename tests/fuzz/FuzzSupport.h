#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace kestrel::fuzz {

// The SDK logs every event to standard output; at fuzzing speed that is most
// of the time spent. Sends standard output to /dev/null unless KESTREL_FUZZ_LOG
// is set (to see the log while reproducing an input).
void SilenceLog();

// The input as text.
inline std::string Text(const std::uint8_t* data, std::size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

// A broken invariant: says which on standard error and aborts, which the
// fuzzer and the replay test both report as a failure.
[[noreturn]] void Fail(const char* what);
inline void Require(bool condition, const char* what) {
  if (!condition) Fail(what);
}

// A folder of this process under the temporary folder, removed at exit.
const std::filesystem::path& ProcessTempDir();

// Writes bytes to path, replacing the file; aborts when it cannot.
void WriteFile(const std::filesystem::path& path, const std::string& bytes);

}  // namespace kestrel::fuzz
