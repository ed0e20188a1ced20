#include "Tests/Support/XvfbServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <system_error>
#include <vector>

extern char** environ;

namespace testsupport {
namespace {

using Clock = std::chrono::steady_clock;

// Xvfb under eight parallel sanitizer-built test programs can be slow to come up; the wait
// only bounds a failure.
constexpr auto kStartDeadline = std::chrono::seconds(30);
// The descriptor on which the child reports its display number.
constexpr int kDisplayFD = 3;

std::string systemMessage(int error) {
  return std::error_code(error, std::generic_category()).message();
}

int remainingMs(Clock::time_point deadline) {
  auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, 60'000));
}

// Waits for `fd` to become readable until `deadline`.
bool waitReadable(int fd, Clock::time_point deadline) {
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    int ready = poll(&p, 1, remainingMs(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready != 0) return ready > 0;
    if (Clock::now() >= deadline) return false;
  }
}

// The display number line ("5\n"); an empty string when the server ends or stays silent.
std::string readDisplayNumber(int fd, Clock::time_point deadline) {
  std::string line;
  while (line.find('\n') == std::string::npos && waitReadable(fd, deadline)) {
    char buffer[64];
    ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return {};
    line.append(buffer, static_cast<std::size_t>(got));
  }
  auto end = line.find('\n');
  if (end == std::string::npos) return {};
  line.resize(end);
  int number = -1;
  auto [rest, error] = std::from_chars(line.data(), line.data() + line.size(), number);
  if (error != std::errc() || rest != line.data() + line.size() || number < 0) return {};
  return line;
}

}  // namespace

std::expected<std::unique_ptr<XvfbServer>, std::string> XvfbServer::start() {
  return start(Options{});
}

std::expected<std::unique_ptr<XvfbServer>, std::string> XvfbServer::start(const Options& options) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) {
    return std::unexpected("could not make a pipe for Xvfb: " + systemMessage(errno));
  }
  std::vector<std::string> arguments{
      "Xvfb",
      "-displayfd",
      std::to_string(kDisplayFD),
      "-screen",
      "0",
      std::to_string(options.width) + "x" + std::to_string(options.height) + "x24",
      "-dpi",
      std::to_string(options.dpi),
      "-nolisten",
      "tcp",
      "-terminate"};
  std::vector<char*> argv;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, ends[1], kDisplayFD);
  pid_t pid = 0;
  int spawned = posix_spawnp(&pid, "Xvfb", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(ends[1]);
  if (spawned != 0) {
    close(ends[0]);
    return std::unexpected("could not run Xvfb (the xvfb package): " + systemMessage(spawned));
  }

  std::unique_ptr<XvfbServer> server(new XvfbServer);
  server->pid_ = pid;
  // Through syscall(): glibc 2.36's <sys/pidfd.h> declares pidfd_open without C linkage.
  server->pidFD_ = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  // Written once the server accepts connections, on the first display number it could take.
  auto number = readDisplayNumber(ends[0], Clock::now() + kStartDeadline);
  close(ends[0]);
  if (number.empty()) {
    server->stop(std::chrono::seconds(1));
    return std::unexpected("Xvfb did not report a display within " +
                           std::to_string(kStartDeadline.count()) + " s; its messages say why");
  }
  server->displayName_ = ":" + number;
  server->client_ = XClient::open(server->displayName_);
  if (!server->client_) {
    server->stop(std::chrono::seconds(1));
    return std::unexpected("could not connect to Xvfb on " + server->displayName_ +
                           " or it lacks XTest");
  }
  return server;
}

XvfbServer::~XvfbServer() {
  stop();
}

void XvfbServer::makeCurrent() const {
  setenv("DISPLAY", displayName_.c_str(), 1);
  unsetenv("WAYLAND_DISPLAY");
}

int XvfbServer::stop(std::chrono::milliseconds deadline) {
  if (pid_ == 0) return waitStatus_;
  client_.reset();
  kill(pid_, SIGTERM);
  // A pid file descriptor turns readable when the process ends: a bounded wait, no polling.
  if (pidFD_ < 0 || !waitReadable(pidFD_, Clock::now() + deadline)) kill(pid_, SIGKILL);
  while (waitpid(pid_, &waitStatus_, 0) < 0 && errno == EINTR) {
  }
  if (pidFD_ >= 0) close(pidFD_);
  pidFD_ = -1;
  pid_ = 0;
  return waitStatus_;
}

}  // namespace testsupport
