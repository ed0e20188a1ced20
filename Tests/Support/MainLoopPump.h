#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include <gtest/gtest.h>

#include "Platform/Dispatch/DispatchQueue.h"

namespace testsupport {

// Pumps the main queue until `condition` holds, for at most `timeout`. The bound only ends a
// wait that failed, so it is generous: a sanitized build on a busy machine is slow.
bool runMainLoopUntil(const std::function<bool()>& condition,
                      std::chrono::steady_clock::duration timeout = std::chrono::seconds(30));

// Pumps the main queue until everything already queued on it has run.
void drainMainQueue();

// Calls `start` with a completion and pumps the main loop until the completion has run,
// then drains the main queue; adds a failure unless it ran exactly once, on the main queue.
// Answers the value it was given (none when it never ran). The completion may safely come
// after this returns.
template <typename T, typename Start>
std::optional<T> awaitCompletion(
    Start&& start, std::chrono::steady_clock::duration timeout = std::chrono::seconds(30)) {
  struct State {
    std::optional<T> value;
    int calls = 0;
    bool offMain = false;
  };
  auto state = std::make_shared<State>();
  start([state](T value) {
    ++state->calls;
    state->offMain = state->offMain || !platform::DispatchQueue::main()->isCurrent();
    state->value = std::move(value);
  });
  EXPECT_TRUE(runMainLoopUntil([&] { return state->calls > 0; }, timeout)) << "no completion";
  drainMainQueue();
  EXPECT_LE(state->calls, 1) << "completed more than once";
  EXPECT_FALSE(state->offMain) << "completed off the main queue";
  return state->value;
}

}  // namespace testsupport
