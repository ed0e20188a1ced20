#include "Tests/Support/MainLoopPump.h"

#include <memory>

#include "Platform/Dispatch/DispatchQueue.h"
#include "Platform/Dispatch/MainLoop.h"

namespace testsupport {

bool runMainLoopUntil(const std::function<bool()>& condition,
                      std::chrono::steady_clock::duration timeout) {
  return platform::MainLoop::runUntil(condition, timeout);
}

void drainMainQueue() {
  auto reached = std::make_shared<bool>(false);
  platform::DispatchQueue::main()->async([reached] { *reached = true; });
  runMainLoopUntil([&] { return *reached; });
}

}  // namespace testsupport
