#include "Classes/UI/Extensions/ViewExtensions.h"

#include <string_view>
#include <typeinfo>
#include <utility>
#include <vector>

#include "Platform/Foundation/TypeName.h"
#include "Platform/UI/LayoutConstraint.h"
#include "Platform/UI/NibRegistry.h"

namespace brelum {

namespace {

// The last piece of a type's name split at "::" (outside template arguments), empty pieces
// dropped: "demo::Outer::Inner" gives "Inner", "Card" gives "Card".
std::string lastNamePiece(std::string_view typeName) {
  std::string_view last;
  std::size_t start = 0;
  int depth = 0;
  for (std::size_t i = 0; i < typeName.size(); ++i) {
    const char c = typeName[i];
    if (c == '<' || c == '(') ++depth;
    if (c == '>' || c == ')') --depth;
    if (depth == 0 && c == ':' && i + 1 < typeName.size() && typeName[i + 1] == ':') {
      if (i > start) last = typeName.substr(start, i - start);
      start = i + 2;
      ++i;
    }
  }
  if (start < typeName.size()) last = typeName.substr(start);
  return std::string(last);
}

}  // namespace

void addSubviewAndFit(platform::View& view, const std::shared_ptr<platform::View>& subview,
                      double margin) {
  view.addSubview(subview);
  subview->setTranslatesAutoresizingMaskIntoConstraints(false);
  subview->topAnchor().constraintEqualTo(view.topAnchor(), margin)->setActive(true);
  subview->bottomAnchor().constraintEqualTo(view.bottomAnchor(), -margin)->setActive(true);
  subview->leftAnchor().constraintEqualTo(view.leftAnchor(), margin)->setActive(true);
  subview->rightAnchor().constraintEqualTo(view.rightAnchor(), -margin)->setActive(true);
}

std::string className(const std::type_info& type) {
  return lastNamePiece(platform::typeName(type));
}

std::string className(const platform::View& view) {
  return className(typeid(view));
}

std::shared_ptr<platform::View> loadFromXib(platform::View& view,
                                            std::optional<std::string> xibName,
                                            std::shared_ptr<platform::Bundle> bundle) {
  if (!bundle) bundle = platform::NibRegistry::bundleForClass(typeid(view));
  const platform::Nib nib(xibName ? std::move(*xibName) : className(view), std::move(bundle));
  if (!nib.exists()) return nullptr;
  auto objects = nib.instantiate(view.shared_from_this());
  return objects.empty() ? nullptr : std::dynamic_pointer_cast<platform::View>(objects.front());
}

void removeSubviews(platform::View& view) {
  const std::vector<std::shared_ptr<platform::View>> snapshot = view.subviews();
  for (const auto& subview : snapshot) subview->removeFromSuperview();
}

}  // namespace brelum
