#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include "Platform/Network/ConnectToTable.h"
#include "Platform/Network/ExtraTrustedCA.h"

namespace benchmarks {

// The floor the HTTP benchmarks compare with: a plain libcurl multi loop sending one request
// `concurrency` times at once on a set of easy handles configured once, with no queues,
// threads or copies around it. It trusts what the session trusts (the system store where
// libcurl reads it plus the extra CA), loaded once into one store that every connection
// shares, and goes where the connect-to table says. `maximumHostConnections` (0: none) caps
// the connections to the host as libcurl does, for a comparison at the session's cap.
class PlainCurlMultiLoop {
 public:
  PlainCurlMultiLoop(const std::string& url, const std::vector<std::string>& headers,
                     int concurrency, long maximumHostConnections = 0)
      : multi_(curl_multi_init()), bodies_(static_cast<std::size_t>(concurrency)) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    curl_multi_setopt(multi_, CURLMOPT_MAX_HOST_CONNECTIONS, maximumHostConnections);
    for (const auto& route : platform::ConnectToTable::shared().curlConnectTo()) {
      connectTo_ = curl_slist_append(connectTo_, route.c_str());
    }
    for (const auto& header : headers) headers_ = curl_slist_append(headers_, header.c_str());
    store_ = X509_STORE_new();
    const std::string userAgent =
        std::string("BrelumPlatform/1.0 libcurl/") + curl_version_info(CURLVERSION_NOW)->version;
    for (int i = 0; i < concurrency; ++i) {
      CURL* easy = curl_easy_init();
      if (i == 0) loadSystemStore(easy);
      curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
      curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
      curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
      curl_easy_setopt(easy, CURLOPT_CONNECT_TO, connectTo_);
      curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers_);
      curl_easy_setopt(easy, CURLOPT_CAINFO, static_cast<const char*>(nullptr));
      curl_easy_setopt(easy, CURLOPT_CAPATH, static_cast<const char*>(nullptr));
      curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, &installStore);
      curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, static_cast<void*>(store_));
      curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &keepBody);
      curl_easy_setopt(easy, CURLOPT_WRITEDATA, &bodies_[static_cast<std::size_t>(i)]);
      // The same request on the wire as the session's: its default User-Agent and
      // Accept-Encoding make the request larger and the answer longer.
      curl_easy_setopt(easy, CURLOPT_USERAGENT, userAgent.c_str());
      curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
      handles_.push_back(easy);
    }
  }

  ~PlainCurlMultiLoop() {
    for (CURL* easy : handles_) curl_easy_cleanup(easy);
    curl_multi_cleanup(multi_);
    curl_slist_free_all(headers_);
    curl_slist_free_all(connectTo_);
    X509_STORE_free(store_);
  }

  PlainCurlMultiLoop(const PlainCurlMultiLoop&) = delete;
  PlainCurlMultiLoop& operator=(const PlainCurlMultiLoop&) = delete;

  // Sends every handle's request and waits for all of them; false when one failed, got a
  // status other than 200 or no body.
  bool runBatch() {
    for (std::size_t i = 0; i < handles_.size(); ++i) {
      bodies_[i].clear();
      curl_multi_add_handle(multi_, handles_[i]);
    }
    int running = static_cast<int>(handles_.size());
    while (running > 0) {
      curl_multi_perform(multi_, &running);
      if (running > 0) curl_multi_poll(multi_, nullptr, 0, 1000, nullptr);
    }
    bool succeeded = true;
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_, &queued)) {
      if (message->msg != CURLMSG_DONE) continue;
      long status = 0;
      curl_easy_getinfo(message->easy_handle, CURLINFO_RESPONSE_CODE, &status);
      succeeded = succeeded && message->data.result == CURLE_OK && status == 200;
    }
    for (CURL* easy : handles_) curl_multi_remove_handle(multi_, easy);
    for (const auto& body : bodies_) succeeded = succeeded && !body.empty();
    return succeeded;
  }

  // Times batches for `state`, after one untimed batch that opens the connections, as the
  // runs it is compared with do before timing.
  void measure(benchmark::State& state) {
    bool succeeded = runBatch();
    for (auto _ : state) succeeded = runBatch() && succeeded;
    if (!succeeded) state.SkipWithError("requests failed");
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(handles_.size()));
  }

 private:
  void loadSystemStore(CURL* easy) {
    char* file = nullptr;
    char* folder = nullptr;
    curl_easy_getinfo(easy, CURLINFO_CAINFO, &file);
    curl_easy_getinfo(easy, CURLINFO_CAPATH, &folder);
    if (file) X509_STORE_load_file(store_, file);
    if (folder) X509_STORE_load_path(store_, folder);
    (void)platform::addExtraTrustedCA(store_);
  }

  static CURLcode installStore(CURL*, void* context, void* store) {
    SSL_CTX_set1_cert_store(static_cast<SSL_CTX*>(context), static_cast<X509_STORE*>(store));
    return CURLE_OK;
  }

  static std::size_t keepBody(char* data, std::size_t size, std::size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
  }

  CURLM* multi_;
  curl_slist* connectTo_ = nullptr;
  curl_slist* headers_ = nullptr;
  X509_STORE* store_ = nullptr;
  std::vector<CURL*> handles_;
  std::vector<std::string> bodies_;
};

// Registers `run` (which takes its concurrency and cap from the state's two arguments) as the
// floor "PlainCurlMulti": 1 and 8 in flight uncapped, and 8 capped at 6, the session's default
// connections per host, which keeps two requests waiting as the session does.
inline void registerPlainCurlFloor(void (*run)(benchmark::State&)) {
  benchmark::RegisterBenchmark("PlainCurlMulti", run)
      ->ArgNames({"", "cap"})
      ->Args({1, 0})
      ->Args({8, 0})
      ->Args({8, 6})
      ->UseRealTime()
      ->MeasureProcessCPUTime();
}

}  // namespace benchmarks
