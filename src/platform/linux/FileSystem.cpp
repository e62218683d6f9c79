#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/Backend.h"
#include "platform/IFileSystem.h"

namespace kestrel {
namespace {

std::string ErrnoText(const std::string& what) {
  return what + ": " + std::generic_category().message(errno);
}

// The variable's value when it is an absolute path (the XDG convention
// ignores relative ones), without trailing separators; else empty.
std::string AbsoluteFromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || value[0] != '/') return {};
  std::string path = value;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

bool WriteAll(int fd, const std::string& contents) {
  std::size_t written = 0;
  while (written < contents.size()) {
    const ssize_t n = ::write(fd, contents.data() + written, contents.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    written += static_cast<std::size_t>(n);
  }
  return true;
}

// Makes a rename inside the folder survive a power loss. Best effort.
void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// flock: bound to the opening of the file, so released when the last
// descriptor of it closes, the process's own at its end included.
class LinuxFileLock : public IFileLock {
 public:
  explicit LinuxFileLock(int fd) : m_fd(fd) {}
  ~LinuxFileLock() override { ::close(m_fd); }
  LinuxFileLock(const LinuxFileLock&) = delete;
  LinuxFileLock& operator=(const LinuxFileLock&) = delete;

 private:
  int m_fd;
};

class LinuxFileSystem : public IFileSystem {
 public:
  // $XDG_DATA_HOME, else $HOME/.local/share; created when missing, as the
  // convention asks, so that the SDK's folders can be made inside it.
  std::string LocalAppDataFolder() override {
    std::string folder = AbsoluteFromEnvironment("XDG_DATA_HOME");
    if (folder.empty()) {
      const std::string home = AbsoluteFromEnvironment("HOME");
      if (home.empty()) return {};
      folder = (home == "/" ? std::string() : home) + "/.local/share";
    }
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return folder;
  }

  // A new file beside the target, written and synced, then renamed over it.
  bool ReplaceFile(const std::string& path, const std::string& contents, std::string& error) override {
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
      error = ErrnoText("can't create " + temp);
      return false;
    }
    bool ok = WriteAll(fd, contents);
    if (!ok) error = ErrnoText("can't write " + temp);
    if (ok && ::fsync(fd) != 0) {
      ok = false;
      error = ErrnoText("can't flush " + temp);
    }
    if (::close(fd) != 0 && ok) {
      ok = false;
      error = ErrnoText("can't close " + temp);
    }
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
      ok = false;
      error = ErrnoText("can't rename " + temp + " to " + path);
    }
    if (!ok) {
      ::unlink(temp.c_str());
      return false;
    }
    SyncFolder(std::filesystem::path(path).parent_path().string());
    return true;
  }

  std::unique_ptr<IFileLock> TryLockFile(const std::string& path, std::string& error) override {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
      error = ErrnoText("can't open " + path);
      return nullptr;
    }
    int result = 0;
    do {
      result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result == 0) return std::make_unique<LinuxFileLock>(fd);
    error = errno == EWOULDBLOCK ? std::string() : ErrnoText("can't lock " + path);
    ::close(fd);
    return nullptr;
  }
};

}  // namespace

std::unique_ptr<IFileSystem> CreateFileSystem() {
  return std::make_unique<LinuxFileSystem>();
}

}  // namespace kestrel
