#pragma once

#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kestrel::test {

// Sets or removes a variable of this process's environment.
void SetEnv(const std::string& name, const std::string& value);
void UnsetEnv(const std::string& name);

// Sets environment variables for its lifetime and restores them afterwards; a
// null value unsets the variable.
class ScopedEnv {
 public:
  explicit ScopedEnv(const std::map<std::string, const char*>& values) {
    for (const auto& [name, value] : values) {
      const char* old = std::getenv(name.c_str());
      m_saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
      value ? SetEnv(name, value) : UnsetEnv(name);
    }
  }
  ScopedEnv(const std::string& name, const char* value) : ScopedEnv(std::map<std::string, const char*>{{name, value}}) {}
  ~ScopedEnv() {
    for (const auto& [name, value] : m_saved) value ? SetEnv(name, *value) : UnsetEnv(name);
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

}  // namespace kestrel::test
