#pragma once

#include <memory>
#include <string_view>

#include "Classes/UI/Base/_BaseXibView.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/NibOwner.h"

namespace demo {

// A card built from the demo bundle's ProfileCard.nib: a stripe, a round avatar drawn in
// code, two bars standing for text, and a badge whose glyph comes from the stand-in back end
// as a template image, drawn in the card's tint. Coloured with the framework's colour helpers.
class ProfileCard : public brelum::_BaseXibView, public platform::NibOwner {
 public:
  void viewDidLoad() override;
  bool connectOutlet(std::string_view outlet,
                     const std::shared_ptr<platform::Object>& object) override;

  // Whether the badge shows the glyph from the back end rather than its placeholder.
  [[nodiscard]] bool hasDownloadedBadge() const;

 private:
  std::shared_ptr<platform::View> stripe_;
  std::shared_ptr<platform::ImageView> avatar_;
  std::shared_ptr<platform::View> nameBar_;
  std::shared_ptr<platform::View> detailBar_;
  std::shared_ptr<platform::ImageView> badge_;
  std::shared_ptr<const platform::Image> placeholder_;
};

}  // namespace demo
