// Events per second delivered through the event tracker to the stand-in queue over HTTPS,
// beside the floor: a plain libcurl multi loop sending the same requests (the queue URL
// with the framework's document as "MessageBody", the same header) on one set of reused
// easy handles, with no tracker, gateway, document, queues or threads around it.
//
// Both keep `concurrency` requests in flight per batch and wait for the whole batch; one
// batch is one iteration, and items per second are events per second. The tracker is wired
// as a facade wires it: a new gateway, HTTP adapter, builder and encoder for every event.
//
//   cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release
//   cmake --build build/bench --target EventDeliveryBenchmark
//   build/bench/Benchmarks/EventDeliveryBenchmark
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <curl/curl.h>

#include "Classes/DateFactory.h"
#include "Classes/EventTracker/EventTracker.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/BrelumEventTrackingAPI.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/BrelumEventTrackingAPIGatewayFactory.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/BrelumEventTrackingJSONEncoderFactory.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/EventTrackingJSONBuilder.h"
#include "Classes/HTTP/Curl/CurlHTTPAdapterFactory.h"
#include "Platform/Dispatch/DispatchQueue.h"
#include "Platform/Dispatch/MainLoop.h"
#include "Platform/Foundation/Date.h"
#include "Platform/Network/ConnectToTable.h"
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

// Counts failure lines instead of printing them.
class CountingLogger : public brelum::Logger {
 public:
  void debug(const std::string&) override { failures.fetch_add(1, std::memory_order_relaxed); }
  std::atomic<int> failures{0};
};

class CountingLoggerFactory : public brelum::LoggerFactory {
 public:
  std::shared_ptr<brelum::Logger> make() override { return logger; }
  std::shared_ptr<CountingLogger> logger = std::make_shared<CountingLogger>();
};

void trackerDelivery(benchmark::State& state) {
  const auto concurrency = static_cast<int>(state.range(0));
  backend().reset();  // the recorder and the queue keep what they got; start empty
  EventTracker::setEventTrackingGatewayFactory(
      std::make_shared<brelum::BrelumEventTrackingAPIGatewayFactory>(
          std::make_shared<brelum::CurlHTTPAdapterFactory>(), brelum::DateFactory::make(),
          std::make_shared<brelum::BrelumEventTrackingJSONEncoderFactory>()));
  auto loggers = std::make_shared<CountingLoggerFactory>();
  EventTracker::setLoggerFactory(loggers);
  const auto tracker = EventTracker::make("5f2b3c4d5e6f7a8b9c0d1e2f", "1.4.2", kUser, false);
  const auto event = benchmarkEvent();

  for (auto _ : state) {
    int left = concurrency;
    for (int i = 0; i < concurrency; ++i) tracker->send(event, [&left] { --left; });
    if (!platform::MainLoop::runUntil([&] { return left == 0; }, 30s)) {
      state.SkipWithError("a batch did not complete");
      break;
    }
  }
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
  for (auto _ : state) {
    int left = concurrency;
    for (int i = 0; i < concurrency; ++i) {
      platform::URLRequest request;
      request.url = url;
      request.headers.emplace_back("Content-Type", "application/json");
      session->request(std::move(request))
          .validate()
          .response(platform::DispatchQueue::main(), [&](platform::DataResponse reply) {
            if (reply.error) ++failures;
            --left;
          });
    }
    if (!platform::MainLoop::runUntil([&] { return left == 0; }, 30s)) {
      state.SkipWithError("a batch did not complete");
      break;
    }
  }
  if (failures) state.SkipWithError("requests failed");
  state.SetItemsProcessed(state.iterations() * concurrency);
}

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};

std::size_t keepBody(char* data, std::size_t size, std::size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

void plainCurlMulti(benchmark::State& state) {
  const auto concurrency = static_cast<int>(state.range(0));
  backend().reset();
  const std::string url = queueRequestURL();
  curl_global_init(CURL_GLOBAL_DEFAULT);
  CURLM* multi = curl_multi_init();
  curl_slist* connectTo = nullptr;
  for (const auto& route : platform::ConnectToTable::shared().curlConnectTo()) {
    connectTo = curl_slist_append(connectTo, route.c_str());
  }
  curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/json");
  const std::string caFile = backend().caFile().string();
  std::vector<std::unique_ptr<CURL, EasyDeleter>> handles;
  std::vector<std::string> bodies(concurrency);
  for (int i = 0; i < concurrency; ++i) {
    CURL* easy = curl_easy_init();
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(easy, CURLOPT_CONNECT_TO, connectTo);
    curl_easy_setopt(easy, CURLOPT_CAINFO, caFile.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &keepBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &bodies[i]);
    handles.emplace_back(easy);
  }
  int failures = 0;
  for (auto _ : state) {
    for (int i = 0; i < concurrency; ++i) {
      bodies[i].clear();
      curl_multi_add_handle(multi, handles[i].get());
    }
    int running = concurrency;
    while (running > 0) {
      curl_multi_perform(multi, &running);
      if (running > 0) curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
    }
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
      if (message->msg != CURLMSG_DONE) continue;
      long status = 0;
      curl_easy_getinfo(message->easy_handle, CURLINFO_RESPONSE_CODE, &status);
      if (message->data.result != CURLE_OK || status != 200) ++failures;
    }
    for (auto& handle : handles) curl_multi_remove_handle(multi, handle.get());
  }
  if (failures) state.SkipWithError("requests failed");
  state.SetItemsProcessed(state.iterations() * concurrency);
  handles.clear();
  curl_multi_cleanup(multi);
  curl_slist_free_all(headers);
  curl_slist_free_all(connectTo);
}

BENCHMARK(trackerDelivery)->Name("Tracker")->Arg(1)->Arg(8)->Arg(32)->UseRealTime();
BENCHMARK(sessionOnly)->Name("SessionOnly")->Arg(1)->Arg(8)->Arg(32)->UseRealTime();
BENCHMARK(plainCurlMulti)->Name("PlainCurlMulti")->Arg(1)->Arg(8)->Arg(32)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
