#include "SocketIO/Client/ManagerSettings.h"

#include <algorithm>

#include "Platform/Dispatch/DispatchQueue.h"
#include "Platform/Foundation/ASCII.h"
#include "Platform/Foundation/URLComponents.h"
#include "Platform/Foundation/UTF8.h"
#include "Platform/Network/HTTPHeaders.h"

namespace socketio::detail {
namespace {

using Option = SocketIOClientOption;

// Applies each option to the settings; the few that need the whole configuration first are
// kept aside.
struct OptionReader {
  ManagerSettings& settings;
  std::shared_ptr<platform::DispatchQueue> queue;
  bool secure = false;

  void operator()(const Option::Compress& o) { settings.compress = o.value; }
  void operator()(const Option::ConnectParams& o) {
    settings.connectParams.assign(o.value.begin(), o.value.end());
  }
  void operator()(const Option::ExtraHeaders& o) {
    settings.extraHeaders.assign(o.value.begin(), o.value.end());
  }
  void operator()(const Option::ForceWebsockets& o) { settings.forceWebsockets = o.value; }
  void operator()(const Option::HandleQueue& o) { queue = o.value; }
  void operator()(const Option::Log& o) { settings.log = o.value; }
  void operator()(const Option::MaxQueuedBytes& o) { settings.maxQueuedBytes = o.value; }
  void operator()(const Option::Path& o) { settings.path = o.value; }
  void operator()(const Option::Reconnects& o) { settings.reconnects = o.value; }
  void operator()(const Option::ReconnectAttempts& o) {
    settings.reconnectAttempts = std::max(o.value, -1);
  }
  void operator()(const Option::ReconnectWait& o) {
    settings.reconnectWait = std::max(o.value, std::chrono::milliseconds(0));
  }
  void operator()(const Option::ReconnectWaitMax& o) {
    settings.reconnectWaitMax = std::max(o.value, std::chrono::milliseconds(0));
  }
  void operator()(const Option::Secure& o) { secure = o.value; }
  void operator()(const Option::Version& o) { settings.version = o.value; }
};

// The request target of the upgrade: the path between slashes, escaped where a path may not
// hold a byte raw, and the Engine.IO query with the host's parameters.
std::string requestTarget(const ManagerSettings& settings) {
  std::string path = settings.path;
  if (!path.starts_with('/')) path.insert(path.begin(), '/');
  if (!path.ends_with('/')) path.push_back('/');
  std::vector<platform::URLQueryItem> query{
      {"EIO", settings.protocol() == EngineProtocol::v3 ? "3" : "4"}, {"transport", "websocket"}};
  for (const auto& [name, value] : settings.connectParams) query.push_back({name, value});
  platform::URLComponents components;
  components.setPath(path);
  components.setQueryItems(query);
  return components.string().value_or(path);
}

// Handlers run one at a time: a global queue is reached through a serial queue of our own.
std::shared_ptr<platform::DispatchQueue> handleQueueFor(
    std::shared_ptr<platform::DispatchQueue> queue) {
  if (!queue) return platform::DispatchQueue::main();
  for (const auto qos : {platform::DispatchQoS::background, platform::DispatchQoS::utility,
                         platform::DispatchQoS::defaultQoS, platform::DispatchQoS::userInitiated,
                         platform::DispatchQoS::userInteractive}) {
    if (queue == platform::DispatchQueue::global(qos)) {
      return platform::DispatchQueue::makeSerial("socketio.handle", queue->qos(), queue);
    }
  }
  return queue;
}

// Scheme, host and port; the first problem found, when there is one.
std::string readURL(const platform::URL& url, bool secureOption, ManagerSettings& settings) {
  const std::string scheme = platform::asciiLowercased(url.scheme());
  if (scheme == "https" || scheme == "wss") {
    settings.secure = true;
  } else if (scheme == "http" || scheme == "ws") {
    settings.secure = secureOption;
  } else {
    return "unsupported URL scheme \"" + url.scheme() + "\"";
  }
  const auto host = url.host();
  if (!host || host->empty()) return "URL has no host";
  if (!platform::isValidUTF8(*host) ||
      host->find_first_of(std::string_view("\r\n\0 /", 5)) != std::string::npos) {
    return "URL host is not usable";
  }
  settings.host = *host;
  const auto port = url.port();
  if (port && (*port < 1 || *port > 65535)) return "URL port out of range";
  settings.port = port ? static_cast<std::uint16_t>(*port) : (settings.secure ? 443 : 80);
  return {};
}

std::string headersProblem(const ManagerSettings& settings) {
  for (const auto& [name, value] : settings.extraHeaders) {
    if (auto problem = platform::headerFieldProblem(name, value)) return "extra header " + *problem;
  }
  return {};
}

}  // namespace

ManagerSettings ManagerSettings::make(const platform::URL& url,
                                      const SocketIOClientConfiguration& config) {
  ManagerSettings settings;
  OptionReader reader{settings, nullptr};
  for (const auto& option : config) std::visit(reader, option.value());
  settings.reconnectWaitMax = std::max(settings.reconnectWaitMax, settings.reconnectWait);
  settings.handleQueue = handleQueueFor(std::move(reader.queue));
  settings.target = requestTarget(settings);
  settings.problem = readURL(url, reader.secure, settings);
  if (settings.problem.empty()) settings.problem = headersProblem(settings);
  return settings;
}

std::string ManagerSettings::hostHeader() const {
  std::string header = host.find(':') != std::string::npos ? "[" + host + "]" : host;
  if (port != (secure ? 443 : 80)) header += ":" + std::to_string(port);
  return header;
}

}  // namespace socketio::detail
