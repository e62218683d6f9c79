#pragma once

#include <string>

#include "net/ResponseBase.h"

namespace kestrel {

// The response to an ad-part download; the body went into a file.
class AssetResponse : public ResponseBase {
 public:
  std::string m_savedFile;  // path of the file the download was written to
  bool m_notSaved = false;  // failed because the part could not be written to disk (full, read-only)
};

}  // namespace kestrel
