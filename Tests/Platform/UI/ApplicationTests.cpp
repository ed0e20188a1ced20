#include "Platform/UI/Application.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Platform/Foundation/NotificationCenter.h"
#include "Platform/UI/Window.h"

using namespace platform;

namespace {

TEST(ApplicationTest, ListsLiveWindowsInOrderFindsTheKeyOneAndAnnouncesChanges) {
  auto first = Window::make({0, 0, 10, 10}), second = Window::make({0, 0, 10, 10});
  Window::make({0, 0, 10, 10})->makeKey();  // gone at once
  auto& app = Application::shared();
  EXPECT_EQ(app.windows(), (std::vector{first, second}));
  EXPECT_EQ(app.keyWindow(), nullptr) << "the released window is still key";
  second->makeKeyAndVisible();
  EXPECT_FALSE(second->isHidden());
  EXPECT_EQ(app.keyWindow(), second);
  first->makeKey();
  EXPECT_FALSE(second->isKeyWindow());
  EXPECT_EQ(app.keyWindow(), first);

  std::vector<std::string> seen;
  auto& center = *NotificationCenter::defaultCenter();
  auto token = center.addObserver(std::nullopt, nullptr, nullptr, [&](const auto& note) {
    if (note.name.starts_with("UI")) seen.push_back(note.name);
  });
  using enum ApplicationState;
  using enum DeviceOrientation;
  for (auto state : {active, inactive, background, active}) app.setState(state);
  for (auto turn : {landscapeLeft, landscapeLeft, portrait}) app.setOrientation(turn);
  center.removeObserver(token);
  const std::string turned = "UIDeviceOrientationDidChangeNotification";
  EXPECT_EQ(seen,
            (std::vector<std::string>{"UIApplicationWillResignActiveNotification",
                                      "UIApplicationDidBecomeActiveNotification", turned, turned}));
}

}  // namespace
