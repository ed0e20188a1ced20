#include "Platform/UI/Nib.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "Platform/Foundation/Console.h"
#include "Platform/Graphics/Image.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/NibCoder.h"
#include "Platform/UI/NibDecodingError.h"
#include "Platform/UI/NibOwner.h"
#include "Platform/UI/NibRegistry.h"
#include "Platform/UI/View.h"
#include "Tests/Support/TemporaryBundle.h"

using platform::Bundle;
using platform::ConsoleCapture;
using platform::Nib;
using platform::NibCoder;
using platform::NibRegistry;
using platform::Object;
using platform::Rect;
using platform::View;

namespace {

// What the reader did, in order, across every probe.
std::vector<std::string>& events() {
  static std::vector<std::string> log;
  return log;
}

class ProbeView : public View, public platform::NibOwner {
 public:
  ProbeView() = default;
  explicit ProbeView(const NibCoder& coder)
      : View(coder), note_(coder.decodeString("note").value_or("?")) {
    events().push_back("decode " + note_);
  }
  void awakeFromNib() override {
    events().push_back("awake " + note_ + " with " + std::to_string(subviews().size()));
  }
  bool connectOutlet(std::string_view outlet, const std::shared_ptr<Object>& object) override {
    events().push_back("connect " + std::string(outlet));
    return outlet == "content" && assignOutlet(content, object);
  }
  std::shared_ptr<View> content;

 private:
  std::string note_;
};

class ProbeObject : public Object {
 public:
  explicit ProbeObject(const NibCoder&) {}
};

class RefusingView : public View {
 public:
  explicit RefusingView(const NibCoder&) { throw platform::NibDecodingError("not from a nib"); }
};

std::shared_ptr<Bundle>& loopBundle() {
  static std::shared_ptr<Bundle> bundle;
  return bundle;
}

// A view whose nib holds the view itself: waking it loads that nib again.
class LoopView : public View {
 public:
  explicit LoopView(const NibCoder& coder) : View(coder) {}
  void awakeFromNib() override {
    innerCount = Nib("Loop", loopBundle()).instantiate(nullptr).size();
  }
  std::size_t innerCount = 99;
};

class NibTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    NibRegistry::registerClass<ProbeView>(nullptr, "ProbeView");
    NibRegistry::registerClass<ProbeObject>(nullptr, "ProbeObject");
    NibRegistry::registerClass<RefusingView>(nullptr, "RefusingView");
    NibRegistry::registerClass<LoopView>(nullptr, "LoopView");
  }
  void SetUp() override { events().clear(); }

  static std::vector<std::shared_ptr<Object>> load(std::string_view text,
                                                   const std::shared_ptr<Object>& owner) {
    return Nib::fromData(std::vector<std::uint8_t>(text.begin(), text.end())).instantiate(owner);
  }
};

TEST_F(NibTest, MakesTheWholeTreeThenConnectsThenWakesInDocumentOrder) {
  auto owner = View::make<ProbeView>(Rect{});
  auto objects = load(R"({
    "objects": [
      {"class": "ProbeView", "properties": {"note": "card", "frame": [1, 2, 30, 40], "tag": 7},
       "subviews": [
         {"class": "ProbeView", "id": "inner", "properties": {"note": "inner"}},
         {"class": "platform::View", "properties": {"tag": 5, "hidden": true}}]},
      {"class": "ProbeObject"}],
    "connections": [{"outlet": "content", "destination": "inner"}]})",
                      owner);
  ASSERT_EQ(objects.size(), 2u);
  auto card = std::dynamic_pointer_cast<ProbeView>(objects[0]);
  ASSERT_NE(card, nullptr);
  EXPECT_NE(std::dynamic_pointer_cast<ProbeObject>(objects[1]), nullptr);
  EXPECT_EQ(card->frame(), (Rect{1, 2, 30, 40}));
  EXPECT_EQ(card->tag(), 7);
  ASSERT_EQ(card->subviews().size(), 2u);
  EXPECT_EQ(owner->content, card->subviews()[0]);
  EXPECT_TRUE(card->subviews()[1]->isHidden());
  EXPECT_EQ(events(), (std::vector<std::string>{"decode card", "decode inner", "connect content",
                                                "awake card with 2", "awake inner with 0"}));
}

TEST_F(NibTest, OutletsTheOwnerRefusesAreReportedAndTheRestLoads) {
  const std::string_view nib = R"({"objects": [{"class": "ProbeView", "id": "a"}],
    "connections": [{"outlet": "nothing", "destination": "a"}]})";
  {
    ConsoleCapture console;
    EXPECT_EQ(load(nib, View::make<ProbeView>(Rect{})).size(), 1u);
    ASSERT_EQ(console.lines().size(), 1u);
    EXPECT_NE(console.lines()[0].find("\"nothing\""), std::string::npos);
  }
  ConsoleCapture console;
  EXPECT_EQ(load(nib, View::make()).size(), 1u);  // an owner that takes no outlets at all
  EXPECT_EQ(load(nib, nullptr).size(), 1u);       // no owner: nothing to connect
  EXPECT_EQ(console.lines().size(), 1u);
}

struct BadNib {
  std::string label;
  std::string text;
  std::string reason;  // part of the console line
};
void PrintTo(const BadNib& c, std::ostream* os) {
  *os << c.label;
}

class BadNibs : public NibTest, public ::testing::WithParamInterface<BadNib> {};

TEST_P(BadNibs, GiveNoObjectsOneLineAndWakeNothing) {
  const auto& bad = GetParam();
  auto owner = View::make<ProbeView>(Rect{});
  ConsoleCapture console;
  EXPECT_TRUE(load(bad.text, owner).empty());
  ASSERT_EQ(console.lines().size(), 1u);
  EXPECT_NE(console.lines()[0].find(bad.reason), std::string::npos) << console.lines()[0];
  EXPECT_EQ(owner->content, nullptr);
  for (const auto& event : events()) EXPECT_EQ(event.rfind("decode", 0), 0u) << event;
}

std::string deeplyNested(int levels) {
  std::string text = R"({"objects": [)";
  for (int i = 0; i < levels; ++i) text += R"({"class": "platform::View", "subviews": [)";
  for (int i = 0; i < levels; ++i) text += "]}";
  return text + "]}";
}

// Each nib has a valid first object with an outlet, so a reader that stops late would wake
// or connect something.
const std::string kGood = R"({"class": "ProbeView", "id": "ok", "properties": {"note": "ok"}})";
const std::string kConnection = R"("connections": [{"outlet": "content", "destination": "ok"}])";

INSTANTIATE_TEST_SUITE_P(
    Reader, BadNibs,
    ::testing::Values(
        BadNib{"NotJSON", R"({"objects": [)", "not JSON"},
        BadNib{"NotAnObject", "[]", "not a JSON object"},
        BadNib{"NoObjects", R"({"objects": {}})", "\"objects\""},
        BadNib{"UnknownClass",
               R"({"objects": [)" + kGood + R"(, {"class": "NoSuchView"}], )" + kConnection + "}",
               "unknown class \"NoSuchView\""},
        BadNib{"FrameOfText",
               R"({"objects": [)" + kGood +
                   R"(, {"class": "platform::View", "properties": {"frame": [0, 0, "a", 1]}}], )" +
                   kConnection + "}",
               "\"frame\" is not a rectangle"},
        BadNib{"FractionalTag",
               R"({"objects": [)" + kGood +
                   R"(, {"class": "platform::View", "properties": {"tag": 1.5}}], )" + kConnection +
                   "}",
               "\"tag\" is not an integer"},
        BadNib{"ColourOfThree",
               R"({"objects": [)" + kGood +
                   R"(, {"class": "platform::View", "properties": {"tintColor": [1, 1, 1]}}], )" +
                   kConnection + "}",
               "\"tintColor\" is not a colour"},
        BadNib{"TooDeep", deeplyNested(60), "nested too deeply"},
        BadNib{"SubviewsOfAnObject",
               R"({"objects": [)" + kGood + R"(, {"class": "ProbeObject", "subviews": []}], )" +
                   kConnection + "}",
               "is not a view"},
        BadNib{"ObjectAsSubview",
               R"({"objects": [{"class": "ProbeView", "id": "ok", "subviews": [{"class": )"
               R"("ProbeObject"}]}], )" +
                   kConnection + "}",
               "a subview of ProbeView is not a view"},
        BadNib{"DuplicateID", R"({"objects": [)" + kGood + ", " + kGood + "], " + kConnection + "}",
               "\"ok\" is used twice"},
        BadNib{"UnknownDestination",
               R"({"objects": [)" + kGood +
                   R"(], "connections": [{"outlet": "content", "destination": "gone"}]})",
               "unknown id \"gone\""},
        BadNib{"RefusedDecoding",
               R"({"objects": [)" + kGood + R"(, {"class": "RefusingView"}], )" + kConnection + "}",
               "RefusingView: not from a nib"}),
    [](const auto& info) { return info.param.label; });

TEST_F(NibTest, ReadsNibResourcesOfAHostBundle) {
  testsupport::TemporaryBundle host;
  host.write("Card.nib", R"({"objects": [{"class": "platform::View", "properties": {"tag": 3}}]})");
  auto objects = Nib("Card", host.bundle()).instantiate(nullptr);
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_EQ(std::dynamic_pointer_cast<View>(objects[0])->tag(), 3);

  ConsoleCapture console;
  EXPECT_TRUE(Nib("Missing", host.bundle()).instantiate(nullptr).empty());
  EXPECT_TRUE(Nib("Card", Bundle::main()).instantiate(nullptr).empty());
  EXPECT_EQ(console.lines().size(), 2u);
}

TEST_F(NibTest, ImagesAreNamedResourcesOfTheNibsBundle) {
  testsupport::TemporaryBundle host;
  auto png = platform::Image::make(3, 3, std::vector<std::uint8_t>(36, 200))->pngData();
  host.write("dot.png", std::string(png->begin(), png->end()));
  host.write("Images.nib", R"({"objects": [
    {"class": "platform::ImageView", "properties": {"image": "dot"}},
    {"class": "platform::Button", "properties": {"image": "dot"}},
    {"class": "platform::ImageView", "properties": {"image": "missing"}}]})");
  ConsoleCapture console;
  auto objects = Nib("Images", host.bundle()).instantiate(nullptr);
  ASSERT_EQ(objects.size(), 3u);
  auto image = std::dynamic_pointer_cast<platform::ImageView>(objects[0])->image();
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->width(), 3);
  EXPECT_NE(std::dynamic_pointer_cast<platform::Button>(objects[1])->currentImage(), nullptr);
  EXPECT_EQ(std::dynamic_pointer_cast<platform::ImageView>(objects[2])->image(), nullptr);
  ASSERT_EQ(console.lines().size(), 1u);
  EXPECT_NE(console.lines()[0].find("\"missing\""), std::string::npos);
}

TEST_F(NibTest, ANibThatLoadsItselfWhileLoadingIsRefusedInside) {
  testsupport::TemporaryBundle host;
  host.write("Loop.nib", R"({"objects": [{"class": "LoopView"}]})");
  loopBundle() = host.bundle();
  ConsoleCapture console;
  auto objects = Nib("Loop", host.bundle()).instantiate(nullptr);
  loopBundle() = nullptr;
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_EQ(std::dynamic_pointer_cast<LoopView>(objects[0])->innerCount, 0u);
  EXPECT_EQ(console.lines().size(), 1u);
}

TEST_F(NibTest, EachClassKnowsItsBundle) {
  testsupport::TemporaryBundle host;
  NibRegistry::registerClass<LoopView>(host.bundle(), "LoopView");
  EXPECT_EQ(NibRegistry::bundleForClass(typeid(LoopView)), host.bundle());
  EXPECT_EQ(NibRegistry::bundleForClass(typeid(ProbeView)), Bundle::main());
  EXPECT_EQ(NibRegistry::bundleForClass(typeid(View)), Bundle::framework());
  struct Unregistered : View {};
  EXPECT_EQ(NibRegistry::bundleForClass(typeid(Unregistered)), Bundle::main());
  NibRegistry::registerClass<LoopView>(nullptr, "LoopView");
}

}  // namespace
