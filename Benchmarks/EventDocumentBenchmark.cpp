// CPU per event for what the cloud gateway does before it sends: build the event document,
// encode it, and put it into the queue URL as the "MessageBody" query value. Side by side
// with the floor: the same URL written by hand without the framework's code, the document
// by a minimal writer and its percent-encoding in one pass over it.
//
//   cmake --preset release -DBUILD_TESTING=ON -B build/bench
//   cmake --build build/bench --target EventDocumentBenchmark
//   build/bench/Benchmarks/EventDocumentBenchmark
//
// At start-up both writers' texts are compared for each event, and both percent-encoders'
// output for every byte; the program stops if they differ, so the floor always measures the
// same URL.

#include <time.h>

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <benchmark/benchmark.h>

#include "Classes/EventTracker/EventTracker.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/BrelumEventTrackingJSONEncoderFactory.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/CompiledDateFormatter.h"
#include "Classes/EventTracker/Gateway/BrelumAPI/EventTrackingJSONBuilder.h"
#include "Platform/Foundation/Date.h"
#include "Platform/Foundation/DateFormatter.h"
#include "Platform/Foundation/Locale.h"
#include "Platform/Foundation/URL.h"
#include "Platform/Foundation/URLComponents.h"

namespace {

using brelum::EventTracker;
using Event = EventTracker::Event;
using platform::Date;

constexpr std::string_view kQueueURL =
    "https://sqs.eu-west-1.amazonaws.com/000000000000/client-event-tracking";
constexpr std::string_view kAppId = "5f2b3c4d5e6f7a8b9c0d1e2f";
constexpr std::string_view kSDKVersion = "1.4.2";

const EventTracker::Data::User kUser{"", "host-user-8812", "Ann Example", "FEMALE"};
const EventTracker::Data::Device kDevice{"6F1C2D3E-4A5B-4C6D-8E9F-0A1B2C3D4E5F",
                                         "Standard PC (Q35 + ICH9, 2009)",
                                         "",
                                         "6.1.0-18-amd64",
                                         "iOS",
                                         true};

const std::vector<Event>& events() {
  static const std::vector<Event> list{
      Event::like("show-20251206-main", "collection-42", "Winter Sale: Coats & Boots", "120"),
      Event::session("show-20251206-main", Date(1765050000.125), Date(1765058560.75)),
  };
  return list;
}

std::string queueURL(std::string_view document) {
  std::string url(kQueueURL);
  url += "?Action=SendMessage&MessageBody=";
  url += platform::percentEncodeQueryValue(document);
  return url;
}

// --- The framework's way: a builder and an encoder for every event. ---

std::string frameworkDocument(const Event& event, Date createdAt,
                              brelum::JSONEncoderFactory& factory) {
  const auto builder = brelum::EventTrackingJSONBuilder::make();
  const auto document = builder->build(std::string(kAppId), std::string(kSDKVersion), createdAt,
                                       kUser, kDevice, event);
  return factory.make()->encode(document).value();
}

// --- The floor: the same text, appended by hand. ---

// Every byte but the RFC 3986 unreserved ones as %XX, upper-case hex: one table look-up per
// byte, written straight into the URL's buffer.
void appendQueryValue(std::string& out, std::string_view text) {
  static constexpr auto kUnreserved = [] {
    std::array<bool, 256> table{};
    for (unsigned c = 0; c < 256; ++c) {
      table[c] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 c == '-' || c == '.' || c == '_' || c == '~';
    }
    return table;
  }();
  static constexpr char kDigits[] = "0123456789ABCDEF";
  const auto start = out.size();
  out.resize_and_overwrite(start + text.size() * 3, [start, text](char* buffer, std::size_t) {
    char* next = buffer + start;
    for (const char c : text) {
      const auto byte = static_cast<unsigned char>(c);
      if (kUnreserved[byte]) {
        *next++ = c;
      } else {
        next[0] = '%';
        next[1] = kDigits[byte >> 4];
        next[2] = kDigits[byte & 0xF];
        next += 3;
      }
    }
    return static_cast<std::size_t>(next - buffer);
  });
}

std::string floorQueueURL(std::string_view document) {
  std::string url;
  url.reserve(kQueueURL.size() + 32 + document.size() * 3);
  url += kQueueURL;
  url += "?Action=SendMessage&MessageBody=";
  appendQueryValue(url, document);
  return url;
}

void appendHex4(std::string& out, unsigned value) {
  static constexpr char kDigits[] = "0123456789abcdef";
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out += kDigits[(value >> shift) & 0xF];
}

// JSON string escaping to plain ASCII, as the encoder does it (assumes valid UTF-8).
void appendString(std::string& out, std::string_view text) {
  out += '"';
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    unsigned codepoint = c;
    int length = 1;
    if (c >= 0xF0) {
      codepoint = c & 0x07;
      length = 4;
    } else if (c >= 0xE0) {
      codepoint = c & 0x0F;
      length = 3;
    } else if (c >= 0xC0) {
      codepoint = c & 0x1F;
      length = 2;
    }
    for (int k = 1; k < length; ++k) codepoint = (codepoint << 6) | (text[i + k] & 0x3F);
    i += length;
    switch (codepoint) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (codepoint > 0xFFFF) {
          codepoint -= 0x10000;
          appendHex4(out, 0xD800 + (codepoint >> 10));
          appendHex4(out, 0xDC00 + (codepoint & 0x3FF));
        } else {
          appendHex4(out, codepoint);
        }
    }
  }
  out += '"';
}

void appendNumber(std::string& out, double value) {
  char buffer[32];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  const std::string_view text(buffer, static_cast<std::size_t>(end - buffer));
  out += text;
  if (text.find_first_of(".e") == std::string_view::npos) out += ".0";
}

void appendMember(std::string& out, std::string_view key, std::string_view value) {
  out += '"';
  out += key;
  out += "\":";
  appendString(out, value);
  out += ',';
}

// "yyyy-MM-dd'T'HH:mm:ssZ'" in the process's zone, through the C library.
void appendCreatedAt(std::string& out, Date date) {
  const auto seconds = static_cast<time_t>(std::floor(date.timeIntervalSince1970()));
  tm local{};
  localtime_r(&seconds, &local);
  char buffer[40];
  const auto length = strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%S%z", &local);
  out.append(buffer, length);
}

std::string floorDocument(const Event& event, Date createdAt) {
  std::string out;
  out.reserve(1024);
  out += R"({"data":{"app_id":)";
  appendString(out, kAppId);
  out += R"(,"event":{"sdk_version":)";
  appendString(out, kSDKVersion);
  out += ',';
  appendMember(out, "app_identifier", EventTracker::Data::Device::applicationVersion());
  out += R"("created_at":")";
  appendCreatedAt(out, createdAt);
  out += R"(","created_at_in_ms":)";
  appendNumber(out, createdAt.timeIntervalSince1970() * 1000.0);
  out += ',';
  appendMember(out, "event_name", event.name());
  appendMember(out, "app_id", kAppId);
  out += R"("mode":"COMMERCE","user":{)";
  appendMember(out, "user_id", kUser.user_id);
  appendMember(out, "client_user_id", kUser.client_user_id);
  appendMember(out, "name", kUser.name);
  out += R"("gender":)";
  appendString(out, kUser.gender);
  out += R"(},"device":{)";
  appendMember(out, "id", kDevice.id);
  appendMember(out, "model", kDevice.model);
  appendMember(out, "data_network", kDevice.data_network);
  out += kDevice.is_wifi ? R"("is_wifi":true,)" : R"("is_wifi":false,)";
  appendMember(out, "os_ver", kDevice.os_ver);
  out += R"("platform":)";
  appendString(out, kDevice.platform);
  out += R"(},"event":{)";
  if (const auto* like = std::get_if<Event::Like>(&event.value())) {
    appendMember(out, "show_id", like->showId);
    appendMember(out, "latency", like->latency);
    appendMember(out, "collection_id", like->collectionId);
    out += R"("collection_name":)";
    appendString(out, like->collectionName);
  } else if (const auto* session = std::get_if<Event::Session>(&event.value())) {
    const double start = session->start.timeIntervalSince1970() * 1000.0;
    const double end = session->end.timeIntervalSince1970() * 1000.0;
    appendMember(out, "show_id", session->showId);
    out += R"("start_session":)";
    appendNumber(out, start);
    out += R"(,"end_session":)";
    appendNumber(out, end);
    out += R"(,"total_session_time_millisecond":)";
    appendNumber(out, end - start);
  }
  out += "}}}}";
  return out;
}

// --- Benchmarks ---

void BM_Framework(benchmark::State& state) {
  const auto& event = events()[static_cast<std::size_t>(state.range(0))];
  const auto factory = std::make_shared<brelum::BrelumEventTrackingJSONEncoderFactory>();
  for (auto _ : state) {
    auto url = queueURL(frameworkDocument(event, Date::now(), *factory));
    benchmark::DoNotOptimize(url);
  }
}
BENCHMARK(BM_Framework)->Arg(0)->Arg(1);

void BM_Floor(benchmark::State& state) {
  const auto& event = events()[static_cast<std::size_t>(state.range(0))];
  for (auto _ : state) {
    auto url = floorQueueURL(floorDocument(event, Date::now()));
    benchmark::DoNotOptimize(url);
  }
}
BENCHMARK(BM_Floor)->Arg(0)->Arg(1);

// For reference: the framework's document through URLComponents, as a gateway may build
// the URL, and the parts of the pipeline on their own.
void BM_FrameworkWithURLComponents(benchmark::State& state) {
  const auto& event = events()[static_cast<std::size_t>(state.range(0))];
  const auto factory = std::make_shared<brelum::BrelumEventTrackingJSONEncoderFactory>();
  const auto base = platform::URL::make(kQueueURL).value();
  for (auto _ : state) {
    platform::URLComponents components(base);
    components.setQueryItems(std::vector<platform::URLQueryItem>{
        {"Action", "SendMessage"},
        {"MessageBody", frameworkDocument(event, Date::now(), *factory)}});
    auto url = components.url();
    benchmark::DoNotOptimize(url);
  }
}
BENCHMARK(BM_FrameworkWithURLComponents)->Arg(0)->Arg(1);

void BM_FrameworkDocumentOnly(benchmark::State& state) {
  const auto& event = events()[static_cast<std::size_t>(state.range(0))];
  const auto factory = std::make_shared<brelum::BrelumEventTrackingJSONEncoderFactory>();
  for (auto _ : state) {
    auto text = frameworkDocument(event, Date::now(), *factory);
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(BM_FrameworkDocumentOnly)->Arg(0)->Arg(1);

void BM_FloorDocumentOnly(benchmark::State& state) {
  const auto& event = events()[static_cast<std::size_t>(state.range(0))];
  for (auto _ : state) {
    auto text = floorDocument(event, Date::now());
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(BM_FloorDocumentOnly)->Arg(0)->Arg(1);

// The creation time: a new ICU formatter per event (what a fresh platform formatter costs)
// against a new compiled one.
void BM_DateText_NewICUFormatter(benchmark::State& state) {
  for (auto _ : state) {
    const platform::DateFormatter formatter("yyyy-MM-dd'T'HH:mm:ssZ'", platform::Locale("en_US"));
    auto text = formatter.string(Date::now());
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(BM_DateText_NewICUFormatter);

void BM_DateText_NewCompiledFormatter(benchmark::State& state) {
  for (auto _ : state) {
    const brelum::CompiledDateFormatter formatter("yyyy-MM-dd'T'HH:mm:ssZ'",
                                                  platform::Locale("en_US"));
    auto text = formatter.string(Date::now());
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(BM_DateText_NewCompiledFormatter);

bool writersAgree() {
  std::string everyByte;
  for (int byte = 0; byte < 256; ++byte) everyByte += static_cast<char>(byte);
  std::string floorEscaped;
  appendQueryValue(floorEscaped, everyByte);
  if (floorEscaped != platform::percentEncodeQueryValue(everyByte)) {
    std::fprintf(stderr, "The percent-encoders differ:\n%s\n%s\n", floorEscaped.c_str(),
                 platform::percentEncodeQueryValue(everyByte).c_str());
    return false;
  }
  brelum::BrelumEventTrackingJSONEncoderFactory factory;
  for (double seconds : {1765058560.75, 1751328000.0078125, 1.0}) {
    for (const auto& event : events()) {
      const auto ours = frameworkDocument(event, Date(seconds), factory);
      const auto floor = floorDocument(event, Date(seconds));
      if (ours != floor) {
        std::fprintf(stderr, "The writers differ:\n%s\n%s\n", ours.c_str(), floor.c_str());
        return false;
      }
      if (queueURL(ours) != floorQueueURL(floor)) {
        std::fprintf(stderr, "The URLs differ for:\n%s\n", ours.c_str());
        return false;
      }
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (!writersAgree()) return EXIT_FAILURE;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return EXIT_FAILURE;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return EXIT_SUCCESS;
}
