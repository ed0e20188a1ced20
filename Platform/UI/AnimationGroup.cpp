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

}  // namespace

AnimationGroup::AnimationGroup(std::chrono::steady_clock::duration duration, Completion completion)
    : duration_(duration),
      start_(std::chrono::steady_clock::now()),
      completion_(std::move(completion)) {
}

void AnimationGroup::run(std::chrono::steady_clock::duration duration,
                         const std::function<void()>& animations, Completion completion) {
  std::shared_ptr<AnimationGroup> group(new AnimationGroup(duration, std::move(completion)));
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

void AnimationGroup::recordInterrupted() {
  interrupted_ = true;
  if (liveRecords_ > 0) --liveRecords_;
  if (liveRecords_ == 0 && !open_) finish(false);
}

void AnimationGroup::finish(bool finished) {
  auto completion = std::exchange(completion_, nullptr);
  if (!completion) return;
  DispatchQueue::main()->async(
      [completion = std::move(completion), finished] { completion(finished); });
}

}  // namespace platform
