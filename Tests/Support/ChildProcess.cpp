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

extern char** environ;

namespace testsupport {

bool isChildProcess() {
  return std::getenv(kChildProcessVariable) != nullptr;
}

int runThisTestInAChild(const std::string& test, std::chrono::milliseconds deadline) {
  std::vector<std::string> environment{std::string(kChildProcessVariable) + "=1"};
  for (char** entry = environ; *entry; ++entry) {
    const std::string_view text(*entry);
    if (!text.starts_with("GTEST_TOTAL_SHARDS=") && !text.starts_with("GTEST_SHARD_INDEX=")) {
      environment.emplace_back(text);
    }
  }
  std::vector<char*> envp;
  for (auto& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  const pid_t child = spawnProcess({"/proc/self/exe", "--gtest_filter=" + test}, {}, envp.data());
  const int status = child < 0 ? -1 : reapProcess(child, deadline);
  return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL ? -1 : status;
}

bool exitedCleanly(int status) {
  return status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

pid_t spawnProcess(const std::vector<std::string>& args,
                   const std::vector<std::pair<int, int>>& descriptors, char* const* environment) {
  std::vector<char*> argv;
  for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // A descriptor given as itself (possible when this process runs without standard
  // descriptors) loses its close-on-exec flag: glibc clears it.
  for (auto [from, to] : descriptors) posix_spawn_file_actions_adddup2(&actions, from, to);
  pid_t pid = 0;
  const int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(),
                                 environment ? environment : environ);
  posix_spawn_file_actions_destroy(&actions);
  errno = error;
  return error ? -1 : pid;
}

int reapProcess(pid_t pid, std::chrono::milliseconds deadline) {
  if (pid <= 0) return -1;  // kill() would take it for a process group
  // A process descriptor turns readable when the process ends: a bounded wait, no polling.
  // Through syscall(): glibc 2.36's <sys/pidfd.h> declares pidfd_open without C linkage.
  const int descriptor = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  pollfd ended{descriptor, POLLIN, 0};
  int polled = 0;
  while (descriptor >= 0 && (polled = ::poll(&ended, 1, static_cast<int>(deadline.count()))) < 0 &&
         errno == EINTR) {
  }
  if (polled <= 0) ::kill(pid, SIGKILL);
  if (descriptor >= 0) ::close(descriptor);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return status;
}

std::optional<std::string> readLine(int fd, std::chrono::milliseconds deadline) {
  const auto until = std::chrono::steady_clock::now() + deadline;
  std::string line;
  for (char c = 0; c != '\n';) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    pollfd readable{fd, POLLIN, 0};
    const int polled = left.count() > 0 ? ::poll(&readable, 1, static_cast<int>(left.count())) : 0;
    if (polled < 0 && errno == EINTR) continue;
    if (polled <= 0 || ::read(fd, &c, 1) != 1) return std::nullopt;
    line += c;
  }
  line.pop_back();
  return line;
}

}  // namespace testsupport
