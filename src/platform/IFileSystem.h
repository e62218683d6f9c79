#pragma once

#include <string>

namespace kestrel {

// The file-system services whose form differs between operating systems.
class IFileSystem {
 public:
  virtual ~IFileSystem() = default;

  // The current user's folder for local application data, without a trailing
  // separator; empty when it cannot be found.
  virtual std::string LocalAppDataFolder() = 0;

  // Replaces the file at path with contents, so that whenever the process
  // dies the file holds either all of the old contents or all of the new.
  // On failure returns false and says why in error; the old file is kept.
  virtual bool ReplaceFile(const std::string& path, const std::string& contents, std::string& error) = 0;
};

}  // namespace kestrel
