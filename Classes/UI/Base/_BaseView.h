#pragma once

#include "Platform/UI/NibCoder.h"
#include "Platform/UI/View.h"

namespace brelum {

// A view with one setup hook, viewDidLoad(), that runs exactly once however the view is
// made: in code (View::make<T>(frame), or make<T>() with a zero frame) it runs as the
// creation's last step; from a nib it runs from awakeFromNib(), once the nib's tree is
// connected, and not while decoding.
//
// Main thread only. The framework's own overrides call the base hook first.
class _BaseView : public platform::View {
 public:
  _BaseView() = default;
  explicit _BaseView(const platform::NibCoder& coder) : View(coder) {}

  virtual void viewDidLoad() {}

  void didInitWithFrame() override;
  void awakeFromNib() override;
};

}  // namespace brelum
