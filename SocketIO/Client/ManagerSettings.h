#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Platform/Foundation/URL.h"
#include "SocketIO/Engine/EnginePacket.h"
#include "SocketIO/SocketIOClientOption.h"

namespace platform {
class DispatchQueue;
}

namespace socketio::detail {

// A manager's URL and configuration, resolved once into what the connection needs.
struct ManagerSettings {
  // Where to connect; `problem` says why connecting cannot work (an unusable URL, an extra
  // header that cannot go on the wire), reported on every attempt.
  std::string host;
  std::uint16_t port = 0;
  bool secure = false;
  std::string problem;

  std::string path = "/socket.io/";
  // The request target of the WebSocket upgrade: the path and the Engine.IO query.
  std::string target;
  std::vector<std::pair<std::string, std::string>> connectParams;
  std::vector<std::pair<std::string, std::string>> extraHeaders;
  bool compress = true;
  bool forceWebsockets = false;
  bool log = false;
  std::size_t maxQueuedBytes = SocketIOClientOption::kDefaultMaxQueuedBytes;
  bool reconnects = true;
  int reconnectAttempts = -1;
  std::chrono::milliseconds reconnectWait{10000};
  std::chrono::milliseconds reconnectWaitMax{30000};
  SocketIOVersion version = SocketIOVersion::three;
  // Handlers run here one at a time and in order.
  std::shared_ptr<platform::DispatchQueue> handleQueue;

  [[nodiscard]] static ManagerSettings make(const platform::URL& url,
                                            const SocketIOClientConfiguration& config);

  [[nodiscard]] EngineProtocol protocol() const {
    return version == SocketIOVersion::two ? EngineProtocol::v3 : EngineProtocol::v4;
  }
  // The Host header: the host, and the port unless it is the scheme's default.
  [[nodiscard]] std::string hostHeader() const;
};

}  // namespace socketio::detail
