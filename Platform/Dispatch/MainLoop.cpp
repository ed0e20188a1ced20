#include "Platform/Dispatch/MainLoop.h"

#include <algorithm>
#include <atomic>
#include <boost/asio/executor_work_guard.hpp>

#include "Platform/Dispatch/MainContext.h"
#include "Platform/Dispatch/MainThread.h"

namespace platform {
namespace detail {

boost::asio::io_context& mainContext() {
  struct Context {
    boost::asio::io_context context{1};
    boost::asio::executor_work_guard<boost::asio::io_context::executor_type> guard{
        context.get_executor()};
  };
  // Never destroyed: threads that outlive static destruction at exit (a socket's I/O thread
  // whose owner the host never released, a late completion) may still post to the main
  // queue. Their work then waits in a context nobody runs, instead of in freed memory.
  static Context* const instance = new Context;
  return instance->context;
}

}  // namespace detail

namespace {

constexpr auto kConditionPollInterval = std::chrono::milliseconds(5);

// A stop that arrives while no run is under way is kept for the next run, so that a stop
// racing the start of a run is never lost.
std::atomic<bool> stopRequested = false;

// Prepares the context for one run; answers null when a stop is already pending.
boost::asio::io_context* beginRun() {
  detail::requireMainThread("MainLoop");
  auto& context = detail::mainContext();
  context.restart();
  // Checked after restart(): a stop from here on leaves the context stopped, one before was
  // recorded in the flag.
  if (stopRequested.exchange(false)) return nullptr;
  return &context;
}

// A run that ended because of stop() has consumed it.
void endRun(boost::asio::io_context& context) {
  if (context.stopped()) stopRequested.store(false);
}

}  // namespace

void MainLoop::run() {
  if (auto* context = beginRun()) {
    context->run();
    endRun(*context);
  }
}

bool MainLoop::runUntil(const std::function<bool()>& condition, Clock::time_point deadline) {
  auto* context = beginRun();
  if (!context) return condition();
  bool held = condition();
  while (!held && Clock::now() < deadline && !context->stopped()) {
    // Other threads may make the condition true without posting to the main queue.
    context->run_one_until(std::min(deadline, Clock::now() + kConditionPollInterval));
    held = condition();
  }
  endRun(*context);
  return held;
}

bool MainLoop::runUntil(const std::function<bool()>& condition, Clock::duration timeout) {
  return runUntil(condition, Clock::now() + timeout);
}

void MainLoop::runFor(Clock::duration duration) {
  if (auto* context = beginRun()) {
    context->run_for(duration);
    endRun(*context);
  }
}

void MainLoop::stop() {
  stopRequested.store(true);
  detail::mainContext().stop();
}

}  // namespace platform
