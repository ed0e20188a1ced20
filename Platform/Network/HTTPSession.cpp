#include "Platform/Network/HTTPSession.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include <curl/curl.h>
#include <boost/url/parse.hpp>
#include <boost/url/scheme.hpp>

#include "Platform/Dispatch/DispatchQueue.h"
#include "Platform/Foundation/FatalError.h"
#include "Platform/Network/ConnectToTable.h"
#include "Platform/Network/ExtraTrustedCA.h"

namespace platform {

namespace {

// Large enough for the longest request head the framework sends: a queue message of
// 262,144 bytes percent-encoded into the URL.
constexpr long kUploadBufferSize = 2L * 1024 * 1024;

using Kind = HTTPSessionError::Kind;
using Clock = HTTPSession::Clock;
using std::chrono::milliseconds;

// The worker sleeps this long at most when nothing is due; submissions and shutdown wake
// it at once, so the bound only limits how stale a missed wake-up could ever leave it.
constexpr milliseconds kLongestPoll{10'000};
constexpr long kMaximumRedirects = 16;
constexpr long kPooledConnections = 32;
// Finished easy handles kept for the next requests: curl_easy_init and curl_easy_cleanup
// cost about four times what curl_easy_reset does, per request.
constexpr std::size_t kPooledHandles = 32;
// Time-outs are kept within these bounds, so that deadlines computed from them never
// overflow the clock.
constexpr milliseconds kShortestTimeout{1};
constexpr milliseconds kLongestTimeout{std::chrono::hours(24 * 7)};

// curl_global_init must run once before any other libcurl call and is not safe to race
// with other libcurl calls; every path into libcurl starts with a session, which calls
// this. curl_global_cleanup is never called: a worker left running past a shutdown
// deadline may still be inside libcurl at exit.
void initializeCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) fatalError("curl_global_init failed");
  });
}

std::string defaultUserAgent() {
  return std::string("BrelumPlatform/1.0 libcurl/") + curl_version_info(CURLVERSION_NOW)->version;
}

HTTPSessionError cancelledError() {
  return {Kind::cancelled, "The HTTP session was shut down before the request completed."};
}

std::optional<HTTPSessionError> checkHeaders(const HTTPHeaders& headers) {
  for (const auto& [name, value] : headers) {
    if (auto problem = headerFieldProblem(name, value)) {
      return HTTPSessionError{Kind::invalidHeader, std::move(*problem)};
    }
  }
  return std::nullopt;
}

// Strict RFC 3986 parsing: libcurl's own parser is lenient ("http:///name" becomes a request
// to the host "name"), and a URL that means something other than what it says must not
// leave the machine.
std::optional<HTTPSessionError> checkURL(const std::string& url) {
  auto invalid = [&](std::string_view why) {
    return HTTPSessionError{Kind::invalidURL, "\"" + url + "\" " + std::string(why)};
  };
  auto parsed = boost::urls::parse_absolute_uri(url);
  if (!parsed) return invalid("is not an absolute URL: " + parsed.error().message());
  const auto scheme = parsed->scheme_id();
  if (scheme != boost::urls::scheme::http && scheme != boost::urls::scheme::https) {
    return invalid("is not an http or https URL");
  }
  if (parsed->encoded_host().empty()) return invalid("has no host");
  return std::nullopt;
}

HTTPSessionError errorFor(CURLcode code, const char* detail) {
  Kind kind = Kind::transport;
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
      kind = Kind::cannotConnect;
      break;
    case CURLE_OPERATION_TIMEDOUT:
      kind = Kind::timedOut;
      break;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CRL_BADFILE:
      kind = Kind::secureConnectionFailed;
      break;
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
      kind = Kind::connectionLost;
      break;
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
      kind = Kind::invalidURL;
      break;
    case CURLE_ABORTED_BY_CALLBACK:
      kind = Kind::cancelled;
      break;
    default:
      break;
  }
  std::string description = (detail && *detail) ? detail : curl_easy_strerror(code);
  return {kind, std::move(description)};
}

struct CurlSlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using CurlSlist = std::unique_ptr<curl_slist, CurlSlistDeleter>;
// libcurl keeps only the pointer to a list, so a list stays alive while any transfer that
// was given it runs; lists the worker reuses across transfers are shared that way.
using SharedCurlSlist = std::shared_ptr<curl_slist>;

bool append(CurlSlist& list, const char* line) {
  curl_slist* grown = curl_slist_append(list.get(), line);
  if (!grown) return false;
  (void)list.release();
  list.reset(grown);
  return true;
}

SharedCurlSlist shared(CurlSlist list) {
  return SharedCurlSlist(list.release(), CurlSlistDeleter{});
}

// One exchange on its way through the session.
struct Transfer {
  // Fixed before the transfer is queued.
  URLRequest request;
  std::vector<std::pair<int, int>> acceptableStatusCodes;
  milliseconds timeout{};
  std::shared_ptr<DispatchQueue> queue;
  const std::atomic<bool>* stopping = nullptr;
  std::size_t maximumBodySize = 0;

  // Whoever flips `delivered` first takes `completion` and posts it: the worker, a refused
  // submission, or a shutdown whose deadline passed. Everyone else leaves both alone.
  std::atomic<bool> delivered{false};
  DataRequest::Completion completion;

  // The worker's alone from here on.
  CURL* easy = nullptr;
  SharedCurlSlist headerList;
  SharedCurlSlist connectTo;
  std::vector<std::uint8_t> body;
  HTTPHeaders responseHeaders;
  int statusCode = 0;
  bool headerBlockDone = false;  // a final (non-1xx) header block ended
  bool redirectPending = false;  // ... and it was a redirect that libcurl follows
  bool bodyTooLarge = false;
  Clock::time_point lastActivity;
  curl_off_t seenDown = 0;
  curl_off_t seenUp = 0;
  std::array<char, CURL_ERROR_SIZE> errorBuffer{};

  // Whether a response arrived that the completion should see.
  [[nodiscard]] bool hasResponse(bool succeeded) const {
    return headerBlockDone && (succeeded || !redirectPending);
  }
};

void noteActivity(Transfer& transfer) {
  transfer.lastActivity = Clock::now();
}

std::string_view trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

// libcurl hands each header line of every response (interim, redirect, final) here.
std::size_t onHeaderLine(char* data, std::size_t size, std::size_t count, void* user) {
  auto& transfer = *static_cast<Transfer*>(user);
  const std::size_t length = size * count;
  noteActivity(transfer);
  std::string_view line(data, length);
  if (line.starts_with("HTTP/")) {
    // A new response starts: what came before was interim or a redirect.
    transfer.responseHeaders.clear();
    transfer.body.clear();
    transfer.headerBlockDone = false;
    transfer.redirectPending = false;
    transfer.statusCode = 0;
    const auto space = line.find(' ');
    if (space != std::string_view::npos && line.size() >= space + 4) {
      int status = 0;
      for (char c : line.substr(space + 1, 3)) {
        if (c < '0' || c > '9') return length;
        status = status * 10 + (c - '0');
      }
      transfer.statusCode = status;
    }
    return length;
  }
  if (trimmed(line).empty()) {
    if (transfer.statusCode >= 200) {
      transfer.headerBlockDone = true;
      transfer.redirectPending = transfer.statusCode >= 300 && transfer.statusCode < 400 &&
                                 headerValue(transfer.responseHeaders, "Location").has_value();
    }
    return length;
  }
  if ((line.front() == ' ' || line.front() == '\t') && !transfer.responseHeaders.empty()) {
    // An obsolete folded continuation of the previous field.
    auto& value = transfer.responseHeaders.back().second;
    value += ' ';
    value += trimmed(line);
    return length;
  }
  const auto colon = line.find(':');
  if (colon == std::string_view::npos || colon == 0) return length;
  transfer.responseHeaders.emplace_back(std::string(line.substr(0, colon)),
                                        std::string(trimmed(line.substr(colon + 1))));
  return length;
}

std::size_t onBodyBytes(char* data, std::size_t size, std::size_t count, void* user) {
  auto& transfer = *static_cast<Transfer*>(user);
  const std::size_t length = size * count;
  noteActivity(transfer);
  if (transfer.body.size() + length > transfer.maximumBodySize) {
    transfer.bodyTooLarge = true;
    return CURL_WRITEFUNC_ERROR;
  }
  transfer.body.insert(transfer.body.end(), data, data + length);
  return length;
}

// Runs inside curl_multi_perform on the worker; a non-zero answer ends the transfer with
// CURLE_ABORTED_BY_CALLBACK. This is how a shutdown from another thread stops transfers
// without touching their handles.
int onProgress(void* user, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t uploaded) {
  auto& transfer = *static_cast<Transfer*>(user);
  if (transfer.stopping->load(std::memory_order_acquire)) return 1;
  if (downloaded != transfer.seenDown || uploaded != transfer.seenUp) {
    transfer.seenDown = downloaded;
    transfer.seenUp = uploaded;
    noteActivity(transfer);
  }
  return 0;
}

CURLcode onSSLContext(CURL*, void* context, void*) {
  // The system store is loaded already; the extra CA is added beside it. A CA file that
  // cannot be read adds nothing, and verification then decides with the system store.
  (void)addExtraTrustedCA(static_cast<ssl_ctx_st*>(context));
  return CURLE_OK;
}

}  // namespace

struct HTTPSession::Impl {
  explicit Impl(Configuration configurationIn)
      : configuration(std::move(configurationIn)),
        userAgent(configuration.userAgent.empty() ? defaultUserAgent() : configuration.userAgent),
        timeoutMs(configuration.timeout.count()),
        multi(curl_multi_init()) {
    if (!multi) fatalError("curl_multi_init failed");
    // libcurl's default pool holds four connections per transfer in progress: as a burst of
    // requests drains one by one it would close kept-alive connections, and the next burst
    // would pay new handshakes.
    curl_multi_setopt(multi, CURLMOPT_MAXCONNECTS, kPooledConnections);
  }

  ~Impl() { curl_multi_cleanup(multi); }

  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  // --- Any thread.

  bool enqueue(const std::shared_ptr<Transfer>& transfer) {
    bool wake = false;
    {
      std::lock_guard lock(mutex);
      if (!accepting) return false;
      // Only the submission that finds the queue empty wakes the worker: the worker empties
      // the queue under this lock, so a queue with something in it has a wake-up on its way
      // from the submission that put the first one there.
      wake = submitted.empty();
      submitted.push_back(transfer);
      undelivered.insert(transfer);
    }
    // Safe from any thread, and the multi handle lives as long as this object, which the
    // caller's session keeps alive through this call.
    if (wake) curl_multi_wakeup(multi);
    return true;
  }

  void deliver(const std::shared_ptr<Transfer>& transfer, DataResponse response) {
    if (transfer->delivered.exchange(true, std::memory_order_acq_rel)) return;
    {
      std::lock_guard lock(mutex);
      undelivered.erase(transfer);
    }
    transfer->queue->async([completion = std::exchange(transfer->completion, nullptr),
                            response = std::move(response)]() mutable {
      if (completion) completion(std::move(response));
    });
  }

  void requestStop() {
    {
      std::lock_guard lock(mutex);
      accepting = false;
    }
    // Ordered after `accepting`, so every accepted transfer is in `submitted` by the time
    // the worker sees the flag.
    stopping.store(true, std::memory_order_release);
    curl_multi_wakeup(multi);
  }

  bool waitForWorker(Clock::time_point deadline) {
    std::unique_lock lock(mutex);
    return workerFinishedChanged.wait_until(lock, deadline, [&] { return workerFinished; });
  }

  // Past the deadline: whatever the worker has not delivered yet is delivered from here.
  void cancelUndelivered() {
    std::vector<std::shared_ptr<Transfer>> pending;
    {
      std::lock_guard lock(mutex);
      pending.assign(undelivered.begin(), undelivered.end());
    }
    for (const auto& transfer : pending) deliver(transfer, {std::nullopt, {}, cancelledError()});
  }

  // --- The worker thread.

  void run() {
    std::vector<std::shared_ptr<Transfer>> incoming;
    while (!stopping.load(std::memory_order_acquire)) {
      {
        std::lock_guard lock(mutex);
        incoming.swap(submitted);
      }
      for (const auto& transfer : incoming) start(transfer);
      incoming.clear();
      perform();
      expireIdleTransfers();
      if (stopping.load(std::memory_order_acquire)) break;
      curl_multi_poll(multi, nullptr, 0, pollTimeoutMs(), nullptr);
    }

    {
      std::lock_guard lock(mutex);
      incoming.swap(submitted);
    }
    for (auto& [easy, transfer] : std::exchange(active, {})) {
      retire(*transfer);
      deliver(transfer, {std::nullopt, {}, cancelledError()});
    }
    for (const auto& transfer : incoming) deliver(transfer, {std::nullopt, {}, cancelledError()});
    for (CURL* easy : std::exchange(idleHandles, {})) curl_easy_cleanup(easy);
    {
      std::lock_guard lock(mutex);
      workerFinished = true;
    }
    workerFinishedChanged.notify_all();
  }

  void start(const std::shared_ptr<Transfer>& transfer) {
    if (auto failure = configure(*transfer)) {
      retire(*transfer);
      deliver(transfer, {std::nullopt, {}, std::move(*failure)});
      return;
    }
    if (auto code = curl_multi_add_handle(multi, transfer->easy); code != CURLM_OK) {
      curl_easy_cleanup(std::exchange(transfer->easy, nullptr));
      deliver(transfer,
              {std::nullopt, {}, HTTPSessionError{Kind::transport, curl_multi_strerror(code)}});
      return;
    }
    noteActivity(*transfer);
    active.emplace(transfer->easy, transfer);
  }

  // A handle from the pool, as curl_easy_reset left it (every option at its default), or a
  // new one.
  CURL* takeHandle() {
    if (idleHandles.empty()) return curl_easy_init();
    CURL* easy = idleHandles.back();
    idleHandles.pop_back();
    return easy;
  }

  // `easy` is out of the multi handle. Its connection stays in the multi handle's pool, not
  // with it.
  void returnHandle(CURL* easy) {
    if (idleHandles.size() >= kPooledHandles) {
      curl_easy_cleanup(easy);
      return;
    }
    curl_easy_reset(easy);
    idleHandles.push_back(easy);
  }

  // The connect-to table's routes as a list for libcurl, rebuilt only when the table has
  // changed since the last one was built.
  std::optional<SharedCurlSlist> currentConnectTo() {
    auto& table = ConnectToTable::shared();
    const auto generation = table.generation();
    if (connectToGeneration == generation) return connectTo;
    CurlSlist list;
    for (const auto& route : table.curlConnectTo()) {
      if (!append(list, route.c_str())) return std::nullopt;
    }
    connectTo = shared(std::move(list));
    connectToGeneration = generation;
    return connectTo;
  }

  // The header list of a request that gives no header fields of its own; built once.
  std::optional<SharedCurlSlist> plainHeaders() {
    if (!defaultHeaders) {
      CurlSlist list;
      if (!append(list, "Expect:")) return std::nullopt;
      defaultHeaders = shared(std::move(list));
    }
    return defaultHeaders;
  }

  std::optional<SharedCurlSlist> headersOf(const URLRequest& request) {
    if (request.headers.empty()) return plainHeaders();
    CurlSlist list;
    bool givesExpect = false;
    std::string line;
    for (const auto& [name, value] : request.headers) {
      givesExpect = givesExpect || headerNamesEqual(name, "Expect");
      // libcurl sends "Name;" as a field with an empty value; "Name:" would remove it.
      line.assign(name);
      if (value.empty()) {
        line += ';';
      } else {
        line.append(": ").append(value);
      }
      if (!append(list, line.c_str())) return std::nullopt;
    }
    // libcurl would wait for "100 Continue" before sending a larger body.
    if (!givesExpect && !append(list, "Expect:")) return std::nullopt;
    return shared(std::move(list));
  }

  std::optional<HTTPSessionError> configure(Transfer& transfer) {
    transfer.easy = takeHandle();
    if (!transfer.easy) return HTTPSessionError{Kind::transport, "curl_easy_init failed"};
    CURL* easy = transfer.easy;
    const URLRequest& request = transfer.request;
    CURLcode result = CURLE_OK;
    auto set = [&](CURLoption option, auto value) {
      if (result == CURLE_OK) result = curl_easy_setopt(easy, option, value);
    };

    set(CURLOPT_ERRORBUFFER, transfer.errorBuffer.data());
    set(CURLOPT_URL, request.url.c_str());
    set(CURLOPT_NOSIGNAL, 1L);
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    set(CURLOPT_FOLLOWLOCATION, 1L);
    set(CURLOPT_MAXREDIRS, kMaximumRedirects);
    set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    set(CURLOPT_SSL_VERIFYPEER, 1L);
    set(CURLOPT_SSL_VERIFYHOST, 2L);
    set(CURLOPT_SSL_CTX_FUNCTION, &onSSLContext);
    // The extra CA is added into each connection's trust store; a store that libcurl kept
    // and shared across connections could go on trusting a CA the host has withdrawn.
    set(CURLOPT_CA_CACHE_TIMEOUT, 0L);
    // Pooled handles keep their TLS session cache; a resumed session skips the certificate
    // check, so it could carry trust in a withdrawn CA over to a new connection.
    set(CURLOPT_SSL_SESSIONID_CACHE, 0L);
    set(CURLOPT_ACCEPT_ENCODING, "");
    set(CURLOPT_USERAGENT, userAgent.c_str());
    set(CURLOPT_TCP_KEEPALIVE, 1L);
    // libcurl 7.88 stalls on a request head larger than its upload buffer (a long query
    // string, such as a queue message sent as a URL parameter) until the time-out.
    set(CURLOPT_UPLOAD_BUFFERSIZE, kUploadBufferSize);
    // Lets a shutdown leave a stuck name lookup behind instead of waiting for it.
    set(CURLOPT_QUICK_EXIT, 1L);
    set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(transfer.timeout.count()));
    set(CURLOPT_HEADERFUNCTION, &onHeaderLine);
    set(CURLOPT_HEADERDATA, static_cast<void*>(&transfer));
    set(CURLOPT_WRITEFUNCTION, &onBodyBytes);
    set(CURLOPT_WRITEDATA, static_cast<void*>(&transfer));
    set(CURLOPT_XFERINFOFUNCTION, &onProgress);
    set(CURLOPT_XFERINFODATA, static_cast<void*>(&transfer));
    set(CURLOPT_NOPROGRESS, 0L);

    if (auto routes = currentConnectTo()) {
      transfer.connectTo = std::move(*routes);
      if (transfer.connectTo) set(CURLOPT_CONNECT_TO, transfer.connectTo.get());
    } else {
      result = CURLE_OUT_OF_MEMORY;
    }

    if (auto headers = headersOf(request)) {
      transfer.headerList = std::move(*headers);
      set(CURLOPT_HTTPHEADER, transfer.headerList.get());
    } else {
      result = CURLE_OUT_OF_MEMORY;
    }

    const auto method = request.method;
    const auto& body = request.body;
    if (method == HTTPMethod::head) {
      // A response to HEAD has no body whatever its Content-Length says; a body given for
      // HEAD is not sent.
      set(CURLOPT_NOBODY, 1L);
    } else if (method == HTTPMethod::get && !body) {
      set(CURLOPT_HTTPGET, 1L);
    } else {
      if (method != HTTPMethod::post) set(CURLOPT_CUSTOMREQUEST, rawValue(method).data());
      if (body || method == HTTPMethod::post) {
        static constexpr char kEmpty[] = "";
        set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body ? body->size() : 0));
        set(CURLOPT_POSTFIELDS, body && !body->empty() ? static_cast<const void*>(body->data())
                                                       : static_cast<const void*>(kEmpty));
      }
    }

    if (result != CURLE_OK) return errorFor(result, nullptr);
    return std::nullopt;
  }

  void perform() {
    int running = 0;
    if (auto code = curl_multi_perform(multi, &running); code != CURLM_OK) {
      for (auto& [easy, transfer] : std::exchange(active, {})) {
        retire(*transfer);
        deliver(transfer,
                {std::nullopt, {}, HTTPSessionError{Kind::transport, curl_multi_strerror(code)}});
      }
      return;
    }
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
      if (message->msg != CURLMSG_DONE) continue;
      CURL* easy = message->easy_handle;
      const CURLcode result = message->data.result;  // read before the handle is removed
      auto found = active.find(easy);
      if (found == active.end()) continue;
      auto transfer = std::move(found->second);
      active.erase(found);
      finish(transfer, result);
    }
  }

  void finish(const std::shared_ptr<Transfer>& transfer, CURLcode result) {
    DataResponse response;
    const bool succeeded = result == CURLE_OK;
    if (transfer->hasResponse(succeeded)) response.response = responseOf(*transfer);
    if (!succeeded) {
      if (transfer->bodyTooLarge) {
        response.error = HTTPSessionError{
            Kind::responseTooLarge, "The response body is larger than " +
                                        std::to_string(transfer->maximumBodySize) + " bytes."};
      } else {
        response.error = errorFor(result, transfer->errorBuffer.data());
      }
    } else if (!response.response) {
      response.error = HTTPSessionError{Kind::transport, "The server sent no HTTP response."};
    } else if (!accepts(*transfer, response.response->statusCode)) {
      response.error = HTTPSessionError{Kind::unacceptableStatusCode,
                                        "Response status code was unacceptable: " +
                                            std::to_string(response.response->statusCode) + "."};
    }
    response.data = std::move(transfer->body);
    // Posted before the handle is put back, so that the caller's queue wakes up while the
    // worker tidies up.
    deliver(transfer, std::move(response));
    retire(*transfer);
  }

  HTTPURLResponse responseOf(Transfer& transfer) const {
    char* effective = nullptr;
    curl_easy_getinfo(transfer.easy, CURLINFO_EFFECTIVE_URL, &effective);
    return {transfer.statusCode, std::move(transfer.responseHeaders),
            effective ? std::string(effective) : transfer.request.url};
  }

  static bool accepts(const Transfer& transfer, int status) {
    return std::ranges::all_of(transfer.acceptableStatusCodes, [&](const auto& range) {
      return status >= range.first && status < range.second;
    });
  }

  void expireIdleTransfers() {
    const auto now = Clock::now();
    std::vector<std::shared_ptr<Transfer>> expired;
    for (const auto& [easy, transfer] : active) {
      if (now - transfer->lastActivity >= transfer->timeout) expired.push_back(transfer);
    }
    for (const auto& transfer : expired) {
      active.erase(transfer->easy);
      DataResponse response;
      if (transfer->hasResponse(false)) response.response = responseOf(*transfer);
      response.data = std::move(transfer->body);
      response.error =
          HTTPSessionError{Kind::timedOut, "The request timed out: nothing arrived for " +
                                               std::to_string(transfer->timeout.count()) + " ms."};
      retire(*transfer);
      deliver(transfer, std::move(response));
    }
  }

  int pollTimeoutMs() const {
    auto wait = kLongestPoll;
    const auto now = Clock::now();
    for (const auto& [easy, transfer] : active) {
      const auto due = transfer->lastActivity + transfer->timeout;
      // Rounded up, so the worker does not wake a hair early and poll again for nothing.
      const auto left = std::chrono::ceil<milliseconds>(due - now);
      wait = std::min(wait, std::max(left, milliseconds(0)));
    }
    return static_cast<int>(wait.count());
  }

  void retire(Transfer& transfer) {
    if (!transfer.easy) return;
    curl_multi_remove_handle(multi, transfer.easy);
    returnHandle(std::exchange(transfer.easy, nullptr));
    transfer.headerList.reset();
    transfer.connectTo.reset();
  }

  const Configuration configuration;
  const std::string userAgent;
  std::atomic<std::int64_t> timeoutMs;
  std::atomic<bool> stopping{false};
  CURLM* const multi;

  std::mutex mutex;
  std::condition_variable workerFinishedChanged;
  bool workerFinished = false;                                // guarded by mutex
  bool accepting = true;                                      // guarded by mutex
  std::vector<std::shared_ptr<Transfer>> submitted;           // guarded by mutex
  std::unordered_set<std::shared_ptr<Transfer>> undelivered;  // guarded by mutex

  // The worker's.
  std::unordered_map<CURL*, std::shared_ptr<Transfer>> active;
  std::vector<CURL*> idleHandles;
  SharedCurlSlist connectTo;
  std::optional<std::uint64_t> connectToGeneration;
  SharedCurlSlist defaultHeaders;
};

// At process exit the default session is destroyed with the other statics. The queues its
// completions go to are made before it (defaultSession() touches them first), so they are
// destroyed after it and the shutdown can always post its cancellations. Nobody runs the
// main loop any more by then, so a completion posted to the main queue at exit does not
// run: it is released, with what it captured, when the main queue's context is destroyed.
// Running completions inline instead would call host code during static destruction, when
// the objects it refers to (locals of main(), other statics) may already be gone.
const std::shared_ptr<HTTPSession>& HTTPSession::defaultSession() {
  static const std::shared_ptr<HTTPSession> session = [] {
    (void)DispatchQueue::main();
    (void)DispatchQueue::global();
    return make();
  }();
  return session;
}

std::shared_ptr<HTTPSession> HTTPSession::make() {
  return make(Configuration{});
}

std::shared_ptr<HTTPSession> HTTPSession::make(Configuration configuration) {
  return std::shared_ptr<HTTPSession>(new HTTPSession(std::move(configuration)));
}

HTTPSession::HTTPSession(Configuration configuration) {
  initializeCurlOnce();
  impl_ = std::make_shared<Impl>(std::move(configuration));
  // The worker holds the implementation, so a worker left behind by a late shutdown never
  // reaches freed memory.
  worker_ = std::thread([impl = impl_] { impl->run(); });
}

HTTPSession::~HTTPSession() {
  shutdown(Clock::now() + kDestructorShutdownGrace);
}

DataRequest HTTPSession::request(std::string url, HTTPMethod method,
                                 const nlohmann::json& parameters, ParameterEncoding encoding,
                                 HTTPHeaders headers) {
  URLRequest prepared{std::move(url), method, std::move(headers), std::nullopt, std::nullopt};
  if (auto failure = checkURL(prepared.url)) {
    return DataRequest(shared_from_this(), std::unexpected(std::move(*failure)));
  }
  if (auto encoded = encodeParameters(prepared, parameters, encoding); !encoded) {
    return DataRequest(shared_from_this(), std::unexpected(std::move(encoded.error())));
  }
  return request(std::move(prepared));
}

DataRequest HTTPSession::request(URLRequest request) {
  auto failure = checkURL(request.url);
  if (!failure) failure = checkHeaders(request.headers);
  if (failure) return DataRequest(shared_from_this(), std::unexpected(std::move(*failure)));
  return DataRequest(shared_from_this(), std::move(request));
}

void HTTPSession::setTimeout(std::chrono::milliseconds timeout) {
  impl_->timeoutMs.store(timeout.count(), std::memory_order_relaxed);
}

std::chrono::milliseconds HTTPSession::timeout() const {
  return milliseconds(impl_->timeoutMs.load(std::memory_order_relaxed));
}

void HTTPSession::submit(URLRequest request, std::vector<std::pair<int, int>> acceptableStatusCodes,
                         std::shared_ptr<DispatchQueue> queue, DataRequest::Completion completion) {
  auto transfer = std::make_shared<Transfer>();
  transfer->timeout =
      std::clamp(request.timeout.value_or(timeout()), kShortestTimeout, kLongestTimeout);
  transfer->request = std::move(request);
  transfer->acceptableStatusCodes = std::move(acceptableStatusCodes);
  transfer->queue = std::move(queue);
  transfer->stopping = &impl_->stopping;
  transfer->maximumBodySize = impl_->configuration.maximumResponseBodySize;
  transfer->completion = std::move(completion);
  if (!impl_->enqueue(transfer)) impl_->deliver(transfer, {std::nullopt, {}, cancelledError()});
}

void HTTPSession::shutdown(Clock::time_point deadline) {
  impl_->requestStop();
  const bool finished = impl_->waitForWorker(deadline);
  if (!finished) impl_->cancelUndelivered();
  std::lock_guard lock(workerMutex_);
  if (!worker_.joinable()) return;
  if (finished && worker_.get_id() != std::this_thread::get_id()) {
    worker_.join();
  } else {
    worker_.detach();
  }
}

}  // namespace platform
