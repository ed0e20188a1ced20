#include "SocketIO/Engine/Transport.h"

#include <deque>
#include <optional>
#include <type_traits>

#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <boost/asio/ip/address.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http/field.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>

#include "Platform/Network/ConnectToTable.h"
#include "Platform/Network/ExtraTrustedCA.h"

namespace socketio::detail {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = boost::beast::websocket;
namespace ssl = boost::asio::ssl;
using tcp = boost::asio::ip::tcp;
using boost::system::error_code;

// Bounds the WebSocket upgrade and the close handshake; the whole connection attempt is
// bounded by its owner.
constexpr std::chrono::seconds kHandshakeTimeout{15};
constexpr std::chrono::seconds kCloseTimeout{3};
constexpr const char* kUserAgent = "SocketIO-Cpp/1.0";

bool isIPLiteral(const std::string& host) {
  error_code ec;
  (void)asio::ip::make_address(host, ec);
  return !ec;
}

template <bool kSecure>
class WebSocketTransport final : public Transport,
                                 public std::enable_shared_from_this<WebSocketTransport<kSecure>> {
  using NextLayer =
      std::conditional_t<kSecure, beast::ssl_stream<beast::tcp_stream>, beast::tcp_stream>;
  using Stream = websocket::stream<NextLayer>;

 public:
  WebSocketTransport(Strand strand, TransportTarget target, Events events)
      : strand_(std::move(strand)),
        target_(std::move(target)),
        events_(std::move(events)),
        resolver_(strand_) {
    if constexpr (kSecure) {
      // Verification is not a setting: the peer's chain must lead to the system store or
      // the extra CA, and the certificate must name the host.
      tls_.emplace(ssl::context::tls_client);
      tls_->set_verify_mode(ssl::verify_peer);
      error_code ignored;
      tls_->set_default_verify_paths(ignored);
      SSL_CTX_set_min_proto_version(tls_->native_handle(), TLS1_2_VERSION);
      if (auto added = platform::addExtraTrustedCA(tls_->native_handle()); !added) {
        setupProblem_ = "extra trusted CA: " + added.error().message();
      }
      ws_ = std::make_unique<Stream>(strand_, *tls_);
    } else {
      ws_ = std::make_unique<Stream>(strand_);
    }
  }

  void open() override {
    if (!setupProblem_.empty()) return fail(setupProblem_);
    auto self = this->shared_from_this();
    if (auto route = platform::ConnectToTable::shared().route(target_.host, target_.port)) {
      error_code ec;
      const auto address = asio::ip::make_address(route->address, ec);
      if (ec) return fail("connect-to route: " + ec.message());
      beast::get_lowest_layer(*ws_).async_connect(tcp::endpoint(address, route->port),
                                                  [self](error_code ec) { self->onConnect(ec); });
      return;
    }
    resolver_.async_resolve(target_.host, std::to_string(target_.port),
                            [self](error_code ec, const tcp::resolver::results_type& results) {
                              self->onResolve(ec, results);
                            });
  }

  void send(Frame frame) override {
    if (finished_ || closing_) {
      if (frame.done) frame.done(false);
      return;
    }
    queue_.push_back(std::move(frame));
    if (opened_) writeNext();
  }

  void close(std::function<void()> whenClosed) override {
    if (finished_) {
      if (whenClosed) asio::post(strand_, std::move(whenClosed));
      return;
    }
    whenClosed_ = std::move(whenClosed);
    closing_ = true;
    if (!opened_) {
      closeSocket();  // the step under way fails and finishes the transport
      return;
    }
    if (!writing_) startClose();
  }

  void abort() override {
    silent_ = true;
    finish({opened_, false, "aborted"});
  }

 private:
  void onResolve(error_code ec, const tcp::resolver::results_type& results) {
    if (finished_) return;
    if (ec) return fail("resolving " + target_.host + ": " + ec.message());
    auto self = this->shared_from_this();
    beast::get_lowest_layer(*ws_).async_connect(
        results, [self](error_code ec, const tcp::endpoint&) { self->onConnect(ec); });
  }

  void onConnect(error_code ec) {
    if (finished_) return;
    if (ec) return fail("connect: " + ec.message());
    error_code ignored;
    beast::get_lowest_layer(*ws_).socket().set_option(tcp::no_delay(true), ignored);
    if constexpr (kSecure) {
      auto& tls = ws_->next_layer();
      // IP literals have no server name to send (RFC 6066); the check still covers them.
      if (!isIPLiteral(target_.host) &&
          !SSL_set_tlsext_host_name(tls.native_handle(), target_.host.c_str())) {
        return fail("TLS: server name refused");
      }
      tls.set_verify_callback(ssl::host_name_verification(target_.host));
      auto self = this->shared_from_this();
      tls.async_handshake(ssl::stream_base::client,
                          [self](error_code ec) { self->onTLSHandshake(ec); });
    } else {
      upgrade();
    }
  }

  void onTLSHandshake(error_code ec) {
    if (finished_) return;
    if (ec) {
      std::string message = "TLS handshake: " + ec.message();
      if constexpr (kSecure) {
        const long result = SSL_get_verify_result(ws_->next_layer().native_handle());
        if (result != X509_V_OK)
          message += std::string(" (") + X509_verify_cert_error_string(result) + ")";
      }
      return fail(message);
    }
    upgrade();
  }

  void upgrade() {
    websocket::stream_base::timeout timeouts{};
    timeouts.handshake_timeout = kHandshakeTimeout;
    timeouts.idle_timeout = websocket::stream_base::none();  // Engine.IO's heartbeat watches
    timeouts.keep_alive_pings = false;
    ws_->set_option(timeouts);
    if (target_.compress) {
      websocket::permessage_deflate deflate;
      deflate.client_enable = true;
      // Small messages cost more to compress than they save, as the server judges too.
      deflate.msg_size_threshold = 1024;
      ws_->set_option(deflate);
    }
    ws_->read_message_max(target_.readLimit);
    ws_->auto_fragment(false);
    ws_->set_option(websocket::stream_base::decorator(
        [headers = target_.headers](websocket::request_type& request) {
          request.set(boost::beast::http::field::user_agent, kUserAgent);
          for (const auto& [name, value] : headers) request.set(name, value);
        }));
    auto self = this->shared_from_this();
    ws_->async_handshake(target_.hostHeader, target_.target,
                         [self](error_code ec) { self->onUpgrade(ec); });
  }

  void onUpgrade(error_code ec) {
    if (finished_) return;
    if (ec) return fail("WebSocket upgrade: " + ec.message());
    opened_ = true;
    // A shorter bound for the close handshake than for the opening one.
    websocket::stream_base::timeout timeouts{};
    timeouts.handshake_timeout = kCloseTimeout;
    timeouts.idle_timeout = websocket::stream_base::none();
    timeouts.keep_alive_pings = false;
    ws_->set_option(timeouts);
    if (events_.opened) events_.opened();
    if (finished_) return;
    if (closing_) {
      if (!writing_) startClose();
    } else {
      writeNext();
    }
    read();
  }

  void read() {
    auto self = this->shared_from_this();
    ws_->async_read(buffer_, [self](error_code ec, std::size_t) { self->onRead(ec); });
  }

  void onRead(error_code ec) {
    if (finished_) return;
    if (ec) {
      if (ec == websocket::error::closed) {
        const auto& reason = ws_->reason();
        return finish({true, true,
                       "closed by the server (" + std::to_string(reason.code) +
                           (reason.reason.empty()
                                ? ""
                                : " " + std::string(reason.reason.data(), reason.reason.size())) +
                           ")"});
      }
      return finish({true, false, "read: " + ec.message()});
    }
    const auto data = buffer_.cdata();
    std::string frame(static_cast<const char*>(data.data()), data.size());
    buffer_.clear();
    const bool binary = ws_->got_binary();
    if (events_.received && !silent_) events_.received(std::move(frame), binary);
    if (!finished_) read();
  }

  void writeNext() {
    if (writing_ || finished_) return;
    if (queue_.empty()) {
      if (closing_) startClose();
      return;
    }
    writing_ = true;
    inFlight_.emplace(std::move(queue_.front()));
    queue_.pop_front();
    ws_->binary(inFlight_->binary);
    auto self = this->shared_from_this();
    ws_->async_write(asio::buffer(inFlight_->bytes),
                     [self](error_code ec, std::size_t) { self->onWrite(ec); });
  }

  void onWrite(error_code ec) {
    writing_ = false;
    auto frame = std::move(*inFlight_);
    inFlight_.reset();
    if (frame.done) frame.done(!ec);
    if (ec) return finish({opened_, false, "write: " + ec.message()});
    writeNext();
  }

  void startClose() {
    if (closeStarted_ || finished_) return;
    closeStarted_ = true;
    auto self = this->shared_from_this();
    ws_->async_close(websocket::close_code::normal, [self](error_code ec) {
      self->finish({true, !ec, ec ? "close: " + ec.message() : "closed by the client"});
    });
  }

  void fail(std::string message) { finish({false, false, std::move(message)}); }

  void finish(Closure closure) {
    if (finished_) return;
    finished_ = true;
    for (auto& frame : queue_) {
      if (frame.done) frame.done(false);
    }
    queue_.clear();
    closeSocket();
    if (!silent_ && events_.closed) events_.closed(std::move(closure));
    if (auto whenClosed = std::exchange(whenClosed_, nullptr)) whenClosed();
  }

  void closeSocket() {
    resolver_.cancel();
    error_code ignored;
    auto& socket = beast::get_lowest_layer(*ws_).socket();
    socket.cancel(ignored);
    socket.close(ignored);
  }

  Strand strand_;
  TransportTarget target_;
  Events events_;
  std::string setupProblem_;
  std::optional<ssl::context> tls_;  // outlives the stream that uses it
  std::unique_ptr<Stream> ws_;
  tcp::resolver resolver_;
  beast::flat_buffer buffer_;
  std::deque<Frame> queue_;
  std::optional<Frame> inFlight_;  // its bytes stay put until its write completes
  std::function<void()> whenClosed_;
  bool opened_ = false;
  bool writing_ = false;
  bool closing_ = false;
  bool closeStarted_ = false;
  bool finished_ = false;
  bool silent_ = false;
};

}  // namespace

std::shared_ptr<Transport> Transport::make(Strand strand, TransportTarget target, Events events) {
  if (target.secure) {
    return std::make_shared<WebSocketTransport<true>>(std::move(strand), std::move(target),
                                                      std::move(events));
  }
  return std::make_shared<WebSocketTransport<false>>(std::move(strand), std::move(target),
                                                     std::move(events));
}

}  // namespace socketio::detail
