// The cloud-queue gateway against the stand-in queue over real HTTPS: what the queue
// decodes must be the document, byte for byte; failures carry the status and the whole
// request URL.
#include "Classes/EventTracker/Gateway/BrelumAPI/BrelumEventTrackingAPI.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
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

TEST_F(BrelumEventTrackingAPITest, AnyStatusIn2xxSucceedsAndAnythingElseCarriesTheWholeURL) {
  const std::string path(kEventQueuePath);
  const std::pair<Backend::Fault, std::optional<int>> replies[] = {
      {Backend::Fault(path).status(200, "?"), std::nullopt},
      {Backend::Fault(path).status(403), 403},
      {Backend::Fault(path).drop(Backend::Drop::beforeResponse), -1000}};
  for (const auto& [fault, status] : replies) {
    backend().clearFaults();
    backend().setFault(fault);
    const auto outcome = deliver(*makeGateway(), Event::closeSDK("show+1"));
    ASSERT_TRUE(outcome.has_value());
    ASSERT_EQ(outcome->has_value(), !status);
    if (!status) continue;
    const auto& error = outcome->error().underlyingHTTPError();
    EXPECT_EQ(error.statusCode, *status);
    const auto& url = error.request.url.absoluteString();
    EXPECT_EQ(outcome->error().debugDescription(),
              "HTTP Error: " + url + " got an " + std::to_string(*status) + " response.");
    EXPECT_EQ(url, std::string(EventTracker::kQueueURL) + "?" +
                       backend().requests(kEventQueuePath).back().rawQuery);
  }
}

// A document the queue would refuse, too large or not writable, is not sent at all; one at
// the size limit is, byte for byte. The refused ones go first, so that one sent anyway
// besides its early failure has reached the back end by the time the later one is answered.
TEST_F(BrelumEventTrackingAPITest, OnlyADocumentTheQueueTakesIsSent) {
  const auto chat = [](std::size_t size) {
    return Event::send_chat_message("s", std::string(size, 'x'), "c", "n");
  };
  const auto overLimit =
      chat(BrelumEventTrackingAPI::kMaximumMessageBytes + 1 - documentFor(chat(0)).size());
  const auto nan = std::numeric_limits<double>::quiet_NaN();
  for (const auto& event : {overLimit, Event::session("s", Date(nan), Date(0))}) {
    // Found before any request, the failure still comes later, not inside track().
    bool early = false;
    makeGateway()->track(event, kUser, [&early](auto) { early = true; });
    EXPECT_FALSE(early);
    const auto outcome = deliver(*makeGateway(), event);
    ASSERT_TRUE(outcome.has_value()) << "no completion";
    ASSERT_FALSE(outcome->has_value()) << "a document the queue refuses was sent";
    EXPECT_EQ(outcome->error().underlyingHTTPError().statusCode, -1000);
  }

  const auto atLimit =
      chat(BrelumEventTrackingAPI::kMaximumMessageBytes - documentFor(chat(0)).size());
  ASSERT_EQ(documentFor(atLimit).size(), 262'144u);
  const auto sent = deliver(*makeGateway(), atLimit);
  ASSERT_TRUE(sent.has_value()) << "no completion";
  ASSERT_TRUE(sent->has_value()) << sent->error().debugDescription();
  ASSERT_TRUE(testsupport::runMainLoopUntil([&] { return backend().idle(); }));
  EXPECT_EQ(backend().requests(kEventQueuePath).size(), 1u);
  const auto messages = testsupport::queueMessages(backend());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].body, documentFor(atLimit));
}

TEST_F(BrelumEventTrackingAPITest, ABaseQueryIsReplacedByExactlyActionAndMessageBody) {
  const auto event = Event::like("show+1", "c=1", "Coats", "1");
  const auto outcome = deliver(
      *makeGateway(std::string(EventTracker::kQueueURL) + "?Action=PurgeQueue&Version=1"), event);
  ASSERT_TRUE(outcome.has_value()) << "no completion";
  ASSERT_TRUE(outcome->has_value()) << outcome->error().debugDescription();
  const auto recorded = backend().requests(kEventQueuePath);
  ASSERT_EQ(recorded.size(), 1u);
  EXPECT_EQ(recorded[0].method, "GET");
  EXPECT_TRUE(recorded[0].body.empty());
  EXPECT_EQ(recorded[0].header("content-type"), "application/json");
  const std::vector<std::pair<std::string, std::string>> query{{"Action", "SendMessage"},
                                                               {"MessageBody", documentFor(event)}};
  EXPECT_EQ(recorded[0].query, query);
}

// Without the network: the query is replaced (scheme, authority, path and fragment kept) and
// the value holds no form separator, decoding to the document.
TEST(BrelumEventTrackingAPIMessageURL, ReplacesTheQueryAndDecodesToTheDocument) {
  const std::string document = R"({"t":"a+b &c=d %25 )" + kHostText + R"("})";
  for (const auto& [base, before, after] :
       {std::tuple{"https://q.example/1/queue", "https://q.example/1/queue", ""},
        {"https://q.example/1/queue#f?x", "https://q.example/1/queue", "#f?x"},
        {"https://q.example:8443/?Action=Purge#frag", "https://q.example:8443/", "#frag"}}) {
    const auto url =
        BrelumEventTrackingAPI::messageURL(platform::URL::make(base).value(), document);
    ASSERT_TRUE(url.has_value());
    const auto& text = url->absoluteString();
    const std::string prefix = std::string(before) + "?Action=SendMessage&MessageBody=";
    const std::string_view suffix(after);
    ASSERT_TRUE(text.starts_with(prefix)) << text;
    ASSERT_TRUE(text.ends_with(suffix)) << text;
    const auto value = text.substr(prefix.size(), text.size() - prefix.size() - suffix.size());
    EXPECT_EQ(value.find_first_of("+&=#? "), std::string::npos) << value;
    EXPECT_EQ(platform::percentDecode(value), document);
  }
}

}  // namespace
