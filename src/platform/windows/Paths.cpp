#include "platform/Paths.h"

namespace kestrel {

const char kPathSeparator = '\\';

}  // namespace kestrel
