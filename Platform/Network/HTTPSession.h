#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "Platform/Network/DataRequest.h"
#include "Platform/Network/HTTPHeaders.h"
#include "Platform/Network/HTTPMethod.h"
#include "Platform/Network/ParameterEncoding.h"
#include "Platform/Network/URLRequest.h"

namespace platform {

class DispatchQueue;
class HTTPSessionWorker;

// The HTTP client of the process: HTTP/1.1 and HTTPS over libcurl, with kept-alive
// connections reused across requests, at most a few at once to each host (see
// Configuration) and the requests beyond them waiting in the order they were sent.
//
// Threads: each session has one worker thread, the only one that touches its libcurl
// handles. Every member may be called from any thread; requests go to the worker through a
// locked queue and a wake-up of its poll. Completions never run on the worker: they are
// posted to the queue each request names (the main queue by default).
//
// Every connection verifies the server's certificate and host name against the system's
// store plus the extra trusted CA (Platform/Network/ExtraTrustedCA.h), and goes where the
// connect-to table (Platform/Network/ConnectToTable.h) sends it. The store is read once per
// setting of the extra CA; after a change no request goes out on a connection, or resumes a
// TLS session, verified under the earlier setting. Proxy variables of the environment apply
// as libcurl reads them.
//
// Shutdown: shutdown(deadline), which the destructor calls, refuses new requests (they
// complete with `cancelled`), stops what is in flight and delivers every pending completion
// exactly once with `cancelled`, then joins the worker; if the worker has not finished by
// the deadline, the pending completions are delivered anyway and the worker is left to end
// on its own.
class HTTPSession : public std::enable_shared_from_this<HTTPSession> {
 public:
  using Clock = std::chrono::steady_clock;

  struct Configuration {
    // The longest an exchange may go without a byte moving, unless the request says. One
    // waiting for a connection to its host counts from when it was sent, or from the last
    // answer of that host if later.
    std::chrono::milliseconds timeout = URLRequest::kDefaultTimeout;
    // Sent as User-Agent unless a request gives its own; empty: the platform's default.
    std::string userAgent;
    // A response body larger than this fails with responseTooLarge instead of exhausting
    // memory.
    std::size_t maximumResponseBodySize = std::size_t{256} * 1024 * 1024;
    // Exchanges running at once against one scheme, host and port, each on a connection
    // of its own; later ones wait their turn without holding a connection. Six, as
    // browsers allow; at least one.
    std::size_t maximumConnectionsPerHost = 6;
  };

  // How long the destructor gives the worker to wind down.
  static constexpr std::chrono::milliseconds kDestructorShutdownGrace{2000};

  // The process-wide session. It lives until static destruction at exit, where it shuts
  // down with kDestructorShutdownGrace; the dispatch queues outlive it (see HTTPSession.cpp
  // for what becomes of completions at exit).
  static const std::shared_ptr<HTTPSession>& defaultSession();

  [[nodiscard]] static std::shared_ptr<HTTPSession> make();
  [[nodiscard]] static std::shared_ptr<HTTPSession> make(Configuration configuration);

  ~HTTPSession();
  HTTPSession(const HTTPSession&) = delete;
  HTTPSession& operator=(const HTTPSession&) = delete;

  // A request for `url` (absolute, http or https) with `parameters` (a JSON object, or null
  // for none) put in as `encoding` says, and `headers` in the given order.
  [[nodiscard]] DataRequest request(std::string url, HTTPMethod method = HTTPMethod::get,
                                    const nlohmann::json& parameters = nullptr,
                                    ParameterEncoding encoding = ParameterEncoding::url,
                                    HTTPHeaders headers = {});

  // A request prepared by the caller, sent as it is.
  [[nodiscard]] DataRequest request(URLRequest request);

  // The time-out of requests sent from now on that do not set their own. Any time-out is
  // taken as at least 1 ms and at most a week.
  void setTimeout(std::chrono::milliseconds timeout);
  [[nodiscard]] std::chrono::milliseconds timeout() const;

  // See the class comment. Safe to call more than once and from several threads; a
  // completion that calls it (or drops the last reference to the session) does not deadlock.
  void shutdown(Clock::time_point deadline);

 private:
  friend class DataRequest;

  explicit HTTPSession(Configuration configuration);

  SentRequest submit(URLRequest request, std::vector<std::pair<int, int>> acceptableStatusCodes,
                     std::shared_ptr<DispatchQueue> queue, DataRequest::Completion completion);

  const std::size_t maximumResponseBodySize_;
  std::atomic<std::int64_t> timeoutMs_;
  std::shared_ptr<HTTPSessionWorker> worker_;  // shared with its thread, which may outlive a
                                               // late shutdown
  std::mutex threadMutex_;
  std::thread thread_;
};

}  // namespace platform
