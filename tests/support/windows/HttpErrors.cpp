#include "support/HttpErrors.h"

namespace kestrel::test {

long CannotConnectError() {
  return 12029;  // ERROR_INTERNET_CANNOT_CONNECT
}

}  // namespace kestrel::test
