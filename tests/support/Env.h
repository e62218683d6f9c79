#pragma once

#include <string>

namespace kestrel::test {

// Sets or removes a variable of this process's environment.
void SetEnv(const std::string& name, const std::string& value);
void UnsetEnv(const std::string& name);

}  // namespace kestrel::test
