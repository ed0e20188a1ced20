#include "Tests/Support/NetworkNamespace.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "Tests/Support/ChildProcess.h"

namespace testsupport {

namespace {

// Runs a program found on PATH with `args`, its output discarded; answers its exit status,
// or -1 when it could not be started or did not end within a minute.
int runQuietly(const std::vector<std::string>& args) {
  const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  const pid_t child = spawnProcess(args, {{null, STDOUT_FILENO}, {null, STDERR_FILENO}});
  ::close(null);
  const int status = child < 0 ? -1 : reapProcess(child, std::chrono::minutes(1));
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
  return ip({"link", "set", "lo", "up"}) &&
         ip({"link", "add", kInside, "type", "veth", "peer", "name", kPeer}) &&
         ip({"addr", "add", std::string(kInsideAddress) + "/24", "dev", kInside}) &&
         ip({"addr", "add", std::string(kPeerAddress) + "/24", "dev", kPeer}) &&
         ip({"link", "set", kInside, "up"}) && ip({"link", "set", kPeer, "up"}) &&
         ip({"route", "add", "default", "via", kPeerAddress, "dev", kInside});
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
