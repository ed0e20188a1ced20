#include "Platform/UI/Nib.h"

#include <gtest/gtest.h>

#include "Platform/Foundation/Console.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/NibDecodingError.h"
#include "Platform/UI/NibOwner.h"
#include "Platform/UI/NibRegistry.h"
#include "Tests/Platform/UI/GeometryPrinting.h"
#include "Tests/Support/TemporaryBundle.h"

using namespace platform;

namespace {

// What the reader did, in order, across every probe.
std::vector<std::string> gEvents;

class ProbeView : public View, public NibOwner {
 public:
  ProbeView() = default;
  explicit ProbeView(const NibCoder& coder)
      : View(coder), note_(coder.decodeString("note").value_or("?")) {
    gEvents.push_back("decode " + note_);
  }
  void awakeFromNib() override {
    gEvents.push_back("awake " + note_ + " with " + std::to_string(subviews().size()));
  }
  bool connectOutlet(std::string_view outlet, const std::shared_ptr<Object>& object) override {
    gEvents.push_back("connect " + std::string(outlet));
    return outlet == "content" && assignOutlet(content, object);
  }
  std::shared_ptr<View> content;
  std::string note_;
};

struct ProbeObject : public Object {
  explicit ProbeObject(const NibCoder&) {}
};

struct RefusingView : public View {
  explicit RefusingView(const NibCoder&) { throw NibDecodingError("not from a nib"); }
};

std::shared_ptr<Bundle> gLoopBundle;

// A view whose nib holds the view itself: waking it loads that nib again.
struct LoopView : public View {
  explicit LoopView(const NibCoder& coder) : View(coder) {}
  void awakeFromNib() override {
    innerCount = Nib("Loop", gLoopBundle).instantiate(nullptr).size();
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
  void SetUp() override { gEvents.clear(); }

  static auto load(std::string_view text, const std::shared_ptr<Object>& owner) {
    return Nib::fromData({text.begin(), text.end()}).instantiate(owner);
  }
};

TEST_F(NibTest, MakesTheWholeTreeThenConnectsThenWakesInDocumentOrder) {
  auto owner = View::make<ProbeView>(Rect{});
  auto objects = load(R"({"objects": [
      {"class": "ProbeView", "properties": {"note": "card", "frame": [1, 2, 30, 40], "tag": 7},
       "subviews": [{"class": "ProbeView", "id": "inner", "properties": {"note": "inner"}},
                    {"class": "platform::View", "properties": {"hidden": true}}]},
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
  EXPECT_EQ(gEvents, (std::vector<std::string>{"decode card", "decode inner", "connect content",
                                               "awake card with 2", "awake inner with 0"}));
}

TEST_F(NibTest, OutletsTheOwnerRefusesAreReportedAndTheRestLoads) {
  const std::string_view nib = R"({"objects": [{"class": "ProbeView", "id": "a"}],
    "connections": [{"outlet": "nothing", "destination": "a"}]})";
  ConsoleCapture console;
  EXPECT_EQ(load(nib, View::make<ProbeView>(Rect{})).size(), 1u);
  EXPECT_EQ(load(nib, View::make()).size(), 1u);  // an owner that takes no outlets at all
  EXPECT_EQ(load(nib, nullptr).size(), 1u);       // no owner: nothing to connect
  const auto lines = console.lines();
  ASSERT_EQ(lines.size(), 2u) << ::testing::PrintToString(lines);
  EXPECT_TRUE(lines[0].contains("\"nothing\"")) << lines[0];
}

// A broken nib gives no objects and one console line; a reader that stopped late would wake
// the good first object or connect its outlet.
TEST_F(NibTest, BrokenNibsGiveNoObjectsOneLineAndWakeNothing) {
  std::string deep = ", ";
  for (int i = 0; i < 60; ++i) deep += R"({"class": "platform::View", "subviews": [)";
  for (int i = 0; i < 60; ++i) deep += "]}";
  const std::vector<std::pair<std::string, std::string>> cases{
      {", {", "not JSON"},
      {R"(, {"class": "NoSuchView"})", "unknown class \"NoSuchView\""},
      {R"(, {"class": "platform::View", "properties": {"frame": [0, 0, "a", 1]}})",
       "\"frame\" is not a rectangle"},
      {deep, "nested too deeply"},
      {R"(, {"class": "platform::View", "subviews": [{"class": "ProbeObject"}]})",
       "a subview of platform::View is not a view"},
      {R"(, {"class": "platform::ImageView", "properties": {"image": 5}})",
       "platform::ImageView: \"image\" is not a string"},
      // The missing image is noted before the failure, and must not add a line of its own.
      {R"(, {"class": "platform::ImageView", "id": "ok", "properties": {"image": "missing"}})",
       "\"ok\" is used twice"},
      {R"(, {"class": "RefusingView"})", "RefusingView: not from a nib"}};
  for (const auto& [objects, reason] : cases) {
    SCOPED_TRACE(reason);
    gEvents.clear();
    auto owner = View::make<ProbeView>(Rect{});
    ConsoleCapture console;
    EXPECT_TRUE(load(R"({"objects": [{"class": "ProbeView", "id": "ok"})" + objects +
                         R"(], "connections": [{"outlet": "content", "destination": "ok"}]})",
                     owner)
                    .empty());
    const auto lines = console.lines();
    ASSERT_EQ(lines.size(), 1u) << ::testing::PrintToString(lines);
    EXPECT_TRUE(lines[0].contains(reason)) << lines[0];
    EXPECT_EQ(owner->content, nullptr);
    for (const auto& event : gEvents) EXPECT_EQ(event.rfind("decode", 0), 0u) << event;
  }
}

TEST_F(NibTest, ReadsImagesFromTheNibsBundleAndRefusesANibLoadingItselfInside) {
  testsupport::TemporaryBundle host;
  auto png = Image::make(3, 3, std::vector<std::uint8_t>(36, 200))->pngData();
  host.write("dot.png", std::string(png->begin(), png->end()));
  host.write("Images.nib", R"({"objects": [
    {"class": "platform::ImageView", "properties": {"image": "dot"}},
    {"class": "platform::Button", "properties": {"image": "dot"}},
    {"class": "platform::ImageView", "properties": {"image": "missing"}}]})");
  host.write("Loop.nib", R"({"objects": [{"class": "LoopView"}]})");
  ConsoleCapture console;
  auto objects = Nib("Images", host.bundle()).instantiate(nullptr);
  ASSERT_EQ(objects.size(), 3u);
  EXPECT_EQ(std::dynamic_pointer_cast<ImageView>(objects[0])->image()->width(), 3);
  EXPECT_NE(std::dynamic_pointer_cast<Button>(objects[1])->currentImage(), nullptr);
  EXPECT_EQ(std::dynamic_pointer_cast<ImageView>(objects[2])->image(), nullptr);
  EXPECT_TRUE(Nib("Missing", host.bundle()).instantiate(nullptr).empty());
  const auto lines = console.lines();
  ASSERT_EQ(lines.size(), 2u) << ::testing::PrintToString(lines);
  EXPECT_TRUE(lines[0].contains("\"missing\"")) << lines[0];

  gLoopBundle = host.bundle();
  objects = Nib("Loop", host.bundle()).instantiate(nullptr);
  gLoopBundle = nullptr;
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_EQ(std::dynamic_pointer_cast<LoopView>(objects[0])->innerCount, 0)
      << "a nib loading itself was instantiated inside";
  EXPECT_EQ(console.lines().size(), 3u) << "the nib loading itself was not reported";
}

}  // namespace
