#include "SocketIO/SocketManager.h"

#include <utility>

#include <boost/asio/post.hpp>

#include "Platform/Foundation/UTF8.h"
#include "SocketIO/Client/IOThread.h"
#include "SocketIO/Client/ManagerCore.h"
#include "SocketIO/Client/ManagerSettings.h"
#include "SocketIO/Client/SocketState.h"
#include "SocketIO/Engine/SendBudget.h"

namespace socketio {

struct SocketManager::Outbox {
  std::mutex mutex;
  std::vector<std::move_only_function<void(detail::ManagerCore&)>> work;
  // The batch the I/O thread runs; swapped with `work` so both keep their capacity.
  std::vector<std::move_only_function<void(detail::ManagerCore&)>> running;
};

std::shared_ptr<SocketManager> SocketManager::make(platform::URL socketURL,
                                                   SocketIOClientConfiguration config) {
  std::shared_ptr<SocketManager> manager(
      new SocketManager(std::move(socketURL), std::move(config)));
  std::lock_guard lock(manager->mutex_);
  manager->defaultSocket_ = manager->makeSocket("/");
  return manager;
}

SocketManager::SocketManager(platform::URL socketURL, SocketIOClientConfiguration config)
    : socketURL_(std::move(socketURL)), config_(std::move(config)) {
  auto settings = detail::ManagerSettings::make(socketURL_, config_);
  handleQueue_ = settings.handleQueue;
  log_ = settings.log;
  status_ = std::make_shared<std::atomic<SocketIOStatus>>(SocketIOStatus::notConnected);
  thread_ = std::make_unique<detail::IOThread>("socketio-io");
  budget_ = detail::SendBudget::make(settings.maxQueuedBytes);
  core_ = detail::ManagerCore::make(thread_->context(), std::move(settings), status_, budget_);
  outbox_ = std::make_shared<Outbox>();
}

SocketManager::~SocketManager() {
  {
    std::lock_guard lock(mutex_);
    for (const auto& [nsp, socket] : sockets_) socket->state_->detach();
  }
  post([](detail::ManagerCore& core) { core.shutdown(); });
  thread_->finish(kShutdownDeadline);
  // The core's I/O objects go before the context they belong to.
  core_.reset();
  thread_.reset();
}

const std::shared_ptr<platform::DispatchQueue>& SocketManager::handleQueue() const {
  return handleQueue_;
}

std::shared_ptr<SocketIOClient> SocketManager::socket(std::string_view nsp) {
  if (nsp.find(',') != std::string_view::npos || nsp.find('\0') != std::string_view::npos ||
      !platform::isValidUTF8(nsp)) {
    return nullptr;
  }
  std::string name = nsp.starts_with('/') ? std::string(nsp) : "/" + std::string(nsp);
  std::lock_guard lock(mutex_);
  if (auto found = sockets_.find(name); found != sockets_.end()) return found->second;
  return makeSocket(name);
}

SocketIOStatus SocketManager::status() const {
  return status_->load();
}

void SocketManager::connect() {
  post([](detail::ManagerCore& core) { core.connectManager(); });
}

void SocketManager::disconnect() {
  post([](detail::ManagerCore& core) { core.disconnectManager(); });
}

void SocketManager::post(std::move_only_function<void(detail::ManagerCore&)> work) {
  bool first = false;
  {
    std::lock_guard lock(outbox_->mutex);
    first = outbox_->work.empty();
    outbox_->work.push_back(std::move(work));
  }
  if (!first) return;  // the drain already posted takes it
  boost::asio::post(core_->strand(), [core = core_, outbox = outbox_] { drain(*core, *outbox); });
}

void SocketManager::drain(detail::ManagerCore& core, Outbox& outbox) {
  {
    std::lock_guard lock(outbox.mutex);
    std::swap(outbox.work, outbox.running);
  }
  for (auto& work : outbox.running) work(core);
  outbox.running.clear();
}

std::shared_ptr<SocketIOClient> SocketManager::makeSocket(const std::string& nsp) {
  auto state = std::make_shared<detail::SocketState>();
  std::shared_ptr<SocketIOClient> socket(
      new SocketIOClient(weak_from_this(), nsp, state, handleQueue_, log_));
  sockets_.emplace(nsp, socket);
  post([nsp, client = std::weak_ptr<SocketIOClient>(socket), state](detail::ManagerCore& core) {
    core.addSocket(nsp, client, state);
  });
  return socket;
}

}  // namespace socketio
