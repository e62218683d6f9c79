#include "support/Env.h"

#include <cstdlib>

namespace kestrel::test {

void SetEnv(const std::string& name, const std::string& value) {
  _putenv_s(name.c_str(), value.c_str());
}

void UnsetEnv(const std::string& name) {
  _putenv_s(name.c_str(), "");  // an empty value removes the variable
}

}  // namespace kestrel::test
