#include "Platform/UI/PanGestureRecognizer.h"

#include <cmath>

namespace platform {

std::shared_ptr<PanGestureRecognizer> PanGestureRecognizer::make() {
  return std::shared_ptr<PanGestureRecognizer>(new PanGestureRecognizer);
}

Point PanGestureRecognizer::translation(const View*) const {
  const Point now = currentPoint();
  return {now.x - origin_.x, now.y - origin_.y};
}

void PanGestureRecognizer::setTranslation(Point translation, const View*) {
  const Point now = currentPoint();
  origin_ = {now.x - translation.x, now.y - translation.y};
}

void PanGestureRecognizer::began(Point windowPoint) {
  down_ = windowPoint;
  origin_ = windowPoint;
}

void PanGestureRecognizer::moved(Point windowPoint) {
  if (isRecognizing()) {
    setState(State::changed);
  } else if (std::hypot(windowPoint.x - down_.x, windowPoint.y - down_.y) >= kHysteresis) {
    setState(State::began);
  }
}

void PanGestureRecognizer::ended(Point) {
  setState(isRecognizing() ? State::ended : State::failed);
}

}  // namespace platform
