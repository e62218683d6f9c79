#include "support/Env.h"

#include <cstdlib>

namespace kestrel::test {

void SetEnv(const std::string& name, const std::string& value) {
  setenv(name.c_str(), value.c_str(), 1);
}

void UnsetEnv(const std::string& name) {
  unsetenv(name.c_str());
}

}  // namespace kestrel::test
