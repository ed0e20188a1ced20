#include "Classes/UI/Video/VideoController.h"

#include <utility>

#include "Classes/UI/Extensions/ViewExtensions.h"
#include "Platform/Graphics/Color.h"
#include "Platform/UI/NibRegistry.h"
#include "Platform/UI/View.h"

namespace brelum {
namespace {

const platform::NibClassRegistration<VideoController> kNibClass(platform::Bundle::framework());

}  // namespace

VideoController::VideoController(std::optional<std::string> nibName,
                                 std::shared_ptr<platform::Bundle> bundle)
    : ViewController(std::move(nibName), std::move(bundle)),
      videoPlayer_(platform::View::make<VideoPlayer>()) {
}

VideoController::VideoController(const platform::NibCoder& coder)
    : ViewController(coder), videoPlayer_(platform::View::make<VideoPlayer>()) {
}

const std::shared_ptr<VideoPlayer>& VideoController::videoPlayer() const {
  return videoPlayer_;
}

const VideoPlayer::ErrorCallback& VideoController::onErrorOccured() const {
  return videoPlayer()->onErrorOccured();
}

void VideoController::setOnErrorOccured(VideoPlayer::ErrorCallback callback) {
  videoPlayer()->setOnErrorOccured(std::move(callback));
}

void VideoController::play(const platform::URL& url) {
  videoPlayer()->play(url);
}

void VideoController::stop() {
  videoPlayer()->stop();
}

void VideoController::viewDidLoad() {
  ViewController::viewDidLoad();
  view()->setBackgroundColor(platform::Color::black());
  addSubviewAndFit(*view(), videoPlayer(), 0);
}

}  // namespace brelum
