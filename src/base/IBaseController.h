#pragma once

#include <future>

namespace kestrel {

// Root of the controller interfaces. Controllers do their set-up in their
// constructors; Initialize completes when the controller is ready.
class IBaseController {
 public:
  virtual std::future<bool> Initialize() = 0;
  virtual ~IBaseController() = default;
};

// A future that is already satisfied with the given value.
inline std::future<bool> MakeReadyFuture(bool value) {
  std::promise<bool> promise;
  promise.set_value(value);
  return promise.get_future();
}

}  // namespace kestrel
