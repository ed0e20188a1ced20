#include "Platform/Network/ImageDownloader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "Platform/Dispatch/DispatchQueue.h"
#include "Platform/Dispatch/MainThread.h"
#include "Platform/Network/HTTPSession.h"
#include "Tests/Support/Backend.h"
#include "Tests/Support/MainLoopPump.h"

using namespace std::chrono_literals;
using platform::DispatchQueue;
using platform::ImageDownloader;
using platform::ImageResponse;
using Kind = platform::ImageDownloadError::Kind;
using SessionKind = platform::HTTPSessionError::Kind;

namespace {

std::optional<ImageResponse> fetch(const std::string& url) {
  return testsupport::awaitCompletion<ImageResponse>(
      [&](auto done) { ImageDownloader::download(url, done); });
}

std::string describe(const ImageResponse& outcome) {
  return outcome.result ? "an image" : outcome.result.error().description();
}

class ImageDownloaderTest : public testsupport::BackendTest {
 protected:
  [[nodiscard]] std::string url(std::string_view pathAndQuery) const {
    return "https://" + backend().hosts().front() + std::string(pathAndQuery);
  }

  // The stand-in's logo: 32 × 32, a blue disc with a white square in the middle on a
  // transparent ground.
  static void expectTheLogo(const platform::Image& image) {
    ASSERT_EQ(image.width(), 32);
    ASSERT_EQ(image.height(), 32);
    auto at = [&](int x, int y) {
      const auto* pixel = image.pixels().data() + (y * 32 + x) * 4;
      return std::vector<int>(pixel, pixel + 4);
    };
    EXPECT_EQ(at(0, 0)[3], 0);
    EXPECT_EQ(at(16, 16), (std::vector<int>{255, 255, 255, 255}));
    EXPECT_EQ(at(16, 4), (std::vector<int>{0x2E, 0x6B, 0xE6, 255}));
  }
};

struct OutcomeCase {
  std::string_view name;
  std::string_view target;
  std::optional<Kind> failure;  // none: the logo arrives
  std::optional<SessionKind> sessionFailure = std::nullopt;
  bool dropped = false;  // the connection drops mid-image
};
void PrintTo(const OutcomeCase& c, std::ostream* os) {
  *os << c.name;
}

class ImageDownloadOutcome : public ImageDownloaderTest,
                             public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(ImageDownloadOutcome, DeliversTheImageOrSaysWhyThereIsNone) {
  const auto& c = GetParam();
  if (c.dropped) backend().drop(std::string(c.target));
  const auto delivery = fetch(url(c.target));
  ASSERT_TRUE(delivery);
  const auto& outcome = *delivery;
  if (!c.failure) {
    ASSERT_TRUE(outcome.result) << describe(outcome);
    ASSERT_NE(outcome.image(), nullptr);
    expectTheLogo(*outcome.image());
    return;
  }
  ASSERT_FALSE(outcome.result);
  EXPECT_EQ(outcome.image(), nullptr);
  EXPECT_EQ(outcome.result.error().kind, *c.failure) << describe(outcome);
  if (c.sessionFailure) {
    ASSERT_TRUE(outcome.result.error().sessionError);
    EXPECT_EQ(outcome.result.error().sessionError->kind, *c.sessionFailure);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Logo, ImageDownloadOutcome,
    ::testing::Values(
        OutcomeCase{"png", "/assets/logo/app.png", std::nullopt},
        OutcomeCase{"type_with_parameters_in_upper_case",
                    "/assets/logo/app.png?type=Image/PNG;%20charset=binary", std::nullopt},
        // The content type only admits the body; the decoder goes by the bytes.
        OutcomeCase{"png_labelled_jpeg", "/assets/logo/app.png?type=image/jpeg", std::nullopt},
        OutcomeCase{"html", "/assets/logo/app.png?as=html", Kind::unacceptableContentType},
        OutcomeCase{"webp_is_not_acceptable", "/assets/logo/app.png?type=image/webp",
                    Kind::unacceptableContentType},
        OutcomeCase{"no_content_type", "/assets/logo/app.png?type=", Kind::missingContentType},
        OutcomeCase{"truncated", "/assets/logo/app.png?as=truncated",
                    Kind::imageSerializationFailed},
        // A whole image is still refused when the status says the answer is not the resource.
        OutcomeCase{"image_with_404", "/assets/logo/app.png?status=404", Kind::session,
                    SessionKind::unacceptableStatusCode},
        OutcomeCase{"no_such_path", "/assets/missing/app.png", Kind::session,
                    SessionKind::unacceptableStatusCode},
        OutcomeCase{"dropped", "/assets/logo/app.png", Kind::session, SessionKind::connectionLost,
                    true}));

TEST_F(ImageDownloaderTest, OctetStreamIsRefusedUntilAddedAndThenAccepted) {
  const auto target = url("/assets/logo/app.png?as=octet-stream");
  // The set is process-wide: only the first run of this test in a process sees the refusal
  // (ctest gives every test a process of its own).
  if (!ImageDownloader::acceptableImageContentTypes().contains("application/octet-stream")) {
    const auto before = fetch(target);
    ASSERT_TRUE(before);
    ASSERT_FALSE(before->result);
    EXPECT_EQ(before->result.error().kind, Kind::unacceptableContentType);
    EXPECT_EQ(before->result.error().contentType, "application/octet-stream");
  }

  ImageDownloader::addAcceptableImageContentTypes({"application/octet-stream"});
  ImageDownloader::addAcceptableImageContentTypes({"Application/Octet-Stream"});
  auto expected = ImageDownloader::defaultAcceptableImageContentTypes();
  expected.insert("application/octet-stream");
  EXPECT_EQ(ImageDownloader::acceptableImageContentTypes(), expected);

  const auto after = fetch(target);
  ASSERT_TRUE(after);
  ASSERT_NE(after->image(), nullptr) << describe(*after);
  expectTheLogo(*after->image());

  // Added types admit only what decodes.
  const auto broken = fetch(url("/assets/logo/app.png?as=broken&type=application/octet-stream"));
  ASSERT_TRUE(broken);
  EXPECT_EQ(broken->image(), nullptr);
}

TEST_F(ImageDownloaderTest, DeliversOnTheQueueItIsGiven) {
  const auto queue = DispatchQueue::makeSerial("image-download-tests");
  const auto session = platform::HTTPSession::make();
  std::atomic<int> calls = 0;
  std::atomic<bool> imageOnQueue = false;
  ImageDownloader::responseImage(
      session->request(url("/assets/logo/app.png")), queue, [&](ImageResponse outcome) {
        imageOnQueue =
            queue->isCurrent() && !platform::isMainThread() && outcome.image() != nullptr;
        ++calls;
      });
  ASSERT_TRUE(testsupport::runMainLoopUntil([&] { return calls > 0; }, 20s));
  queue->sync([] {});  // a second call would have been queued by now
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(imageOnQueue);
}

}  // namespace
