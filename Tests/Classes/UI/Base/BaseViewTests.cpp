#include "Classes/UI/Base/_BaseView.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Classes/UI/Base/_BaseXibView.h"
#include "Platform/Foundation/Console.h"
#include "Platform/UI/Nib.h"
#include "Platform/UI/NibRegistry.h"
#include "Tests/Support/TemporaryBundle.h"

using brelum::_BaseView;
using brelum::_BaseXibView;
using platform::ConsoleCapture;
using platform::Nib;
using platform::NibCoder;
using platform::NibRegistry;
using platform::Rect;
using platform::View;

namespace basetests {

class HookCounter : public _BaseView {
 public:
  HookCounter() = default;
  explicit HookCounter(const NibCoder& coder) : _BaseView(coder) {}
  void viewDidLoad() override {
    _BaseView::viewDidLoad();
    ++loads;
  }
  int loads = 0;
};

class CardView : public _BaseXibView {
 public:
  CardView() = default;
  explicit CardView(const NibCoder& coder) : _BaseXibView(coder) {}
};

class RenamedView : public _BaseXibView {
 public:
  [[nodiscard]] std::string xibName() const override { return "CardView"; }
};

class NoNibView : public _BaseXibView {};
class NotAView : public _BaseXibView {};

}  // namespace basetests

namespace {

using basetests::CardView;
using basetests::HookCounter;

TEST(BaseView, RunsItsHookOnceOnEachRoad) {
  EXPECT_EQ(View::make<HookCounter>()->loads, 1);
  EXPECT_EQ(View::make<HookCounter>(Rect{0, 0, 10, 10})->loads, 1);

  EXPECT_EQ(View::decode<HookCounter>(NibCoder(nlohmann::json::object()))->loads, 0);
  NibRegistry::registerClass<HookCounter>();
  auto objects = Nib::fromData(std::vector<std::uint8_t>{}).instantiate(nullptr);  // empty: bad
  const std::string nib = R"({"objects": [{"class": "basetests::HookCounter",
    "subviews": [{"class": "basetests::HookCounter"}]}]})";
  objects = Nib::fromData({nib.begin(), nib.end()}).instantiate(nullptr);
  ASSERT_EQ(objects.size(), 1u);
  auto outer = std::dynamic_pointer_cast<HookCounter>(objects[0]);
  EXPECT_EQ(outer->loads, 1);
  EXPECT_EQ(std::dynamic_pointer_cast<HookCounter>(outer->subviews()[0])->loads, 1);
}

class BaseXibView : public ::testing::Test {
 protected:
  void SetUp() override {
    host_.write("CardView.nib", R"({"objects": [{"class": "platform::View",
      "properties": {"tag": 42}}]})");
    host_.write(
        "NotAView.nib",
        R"({"objects": [{"class": "platform::ViewController"}, {"class": "platform::View"}]})");
    NibRegistry::registerClass<CardView>(host_.bundle());
    NibRegistry::registerClass<basetests::RenamedView>(host_.bundle());
    NibRegistry::registerClass<basetests::NoNibView>(host_.bundle());
    NibRegistry::registerClass<basetests::NotAView>(host_.bundle());
  }
  testsupport::TemporaryBundle host_;
};

TEST_F(BaseXibView, FillsItselfWithTheFirstViewOfItsClassNib) {
  auto card = View::make<CardView>(Rect{0, 0, 120, 80});
  ASSERT_EQ(card->subviews().size(), 1u);
  auto content = card->_xibContentView();
  ASSERT_EQ(content, card->subviews()[0]);
  EXPECT_EQ(content->tag(), 42);
  card->layoutIfNeeded();
  EXPECT_EQ(content->frame(), (Rect{0, 0, 120, 80}));

  // Each load adds one more fitted content view.
  card->loadXib();
  ASSERT_EQ(card->subviews().size(), 2u);
  EXPECT_EQ(card->_xibContentView(), card->subviews()[1]);
  card->setFrame({0, 0, 60, 30});
  card->layoutIfNeeded();
  EXPECT_EQ(card->subviews()[1]->frame(), (Rect{0, 0, 60, 30}));
  EXPECT_EQ(content->frame(), (Rect{0, 0, 60, 30}));

  EXPECT_EQ(View::make<basetests::RenamedView>()->_xibContentView()->tag(), 42);
}

TEST_F(BaseXibView, WithoutAUsableNibStaysEmptyAndQuiet) {
  ConsoleCapture console;
  for (const std::shared_ptr<_BaseXibView>& view :
       {std::shared_ptr<_BaseXibView>(View::make<basetests::NoNibView>()),
        std::shared_ptr<_BaseXibView>(View::make<basetests::NotAView>())}) {
    EXPECT_TRUE(view->subviews().empty());
    EXPECT_EQ(view->_xibContentView(), nullptr);
  }
  EXPECT_TRUE(console.lines().empty());
}

TEST_F(BaseXibView, FromANibLoadsItsContentOnWaking) {
  const std::string nib = R"({"objects": [{"class": "basetests::CardView"}]})";
  auto objects = Nib::fromData({nib.begin(), nib.end()}).instantiate(nullptr);
  ASSERT_EQ(objects.size(), 1u);
  auto card = std::dynamic_pointer_cast<CardView>(objects[0]);
  ASSERT_NE(card->_xibContentView(), nullptr);
  EXPECT_EQ(card->subviews().size(), 1u);
  EXPECT_EQ(View::decode<CardView>(NibCoder(nlohmann::json::object()))->_xibContentView(), nullptr);
}

}  // namespace
