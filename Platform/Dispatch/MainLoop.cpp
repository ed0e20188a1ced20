#include "Platform/Dispatch/MainLoop.h"

#include <algorithm>
#include <boost/asio/executor_work_guard.hpp>

#include "Platform/Dispatch/DispatchQueue.h"
#include "Platform/Dispatch/MainContext.h"
#include "Platform/Foundation/FatalError.h"

namespace platform {
namespace detail {

boost::asio::io_context& mainContext() {
  struct Context {
    boost::asio::io_context context{1};
    boost::asio::executor_work_guard<boost::asio::io_context::executor_type> guard{
        context.get_executor()};
  };
  static Context instance;
  return instance.context;
}

}  // namespace detail

namespace {

constexpr auto kConditionPollInterval = std::chrono::milliseconds(5);

boost::asio::io_context& contextForMainThread() {
  if (!isMainThread()) fatalError("the main loop runs only on the main thread");
  auto& context = detail::mainContext();
  context.restart();
  return context;
}

}  // namespace

void MainLoop::run() {
  contextForMainThread().run();
}

bool MainLoop::runUntil(const std::function<bool()>& condition, Clock::time_point deadline) {
  auto& context = contextForMainThread();
  while (!condition()) {
    if (Clock::now() >= deadline || context.stopped()) return false;
    // Other threads may make the condition true without posting to the main queue.
    context.run_one_until(std::min(deadline, Clock::now() + kConditionPollInterval));
  }
  return true;
}

bool MainLoop::runUntil(const std::function<bool()>& condition, Clock::duration timeout) {
  return runUntil(condition, Clock::now() + timeout);
}

void MainLoop::runFor(Clock::duration duration) {
  contextForMainThread().run_for(duration);
}

void MainLoop::stop() {
  detail::mainContext().stop();
}

}  // namespace platform
