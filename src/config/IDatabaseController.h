#pragma once

#include "base/IBaseController.h"

namespace kestrel {

// A controller that holds nothing; it is created and initialised like the others.
class IDatabaseController : public IBaseController {};

}  // namespace kestrel
