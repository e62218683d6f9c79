#pragma once

#include <memory>
#include <string>

namespace kestrel {

class RequestBase;
class IExchangeOwner;
class ResponseBase;

// Performs one complete HTTP exchange for the request and returns its
// response, which the owner made and has already been handed. A failure
// becomes a failed response; nothing is thrown.
// The URL "loopback" answers at once: completed, no traffic, no listeners.
std::shared_ptr<ResponseBase> ExecuteRequest(IExchangeOwner& owner,
                                             const std::shared_ptr<RequestBase>& request);

// m_url with the query parameters appended in key order, unescaped.
std::string BuildRequestUrl(const RequestBase& request);

// Letters, digits and - . _ ~ stay; every other byte becomes %XX (upper-case hexadecimal).
std::string PercentEncode(const std::string& text);

}  // namespace kestrel
