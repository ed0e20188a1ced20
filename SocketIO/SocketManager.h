#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Foundation/URL.h"
#include "SocketIO/SocketIOClient.h"
#include "SocketIO/SocketIOClientOption.h"
#include "SocketIO/SocketIOStatus.h"

namespace platform {
class DispatchQueue;
}

namespace socketio {

namespace detail {
class IOThread;
class ManagerCore;
class SendBudget;
}  // namespace detail

// One Socket.IO connection (Engine.IO 4, or 3 by option, over WebSocket) to the server at a
// URL, shared by the sockets of its namespaces.
//
// The URL gives the scheme ("https"/"wss" always use TLS; "http"/"ws" when `secure` says
// so), the host and the port; the path option gives the Socket.IO path. Connections go where
// the platform's connect-to table says, with the server's name kept for SNI, the Host header
// and the certificate check.
//
// Threads: the manager runs its connection on an I/O thread of its own, where all of the
// connection's state lives; every member may be called from any thread, and handlers run on
// the handle queue. Destroying the manager (from any thread, also inside one of its
// handlers) leaves every namespace, closes the connection, cancels pending completions,
// and joins the I/O thread, waiting for it a bounded time.
class SocketManager : public std::enable_shared_from_this<SocketManager> {
 public:
  // How long destruction waits for the connection to close and the I/O thread to end.
  static constexpr std::chrono::milliseconds kShutdownDeadline{2000};

  // Nothing connects yet. A URL that cannot be used is reported when connecting.
  [[nodiscard]] static std::shared_ptr<SocketManager> make(platform::URL socketURL,
                                                           SocketIOClientConfiguration config = {});

  ~SocketManager();
  SocketManager(const SocketManager&) = delete;
  SocketManager& operator=(const SocketManager&) = delete;

  [[nodiscard]] const platform::URL& socketURL() const { return socketURL_; }
  [[nodiscard]] const SocketIOClientConfiguration& config() const { return config_; }
  [[nodiscard]] const std::shared_ptr<platform::DispatchQueue>& handleQueue() const;

  // The socket of the namespace "/".
  [[nodiscard]] std::shared_ptr<SocketIOClient> defaultSocket() const { return defaultSocket_; }
  // The socket of a namespace ("/" added in front when missing), made on first use and the
  // same one afterwards. Nothing for a namespace a packet cannot carry: one holding "," or
  // NUL, or that is not UTF-8.
  [[nodiscard]] std::shared_ptr<SocketIOClient> socket(std::string_view nsp);

  // The state of the connection itself.
  [[nodiscard]] SocketIOStatus status() const;

  // Opens the connection; sockets that are connecting join their namespaces once it is open.
  void connect();
  // Leaves every namespace and closes the connection.
  void disconnect();

 private:
  friend class SocketIOClient;

  SocketManager(platform::URL socketURL, SocketIOClientConfiguration config);

  // Runs `work` on the connection's strand.
  void post(std::move_only_function<void(detail::ManagerCore&)> work);
  [[nodiscard]] std::shared_ptr<SocketIOClient> makeSocket(const std::string& nsp);

  // Work for the I/O thread, taken in batches: one wake-up serves every call made while
  // the thread was busy.
  struct Outbox;
  static void drain(detail::ManagerCore& core, Outbox& outbox);

  const platform::URL socketURL_;
  const SocketIOClientConfiguration config_;
  std::shared_ptr<platform::DispatchQueue> handleQueue_;
  bool log_ = false;
  std::shared_ptr<std::atomic<SocketIOStatus>> status_;
  std::unique_ptr<detail::IOThread> thread_;
  std::shared_ptr<detail::ManagerCore> core_;
  std::shared_ptr<Outbox> outbox_;
  std::shared_ptr<detail::SendBudget> budget_;

  mutable std::mutex mutex_;
  std::map<std::string, std::shared_ptr<SocketIOClient>, std::less<>> sockets_;
  std::shared_ptr<SocketIOClient> defaultSocket_;
};

}  // namespace socketio
