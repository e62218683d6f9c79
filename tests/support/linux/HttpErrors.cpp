#include "support/HttpErrors.h"

namespace kestrel::test {

long CannotConnectError() {
  return 7;  // CURLE_COULDNT_CONNECT
}

}  // namespace kestrel::test
