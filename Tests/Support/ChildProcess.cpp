#include "Tests/Support/ChildProcess.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <vector>

extern char** environ;

namespace testsupport {

bool isChildProcess() {
  return std::getenv(kChildProcessVariable) != nullptr;
}

namespace {

// Waits for `child` to end, at most `deadline` (a process descriptor wakes poll() when it
// does); kills it after that. Answers whether it ended by itself.
bool awaitExit(pid_t child, std::chrono::milliseconds deadline) {
  const int descriptor = static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
  if (descriptor < 0) return true;  // waitpid alone, unbounded
  pollfd ready{descriptor, POLLIN, 0};
  int polled = 0;
  do {
    polled = ::poll(&ready, 1, static_cast<int>(deadline.count()));
  } while (polled < 0 && errno == EINTR);
  ::close(descriptor);
  if (polled > 0) return true;
  ::kill(child, SIGKILL);
  return false;
}

}  // namespace

int runThisTestInAChild(const std::string& test, std::chrono::milliseconds deadline) {
  std::vector<std::string> environment;
  for (char** entry = environ; *entry; ++entry) {
    const std::string_view text(*entry);
    if (!text.starts_with("GTEST_TOTAL_SHARDS=") && !text.starts_with("GTEST_SHARD_INDEX=")) {
      environment.emplace_back(text);
    }
  }
  environment.push_back(std::string(kChildProcessVariable) + "=1");
  std::vector<std::string> arguments{"/proc/self/exe", "--gtest_filter=" + test};
  std::vector<char*> argv;
  std::vector<char*> envp;
  for (auto& argument : arguments) argv.push_back(argument.data());
  for (auto& entry : environment) envp.push_back(entry.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  pid_t child = 0;
  if (::posix_spawn(&child, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0) return -1;
  const bool ended = awaitExit(child, deadline);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return ended ? status : -1;
}

bool exitedCleanly(int status) {
  return status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace testsupport
