#include "Classes/UI/Extensions/ViewExtensions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "Classes/UI/Base/_BaseXibView.h"
#include "Platform/Foundation/Console.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/LayoutConstraint.h"
#include "Platform/UI/NibOwner.h"
#include "Platform/UI/NibRegistry.h"
#include "Tests/Support/TemporaryBundle.h"

using platform::Button;
using platform::ImageView;
using platform::Rect;
using platform::SemanticContentAttribute;
using platform::View;

namespace viewtests {

struct Outer {
  struct Inner {};
};
template <class T>
struct Box {};

class Card : public View {
 public:
  Card() = default;
  explicit Card(const platform::NibCoder& coder) : View(coder) {}
};

class CardXib : public brelum::_BaseXibView {};

class CardOwner : public View, public platform::NibOwner {
 public:
  bool connectOutlet(std::string_view outlet,
                     const std::shared_ptr<platform::Object>& object) override {
    return outlet == "image" && assignOutlet(image, object);
  }
  std::shared_ptr<ImageView> image;
};

}  // namespace viewtests

namespace {

TEST(FitSubview, PinsTheFourAbsoluteEdgesAfterLayout) {
  auto parent = View::make(Rect{10, 10, 200, 100});
  parent->setSemanticContentAttribute(SemanticContentAttribute::forceRightToLeft);
  auto child = View::make(Rect{1, 2, 3, 4});
  brelum::addSubviewAndFit(*parent, child, 8);
  ASSERT_EQ(parent->subviews().back(), child);
  parent->setFrame({0, 0, 300, 50});
  parent->layoutIfNeeded();
  EXPECT_EQ(child->frame(), (Rect{8, 8, 284, 34}));
  // Left and right, not leading and trailing: a right-to-left layout does not mirror the fit.
  for (auto edge : {platform::LayoutAttribute::left, platform::LayoutAttribute::right}) {
    EXPECT_EQ(
        std::ranges::count(child->constraints(), edge, &platform::LayoutConstraint::firstAttribute),
        1);
  }
}

TEST(SubviewSearch, GoesDepthFirstAndDoesNotEnterAMatchingTypeWithAnotherTag) {
  auto root = View::make(), plain1 = View::make(), plain2 = View::make();
  auto button3 = View::make<Button>(Rect{}), inner5 = View::make<Button>(Rect{});
  auto nested5 = View::make<Button>(Rect{}), last5 = View::make<Button>(Rect{});
  button3->setTag(3);
  for (const auto& button : {inner5, nested5, last5}) button->setTag(5);
  root->addSubview(plain1);
  plain1->addSubview(button3);
  button3->addSubview(inner5);
  root->addSubview(plain2);
  plain2->addSubview(nested5);
  root->addSubview(last5);

  EXPECT_EQ(brelum::subview<Button>(*root, std::nullopt), button3);
  EXPECT_EQ(brelum::subview<Button>(*root, 5), nested5);
  EXPECT_EQ(brelum::subview<Button>(*root, 9), nullptr);
  EXPECT_EQ(brelum::subview<Button>(*button3, 3), nullptr);  // the receiver is no candidate
}

// The instance form gave "viewtests::Card" while the static form and xibName gave "Card", so
// the instance form looked for a nib that no base view loads.
TEST(ClassName, EveryFormIsTheTypesOwnNameWithoutItsNamespace) {
  std::shared_ptr<View> card = View::make<viewtests::Card>(Rect{});
  EXPECT_EQ(brelum::className(*card), "Card");
  EXPECT_EQ(brelum::className<viewtests::Card>(), "Card");
  EXPECT_EQ(View::make<viewtests::CardXib>()->xibName(), "CardXib");
  EXPECT_EQ(brelum::className<viewtests::Outer::Inner>(), "Inner");
  EXPECT_EQ(brelum::className<viewtests::Box<viewtests::Card>>(), "Box<viewtests::Card>");
  EXPECT_EQ(brelum::className<int>(), "int");
}

TEST(LoadFromXib, InstanceFormConnectsTheReceiverAndStaticFormThrowsUnlessTheFirstObjectIsAT) {
  platform::NibRegistry::registerClass<viewtests::Card>();
  testsupport::TemporaryBundle host_;
  host_.write("Card.nib", R"({"objects": [{"class": "viewtests::Card", "properties": {"tag": 1},
    "subviews": [{"class": "platform::ImageView", "id": "image"}]},
    {"class": "platform::ImageView"}],
    "connections": [{"outlet": "image", "destination": "image"}]})");
  host_.write(
      "Controller.nib",
      R"({"objects": [{"class": "platform::ViewController"}, {"class": "platform::View"}]})");
  host_.write("CardOwner.nib", R"({"objects": [{"class": "platform::View"}]})");
  auto owner = View::make<viewtests::CardOwner>(Rect{});
  auto content = brelum::loadFromXib(*owner, "Card", host_.bundle());
  ASSERT_TRUE(content);
  ASSERT_EQ(content->subviews().size(), 1u);
  EXPECT_EQ(owner->image, content->subviews()[0]);

  platform::ConsoleCapture console;
  EXPECT_EQ(brelum::loadFromXib(*owner, "Controller", host_.bundle()), nullptr);
  EXPECT_EQ(brelum::loadFromXib(*owner, "Missing", host_.bundle()), nullptr);
  EXPECT_EQ(brelum::loadFromXib(*owner, std::nullopt, nullptr), nullptr);  // the main bundle
  EXPECT_TRUE(console.lines().empty());  // a missing nib is not even read
  platform::NibRegistry::registerClass<viewtests::CardOwner>(host_.bundle());
  EXPECT_NE(brelum::loadFromXib(*owner, std::nullopt, nullptr), nullptr);
  platform::NibRegistry::registerClass<viewtests::CardOwner>();

  // The static form throws unless the first object is of the type.
  // No name: the type's own name, "Card" for viewtests::Card.
  EXPECT_EQ(brelum::loadFromXib<viewtests::Card>(std::nullopt, host_.bundle())->tag(), 1);
  // Card.nib's second object is an image view: only the first one counts.
  EXPECT_THROW((void)brelum::loadFromXib<ImageView>("Card", host_.bundle()), brelum::ViewError);
  EXPECT_THROW((void)brelum::loadFromXib<View>("Controller", host_.bundle()), brelum::ViewError);
  EXPECT_THROW((void)brelum::loadFromXib<View>("Missing", host_.bundle()), brelum::ViewError);
}

}  // namespace
