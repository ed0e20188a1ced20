#include "Classes/Sockets/SocketManager.h"

#include <chrono>
#include <expected>
#include <vector>

#include "Platform/Dispatch/DispatchQueue.h"
#include "SocketIO/SocketIOClient.h"
#include "SocketIO/SocketManager.h"

namespace brelum {
namespace {

using socketio::SocketAckEmitter;
using socketio::SocketClientEvent;
using socketio::SocketData;
using socketio::SocketIOClientOption;

constexpr std::chrono::milliseconds kReconnectDelay{1000};

}  // namespace

std::shared_ptr<SocketManager> SocketManager::make(const platform::URL& url, bool verbose,
                                                   bool debug) {
  return std::shared_ptr<SocketManager>(new SocketManager(url, verbose, debug));
}

SocketManager::SocketManager(const platform::URL& url, bool verbose, bool debug)
    : manager_(socketio::SocketManager::make(
          url,
          {SocketIOClientOption::forceWebsockets(true), SocketIOClientOption::reconnects(false),
           SocketIOClientOption::secure(!debug), SocketIOClientOption::log(verbose)})),
      verbose_(verbose) {
}

SocketManager::~SocketManager() {
  shouldReconnect_ = false;
  socket()->disconnect();
}

std::shared_ptr<socketio::SocketIOClient> SocketManager::socket() const {
  return manager_->defaultSocket();
}

bool SocketManager::verbose() const {
  return verbose_;
}

void SocketManager::setVerbose(bool verbose) {
  verbose_ = verbose;
}

bool SocketManager::shouldReconnect() const {
  return shouldReconnect_;
}

void SocketManager::setShouldReconnect(bool shouldReconnect) {
  shouldReconnect_ = shouldReconnect;
}

std::function<void(bool)> SocketManager::onConnectCallback() const {
  return onConnectCallback_;
}

void SocketManager::setOnConnectCallback(std::function<void(bool)> callback) {
  onConnectCallback_ = std::move(callback);
}

void SocketManager::connect(std::function<void(bool)> callback) {
  setShouldReconnect(true);
  socket()->once(
      SocketClientEvent::connect,
      [callback = std::move(callback)](const std::vector<SocketData>&, const SocketAckEmitter&) {
        if (callback) callback(true);
      });
  socket()->on(SocketClientEvent::disconnect,
               [weak = weak_from_this()](const std::vector<SocketData>&, const SocketAckEmitter&) {
                 auto self = weak.lock();
                 if (!self || !self->shouldReconnect()) return;
                 // The step does not look at shouldReconnect again: a disconnect() after this one
                 // was scheduled does not stop it.
                 platform::DispatchQueue::main()->asyncAfter(kReconnectDelay, [weak] {
                   if (auto self = weak.lock()) self->socket()->connect();
                 });
               });
  socket()->connect();
}

void SocketManager::disconnect() {
  setShouldReconnect(false);
  socket()->disconnect();
}

void SocketManager::subscribe(Once once, std::function<void()> callback) {
  socket()->once(
      std::move(once.event),
      [callback = std::move(callback)](const std::vector<SocketData>&, const SocketAckEmitter&) {
        if (callback) callback();
      });
}

void SocketManager::subscribe(On on, std::function<void()> callback) {
  socket()->on(std::move(on.event), [callback = std::move(callback)](const std::vector<SocketData>&,
                                                                     const SocketAckEmitter&) {
    if (callback) callback();
  });
}

void SocketManager::subscribe(SocketClientEvent on, std::function<void()> callback) {
  socket()->on(on, [callback = std::move(callback)](const std::vector<SocketData>&,
                                                    const SocketAckEmitter&) {
    if (callback) callback();
  });
}

void SocketManager::subscribeFirstItem(std::string event, bool once, ItemHandler deliver) {
  auto handler = [deliver = std::move(deliver)](const std::vector<SocketData>& data,
                                                const SocketAckEmitter&) {
    if (data.empty()) return;
    deliver(data.front());
  };
  if (once) {
    socket()->once(std::move(event), std::move(handler));
  } else {
    socket()->on(std::move(event), std::move(handler));
  }
}

void SocketManager::emit(const std::string& event, SocketData params) {
  std::vector<SocketData> items;
  items.push_back(std::move(params));
  socket()->emit(event, std::move(items), [](std::expected<void, socketio::SocketIOError>) {});
}

}  // namespace brelum
