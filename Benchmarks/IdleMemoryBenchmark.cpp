// The private memory (anonymous and private file pages, not the shared pages of libraries)
// that the framework adds to a host by the time it sits idle after verification: measured
// from /proc/self/smaps_rollup at the start of main(), when every library is loaded, and
// again after a facade has verified the app against the stand-in back end, fetched the
// screen resources and the logo, and sent one event, with the main loop then idle for a
// second. The stand-in runs as a child process and is not counted. Exits non-zero above
// 8 MB.
//
//   cmake --preset release -DBUILD_TESTING=ON -B build/bench
//   cmake --build build/bench --target IdleMemoryBenchmark
//   build/bench/Benchmarks/IdleMemoryBenchmark
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "Classes/BrelumCore.h"
#include "Classes/UserSettings.h"
#include "Platform/Dispatch/MainLoop.h"
#include "Tests/Support/Backend.h"

namespace {

using namespace std::chrono_literals;

constexpr long kGoalBytes = 8L * 1024 * 1024;

long privateBytes() {
  std::ifstream rollup("/proc/self/smaps_rollup");
  std::string line;
  long total = 0;
  while (std::getline(rollup, line)) {
    if (line.starts_with("Private_Clean:") || line.starts_with("Private_Dirty:")) {
      total += std::atol(line.c_str() + line.find(':') + 1) * 1024;
    }
  }
  return total;
}

}  // namespace

int main() {
  const long atStart = privateBytes();
  auto started = testsupport::Backend::shared();
  if (!started) {
    std::fprintf(stderr, "the stand-in back end did not start: %s\n", started.error().c_str());
    return 1;
  }
  (*started)->installRoutes();
  // The logo cache of an earlier run would spare the download.
  const auto defaults = std::filesystem::temp_directory_path() / "IdleMemoryBenchmark.json";
  std::filesystem::remove(defaults);
  ::setenv("BRELUM_USER_DEFAULTS_PATH", defaults.c_str(), 1);
  const long beforeFacade = privateBytes();

  auto user =
      brelum::UserSettings::make("user-42", "Ada Lovelace", "EUR", "ada@example.com", std::nullopt,
                                 std::nullopt, brelum::UserSettings::Gender::female);
  auto core = brelum::BrelumCore::make("demo-app", "demo-secret", "1.0.0", user, false);
  std::optional<bool> verified;
  core->validate([&](bool ok) { verified = ok; });
  (void)platform::MainLoop::runUntil([&] { return verified.has_value(); }, 30s);
  (void)platform::MainLoop::runUntil([&] { return core->appLogo() != nullptr; }, 30s);
  bool sent = false;
  core->eventTracker()->send(brelum::EventTracker::Event::like("show", "c", "name", "1"),
                             [&] { sent = true; });
  (void)platform::MainLoop::runUntil([&] { return sent; }, 30s);
  (void)platform::MainLoop::runUntil([] { return false; }, 1s);
  const long idle = privateBytes();

  const long added = idle - beforeFacade;
  std::printf(
      "private memory: %.2f MB at start, %.2f MB with the stand-in's client set up, "
      "%.2f MB idle after verification: the framework added %.2f MB (goal 8 MB)\n",
      atStart / 1e6, beforeFacade / 1e6, idle / 1e6, added / 1e6);
  std::filesystem::remove(defaults);
  const bool met = verified.value_or(false) && core->appLogo() && sent && added <= kGoalBytes;
  std::printf("%s\n", met ? "goal met" : "GOAL MISSED");
  return met ? 0 : 1;
}
