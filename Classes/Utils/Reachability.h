#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "Classes/Utils/ReachabilityError.h"
#include "Platform/Dispatch/DispatchQoS.h"
#include "Platform/Dispatch/DispatchQueue.h"
#include "Platform/Network/ReachabilityFlags.h"

namespace platform {
class NotificationCenter;
class ReachabilityTarget;
}  // namespace platform

namespace brelum {

// "reachabilityChanged": posted by a monitor after each change of its stored flags, with
// the monitor as object and no user info.
[[nodiscard]] const std::string& reachabilityChanged();

// "ReachabilityChangedNotification": a name declared for hosts; no monitor posts it.
[[nodiscard]] const std::string& ReachabilityChangedNotification();

// Whether the device can reach the network, and, while the notifier runs, word of every
// change: through whenReachable / whenUnreachable and a "reachabilityChanged" notification.
//
// Threads and queues: the monitor owns a serial queue on which the platform target's
// callbacks run and every flag read happens; flags are stored only there. Closures and
// the notification run on the notification queue (asynchronously, each evaluating
// `connection` when it runs), or, without one, synchronously on the serial queue. The
// host may call every member from any thread; reading `connection` for the first time
// waits for the serial queue.
//
// Lifetime: the platform target and every pending closure block hold the monitor weakly;
// a block that finds it gone does nothing. Destruction stops the notifier first, so no
// platform callback reaches the monitor afterwards.
class Reachability : public std::enable_shared_from_this<Reachability> {
 public:
  using Closure = std::function<void(const std::shared_ptr<Reachability>& reachability)>;

  enum class Connection { none, unavailable, wifi, cellular };

  // Declared for hosts; no operation of the monitor produces or takes it.
  enum class NetworkStatus { notReachable, reachableViaWiFi, reachableViaWWAN };

  // A monitor over `reachabilityRef`, which it keeps. Never fails; without a target every
  // flag read fails with EINVAL, so the monitor answers `unavailable`.
  [[nodiscard]] static std::shared_ptr<Reachability> make(
      std::shared_ptr<platform::ReachabilityTarget> reachabilityRef,
      platform::DispatchQoS queueQoS = platform::DispatchQoS::defaultQoS,
      std::shared_ptr<platform::DispatchQueue> targetQueue = nullptr,
      std::shared_ptr<platform::DispatchQueue> notificationQueue = platform::DispatchQueue::main());

  // A monitor for a host name. Throws ReachabilityError::failedToCreateWithHostname.
  [[nodiscard]] static std::shared_ptr<Reachability> make(
      const std::string& hostname,
      platform::DispatchQoS queueQoS = platform::DispatchQoS::defaultQoS,
      std::shared_ptr<platform::DispatchQueue> targetQueue = nullptr,
      std::shared_ptr<platform::DispatchQueue> notificationQueue = platform::DispatchQueue::main());

  // A monitor for the zero IPv4 address: the device's general reachability. Throws
  // ReachabilityError::failedToCreateWithAddress.
  [[nodiscard]] static std::shared_ptr<Reachability> make(
      platform::DispatchQoS queueQoS = platform::DispatchQoS::defaultQoS,
      std::shared_ptr<platform::DispatchQueue> targetQueue = nullptr,
      std::shared_ptr<platform::DispatchQueue> notificationQueue = platform::DispatchQueue::main());

  virtual ~Reachability();
  Reachability(const Reachability&) = delete;
  Reachability& operator=(const Reachability&) = delete;

  // Called with the monitor after a change to a reachable state.
  [[nodiscard]] virtual Closure whenReachable() const;
  virtual void setWhenReachable(Closure closure);
  // Called with the monitor after a change to `unavailable`.
  [[nodiscard]] virtual Closure whenUnreachable() const;
  virtual void setWhenUnreachable(Closure closure);
  // Kept for hosts; no operation consults it.
  [[nodiscard]] virtual bool allowsCellularConnection() const;
  virtual void setAllowsCellularConnection(bool allowsCellularConnection);
  // Where change notifications are posted; the default centre at first.
  [[nodiscard]] virtual std::shared_ptr<platform::NotificationCenter> notificationCenter() const;
  virtual void setNotificationCenter(std::shared_ptr<platform::NotificationCenter> center);
  // The description of `connection`.
  [[nodiscard]] virtual std::string currentReachabilityString();
  // The same as `connection`.
  [[nodiscard]] virtual Connection currentReachabilityStatus();
  // Reads the flags once, when none are stored yet (notifying as any first read does), then
  // answers from the stored flags: `wifi` when reachable, else `unavailable`.
  [[nodiscard]] virtual Connection connection();

 protected:
  // Kept for the monitor's shape; no operation consults it.
  [[nodiscard]] virtual bool isRunningOnDevice() const;
  virtual void setIsRunningOnDevice(bool isRunningOnDevice);

 public:
  // True between a successful startNotifier() and the next stop.
  [[nodiscard]] virtual bool notifierRunning() const;

 private:
  virtual void setNotifierRunning(bool notifierRunning);

 public:
  // The last flags read; nothing before the first successful read.
  [[nodiscard]] virtual std::optional<platform::ReachabilityFlags> flags() const;

 private:
  // Stores `flags` and, when they differ from the stored ones, notifies.
  virtual void setFlags(std::optional<platform::ReachabilityFlags> flags);

 public:
  // Kept for hosts (always true); no operation consults it.
  [[nodiscard]] bool reachableOnWWAN() const { return reachableOnWWAN_; }

  // Registers for changes and reads the flags; returns at once when already running.
  // Throws ReachabilityError (unableToSetCallback, unableToSetDispatchQueue,
  // unableToGetFlags), having stopped the notifier.
  void startNotifier();
  // Unregisters; harmless at any time.
  void stopNotifier();

  [[nodiscard]] bool isReachable();
  [[nodiscard]] bool isReachableViaWWAN();
  [[nodiscard]] bool isReachableViaWiFi();
  // "unavailable flags" before the first read, then the flags' ten-character text.
  [[nodiscard]] std::string description() const;

 protected:
  Reachability(std::shared_ptr<platform::ReachabilityTarget> reachabilityRef,
               platform::DispatchQoS queueQoS, std::shared_ptr<platform::DispatchQueue> targetQueue,
               std::shared_ptr<platform::DispatchQueue> notificationQueue);

 private:
  static void callback(platform::ReachabilityTarget& target, platform::ReachabilityFlags flags,
                       void* info);
  void setReachabilityFlags();
  void notifyReachabilityChanged();

  // The host may set these from any thread while the serial queue reads them.
  mutable std::mutex mutex_;
  Closure whenReachable_;
  Closure whenUnreachable_;
  const bool reachableOnWWAN_ = true;
  bool allowsCellularConnection_ = true;
  std::shared_ptr<platform::NotificationCenter> notificationCenter_;
  std::atomic<bool> isRunningOnDevice_ = false;
  std::atomic<bool> notifierRunning_ = false;
  const std::shared_ptr<platform::ReachabilityTarget> reachabilityRef_;
  const std::shared_ptr<platform::DispatchQueue> reachabilitySerialQueue_;
  const std::shared_ptr<platform::DispatchQueue> notificationQueue_;
  // Written only on the serial queue, read from anywhere: the flags in the low 32 bits and
  // kFlagsKnown once a read has stored them.
  std::atomic<std::uint64_t> flags_ = 0;
};

[[nodiscard]] std::string_view description(Reachability::Connection connection);
[[nodiscard]] std::string_view description(Reachability::NetworkStatus status);

}  // namespace brelum
