// Events per second delivered through the event tracker to the stand-in queue over HTTPS,
// beside the floor: a plain libcurl multi loop sending the same requests (the queue URL
// with the framework's document as "MessageBody", the same header) on one set of reused
// easy handles, with no tracker, gateway, document, queues or threads around it.
//
// Both keep `concurrency` requests in flight per batch and wait for the whole batch; one
// batch is one iteration, and items per second are events per second. The tracker is wired
// as a facade wires it: a new gateway, HTTP adapter, builder and encoder for every event.
//
// Every run opens its connections with one batch before timing starts.
//
//   cmake --preset release -DBUILD_TESTING=ON -B build/bench
//   cmake --build build/bench --target EventDeliveryBenchmark
//   build/bench/Benchmarks/EventDeliveryBenchmark --benchmark_repetitions=5
//       --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Benchmarks/CountingLoggerFactory.h"
#include "Benchmarks/PlainCurlMultiLoop.h"
#include "Classes/EventTracker/EventTracker.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/BrelumEventTrackingAPI.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/BrelumEventTrackingJSONEncoderFactory.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/EventTrackingJSONBuilder.h"
#include "Platform/Dispatch/DispatchQueue.h"
#include "Platform/Dispatch/MainLoop.h"
#include "Platform/Foundation/Date.h"
#include "Platform/Network/HTTPSession.h"
#include "Tests/Support/Backend.h"

namespace {

using namespace std::chrono_literals;
using brelum::EventTracker;
using Event = EventTracker::Event;

const EventTracker::Data::User kUser{"", "host-user-8812", "Ann Example", "FEMALE"};

Event benchmarkEvent() {
  return Event::like("show-20251206-main", "collection-42", "Winter Sale: Coats & Boots", "120");
}

testsupport::Backend& backend() {
  static testsupport::Backend* instance = [] {
    auto started = testsupport::Backend::shared();
    if (!started) {
      std::fprintf(stderr, "the stand-in back end did not start: %s\n", started.error().c_str());
      std::exit(1);
    }
    (*started)->installRoutes();
    return *started;
  }();
  return *instance;
}

// Times `batch` for `state`, after one untimed batch that opens the connections, as every
// run here does before timing.
void timeBatches(benchmark::State& state, const std::function<bool()>& batch) {
  if (!batch()) state.SkipWithError("the warm-up batch did not complete");
  for (auto _ : state) {
    if (!batch()) {
      state.SkipWithError("a batch did not complete");
      break;
    }
  }
}

void trackerDelivery(benchmark::State& state) {
  const auto concurrency = static_cast<int>(state.range(0));
  backend().reset();  // the recorder and the queue keep what they got; start empty
  const auto loggers = benchmarks::installCountingEventTracking();
  const auto tracker = EventTracker::make("5f2b3c4d5e6f7a8b9c0d1e2f", "1.4.2", kUser, false);
  const auto event = benchmarkEvent();
  auto batch = [&] {
    int left = concurrency;
    for (int i = 0; i < concurrency; ++i) tracker->send(event, [&left] { --left; });
    return platform::MainLoop::runUntil([&] { return left == 0; }, 30s);
  };
  timeBatches(state, batch);
  if (loggers->logger->failures.load() > 0) state.SkipWithError("deliveries failed");
  state.SetItemsProcessed(state.iterations() * concurrency);
}

// The request a tracker sends for the benchmark's event, made once.
std::string queueRequestURL() {
  const auto document = brelum::EventTrackingJSONBuilder::make()->build(
      "5f2b3c4d5e6f7a8b9c0d1e2f", "1.4.2", platform::Date::now(), kUser,
      EventTracker::Data::Device::current(), benchmarkEvent());
  const auto text = brelum::BrelumEventTrackingJSONEncoderFactory().make()->encode(document);
  const auto url = brelum::BrelumEventTrackingAPI::messageURL(
      platform::URL::make(EventTracker::kQueueURL).value(), text.value());
  return url.value().absoluteString();
}

// For reference: the same prepared request through the process's HTTP session alone, to
// tell the session's share of the gap from the tracker's.
void sessionOnly(benchmark::State& state) {
  const auto concurrency = static_cast<int>(state.range(0));
  backend().reset();
  const std::string url = queueRequestURL();
  const auto& session = platform::HTTPSession::defaultSession();
  int failures = 0;
  auto batch = [&] {
    int left = concurrency;
    for (int i = 0; i < concurrency; ++i) {
      platform::URLRequest request;
      request.url = url;
      request.headers.emplace_back("Content-Type", "application/json");
      request.atMostOnce = true;
      session->request(std::move(request))
          .validate()
          .response(platform::DispatchQueue::main(), [&](platform::DataResponse reply) {
            if (reply.error) ++failures;
            --left;
          });
    }
    return platform::MainLoop::runUntil([&] { return left == 0; }, 30s);
  };
  timeBatches(state, batch);
  if (failures) state.SkipWithError("requests failed");
  state.SetItemsProcessed(state.iterations() * concurrency);
}

void plainCurlMulti(benchmark::State& state) {
  const auto concurrency = static_cast<int>(state.range(0));
  const long cap = state.range(1);
  backend().reset();
  benchmarks::PlainCurlMultiLoop(queueRequestURL(), {"Content-Type: application/json"}, concurrency,
                                 cap)
      .measure(state);
}

BENCHMARK(trackerDelivery)->Name("Tracker")->Arg(1)->Arg(8)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(sessionOnly)->Name("SessionOnly")->Arg(1)->Arg(8)->UseRealTime()->MeasureProcessCPUTime();

}  // namespace

int main(int argc, char** argv) {
  benchmarks::registerPlainCurlFloor(plainCurlMulti);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
