#include "SocketIO/Engine/Transport.h"

#include <array>
#include <optional>
#include <string_view>
#include <type_traits>

#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>
#include <boost/asio/ip/address.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http/field.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>

#include "Platform/Dispatch/FatalError.h"
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
// How much of a declining server's answer its error text quotes.
constexpr std::size_t kQuotedBodyBytes = 200;

bool isIPLiteral(const std::string& host) {
  error_code ec;
  (void)asio::ip::make_address(host, ec);
  return !ec;
}

// Printable ASCII from a server's text, for an error message that hosts may log or show.
std::string quoted(std::string_view text, std::size_t limit) {
  std::string out(text.substr(0, limit));
  for (auto& c : out) {
    if (c < 0x20 || c > 0x7E) c = '?';
  }
  return text.size() > limit ? out + "..." : out;
}

// Masking keys for client frames. The peer (and anyone between) must not be able to predict
// them, so they come from OpenSSL's generator, drawn a batch at a time: one call serves
// many frames.
class MaskKeys {
 public:
  std::array<std::uint8_t, 4> next() {
    if (used_ == keys_.size()) refill();
    return keys_[used_++];
  }

 private:
  void refill() {
    if (RAND_bytes(keys_.front().data(), static_cast<int>(sizeof(keys_))) != 1) {
      // Only an unseeded generator fails, which a working Linux system never has.
      platform::fatalError("OpenSSL has no random bytes for WebSocket masking keys");
    }
    used_ = 0;
  }

  std::array<std::array<std::uint8_t, 4>, 256> keys_{};
  std::size_t used_ = keys_.size();
};

// beast::ssl_stream with a teardown of its own. Clang 16 sees Beast 1.81's teardown for
// ssl_stream twice (the friend declaration and the definition) and refuses the call as
// ambiguous; these exact matches win over both.
class TLSStream : public beast::ssl_stream<beast::tcp_stream> {
 public:
  using beast::ssl_stream<beast::tcp_stream>::ssl_stream;
};

[[maybe_unused]] void teardown(beast::role_type, TLSStream& stream, error_code& ec) {
  stream.shutdown(ec);
}

template <class TeardownHandler>
void async_teardown(beast::role_type, TLSStream& stream, TeardownHandler&& handler) {
  stream.async_shutdown(std::forward<TeardownHandler>(handler));
}

// The layer under the WebSocket stream that all writing goes through. Data frames do not
// take Beast's one-message-at-a-time write: the transport appends each whole frame here
// (framed and masked as a client's must be, and not compressed, which permessage-deflate
// allows), and Beast's own writes (the upgrade request, control frames, the close frame) are
// appended whole as well, so frames never interleave. Whatever accumulated while the layer
// below was busy leaves in one write: one TLS record and one system call for many small
// frames. Each data frame's `done` is told once the write that carried it has ended. After
// a failed write everything fails with its error.
//
// Strand: used only on the transport's strand. A write under way, or one scheduled, keeps
// the owner alive (the transport, which owns the stream) through `setOwner`.
template <class NextLayer>
class CoalescingStream {
 public:
  using executor_type = typename NextLayer::executor_type;

  template <class... Args>
  explicit CoalescingStream(Args&&... args) : next_(std::forward<Args>(args)...) {}

  executor_type get_executor() noexcept { return next_.get_executor(); }
  NextLayer& next_layer() noexcept { return next_; }
  const NextLayer& next_layer() const noexcept { return next_; }

  void setOwner(std::weak_ptr<void> owner) { owner_ = std::move(owner); }
  void setBudget(std::shared_ptr<SendBudget> budget) { budget_ = std::move(budget); }

  template <class MutableBufferSequence, class ReadHandler>
  auto async_read_some(const MutableBufferSequence& buffers, ReadHandler&& handler) {
    return next_.async_read_some(buffers, std::forward<ReadHandler>(handler));
  }

  // Beast's writes: taken whole, and reported written at once.
  template <class ConstBufferSequence, class WriteHandler>
  auto async_write_some(const ConstBufferSequence& buffers, WriteHandler&& handler) {
    return asio::async_initiate<WriteHandler, void(error_code, std::size_t)>(
        [this](auto handler, const ConstBufferSequence& buffers) {
          std::size_t size = 0;
          if (!error_) {
            for (auto it = asio::buffer_sequence_begin(buffers);
                 it != asio::buffer_sequence_end(buffers); ++it) {
              const asio::const_buffer buffer(*it);
              pending_.bytes.append(static_cast<const char*>(buffer.data()), buffer.size());
              size += buffer.size();
            }
            scheduleFlush();
          }
          asio::post(get_executor(), beast::bind_front_handler(std::move(handler), error_, size));
        },
        handler, buffers);
  }

  // One whole, unfragmented data frame.
  void appendFrame(Transport::Frame frame) {
    if (error_) return dropFrame(frame);
    std::array<std::uint8_t, 14> header{};
    std::size_t length = 0;
    header[length++] = 0x80 | (frame.binary ? 0x2 : 0x1);  // FIN and the opcode
    const std::uint64_t size = frame.lead.size() + frame.bytes.size();
    if (size < 126) {
      header[length++] = 0x80 | static_cast<std::uint8_t>(size);  // masked
    } else if (size <= 0xFFFF) {
      header[length++] = 0x80 | 126;
      for (int shift = 8; shift >= 0; shift -= 8) header[length++] = (size >> shift) & 0xFF;
    } else {
      header[length++] = 0x80 | 127;
      for (int shift = 56; shift >= 0; shift -= 8) header[length++] = (size >> shift) & 0xFF;
    }
    const auto mask = masks_.next();
    for (const auto byte : mask) header[length++] = byte;
    auto& bytes = pending_.bytes;
    bytes.append(reinterpret_cast<const char*>(header.data()), length);
    const std::size_t at = bytes.size();
    bytes.resize(at + size);
    auto* out = reinterpret_cast<std::uint8_t*>(bytes.data() + at);
    std::size_t i = 0;
    for (const auto piece : {frame.lead, std::string_view(frame.bytes)}) {
      for (const char c : piece) {
        out[i] = static_cast<std::uint8_t>(c) ^ mask[i & 3];
        ++i;
      }
    }
    if (frame.done) pending_.done.push_back(std::move(frame.done));
    pending_.budgeted += frame.budgeted;
    scheduleFlush();
  }

  // A frame that will not be written.
  void dropFrame(Transport::Frame& frame) {
    if (budget_) budget_->release(frame.budgeted);
    if (frame.done) frame.done(false);
  }

  // Calls `done` once everything appended so far is written (or writing failed).
  void whenFlushed(std::move_only_function<void(error_code)> done) {
    if (error_ || (!flushing_ && pending_.bytes.empty())) return done(error_);
    flushed_.push_back(std::move(done));
  }

  // Gives up on what is not written yet; a write under way ends with the socket.
  void abandon(error_code ec) {
    if (!error_) error_ = ec;
    finishBatch(pending_, false);
    for (auto& done : std::exchange(flushed_, {})) done(error_);
  }

 private:
  struct Batch {
    std::string bytes;
    std::vector<Transport::WriteDone> done;
    std::size_t budgeted = 0;
  };

  // Tells the frames of a batch how it went and empties it, keeping its capacity.
  void finishBatch(Batch& batch, bool written) {
    if (budget_) budget_->release(std::exchange(batch.budgeted, 0));
    batch.bytes.clear();
    auto done = std::move(batch.done);
    batch.done.clear();
    for (auto& report : done) report(written);
  }

  // The write starts once the handler under way has finished, so that whatever it appends
  // leaves together.
  void scheduleFlush() {
    if (flushing_ || flushScheduled_) return;
    auto owner = owner_.lock();
    if (!owner) return;
    flushScheduled_ = true;
    asio::post(get_executor(), [this, owner = std::move(owner)] {
      flushScheduled_ = false;
      flush();
    });
  }

  // One write at a time: the batch being written and the one filling swap places.
  void flush() {
    if (flushing_ || error_ || pending_.bytes.empty()) return;
    auto owner = owner_.lock();
    if (!owner) return;
    flushing_ = true;
    std::swap(pending_, writing_);
    asio::async_write(
        next_, asio::buffer(writing_.bytes),
        [this, owner = std::move(owner)](error_code ec, std::size_t) { onFlushed(ec); });
  }

  void onFlushed(error_code ec) {
    flushing_ = false;
    finishBatch(writing_, !ec);
    if (ec) return abandon(ec);
    // What came in meanwhile goes now: it has waited for this write already.
    flush();
    if (!flushing_ && pending_.bytes.empty()) {
      for (auto& done : std::exchange(flushed_, {})) done(error_);
    }
  }

  NextLayer next_;
  std::weak_ptr<void> owner_;
  std::shared_ptr<SendBudget> budget_;
  Batch pending_;
  Batch writing_;
  bool flushing_ = false;
  bool flushScheduled_ = false;
  error_code error_;
  std::vector<std::move_only_function<void(error_code)>> flushed_;
  MaskKeys masks_;
};

// The close handshake's teardown: what was written goes out first.
template <class NextLayer, class TeardownHandler>
void async_teardown(beast::role_type role, CoalescingStream<NextLayer>& stream,
                    TeardownHandler&& handler) {
  stream.whenFlushed(
      [&stream, role, handler = std::forward<TeardownHandler>(handler)](error_code) mutable {
        using beast::websocket::async_teardown;
        async_teardown(role, stream.next_layer(), std::move(handler));
      });
}

template <class NextLayer>
void teardown(beast::role_type role, CoalescingStream<NextLayer>& stream, error_code& ec) {
  using beast::websocket::teardown;
  teardown(role, stream.next_layer(), ec);
}

template <bool kSecure>
class WebSocketTransport final : public Transport,
                                 public std::enable_shared_from_this<WebSocketTransport<kSecure>> {
  using Lower = std::conditional_t<kSecure, TLSStream, beast::tcp_stream>;
  using Stream = websocket::stream<CoalescingStream<Lower>>;

 public:
  WebSocketTransport(Strand strand, TransportTarget target, Events events,
                     std::shared_ptr<SendBudget> budget)
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
    ws_->next_layer().setBudget(std::move(budget));
  }

  void open() override {
    auto self = this->shared_from_this();
    // Failures are reported from the strand, never from inside open().
    const auto failLater = [&](std::string message) {
      asio::post(strand_, [self, message = std::move(message)] { self->fail(message); });
    };
    if (!setupProblem_.empty()) return failLater(setupProblem_);
    ws_->next_layer().setOwner(self);
    if (auto route = platform::ConnectToTable::shared().route(target_.host, target_.port)) {
      error_code ec;
      const auto address = asio::ip::make_address(route->address, ec);
      if (ec) return failLater("connect-to route: " + ec.message());
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
    if (finished_ || closing_) return ws_->next_layer().dropFrame(frame);
    if (!opened_) {
      early_.push_back(std::move(frame));
      return;
    }
    ws_->next_layer().appendFrame(std::move(frame));
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
    startClose();
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
      auto& tls = ws_->next_layer().next_layer();
      if (!checkNameAndSendSNI(tls.native_handle())) return fail("TLS: server name refused");
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
        const long result = SSL_get_verify_result(ws_->next_layer().next_layer().native_handle());
        if (result == X509_V_ERR_HOSTNAME_MISMATCH || result == X509_V_ERR_IP_ADDRESS_MISMATCH) {
          message += " (the certificate is not for " + target_.host + ")";
        } else if (result != X509_V_OK) {
          message += std::string(" (") + X509_verify_cert_error_string(result) + ")";
        }
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
    ws_->async_handshake(upgradeResponse_, target_.hostHeader, target_.target,
                         [self](error_code ec) { self->onUpgrade(ec); });
  }

  void onUpgrade(error_code ec) {
    if (finished_) return;
    if (ec == websocket::error::upgrade_declined) {
      const auto& response = upgradeResponse_;
      return fail("WebSocket upgrade declined: HTTP " + std::to_string(response.result_int()) +
                  " " + quoted(response.reason(), kQuotedBodyBytes) + ": " +
                  quoted(response.body(), kQuotedBodyBytes));
    }
    if (ec) return fail("WebSocket upgrade: " + ec.message());
    upgradeResponse_ = {};
    opened_ = true;
    // A shorter bound for the close handshake than for the opening one.
    websocket::stream_base::timeout timeouts{};
    timeouts.handshake_timeout = kCloseTimeout;
    timeouts.idle_timeout = websocket::stream_base::none();
    timeouts.keep_alive_pings = false;
    ws_->set_option(timeouts);
    if (events_.opened) events_.opened();
    if (finished_) return;
    for (auto& frame : std::exchange(early_, {})) {
      ws_->next_layer().appendFrame(std::move(frame));
    }
    if (closing_) startClose();
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

  void startClose() {
    if (closeStarted_ || finished_) return;
    closeStarted_ = true;
    auto self = this->shared_from_this();
    ws_->async_close(websocket::close_code::normal, [self](error_code ec) {
      self->finish({true, !ec, ec ? "close: " + ec.message() : "closed by the client"});
    });
  }

  // OpenSSL checks the certificate against the host (so that a mismatch is reported as
  // one); IP literals have no server name to send (RFC 6066), the check still covers them.
  bool checkNameAndSendSNI(SSL* tls) {
    if (isIPLiteral(target_.host)) {
      return X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(tls), target_.host.c_str()) == 1;
    }
    return SSL_set1_host(tls, target_.host.c_str()) == 1 &&
           SSL_set_tlsext_host_name(tls, target_.host.c_str()) == 1;
  }

  void fail(std::string message) { finish({false, false, std::move(message)}); }

  void finish(Closure closure) {
    if (finished_) return;
    finished_ = true;
    for (auto& frame : std::exchange(early_, {})) ws_->next_layer().dropFrame(frame);
    ws_->next_layer().abandon(asio::error::operation_aborted);
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
  websocket::response_type upgradeResponse_;
  std::vector<Frame> early_;  // sent before the upgrade was done
  std::function<void()> whenClosed_;
  bool opened_ = false;
  bool closing_ = false;
  bool closeStarted_ = false;
  bool finished_ = false;
  bool silent_ = false;
};

}  // namespace

std::shared_ptr<Transport> Transport::make(Strand strand, TransportTarget target, Events events,
                                           std::shared_ptr<SendBudget> budget) {
  if (target.secure) {
    return std::make_shared<WebSocketTransport<true>>(std::move(strand), std::move(target),
                                                      std::move(events), std::move(budget));
  }
  return std::make_shared<WebSocketTransport<false>>(std::move(strand), std::move(target),
                                                     std::move(events), std::move(budget));
}

}  // namespace socketio::detail
