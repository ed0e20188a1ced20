#include "Tests/Support/Backend.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <future>
#include <system_error>

#include <openssl/evp.h>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/use_future.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <nlohmann/json.hpp>

#include "Platform/Network/ConnectToTable.h"
#include "Platform/Network/ExtraTrustedCA.h"
#include "Tests/Support/MainLoopPump.h"

extern char** environ;

namespace testsupport {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = boost::beast::http;
namespace ssl = boost::asio::ssl;
using Clock = std::chrono::steady_clock;
using json = nlohmann::json;

// Node under ASan-instrumented parents and eight parallel test jobs can be slow to start;
// the wait only bounds a failure, it never delays success.
constexpr auto kStartDeadline = std::chrono::seconds(60);
constexpr std::uint16_t kHTTPSPort = 443;
constexpr std::uint16_t kHTTPPort = 80;

std::string systemMessage(int error) {
  return std::error_code(error, std::generic_category()).message();
}

// A close-on-exec pipe whose ends are above the standard descriptors: a test program run
// without standard input could otherwise get descriptor 0 back, and duplicating it onto
// itself in the child would keep its close-on-exec flag.
bool makePipe(std::array<int, 2>& ends) {
  int raw[2];
  if (pipe2(raw, O_CLOEXEC) != 0) return false;
  for (int i = 0; i < 2; ++i) {
    ends[i] = raw[i] > 2 ? raw[i] : fcntl(raw[i], F_DUPFD_CLOEXEC, 3);
    if (raw[i] <= 2) close(raw[i]);
  }
  return ends[0] >= 0 && ends[1] >= 0;
}

void closeFD(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

// Milliseconds left until `deadline`, for poll().
int remainingMs(Clock::time_point deadline) {
  auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, 60'000));
}

enum class ReadOutcome { data, endOfFile, timedOut, failed };

// Reads what is available from `fd`, waiting until `deadline` for it.
ReadOutcome readSome(int fd, std::string& into, Clock::time_point deadline) {
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    int ready = poll(&p, 1, remainingMs(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return ReadOutcome::failed;
    if (ready == 0) {
      if (Clock::now() >= deadline) return ReadOutcome::timedOut;
      continue;
    }
    char buffer[4096];
    ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return ReadOutcome::failed;
    if (got == 0) return ReadOutcome::endOfFile;
    into.append(buffer, static_cast<std::size_t>(got));
    return ReadOutcome::data;
  }
}

std::string describeWaitStatus(int status) {
  if (WIFEXITED(status)) return "exited with status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "was killed by signal " + std::to_string(WTERMSIG(status));
  return "ended with wait status " + std::to_string(status);
}

std::string encodeBase64(std::string_view bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                     reinterpret_cast<const unsigned char*>(bytes.data()),
                                     static_cast<int>(bytes.size()));
  out.resize(static_cast<std::size_t>(length));
  return out;
}

std::optional<std::string> decodeBase64(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::string out(text.size() / 4 * 3, '\0');
  const int length = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                     reinterpret_cast<const unsigned char*>(text.data()),
                                     static_cast<int>(text.size()));
  if (length < 0) return std::nullopt;
  // The block decoder counts the padding as zero bytes.
  const auto padding = text.size() - text.find_last_not_of('=') - 1;
  out.resize(static_cast<std::size_t>(length) - std::min<std::size_t>(padding, 2));
  return out;
}

asio::awaitable<Backend::Response> exchange(ssl::context& context, std::uint16_t port,
                                            http::request<http::string_body> request) {
  auto executor = co_await asio::this_coro::executor;
  beast::ssl_stream<beast::tcp_stream> stream(executor, context);
  if (SSL_set_tlsext_host_name(stream.native_handle(), "localhost") != 1) {
    throw std::runtime_error("could not set the TLS server name");
  }
  stream.set_verify_callback(ssl::host_name_verification("localhost"));
  co_await beast::get_lowest_layer(stream).async_connect(
      asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), port), asio::use_awaitable);
  co_await stream.async_handshake(ssl::stream_base::client, asio::use_awaitable);
  co_await http::async_write(stream, request, asio::use_awaitable);
  beast::flat_buffer buffer;
  http::response<http::string_body> response;
  co_await http::async_read(stream, buffer, response, asio::use_awaitable);
  Backend::Response result{static_cast<int>(response.result_int()), {}, response.body()};
  for (const auto& field : response) {
    std::string name(field.name_string());
    std::ranges::transform(name, name.begin(), [](unsigned char c) { return std::tolower(c); });
    result.headers[name] = std::string(field.value());
  }
  co_return result;
}

const char* dropName(Backend::Drop drop) {
  switch (drop) {
    case Backend::Drop::midResponse:
      return "midResponse";
    case Backend::Drop::beforeResponse:
      return "beforeResponse";
    case Backend::Drop::none:
      break;
  }
  return nullptr;
}

}  // namespace

std::optional<std::string> Backend::RecordedRequest::header(std::string_view name) const {
  std::string lower(name);
  std::ranges::transform(lower, lower.begin(), [](unsigned char c) { return std::tolower(c); });
  if (auto found = headers.find(lower); found != headers.end()) return found->second;
  return std::nullopt;
}

std::optional<std::string> Backend::RecordedRequest::queryValue(std::string_view name) const {
  for (const auto& [key, value] : query) {
    if (key == name) return value;
  }
  return std::nullopt;
}

std::expected<std::unique_ptr<Backend>, std::string> Backend::start() {
  std::unique_ptr<Backend> backend(new Backend);
  std::array<int, 2> input{-1, -1};
  std::array<int, 2> output{-1, -1};
  if (!makePipe(input) || !makePipe(output)) {
    int error = errno;
    for (int fd : {input[0], input[1], output[0], output[1]}) {
      if (fd >= 0) close(fd);
    }
    return std::unexpected("could not make pipes for the back end: " + systemMessage(error));
  }

  std::vector<std::string> arguments{"node", BRELUM_SOURCE_DIR "/Tools/backend.mjs"};
  std::vector<char*> argv;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
  pid_t pid = 0;
  int spawned = posix_spawnp(&pid, "node", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(input[0]);
  close(output[1]);
  backend->toChild_ = input[1];
  backend->fromChild_ = output[0];
  if (spawned != 0) {
    closeFD(backend->toChild_);
    closeFD(backend->fromChild_);
    return std::unexpected("could not run node (Node.js 20 must be on PATH): " +
                           systemMessage(spawned));
  }
  backend->pid_ = pid;

  // The one line it prints once it listens.
  std::string line;
  auto deadline = Clock::now() + kStartDeadline;
  while (line.find('\n') == std::string::npos) {
    auto outcome = readSome(backend->fromChild_, line, deadline);
    if (outcome == ReadOutcome::data) continue;
    std::string why =
        outcome == ReadOutcome::timedOut
            ? "did not report its port within " + std::to_string(kStartDeadline.count()) + " s"
            : "closed its output before reporting its port";
    int status = backend->stop(std::chrono::seconds(1));
    return std::unexpected("the stand-in back end (" + arguments[1] + ") " + why + " and " +
                           describeWaitStatus(status) + "; its standard error says why");
  }
  line.resize(line.find('\n'));

  auto report = json::parse(line, nullptr, false);
  bool valid = report.is_object() && report.contains("httpsPort") &&
               report["httpsPort"].is_number_integer() && report.contains("caFile") &&
               report["caFile"].is_string() && report.contains("hosts") &&
               report["hosts"].is_array();
  const auto port = [&](const char* key) -> std::uint16_t {
    const auto value = report.value(key, json());
    const bool ok = value.is_number_integer() && value > 0 && value <= 65535;
    valid = valid && ok;
    return ok ? value.get<std::uint16_t>() : 0;
  };
  if (valid) {
    backend->port_ = port("httpsPort");
    backend->httpPort_ = port("httpPort");
    backend->caFile_ = report["caFile"].get<std::string>();
    for (const auto& host : report["hosts"]) {
      if (!host.is_string())
        valid = false;
      else
        backend->hosts_.push_back(host.get<std::string>());
    }
  }
  if (!valid) {
    backend->stop(std::chrono::seconds(1));
    return std::unexpected("the stand-in back end reported \"" + line +
                           "\" instead of {\"httpsPort\",\"httpPort\",\"caFile\",\"hosts\"}");
  }
  return backend;
}

std::expected<Backend*, std::string> Backend::shared() {
  // Destroyed at exit, which stops the process; were this process to die first, the back
  // end would see its standard input close and stop by itself.
  static auto instance = start();
  if (!instance) return std::unexpected(instance.error());
  return instance->get();
}

Backend::~Backend() {
  stop();
}

int Backend::stop(std::chrono::milliseconds deadline) {
  if (pid_ == 0) return waitStatus_;
  closeFD(toChild_);
  // Its output reaches end of file when it exits: a bounded wait without polling.
  std::string ignored;
  auto until = Clock::now() + deadline;
  ReadOutcome outcome = ReadOutcome::data;
  while (outcome == ReadOutcome::data) outcome = readSome(fromChild_, ignored, until);
  bool killed = outcome != ReadOutcome::endOfFile && kill(pid_, SIGKILL) == 0;
  while (waitpid(pid_, &waitStatus_, 0) < 0 && errno == EINTR) {
  }
  if (killed && !caFile_.empty()) {
    // It had no chance to remove its folder of keys and certificates.
    std::fprintf(stderr, "the stand-in back end did not stop within %lld ms and was killed\n",
                 static_cast<long long>(deadline.count()));
    std::error_code ignored;
    std::filesystem::remove_all(caFile_.parent_path(), ignored);
  }
  closeFD(fromChild_);
  pid_ = 0;
  return waitStatus_;
}

void Backend::installRoutes() const {
  auto& table = platform::ConnectToTable::shared();
  for (const auto& host : hosts_) {
    for (auto [from, to] : {std::pair{kHTTPSPort, port_}, std::pair{kHTTPPort, httpPort_}}) {
      if (auto added = table.add(host, from, "127.0.0.1", to); !added) {
        ADD_FAILURE() << added.error().message();
      }
    }
  }
  if (auto trusted = platform::setExtraTrustedCAFile(caFile_); !trusted) {
    ADD_FAILURE() << trusted.error().message();
  }
}

std::expected<Backend::Response, std::string> Backend::request(
    std::string_view method, std::string_view target, std::string_view body,
    std::chrono::milliseconds timeout) const {
  if (pid_ == 0) return std::unexpected("the back end is not running");
  http::request<http::string_body> message;
  message.method_string(method);
  message.target(target);
  message.version(11);
  message.set(http::field::host, "localhost");
  message.set(http::field::connection, "close");
  if (!body.empty() || method == "POST" || method == "PUT") {
    message.set(http::field::content_type, "application/json");
    message.body() = std::string(body);
    message.prepare_payload();
  }

  ssl::context context(ssl::context::tls_client);
  context.set_verify_mode(ssl::verify_peer);
  boost::system::error_code ec;
  context.load_verify_file(caFile_.string(), ec);
  if (ec) return std::unexpected("could not load " + caFile_.string() + ": " + ec.message());

  asio::io_context io;
  auto future = asio::co_spawn(io, exchange(context, port_, std::move(message)), asio::use_future);
  io.run_for(timeout);
  std::string what = std::string(method) + " " + std::string(target);
  if (future.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
    return std::unexpected(what + ": no answer within " + std::to_string(timeout.count()) + " ms");
  }
  try {
    return future.get();
  } catch (const std::exception& error) {
    return std::unexpected(what + ": " + error.what());
  }
}

std::optional<std::string> Backend::control(std::string_view method, std::string_view target,
                                            std::string_view body) const {
  auto response = request(method, target, body);
  if (!response) {
    ADD_FAILURE() << "back end control call failed: " << response.error();
    return std::nullopt;
  }
  if (response->status != 200) {
    ADD_FAILURE() << "back end control call " << method << " " << target << " answered "
                  << response->status << ": " << response->body;
    return std::nullopt;
  }
  return std::move(response->body);
}

void Backend::reset() const {
  control("POST", "/__control/reset");
}

std::string Backend::Fault::json() const {
  nlohmann::json document = {{"path", path_}};
  if (!method_.empty()) document["method"] = method_;
  if (status_) {
    document["status"] = *status_;
    document["bodyBase64"] = encodeBase64(body_);  // bodies need not be UTF-8
    if (!headers_.empty()) document["headers"] = headers_;
  }
  if (delay_.count() > 0) document["delayMs"] = delay_.count();
  if (auto drop = dropName(drop_)) document["drop"] = drop;
  if (times_) document["times"] = *times_;
  return document.dump();
}

void Backend::setFault(const Fault& fault) const {
  control("POST", "/__control/faults", fault.json());
}

void Backend::clearFaults() const {
  control("DELETE", "/__control/faults");
}

void Backend::serveMedia(const std::string& name, const std::filesystem::path& file) const {
  control("POST", "/__control/media", json{{"name", name}, {"file", file.string()}}.dump());
}

void Backend::failWith(std::string path, int status, std::string body) const {
  setFault(Fault(std::move(path)).status(status, std::move(body)));
}

void Backend::delay(std::string path, std::chrono::milliseconds delay) const {
  setFault(Fault(std::move(path)).delay(delay));
}

void Backend::drop(std::string path, Drop how) const {
  setFault(Fault(std::move(path)).drop(how));
}

std::vector<Backend::RecordedRequest> Backend::requests(std::string_view path) const {
  std::string target = "/__control/requests";
  if (!path.empty()) {
    // Paths are sent as the back end recorded them; only the characters that would end
    // or split the query value need escaping here.
    target += "?path=";
    for (char c : path) {
      if (c == '%' || c == '&' || c == '+' || c == '#' || c == ' ') {
        char escaped[4];
        std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned char>(c));
        target += escaped;
      } else {
        target += c;
      }
    }
  }
  std::vector<RecordedRequest> requests;
  auto body = control("GET", target);
  if (!body) return requests;
  auto document = json::parse(*body, nullptr, false);
  if (document.is_discarded() || !document.contains("requests")) {
    ADD_FAILURE() << "unreadable recorded requests: " << *body;
    return requests;
  }
  for (const auto& entry : document["requests"]) {
    RecordedRequest request;
    request.method = entry.value("method", "");
    request.path = entry.value("path", "");
    request.rawQuery = entry.value("rawQuery", "");
    // Bound to names: a temporary in a range-for header would die before the loop runs.
    const auto query = entry.value("query", json::array());
    for (const auto& pair : query) {
      request.query.emplace_back(pair.at(0).get<std::string>(), pair.at(1).get<std::string>());
    }
    const auto headers = entry.value("headers", json::object());
    for (const auto& [name, value] : headers.items()) {
      request.headers[name] = value.get<std::string>();
    }
    if (entry.contains("sni") && entry["sni"].is_string()) request.sni = entry["sni"];
    auto body = decodeBase64(entry.value("bodyBase64", ""));
    if (!body) ADD_FAILURE() << "recorded body is not base64";
    request.body = body.value_or("");
    requests.push_back(std::move(request));
  }
  return requests;
}

bool Backend::idle() const {
  auto body = control("GET", "/__control/state");
  if (!body) return false;
  auto document = json::parse(*body, nullptr, false);
  return !document.is_discarded() && document.value("inFlight", -1) == 0;
}

void BackendTest::SetUp() {
  auto shared = Backend::shared();
  ASSERT_TRUE(shared.has_value()) << shared.error();
  backend_ = *shared;
  backend_->reset();
  platform::ConnectToTable::shared().clear();
  backend_->installRoutes();
}

void BackendTest::TearDown() {
  if (!backend_) return;
  // Twice: an answer handled on the main queue may send the next request of a chain.
  for (int round = 0; round < 2; ++round) {
    runMainLoopUntil([&] { return backend_->idle(); }, std::chrono::seconds(20));
    drainMainQueue();
  }
}

}  // namespace testsupport
