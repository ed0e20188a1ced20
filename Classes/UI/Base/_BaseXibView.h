#pragma once

#include <memory>
#include <string>

#include "Classes/UI/Base/_BaseView.h"
#include "Platform/UI/NibCoder.h"

namespace brelum {

// A _BaseView that fills itself with the first view of a nib named after its class: when
// its setup hook runs (in code: on creation; from a nib: on waking), it loads the nib
// xibName() from the bundle of its class with itself as owner, and pins that view to its
// four edges. No such nib, or a first object that is not a view, leaves it empty and quiet.
//
// Main thread only.
class _BaseXibView : public _BaseView {
 public:
  _BaseXibView() = default;
  explicit _BaseXibView(const platform::NibCoder& coder) : _BaseView(coder) {}

  void viewDidLoad() override;

  // The content view of the latest successful load; null before one.
  [[nodiscard]] const std::shared_ptr<platform::View>& _xibContentView() const noexcept {
    return xibContentView_;
  }
  void set_xibContentView(std::shared_ptr<platform::View> view) {
    xibContentView_ = std::move(view);
  }

  // The nib to load: by default className(*this), the class's own name without its
  // namespaces, so a host's class demo::CardView loads its content from "CardView.nib".
  [[nodiscard]] virtual std::string xibName() const;

  // Loads the nib and fits its view in. Each call adds one more content view, which
  // _xibContentView() then answers.
  virtual void loadXib();

  // For design tools that show the view outside a running host: loads the nib.
  virtual void prepareForInterfaceBuilder();

 private:
  std::shared_ptr<platform::View> xibContentView_;
};

}  // namespace brelum
