#pragma once

#include <expected>
#include <string>

#include <nlohmann/json.hpp>

#include "Platform/Network/HTTPSessionError.h"
#include "Platform/Network/URLRequest.h"

namespace platform {

// How request parameters (a JSON object) go into a request, the way common HTTP client
// libraries do it:
//   - url: for GET, HEAD and DELETE a query string appended to the URL's query (after a "&"
//     when there already is one); for every other method a form body, with the Content-Type
//     "application/x-www-form-urlencoded; charset=utf-8" unless the request has one;
//   - json: the object as a JSON body, with the Content-Type "application/json" unless the
//     request has one.
enum class ParameterEncoding { url, json };

// The form encoding of `parameters` ("a=1&b%5Bc%5D=2"): keys in sorted order, text as is,
// numbers as their decimal text, true and false as 1 and 0, null as empty text, nested
// objects as key[sub]=value and arrays as key[]=value. Names and values are percent-encoded
// (every byte but letters, digits, "-", ".", "_", "~"), so form decoding restores them byte
// for byte. Fails for anything but an object and for numbers that are not finite.
[[nodiscard]] std::expected<std::string, HTTPSessionError> formURLEncoded(
    const nlohmann::json& parameters);

// Puts `parameters` into `request` as `encoding` says. A null `parameters` leaves the request
// unchanged; an empty object adds no query, but still an empty form body or "{}".
[[nodiscard]] std::expected<void, HTTPSessionError> encodeParameters(
    URLRequest& request, const nlohmann::json& parameters, ParameterEncoding encoding);

}  // namespace platform
