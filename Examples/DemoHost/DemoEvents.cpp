#include "Examples/DemoHost/DemoEvents.h"

#include <chrono>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "Classes/BrelumCore.h"
#include "Classes/EventTracker/EventTracker.h"
#include "Platform/Dispatch/DispatchQueue.h"
#include "Platform/Dispatch/MainLoop.h"
#include "Platform/Foundation/Console.h"
#include "Platform/Foundation/Date.h"
#include "Platform/Network/HTTPSession.h"

namespace demo {
namespace {

using namespace std::chrono_literals;
using brelum::EventTracker;
using Event = EventTracker::Event;

// The stand-in queue's record of accepted messages. The demo reaches the back end through
// the queue's real host name, as the connect-to routes send every framework host there.
constexpr const char* kQueueMessagesURL =
    "https://sqs.us-east-1.amazonaws.com/__control/queue/messages";

std::vector<Event> oneOfEachKind() {
  const auto now = platform::Date::now();
  const std::string show = "show-2026-winter";
  return {
      Event::load_a_screen(show, Event::Screen::live),
      Event::something_went_wrong(show, "Player stalled", "850"),
      Event::open_app("push-notification"),
      Event::closeSDK(show),
      Event::display_product_list(show, "col-42", "Coats & Boots", true),
      Event::dismiss_product_list(show, "col-42", "Coats & Boots"),
      Event::like(show, "col-42", "Coats & Boots", "120"),
      Event::share(show, "col-42", "Coats & Boots", "95"),
      Event::display_chat(show),
      Event::send_chat_message(show, "Does it come in size 42+? 100% wool?", "col-42",
                               "Coats & Boots"),
      Event::dismiss_chat(show),
      Event::product_category_updated("col-43", "Scarves"),
      Event::live_screen_tap(show, true),
      Event::view_product_item(show, "cat-7"),
      Event::addToBag(show, "prod-1001", "sku-A1001"),
      Event::product_image_pressed(show, "prod-1001", "sku-A1001"),
      Event::session(show, platform::Date(now.timeIntervalSince1970() - 754.25), now),
      Event::keyboard_status(show, false),
  };
}

std::optional<nlohmann::json> readQueue() {
  std::optional<platform::DataResponse> reply;
  platform::HTTPSession::defaultSession()
      ->request(kQueueMessagesURL)
      .validate()
      .response(platform::DispatchQueue::main(),
                [&reply](platform::DataResponse response) { reply = std::move(response); });
  if (!platform::MainLoop::runUntil([&] { return reply.has_value(); }, 30s)) return std::nullopt;
  if (reply->error) {
    platform::Console::print("Could not read the queue: " + reply->error->description);
    return std::nullopt;
  }
  auto document = nlohmann::json::parse(reply->data.begin(), reply->data.end(), nullptr, false);
  if (document.is_discarded() || !document.contains("messages")) return std::nullopt;
  return document;
}

}  // namespace

bool sendDemoEvents(const std::shared_ptr<brelum::BrelumCore>& core) {
  platform::Console::print("== Events");
  const auto events = oneOfEachKind();
  std::size_t delivered = 0;
  for (const auto& event : events) core->eventTracker()->send(event, [&delivered] { ++delivered; });
  if (!platform::MainLoop::runUntil([&] { return delivered == events.size(); }, 60s)) {
    platform::Console::print("Not every delivery ended in time: " + std::to_string(delivered) +
                             " of " + std::to_string(events.size()));
    return false;
  }
  platform::Console::print("Sent " + std::to_string(events.size()) + " events");

  const auto queue = readQueue();
  if (!queue) return false;
  const auto& messages = (*queue)["messages"];
  platform::Console::print("The queue received " + std::to_string(messages.size()) + " messages");

  std::set<std::string> kinds;
  std::optional<nlohmann::ordered_json> shown;  // members in the order they were sent
  for (const auto& message : messages) {
    auto document = nlohmann::ordered_json::parse(message.value("body", ""), nullptr, false);
    if (document.is_discarded()) continue;
    const auto name = document["data"]["event"].value("event_name", "");
    platform::Console::print("  " + message.value("md5OfMessageBody", "") + "  " + name);
    kinds.insert(name);
    if (name == "Send chat message") shown = std::move(document);
  }
  if (shown) {
    platform::Console::print("One document, decoded:");
    platform::Console::print(shown->dump(2, ' ', false));
  }
  std::set<std::string> expected;
  for (const auto& event : events) expected.insert(std::string(event.name()));
  const bool complete = kinds == expected;
  platform::Console::print(complete ? "Every kind reached the queue"
                                    : "Some kinds did not reach the queue");
  return complete;
}

}  // namespace demo
