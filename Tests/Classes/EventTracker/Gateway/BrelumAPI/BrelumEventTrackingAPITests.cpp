// The cloud-queue gateway against the stand-in queue over real HTTPS: what the queue
// decodes must be the document, byte for byte; failures carry the status and the whole
// request URL.
#include "Classes/EventTracker/Gateway/BrelumAPI/BrelumEventTrackingAPI.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "Classes/EventTracker/EventTracker.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/BrelumEventTrackingJSONEncoderFactory.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/EventTrackingJSONBuilder.h"
#include "Classes/HTTP/Curl/CurlHTTPAdapterFactory.h"
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
  return testsupport::awaitCompletion<EventTrackingGateway::Result>(
      [&](auto done) { gateway.track(event, kUser, done); });
}

class BrelumEventTrackingAPITest : public testsupport::BackendTest {};

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
        ReplyCase{"Forbidden", Backend::Fault(std::string(kEventQueuePath)).status(403), 403},
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
    ::testing::Values(MessageURLCase{"https://q.example/1/queue", "https://q.example/1/queue", ""},
                      MessageURLCase{"https://q.example/1/queue#f?x", "https://q.example/1/queue",
                                     "#f?x"},
                      MessageURLCase{"https://q.example:8443/?Action=Purge#frag",
                                     "https://q.example:8443/", "#frag"}));

}  // namespace
