#include "Platform/Network/TrustStore.h"

#include <string>

#include <curl/curl.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include "Platform/Dispatch/FatalError.h"
#include "Platform/Network/ExtraTrustedCA.h"

namespace platform {
namespace {

struct SystemLocations {
  std::string file;
  std::string folder;
};

// Where this libcurl reads the system's certificates when a connection names none.
const SystemLocations& systemLocations() {
  static const SystemLocations locations = [] {
    SystemLocations found;
    CURL* easy = curl_easy_init();
    if (!easy) fatalError("curl_easy_init failed");
    char* text = nullptr;
    if (curl_easy_getinfo(easy, CURLINFO_CAINFO, &text) == CURLE_OK && text) found.file = text;
    text = nullptr;
    if (curl_easy_getinfo(easy, CURLINFO_CAPATH, &text) == CURLE_OK && text) found.folder = text;
    curl_easy_cleanup(easy);
    return found;
  }();
  return locations;
}

}  // namespace

void TrustStore::StoreFree::operator()(x509_store_st* store) const {
  X509_STORE_free(store);
}

TrustStore::TrustStore() = default;
TrustStore::~TrustStore() = default;

void TrustStore::installInto(ssl_ctx_st* context) {
  // Read before the file, so that a setting changed while the store is built is seen at
  // the next connection.
  const auto generation = extraTrustedCAGeneration();
  if (!store_ || generation_ != generation) rebuild(generation);
  SSL_CTX_set1_cert_store(context, store_.get());
}

void TrustStore::rebuild(std::uint64_t generation) {
  store_.reset(X509_STORE_new());
  if (!store_) fatalError("X509_STORE_new failed");
  const auto& system = systemLocations();
  // A missing system store leaves only the extra CA trusted, as libcurl would.
  if (!system.file.empty()) (void)X509_STORE_load_file(store_.get(), system.file.c_str());
  if (!system.folder.empty()) (void)X509_STORE_load_path(store_.get(), system.folder.c_str());
  (void)addExtraTrustedCA(store_.get());
  ERR_clear_error();  // what failed above must not be taken for a later handshake's error
  generation_ = generation;
}

}  // namespace platform
