#include "Platform/Foundation/NotificationCenter.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <utility>
#include <vector>

#include "Platform/Dispatch/DispatchQueue.h"

namespace platform {
namespace {

// How many observer blocks the calling thread is running right now, over all centres.
// A removal made from inside a block must not wait for running blocks: one of them is
// its own caller.
thread_local int deliveryDepth = 0;

// One observer. Its own mutex guards liveness and the count of running calls, so that a
// post never holds the centre's lock while calling the block.
struct Registration {
  std::uint64_t id = 0;
  const void* owner = nullptr;
  std::optional<std::string> name;
  const void* object = nullptr;
  std::shared_ptr<DispatchQueue> queue;
  NotificationCenter::Block block;

  std::mutex mutex;
  std::condition_variable idle;
  bool live = true;
  int running = 0;

  [[nodiscard]] bool matches(const std::string& postedName, const void* postedObject) const {
    return (!name || *name == postedName) && (object == nullptr || object == postedObject);
  }

  // Runs the block unless the registration was removed meanwhile.
  void deliver(const Notification& notification) {
    {
      std::lock_guard lock(mutex);
      if (!live) return;
      ++running;
    }
    ++deliveryDepth;
    struct Finish {
      Registration& registration;
      ~Finish() {
        --deliveryDepth;
        registration.finishCall();
      }
    } finish{*this};
    block(notification);
  }

  void retire() {
    NotificationCenter::Block released;
    {
      std::unique_lock lock(mutex);
      live = false;
      if (deliveryDepth == 0) idle.wait(lock, [this] { return running == 0; });
      if (running == 0) released = std::exchange(block, nullptr);
    }
    // The block's captures die here, outside the lock: their destructors may post or remove.
  }

  void finishCall() {
    NotificationCenter::Block released;
    std::lock_guard lock(mutex);
    if (--running > 0) return;
    idle.notify_all();
    // A removal that could not wait left the block to the last call to release.
    if (!live) released = std::exchange(block, nullptr);
  }
};

}  // namespace

struct NotificationCenter::State {
  std::mutex mutex;
  std::uint64_t nextId = 1;
  std::vector<std::shared_ptr<Registration>> registrations;  // in the order they were added

  std::uint64_t add(std::shared_ptr<Registration> registration) {
    std::lock_guard lock(mutex);
    registration->id = nextId++;
    registrations.push_back(std::move(registration));
    return registrations.back()->id;
  }

  template <typename Predicate>
  void remove(Predicate predicate) {
    std::vector<std::shared_ptr<Registration>> removed;
    {
      std::lock_guard lock(mutex);
      auto kept = std::stable_partition(registrations.begin(), registrations.end(),
                                        [&](const auto& r) { return !predicate(*r); });
      removed.assign(std::make_move_iterator(kept), std::make_move_iterator(registrations.end()));
      registrations.erase(kept, registrations.end());
    }
    for (const auto& registration : removed) registration->retire();
  }
};

NotificationCenter::NotificationCenter() : state_(std::make_unique<State>()) {
}

NotificationCenter::~NotificationCenter() = default;

const std::shared_ptr<NotificationCenter>& NotificationCenter::defaultCenter() {
  static const std::shared_ptr<NotificationCenter> center(new NotificationCenter());
  return center;
}

std::shared_ptr<NotificationCenter> NotificationCenter::make() {
  return std::shared_ptr<NotificationCenter>(new NotificationCenter());
}

void NotificationCenter::post(const std::string& name, std::shared_ptr<void> object,
                              std::map<std::string, std::any> userInfo) {
  std::vector<std::shared_ptr<Registration>> matching;
  {
    std::lock_guard lock(state_->mutex);
    for (const auto& registration : state_->registrations) {
      if (registration->matches(name, object.get())) matching.push_back(registration);
    }
  }
  if (matching.empty()) return;

  // Queued deliveries outlive this call, so they share one copy of the notification.
  auto notification = std::make_shared<const Notification>(
      Notification{name, std::move(object), std::move(userInfo)});
  for (const auto& registration : matching) {
    if (registration->queue) {
      registration->queue->async(
          [registration, notification] { registration->deliver(*notification); });
    } else {
      registration->deliver(*notification);
    }
  }
}

NotificationCenter::ObserverToken NotificationCenter::addObserver(
    std::optional<std::string> name, const void* object, std::shared_ptr<DispatchQueue> queue,
    Block block) {
  if (!block) return {};
  auto registration = std::make_shared<Registration>();
  registration->name = std::move(name);
  registration->object = object;
  registration->queue = std::move(queue);
  registration->block = std::move(block);
  return ObserverToken(state_->add(std::move(registration)));
}

void NotificationCenter::addObserver(const void* observer, std::optional<std::string> name,
                                     const void* object, Block block) {
  if (!block) return;
  auto registration = std::make_shared<Registration>();
  registration->owner = observer;
  registration->name = std::move(name);
  registration->object = object;
  registration->block = std::move(block);
  state_->add(std::move(registration));
}

void NotificationCenter::removeObserver(const ObserverToken& token) {
  if (!token) return;
  state_->remove([id = token.id_](const Registration& r) { return r.id == id; });
}

void NotificationCenter::removeObserver(const void* observer) {
  if (observer == nullptr) return;
  state_->remove([observer](const Registration& r) { return r.owner == observer; });
}

}  // namespace platform
