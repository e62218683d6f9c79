#pragma once

#include <memory>
#include <string>

namespace kestrel {

// An exclusive lock on a file, held until this is destroyed or the process
// ends, however it ends.
class IFileLock {
 public:
  virtual ~IFileLock() = default;
};

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

  // Opens the file at path, creating it when missing, and locks it without
  // waiting. Null when the lock is held through another opening of the file,
  // in this process or another (error then empty), or when the file cannot be
  // opened or locked (error says why).
  virtual std::unique_ptr<IFileLock> TryLockFile(const std::string& path, std::string& error) = 0;
};

}  // namespace kestrel
