#include "Platform/UI/Button.h"

#include <gtest/gtest.h>

#include "Platform/UI/ImageView.h"
#include "Tests/Platform/UI/GeometryPrinting.h"

using namespace platform;

namespace {

TEST(ButtonTest, ShowsTheImageOfItsStateInsetAndTinted) {
  auto button = View::make<Button>(Rect{0, 0, 24, 24});
  auto pressed = Image::make(1, 1, {0, 0, 0, 255});
  auto normal = pressed->withRenderingMode(Image::RenderingMode::alwaysTemplate);
  button->setImage(normal, ControlState::normal);
  button->setImage(pressed, ControlState::highlighted);
  button->setImageEdgeInsets({6, 6, 6, 6});
  button->setTintColor(Color::white());
  button->layoutIfNeeded();
  const auto& imageView = button->imageView();
  EXPECT_EQ(imageView->frame(), (Rect{6, 6, 12, 12}));
  EXPECT_EQ(imageView->image(), normal);
  EXPECT_TRUE(imageView->drawsAsTemplate());
  EXPECT_EQ(imageView->tintColor(), Color::white());
  button->setHighlighted(true);
  EXPECT_EQ(button->currentImage(), pressed);
  EXPECT_EQ(imageView->image(), pressed);
  button->setSelected(true);  // highlighted and selected has no image of its own
  EXPECT_EQ(imageView->image(), normal);
  button->setImage(nullptr, ControlState::normal);
  EXPECT_EQ(imageView->image(), nullptr);
  EXPECT_EQ(button->hitTest({12, 12}), button);  // the image view lets touches through
}

}  // namespace
