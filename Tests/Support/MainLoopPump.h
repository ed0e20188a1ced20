#pragma once

#include <chrono>
#include <functional>

namespace testsupport {

// Pumps the main queue until `condition` holds, for at most `timeout`.
bool runMainLoopUntil(const std::function<bool()>& condition,
                      std::chrono::steady_clock::duration timeout = std::chrono::seconds(10));

// Pumps the main queue until everything already queued on it has run.
void drainMainQueue();

}  // namespace testsupport
