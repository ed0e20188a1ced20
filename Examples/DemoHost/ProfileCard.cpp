#include "Examples/DemoHost/ProfileCard.h"

#include "Classes/UI/Extensions/ColorExtensions.h"
#include "Classes/UI/Extensions/ImageExtensions.h"
#include "Classes/UI/Extensions/ImageViewExtensions.h"
#include "Platform/UI/Layer.h"

namespace demo {
namespace {

// The stand-in serves template glyphs here; scripts/demo routes the framework's server names
// to it.
constexpr std::string_view kBadgeURL = "https://console.brelum.io/assets/templates/check.png";

}  // namespace

void ProfileCard::viewDidLoad() {
  _BaseXibView::viewDidLoad();  // loads the nib, which connects the outlets
  if (!avatar_ || !badge_) return;
  layer()->setCornerRadius(14);
  layer()->setMasksToBounds(true);
  setTintColor(brelum::colorWithHex4(0xFFE8590C));
  stripe_->setBackgroundColor(brelum::colorWithHex(" #1f6feb\n", 1));
  nameBar_->setBackgroundColor(brelum::color(0x30363D));
  detailBar_->setBackgroundColor(brelum::color(139, 148, 158, 255));
  avatar_->setImage(brelum::circle(56, brelum::colorWithHex("2EA043", 1)));
  placeholder_ = brelum::circle(12, platform::Color::black());
  brelum::setTemplateImage(*badge_, placeholder_, platform::URL::make(kBadgeURL));
}

bool ProfileCard::connectOutlet(std::string_view outlet,
                                const std::shared_ptr<platform::Object>& object) {
  if (outlet == "stripe") return assignOutlet(stripe_, object);
  if (outlet == "avatar") return assignOutlet(avatar_, object);
  if (outlet == "nameBar") return assignOutlet(nameBar_, object);
  if (outlet == "detailBar") return assignOutlet(detailBar_, object);
  if (outlet == "badge") return assignOutlet(badge_, object);
  return false;
}

bool ProfileCard::hasDownloadedBadge() const {
  // The glyph is 24 points wide; the placeholder 12.
  return badge_ && badge_->image() && placeholder_ &&
         badge_->image()->size() != placeholder_->size();
}

}  // namespace demo
