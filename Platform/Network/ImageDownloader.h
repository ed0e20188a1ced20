#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "Platform/Network/DataRequest.h"
#include "Platform/Network/ImageResponse.h"

namespace platform {

class DispatchQueue;

// Downloads images through the HTTP session, as the phone platform's image library does:
// the status must lie in 200..<300, the response's content type (its type/subtype, without
// parameters, in any letter case) must be one of the acceptable image content types, and
// the body must decode as an image (Image::decode, with its limits). Any failure gives no
// image and says why.
//
// Threads: decoding runs on a global queue, never on the main queue; the completion runs
// exactly once, on the queue the caller names (the main queue by default). The acceptable
// types are one process-wide set, read when each response is checked; every member may be
// called from any thread.
class ImageDownloader {
 public:
  using Completion = std::move_only_function<void(ImageResponse)>;

  // The set that every process starts with.
  [[nodiscard]] static const std::set<std::string>& defaultAcceptableImageContentTypes();

  // The set as it stands now.
  [[nodiscard]] static std::set<std::string> acceptableImageContentTypes();

  // Adds `types` (such as "application/octet-stream") for every later download of the
  // process; adding a type again changes nothing. Types are kept in lower case.
  static void addAcceptableImageContentTypes(const std::set<std::string>& types);

  // Sends `request` (validated for 200..<300) and delivers its image on `queue` (the main
  // queue when null).
  static void responseImage(DataRequest request, std::shared_ptr<DispatchQueue> queue,
                            Completion completion);
  static void responseImage(DataRequest request, Completion completion);

  // GET `url` through the process's default session, with no parameters and no headers of
  // its own; the image is delivered on the main queue.
  static void download(std::string url, Completion completion);
};

}  // namespace platform
