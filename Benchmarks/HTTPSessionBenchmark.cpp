// Requests per second through the framework's HTTP adapter (CurlHTTPAdapter, over the default
// HTTPSession) and through an HTTPSession of its own, against the stand-in back end over HTTPS
// with kept-alive connections, beside the floor: a plain libcurl multi loop sending the same
// requests on one set of reused easy handles, with no queues, threads or copies around it.
// Each runs `concurrency` requests at a time and waits for the whole batch; one batch is one
// iteration, and items per second are requests per second. Each opens its connections with
// one batch before timing starts; the stand-in keeps idle connections for two minutes. The adapter
// and the session both take two thread hops per request that the floor does not (to the session's
// worker, and the completion back to the main queue).
//
//   cmake --preset release -DBUILD_TESTING=ON -B build/bench
//   cmake --build build/bench --target HTTPSessionBenchmark
//   build/bench/Benchmarks/HTTPSessionBenchmark --benchmark_repetitions=10
//       --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true
//
// Random interleaving runs the repetitions of all the benchmarks mixed, so that a change of
// load on the machine during the run falls on each of them alike; compare medians from one
// run. The CPU column is the whole process's (all its threads), per batch.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "Benchmarks/PlainCurlMultiLoop.h"
#include "Classes/HTTP/Curl/CurlHTTPAdapter.h"
#include "Platform/Dispatch/MainLoop.h"
#include "Platform/Network/HTTPSession.h"
#include "Tests/Support/Backend.h"

namespace {

using namespace std::chrono_literals;

struct Target {
  testsupport::Backend* backend = nullptr;
  std::string url;
};

const Target& target() {
  static const Target instance = [] {
    auto backend = testsupport::Backend::shared();
    if (!backend) {
      std::fprintf(stderr, "the stand-in back end did not start: %s\n", backend.error().c_str());
      std::exit(1);
    }
    (*backend)->installRoutes();
    return Target{*backend, "https://" + (*backend)->hosts().front() + "/echo/bench"};
  }();
  return instance;
}

// What the completions of a run report; shared with them, so that a late completion of a
// batch that timed out still has somewhere to report.
struct Tally {
  int left = 0;
  int failures = 0;
};

// Sends one batch of `concurrency` requests through `send` (which calls its argument with
// whether the exchange succeeded, on the main queue) and pumps the main loop until every
// one has answered; false when the batch did not finish in time.
template <typename Send>
bool runBatch(int concurrency, const std::shared_ptr<Tally>& tally, const Send& send) {
  tally->left = concurrency;
  for (int i = 0; i < concurrency; ++i) {
    send([tally](bool succeeded) {
      if (!succeeded) ++tally->failures;
      --tally->left;
    });
  }
  return platform::MainLoop::runUntil([&] { return tally->left == 0; }, 30s);
}

// The timed loop over batches, after one batch outside the timing, so that the connections
// are open and kept alive when timing starts (a new connection loads the trust store).
template <typename Send>
void runBatches(benchmark::State& state, const Send& send) {
  const auto concurrency = static_cast<int>(state.range(0));
  target().backend->reset();  // what earlier runs left in its recorder would slow it down
  auto tally = std::make_shared<Tally>();
  if (!runBatch(concurrency, tally, send) || tally->failures) {
    state.SkipWithError("the warm-up batch failed");
    return;
  }
  for (auto _ : state) {
    if (!runBatch(concurrency, tally, send)) {
      state.SkipWithError("a batch did not complete");
      break;
    }
  }
  if (tally->failures) state.SkipWithError("requests failed");
  state.SetItemsProcessed(state.iterations() * concurrency);
}

void sessionRequests(benchmark::State& state) {
  auto session = platform::HTTPSession::make();
  const auto& url = target().url;
  runBatches(state, [&](auto done) {
    session->request(url).validate().response(
        [done](platform::DataResponse reply) { done(!reply.error && !reply.data.empty()); });
  });
}

void adapterRequests(benchmark::State& state) {
  const auto request = brelum::HTTPRequest::get(*platform::URL::make(target().url), {});
  auto adapter = std::make_shared<brelum::CurlHTTPAdapter>();
  runBatches(state, [&](auto done) {
    adapter->request(request, [done](brelum::HTTPAdapter::Result result) {
      done(result && result->body && !result->body->empty());
    });
  });
}

void plainCurlMultiRequests(benchmark::State& state) {
  const auto concurrency = static_cast<int>(state.range(0));
  const long cap = state.range(1);
  target().backend->reset();  // what earlier runs left in its recorder would slow it down
  benchmarks::PlainCurlMultiLoop(target().url, {}, concurrency, cap).measure(state);
}

BENCHMARK(adapterRequests)
    ->Name("CurlHTTPAdapter")
    ->Arg(1)
    ->Arg(8)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(sessionRequests)
    ->Name("HTTPSession")
    ->Arg(1)
    ->Arg(8)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

}  // namespace

int main(int argc, char** argv) {
  benchmarks::registerPlainCurlFloor(plainCurlMultiRequests);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
