#include "SocketIO/Client/ManagerSettings.h"

#include <algorithm>
#include <type_traits>

#include "Platform/Dispatch/DispatchQueue.h"
#include "Platform/Foundation/ASCII.h"
#include "Platform/Foundation/UTF8.h"

namespace socketio::detail {
namespace {

bool isUnreserved(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

// Form decoding restores every byte: all but the unreserved characters are escaped.
std::string percentEncoded(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (isUnreserved(c)) {
      out.push_back(c);
    } else {
      const auto byte = static_cast<unsigned char>(c);
      out.push_back('%');
      out.push_back(kHex[byte >> 4]);
      out.push_back(kHex[byte & 0xF]);
    }
  }
  return out;
}

bool isToken(std::string_view name) {
  static constexpr std::string_view kSpecials = "!#$%&'*+-.^_`|~";
  return !name.empty() && std::ranges::all_of(name, [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           kSpecials.find(c) != std::string_view::npos;
  });
}

// A header value must not be able to end the header: no CR, LF or NUL.
bool isFieldValue(std::string_view value) {
  return value.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

bool isGlobal(const std::shared_ptr<platform::DispatchQueue>& queue) {
  for (const auto qos : {platform::DispatchQoS::background, platform::DispatchQoS::utility,
                         platform::DispatchQoS::defaultQoS, platform::DispatchQoS::userInitiated,
                         platform::DispatchQoS::userInteractive}) {
    if (queue == platform::DispatchQueue::global(qos)) return true;
  }
  return false;
}

}  // namespace

ManagerSettings ManagerSettings::make(const platform::URL& url,
                                      const SocketIOClientConfiguration& config) {
  ManagerSettings settings;
  std::shared_ptr<platform::DispatchQueue> queue;
  bool secureOption = false;
  for (const auto& option : config) {
    std::visit(
        [&](const auto& o) {
          using O = std::decay_t<decltype(o)>;
          if constexpr (std::is_same_v<O, SocketIOClientOption::Compress>) {
            settings.compress = o.value;
          } else if constexpr (std::is_same_v<O, SocketIOClientOption::ConnectParams>) {
            settings.connectParams.assign(o.value.begin(), o.value.end());
          } else if constexpr (std::is_same_v<O, SocketIOClientOption::ExtraHeaders>) {
            settings.extraHeaders.clear();
            for (const auto& [name, value] : o.value) {
              if (isToken(name) && isFieldValue(value))
                settings.extraHeaders.emplace_back(name, value);
            }
          } else if constexpr (std::is_same_v<O, SocketIOClientOption::ForceWebsockets>) {
            settings.forceWebsockets = o.value;
          } else if constexpr (std::is_same_v<O, SocketIOClientOption::HandleQueue>) {
            queue = o.value;
          } else if constexpr (std::is_same_v<O, SocketIOClientOption::Log>) {
            settings.log = o.value;
          } else if constexpr (std::is_same_v<O, SocketIOClientOption::Path>) {
            settings.path = o.value;
          } else if constexpr (std::is_same_v<O, SocketIOClientOption::Reconnects>) {
            settings.reconnects = o.value;
          } else if constexpr (std::is_same_v<O, SocketIOClientOption::ReconnectAttempts>) {
            settings.reconnectAttempts = std::max(o.value, -1);
          } else if constexpr (std::is_same_v<O, SocketIOClientOption::ReconnectWait>) {
            settings.reconnectWait = std::max(o.value, std::chrono::milliseconds(0));
          } else if constexpr (std::is_same_v<O, SocketIOClientOption::ReconnectWaitMax>) {
            settings.reconnectWaitMax = std::max(o.value, std::chrono::milliseconds(0));
          } else if constexpr (std::is_same_v<O, SocketIOClientOption::Secure>) {
            secureOption = o.value;
          } else if constexpr (std::is_same_v<O, SocketIOClientOption::Version>) {
            settings.version = o.value;
          }
        },
        option.value());
  }
  settings.reconnectWaitMax = std::max(settings.reconnectWaitMax, settings.reconnectWait);

  // The path goes into the request line: it must start with "/", and everything a path may
  // not hold raw is escaped.
  std::string path;
  for (const char c : settings.path) {
    if (isUnreserved(c) || c == '/' || c == '@' || c == ':' || c == '!' || c == '$' || c == '&' ||
        c == '\'' || c == '(' || c == ')' || c == '*' || c == '+' || c == ',' || c == ';' ||
        c == '=') {
      path.push_back(c);
    } else {
      path.append(percentEncoded(std::string_view(&c, 1)));
    }
  }
  if (path.empty() || path.front() != '/') path.insert(path.begin(), '/');
  if (path.back() != '/') path.push_back('/');
  settings.path = std::move(path);

  if (!queue) queue = platform::DispatchQueue::main();
  if (isGlobal(queue)) {
    queue = platform::DispatchQueue::makeSerial("socketio.handle", queue->qos(), queue);
  }
  settings.handleQueue = std::move(queue);

  const auto scheme = url.scheme();
  const std::string lowerScheme = platform::asciiLowercased(scheme);
  if (lowerScheme == "https" || lowerScheme == "wss") {
    settings.secure = true;
  } else if (lowerScheme == "http" || lowerScheme == "ws") {
    settings.secure = secureOption;
  } else {
    settings.urlProblem = "unsupported URL scheme \"" + scheme + "\"";
  }
  const auto host = url.host();
  if (!host || host->empty()) {
    if (settings.urlProblem.empty()) settings.urlProblem = "URL has no host";
  } else if (!platform::isValidUTF8(*host) ||
             host->find_first_of(std::string_view("\r\n\0 /", 5)) != std::string::npos) {
    if (settings.urlProblem.empty()) settings.urlProblem = "URL host is not usable";
  } else {
    settings.host = *host;
  }
  const auto port = url.port();
  if (port && (*port < 1 || *port > 65535)) {
    if (settings.urlProblem.empty()) settings.urlProblem = "URL port out of range";
  } else {
    settings.port = port ? static_cast<std::uint16_t>(*port) : (settings.secure ? 443 : 80);
  }
  return settings;
}

std::string ManagerSettings::target() const {
  std::string target = path;
  target += "?EIO=";
  target += protocol() == EngineProtocol::v3 ? "3" : "4";
  target += "&transport=websocket";
  for (const auto& [name, value] : connectParams) {
    target += '&';
    target += percentEncoded(name);
    target += '=';
    target += percentEncoded(value);
  }
  return target;
}

std::string ManagerSettings::hostHeader() const {
  std::string header = host.find(':') != std::string::npos ? "[" + host + "]" : host;
  if (port != (secure ? 443 : 80)) header += ":" + std::to_string(port);
  return header;
}

}  // namespace socketio::detail
