#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "SocketIO/SocketIOVersion.h"

namespace platform {
class DispatchQueue;
}

namespace socketio {

// One setting of a manager, made by the factory of its name. A configuration is a list of
// them; a later setting of the same kind replaces an earlier one.
class SocketIOClientOption {
 public:
  struct Compress {
    bool value;
  };
  struct ConnectParams {
    std::map<std::string, std::string> value;
  };
  struct ExtraHeaders {
    std::map<std::string, std::string> value;
  };
  struct ForceWebsockets {
    bool value;
  };
  struct HandleQueue {
    std::shared_ptr<platform::DispatchQueue> value;
  };
  struct Log {
    bool value;
  };
  struct MaxQueuedBytes {
    std::size_t value;
  };
  struct Path {
    std::string value;
  };
  struct Reconnects {
    bool value;
  };
  struct ReconnectAttempts {
    int value;
  };
  struct ReconnectWait {
    std::chrono::milliseconds value;
  };
  struct ReconnectWaitMax {
    std::chrono::milliseconds value;
  };
  struct Secure {
    bool value;
  };
  struct Version {
    SocketIOVersion value;
  };

  using Value = std::variant<Compress, ConnectParams, ExtraHeaders, ForceWebsockets, HandleQueue,
                             Log, MaxQueuedBytes, Path, Reconnects, ReconnectAttempts,
                             ReconnectWait, ReconnectWaitMax, Secure, Version>;

  static constexpr std::size_t kDefaultMaxQueuedBytes = 16 * 1024 * 1024;

  // Offer permessage-deflate (on by default): the server, when it agrees, compresses what it
  // sends; what we send goes uncompressed, which the extension allows.
  [[nodiscard]] static SocketIOClientOption compress(bool enabled);
  // Query parameters added to the connection URL.
  [[nodiscard]] static SocketIOClientOption connectParams(
      std::map<std::string, std::string> params);
  // Headers added to the WebSocket upgrade request. A name that is not an HTTP token, or a
  // value holding CR, LF or NUL, makes connecting fail with an error naming it.
  [[nodiscard]] static SocketIOClientOption extraHeaders(
      std::map<std::string, std::string> headers);
  // WebSocket is the only transport this client speaks; the option is taken for hosts that
  // set it and changes nothing.
  [[nodiscard]] static SocketIOClientOption forceWebsockets(bool force);
  // Where handlers and completions run: the main queue by default.
  [[nodiscard]] static SocketIOClientOption handleQueue(
      std::shared_ptr<platform::DispatchQueue> queue);
  // Log what the client does through the console (off by default).
  [[nodiscard]] static SocketIOClientOption log(bool log);
  // The most bytes of packets (events and acknowledgements of all the manager's sockets)
  // accepted for sending and not yet written, kDefaultMaxQueuedBytes by default. An emit that
  // would pass it fails at once with SocketIOError::sendQueueFull; what is queued still goes.
  [[nodiscard]] static SocketIOClientOption maxQueuedBytes(std::size_t bytes);
  // The server's Socket.IO path, "/socket.io/" by default.
  [[nodiscard]] static SocketIOClientOption path(std::string path);
  // Reconnect by itself after a connection is lost (on by default).
  [[nodiscard]] static SocketIOClientOption reconnects(bool reconnects);
  // How many attempts before giving up; -1 (the default) for no limit.
  [[nodiscard]] static SocketIOClientOption reconnectAttempts(int attempts);
  // The first wait before reconnecting (10 s by default); it doubles per attempt, to at most
  // reconnectWaitMax (30 s by default), each wait varied by up to half either way.
  [[nodiscard]] static SocketIOClientOption reconnectWait(std::chrono::milliseconds wait);
  [[nodiscard]] static SocketIOClientOption reconnectWaitMax(std::chrono::milliseconds wait);
  // Use TLS. An "https" or "wss" URL uses TLS whatever this says.
  [[nodiscard]] static SocketIOClientOption secure(bool secure);
  // The server generation (SocketIOVersion::three by default).
  [[nodiscard]] static SocketIOClientOption version(SocketIOVersion version);

  [[nodiscard]] const Value& value() const { return value_; }

 private:
  explicit SocketIOClientOption(Value value) : value_(std::move(value)) {}

  Value value_;
};

using SocketIOClientConfiguration = std::vector<SocketIOClientOption>;

}  // namespace socketio
