#include "Tests/Support/Backend.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <future>

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

#include "Platform/Foundation/ASCII.h"
#include "Platform/Foundation/Base64.h"
#include "Platform/Network/ConnectToTable.h"
#include "Platform/Network/ExtraTrustedCA.h"
#include "Tests/Support/ChildProcess.h"
#include "Tests/Support/MainLoopPump.h"

namespace testsupport {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = boost::beast::http;
namespace ssl = boost::asio::ssl;
using json = nlohmann::json;

// Node under ASan-instrumented parents and eight parallel test jobs can be slow to start;
// the wait only bounds a failure, it never delays success.
constexpr auto kStartDeadline = std::chrono::seconds(60);
constexpr std::uint16_t kHTTPSPort = 443;
constexpr std::uint16_t kHTTPPort = 80;

asio::awaitable<Backend::Response> exchange(ssl::context& context, std::uint16_t port,
                                            http::request<http::string_body> request) {
  auto executor = co_await asio::this_coro::executor;
  beast::ssl_stream<beast::tcp_stream> stream(executor, context);
  SSL_set_tlsext_host_name(stream.native_handle(), "localhost");
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
    result.headers[platform::asciiLowercased(field.name_string())] = field.value();
  }
  co_return result;
}

}  // namespace

std::optional<std::string> Backend::RecordedRequest::header(std::string_view name) const {
  if (auto found = headers.find(platform::asciiLowercased(name)); found != headers.end()) {
    return found->second;
  }
  return std::nullopt;
}

std::optional<std::string> Backend::RecordedRequest::queryValue(std::string_view name) const {
  const auto found = std::ranges::find(query, name, &std::pair<std::string, std::string>::first);
  return found == query.end() ? std::nullopt : std::optional(found->second);
}

std::expected<std::unique_ptr<Backend>, std::string> Backend::start() {
  std::unique_ptr<Backend> backend(new Backend);
  int input[2], output[2];
  if (pipe2(input, O_CLOEXEC) != 0 || pipe2(output, O_CLOEXEC) != 0) {
    return std::unexpected(std::string("could not make pipes: ") + std::strerror(errno));
  }
  const std::string script = BRELUM_SOURCE_DIR "/Tools/backend.mjs";
  const pid_t pid =
      spawnProcess({"node", script}, {{input[0], STDIN_FILENO}, {output[1], STDOUT_FILENO}});
  const int error = errno;
  close(input[0]);
  close(output[1]);
  backend->toChild_ = input[1];
  backend->fromChild_ = output[0];
  if (pid < 0) {
    close(input[1]);
    close(output[0]);
    return std::unexpected(std::string("could not run node (Node.js 20 must be on PATH): ") +
                           std::strerror(error));
  }
  backend->pid_ = pid;

  // The one line it prints once it listens.
  const auto line = readLine(backend->fromChild_, kStartDeadline);
  try {
    if (!line) throw std::runtime_error("nothing within 60 s; its standard error says why");
    const auto report = json::parse(*line);
    backend->port_ = report.at("httpsPort").get<std::uint16_t>();
    backend->httpPort_ = report.at("httpPort").get<std::uint16_t>();
    backend->caFile_ = report.at("caFile").get<std::string>();
    backend->hosts_ = report.at("hosts").get<std::vector<std::string>>();
  } catch (const std::exception& failure) {
    backend->stop(std::chrono::seconds(1));
    return std::unexpected("the stand-in back end (" + script + ") reported \"" +
                           line.value_or("") + "\" instead of its ports: " + failure.what());
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
  close(toChild_);  // what makes it stop
  waitStatus_ = reapProcess(pid_, deadline);
  close(fromChild_);
  pid_ = 0;
  if (WIFSIGNALED(waitStatus_) && WTERMSIG(waitStatus_) == SIGKILL && !caFile_.empty()) {
    // It had no chance to remove its folder of keys and certificates.
    std::fprintf(stderr, "the stand-in back end did not stop within %lld ms and was killed\n",
                 static_cast<long long>(deadline.count()));
    std::error_code ignored;
    std::filesystem::remove_all(caFile_.parent_path(), ignored);
  }
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
  asio::io_context io;
  const std::string what = std::string(method) + " " + std::string(target);
  try {
    context.set_verify_mode(ssl::verify_peer);
    context.load_verify_file(caFile_.string());
    auto future =
        asio::co_spawn(io, exchange(context, port_, std::move(message)), asio::use_future);
    io.run_for(timeout);
    if (future.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
      return std::unexpected(what + ": no answer within " + std::to_string(timeout.count()) +
                             " ms");
    }
    return future.get();
  } catch (const std::exception& error) {
    return std::unexpected(what + ": " + error.what());
  }
}

std::optional<std::string> Backend::control(std::string_view method, std::string_view target,
                                            std::string_view body) const {
  auto response = request(method, target, body);
  if (response && response->status == 200) return std::move(response->body);
  ADD_FAILURE() << "back end control call " << method << " " << target << " failed: "
                << (response ? std::to_string(response->status) + " " + response->body
                             : response.error());
  return std::nullopt;
}

void Backend::reset() const {
  control("POST", "/__control/reset");
}

std::string Backend::Fault::json() const {
  nlohmann::json document = {{"path", path_}};
  if (!method_.empty()) document["method"] = method_;
  if (status_) {
    document["status"] = *status_;
    // Bodies need not be UTF-8.
    document["bodyBase64"] =
        platform::encodeBase64({reinterpret_cast<const std::uint8_t*>(body_.data()), body_.size()});
    if (!headers_.empty()) document["headers"] = headers_;
  }
  if (delay_.count() > 0) document["delayMs"] = delay_.count();
  if (drop_ != Drop::none) {
    document["drop"] = drop_ == Drop::midResponse ? "midResponse" : "beforeResponse";
  }
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
  // Every byte escaped: the back end decodes the value to the exact path it recorded.
  std::string target = "/__control/requests?path=";
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (unsigned char c : path) target += {'%', kHex[c >> 4], kHex[c & 0xF]};
  std::vector<RecordedRequest> requests;
  const auto body = control("GET", target);
  if (!body) return requests;
  try {
    const auto document = json::parse(*body);
    for (const auto& entry : document.at("requests")) {
      auto& request = requests.emplace_back();
      request.method = entry.value("method", "");
      request.path = entry.value("path", "");
      request.rawQuery = entry.value("rawQuery", "");
      request.query = entry.at("query").get<decltype(request.query)>();
      request.headers = entry.at("headers").get<decltype(request.headers)>();
      if (entry.contains("sni") && entry["sni"].is_string()) request.sni = entry["sni"];
      const auto encoded = entry.value("bodyBase64", "");
      const auto decoded = platform::decodeBase64(encoded).value_or(std::vector<std::uint8_t>{});
      request.body.assign(decoded.begin(), decoded.end());
    }
  } catch (const json::exception& error) {
    ADD_FAILURE() << "unreadable recorded requests (" << error.what() << "): " << *body;
  }
  return requests;
}

bool Backend::idle() const {
  const auto body = control("GET", "/__control/state");
  return body && json::parse(*body, nullptr, false).value("inFlight", -1) == 0;
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
