#pragma once

#include <chrono>
#include <string>

namespace testsupport {

// The variable that marks a process started by runThisTestInAChild(); tests meant to run
// only there skip without it.
inline constexpr const char* kChildProcessVariable = "BRELUM_TEST_CHILD";

[[nodiscard]] bool isChildProcess();

// Runs this test program again with only `test` selected (and GoogleTest's sharding off,
// so the one test is not assigned to another shard) and waits for it, killing it after
// `deadline`. Answers the wait status, or -1 when it could not start or was killed.
[[nodiscard]] int runThisTestInAChild(
    const std::string& test, std::chrono::milliseconds deadline = std::chrono::seconds(60));

// Whether `status` is that of a process that exited with 0.
[[nodiscard]] bool exitedCleanly(int status);

}  // namespace testsupport
