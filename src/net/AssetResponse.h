#pragma once

#include <string>

#include "net/ResponseBase.h"

namespace kestrel {

// The response to an ad-part download; the body went into a file.
class AssetResponse : public ResponseBase {
 public:
  std::string m_savedFile;  // path of the file the download was written to
};

}  // namespace kestrel
