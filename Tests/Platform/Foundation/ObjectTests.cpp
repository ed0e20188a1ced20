#include "Platform/Foundation/Object.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Platform/UI/View.h"

using namespace platform;

namespace {

struct Companion {
  explicit Companion(int* alive) : alive(alive) { ++*alive; }
  ~Companion() { --*alive; }
  int* alive;
};
const char kKey = 0, kOtherKey = 0;

TEST(ObjectTest, AssociatedObjectsAreRetainedReplacedAndReleasedWithTheirOwner) {
  int alive = 0;
  auto view = View::make();
  view->setAssociatedObject(&kKey, std::make_shared<Companion>(&alive));
  EXPECT_EQ(alive, 1);
  EXPECT_TRUE(view->associatedObject<Companion>(&kKey));
  // Stored as another type, or under another key: nothing.
  EXPECT_FALSE(view->associatedObject<std::string>(&kKey));
  EXPECT_FALSE(view->associatedObject(&kOtherKey));
  view->setAssociatedObject(&kKey, std::make_shared<Companion>(&alive));
  EXPECT_EQ(alive, 1);  // the first one went
  view->setAssociatedObject(&kOtherKey, std::make_shared<std::string>("x"));
  view->setAssociatedObject(&kOtherKey, std::shared_ptr<void>());
  EXPECT_EQ(view->associatedObject(&kOtherKey), nullptr);
  view.reset();
  EXPECT_EQ(alive, 0);
}

}  // namespace
