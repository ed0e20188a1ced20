#pragma once

#include <memory>

#include <curl/curl.h>

namespace platform {

// A libcurl string list. libcurl keeps only the pointer to a list, so a list stays alive
// while any transfer that was given it runs; lists reused across transfers are shared.
struct CurlSlistFree {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using CurlSlist = std::unique_ptr<curl_slist, CurlSlistFree>;
using SharedCurlSlist = std::shared_ptr<curl_slist>;

// False when libcurl could not allocate; `list` is unchanged then.
[[nodiscard]] inline bool append(CurlSlist& list, const char* line) {
  curl_slist* grown = curl_slist_append(list.get(), line);
  if (!grown) return false;
  (void)list.release();
  list.reset(grown);
  return true;
}

[[nodiscard]] inline SharedCurlSlist shared(CurlSlist list) {
  return SharedCurlSlist(list.release(), CurlSlistFree{});
}

}  // namespace platform
