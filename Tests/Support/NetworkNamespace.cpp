#include "Tests/Support/NetworkNamespace.h"

#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <thread>

extern char** environ;

namespace testsupport {

namespace {

// Runs a program found on PATH with `args`, its output discarded; answers its exit status,
// or -1 when it could not be started.
int runQuietly(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t child = 0;
  const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

std::expected<std::unique_ptr<NetworkNamespace>, std::string> NetworkNamespace::make() {
  if (::geteuid() != 0) return std::unexpected("making a network namespace needs root");
  static std::atomic<int> counter = 0;
  std::string name = "brelum-test-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
  const int status = runQuietly({"ip", "netns", "add", name});
  if (status != 0) {
    return std::unexpected(status < 0 ? "the ip command (iproute2) is not available"
                                      : "`ip netns add` failed: namespaces are forbidden here");
  }
  return std::unique_ptr<NetworkNamespace>(new NetworkNamespace(std::move(name)));
}

NetworkNamespace::~NetworkNamespace() {
  runQuietly({"ip", "netns", "delete", name_});
}

bool NetworkNamespace::ip(const std::vector<std::string>& args) const {
  std::vector<std::string> command{"ip", "-n", name_};
  command.insert(command.end(), args.begin(), args.end());
  return runQuietly(command) == 0;
}

bool NetworkNamespace::addVethPair() const {
  const std::string inside = kInside;
  const std::string peer = kPeer;
  return ip({"link", "set", "lo", "up"}) &&
         ip({"link", "add", inside, "type", "veth", "peer", "name", peer}) &&
         ip({"addr", "add", std::string(kInsideAddress) + "/24", "dev", inside}) &&
         ip({"addr", "add", std::string(kPeerAddress) + "/24", "dev", peer}) &&
         ip({"link", "set", inside, "up"}) && ip({"link", "set", peer, "up"}) &&
         ip({"route", "add", "default", "via", kPeerAddress, "dev", inside});
}

bool NetworkNamespace::runInside(const std::function<void()>& work) const {
  bool entered = false;
  std::thread([&] {
    const int fd = ::open(("/run/netns/" + name_).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    entered = ::setns(fd, CLONE_NEWNET) == 0;
    ::close(fd);
    if (entered) work();
  }).join();
  return entered;
}

void NetworkNamespaceTest::SetUp() {
  auto made = NetworkNamespace::make();
  if (!made) GTEST_SKIP() << "Skipping network-namespace test: " << made.error();
  namespace_ = std::move(*made);
  ASSERT_TRUE(namespace_->addVethPair()) << "could not set up the veth pair";
}

bool NetworkNamespaceTest::link(const char* state) const {
  return namespace_->ip({"link", "set", NetworkNamespace::kInside, state});
}

}  // namespace testsupport
