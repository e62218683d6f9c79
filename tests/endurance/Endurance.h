#pragma once

#include "support/TestPrelude.h"

namespace kestrel::test {

// Empty when main() moved the program into a mount namespace of its own, in
// which the disk tests may mount file systems; else why it could not.
const std::string& MountNamespaceProblem();

// The kill test's child: `endurance_tests --kill-child MODE BASE_URL`, on
// the data folder of XDG_DATA_HOME. Returns the process's exit code.
int RunKillChild(const std::string& mode, const std::string& baseUrl);

}  // namespace kestrel::test
