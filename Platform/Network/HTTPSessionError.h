#pragma once

#include <string>
#include <string_view>

namespace platform {

// Why an exchange of the HTTP session failed, with a description for people (the words come
// from libcurl where the failure did).
struct HTTPSessionError {
  enum class Kind {
    invalidURL,               // not an absolute http or https URL
    invalidHeader,            // a header name or value that cannot go on the wire
    parameterEncodingFailed,  // parameters that the chosen encoding cannot express
    cannotConnect,            // refused, unreachable, or the host name did not resolve
    timedOut,                 // nothing moved for longer than the request's time-out
    secureConnectionFailed,   // TLS handshake or certificate verification failed
    connectionLost,           // the connection ended before the response was complete
    responseTooLarge,         // the body passed the session's size limit
    transport,                // any other failure below HTTP
    cancelled,                // cancelled by the caller, or the session shut down first
    unacceptableStatusCode,   // the server answered outside the validated range
  };

  Kind kind;
  std::string description;

  friend bool operator==(const HTTPSessionError&, const HTTPSessionError&) = default;
};

// The kind's name as written above ("timedOut"), for logs and test output.
[[nodiscard]] std::string_view kindName(HTTPSessionError::Kind kind);

}  // namespace platform
