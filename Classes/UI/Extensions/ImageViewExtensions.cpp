#include "Classes/UI/Extensions/ImageViewExtensions.h"

#include <utility>

#include "Platform/Network/ImageDownloader.h"

namespace brelum {
namespace {

using platform::Image;

// The image view's latest setTemplateImage call; a download compares it with its own.
const char kTemplateRequestKey = 0;

struct TemplateRequest {};

std::shared_ptr<const Image> asTemplate(const std::shared_ptr<const Image>& image) {
  return image ? image->withRenderingMode(Image::RenderingMode::alwaysTemplate) : nullptr;
}

}  // namespace

void setTemplateImage(platform::ImageView& imageView, const std::shared_ptr<const Image>& image,
                      const std::optional<platform::URL>& url) {
  auto request = std::make_shared<TemplateRequest>();
  imageView.setAssociatedObject(&kTemplateRequestKey, request);
  imageView.setImage(asTemplate(image));
  if (!url) return;
  auto view =
      std::weak_ptr(std::static_pointer_cast<platform::ImageView>(imageView.shared_from_this()));
  platform::ImageDownloader::download(
      url->absoluteString(),
      [view = std::move(view), request = std::weak_ptr(request)](platform::ImageResponse response) {
        auto downloaded = asTemplate(response.image());
        auto target = view.lock();
        if (!downloaded || !target) return;
        auto current = target->associatedObject<TemplateRequest>(&kTemplateRequestKey);
        if (current && current == request.lock()) target->setImage(std::move(downloaded));
      });
}

}  // namespace brelum
