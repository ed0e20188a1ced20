#include "Classes/Utils/Reachability.h"

#include <netinet/in.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "Classes/Utils/ReachabilityFlagsDescription.h"
#include "Classes/Utils/ReachabilityWeakifier.h"
#include "Platform/Foundation/NotificationCenter.h"
#include "Platform/Network/ReachabilityTarget.h"

namespace brelum {

namespace {

using platform::DispatchQueue;
using platform::ReachabilityFlags;
using platform::ReachabilityTarget;

constexpr const char* kSerialQueueLabel = "com.brelum.core.reachability";
constexpr std::uint64_t kFlagsKnown = std::uint64_t{1} << 32;

std::uint64_t encode(std::optional<ReachabilityFlags> flags) {
  return flags ? kFlagsKnown | flags->rawValue : 0;
}

std::optional<ReachabilityFlags> decode(std::uint64_t stored) {
  if ((stored & kFlagsKnown) == 0) return std::nullopt;
  return ReachabilityFlags{static_cast<std::uint32_t>(stored)};
}

}  // namespace

const std::string& reachabilityChanged() {
  static const std::string name = "reachabilityChanged";
  return name;
}

const std::string& ReachabilityChangedNotification() {
  static const std::string name = "ReachabilityChangedNotification";
  return name;
}

std::string_view description(Reachability::Connection connection) {
  switch (connection) {
    case Reachability::Connection::none:
      return "unavailable";
    case Reachability::Connection::unavailable:
      return "No Connection";
    case Reachability::Connection::wifi:
      return "WiFi";
    case Reachability::Connection::cellular:
      return "Cellular";
  }
  return "unavailable";
}

std::string_view description(Reachability::NetworkStatus status) {
  switch (status) {
    case Reachability::NetworkStatus::notReachable:
      return "No Connection";
    case Reachability::NetworkStatus::reachableViaWiFi:
      return "WiFi";
    case Reachability::NetworkStatus::reachableViaWWAN:
      return "Cellular";
  }
  return "No Connection";
}

Reachability::Reachability(std::shared_ptr<ReachabilityTarget> reachabilityRef,
                           platform::DispatchQoS queueQoS,
                           std::shared_ptr<DispatchQueue> targetQueue,
                           std::shared_ptr<DispatchQueue> notificationQueue)
    : notificationCenter_(platform::NotificationCenter::defaultCenter()),
      reachabilityRef_(std::move(reachabilityRef)),
      reachabilitySerialQueue_(
          DispatchQueue::makeSerial(kSerialQueueLabel, queueQoS, std::move(targetQueue))),
      notificationQueue_(std::move(notificationQueue)) {
}

std::shared_ptr<Reachability> Reachability::make(
    std::shared_ptr<ReachabilityTarget> reachabilityRef, platform::DispatchQoS queueQoS,
    std::shared_ptr<DispatchQueue> targetQueue, std::shared_ptr<DispatchQueue> notificationQueue) {
  return std::shared_ptr<Reachability>(new Reachability(
      std::move(reachabilityRef), queueQoS, std::move(targetQueue), std::move(notificationQueue)));
}

std::shared_ptr<Reachability> Reachability::make(const std::string& hostname,
                                                 platform::DispatchQoS queueQoS,
                                                 std::shared_ptr<DispatchQueue> targetQueue,
                                                 std::shared_ptr<DispatchQueue> notificationQueue) {
  auto target = ReachabilityTarget::makeWithName(hostname);
  if (!target) throw ReachabilityError::failedToCreateWithHostname(hostname, target.error());
  return make(std::move(*target), queueQoS, std::move(targetQueue), std::move(notificationQueue));
}

std::shared_ptr<Reachability> Reachability::make(platform::DispatchQoS queueQoS,
                                                 std::shared_ptr<DispatchQueue> targetQueue,
                                                 std::shared_ptr<DispatchQueue> notificationQueue) {
  // The 16-byte IPv4 socket address with every byte but the family zero.
  sockaddr zeroAddress{};
  zeroAddress.sa_family = AF_INET;
  static_assert(sizeof zeroAddress == 16 && sizeof zeroAddress >= sizeof(sockaddr_in));
  auto target = ReachabilityTarget::makeWithAddress(&zeroAddress, sizeof zeroAddress);
  if (!target) throw ReachabilityError::failedToCreateWithAddress(zeroAddress, target.error());
  return make(std::move(*target), queueQoS, std::move(targetQueue), std::move(notificationQueue));
}

Reachability::~Reachability() {
  stopNotifier();
}

Reachability::Closure Reachability::whenReachable() const {
  std::lock_guard lock(mutex_);
  return whenReachable_;
}

void Reachability::setWhenReachable(Closure closure) {
  std::lock_guard lock(mutex_);
  whenReachable_ = std::move(closure);
}

Reachability::Closure Reachability::whenUnreachable() const {
  std::lock_guard lock(mutex_);
  return whenUnreachable_;
}

void Reachability::setWhenUnreachable(Closure closure) {
  std::lock_guard lock(mutex_);
  whenUnreachable_ = std::move(closure);
}

bool Reachability::allowsCellularConnection() const {
  std::lock_guard lock(mutex_);
  return allowsCellularConnection_;
}

void Reachability::setAllowsCellularConnection(bool allowsCellularConnection) {
  std::lock_guard lock(mutex_);
  allowsCellularConnection_ = allowsCellularConnection;
}

std::shared_ptr<platform::NotificationCenter> Reachability::notificationCenter() const {
  std::lock_guard lock(mutex_);
  return notificationCenter_;
}

void Reachability::setNotificationCenter(std::shared_ptr<platform::NotificationCenter> center) {
  std::lock_guard lock(mutex_);
  notificationCenter_ = std::move(center);
}

std::string Reachability::currentReachabilityString() {
  return std::string(brelum::description(connection()));
}

Reachability::Connection Reachability::currentReachabilityStatus() {
  return connection();
}

Reachability::Connection Reachability::connection() {
  if (!flags()) {
    try {
      setReachabilityFlags();
    } catch (const ReachabilityError&) {
      // Answered from whatever is stored: nothing, so `unavailable`.
    }
  }
  const auto stored = flags();
  if (!stored) return Connection::unavailable;
  return stored->contains(ReachabilityFlags::reachable) ? Connection::wifi
                                                        : Connection::unavailable;
}

bool Reachability::isRunningOnDevice() const {
  return isRunningOnDevice_;
}

void Reachability::setIsRunningOnDevice(bool isRunningOnDevice) {
  isRunningOnDevice_ = isRunningOnDevice;
}

bool Reachability::notifierRunning() const {
  return notifierRunning_;
}

void Reachability::setNotifierRunning(bool notifierRunning) {
  notifierRunning_ = notifierRunning;
}

std::optional<ReachabilityFlags> Reachability::flags() const {
  return decode(flags_.load());
}

void Reachability::setFlags(std::optional<ReachabilityFlags> flags) {
  const auto stored = encode(flags);
  if (flags_.exchange(stored) != stored) notifyReachabilityChanged();
}

void Reachability::startNotifier() {
  if (notifierRunning()) return;

  // The target's registration takes its own reference to the weakifier; this one ends
  // when the function returns.
  auto weakifier = detail::ReachabilityWeakifier::make(weak_from_this());
  const auto context = weakifier->context();
  const auto callbackSet = reachabilityRef_
                               ? reachabilityRef_->setCallback(&Reachability::callback, &context)
                               : std::expected<void, int>(std::unexpected(EINVAL));
  if (!callbackSet) {
    stopNotifier();
    throw ReachabilityError::unableToSetCallback(callbackSet.error());
  }
  const auto queueSet = reachabilityRef_->setDispatchQueue(reachabilitySerialQueue_);
  if (!queueSet) {
    stopNotifier();
    throw ReachabilityError::unableToSetDispatchQueue(queueSet.error());
  }
  setReachabilityFlags();
  setNotifierRunning(true);
}

void Reachability::stopNotifier() {
  if (reachabilityRef_) {
    (void)reachabilityRef_->setCallback(nullptr, nullptr);
    (void)reachabilityRef_->setDispatchQueue(nullptr);
  }
  setNotifierRunning(false);
}

bool Reachability::isReachable() {
  return connection() != Connection::unavailable;
}

bool Reachability::isReachableViaWWAN() {
  return connection() == Connection::cellular;
}

bool Reachability::isReachableViaWiFi() {
  return connection() == Connection::wifi;
}

std::string Reachability::description() const {
  const auto stored = flags();
  return stored ? detail::description(*stored) : "unavailable flags";
}

void Reachability::callback(ReachabilityTarget&, ReachabilityFlags flags, void* info) {
  if (!info) return;
  auto* weakifier = static_cast<detail::ReachabilityWeakifier*>(info);
  if (auto reachability = weakifier->reachability.lock()) reachability->setFlags(flags);
}

void Reachability::setReachabilityFlags() {
  std::optional<ReachabilityError> failure;
  auto read = [this, &failure] {
    auto result = reachabilityRef_ ? reachabilityRef_->flags()
                                   : std::expected<ReachabilityFlags, int>(std::unexpected(EINVAL));
    if (!result) {
      stopNotifier();
      failure = ReachabilityError::unableToGetFlags(result.error());
      return;
    }
    setFlags(*result);
  };
  // Code already running on the serial queue (a closure called without a notification
  // queue) would wait for itself; it is the queue's turn already, so the read runs here.
  if (reachabilitySerialQueue_->isCurrent()) {
    read();
  } else {
    reachabilitySerialQueue_->sync(read);
  }
  if (failure) throw std::move(*failure);
}

void Reachability::notifyReachabilityChanged() {
  auto notify = [weak = weak_from_this()] {
    auto self = weak.lock();
    if (!self) return;
    if (self->connection() != Connection::unavailable) {
      if (auto closure = self->whenReachable()) closure(self);
    } else if (auto closure = self->whenUnreachable()) {
      closure(self);
    }
    if (auto center = self->notificationCenter()) center->post(reachabilityChanged(), self);
  };
  if (notificationQueue_) {
    notificationQueue_->async(std::move(notify));
  } else {
    notify();
  }
}

}  // namespace brelum
