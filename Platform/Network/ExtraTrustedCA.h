#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>

struct ssl_ctx_st;
struct x509_store_st;

namespace platform {

// One more certificate authority for every TLS connection to trust, next to the system's
// store (the stand-in back end makes a new one on each run). Process-wide; every function
// may be called from any thread. It starts out as BRELUM_EXTRA_CA_FILE names it.

struct ExtraTrustedCAError {
  std::filesystem::path file;
  std::string reason;

  [[nodiscard]] std::string message() const;
};

inline constexpr const char* kExtraTrustedCAEnvironmentVariable = "BRELUM_EXTRA_CA_FILE";

// The file set last (as an absolute path), or nullopt. On first use it takes
// BRELUM_EXTRA_CA_FILE; a file that does not qualify is reported on standard error and
// not used.
[[nodiscard]] std::optional<std::filesystem::path> extraTrustedCAFile();

// Trusts the certificates in `file` from now on. The file must hold at least one PEM
// certificate and nothing that fails to parse; otherwise the previous setting stays.
[[nodiscard]] std::expected<void, ExtraTrustedCAError> setExtraTrustedCAFile(
    const std::filesystem::path& file);

// Sets the file that BRELUM_EXTRA_CA_FILE names; nothing happens when it is unset or empty.
[[nodiscard]] std::expected<void, ExtraTrustedCAError> setExtraTrustedCAFileFromEnvironment();

void clearExtraTrustedCAFile();

// Changes whenever the setting does (set or cleared): what was built from an earlier setting
// is out of date. Read it before reading the file, so that a change in between is seen later.
[[nodiscard]] std::uint64_t extraTrustedCAGeneration();

// Adds the extra CA's certificates to the trust store of an OpenSSL context (curl's
// CURLOPT_SSL_CTX_FUNCTION and Asio's ssl::context::native_handle() give one). Does
// nothing when none is set.
[[nodiscard]] std::expected<void, ExtraTrustedCAError> addExtraTrustedCA(ssl_ctx_st* context);

// The same for a trust store of its own; the file is read at each call.
[[nodiscard]] std::expected<void, ExtraTrustedCAError> addExtraTrustedCA(x509_store_st* store);

}  // namespace platform
