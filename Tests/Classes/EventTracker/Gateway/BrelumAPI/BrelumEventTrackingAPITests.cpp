// The cloud-queue gateway against the stand-in queue over real HTTPS: what the queue
// decodes must be the document, byte for byte, for every kind of event in zones on both
// sides of UTC; failures carry the status and the whole request URL.
#include "Classes/EventTracker/Gateway/BrelumAPI/BrelumEventTrackingAPI.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "Classes/EventTracker/EventTracker.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/BrelumEventTrackingAPIGatewayFactory.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/BrelumEventTrackingJSONEncoderFactory.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/EventTrackingJSONBuilder.h"
#include "Classes/HTTP/Curl/CurlHTTPAdapterFactory.h"
#include "Platform/Foundation/TimeZone.h"
#include "Platform/Foundation/URLComponents.h"
#include "Tests/Support/Backend.h"
#include "Tests/Support/MainLoopPump.h"
#include "Tests/Support/StandInQueue.h"

namespace {

using brelum::BrelumEventTrackingAPI;
using brelum::EventTracker;
using brelum::EventTrackingGateway;
using Event = EventTracker::Event;
using platform::Date;
using testsupport::Backend;
using testsupport::kEventQueuePath;
using testsupport::md5Hex;
using testsupport::queueMessages;
using testsupport::runMainLoopUntil;

// 2025-01-04T14:13:20.5Z: winter on both sides, so New York is at -0500.
constexpr Date kCreatedAt(1736000000.5);

class FixedDateFactory : public brelum::DateFactory {
 public:
  platform::Date now() override { return kCreatedAt; }
};

// Every character the queue's decoding could mangle or refuse if it went out raw: the form
// separators, "%", "+" and space, non-ASCII, an astral character, the non-characters the
// queue refuses unescaped, a control character, JSON's own quote and backslash.
const std::string kHostText =
    "a+b &c=d %25 \xC3\xA9 \xF0\x9F\x94\xB4 \xEF\xBF\xBE\xEF\xBF\xBF \x01 \"q\" \\ ~";

const EventTracker::Data::User kUser{"", "host+user&1", "Ann " + kHostText, "FEMALE"};
const EventTracker::Data::Device kDevice{"6F1C2D3E", "Model + 1", "", "6.1.0+deb", "iOS", true};

std::shared_ptr<BrelumEventTrackingAPI> makeGateway(
    std::string_view baseURL = EventTracker::kQueueURL) {
  return BrelumEventTrackingAPI::make(
      platform::URL::make(baseURL).value(), "app+1", "2.0.0+build", kDevice,
      brelum::CurlHTTPAdapterFactory().make(), std::make_shared<FixedDateFactory>(),
      std::make_shared<brelum::BrelumEventTrackingJSONEncoderFactory>());
}

// The document the gateway is expected to send, written the way it writes it.
std::string documentFor(const Event& event) {
  const auto document = brelum::EventTrackingJSONBuilder::make()->build(
      "app+1", "2.0.0+build", kCreatedAt, kUser, kDevice, event);
  return brelum::BrelumEventTrackingJSONEncoderFactory().make()->encode(document).value();
}

std::optional<EventTrackingGateway::Result> deliver(EventTrackingGateway& gateway,
                                                    const Event& event) {
  std::optional<EventTrackingGateway::Result> outcome;
  int calls = 0;
  gateway.track(event, kUser, [&](EventTrackingGateway::Result result) {
    ++calls;
    outcome = std::move(result);
  });
  EXPECT_TRUE(runMainLoopUntil([&] { return outcome.has_value(); }, std::chrono::seconds(20)));
  testsupport::drainMainQueue();
  EXPECT_LE(calls, 1);
  return outcome;
}

std::vector<Event> everyKind() {
  const auto& t = kHostText;
  return {
      Event::load_a_screen("show+1", EventTracker::Event::Screen::product_details),
      Event::something_went_wrong("show+1", "error " + t, "12+3"),
      Event::open_app("entry&point=1"),
      Event::closeSDK("show+1"),
      Event::display_product_list("show+1", "c=1", "Coats " + t, true),
      Event::dismiss_product_list("show+1", "c=1", "Coats " + t),
      Event::like("show+1", "c=1", "Coats " + t, "120"),
      Event::share("show+1", "c=1", "Coats " + t, "120"),
      Event::display_chat("show+1"),
      Event::send_chat_message("show+1", "hi " + t, "c=1", "Coats " + t),
      Event::dismiss_chat("show+1"),
      Event::product_category_updated("c=1", "Coats " + t),
      Event::live_screen_tap("show+1", false),
      Event::view_product_item("show+1", "cat%1"),
      Event::addToBag("show+1", "p+1", "client&p=1"),
      Event::product_image_pressed("show+1", "p+1", "client&p=1"),
      Event::session("show+1", Date(1736000000.125), Date(1735990000.75)),
      Event::keyboard_status("show+1", true),
  };
}

struct Zone {
  const char* identifier;
  const char* offset;  // as the creation time must show it
};

class BrelumEventTrackingAPITest : public testsupport::BackendTest {
 protected:
  void TearDown() override { platform::TimeZone::setCurrent(std::nullopt); }
};

class EveryKindInAZone : public BrelumEventTrackingAPITest,
                         public ::testing::WithParamInterface<std::tuple<Zone, std::size_t>> {};

TEST_P(EveryKindInAZone, ReachesTheQueueExactlyAsWritten) {
  const auto& [zone, kind] = GetParam();
  platform::TimeZone::setCurrent(platform::TimeZone::fromIdentifier(zone.identifier).value());
  const auto event = everyKind().at(kind);
  const auto expected = documentFor(event);
  ASSERT_NE(expected.find(std::string("T") + (zone.offset[0] == '+' ? "19:43:20" : "09:13:20") +
                          zone.offset),
            std::string::npos)
      << expected;

  const auto outcome = deliver(*makeGateway(), event);
  ASSERT_TRUE(outcome.has_value());
  EXPECT_TRUE(outcome->has_value()) << outcome->error().debugDescription();

  const auto messages = queueMessages(backend());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].queue, kEventQueuePath);
  EXPECT_EQ(messages[0].body, expected);
  EXPECT_EQ(messages[0].md5OfMessageBody, md5Hex(expected));
}

INSTANTIATE_TEST_SUITE_P(Zones, EveryKindInAZone,
                         ::testing::Combine(::testing::Values(Zone{"Asia/Kolkata", "+0530"},
                                                              Zone{"America/New_York", "-0500"}),
                                            ::testing::Range<std::size_t>(0, 18)),
                         [](const auto& info) {
                           const Zone& zone = std::get<0>(info.param);
                           std::string name =
                               std::string(zone.offset[0] == '+' ? "East_" : "West_") +
                               std::string(everyKind().at(std::get<1>(info.param)).name());
                           for (auto& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

struct ReplyCase {
  const char* name;
  Backend::Fault fault;
  std::optional<int> failureStatus;  // none: a success

  friend void PrintTo(const ReplyCase& c, std::ostream* os) { *os << c.name; }
};

class QueueReply : public BrelumEventTrackingAPITest,
                   public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(QueueReply, AnyStatusIn2xxSucceedsAndAnythingElseCarriesTheWholeURL) {
  const auto& c = GetParam();
  backend().setFault(c.fault);
  const auto outcome = deliver(*makeGateway(), Event::closeSDK("show+1"));
  ASSERT_TRUE(outcome.has_value());
  ASSERT_EQ(outcome->has_value(), !c.failureStatus);
  if (!c.failureStatus) return;

  const auto& error = outcome->error().underlyingHTTPError();
  EXPECT_EQ(error.statusCode, *c.failureStatus);
  const auto& url = error.request.url.absoluteString();
  EXPECT_EQ(outcome->error().debugDescription(),
            "HTTP Error: " + url + " got an " + std::to_string(*c.failureStatus) + " response.");
  // libcurl sends a request again once when a kept-alive connection closes unanswered.
  const auto recorded = backend().requests(kEventQueuePath);
  ASSERT_FALSE(recorded.empty());
  EXPECT_EQ(url, std::string(EventTracker::kQueueURL) + "?" + recorded.back().rawQuery);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, QueueReply,
    ::testing::Values(
        ReplyCase{"OkWithAnyBody", Backend::Fault(std::string(kEventQueuePath)).status(200, "?"),
                  std::nullopt},
        ReplyCase{"NoContent", Backend::Fault(std::string(kEventQueuePath)).status(204),
                  std::nullopt},
        ReplyCase{"Forbidden", Backend::Fault(std::string(kEventQueuePath)).status(403), 403},
        ReplyCase{"ServerError", Backend::Fault(std::string(kEventQueuePath)).status(500), 500},
        ReplyCase{"NoResponse",
                  Backend::Fault(std::string(kEventQueuePath)).drop(Backend::Drop::beforeResponse),
                  -1000}),
    [](const auto& info) { return std::string(info.param.name); });

// A document the queue would refuse is not sent at all.
TEST_F(BrelumEventTrackingAPITest, ADocumentOverTheQueueLimitFailsWithoutSending) {
  const auto outcome =
      deliver(*makeGateway(), Event::send_chat_message("s", std::string(270'000, 'x'), "c", "n"));
  ASSERT_TRUE(outcome.has_value());
  ASSERT_FALSE(outcome->has_value());
  EXPECT_EQ(outcome->error().underlyingHTTPError().statusCode, -1000);
  EXPECT_NE(outcome->error().underlyingHTTPError().description.find("262144"), std::string::npos);
  EXPECT_TRUE(backend().requests(kEventQueuePath).empty());
}

// 100,000 bytes of two-byte characters: as \u00e9 escapes they would be three times that,
// past what the queue takes.
TEST_F(BrelumEventTrackingAPITest, TextBeyondASCIIGoesOutAtItsUTF8Size) {
  std::string message;
  for (int i = 0; i < 50'000; ++i) message += "\xC3\xA9";
  const auto event = Event::send_chat_message("s", message, "c", "n");
  const auto outcome = deliver(*makeGateway(), event);
  ASSERT_TRUE(outcome.has_value());
  EXPECT_TRUE(outcome->has_value()) << outcome->error().debugDescription();
  const auto messages = queueMessages(backend());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].md5OfMessageBody, md5Hex(documentFor(event)));
}

TEST_F(BrelumEventTrackingAPITest, ABaseQueryIsReplacedByExactlyActionAndMessageBody) {
  const auto event = Event::like("show+1", "c=1", "Coats", "1");
  const auto outcome = deliver(
      *makeGateway(std::string(EventTracker::kQueueURL) + "?Action=PurgeQueue&Version=1"), event);
  ASSERT_TRUE(outcome.has_value() && outcome->has_value());

  const auto recorded = backend().requests(kEventQueuePath);
  ASSERT_EQ(recorded.size(), 1u);
  EXPECT_EQ(recorded[0].method, "GET");
  EXPECT_TRUE(recorded[0].body.empty());
  EXPECT_EQ(recorded[0].header("content-type"), "application/json");
  const std::vector<std::pair<std::string, std::string>> query{{"Action", "SendMessage"},
                                                               {"MessageBody", documentFor(event)}};
  EXPECT_EQ(recorded[0].query, query);
}

TEST_F(BrelumEventTrackingAPITest, ADocumentThatCannotBeWrittenFailsWithoutSending) {
  const auto nan = std::numeric_limits<double>::quiet_NaN();
  const auto outcome = deliver(*makeGateway(), Event::session("s", Date(nan), Date(0)));
  ASSERT_TRUE(outcome.has_value());
  ASSERT_FALSE(outcome->has_value());
  EXPECT_EQ(outcome->error().underlyingHTTPError().statusCode, -1000);
  EXPECT_TRUE(backend().requests(kEventQueuePath).empty());
}

struct MessageURLCase {
  const char* base;
  const char* before;  // the text before the message query
  const char* after;   // the text after the encoded document

  friend void PrintTo(const MessageURLCase& c, std::ostream* os) { *os << c.base; }
};

class MessageURL : public ::testing::TestWithParam<MessageURLCase> {};

// Without the network: the query is replaced and the percent-decoded value is the document.
TEST_P(MessageURL, ReplacesTheQueryAndDecodesToTheDocument) {
  const auto& c = GetParam();
  const std::string document = R"({"t":"a+b &c=d %25 )" + kHostText + R"("})";
  const auto url =
      BrelumEventTrackingAPI::messageURL(platform::URL::make(c.base).value(), document);
  ASSERT_TRUE(url.has_value());
  const auto& text = url->absoluteString();
  const std::string prefix = std::string(c.before) + "?Action=SendMessage&MessageBody=";
  ASSERT_EQ(text.substr(0, prefix.size()), prefix);
  ASSERT_EQ(text.substr(text.size() - std::string_view(c.after).size()), c.after);
  const auto value =
      text.substr(prefix.size(), text.size() - prefix.size() - std::string_view(c.after).size());
  EXPECT_EQ(value.find_first_of("+&=#? "), std::string::npos) << value;
  EXPECT_EQ(platform::percentDecode(value), document);
}

INSTANTIATE_TEST_SUITE_P(
    Bases, MessageURL,
    ::testing::Values(
        MessageURLCase{"https://q.example/1/queue", "https://q.example/1/queue", ""},
        MessageURLCase{"https://q.example/1/queue?x=1&y", "https://q.example/1/queue", ""},
        MessageURLCase{"https://q.example/1/queue#f?x", "https://q.example/1/queue", "#f?x"},
        MessageURLCase{"https://q.example:8443/?Action=Purge#frag", "https://q.example:8443/",
                       "#frag"}));

TEST(BrelumEventTrackingAPIGatewayFactoryTest, EveryEventGetsANewGatewayAndAdapterButSharedTools) {
  auto clock = std::make_shared<FixedDateFactory>();
  auto encoders = std::make_shared<brelum::BrelumEventTrackingJSONEncoderFactory>();
  brelum::BrelumEventTrackingAPIGatewayFactory factory(
      std::make_shared<brelum::CurlHTTPAdapterFactory>(), clock, encoders);
  const auto queue = platform::URL::make(EventTracker::kQueueURL).value();
  const auto customer = platform::URL::make("https://api.brelum.io/v1/customer/events").value();

  const auto first = std::dynamic_pointer_cast<BrelumEventTrackingAPI>(
      factory.make(queue, customer, "app", "1.0", kDevice));
  const auto second = std::dynamic_pointer_cast<BrelumEventTrackingAPI>(
      factory.make(queue, std::nullopt, "app", "1.0", kDevice));
  ASSERT_TRUE(first && second);
  EXPECT_NE(first, second);
  EXPECT_NE(first->httpAdapter(), second->httpAdapter());
  EXPECT_EQ(first->dateFactory(), clock);
  EXPECT_EQ(second->dateFactory(), clock);
  EXPECT_EQ(first->jsonEncoderFactory(), encoders);
  EXPECT_EQ(second->jsonEncoderFactory(), encoders);
  // The customer URL changes nothing: both go to the queue.
  EXPECT_EQ(first->baseURL(), queue);
  EXPECT_EQ(second->baseURL(), queue);
}

}  // namespace
