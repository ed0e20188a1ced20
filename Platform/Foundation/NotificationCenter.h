#pragma once

#include <any>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace platform {

class DispatchQueue;

// What a post delivers to each matching observer.
struct Notification {
  std::string name;
  std::shared_ptr<void> object;              // the poster, or null
  std::map<std::string, std::any> userInfo;  // empty when the poster gave none
};

// A process-wide publish/subscribe hub. A post runs the matching observers synchronously
// on the posting thread (or, for an observer registered with a queue, schedules it there)
// in the order they were added. Observers may be added or removed from any thread, also
// from inside an observer during a post: an observer removed during a post is not called
// afterwards, one added during a post is first called by the next post.
//
// Removal called outside any observer waits until calls of the removed blocks already
// running on other threads have returned, so an object may remove its observers in its
// destructor and then die. Do not hold a lock that such a block takes while removing it.
// Removal from inside an observer does not wait (it could wait on its own caller).
class NotificationCenter {
 public:
  using Block = std::function<void(const Notification&)>;

  // Identifies one block registration; hand it back to removeObserver.
  class ObserverToken {
   public:
    ObserverToken() = default;
    [[nodiscard]] explicit operator bool() const { return id_ != 0; }

   private:
    friend class NotificationCenter;
    explicit ObserverToken(std::uint64_t id) : id_(id) {}
    std::uint64_t id_ = 0;
  };

  static const std::shared_ptr<NotificationCenter>& defaultCenter();
  static std::shared_ptr<NotificationCenter> make();

  // Delivers to every observer whose name is absent or equal to `name` and whose object
  // is absent or the same object (by identity) as `object`.
  void post(const std::string& name, std::shared_ptr<void> object = nullptr,
            std::map<std::string, std::any> userInfo = {});

  // A block observer. `name` and `object` absent match every post; `object` is compared by
  // identity and never kept alive. With a queue, the block runs there asynchronously.
  ObserverToken addObserver(std::optional<std::string> name, const void* object,
                            std::shared_ptr<DispatchQueue> queue, Block block);

  // An observer registration that belongs to `observer`, removed with removeObserver(observer).
  void addObserver(const void* observer, std::optional<std::string> name, const void* object,
                   Block block);

  void removeObserver(const ObserverToken& token);
  void removeObserver(const void* observer);

  ~NotificationCenter();

 private:
  NotificationCenter();
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace platform
