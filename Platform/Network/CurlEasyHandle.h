#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include <curl/curl.h>

#include "Platform/Network/CurlSlist.h"
#include "Platform/Network/HTTPSessionError.h"

namespace platform {

class HTTPTransfer;
class TrustStore;

// One libcurl easy handle of the HTTP session. What every request shares (verification,
// protocols, redirects, callbacks, user agent) is set once when the handle is made; each
// request sets only what differs from the one before it on this handle.
//
// Threads: the session's worker alone, like every libcurl handle.
class CurlEasyHandle {
 public:
  // `trust` must outlive the handle. Nullptr when libcurl cannot make or set up a handle.
  [[nodiscard]] static std::unique_ptr<CurlEasyHandle> make(const std::string& userAgent,
                                                            TrustStore& trust,
                                                            std::uint64_t trustGeneration);

  ~CurlEasyHandle();
  CurlEasyHandle(const CurlEasyHandle&) = delete;
  CurlEasyHandle& operator=(const CurlEasyHandle&) = delete;

  [[nodiscard]] CURL* get() const { return easy_; }
  // The extra CA setting in force when the handle was made: its TLS session cache holds
  // sessions verified under that setting alone.
  [[nodiscard]] std::uint64_t trustGeneration() const { return trustGeneration_; }

  // Binds the handle to `transfer` and sets what its request needs. `freshConnection`:
  // the request may not go out on a pooled connection. On failure the handle is in an
  // unknown state and must be dropped.
  [[nodiscard]] std::optional<HTTPSessionError> prepare(HTTPTransfer& transfer,
                                                        const SharedCurlSlist& connectTo,
                                                        bool freshConnection);

  [[nodiscard]] const char* effectiveURL() const;
  [[nodiscard]] const char* errorDetail() const { return errorBuffer_.data(); }

 private:
  CurlEasyHandle(CURL* easy, std::uint64_t trustGeneration);

  [[nodiscard]] CURLcode configure(const std::string& userAgent, TrustStore& trust);
  [[nodiscard]] CURLcode setMethod(const HTTPTransfer& transfer);

  static std::size_t onHeaderLine(char* data, std::size_t size, std::size_t count, void* self);
  static std::size_t onBodyBytes(char* data, std::size_t size, std::size_t count, void* self);
  static int onProgress(void* self, curl_off_t, curl_off_t downloaded, curl_off_t,
                        curl_off_t uploaded);
  static int onRequestGoesOut(void* self, char*, char*, int, int);
  static CURLcode onSSLContext(CURL*, void* context, void* trust);

  CURL* const easy_;
  const std::uint64_t trustGeneration_;
  HTTPTransfer* transfer_ = nullptr;
  std::array<char, CURL_ERROR_SIZE> errorBuffer_{};

  // What this handle was last given, so that only changes are set again.
  SharedCurlSlist headers_;
  SharedCurlSlist connectTo_;
  long connectTimeoutMs_ = -1;
  long uploadBufferSize_ = -1;
  bool freshConnection_ = false;
};

}  // namespace platform
