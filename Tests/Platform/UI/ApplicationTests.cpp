#include "Platform/UI/Application.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Platform/Foundation/NotificationCenter.h"
#include "Platform/UI/Window.h"

using platform::Application;
using platform::ApplicationState;
using platform::DeviceOrientation;
using platform::NotificationCenter;
using platform::Window;

namespace {

TEST(ApplicationTest, ListsLiveWindowsInOrderAndFindsTheKeyOne) {
  auto first = Window::make({0, 0, 10, 10});
  auto second = Window::make({0, 0, 10, 10});
  {
    auto gone = Window::make({0, 0, 10, 10});
    gone->makeKey();
  }
  auto& app = Application::shared();
  EXPECT_EQ(app.windows(), (std::vector<std::shared_ptr<Window>>{first, second}));
  EXPECT_EQ(app.keyWindow(), nullptr);
  second->makeKeyAndVisible();
  EXPECT_FALSE(second->isHidden());
  EXPECT_EQ(app.keyWindow(), second);
  first->makeKey();
  EXPECT_FALSE(second->isKeyWindow());
  EXPECT_EQ(app.keyWindow(), first);
}

TEST(ApplicationTest, StateAndOrientationChangesAreAnnounced) {
  std::vector<std::string> seen;
  auto& center = *NotificationCenter::defaultCenter();
  auto token = center.addObserver(std::nullopt, nullptr, nullptr, [&](const auto& note) {
    if (note.name.starts_with("UI")) seen.push_back(note.name);
  });
  auto& app = Application::shared();
  app.setState(ApplicationState::active);
  app.setState(ApplicationState::inactive);
  app.setState(ApplicationState::background);
  app.setState(ApplicationState::active);
  app.setOrientation(DeviceOrientation::landscapeLeft);
  app.setOrientation(DeviceOrientation::landscapeLeft);
  app.setOrientation(DeviceOrientation::portrait);
  center.removeObserver(token);
  EXPECT_EQ(seen, (std::vector<std::string>{
                      "UIApplicationWillResignActiveNotification",
                      "UIApplicationDidBecomeActiveNotification",
                      "UIDeviceOrientationDidChangeNotification",
                      "UIDeviceOrientationDidChangeNotification",
                  }));
}

}  // namespace
