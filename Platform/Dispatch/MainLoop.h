#pragma once

#include <chrono>
#include <functional>

namespace platform {

// The run loop of the main queue. The host's main thread drives it; calling any of these
// from another thread is a programming error and stops the process.
class MainLoop {
 public:
  using Clock = std::chrono::steady_clock;

  // Runs main-queue work until stop() is called.
  static void run();

  // Runs main-queue work until `condition` holds (checked before waiting, after each item
  // and at least every few milliseconds), stop() is called, or `deadline` passes. Answers
  // whether `condition` held.
  static bool runUntil(const std::function<bool()>& condition, Clock::time_point deadline);
  static bool runUntil(const std::function<bool()>& condition, Clock::duration timeout);

  // Runs main-queue work for `duration`, or until stop() is called.
  static void runFor(Clock::duration duration);

  // Ends the run under way, or the next one to start when none is under way (callable from
  // any thread, or from main-queue work).
  static void stop();
};

}  // namespace platform
