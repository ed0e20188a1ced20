#include "Classes/UI/Extensions/ViewExtensions.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "Platform/Foundation/Console.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/LayoutConstraint.h"
#include "Platform/UI/NibOwner.h"
#include "Platform/UI/NibRegistry.h"
#include "Tests/Support/TemporaryBundle.h"

using platform::Button;
using platform::ConsoleCapture;
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

// Owns a nib's views through one outlet.
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

struct FitCase {
  std::string label;
  double margin;
  SemanticContentAttribute direction;
  Rect expected;  // in a 200 × 100 superview
};
void PrintTo(const FitCase& c, std::ostream* os) {
  *os << c.label;
}

class FitSubview : public ::testing::TestWithParam<FitCase> {};

TEST_P(FitSubview, PinsTheFourAbsoluteEdgesAfterLayout) {
  const auto& c = GetParam();
  auto parent = View::make(Rect{10, 10, 200, 100});
  parent->setSemanticContentAttribute(c.direction);
  auto child = View::make(Rect{1, 2, 3, 4});
  brelum::addSubviewAndFit(*parent, child, c.margin);
  parent->layoutIfNeeded();
  EXPECT_EQ(child->superview(), parent);
  EXPECT_EQ(child->frame(), c.expected);
  // The fit holds when the superview changes size.
  parent->setFrame({0, 0, 300, 50});
  parent->layoutIfNeeded();
  EXPECT_EQ(child->frame(), (Rect{c.margin, c.margin, 300 - 2 * c.margin, 50 - 2 * c.margin}));
  // The left edge is bound to the left edge, whichever way the layout runs.
  auto left = std::ranges::find_if(child->constraints(), [](const auto& constraint) {
    return constraint->firstAttribute() == platform::LayoutAttribute::left;
  });
  ASSERT_NE(left, child->constraints().end());
  (*left)->setConstant(c.margin + 10);
  parent->layoutIfNeeded();
  EXPECT_EQ(child->frame().minX(), c.margin + 10);
  EXPECT_EQ(child->frame().maxX(), 300 - c.margin);
}

INSTANTIATE_TEST_SUITE_P(
    Margins, FitSubview,
    ::testing::Values(
        FitCase{"Zero", 0, SemanticContentAttribute::unspecified, {0, 0, 200, 100}},
        FitCase{"Eight", 8, SemanticContentAttribute::unspecified, {8, 8, 184, 84}},
        FitCase{"Negative", -4, SemanticContentAttribute::unspecified, {-4, -4, 208, 108}},
        FitCase{"RightToLeftIsNotMirrored",
                8,
                SemanticContentAttribute::forceRightToLeft,
                {8, 8, 184, 84}}),
    [](const auto& info) { return info.param.label; });

TEST(SubviewSearch, GoesDepthFirstAndDoesNotEnterAMatchingTypeWithAnotherTag) {
  auto root = View::make();
  auto plain1 = View::make(), plain2 = View::make();
  auto button3 = View::make<Button>(Rect{}), inner5 = View::make<Button>(Rect{});
  auto nested5 = View::make<Button>(Rect{}), last5 = View::make<Button>(Rect{});
  button3->setTag(3);
  inner5->setTag(5);
  nested5->setTag(5);
  last5->setTag(5);
  root->addSubview(plain1);
  plain1->addSubview(button3);
  button3->addSubview(inner5);
  root->addSubview(plain2);
  plain2->addSubview(nested5);
  root->addSubview(last5);

  EXPECT_EQ(brelum::subview<Button>(*root, std::nullopt), button3);
  EXPECT_EQ(brelum::subview<Button>(*root, 5), nested5);
  EXPECT_EQ(brelum::subview<Button>(*root, 9), nullptr);
  // The receiver is never a candidate, and nothing is found in a view without subviews.
  EXPECT_EQ(brelum::subview<Button>(*button3, 3), nullptr);
  EXPECT_EQ(brelum::subview<View>(*View::make(), std::nullopt), nullptr);
}

TEST(ClassName, IsTheDynamicTypeOrTheStaticTypesOwnName) {
  std::shared_ptr<View> card = View::make<viewtests::Card>(Rect{});
  EXPECT_EQ(brelum::className(*card), "viewtests::Card");
  EXPECT_EQ(brelum::className(*View::make()), "platform::View");
  EXPECT_EQ(brelum::className<viewtests::Outer::Inner>(), "Inner");
  EXPECT_EQ(brelum::className<viewtests::Box<viewtests::Card>>(), "Box<viewtests::Card>");
  EXPECT_EQ(brelum::className<int>(), "int");
}

TEST(RemoveSubviews, RemovesEveryDirectSubview) {
  auto root = View::make();
  std::vector<std::shared_ptr<View>> children{View::make(), View::make(), View::make()};
  for (const auto& child : children) root->addSubview(child);
  children[1]->addSubview(View::make());
  brelum::removeSubviews(*root);
  EXPECT_TRUE(root->subviews().empty());
  for (const auto& child : children) EXPECT_EQ(child->superview(), nullptr);
  EXPECT_EQ(children[1]->subviews().size(), 1u);
}

class LoadFromXib : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { platform::NibRegistry::registerClass<viewtests::Card>(); }
  void SetUp() override {
    host_.write("Card.nib", R"({"objects": [
      {"class": "viewtests::Card", "properties": {"tag": 1},
       "subviews": [{"class": "platform::ImageView", "id": "image"}]},
      {"class": "platform::ImageView"}],
      "connections": [{"outlet": "image", "destination": "image"}]})");
    host_.write(
        "Controller.nib",
        R"({"objects": [{"class": "platform::ViewController"}, {"class": "platform::View"}]})");
    host_.write("viewtests::CardOwner.nib", R"({"objects": [{"class": "platform::View"}]})");
  }
  testsupport::TemporaryBundle host_;
};

TEST_F(LoadFromXib, InstanceFormConnectsTheReceiverAndAnswersTheFirstView) {
  auto owner = View::make<viewtests::CardOwner>(Rect{});
  auto content = brelum::loadFromXib(*owner, "Card", host_.bundle());
  ASSERT_NE(content, nullptr);
  EXPECT_EQ(content->tag(), 1);
  ASSERT_EQ(content->subviews().size(), 1u);
  EXPECT_EQ(owner->image, content->subviews()[0]);

  ConsoleCapture console;
  EXPECT_EQ(brelum::loadFromXib(*owner, "Controller", host_.bundle()), nullptr);
  EXPECT_EQ(brelum::loadFromXib(*owner, "Missing", host_.bundle()), nullptr);
  EXPECT_TRUE(console.lines().empty());  // a missing nib is not even read
}

TEST_F(LoadFromXib, InstanceFormDefaultsToTheClassNameInTheClassBundle) {
  auto owner = View::make<viewtests::CardOwner>(Rect{});
  EXPECT_EQ(brelum::loadFromXib(*owner, std::nullopt, nullptr), nullptr);  // the main bundle
  platform::NibRegistry::registerClass<viewtests::CardOwner>(host_.bundle());
  EXPECT_NE(brelum::loadFromXib(*owner, std::nullopt, nullptr), nullptr);
  EXPECT_NE(brelum::loadFromXib(*owner, "Card", nullptr), nullptr);
  platform::NibRegistry::registerClass<viewtests::CardOwner>();
}

TEST_F(LoadFromXib, StaticFormThrowsUnlessTheFirstObjectIsOfTheType) {
  auto view = brelum::loadFromXib<View>("Card", host_.bundle());
  EXPECT_EQ(view->tag(), 1);
  // Card.nib's second object is an image view: only the first one counts.
  EXPECT_THROW((void)brelum::loadFromXib<ImageView>("Card", host_.bundle()), brelum::ViewError);
  EXPECT_THROW((void)brelum::loadFromXib<View>("Controller", host_.bundle()), brelum::ViewError);
  ConsoleCapture console;
  try {
    (void)brelum::loadFromXib<View>("Missing", host_.bundle());
    ADD_FAILURE() << "a missing nib loaded";
  } catch (const brelum::ViewError& error) {
    EXPECT_EQ(error, brelum::ViewError::loadFromXIBError());
  }
  EXPECT_EQ(console.lines().size(), 1u);
  // No name: the type's own name, "Card" for viewtests::Card.
  EXPECT_EQ(brelum::loadFromXib<viewtests::Card>(std::nullopt, host_.bundle())->tag(), 1);
}

}  // namespace
