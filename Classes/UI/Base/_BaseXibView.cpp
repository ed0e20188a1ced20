#include "Classes/UI/Base/_BaseXibView.h"

#include "Classes/UI/Extensions/ViewExtensions.h"
#include "Platform/UI/NibRegistry.h"

namespace brelum {
namespace {

const platform::NibClassRegistration<_BaseXibView> kNibClass(platform::Bundle::framework());

}  // namespace

void _BaseXibView::viewDidLoad() {
  _BaseView::viewDidLoad();
  loadXib();
}

std::string _BaseXibView::xibName() const {
  return className(*this);
}

void _BaseXibView::loadXib() {
  auto content = loadFromXib(*this, xibName(), nullptr);
  if (!content) return;
  addSubviewAndFit(*this, content, 0);
  set_xibContentView(std::move(content));
}

void _BaseXibView::prepareForInterfaceBuilder() {
  loadXib();
}

}  // namespace brelum
