#pragma once

#include <expected>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace testsupport {

// A network namespace made for one test and removed when it goes, so that tests can bring
// links up and down and change routes without touching the machine's own network.
//
// Only root may make one; where that is not possible, make() answers why, for GTEST_SKIP.
class NetworkNamespace {
 public:
  // The veth pair that addVethPair() makes: `kInside` carries kInsideAddress and the
  // default route (via kPeerAddress), `kPeer` carries kPeerAddress.
  static constexpr const char* kInside = "veth-in";
  static constexpr const char* kPeer = "veth-peer";
  static constexpr const char* kInsideAddress = "10.200.1.1";
  static constexpr const char* kPeerAddress = "10.200.1.2";

  [[nodiscard]] static std::expected<std::unique_ptr<NetworkNamespace>, std::string> make();

  ~NetworkNamespace();
  NetworkNamespace(const NetworkNamespace&) = delete;
  NetworkNamespace& operator=(const NetworkNamespace&) = delete;

  [[nodiscard]] const std::string& name() const { return name_; }

  // Runs `ip -n <name> <args>` and answers whether it succeeded.
  bool ip(const std::vector<std::string>& args) const;

  // Brings up loopback and a veth pair with both ends inside the namespace, addressed on
  // 10.200.1.0/24, with a default route out of kInside. Answers whether every step worked.
  bool addVethPair() const;

  // Runs `work` on a thread that has entered the namespace and waits for it; sockets opened
  // there belong to the namespace. Answers false (without running `work`) when the thread
  // could not enter it.
  bool runInside(const std::function<void()>& work) const;

 private:
  explicit NetworkNamespace(std::string name) : name_(std::move(name)) {}

  std::string name_;
};

// A fixture for tests that change links and routes: each test gets a namespace with the veth
// pair set up, or is skipped (saying why) where namespaces cannot be made.
class NetworkNamespaceTest : public ::testing::Test {
 protected:
  void SetUp() override;

  // Runs `make` on a thread inside the namespace and answers what it made.
  template <typename T>
  T inside(const std::function<T()>& make) {
    T made{};
    EXPECT_TRUE(namespace_->runInside([&] { made = make(); }));
    return made;
  }

  // Sets the inside end of the veth pair "up" or "down".
  bool link(const char* state) const;

  std::unique_ptr<NetworkNamespace> namespace_;
};

}  // namespace testsupport
