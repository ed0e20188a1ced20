// Requests per second through HTTPSession against the stand-in back end over HTTPS with
// kept-alive connections, beside the floor: a plain libcurl multi loop sending the same
// requests on one set of reused easy handles, with no queues, threads or copies around it.
// Both run `concurrency` requests at a time and wait for the whole batch; one batch is one
// iteration, and items per second are requests per second.
//
//   build/release-ish/Benchmarks/HTTPSessionBenchmark [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <curl/curl.h>

#include "Platform/Dispatch/MainLoop.h"
#include "Platform/Network/ConnectToTable.h"
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

void sessionRequests(benchmark::State& state) {
  const auto concurrency = static_cast<int>(state.range(0));
  const auto& [backend, url] = target();
  auto session = platform::HTTPSession::make();
  int failures = 0;
  for (auto _ : state) {
    int left = concurrency;
    for (int i = 0; i < concurrency; ++i) {
      session->request(url).validate().response([&](platform::DataResponse reply) {
        if (reply.error || reply.data.empty()) ++failures;
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

void plainCurlMultiRequests(benchmark::State& state) {
  const auto concurrency = static_cast<int>(state.range(0));
  const auto& [backend, url] = target();
  curl_global_init(CURL_GLOBAL_DEFAULT);
  CURLM* multi = curl_multi_init();
  curl_slist* connectTo = nullptr;
  for (const auto& route : platform::ConnectToTable::shared().curlConnectTo()) {
    connectTo = curl_slist_append(connectTo, route.c_str());
  }
  const std::string caFile = backend->caFile().string();
  std::vector<std::unique_ptr<CURL, EasyDeleter>> handles;
  std::vector<std::string> bodies(concurrency);
  for (int i = 0; i < concurrency; ++i) {
    CURL* easy = curl_easy_init();
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(easy, CURLOPT_CONNECT_TO, connectTo);
    curl_easy_setopt(easy, CURLOPT_CAINFO, caFile.c_str());
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
      if (message->msg == CURLMSG_DONE && message->data.result != CURLE_OK) ++failures;
    }
    for (auto& handle : handles) curl_multi_remove_handle(multi, handle.get());
  }
  for (const auto& body : bodies) failures += body.empty() ? 1 : 0;
  if (failures) state.SkipWithError("requests failed");
  state.SetItemsProcessed(state.iterations() * concurrency);
  handles.clear();
  curl_multi_cleanup(multi);
  curl_slist_free_all(connectTo);
}

BENCHMARK(sessionRequests)->Name("HTTPSession")->Arg(1)->Arg(8)->UseRealTime();
BENCHMARK(plainCurlMultiRequests)->Name("PlainCurlMulti")->Arg(1)->Arg(8)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
