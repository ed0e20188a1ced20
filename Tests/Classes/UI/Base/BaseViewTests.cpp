#include "Classes/UI/Base/_BaseView.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Classes/UI/Base/_BaseXibView.h"
#include "Platform/Foundation/Console.h"
#include "Platform/UI/Nib.h"
#include "Platform/UI/NibRegistry.h"
#include "Tests/Support/TemporaryBundle.h"

namespace basetests {

using namespace platform;

class HookCounter : public brelum::_BaseView {
 public:
  HookCounter() = default;
  explicit HookCounter(const NibCoder& coder) : _BaseView(coder) {}
  void viewDidLoad() override {
    _BaseView::viewDidLoad();
    ++loads;
  }
  int loads = 0;
};

class CardView : public brelum::_BaseXibView {
 public:
  CardView() = default;
  explicit CardView(const NibCoder& coder) : _BaseXibView(coder) {}
};

class RenamedView : public brelum::_BaseXibView {
 public:
  [[nodiscard]] std::string xibName() const override { return "CardView"; }
};

class NoNibView : public brelum::_BaseXibView {};
class NotAView : public brelum::_BaseXibView {};

std::vector<std::shared_ptr<Object>> load(const std::string& nib) {
  return Nib::fromData({nib.begin(), nib.end()}).instantiate(nullptr);
}

TEST(BaseView, RunsItsHookOnceOnEachRoad) {
  EXPECT_EQ(View::make<HookCounter>()->loads, 1);
  EXPECT_EQ(View::decode<HookCounter>(NibCoder(nlohmann::json::object()))->loads, 0);
  NibRegistry::registerClass<HookCounter>();
  auto objects = load(R"({"objects": [{"class": "basetests::HookCounter",
    "subviews": [{"class": "basetests::HookCounter"}]}]})");
  ASSERT_EQ(objects.size(), 1u);
  auto outer = std::dynamic_pointer_cast<HookCounter>(objects[0]);
  EXPECT_EQ(outer->loads, 1);
  EXPECT_EQ(std::dynamic_pointer_cast<HookCounter>(outer->subviews()[0])->loads, 1);
}

class BaseXibView : public ::testing::Test {
 protected:
  void SetUp() override {
    host_.write("CardView.nib",
                R"({"objects": [{"class": "platform::View", "properties": {"tag": 42}}]})");
    host_.write(
        "NotAView.nib",
        R"({"objects": [{"class": "platform::ViewController"}, {"class": "platform::View"}]})");
    NibRegistry::registerClass<CardView>(host_.bundle());
    NibRegistry::registerClass<RenamedView>(host_.bundle());
    NibRegistry::registerClass<NoNibView>(host_.bundle());
    NibRegistry::registerClass<NotAView>(host_.bundle());
  }
  testsupport::TemporaryBundle host_;
};

TEST_F(BaseXibView, FillsItselfWithTheFirstViewOfItsClassNibEachTimeItLoadsOrStaysEmpty) {
  auto card = View::make<CardView>(Rect{0, 0, 120, 80});
  ASSERT_EQ(card->subviews().size(), 1u);
  auto first = card->_xibContentView();
  ASSERT_EQ(first, card->subviews()[0]);
  EXPECT_EQ(first->tag(), 42);

  card->loadXib();
  ASSERT_EQ(card->subviews().size(), 2u);
  EXPECT_EQ(card->_xibContentView(), card->subviews()[1]);
  card->layoutIfNeeded();
  EXPECT_EQ(first->frame(), (Rect{0, 0, 120, 80}));
  EXPECT_EQ(card->subviews()[1]->frame(), (Rect{0, 0, 120, 80}));

  EXPECT_EQ(View::make<RenamedView>()->_xibContentView()->tag(), 42);

  // Without a usable nib: empty and quiet.
  platform::ConsoleCapture console;
  EXPECT_TRUE(View::make<NoNibView>()->subviews().empty());
  EXPECT_TRUE(View::make<NotAView>()->subviews().empty());
  EXPECT_TRUE(console.lines().empty());

  // From a nib: loaded on waking, not while decoding.
  auto objects = load(R"({"objects": [{"class": "basetests::CardView"}]})");
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_NE(std::dynamic_pointer_cast<CardView>(objects[0])->_xibContentView(), nullptr);
  EXPECT_EQ(View::decode<CardView>(NibCoder(nlohmann::json::object()))->_xibContentView(), nullptr);
}

}  // namespace basetests
