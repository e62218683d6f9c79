#pragma once

namespace kestrel::test {

// The HTTP backend's error number when nothing listens at the address.
long CannotConnectError();

}  // namespace kestrel::test
