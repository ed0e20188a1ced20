// The stand-in cloud queue: event delivery is judged by what it accepts and stores, so its
// decoding, limits and documents are checked against the queue service's rules here.
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

#include "Tests/Support/Backend.h"
#include "Tests/Support/StandInQueue.h"

namespace {

using testsupport::kEventQueuePath;
using testsupport::md5Hex;
using testsupport::queueMessages;

constexpr std::size_t kMaxMessageBytes = 262'144;

// The text of the first <tag> element, if any.
std::optional<std::string> element(const std::string& xml, const std::string& tag) {
  const auto open = xml.find("<" + tag + ">");
  if (open == std::string::npos) return std::nullopt;
  const auto start = open + tag.size() + 2;
  const auto close = xml.find("</" + tag + ">", start);
  if (close == std::string::npos) return std::nullopt;
  return xml.substr(start, close - start);
}

// Lower-case 8-4-4-4-12 hex.
bool isUUID(const std::string& text) {
  if (text.size() != 36) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    const char c = text[i];
    if (dash ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

struct QueueCase {
  const char* name;
  std::string target;               // path and query
  std::optional<std::string> body;  // the decoded body stored; nullopt: refused
  std::string errorCode;            // for refusals

  friend void PrintTo(const QueueCase& c, std::ostream* os) { *os << c.name; }
};

std::string send(std::string_view query) {
  return std::string(kEventQueuePath) + "?Action=SendMessage&" + std::string(query);
}

class StandInQueueTest : public testsupport::BackendTest {};
class StandInQueueCases : public StandInQueueTest,
                          public ::testing::WithParamInterface<QueueCase> {};

TEST_P(StandInQueueCases, AcceptsWhatTheServiceAcceptsAndStoresTheDecodedBody) {
  const auto& c = GetParam();
  const auto response = backend().request("GET", c.target);
  ASSERT_TRUE(response.has_value()) << response.error();
  EXPECT_EQ(response->headers.at("content-type"), "text/xml");
  const auto stored = queueMessages(backend());
  if (c.body) {
    EXPECT_EQ(response->status, 200) << response->body;
    EXPECT_EQ(element(response->body, "MD5OfMessageBody"), md5Hex(*c.body));
    const auto id = element(response->body, "MessageId").value_or("");
    EXPECT_TRUE(isUUID(id)) << id;
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].body, *c.body);
    EXPECT_EQ(stored[0].messageId, id);
  } else {
    EXPECT_EQ(response->status, 400);
    EXPECT_TRUE(response->body.find("<ErrorResponse") != std::string::npos) << response->body;
    EXPECT_EQ(element(response->body, "Type"), "Sender");
    EXPECT_EQ(element(response->body, "Code"), c.errorCode);
    EXPECT_TRUE(element(response->body, "RequestId").has_value());
    EXPECT_TRUE(stored.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Queue, StandInQueueCases,
    ::testing::Values(
        QueueCase{"PlusIsASpaceAndEscapedPlusAPlus", send("MessageBody=a+b%2Bc"), "a b+c", ""},
        QueueCase{"EscapedSeparatorsStayInTheValue", send("MessageBody=x%26y%3Dz%25"), "x&y=z%",
                  ""},
        QueueCase{"FirstOccurrenceWins", send("MessageBody=one&MessageBody=two"), "one", ""},
        QueueCase{"TabLineFeedAndReturnAllowed", send("MessageBody=%09%0A%0D"), "\t\n\r", ""},
        QueueCase{"AstralPrivateUseAndReplacementAllowed",
                  send("MessageBody=%F0%9F%94%B4%EE%80%80%EF%BF%BD"),
                  "\xF0\x9F\x94\xB4\xEE\x80\x80\xEF\xBF\xBD", ""},
        QueueCase{"AnyAccount",
                  "/123456789012/client-event-tracking?Action=SendMessage&MessageBody=x", "x", ""},
        QueueCase{"NoAction", std::string(kEventQueuePath) + "?MessageBody=x", std::nullopt,
                  "MissingAction"},
        QueueCase{"OtherAction", std::string(kEventQueuePath) + "?Action=ReceiveMessage",
                  std::nullopt, "InvalidAction"},
        QueueCase{"NoBody", send("DelaySeconds=0"), std::nullopt, "MissingParameter"},
        QueueCase{"EmptyBody", send("MessageBody="), std::nullopt, "MissingParameter"},
        QueueCase{"NonCharacterRefused", send("MessageBody=a%EF%BF%BE"), std::nullopt,
                  "InvalidMessageContents"},
        QueueCase{"ControlCharacterRefused", send("MessageBody=a%01"), std::nullopt,
                  "InvalidMessageContents"},
        QueueCase{"InvalidUTF8Refused", send("MessageBody=%C3%28"), std::nullopt,
                  "InvalidMessageContents"},
        QueueCase{"EncodedSurrogateRefused", send("MessageBody=%ED%A0%80"), std::nullopt,
                  "InvalidMessageContents"},
        QueueCase{"BrokenEscapeIsMalformed", send("MessageBody=%G1"), std::nullopt,
                  "MalformedQueryString"},
        QueueCase{"OtherQueueDoesNotExist", "/000000000000/other?Action=SendMessage&MessageBody=x",
                  std::nullopt, "AWS.SimpleQueueService.NonExistentQueue"}),
    [](const auto& info) { return std::string(info.param.name); });

// The limit counts bytes of the decoded body, not characters; the whole message still fits
// the request line when every byte is percent-encoded.
TEST_F(StandInQueueTest, TakesExactlyTheLargestMessageAndRefusesOneByteMore) {
  std::string encoded;
  for (std::size_t i = 0; i < kMaxMessageBytes / 2; ++i) encoded += "%C3%A9";  // "é"
  auto largest = backend().request("GET", send("MessageBody=" + encoded));
  ASSERT_TRUE(largest.has_value()) << largest.error();
  EXPECT_EQ(largest->status, 200) << largest->body;
  auto tooLarge = backend().request("GET", send("MessageBody=" + encoded + "a"));
  ASSERT_TRUE(tooLarge.has_value()) << tooLarge.error();
  EXPECT_EQ(tooLarge->status, 400);
  EXPECT_EQ(element(tooLarge->body, "Code"), "InvalidParameterValue");

  const auto stored = queueMessages(backend());
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].body.size(), kMaxMessageBytes);
}

TEST_F(StandInQueueTest, ResetForgetsTheMessages) {
  ASSERT_TRUE(backend().request("GET", send("MessageBody=x")).has_value());
  ASSERT_EQ(queueMessages(backend()).size(), 1u);
  backend().reset();
  EXPECT_TRUE(queueMessages(backend()).empty());
}

}  // namespace
