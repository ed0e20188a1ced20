// A burst of events sent at once through the event tracker, wired as a facade wires it, to
// the stand-in queue over HTTPS, in two rounds:
//   1. a healthy queue: every event must arrive exactly once and none may fail. The host's
//      thread may spend at most 3 us per event in send(); the burst may add at most 5 MB to
//      the peak resident memory, and once every callback has run the resident memory must be
//      back within 2 MB of where it was before the burst, without the host doing anything;
//   2. a queue that never answers, with a short time-out: every event must fail with a
//      time-out, and the memory must come back once they have.
// It prints the figures and exits non-zero when a goal is missed.
//
//   cmake --preset release -DBUILD_TESTING=ON -B build/bench
//   cmake --build build/bench --target EventBurstBenchmark
//   build/bench/Benchmarks/EventBurstBenchmark [events] [warm-up events]
#include <dirent.h>
#include <malloc.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <string>

#include <nlohmann/json.hpp>

#include "Benchmarks/CountingLoggerFactory.h"
#include "Classes/EventTracker/EventTracker.h"
#include "Platform/Dispatch/MainLoop.h"
#include "Platform/Network/HTTPSession.h"
#include "Tests/Support/Backend.h"
#include "Tests/Support/StandInQueue.h"

namespace {

using namespace std::chrono_literals;
using brelum::EventTracker;

constexpr double kSendGoalMicroseconds = 3.0;
constexpr long kPeakGrowthGoal = 5'000'000;
constexpr long kSettledGoal = 2'000'000;

// A "kB" line of /proc/self/status, in bytes.
long statusBytes(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.starts_with(field + ":")) return std::atol(line.c_str() + field.size() + 1) * 1024;
  }
  return 0;
}

// Makes the peak (VmHWM) start again from the current resident size.
void resetPeak() {
  std::ofstream("/proc/self/clear_refs") << "5";
}

int openSockets() {
  int sockets = 0;
  DIR* folder = opendir("/proc/self/fd");
  while (dirent* entry = readdir(folder)) {
    char target[64] = {};
    const std::string path = std::string("/proc/self/fd/") + entry->d_name;
    if (readlink(path.c_str(), target, sizeof target - 1) > 0 &&
        std::string_view(target).starts_with("socket:")) {
      ++sockets;
    }
  }
  closedir(folder);
  return sockets;
}

double threadCPUSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

struct Round {
  int completed = 0;
  int peakSockets = 0;
  double seconds = 0;
  double sendSeconds = 0;     // the host's loop of send() calls
  double mainCPUSeconds = 0;  // the main thread's CPU until the last callback
};

// Sends `count` events, each naming its number, and runs the main loop until every
// callback has run.
Round sendBurst(EventTracker& tracker, int count, std::chrono::seconds limit) {
  Round round;
  const double cpuAtStart = threadCPUSeconds();
  const auto started = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i) {
    tracker.send(EventTracker::Event::like("burst", "collection", std::to_string(i), "1"),
                 [&round] { ++round.completed; });
  }
  round.sendSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  auto nextLook = started;
  (void)platform::MainLoop::runUntil(
      [&] {
        if (std::chrono::steady_clock::now() >= nextLook) {
          round.peakSockets = std::max(round.peakSockets, openSockets());
          nextLook = std::chrono::steady_clock::now() + 50ms;
        }
        return round.completed == count;
      },
      limit);
  round.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  round.mainCPUSeconds = threadCPUSeconds() - cpuAtStart;
  return round;
}

// How many of `count` numbered events the queue holds exactly once, read a page at a time.
int deliveredOnce(const testsupport::Backend& backend, int count) {
  constexpr int kPage = 1000;
  std::multiset<int> seen;
  for (int from = 0;; from += kPage) {
    const auto page =
        backend.request("GET", "/__control/queue/messages?from=" + std::to_string(from) +
                                   "&count=" + std::to_string(kPage));
    if (!page) return 0;
    const auto messages = nlohmann::json::parse(page->body, nullptr, false);
    if (messages.is_discarded() || messages.at("messages").empty()) break;
    for (const auto& message : messages.at("messages")) {
      const auto document =
          nlohmann::json::parse(message.at("body").get<std::string>(), nullptr, false);
      if (document.is_discarded()) continue;
      seen.insert(std::stoi(
          document.at("data").at("event").at("event").at("collection_name").get<std::string>()));
    }
  }
  int once = 0;
  for (int i = 0; i < count; ++i) once += seen.count(i) == 1 ? 1 : 0;
  return once;
}

}  // namespace

int main(int argc, char** argv) {
  const int events = argc > 1 ? std::atoi(argv[1]) : 10'000;
  auto started = testsupport::Backend::shared();
  if (!started) {
    std::fprintf(stderr, "the stand-in back end did not start: %s\n", started.error().c_str());
    return 1;
  }
  auto& backend = **started;
  backend.installRoutes();
  const auto loggers = benchmarks::installCountingEventTracking();
  const auto tracker = EventTracker::make("5f2b3c4d5e6f7a8b9c0d1e2f", "1.4.2",
                                          {"", "host-user-8812", "Ann Example", "FEMALE"}, false);
  bool met = true;

  // Warm: the session, its worker, the trust store and its connections to the queue exist
  // before the baseline is taken, as they would in a host that has sent events before. A
  // few dozen events at once open every connection the session keeps to one host.
  const int warmEvents = argc > 2 ? std::atoi(argv[2]) : 64;
  (void)sendBurst(*tracker, warmEvents, 30s);
  backend.reset();
  const int socketsAtStart = openSockets();
  const long baseline = statusBytes("VmRSS");
  resetPeak();
  const auto healthy = sendBurst(*tracker, events, 300s);
  const long growth = statusBytes("VmHWM") - baseline;
  // What the burst released goes back once the main loop is idle again.
  (void)platform::MainLoop::runUntil([] { return false; }, 200ms);
  const long settled = statusBytes("VmRSS") - baseline;
  const int once = deliveredOnce(backend, events);
  const int failures = loggers->logger->failures.exchange(0);
  const double sendMicroseconds = healthy.sendSeconds * 1e6 / events;
  std::printf("healthy: %d events in %.2f s, %d delivered exactly once, %d failed\n", events,
              healthy.seconds, once, failures);
  std::printf(
      "healthy: send() %.2f us per event on the host's thread (goal %.1f); main thread CPU "
      "%.2f us per event until the last callback\n",
      sendMicroseconds, kSendGoalMicroseconds, healthy.mainCPUSeconds * 1e6 / events);
  std::printf(
      "healthy: peak RSS growth %.2f MB (%.0f bytes per event, goal %.1f MB), %d sockets at "
      "the start and %d at most; RSS %+.2f MB from the start once delivered (goal within "
      "%.1f MB)\n",
      growth / 1e6, double(growth) / events, kPeakGrowthGoal / 1e6, socketsAtStart,
      healthy.peakSockets, settled / 1e6, kSettledGoal / 1e6);
  met = met && healthy.completed == events && once == events && failures == 0 &&
        sendMicroseconds <= kSendGoalMicroseconds && growth <= kPeakGrowthGoal &&
        std::labs(settled) <= kSettledGoal;

  // A queue that never answers: a delay far past the time-out.
  backend.setFault(testsupport::Backend::Fault(std::string(testsupport::kEventQueuePath))
                       .delay(std::chrono::minutes(10)));
  platform::HTTPSession::defaultSession()->setTimeout(2s);
  const long before = statusBytes("VmRSS");
  const auto stuck = sendBurst(*tracker, events, 120s);
  const int timedOut = loggers->logger->failures.exchange(0);
  // What the completions released goes back once the main loop is idle again.
  (void)platform::MainLoop::runUntil([] { return false; }, 200ms);
  const long after = statusBytes("VmRSS");
  // What the allocator still holds after handing it back, to tell free heap from live data.
  malloc_trim(0);
  const long trimmed = statusBytes("VmRSS");
  std::printf(
      "silent queue: %d of %d callbacks in %.2f s, %d failures logged; RSS %.1f MB "
      "before, %.1f MB after, %.1f MB once the allocator trimmed its free memory "
      "(baseline %.1f MB)\n",
      stuck.completed, events, stuck.seconds, timedOut, before / 1e6, after / 1e6, trimmed / 1e6,
      baseline / 1e6);
  met = met && stuck.completed == events && timedOut == events && after <= before + 8 * 1024 * 1024;
  std::printf("%s\n", met ? "goals met" : "GOALS MISSED");
  return met ? 0 : 1;
}
