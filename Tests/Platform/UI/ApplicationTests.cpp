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
  EXPECT_TRUE(app.windows() == (std::vector{first, second}) && !app.keyWindow());
  second->makeKeyAndVisible();
  EXPECT_TRUE(!second->isHidden() && app.keyWindow() == second);
  first->makeKey();
  EXPECT_TRUE(!second->isKeyWindow() && app.keyWindow() == first);

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
