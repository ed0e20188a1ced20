#include "Platform/Network/ImageDownloader.h"

#include <algorithm>
#include <mutex>
#include <optional>
#include <utility>

#include "Platform/Dispatch/DispatchQueue.h"
#include "Platform/Foundation/ASCII.h"
#include "Platform/Network/HTTPHeaders.h"
#include "Platform/Network/HTTPSession.h"

namespace platform {
namespace {

// "Image/PNG; charset=binary" → "image/png"; nothing when the value names no type/subtype.
std::optional<std::string> mimeType(std::string_view contentType) {
  const auto essence = asciiTrimmed(contentType.substr(0, contentType.find(';')));
  const auto slash = essence.find('/');
  if (slash == 0 || slash == std::string_view::npos || slash + 1 == essence.size()) {
    return std::nullopt;
  }
  return asciiLowercased(essence);
}

struct AcceptableTypes {
  std::mutex mutex;
  std::set<std::string> types = ImageDownloader::defaultAcceptableImageContentTypes();
};

AcceptableTypes& acceptableTypes() {
  // Never destroyed: a decode on a pool thread may still read it while statics are torn
  // down at exit.
  static auto* instance = new AcceptableTypes;
  return *instance;
}

bool isAcceptable(const std::string& type) {
  auto& slot = acceptableTypes();
  std::lock_guard lock(slot.mutex);
  return slot.types.contains(type);
}

std::expected<std::shared_ptr<Image>, ImageDownloadError> serialize(const DataResponse& reply) {
  using Kind = ImageDownloadError::Kind;
  if (reply.error) return std::unexpected(ImageDownloadError{Kind::session, reply.error, {}, {}});
  const auto header =
      reply.response ? headerValue(reply.response->headers, "Content-Type") : std::nullopt;
  const auto type = header ? mimeType(*header) : std::nullopt;
  if (!type) return std::unexpected(ImageDownloadError{Kind::missingContentType, {}, {}, {}});
  if (!isAcceptable(*type)) {
    return std::unexpected(ImageDownloadError{Kind::unacceptableContentType, {}, *type, {}});
  }
  auto decoded = Image::decode(reply.data);
  if (!decoded) {
    return std::unexpected(
        ImageDownloadError{Kind::imageSerializationFailed, {}, {}, decoded.error()});
  }
  return std::move(*decoded);
}

}  // namespace

const std::set<std::string>& ImageDownloader::defaultAcceptableImageContentTypes() {
  static const std::set<std::string> kTypes = {
      "image/tiff",      "image/jpeg",     "image/gif",         "image/png",
      "image/ico",       "image/x-icon",   "image/bmp",         "image/x-bmp",
      "image/x-xbitmap", "image/x-ms-bmp", "image/x-win-bitmap"};
  return kTypes;
}

std::set<std::string> ImageDownloader::acceptableImageContentTypes() {
  auto& slot = acceptableTypes();
  std::lock_guard lock(slot.mutex);
  return slot.types;
}

void ImageDownloader::addAcceptableImageContentTypes(const std::set<std::string>& types) {
  auto& slot = acceptableTypes();
  std::lock_guard lock(slot.mutex);
  for (const auto& type : types) slot.types.insert(asciiLowercased(asciiTrimmed(type)));
}

void ImageDownloader::responseImage(DataRequest request, std::shared_ptr<DispatchQueue> queue,
                                    Completion completion) {
  if (!queue) queue = DispatchQueue::main();
  // The session delivers to a global queue, where the body is checked and decoded; only the
  // finished outcome goes to the caller's queue.
  std::move(request).validate(200, 300).response(
      DispatchQueue::global(),
      [queue = std::move(queue), completion = std::move(completion)](DataResponse reply) mutable {
        auto result = serialize(reply);
        ImageResponse outcome{std::move(reply.response), std::move(reply.data), std::move(result)};
        queue->async([completion = std::move(completion), outcome = std::move(outcome)]() mutable {
          completion(std::move(outcome));
        });
      });
}

void ImageDownloader::responseImage(DataRequest request, Completion completion) {
  responseImage(std::move(request), nullptr, std::move(completion));
}

void ImageDownloader::download(std::string url, Completion completion) {
  responseImage(HTTPSession::defaultSession()->request(std::move(url)), nullptr,
                std::move(completion));
}

}  // namespace platform
