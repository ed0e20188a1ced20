#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Classes/UI/PIP/PIPUsable.h"
#include "Classes/UI/Video/VideoPlayer.h"
#include "Platform/UI/ViewController.h"

namespace brelum {

// Shows one VideoPlayer filling a black root view; shown in picture-in-picture with every
// PIPUsable default. The player is made with the controller and lives as long as it.
//
// Main thread only.
class VideoController : public platform::ViewController, public PIPUsable {
 public:
  // Constructors are public for std::make_shared: create controllers with
  // ViewController::make<VideoController>(...).
  VideoController() : VideoController(std::nullopt, nullptr) {}
  VideoController(std::optional<std::string> nibName, std::shared_ptr<platform::Bundle> bundle);
  explicit VideoController(const platform::NibCoder& coder);

 private:
  [[nodiscard]] virtual const std::shared_ptr<VideoPlayer>& videoPlayer() const;

 public:
  [[nodiscard]] virtual const VideoPlayer::ErrorCallback& onErrorOccured() const;
  virtual void setOnErrorOccured(VideoPlayer::ErrorCallback callback);
  virtual void play(const platform::URL& url);
  virtual void stop();

  void viewDidLoad() override;

  // The corner radius the controller asks for; nothing applies it.
  [[nodiscard]] double cornerRadius() const { return 1.2; }

 private:
  const std::shared_ptr<VideoPlayer> videoPlayer_;
};

}  // namespace brelum
