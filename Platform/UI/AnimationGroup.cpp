#include "Platform/UI/AnimationGroup.h"

#include <utility>
#include <vector>

#include "Platform/Dispatch/DispatchQueue.h"

namespace platform {
namespace {

std::vector<AnimationGroup*>& openGroups() {
  static std::vector<AnimationGroup*> groups;
  return groups;
}

std::size_t& unfinishedGroups() {
  static std::size_t count = 0;
  return count;
}

}  // namespace

AnimationGroup::AnimationGroup(std::chrono::steady_clock::duration duration, Completion completion)
    : duration_(duration),
      start_(std::chrono::steady_clock::now()),
      completion_(std::move(completion)) {
}

void AnimationGroup::run(std::chrono::steady_clock::duration duration,
                         const std::function<void()>& animations, Completion completion) {
  std::shared_ptr<AnimationGroup> group(new AnimationGroup(duration, std::move(completion)));
  ++unfinishedGroups();
  openGroups().push_back(group.get());
  struct Close {
    AnimationGroup* group;
    ~Close() {
      openGroups().pop_back();
      group->open_ = false;
    }
  };
  {
    Close close{group.get()};
    if (animations) animations();
  }
  if (group->liveRecords_ == 0) {
    // Nothing moves (or everything recorded was already taken over): done at once.
    group->finish(!group->interrupted_);
    return;
  }
  DispatchQueue::main()->asyncAfter(duration, [group] { group->finish(!group->interrupted_); });
}

AnimationGroup* AnimationGroup::current() noexcept {
  auto& groups = openGroups();
  return groups.empty() ? nullptr : groups.back();
}

std::size_t AnimationGroup::unfinishedCount() noexcept {
  return unfinishedGroups();
}

void AnimationGroup::recordInterrupted() {
  interrupted_ = true;
  if (liveRecords_ > 0) --liveRecords_;
  if (liveRecords_ == 0 && !open_) finish(false);
}

void AnimationGroup::finish(bool finished) {
  if (std::exchange(finished_, true)) return;
  DispatchQueue::main()->async([completion = std::exchange(completion_, nullptr), finished] {
    if (completion) completion(finished);
    --unfinishedGroups();
  });
}

}  // namespace platform
