#include "Platform/Network/ExtraTrustedCA.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <system_error>
#include <utility>
#include <vector>

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

namespace platform {
namespace {

struct X509Free {
  void operator()(X509* certificate) const { X509_free(certificate); }
};
using Certificate = std::unique_ptr<X509, X509Free>;

std::unexpected<ExtraTrustedCAError> refuse(const std::filesystem::path& file, std::string reason) {
  return std::unexpected(ExtraTrustedCAError{file, std::move(reason)});
}

// Every certificate in a PEM file. A file with none, or with a block that does not parse,
// is refused: a CA file we half understood would make verification fail later, far from
// the cause.
std::expected<std::vector<Certificate>, ExtraTrustedCAError> readCertificates(
    const std::filesystem::path& file) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) return refuse(file, "no such regular file");
  std::unique_ptr<FILE, int (*)(FILE*)> stream(std::fopen(file.c_str(), "rb"), &std::fclose);
  if (!stream) return refuse(file, std::error_code(errno, std::generic_category()).message());
  std::vector<Certificate> certificates;
  ERR_clear_error();
  while (Certificate certificate{PEM_read_X509(stream.get(), nullptr, nullptr, nullptr)}) {
    certificates.push_back(std::move(certificate));
  }
  // The loop ends at the end of the file (PEM_R_NO_START_LINE) or at a broken block.
  unsigned long error = ERR_peek_last_error();
  bool reachedEnd =
      ERR_GET_LIB(error) == ERR_LIB_PEM && ERR_GET_REASON(error) == PEM_R_NO_START_LINE;
  ERR_clear_error();
  if (!reachedEnd) return refuse(file, "holds a PEM block that is not a valid certificate");
  if (certificates.empty()) return refuse(file, "holds no PEM certificate");
  return certificates;
}

struct State {
  std::mutex mutex;
  std::optional<std::filesystem::path> file;
  std::atomic<std::uint64_t> generation{0};  // written under `mutex`, read without it
};

State& state() {
  // Never destroyed: network threads may still ask for the file while the process exits.
  static State* const shared = [] {
    auto* created = new State;
    const char* value = std::getenv(kExtraTrustedCAEnvironmentVariable);
    if (value != nullptr && *value != '\0') {
      std::filesystem::path file(value);
      if (auto certificates = readCertificates(file)) {
        created->file = std::filesystem::absolute(file);
      } else {
        std::fprintf(stderr, "%s: %s; the variable is ignored\n",
                     kExtraTrustedCAEnvironmentVariable, certificates.error().message().c_str());
      }
    }
    return created;
  }();
  return *shared;
}

}  // namespace

std::string ExtraTrustedCAError::message() const {
  return "extra trusted CA file \"" + file.string() + "\" refused: " + reason;
}

std::optional<std::filesystem::path> extraTrustedCAFile() {
  auto& shared = state();
  std::lock_guard lock(shared.mutex);
  return shared.file;
}

std::expected<void, ExtraTrustedCAError> setExtraTrustedCAFile(const std::filesystem::path& file) {
  if (file.empty()) return refuse(file, "the path is empty");
  auto certificates = readCertificates(file);
  if (!certificates) return std::unexpected(std::move(certificates.error()));
  std::error_code ec;
  auto absolute = std::filesystem::absolute(file, ec);
  if (ec) return refuse(file, ec.message());
  auto& shared = state();
  std::lock_guard lock(shared.mutex);
  shared.file = std::move(absolute);
  shared.generation.fetch_add(1, std::memory_order_release);
  return {};
}

std::expected<void, ExtraTrustedCAError> setExtraTrustedCAFileFromEnvironment() {
  const char* value = std::getenv(kExtraTrustedCAEnvironmentVariable);
  if (value == nullptr || *value == '\0') return {};
  return setExtraTrustedCAFile(value);
}

void clearExtraTrustedCAFile() {
  auto& shared = state();
  std::lock_guard lock(shared.mutex);
  shared.file.reset();
  shared.generation.fetch_add(1, std::memory_order_release);
}

std::uint64_t extraTrustedCAGeneration() {
  return state().generation.load(std::memory_order_acquire);
}

std::expected<void, ExtraTrustedCAError> addExtraTrustedCA(ssl_ctx_st* context) {
  return addExtraTrustedCA(SSL_CTX_get_cert_store(context));
}

std::expected<void, ExtraTrustedCAError> addExtraTrustedCA(x509_store_st* store) {
  auto file = extraTrustedCAFile();
  if (!file) return {};
  // Read again rather than cached: the file is the authority, and it may have been
  // replaced since it was set.
  auto certificates = readCertificates(*file);
  if (!certificates) return std::unexpected(std::move(certificates.error()));
  for (const auto& certificate : *certificates) {
    if (X509_STORE_add_cert(store, certificate.get()) != 1) {
      unsigned long error = ERR_peek_last_error();
      ERR_clear_error();
      // The same CA added twice to one context is not a failure.
      if (ERR_GET_REASON(error) != X509_R_CERT_ALREADY_IN_HASH_TABLE) {
        return refuse(*file, "its certificate could not be added to the trust store");
      }
    }
  }
  return {};
}

}  // namespace platform
