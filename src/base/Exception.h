#pragma once

#include <string>
#include <utility>

namespace kestrel {

// The SDK's own error record. Deliberately not a std::exception.
class Exception {
 public:
  explicit Exception(std::string message) : m_message(std::move(message)) {}
  const std::string& Message() const { return m_message; }

 private:
  std::string m_message;
};

}  // namespace kestrel
