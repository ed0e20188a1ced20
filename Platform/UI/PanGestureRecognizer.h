#pragma once

#include <memory>

#include "Platform/UI/GestureRecognizer.h"

namespace platform {

// A drag: begins once the touch has moved kHysteresis points from where it went down,
// changes with every move after that, and ends when the touch lifts (a touch that lifts
// before it has moved far enough fails).
class PanGestureRecognizer : public GestureRecognizer {
 public:
  static constexpr double kHysteresis = 10;

  [[nodiscard]] static std::shared_ptr<PanGestureRecognizer> make();

  // How far the touch has moved since the gesture began (or since setTranslation), in
  // `view`'s coordinate space. Views neither scale nor rotate here, so the vector is the
  // same in every view.
  [[nodiscard]] Point translation(const View* view) const;
  void setTranslation(Point translation, const View* view);

 protected:
  PanGestureRecognizer() = default;

  void began(Point windowPoint) override;
  void moved(Point windowPoint) override;
  void ended(Point windowPoint) override;

 private:
  Point down_;
  Point origin_;  // translation is measured from here
};

}  // namespace platform
