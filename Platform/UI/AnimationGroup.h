#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>

namespace platform {

// The changes one animation block recorded, and its completion. The innermost open block
// is current() while its animations closure runs; setters record into it.
//
// The completion runs exactly once, posted to the main queue: when the duration has passed
// (finished unless some record was taken over or dropped), or at once when the last live
// record goes before then (not finished).
class AnimationGroup : public std::enable_shared_from_this<AnimationGroup> {
 public:
  using Completion = std::function<void(bool finished)>;

  // Runs `animations` with a new group current, then arms its completion.
  static void run(std::chrono::steady_clock::duration duration,
                  const std::function<void()>& animations, Completion completion);

  // The group of the innermost block running now, or null outside any.
  [[nodiscard]] static AnimationGroup* current() noexcept;

  // Groups whose completion has not run yet (main thread). A completion that starts another
  // animation keeps the count above zero, so zero means the interface has come to rest.
  [[nodiscard]] static std::size_t unfinishedCount() noexcept;

  [[nodiscard]] std::chrono::steady_clock::duration duration() const noexcept { return duration_; }
  [[nodiscard]] std::chrono::steady_clock::time_point start() const noexcept { return start_; }

  // Bookkeeping by the views holding this group's records.
  void recordAdded() noexcept { ++liveRecords_; }
  // A record was taken over by a newer animation, or dropped with its view.
  void recordInterrupted();

 private:
  AnimationGroup(std::chrono::steady_clock::duration duration, Completion completion);

  void finish(bool finished);

  std::chrono::steady_clock::duration duration_;
  std::chrono::steady_clock::time_point start_;
  Completion completion_;
  std::size_t liveRecords_ = 0;
  bool interrupted_ = false;
  bool open_ = true;  // its animations closure is still running
  bool finished_ = false;
};

}  // namespace platform
