#include "Classes/UI/Base/_BaseView.h"

#include "Platform/UI/NibRegistry.h"

namespace brelum {
namespace {

const platform::NibClassRegistration<_BaseView> kNibClass(platform::Bundle::framework());

}  // namespace

void _BaseView::didInitWithFrame() {
  View::didInitWithFrame();
  viewDidLoad();
}

void _BaseView::awakeFromNib() {
  View::awakeFromNib();
  viewDidLoad();
}

}  // namespace brelum
