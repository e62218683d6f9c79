#pragma once

#include <cstdint>

namespace kestrel {

// The statuses the SDK keeps, each with the number settings.ke, the request
// bodies and the public API use for it. Classes name them through `using enum`.

enum class RequestType : std::int32_t { kGet = 1, kFormPost = 2, kJsonPost = 3 };
enum class RequestState : std::int32_t { kWaiting = 1, kTaken = 2 };
// Completed means the exchange ended; its HTTP status code says what the server answered.
enum class ExchangeStatus : std::int32_t { kCompleted = 1, kFailed = 2 };
enum class GdprStatus : std::int32_t { kUnknown = 0, kOptedIn = 1, kOptedOut = 2, kOptedOutByTimeout = 3 };
enum class GdprSource : std::int32_t { kSourcePublisher = 0, kSourceDialog = 1 };
enum class CcpaStatus : std::int32_t { kOptedIn = 1, kOptedOut = 2 };
enum class BundleState : std::int32_t { kCreated = 1, kDownloading = 2, kPlayed = 4, kFailed = 5 };

// The number a status is stored or sent as.
template <typename Status>
constexpr std::int32_t Number(Status status) {
  return static_cast<std::int32_t>(status);
}

}  // namespace kestrel
