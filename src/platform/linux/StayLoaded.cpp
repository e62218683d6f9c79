#include <dlfcn.h>

#include "platform/Backend.h"

namespace kestrel {

void StayLoaded() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&StayLoaded), &info) == 0 || !info.dli_fname) return;
  // A second reference that dlclose never takes back.
  dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

}  // namespace kestrel
