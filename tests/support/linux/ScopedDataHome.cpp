#include <cstdlib>

#include "support/TempDir.h"

namespace kestrel::test {

ScopedDataHome::ScopedDataHome() {
  if (const char* previous = std::getenv("XDG_DATA_HOME")) {
    m_previous = previous;
    m_hadPrevious = true;
  }
  setenv("XDG_DATA_HOME", m_dir.String().c_str(), 1);
}

ScopedDataHome::~ScopedDataHome() {
  if (m_hadPrevious) {
    setenv("XDG_DATA_HOME", m_previous.c_str(), 1);
  } else {
    unsetenv("XDG_DATA_HOME");
  }
}

}  // namespace kestrel::test
