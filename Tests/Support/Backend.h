#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace testsupport {

// The stand-in back end (Tools/backend.mjs) as a child process: `node` from PATH, with
// pipes for its standard input and output. It serves HTTPS on an ephemeral port of
// 127.0.0.1 with a certificate from a CA it makes for the run; it stops when its standard
// input closes, so it also stops when this process dies however it dies.
//
// The control calls (reset, faults, recorded requests) are synchronous HTTPS exchanges
// with a bounded wait; a failed one adds a test failure. Every member may be called from
// any thread.
class Backend {
 public:
  enum class Drop { none, midResponse, beforeResponse };

  // A fault switch for one path ("/exact", "/subtree/*", or "*" for every path), built
  // in place: Backend::Fault("/queue").status(500, "boom").times(1).
  class Fault {
   public:
    explicit Fault(std::string path) : path_(std::move(path)) {}

    // Only requests with this method; any method otherwise.
    Fault& method(std::string method) { return set(method_, std::move(method)); }
    // Answer this status (204: an empty 204) instead of running the route.
    Fault& status(int status, std::string body = {}) {
      status_ = status;
      return set(body_, std::move(body));
    }
    Fault& header(const std::string& name, std::string value) {
      headers_[name] = std::move(value);
      return *this;
    }
    // Wait this long, once the request has arrived, before answering.
    Fault& delay(std::chrono::milliseconds delay) { return set(delay_, delay); }
    Fault& drop(Drop how = Drop::midResponse) { return set(drop_, how); }
    // Apply to this many requests, then lift; always otherwise.
    Fault& times(int times) { return set(times_, times); }

    // The switch as the back end's /__control/faults takes it.
    [[nodiscard]] std::string json() const;

   private:
    template <typename T, typename V>
    Fault& set(T& member, V&& value) {
      member = std::forward<V>(value);
      return *this;
    }

    std::string path_;
    std::string method_;
    std::optional<int> status_;
    std::string body_;
    std::map<std::string, std::string> headers_;
    std::chrono::milliseconds delay_{0};
    Drop drop_ = Drop::none;
    std::optional<int> times_;
  };

  struct RecordedRequest {
    std::string method;
    std::string path;
    std::string rawQuery;
    std::vector<std::pair<std::string, std::string>> query;  // form-decoded, in order
    std::map<std::string, std::string> headers;              // lower-case names
    std::string sni;                                         // empty when none was sent
    std::string body;                                        // the exact bytes

    [[nodiscard]] std::optional<std::string> header(std::string_view name) const;
    [[nodiscard]] std::optional<std::string> queryValue(std::string_view name) const;
  };

  struct Response {
    int status = 0;
    std::map<std::string, std::string> headers;  // lower-case names
    std::string body;
  };

  // The test program's one back end, started on first use and stopped at exit; the error
  // says why it could not start.
  [[nodiscard]] static std::expected<Backend*, std::string> shared();

  ~Backend();
  Backend(const Backend&) = delete;
  Backend& operator=(const Backend&) = delete;

  [[nodiscard]] std::uint16_t httpsPort() const { return port_; }
  // Plain HTTP (routes and Socket.IO) and an HTTP proxy that tunnels to loopback only.
  [[nodiscard]] std::uint16_t httpPort() const { return httpPort_; }
  [[nodiscard]] const std::filesystem::path& caFile() const { return caFile_; }
  [[nodiscard]] const std::vector<std::string>& hosts() const { return hosts_; }

  // Routes every host name, port 443 and port 80, to the back end and trusts its CA, through the
  // Platform layer's process-wide connect-to table and extra CA.
  void installRoutes() const;

  // Forgets recorded requests and lifts every fault switch.
  void reset() const;
  // Lifts every fault switch and keeps the rest (recorded requests, media served).
  void clearFaults() const;
  void setFault(const Fault& fault) const;
  void failWith(std::string path, int status, std::string body = {}) const;
  void delay(std::string path, std::chrono::milliseconds delay) const;
  void drop(std::string path, Drop how = Drop::midResponse) const;

  // Serves `file` (an absolute path) as /media/<name>, with byte ranges, until the next reset.
  void serveMedia(const std::string& name, const std::filesystem::path& file) const;

  // What the back end received (control calls aside), oldest first; only `path`'s when
  // given.
  [[nodiscard]] std::vector<RecordedRequest> requests(std::string_view path = {}) const;

  // True when no request is being answered (a delayed one counts until it is answered).
  [[nodiscard]] bool idle() const;

  // One HTTPS exchange straight with the back end (127.0.0.1, certificate checked for
  // "localhost"), bypassing the connect-to table.
  // Gives up after `timeout`, closing the connection.
  [[nodiscard]] std::expected<Response, std::string> request(
      std::string_view method, std::string_view target, std::string_view body = {},
      std::chrono::milliseconds timeout = std::chrono::seconds(30)) const;

  // Closes the back end's standard input and waits for it to exit, killing it after
  // `deadline`. Answers its wait status; later calls do nothing and answer the same.
  int stop(std::chrono::milliseconds deadline = std::chrono::seconds(5));

 private:
  Backend() = default;

  [[nodiscard]] static std::expected<std::unique_ptr<Backend>, std::string> start();

  // The answer's body; a failed call has added a test failure and answers nullopt.
  std::optional<std::string> control(std::string_view method, std::string_view target,
                                     std::string_view body = {}) const;

  pid_t pid_ = 0;
  int toChild_ = -1;
  int fromChild_ = -1;
  int waitStatus_ = 0;
  std::uint16_t port_ = 0;
  std::uint16_t httpPort_ = 0;
  std::filesystem::path caFile_;
  std::vector<std::string> hosts_;
};

// A fixture for suites that talk to the back end: each test starts with the shared back
// end reset and its routes and CA installed, so switches set by one test never reach the
// next, and ends once the back end has answered what was in flight and the main queue has
// handled it. A back end that cannot start fails the test with the reason.
class BackendTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  [[nodiscard]] Backend& backend() const { return *backend_; }

 private:
  Backend* backend_ = nullptr;
};

}  // namespace testsupport
