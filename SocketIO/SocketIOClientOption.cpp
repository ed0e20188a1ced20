#include "SocketIO/SocketIOClientOption.h"

#include <utility>

namespace socketio {

SocketIOClientOption SocketIOClientOption::compress(bool enabled) {
  return SocketIOClientOption(Compress{enabled});
}

SocketIOClientOption SocketIOClientOption::connectParams(
    std::map<std::string, std::string> params) {
  return SocketIOClientOption(ConnectParams{std::move(params)});
}

SocketIOClientOption SocketIOClientOption::extraHeaders(
    std::map<std::string, std::string> headers) {
  return SocketIOClientOption(ExtraHeaders{std::move(headers)});
}

SocketIOClientOption SocketIOClientOption::forceWebsockets(bool force) {
  return SocketIOClientOption(ForceWebsockets{force});
}

SocketIOClientOption SocketIOClientOption::handleQueue(
    std::shared_ptr<platform::DispatchQueue> queue) {
  return SocketIOClientOption(HandleQueue{std::move(queue)});
}

SocketIOClientOption SocketIOClientOption::maxQueuedBytes(std::size_t bytes) {
  return SocketIOClientOption(MaxQueuedBytes{bytes});
}

SocketIOClientOption SocketIOClientOption::log(bool log) {
  return SocketIOClientOption(Log{log});
}

SocketIOClientOption SocketIOClientOption::path(std::string path) {
  return SocketIOClientOption(Path{std::move(path)});
}

SocketIOClientOption SocketIOClientOption::reconnects(bool reconnects) {
  return SocketIOClientOption(Reconnects{reconnects});
}

SocketIOClientOption SocketIOClientOption::reconnectAttempts(int attempts) {
  return SocketIOClientOption(ReconnectAttempts{attempts});
}

SocketIOClientOption SocketIOClientOption::reconnectWait(std::chrono::milliseconds wait) {
  return SocketIOClientOption(ReconnectWait{wait});
}

SocketIOClientOption SocketIOClientOption::reconnectWaitMax(std::chrono::milliseconds wait) {
  return SocketIOClientOption(ReconnectWaitMax{wait});
}

SocketIOClientOption SocketIOClientOption::secure(bool secure) {
  return SocketIOClientOption(Secure{secure});
}

SocketIOClientOption SocketIOClientOption::version(SocketIOVersion version) {
  return SocketIOClientOption(Version{version});
}

}  // namespace socketio
