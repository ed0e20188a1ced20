#pragma once

#include <cstdint>
#include <memory>
#include <optional>

struct ssl_ctx_st;
struct x509_store_st;

namespace platform {

// The certificates the HTTP session's connections verify servers with: the system store,
// from where libcurl was built to read it, plus the extra trusted CA. Parsing the system
// store costs about 20 ms of CPU and 0.9 MB for each copy, so one copy is built for each
// setting of the extra CA and every new connection's TLS context takes a reference to it.
//
// Threads: one session's worker alone. libcurl writes verification flags into the store of
// each connection it sets up, so a store shared between sessions would be written from two
// threads.
class TrustStore {
 public:
  TrustStore();
  ~TrustStore();
  TrustStore(const TrustStore&) = delete;
  TrustStore& operator=(const TrustStore&) = delete;

  // Makes `context` verify with the store of the current setting, built first when the
  // setting changed since. An extra CA file that can no longer be read adds nothing, and
  // verification then decides with the system store.
  void installInto(ssl_ctx_st* context);

 private:
  struct StoreFree {
    void operator()(x509_store_st* store) const;
  };

  void rebuild(std::uint64_t generation);

  std::unique_ptr<x509_store_st, StoreFree> store_;
  std::optional<std::uint64_t> generation_;
};

}  // namespace platform
