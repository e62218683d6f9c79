#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include "support/TestPrelude.h"

#include "endurance/Endurance.h"

namespace kestrel::test {
namespace {

std::string g_mountProblem = "main() did not run";

// Before any thread starts, so that every thread of the process shares the namespace.
void EnterMountNamespace() {
  if (geteuid() != 0) {
    g_mountProblem = "mounting a small file system needs root";
  } else if (unshare(CLONE_NEWNS) != 0) {
    g_mountProblem = std::string("unshare(CLONE_NEWNS) failed: ") + std::strerror(errno);
  } else if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    // Without this the test's mounts would show in the machine's namespace.
    g_mountProblem = std::string("can't make the mounts private: ") + std::strerror(errno);
  } else {
    g_mountProblem.clear();
  }
}

}  // namespace

const std::string& MountNamespaceProblem() {
  return g_mountProblem;
}

}  // namespace kestrel::test

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--kill-child") return kestrel::test::RunKillChild(argv[2], argv[3]);
  kestrel::test::EnterMountNamespace();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
