#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

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

// The fixtures' own children. Starts `args[0]` (found on PATH) with each pair's first
// descriptor as its second, in `environment` (this process's when null); answers its pid, or
// -1 with errno set.
[[nodiscard]] pid_t spawnProcess(const std::vector<std::string>& args,
                                 const std::vector<std::pair<int, int>>& descriptors = {},
                                 char* const* environment = nullptr);

// Waits at most `deadline` for `pid` to end, kills it (SIGKILL) after that, and reaps it.
// Answers its wait status, or -1 when it could not be reaped.
int reapProcess(pid_t pid, std::chrono::milliseconds deadline);

// The next line from `fd`, without its newline, read one byte at a time so that nothing after
// it is taken; nullopt when `fd` ends, fails or stays silent for `deadline`.
[[nodiscard]] std::optional<std::string> readLine(int fd, std::chrono::milliseconds deadline);

}  // namespace testsupport
